#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace brimlet {

// The entries of a folder as the history lists show them: regular files and
// links to them, hidden ones (".name") left out, and names that are not
// valid UTF-8 left out (they could not be named back to the file system).

// The order of the lists: by name as text, letter case ignored, names equal
// but for case by their case.
bool listedBefore(const QString& a, const QString& b);

// Reads the folder once, without looking at each entry's details but for
// links, in list order. A folder that cannot be read has no entries.
struct FolderEntries {
    QStringList names;
    QSet<QString> links;  // the names that are links
};
FolderEntries readFolderEntries(const QString& folder);

// Whether one name of the folder is an entry the lists show, and whether it
// is a link (whose target may change without the folder changing).
struct EntryKind {
    bool listed = false;
    bool link = false;
};
EntryKind entryKind(const QString& folder, const QString& name);

// Follows the changes of a folder's entries (inotify): which names were
// created, removed or renamed since the last look. A folder that cannot be
// watched, notifications that overflowed, or a folder that was itself moved
// or removed make every name count as changed.
class FolderWatcher {
  public:
    explicit FolderWatcher(const QString& folder);
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    struct Changes {
        QSet<QString> names;
        bool everything = false;  // only reading the whole folder again is exact
    };
    // The changes since the last call; never waits.
    Changes takeChanges();

  private:
    int fd_ = -1;
    bool lost_ = false;  // the watch is gone for good
};

}  // namespace brimlet
