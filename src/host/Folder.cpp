#include "host/Folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

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

// Whether the entry at `path` is a regular file once links are followed.
bool leadsToFile(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool listedBefore(const QString& a, const QString& b) {
    const int byText = a.compare(b, Qt::CaseInsensitive);
    return byText != 0 ? byText < 0 : a < b;
}

FolderEntries readFolderEntries(const QString& folder) {
    const QByteArray base = QFile::encodeName(folder) + '/';
    DIR* dir = ::opendir(base.constData());
    if (dir == nullptr) return {};
    FolderEntries entries;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = listableName(entry->d_name, std::strlen(entry->d_name));
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
        entries.names.append(name);
        if (link) entries.links.insert(name);
    }
    ::closedir(dir);
    std::sort(entries.names.begin(), entries.names.end(), listedBefore);
    return entries;
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
