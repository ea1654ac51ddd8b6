#include "app/FolderLock.h"

#include <QDir>

namespace brimlet {

std::unique_ptr<QLockFile> lockFolder(const QString& folder) {
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral(".brimlet.lock")));
    if (lock->tryLock(0)) return lock;
    // A folder Brimlet cannot write to has no lock to fight over; capturing
    // there reports its own errors.
    if (lock->error() == QLockFile::PermissionError) return lock;
    return nullptr;
}

}  // namespace brimlet
