#include "app/FolderLock.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include "app/SecondStart.h"

namespace brimlet {

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// What a lock path that is no plain file is, for the message.
QString whatItIs(mode_t mode) {
    if (S_ISLNK(mode)) return QStringLiteral("a link");
    if (S_ISDIR(mode)) return QStringLiteral("a folder");
    return QStringLiteral("not a plain file");
}

FolderClaim refused(const QString& problem) {
    FolderClaim claim;
    claim.problem = problem;
    return claim;
}

FolderClaim notAPlainFile(const QString& path, mode_t mode) {
    return refused(QStringLiteral("%1 is %2, where Brimlet keeps its lock file. Remove or "
                                  "rename it, then start Brimlet again.")
                       .arg(native(path), whatItIs(mode)));
}

// Whether the descriptor is still the file of that name in the folder: its
// last holder may have removed it between our open and our lock.
bool isNamed(int folder, const char* name, int fd) {
    struct stat named {};
    struct stat held {};
    return ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

FolderClaim heldByAnother() {
    FolderClaim claim;
    claim.heldByAnother = true;
    return claim;
}

// Without a private runtime folder: the name bound as an abstract socket,
// which only one socket at a time can hold.
FolderClaim bindLockName(const QByteArray& name) {
    const QByteArray abstract = "brimlet-" + QByteArray::number(::geteuid()) + "-" + name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, abstract.constData(), size_t(abstract.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(abstract.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        FolderClaim claim;
        claim.lock = std::make_unique<FolderLock>(-1, name, fd);
        return claim;
    }
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (error == EADDRINUSE) return heldByAnother();
    return refused(QStringLiteral("Brimlet cannot take its lock (%1), so it cannot make sure "
                                  "that no other Brimlet runs in this folder.")
                       .arg(systemMessage(error)));
}

FolderClaim lockIn(int dir, const QByteArray& runtime, const QByteArray& lockName);

}  // namespace

QByteArray lockNameOf(const FolderHandle& folder) {
    struct stat info {};
    if (::fstat(folder.fd(), &info) != 0) return {};
    return "brimlet-folder-" + QByteArray::number(quint64(info.st_dev)) + "-" +
           QByteArray::number(quint64(info.st_ino)) + ".lock";
}

FolderLock::~FolderLock() {
    unlock();
}

void FolderLock::unlock() {
    if (fd_ < 0) return;
    // Removed while still held, and only if the name is still this file.
    if (place_ >= 0 && isNamed(place_, name_.constData(), fd_)) {
        ::unlinkat(place_, name_.constData(), 0);
    }
    ::close(fd_);
    if (place_ >= 0) ::close(place_);
    fd_ = -1;
    place_ = -1;
}

FolderClaim claimFolder(const FolderHandle& folder) {
    if (folder.path().isEmpty()) {
        return refused(QStringLiteral(
            "The folder Brimlet was started in no longer exists: it was deleted or moved away. "
            "Start Brimlet again in an existing folder."));
    }
    if (folder.isDeleted() &&
        (folder.isOpen() || folder.error() == ENOENT || folder.error() == ENOTDIR)) {
        return refused(QStringLiteral("The folder %1 no longer exists: it was deleted or moved "
                                      "away. Start Brimlet again in an existing folder.")
                           .arg(native(folder.path())));
    }
    if (!folder.isOpen()) {
        return refused(QStringLiteral("Brimlet cannot open the folder %1 (%2).")
                           .arg(native(folder.path()), systemMessage(folder.error())));
    }
    const QByteArray lockName = lockNameOf(folder);
    if (lockName.isEmpty()) {
        return refused(QStringLiteral("Brimlet cannot open the folder %1 (%2).")
                           .arg(native(folder.path()), systemMessage(errno)));
    }
    const QByteArray runtime = privateRuntimeFolder();
    if (runtime.isEmpty()) return bindLockName(lockName);
    const int dir = ::open(runtime.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return bindLockName(lockName);
    FolderClaim claim = lockIn(dir, runtime, lockName);
    if (!claim.lock || !claim.lock->isLocked()) ::close(dir);
    return claim;
}

namespace {

// The lock file `lockName` in the runtime folder `dir`, taken; the claim's
// lock keeps `dir` open while it holds it.
FolderClaim lockIn(int dir, const QByteArray& runtime, const QByteArray& lockName) {
    const char* const name = lockName.constData();
    const QString path = QFile::decodeName(runtime + '/' + lockName);
    // A lock file whose holder removes it between our open and our lock is
    // opened again; a few tries are plenty.
    for (int attempt = 0; attempt < 10; ++attempt) {
        struct stat info {};
        if (::fstatat(dir, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode)) {
            return notAPlainFile(path, info.st_mode);
        }
        // Never through a link, and without waiting on a FIFO put there.
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        bool writable = true;
        int fd = ::openat(dir, name, O_RDWR | O_CREAT | flags, 0666);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
            // A lock file we may not write can still be held.
            writable = false;
            fd = ::openat(dir, name, O_RDONLY | flags);
            if (fd < 0 && errno == ENOENT) {
                FolderClaim claim;
                claim.lock =
                    std::make_unique<FolderLock>();  // a runtime folder we may not write to
                return claim;
            }
            if (fd < 0) {
                return refused(
                    QStringLiteral("Brimlet cannot read its lock file %1 (%2), so it cannot tell "
                                   "whether another Brimlet is running in this folder. If none "
                                   "is, delete that file and start Brimlet again.")
                        .arg(native(path), systemMessage(errno)));
            }
        }
        if (fd < 0 && errno == ELOOP) return notAPlainFile(path, S_IFLNK);
        if (fd < 0) {
            return refused(QStringLiteral("Brimlet cannot create its lock file %1, so it cannot "
                                          "make sure that no other Brimlet runs in this folder.")
                               .arg(native(path)));
        }
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return notAPlainFile(path, info.st_mode);
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) return heldByAnother();
            return refused(QStringLiteral("Brimlet cannot lock its lock file %1 (%2), so it "
                                          "cannot make sure that no other Brimlet runs in this "
                                          "folder.")
                               .arg(native(path), systemMessage(error)));
        }
        if (!isNamed(dir, name, fd)) {
            ::close(fd);
            continue;
        }
        if (writable) {
            // Who holds it, for a person who looks; a lock left behind, damaged
            // or not, is simply rewritten.
            const QByteArray holder = QByteArray::number(::getpid()) + "\nBrimlet\n" +
                                      QSysInfo::machineHostName().toUtf8() + '\n';
            if (::ftruncate(fd, 0) == 0) {
                (void)!::pwrite(fd, holder.constData(), static_cast<size_t>(holder.size()), 0);
            }
        }
        FolderClaim claim;
        claim.lock = std::make_unique<FolderLock>(dir, lockName, fd);
        return claim;
    }
    return refused(QStringLiteral("Brimlet cannot create its lock file %1, so it cannot make "
                                  "sure that no other Brimlet runs in this folder.")
                       .arg(native(path)));
}

}  // namespace

std::unique_ptr<FolderLock> lockFolder(const FolderHandle& folder) {
    return claimFolder(folder).lock;
}

}  // namespace brimlet
