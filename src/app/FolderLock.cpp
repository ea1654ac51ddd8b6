#include "app/FolderLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace brimlet {

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Whether a process holds the lock file: QLockFile keeps an exclusive
// flock on the file for as long as it holds it.
bool someoneHolds(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

// What a lock path that is no plain file is, for the message.
QString whatItIs(const QFileInfo& entry) {
    if (entry.isSymLink()) return QStringLiteral("a link");
    if (entry.isDir()) return QStringLiteral("a folder");
    return QStringLiteral("not a plain file");
}

FolderClaim refused(const QString& problem) {
    FolderClaim claim;
    claim.problem = problem;
    return claim;
}

}  // namespace

FolderClaim claimFolder(const QString& folder) {
    if (folder.isEmpty()) {
        return refused(QStringLiteral(
            "The folder Brimlet was started in no longer exists: it was deleted or moved away. "
            "Start Brimlet again in an existing folder."));
    }
    if (!QFileInfo(folder).isDir()) {
        return refused(QStringLiteral("The folder %1 no longer exists: it was deleted or moved "
                                      "away. Start Brimlet again in an existing folder.")
                           .arg(native(folder)));
    }
    const QString path = QDir(folder).filePath(QString::fromLatin1(kLockFileName));
    const QFileInfo entry(path);
    if (entry.isSymLink() || (entry.exists() && !entry.isFile())) {
        return refused(QStringLiteral("%1 is %2, where Brimlet keeps its lock file. Remove or "
                                      "rename it, then start Brimlet again.")
                           .arg(native(path), whatItIs(entry)));
    }

    auto lock = std::make_unique<QLockFile>(path);
    bool locked = lock->tryLock(0);
    if (!locked && lock->error() == QLockFile::LockFailedError) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            return refused(QStringLiteral("Brimlet cannot read its lock file %1 (%2), so it "
                                          "cannot tell whether another Brimlet is running in "
                                          "this folder. If none is, delete that file and start "
                                          "Brimlet again.")
                               .arg(native(path), file.errorString()));
        }
        qint64 pid = 0;
        QString host, application;
        if (!lock->getLockInfo(&pid, &host, &application) && !someoneHolds(path)) {
            // Damaged (a Brimlet killed while writing it, say) and held by
            // no one: take it over.
            lock->removeStaleLockFile();
            locked = lock->tryLock(0);
        }
    }
    FolderClaim claim;
    if (locked || lock->error() == QLockFile::PermissionError) {
        claim.lock = std::move(lock);  // unlocked in a folder Brimlet may not write to
    } else if (lock->error() == QLockFile::LockFailedError) {
        claim.heldByAnother = true;
    } else {
        claim.problem = QStringLiteral(
                            "Brimlet cannot create its lock file %1, so it cannot make "
                            "sure that no other Brimlet runs in this folder.")
                            .arg(native(path));
    }
    return claim;
}

std::unique_ptr<QLockFile> lockFolder(const QString& folder) {
    return claimFolder(folder).lock;
}

}  // namespace brimlet
