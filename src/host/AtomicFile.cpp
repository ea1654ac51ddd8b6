#include "host/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/RuntimeError.h"

namespace brimlet {

namespace {

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

// A finished, synced and closed temporary file beside `path`; removes it
// unless release() is called.
class StagedFile {
public:
    StagedFile(const QString& path, const QByteArray& bytes) {
        const QString dir = QFileInfo(path).absolutePath();
        QTemporaryFile file(dir + QStringLiteral("/.brimlet-XXXXXX"));
        file.setAutoRemove(false);
        if (!file.open()) {
            throw RuntimeError::pathFileAccess(path, file.errorString());
        }
        name_ = file.fileName();
        errno = 0;
        const bool written = file.write(bytes) == bytes.size() && file.flush() &&
                             ::fchmod(file.handle(), newFileMode()) == 0 &&
                             ::fsync(file.handle()) == 0;
        const int error = errno;
        const QString why = file.errorString();
        file.close();
        if (!written) {
            QFile::remove(name_);
            throw writeFailure(path, error, why.isEmpty() ? QStringLiteral("write failed") : why);
        }
    }
    ~StagedFile() {
        if (!name_.isEmpty()) QFile::remove(name_);
    }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    const QString& name() const { return name_; }
    void release() { name_.clear(); }

private:
    QString name_;
};

}  // namespace

void writeFileReplacing(const QString& path, const QByteArray& bytes) {
    StagedFile staged(path, bytes);
    if (std::rename(QFile::encodeName(staged.name()).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        throw writeFailure(path, error, QString::fromLocal8Bit(std::strerror(error)));
    }
    staged.release();
}

bool writeFileIfAbsent(const QString& path, const QByteArray& bytes) {
    if (QFileInfo::exists(path)) return false;
    StagedFile staged(path, bytes);
    // QFile::rename never replaces an existing file (it renames with
    // RENAME_NOREPLACE or links where the file system allows).
    QFile file(staged.name());
    if (!file.rename(path)) {
        if (QFileInfo::exists(path)) return false;
        throw RuntimeError::pathFileAccess(path, file.errorString());
    }
    staged.release();
    return true;
}

}  // namespace brimlet
