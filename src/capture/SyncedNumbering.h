#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QObject>
#include <QSet>
#include <memory>
#include <optional>

#include "capture/CaptureStore.h"

namespace brimlet {

class FolderWatcher;
class Host;
struct FolderEntries;
class NameList;

// A capture file's name taken apart: "picture 12.jpeg", "text 7.txt" (and
// "text-3.txt"), exactly as the program writes them.
struct CaptureName {
    bool picture = false;
    Counter number = 0;
};
std::optional<CaptureName> parseCaptureName(QByteArrayView name);

// The name whose conflict copy a synchroniser made under this name, or
// empty: Syncthing keeps the losing side of two changes to one file as
// "text 1.sync-conflict-20261209-170216-I5WO7WO.txt" beside "text 1.txt".
QByteArray conflictOriginal(QByteArrayView name);

// Numbering in a folder that other machines write to as well, through a
// file synchroniser. Each machine numbers from the highest number present
// in the folder, not only from its own counter, and takes what arrives into
// account as it arrives (the folder's change notifications). When both
// sides still took the same number meanwhile, the synchroniser keeps one
// file under it and the other as a conflict copy; the machine whose capture
// the conflict copy holds gives it the next free number, by a rename that
// replaces nothing. It knows its own captures by their identity (the file
// it wrote, which the synchroniser renamed aside), so the other machine,
// which holds a copy of that file, never renames it too, and the copy is
// never kept twice. The counter file is shared: a conflict copy of it is
// merged (each counter the higher of the two) and removed by whichever
// machine sees it, which gives the same result on both.
class SyncedNumbering : public QObject {
  public:
    SyncedNumbering(Host& host, CaptureStore& store);
    ~SyncedNumbering() override;

    // Follows the folder from a read of it, with a watcher set before that
    // read.
    void follow(const FolderEntries& entries, std::unique_ptr<FolderWatcher> watcher);
    // A capture's number about to be used, raised past the highest number of
    // its kind present in the folder.
    void skipPresent(Counter& number, bool picture);
    // The program wrote this capture file itself.
    void wrote(const QByteArray& name);
    // Looks at what changed in the folder and settles conflict copies and
    // the counters now.
    void settle();

    Counters highestPresent() const { return highest_; }

  private:
    struct Identity {
        quint64 device = 0, inode = 0;
        qint64 size = 0, modified = 0;
        bool operator==(const Identity& o) const {
            return device == o.device && inode == o.inode && size == o.size &&
                   modified == o.modified;
        }
    };
    std::optional<Identity> identityOf(const QByteArray& name) const;
    void takeChanges();
    void note(QByteArrayView name);
    void noteAll(const NameList& names);
    void settleCaptureCopy(const QByteArray& copy, const QByteArray& original,
                           const CaptureName& capture);
    void mergeCounterCopy(const QByteArray& copy);
    void raiseToCounterFile(const QByteArray& name);

    Host& host_;
    CaptureStore& store_;
    std::unique_ptr<FolderWatcher> watcher_;
    Counters highest_;
    QHash<QByteArray, Identity> own_;  // the captures this program wrote, by name
    QSet<QByteArray> copies_;          // conflict copies to settle
    bool counterFileChanged_ = false;
    bool settleQueued_ = false;
};

}  // namespace brimlet
