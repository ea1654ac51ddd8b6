#include "host/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/RuntimeError.h"

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

StagedFile::StagedFile(const QString& folder, const QByteArray& bytes, const QString& target) {
    QTemporaryFile file(QDir(folder).filePath(kTemporaryPrefix + QStringLiteral("XXXXXX")));
    file.setAutoRemove(false);
    if (!file.open()) throw RuntimeError::pathFileAccess(target, file.errorString());
    name_ = file.fileName();
    // Every count is checked: a short write on a full disk must not pass.
    errno = 0;
    const bool written = file.write(bytes) == bytes.size() && file.flush() &&
                         ::fchmod(file.handle(), newFileMode()) == 0 && ::fsync(file.handle()) == 0;
    const int error = errno;
    const QString why = file.errorString();
    file.close();
    if (!written) {
        QFile::remove(name_);
        name_.clear();
        throw writeFailure(target, error, why.isEmpty() ? QStringLiteral("write failed") : why);
    }
}

StagedFile::~StagedFile() {
    if (!name_.isEmpty()) QFile::remove(name_);
}

bool StagedFile::publishIfAbsent(const QString& path) {
    if (QFileInfo::exists(path)) return false;
    // QFile::rename never replaces an existing file (it renames with
    // RENAME_NOREPLACE or links where the file system allows).
    QFile file(name_);
    if (!file.rename(path)) {
        if (QFileInfo::exists(path)) return false;
        throw RuntimeError::pathFileAccess(path, file.errorString());
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

bool writeFileIfAbsent(const QString& path, const QByteArray& bytes) {
    if (QFileInfo::exists(path)) return false;
    StagedFile staged(QFileInfo(path).absolutePath(), bytes, path);
    return staged.publishIfAbsent(path);
}

void removeStaleTemporaries(const QString& folder) {
    QDir dir(folder);
    const QStringList stale =
        dir.entryList({kTemporaryPrefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden);
    for (const QString& name : stale) dir.remove(name);
}

}  // namespace brimlet
