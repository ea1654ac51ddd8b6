#include "files/Folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace brimlet {

namespace {

// Appends a name's sort key to `keys`, straight from the name's bytes for a
// plain ASCII name (folding it byte by byte is what folding its characters
// gives); returns its length.
quint32 appendSortKey(std::string& keys, const char* raw, size_t length, const QString& name) {
    const size_t start = keys.size();
    for (size_t i = 0; i < length; ++i) {
        const char c = raw[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            keys.resize(start);
            keys += sortKey(name).toStdString();
            break;
        }
        keys += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return static_cast<quint32>(keys.size() - start);
}

// Whether an entry of the folder is a regular file once links are followed.
bool leadsToFile(int folder, const char* name) {
    struct stat info {};
    return ::fstatat(folder, name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

// Entries in list order: as shown, then by their bytes.
int compareEntries(QByteArrayView keyA, const QString& a, const QByteArray& bytesA,
                   QByteArrayView keyB, const QString& b, const QByteArray& bytesB) {
    if (const int byKey = keyA.compare(keyB); byKey != 0) return byKey;
    if (const int shown = a.compare(b); shown != 0) return shown;
    return bytesA.compare(bytesB);
}

}  // namespace

QByteArray sortKey(const QString& name) {
    return name.toCaseFolded().toUtf8();
}

bool listedBefore(const QString& a, const QString& b) {
    const int byKey = sortKey(a).compare(sortKey(b));
    return byKey != 0 ? byKey < 0 : a < b;
}

QString shownName(QByteArrayView bytes) {
    return QString::fromUtf8(bytes);
}

bool listedBefore(const QByteArray& a, const QByteArray& b) {
    const QString shownA = shownName(a);
    const QString shownB = shownName(b);
    return compareEntries(sortKey(shownA), shownA, a, sortKey(shownB), shownB, b) < 0;
}

FolderEntries readFolderEntries(const FolderHandle& folder) {
    FolderEntries entries;
    const int fd = folder.openForListing();
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0) ::close(fd);
        return entries;
    }
    // The sort keys lie one after another in one string, made once each.
    std::string keys;
    struct Found {
        quint32 key;
        quint32 keyLength;
        QString name;
        QByteArray bytes;
    };
    std::vector<Found> found;
    while (const dirent* entry = ::readdir(dir)) {
        const size_t length = std::strlen(entry->d_name);
        if (entry->d_name[0] == '.') {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                entries.hidden.append(QByteArray(entry->d_name, static_cast<qsizetype>(length)));
            }
            continue;
        }
        QByteArray bytes(entry->d_name, static_cast<qsizetype>(length));
        bool file = entry->d_type == DT_REG;
        bool link = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            const EntryKind kind = entryKind(folder, bytes);
            file = kind.listed;
            link = kind.link;
        } else if (link) {
            file = leadsToFile(folder.fd(), entry->d_name);
        }
        if (!file) continue;
        if (link) entries.links.insert(bytes);
        QString name = shownName(bytes);
        const auto at = static_cast<quint32>(keys.size());
        found.push_back({at, appendSortKey(keys, entry->d_name, length, name), std::move(name),
                         std::move(bytes)});
    }
    ::closedir(dir);
    const auto keyOf = [&keys](const Found& f) {
        return QByteArrayView(keys.data() + f.key, f.keyLength);
    };
    std::sort(found.begin(), found.end(), [&keyOf](const Found& a, const Found& b) {
        return compareEntries(keyOf(a), a.name, a.bytes, keyOf(b), b.name, b.bytes) < 0;
    });
    entries.names.reserve(static_cast<qsizetype>(found.size()));
    entries.bytes.reserve(static_cast<qsizetype>(found.size()));
    entries.keys.reserve(static_cast<qsizetype>(found.size()));
    for (Found& f : found) {
        entries.keys.append(QByteArray(keys.data() + f.key, f.keyLength));
        entries.names.append(std::move(f.name));
        entries.bytes.append(std::move(f.bytes));
    }
    return entries;
}

FolderReading::FolderReading(const FolderHandle& folder, int lists,
                             std::function<void(const FolderEntries&)> after)
    : folder_(folder) {
    for (int i = 0; i < lists; ++i) watchers_.push_back(std::make_unique<FolderWatcher>(folder));
    // An exception stays in the future and comes out of entries().
    read_ = std::async(std::launch::async, [folder, after = std::move(after)] {
        FolderEntries entries = readFolderEntries(folder);
        if (after) after(entries);
        return entries;
    });
}

FolderReading::~FolderReading() = default;

FolderEntries FolderReading::takeEntries() {
    return read_.valid() ? read_.get() : FolderEntries{};
}

std::unique_ptr<FolderWatcher> FolderReading::takeWatcher() {
    if (watchers_.empty()) return nullptr;
    std::unique_ptr<FolderWatcher> watcher = std::move(watchers_.front());
    watchers_.erase(watchers_.begin());
    return watcher;
}

EntryKind entryKind(const FolderHandle& folder, const QByteArray& name) {
    if (name.isEmpty() || name.startsWith('.') || name.contains('/') || !folder.isOpen()) return {};
    struct stat info {};
    if (::fstatat(folder.fd(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) return {};
    if (S_ISREG(info.st_mode)) return {true, false};
    if (S_ISLNK(info.st_mode)) return {leadsToFile(folder.fd(), name.constData()), true};
    return {};
}

FolderWatcher::FolderWatcher(const FolderHandle& folder) {
    if (!folder.isOpen()) return;
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    // The folder held open, by its descriptor: the path it was opened by may
    // lead elsewhere by now.
    const uint32_t events =
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR;
    const QByteArray held = "/proc/self/fd/" + QByteArray::number(folder.fd());
    if (::inotify_add_watch(fd_, held.constData(), events) < 0 &&
        ::inotify_add_watch(fd_, QFile::encodeName(folder.path()).constData(), events) < 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

FolderWatcher::~FolderWatcher() {
    if (fd_ >= 0) ::close(fd_);
}

FolderWatcher::Changes FolderWatcher::takeChanges() {
    Changes changes;
    changes.everything = fd_ < 0 || lost_;
    if (fd_ < 0) return changes;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // nothing more (EAGAIN), or the watch failed
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF)) lost_ = true;
            if (event->mask & IN_Q_OVERFLOW) changes.everything = true;
            if (event->len > 0) changes.names.insert(QByteArray(event->name));
        }
    }
    changes.everything = changes.everything || lost_;
    return changes;
}

}  // namespace brimlet
