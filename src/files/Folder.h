#pragma once

#include <QByteArrayList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/Files.h"

namespace brimlet {

// The entries of a folder as the history lists show them: regular files and
// links to them, hidden ones (".name") left out. A name is shown decoded
// from UTF-8 (bytes that are not UTF-8 as replacement characters) and kept
// as its bytes, by which the file is found again: two names that show the
// same stay two entries.

// The order of the lists: by name as text, letter case ignored, names equal
// but for case by their case. A name's sort key is the name folded to one
// case, in UTF-8, so keys compare byte by byte.
QByteArray sortKey(const QString& name);
bool listedBefore(const QString& a, const QString& b);
// The name a file's bytes show as.
QString shownName(QByteArrayView bytes);
// The order of two entries given by their bytes: as shown, then by the bytes.
bool listedBefore(const QByteArray& a, const QByteArray& b);

// Names kept as their bytes one after another in one block: a folder of
// years holds hundreds of thousands, and a string object each would take
// several times the names' own size.
class NameList {
  public:
    qsizetype size() const { return static_cast<qsizetype>(ends_.size()); }
    bool isEmpty() const { return ends_.empty(); }
    QByteArrayView at(qsizetype i) const {
        const quint32 start = i == 0 ? 0 : ends_[static_cast<size_t>(i - 1)];
        return {blob_.data() + start, ends_[static_cast<size_t>(i)] - start};
    }
    void reserve(qsizetype names, qsizetype bytes);
    void append(QByteArrayView name);
    void insert(qsizetype i, QByteArrayView name);
    void removeAt(qsizetype i);
    void clear();
    // Every name, as text and as bytes (for the tests and small lists).
    QStringList shown() const;
    QByteArrayList bytes() const;

  private:
    std::string blob_;
    std::vector<quint32> ends_;  // where each name ends in blob_
};

// Reads the folder once, without looking at each entry's details but for
// links, in list order. A folder that cannot be read has no entries.
struct FolderEntries {
    NameList names;          // each name's bytes
    NameList keys;           // each name's sort key
    QSet<QByteArray> links;  // the names that are links, as bytes
    QByteArrayList hidden;   // the hidden entries' names (".name"), as bytes
};
FolderEntries readFolderEntries(const FolderHandle& folder);

// Whether one name of the folder is an entry the lists show, and whether it
// is a link (whose target may change without the folder changing).
struct EntryKind {
    bool listed = false;
    bool link = false;
};
EntryKind entryKind(const FolderHandle& folder, const QByteArray& name);

// Follows the changes of a folder's entries (inotify): which names were
// created, removed or renamed since the last look. The watch is on the
// folder itself and follows it when it is moved. A folder that cannot be
// watched, notifications that overflowed, or a folder that was removed make
// every name count as changed.
class FolderWatcher {
  public:
    explicit FolderWatcher(const FolderHandle& folder);
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    struct Changes {
        QSet<QByteArray> names;
        bool everything = false;  // only reading the whole folder again is exact
    };
    // The changes since the last call; never waits.
    Changes takeChanges();
    // Readable while changes wait to be taken (for a QSocketNotifier); -1
    // when the folder is not watched.
    int descriptor() const { return fd_; }

  private:
    int fd_ = -1;
    bool lost_ = false;  // the watch is gone for good
};

// The folder read once for several lists, on a thread of its own, started
// once the window is on the screen (a folder of tens of thousands of
// captures takes as long to read as a window takes to make, and on two
// cores the read would slow the window down). Each list's watcher is set
// when this is made, before the read begins, so no change is missed between
// the read and the watching.
class FolderReading {
  public:
    // `after` runs on the thread once the folder is read (to clear up its
    // hidden entries, say).
    FolderReading(const FolderHandle& folder, int lists,
                  std::function<void(const FolderEntries&)> after = nullptr);
    ~FolderReading();

    const FolderHandle& folder() const { return folder_; }

    // Starts the read on its thread; only the first call does.
    void start();
    // The entries, handed over once; starts the read if no one has, and
    // waits for it to end. Taken again, none.
    FolderEntries takeEntries();
    // Whether the read has ended (or its entries were taken): taking them
    // would not wait.
    bool isDone() const;
    // The watcher for the next list, in the order of the lists.
    std::unique_ptr<FolderWatcher> takeWatcher();

  private:
    FolderHandle folder_;
    std::function<void(const FolderEntries&)> after_;
    std::vector<std::unique_ptr<FolderWatcher>> watchers_;
    bool started_ = false;
    std::future<FolderEntries> read_;
};

}  // namespace brimlet
