#include "files/Folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace brimlet {

namespace {

// Appends a name's sort key to `keys`, straight from the name's bytes for a
// plain ASCII name (folding it byte by byte is what folding its characters
// gives).
void appendSortKey(std::string& keys, const char* raw, size_t length) {
    const size_t start = keys.size();
    for (size_t i = 0; i < length; ++i) {
        const char c = raw[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            keys.resize(start);
            keys += sortKey(shownName(QByteArrayView(raw, static_cast<qsizetype>(length))))
                        .toStdString();
            return;
        }
        keys += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
}

// Whether an entry of the folder is a regular file once links are followed.
bool leadsToFile(int folder, const char* name) {
    struct stat info {};
    return ::fstatat(folder, name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

// Entries in list order: as shown (by sort key, then as text), then by
// their bytes. The names are made only when the keys are equal.
int compareEntries(QByteArrayView keyA, QByteArrayView bytesA, QByteArrayView keyB,
                   QByteArrayView bytesB) {
    if (const int byKey = keyA.compare(keyB); byKey != 0) return byKey;
    if (const int shown = shownName(bytesA).compare(shownName(bytesB)); shown != 0) return shown;
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
    return compareEntries(sortKey(shownName(a)), a, sortKey(shownName(b)), b) < 0;
}

void NameList::reserve(qsizetype names, qsizetype bytes) {
    ends_.reserve(static_cast<size_t>(names));
    blob_.reserve(static_cast<size_t>(bytes));
}

void NameList::append(QByteArrayView name) {
    blob_.append(name.data(), static_cast<size_t>(name.size()));
    ends_.push_back(static_cast<quint32>(blob_.size()));
}

void NameList::insert(qsizetype i, QByteArrayView name) {
    const auto at = static_cast<size_t>(i);
    const quint32 start = at == 0 ? 0 : ends_[at - 1];
    const auto length = static_cast<quint32>(name.size());
    blob_.insert(start, name.data(), length);
    ends_.insert(ends_.begin() + static_cast<std::ptrdiff_t>(at), start);
    for (size_t j = at; j < ends_.size(); ++j) ends_[j] += length;
}

void NameList::removeAt(qsizetype i) {
    const auto at = static_cast<size_t>(i);
    const quint32 start = at == 0 ? 0 : ends_[at - 1];
    const quint32 length = ends_[at] - start;
    blob_.erase(start, length);
    ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(at));
    for (size_t j = at; j < ends_.size(); ++j) ends_[j] -= length;
}

void NameList::clear() {
    blob_.clear();
    ends_.clear();
}

QStringList NameList::shown() const {
    QStringList names;
    for (qsizetype i = 0; i < size(); ++i) names.append(shownName(at(i)));
    return names;
}

QByteArrayList NameList::bytes() const {
    QByteArrayList names;
    for (qsizetype i = 0; i < size(); ++i) names.append(at(i).toByteArray());
    return names;
}

FolderEntries readFolderEntries(const FolderHandle& folder) {
    FolderEntries entries;
    const int fd = folder.openForListing();
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0) ::close(fd);
        return entries;
    }
    // The names and their sort keys lie one after another, in the order
    // read; an index of them is sorted.
    NameList names;
    NameList keys;
    std::string key;
    while (const dirent* entry = ::readdir(dir)) {
        const size_t length = std::strlen(entry->d_name);
        const QByteArrayView bytes(entry->d_name, static_cast<qsizetype>(length));
        if (entry->d_name[0] == '.') {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                entries.hidden.append(bytes.toByteArray());
            }
            continue;
        }
        bool file = entry->d_type == DT_REG;
        bool link = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            const EntryKind kind = entryKind(folder, bytes.toByteArray());
            file = kind.listed;
            link = kind.link;
        } else if (link) {
            file = leadsToFile(folder.fd(), entry->d_name);
        }
        if (!file) continue;
        if (link) entries.links.insert(bytes.toByteArray());
        names.append(bytes);
        key.clear();
        appendSortKey(key, entry->d_name, length);
        keys.append(QByteArrayView(key.data(), static_cast<qsizetype>(key.size())));
    }
    ::closedir(dir);
    std::vector<quint32> order(static_cast<size_t>(names.size()));
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<quint32>(i);
    std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
        return compareEntries(keys.at(a), names.at(a), keys.at(b), names.at(b)) < 0;
    });
    qsizetype nameBytes = 0;
    qsizetype keyBytes = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        nameBytes += names.at(i).size();
        keyBytes += keys.at(i).size();
    }
    entries.names.reserve(names.size(), nameBytes);
    entries.keys.reserve(keys.size(), keyBytes);
    for (const quint32 i : order) {
        entries.names.append(names.at(i));
        entries.keys.append(keys.at(i));
    }
    return entries;
}

FolderReading::FolderReading(const FolderHandle& folder, int lists,
                             std::function<void(const FolderEntries&)> after)
    : folder_(folder), after_(std::move(after)) {
    for (int i = 0; i < lists; ++i) watchers_.push_back(std::make_unique<FolderWatcher>(folder));
}

FolderReading::~FolderReading() = default;

void FolderReading::start() {
    if (std::exchange(started_, true)) return;
    // An exception stays in the future and comes out of takeEntries().
    read_ = std::async(std::launch::async, [folder = folder_, after = std::move(after_)] {
        FolderEntries entries = readFolderEntries(folder);
        if (after) after(entries);
        return entries;
    });
}

bool FolderReading::isDone() const {
    return started_ &&
           (!read_.valid() || read_.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
}

FolderEntries FolderReading::takeEntries() {
    start();
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
