#include "files/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/RuntimeError.h"

namespace brimlet {

namespace {

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

RuntimeError openFailure(const QString& path, int error) {
    if (error == ENOENT || error == ENOTDIR) return RuntimeError::fileNotFound(path);
    return RuntimeError::pathFileAccess(path, systemMessage(error));
}

RuntimeError notARegularFile(const QString& path, mode_t mode) {
    QString kind = QStringLiteral("it is not a regular file");
    if (S_ISFIFO(mode)) kind = QStringLiteral("it is a FIFO, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode)) kind = QStringLiteral("it is a device, not a regular file");
    if (S_ISSOCK(mode)) kind = QStringLiteral("it is a socket, not a regular file");
    if (S_ISDIR(mode)) kind = QStringLiteral("it is a folder, not a regular file");
    return RuntimeError::pathFileAccess(path, kind);
}

RuntimeError tooLarge(const QString& path, qint64 maxBytes) {
    return RuntimeError(7, QStringLiteral("Out of memory"),
                        path + QStringLiteral(": the file is larger than %1 bytes").arg(maxBytes));
}

// A regular file open for reading. The name is looked at before it is
// opened, so no device is ever opened, and opened without waiting, so a
// FIFO put in its place in between cannot hold the reader; what was opened
// is checked again.
class RegularFile {
  public:
    explicit RegularFile(const QString& path) : path_(path) {
        const QByteArray name = QFile::encodeName(path);
        struct stat info {};
        if (::stat(name.constData(), &info) != 0) throw openFailure(path, errno);
        if (!S_ISREG(info.st_mode)) throw notARegularFile(path, info.st_mode);
        fd_ = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) throw openFailure(path, errno);
        if (::fstat(fd_, &info) != 0) {
            const int error = errno;
            ::close(fd_);
            throw RuntimeError::pathFileAccess(path, systemMessage(error));
        }
        if (!S_ISREG(info.st_mode)) {
            ::close(fd_);
            throw notARegularFile(path, info.st_mode);
        }
        size_ = info.st_size;
    }
    ~RegularFile() { ::close(fd_); }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    qint64 size() const { return size_; }

    // Up to `count` bytes; 0 at the end of the file.
    qint64 read(char* data, qint64 count) {
        for (;;) {
            const ssize_t n = ::read(fd_, data, static_cast<size_t>(count));
            if (n >= 0) return n;
            if (errno != EINTR) throw RuntimeError::pathFileAccess(path_, systemMessage(errno));
        }
    }

    // The next `maxBytes` bytes at most, and whether the file ends there.
    FileHead readUpTo(qint64 maxBytes) {
        constexpr qint64 kStep = qint64(64) << 10;
        maxBytes = std::max<qint64>(maxBytes, 0);
        FileHead head;
        head.size = size_;
        // The size is only a hint: the file may grow or shrink meanwhile.
        head.bytes.resize(std::min(maxBytes, size_));
        qint64 got = 0;
        bool atEnd = false;
        while (!atEnd) {
            if (got == head.bytes.size()) {
                if (got >= maxBytes) break;
                head.bytes.resize(std::min(maxBytes, got + std::max(got, kStep)));
            }
            const qint64 n = read(head.bytes.data() + got, head.bytes.size() - got);
            atEnd = n == 0;
            got += n;
        }
        head.bytes.resize(got);
        if (!atEnd) {
            char probe;
            atEnd = read(&probe, 1) == 0;
        }
        head.complete = atEnd;
        return head;
    }

  private:
    QString path_;
    int fd_ = -1;
    qint64 size_ = 0;
};

}  // namespace

FileHead readHead(const QString& path, qint64 maxBytes) {
    RegularFile file(path);
    return file.readUpTo(maxBytes);
}

qint64 forEachChunk(const QString& path, qint64 chunkBytes,
                    const std::function<void(QByteArrayView)>& consume) {
    RegularFile file(path);
    QByteArray buffer(
        std::min(chunkBytes > 0 ? chunkBytes : kStreamChunkBytes, std::max<qint64>(file.size(), 1)),
        Qt::Uninitialized);
    qint64 remaining = file.size();
    qint64 total = 0;
    while (remaining > 0) {
        const qint64 n = file.read(buffer.data(), std::min<qint64>(buffer.size(), remaining));
        if (n == 0) break;
        consume(QByteArrayView(buffer.constData(), n));
        total += n;
        remaining -= n;
    }
    return total;
}

QByteArray readWholeFile(const QString& path, qint64 maxBytes) {
    RegularFile file(path);
    if (file.size() > maxBytes) throw tooLarge(path, maxBytes);
    FileHead head = file.readUpTo(maxBytes);
    if (!head.complete) throw tooLarge(path, maxBytes);
    return std::move(head.bytes);
}

bool nameIsTaken(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) return true;
    if (errno == ENOENT) return false;
    throw RuntimeError::pathFileAccess(path, systemMessage(errno));
}

void deleteFile(const QString& path) {
    const QFileInfo info(path);
    if (info.fileName().isEmpty() || !info.isFile()) throw RuntimeError::fileNotFound(path);
    if (!(info.permissions() & QFileDevice::WriteOwner)) {
        throw RuntimeError::pathFileAccess(path, QStringLiteral("the file is read-only"));
    }
    QFile file(path);
    if (!file.remove()) throw RuntimeError::pathFileAccess(path, file.errorString());
}

}  // namespace brimlet
