#include "files/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/RuntimeError.h"
#include "files/Files.h"

namespace brimlet {

namespace {

const QString kTemporaryPrefix = QStringLiteral(".brimlet-");

// Temporary files are created private; the finished file gets the mode any
// new file of this process would get.
mode_t newFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

RuntimeError writeFailure(const QString& path, int error, const QString& why) {
    if (error == ENOSPC || error == EDQUOT) return RuntimeError::diskFull(path);
    return RuntimeError::pathFileAccess(path, why);
}

// A new file under a free temporary name, open for writing. Created with
// O_EXCL: a link put under the temporary name is never opened.
int createTemporary(const FolderHandle& folder, const QString& target, QByteArray& name) {
    if (!folder.isOpen()) {
        throw writeFailure(target, folder.error(),
                           QString::fromLocal8Bit(std::strerror(folder.error())));
    }
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = QFile::encodeName(kTemporaryPrefix);
        for (int i = 0; i < 6; ++i) name += kLetters[QRandomGenerator::global()->bounded(62)];
        const int fd = ::openat(folder.fd(), name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) return fd;
        const int error = errno;
        if (error == EEXIST || error == EINTR) continue;
        // A name cannot be created in a folder that has been deleted.
        if (error == ENOENT && folder.isDeleted()) raiseFolderDeleted(folder);
        throw writeFailure(target, error, QString::fromLocal8Bit(std::strerror(error)));
    }
    throw RuntimeError::pathFileAccess(target, QStringLiteral("no free temporary name"));
}

// Writes all of `bytes`, or raises.
void writeAll(int fd, QByteArrayView bytes, const QString& target) {
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        // A short write on a full disk must not pass.
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            throw writeFailure(target, error, QString::fromLocal8Bit(std::strerror(error)));
        }
        data += n;
        left -= n;
    }
}

}  // namespace

StagedFile::StagedFile(const FolderHandle& folder, const QByteArray& bytes, const QString& target)
    : StagedFile(
          folder, [&](const ByteSink& write) { write(bytes); }, target) {}

StagedFile::StagedFile(const FolderHandle& folder, const FileProducer& produce,
                       const QString& target)
    : StagedFile(folder, target) {
    // Fully constructed by now: whatever `produce` throws, the destructor
    // removes the file.
    produce([this](QByteArrayView bytes) { write(bytes); });
    finish();
}

StagedFile::StagedFile(const FolderHandle& folder, const QString& target)
    : folder_(folder), target_(target) {
    fd_ = createTemporary(folder, target, name_);
}

void StagedFile::write(QByteArrayView bytes) {
    if (fd_ < 0) throw RuntimeError::pathFileAccess(target_, QStringLiteral("already closed"));
    writeAll(fd_, bytes, target_);
    wrote(bytes.size());
}

// A large file goes to the disk while it is still being written, so that the
// sync at its end waits for little more than its last pieces. Only a start:
// errors are the sync's to report.
void StagedFile::wrote(qint64 bytes) {
    constexpr qint64 kWritebackBytes = qint64(2) << 20;
    unsent_ += bytes;
    if (unsent_ < kWritebackBytes) return;
    unsent_ = 0;
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void StagedFile::writeAt(qint64 offset, QByteArrayView bytes) {
    if (fd_ < 0) throw RuntimeError::pathFileAccess(target_, QStringLiteral("already closed"));
    while (!bytes.isEmpty()) {
        const ssize_t n = ::pwrite(fd_, bytes.data(), static_cast<size_t>(bytes.size()), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            throw writeFailure(target_, error, QString::fromLocal8Bit(std::strerror(error)));
        }
        bytes = bytes.sliced(n);
        offset += n;
        wrote(n);
    }
}

void StagedFile::finish() {
    if (fd_ < 0) return;
    const int fd = std::exchange(fd_, -1);
    if (::fchmod(fd, newFileMode()) != 0 || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        throw writeFailure(target_, error, QString::fromLocal8Bit(std::strerror(error)));
    }
    if (::close(fd) != 0 && errno != EINTR) {
        const int error = errno;
        throw writeFailure(target_, error, QString::fromLocal8Bit(std::strerror(error)));
    }
}

StagedFile::~StagedFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.isEmpty()) ::unlinkat(folder_.fd(), name_.constData(), 0);
}

