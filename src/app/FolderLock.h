#pragma once

#include <QString>
#include <memory>

#include "files/Files.h"

namespace brimlet {

// The lock of a capture folder lives where only this machine and this user
// see it, never in the folder: a folder shared with other machines (through
// a file synchroniser, say) would carry a lock file to them, where it would
// mean nothing but refuse their Brimlet. It is named after the folder's
// device and inode, so it stays the lock of the folder that was claimed
// even when that folder is moved or renamed.

// The lock's name: "brimlet-folder-DEVICE-INODE.lock".
QByteArray lockNameOf(const FolderHandle& folder);

// The lock of a folder, held: an exclusive flock on the file of that name in
// the user's private runtime folder ($XDG_RUNTIME_DIR), which the system
// drops however the program ends, so a lock file that no one holds is free;
// removed when the lock is let go. Without a private runtime folder, the
// lock is that name bound in Linux's abstract socket namespace, which the
// system frees with the program too.
class FolderLock {
  public:
    // Holds nothing: in a runtime folder Brimlet may not write to.
    FolderLock() = default;
    // `place` is the runtime folder holding the lock file `name`, or -1 for
    // a bound socket.
    FolderLock(int place, QByteArray name, int fd)
        : place_(place), name_(std::move(name)), fd_(fd) {}
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool isLocked() const { return fd_ >= 0; }
    // Lets the folder go now rather than at the end of the object.
    void unlock();

  private:
    int place_ = -1;
    QByteArray name_;
    int fd_ = -1;
};

// One Brimlet per folder on this machine: two would race for the same
// numbers and the same clipboard. A lock left by a program that is no
// longer running is taken over.
struct FolderClaim {
    // Held for the run. With a runtime folder Brimlet may not write to there
    // is no lock to fight over: the object is set but holds nothing.
    std::unique_ptr<FolderLock> lock;
    // Another running Brimlet holds the folder.
    bool heldByAnother = false;
    // Neither: why the folder cannot be locked, as a sentence for the user.
    QString problem;

    bool claimed() const { return lock != nullptr; }
};

// `folder` is the working directory, held open; its path is empty when the
// system could not tell it (the folder was deleted after the program's
// start).
FolderClaim claimFolder(const FolderHandle& folder);

// The lock alone: null when the folder cannot be claimed, whatever the
// reason.
std::unique_ptr<FolderLock> lockFolder(const FolderHandle& folder);

}  // namespace brimlet
