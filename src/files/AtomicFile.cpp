#include "files/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/Files.h"
#include "base/RuntimeError.h"

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

}  // namespace

StagedFile::StagedFile(const QString& folder, const QByteArray& bytes, const QString& target)
    : StagedFile(
          folder, [&](const ByteSink& write) { write(bytes); }, target) {}

StagedFile::StagedFile(const QString& folder, const FileProducer& produce, const QString& target) {
    // Created with O_EXCL: a link put under the temporary name is never
    // opened.
    QTemporaryFile file(QDir(folder).filePath(kTemporaryPrefix + QStringLiteral("XXXXXX")));
    file.setAutoRemove(false);
    if (!file.open()) throw RuntimeError::pathFileAccess(target, file.errorString());
    const QString name = file.fileName();
    try {
        // Every count is checked: a short write on a full disk must not pass.
        const auto fail = [&] {
            const int error = errno;
            const QString why = file.errorString();
            throw writeFailure(target, error, why.isEmpty() ? QStringLiteral("write failed") : why);
        };
        produce([&](QByteArrayView bytes) {
            errno = 0;
            if (file.write(bytes.data(), bytes.size()) != bytes.size()) fail();
        });
        errno = 0;
        if (!file.flush() || ::fchmod(file.handle(), newFileMode()) != 0 ||
            ::fsync(file.handle()) != 0) {
            fail();
        }
    } catch (...) {
        file.close();
        QFile::remove(name);
        throw;
    }
    file.close();
    name_ = name;
}

StagedFile::~StagedFile() {
    if (!name_.isEmpty()) QFile::remove(name_);
}

bool StagedFile::publishIfAbsent(const QString& path) {
    const QByteArray from = QFile::encodeName(name_);
    const QByteArray to = QFile::encodeName(path);
    // Neither call follows or replaces anything under the new name: both
    // fail with EEXIST on any entry there, a dangling link included.
    int result =
        ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        // A file system that cannot rename without replacing: a hard link
        // is just as atomic, and the temporary name is then dropped.
        result = ::link(from.constData(), to.constData());
        if (result == 0 && ::unlink(from.constData()) != 0) return true;  // removed later
    }
    if (result != 0) {
        const int error = errno;
        if (error == EEXIST) return false;
        throw writeFailure(path, error, QString::fromLocal8Bit(std::strerror(error)));
    }
    name_.clear();
    return true;
}

void StagedFile::publishReplacing(const QString& path) {
    if (std::rename(QFile::encodeName(name_).constData(), QFile::encodeName(path).constData()) !=
        0) {
        const int error = errno;
        throw writeFailure(path, error, QString::fromLocal8Bit(std::strerror(error)));
    }
    name_.clear();
}

void writeFileReplacing(const QString& path, const QByteArray& bytes) {
    StagedFile staged(QFileInfo(path).absolutePath(), bytes, path);
    staged.publishReplacing(path);
}

void writeFileReplacing(const QString& path, const FileProducer& produce) {
    StagedFile staged(QFileInfo(path).absolutePath(), produce, path);
    staged.publishReplacing(path);
}

bool writeFileIfAbsent(const QString& path, const QByteArray& bytes) {
    if (nameIsTaken(path)) return false;
    StagedFile staged(QFileInfo(path).absolutePath(), bytes, path);
    return staged.publishIfAbsent(path);
}

void removeStaleTemporaries(const QString& folder) {
    const QByteArray prefix = QFile::encodeName(kTemporaryPrefix);
    // Read plainly: a folder may hold tens of thousands of captures.
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) return;
    QByteArrayList candidates;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.constData(), prefix.size()) == 0) {
            candidates << QByteArray(entry->d_name);
        }
    }
    ::closedir(dir);
    removeStaleTemporaries(folder, candidates);
}

void removeStaleTemporaries(const QString& folder, const QByteArrayList& hiddenNames) {
    static const QRegularExpression temporaryName(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(kTemporaryPrefix) + QStringLiteral("[A-Za-z0-9]{6}")));
    const QByteArray base = QFile::encodeName(folder) + '/';
    for (const QByteArray& name : hiddenNames) {
        if (!temporaryName.match(QFile::decodeName(name)).hasMatch()) continue;
        const QByteArray path = base + name;
        struct stat info {};
        // lstat: a link is looked at itself, and only a regular file goes.
        if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode)) {
            ::unlink(path.constData());
        }
    }
}

}  // namespace brimlet
