#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace brimlet {

// One Brimlet per folder: two would race for the same numbers and the same
// clipboard. The lock is the hidden file ".brimlet.lock" in the folder; a
// lock left by a program that is no longer running is taken over.
// Returns null when another running Brimlet holds the folder.
std::unique_ptr<QLockFile> lockFolder(const QString& folder);

}  // namespace brimlet
