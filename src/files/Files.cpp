#include "files/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
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
    return RuntimeError::outOfMemory(
        path + QStringLiteral(": the file is larger than %1 bytes").arg(maxBytes));
}

// The descriptor of the folder a name is in; raises what opening the folder
// met when it could not be opened.
int folderOf(const FolderFile& file) {
    if (!file.folder.isOpen()) throw openFailure(file.path(), file.folder.error());
    return file.folder.fd();
}

// A regular file open for reading. The name is looked at before it is
// opened, so no device is ever opened, and opened without waiting, so a
// FIFO put in its place in between cannot hold the reader; what was opened
// is checked again.
class RegularFile {
  public:
    explicit RegularFile(const FolderFile& file) : path_(file.path()) {
        const int folder = folderOf(file);
        const char* name = file.name.constData();
        struct stat info {};
        if (::fstatat(folder, name, &info, 0) != 0) throw openFailure(path_, errno);
        if (!S_ISREG(info.st_mode)) throw notARegularFile(path_, info.st_mode);
        fd_ = ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) throw openFailure(path_, errno);
        if (::fstat(fd_, &info) != 0) {
            const int error = errno;
            ::close(fd_);
            throw RuntimeError::pathFileAccess(path_, systemMessage(error));
        }
        if (!S_ISREG(info.st_mode)) {
            ::close(fd_);
            throw notARegularFile(path_, info.st_mode);
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

struct FolderHandle::Held {
    Held(QString at, const char* openAs) : path(std::move(at)) {
        const QByteArray name = openAs != nullptr ? QByteArray(openAs) : QFile::encodeName(path);
        fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // A folder that may be searched and written but not read is held
        // all the same; only its listing is refused then.
        if (fd < 0 && errno == EACCES)
            fd = ::open(name.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        error = fd < 0 ? errno : 0;
    }
    ~Held() {
        if (fd >= 0) ::close(fd);
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    QString path;
    int fd = -1;
    int error = 0;
};

FolderHandle::FolderHandle(const QString& path) : FolderHandle(path, nullptr) {}

FolderHandle::FolderHandle(const QString& path, const char* openAs)
    : held_(std::make_shared<const Held>(path, openAs)) {}

FolderHandle FolderHandle::working() {
    return FolderHandle(QDir::currentPath(), ".");
}

int FolderHandle::fd() const {
    return held_->fd;
}

int FolderHandle::error() const {
    return held_->error;
}

const QString& FolderHandle::path() const {
    return held_->path;
}

QString FolderHandle::filePath(QByteArrayView name) const {
    const QString file = QFile::decodeName(name.toByteArray());
    if (path().isEmpty()) return file;
    return path().endsWith(QLatin1Char('/')) ? path() + file : path() + QLatin1Char('/') + file;
}

bool FolderHandle::isDeleted() const {
    struct stat info {};
    return !isOpen() || (::fstat(fd(), &info) == 0 && info.st_nlink == 0);
}

int FolderHandle::openForListing() const {
    // A descriptor of its own: two readings of the folder at once must not
    // share one position.
    return isOpen() ? ::openat(fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
}

FolderFile::FolderFile(const QString& path)
    : folder(QFileInfo(path).absolutePath()), name(QFile::encodeName(QFileInfo(path).fileName())) {}

void raiseFolderDeleted(const FolderHandle& folder) {
    const QString why =
        QStringLiteral("the folder was deleted while Brimlet was capturing into it");
    throw RuntimeError::pathFileAccess(folder.path(), why)
        .explained(QStringLiteral("The folder %1 was deleted while Brimlet was capturing into "
                                  "it. Start Brimlet again in an existing folder.")
                       .arg(QDir::toNativeSeparators(folder.path())));
}

FileHead readHead(const FolderFile& file, qint64 maxBytes) {
    return RegularFile(file).readUpTo(maxBytes);
}

qint64 forEachChunk(const FolderFile& from, qint64 chunkBytes,
                    const std::function<void(QByteArrayView)>& consume) {
    RegularFile file(from);
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

QByteArray readWholeFile(const FolderFile& from, qint64 maxBytes) {
    RegularFile file(from);
    if (file.size() > maxBytes) throw tooLarge(from.path(), maxBytes);
    FileHead head = file.readUpTo(maxBytes);
    if (!head.complete) throw tooLarge(from.path(), maxBytes);
    return std::move(head.bytes);
}

bool nameIsTaken(const FolderFile& file) {
    struct stat info {};
    if (::fstatat(folderOf(file), file.name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        return true;
    }
    if (errno == ENOENT) return false;
    throw RuntimeError::pathFileAccess(file.path(), systemMessage(errno));
}

void deleteFile(const FolderFile& file) {
    const int folder = folderOf(file);
    struct stat info {};
    if (file.name.isEmpty() || ::fstatat(folder, file.name.constData(), &info, 0) != 0 ||
        !S_ISREG(info.st_mode)) {
        throw RuntimeError::fileNotFound(file.path());
    }
    if (!(info.st_mode & S_IWUSR)) {
        throw RuntimeError::pathFileAccess(file.path(), QStringLiteral("the file is read-only"));
    }
    if (::unlinkat(folder, file.name.constData(), 0) != 0) throw openFailure(file.path(), errno);
}

}  // namespace brimlet