bool StagedFile::publishIfAbsent(const FolderFile& file) {
    finish();
    const char* from = name_.constData();
    const char* to = file.name.constData();
    if (!file.folder.isOpen()) {
        throw writeFailure(file.path(), file.folder.error(),
                           QString::fromLocal8Bit(std::strerror(file.folder.error())));
    }
    // Neither call follows or replaces anything under the new name: both
    // fail with EEXIST on any entry there, a dangling link included.
    int result = ::renameat2(folder_.fd(), from, file.folder.fd(), to, RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        // A file system that cannot rename without replacing: a hard link
        // is just as atomic, and the temporary name is then dropped.
        result = ::linkat(folder_.fd(), from, file.folder.fd(), to, 0);
        if (result == 0 && ::unlinkat(folder_.fd(), from, 0) != 0) return true;  // removed later
    }
    if (result != 0) {
        const int error = errno;
        if (error == EEXIST) return false;
        if (error == ENOENT && file.folder.isDeleted()) raiseFolderDeleted(file.folder);
        throw writeFailure(file.path(), error, QString::fromLocal8Bit(std::strerror(error)));
    }
    name_.clear();
    return true;
}

bool renameIfAbsent(const FolderHandle& folder, const QByteArray& from, const QByteArray& to) {
    const FolderFile target(folder, to);
    if (!folder.isOpen()) {
        throw writeFailure(target.path(), folder.error(),
                           QString::fromLocal8Bit(std::strerror(folder.error())));
    }
    int result =
        ::renameat2(folder.fd(), from.constData(), folder.fd(), to.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        result = ::linkat(folder.fd(), from.constData(), folder.fd(), to.constData(), 0);
        if (result == 0) ::unlinkat(folder.fd(), from.constData(), 0);
    }
    if (result == 0) return true;
    const int error = errno;
    if (error == EEXIST) return false;
    if (error == ENOENT && folder.isDeleted()) raiseFolderDeleted(folder);
    if (error == ENOENT) throw RuntimeError::fileNotFound(folder.filePath(from));
    throw writeFailure(target.path(), error, QString::fromLocal8Bit(std::strerror(error)));
}

void StagedFile::publishReplacing(const FolderFile& file) {
    finish();
    if (!file.folder.isOpen() ||
        ::renameat(folder_.fd(), name_.constData(), file.folder.fd(), file.name.constData()) != 0) {
        const int error = file.folder.isOpen() ? errno : file.folder.error();
        if (error == ENOENT && file.folder.isOpen() && file.folder.isDeleted()) {
            raiseFolderDeleted(file.folder);
        }
        throw writeFailure(file.path(), error, QString::fromLocal8Bit(std::strerror(error)));
    }
    name_.clear();
}

void writeFileReplacing(const FolderFile& file, const QByteArray& bytes) {
    StagedFile staged(file.folder, bytes, file.path());
    staged.publishReplacing(file);
}

void writeFileReplacing(const FolderFile& file, const FileProducer& produce) {
    StagedFile staged(file.folder, produce, file.path());
    staged.publishReplacing(file);
}

bool writeFileIfAbsent(const FolderFile& file, const QByteArray& bytes) {
    if (nameIsTaken(file)) return false;
    StagedFile staged(file.folder, bytes, file.path());
    return staged.publishIfAbsent(file);
}

void removeStaleTemporaries(const FolderHandle& folder) {
    const QByteArray prefix = QFile::encodeName(kTemporaryPrefix);
    // Read plainly: a folder may hold tens of thousands of captures.
    const int fd = folder.openForListing();
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0) ::close(fd);
        return;
    }
    QByteArrayList candidates;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.constData(), prefix.size()) == 0) {
            candidates << QByteArray(entry->d_name);
        }
    }
    ::closedir(dir);
    removeStaleTemporaries(folder, candidates);
}

void removeStaleTemporaries(const FolderHandle& folder, const QByteArrayList& hiddenNames) {
    static const QRegularExpression temporaryName(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(kTemporaryPrefix) + QStringLiteral("[A-Za-z0-9]{6}")));
    if (!folder.isOpen()) return;
    for (const QByteArray& name : hiddenNames) {
        if (!temporaryName.match(QFile::decodeName(name)).hasMatch()) continue;
        struct stat info {};
        // Not followed: a link is looked at itself, and only a regular file
        // goes.
        if (::fstatat(folder.fd(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode)) {
            ::unlinkat(folder.fd(), name.constData(), 0);
        }
    }
}

}  // namespace brimlet
