#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "files/Files.h"

namespace brimlet {

// The hidden lock file in a capture folder.
inline constexpr char kLockFileName[] = ".brimlet.lock";

// The lock file of a folder, held: an exclusive flock on it, which the
// system drops however the program ends, so a lock file that no one holds
// is free. Found through the folder's descriptor, it stays the lock of the
// folder that was claimed even when that folder is moved. Removed when the
// lock is let go.
class FolderLock {
  public:
    // Holds nothing: in a folder Brimlet may not write to.
    FolderLock() = default;
    FolderLock(FolderHandle folder, int fd) : folder_(std::move(folder)), fd_(fd) {}
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool isLocked() const { return fd_ >= 0; }
    // Lets the folder go now rather than at the end of the object.
    void unlock();

  private:
    std::optional<FolderHandle> folder_;
    int fd_ = -1;
};

// One Brimlet per folder: two would race for the same numbers and the same
// clipboard. The lock is the hidden file ".brimlet.lock" in the folder; a
// lock left by a program that is no longer running is taken over.
struct FolderClaim {
    // Held for the run. In a folder Brimlet may not write to there is no
    // lock to fight over: the object is set but holds nothing, and capturing
    // there reports its own errors.
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
