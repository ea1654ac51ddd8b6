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
#include <string_view>
#include <vector>

namespace brimlet {

namespace {

// A name the lists may show, decoded; null for a hidden name or one that is
// not valid UTF-8.
QString listableName(const char* raw, size_t length) {
    if (length == 0 || raw[0] == '.') return {};
    const QByteArrayView bytes(raw, static_cast<qsizetype>(length));
    if (!bytes.isValidUtf8()) return {};
    return QString::fromUtf8(bytes);
}

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

// Whether the entry at `path` is a regular file once links are followed.
bool leadsToFile(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

QByteArray sortKey(const QString& name) {
    return name.toCaseFolded().toUtf8();
}

bool listedBefore(const QString& a, const QString& b) {
    const int byKey = sortKey(a).compare(sortKey(b));
    return byKey != 0 ? byKey < 0 : a < b;
}

FolderEntries readFolderEntries(const QString& folder) {
    const QByteArray base = QFile::encodeName(folder) + '/';
    FolderEntries entries;
    DIR* dir = ::opendir(base.constData());
    if (dir == nullptr) return entries;
    // The sort keys lie one after another in one string, made once each.
    std::string keys;
    struct Found {
        quint32 key;
        quint32 keyLength;
        QString name;
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
        QString name = listableName(entry->d_name, length);
        if (name.isNull()) continue;
        bool file = entry->d_type == DT_REG;
        bool link = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            const EntryKind kind = entryKind(folder, name);
            file = kind.listed;
            link = kind.link;
        } else if (link) {
            file = leadsToFile(base + entry->d_name);
        }
        if (!file) continue;
        if (link) entries.links.insert(name);
        const auto at = static_cast<quint32>(keys.size());
        found.push_back({at, appendSortKey(keys, entry->d_name, length, name), std::move(name)});
    }
    ::closedir(dir);
    const auto keyOf = [&keys](const Found& f) {
        return std::string_view(keys.data() + f.key, f.keyLength);
    };
    std::sort(found.begin(), found.end(), [&keyOf](const Found& a, const Found& b) {
        const int byKey = keyOf(a).compare(keyOf(b));
        return byKey != 0 ? byKey < 0 : a.name < b.name;
    });
    entries.names.reserve(static_cast<qsizetype>(found.size()));
    entries.keys.reserve(static_cast<qsizetype>(found.size()));
    for (Found& f : found) {
        entries.keys.append(QByteArray(keys.data() + f.key, f.keyLength));
        entries.names.append(std::move(f.name));
    }
    return entries;
}

FolderReading::FolderReading(const QString& folder, int lists,
                             std::function<void(const FolderEntries&)> after) {
    for (int i = 0; i < lists; ++i) watchers_.push_back(std::make_unique<FolderWatcher>(folder));
    // An exception stays in the future and comes out of entries().
    read_ = std::async(std::launch::async, [folder, after = std::move(after)] {
        FolderEntries entries = readFolderEntries(folder);
        if (after) after(entries);
        return entries;
    });
}

FolderReading::~FolderReading() = default;

const FolderEntries& FolderReading::entries() {
    if (!entries_) entries_ = read_.get();
    return *entries_;
}

std::unique_ptr<FolderWatcher> FolderReading::takeWatcher() {
    if (watchers_.empty()) return nullptr;
    std::unique_ptr<FolderWatcher> watcher = std::move(watchers_.front());
    watchers_.erase(watchers_.begin());
    return watcher;
}

EntryKind entryKind(const QString& folder, const QString& name) {
    const QByteArray raw = QFile::encodeName(name);
    if (listableName(raw.constData(), static_cast<size_t>(raw.size())).isNull()) return {};
    const QByteArray path = QFile::encodeName(folder) + '/' + raw;
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) return {};
    if (S_ISREG(info.st_mode)) return {true, false};
    if (S_ISLNK(info.st_mode)) return {leadsToFile(path), true};
    return {};
}

FolderWatcher::FolderWatcher(const QString& folder) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    const uint32_t events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                            IN_MOVE_SELF | IN_ONLYDIR;
    if (::inotify_add_watch(fd_, QFile::encodeName(folder).constData(), events) < 0) {
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
            if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) lost_ = true;
            if (event->mask & IN_Q_OVERFLOW) changes.everything = true;
            if (event->len > 0) changes.names.insert(QFile::decodeName(event->name));
        }
    }
    changes.everything = changes.everything || lost_;
    return changes;
}

}  // namespace brimlet
