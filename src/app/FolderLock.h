#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace brimlet {

// The hidden lock file in a capture folder.
inline constexpr char kLockFileName[] = ".brimlet.lock";

// One Brimlet per folder: two would race for the same numbers and the same
// clipboard. The lock is the hidden file ".brimlet.lock" in the folder; a
// lock left by a program that is no longer running is taken over.
struct FolderClaim {
    // Held for the run. In a folder Brimlet may not write to there is no
    // lock to fight over: the object is set but holds nothing, and capturing
    // there reports its own errors.
    std::unique_ptr<QLockFile> lock;
    // Another running Brimlet holds the folder.
    bool heldByAnother = false;
    // Neither: why the folder cannot be locked, as a sentence for the user.
    QString problem;

    bool claimed() const { return lock != nullptr; }
};

// `folder` is the working directory; empty when the system could not tell
// it (the folder was deleted after the program's start).
FolderClaim claimFolder(const QString& folder);

// The lock alone: null when the folder cannot be claimed, whatever the
// reason.
std::unique_ptr<QLockFile> lockFolder(const QString& folder);

}  // namespace brimlet
