#include "capture/SyncedNumbering.h"

#include <QFile>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

#include "base/RuntimeError.h"
#include "base/Trace.h"
#include "files/AtomicFile.h"
#include "files/Files.h"
#include "files/Folder.h"
#include "host/Untrapped.h"

namespace brimlet {

std::optional<CaptureName> parseCaptureName(QByteArrayView name) {
    CaptureName capture;
    QByteArrayView rest;
    if (name.startsWith("picture") && name.endsWith(".jpeg")) {
        capture.picture = true;
        rest = name.sliced(7).chopped(5);
    } else if (name.startsWith("text") && name.endsWith(".txt")) {
        rest = name.sliced(4).chopped(4);
    } else {
        return std::nullopt;
    }
    if (rest.size() < 2 || rest.size() > 12 || (rest[0] != ' ' && rest[0] != '-')) {
        return std::nullopt;
    }
    // Digits as written: no sign but the "-", no leading zeros, no "-0".
    const QByteArrayView digits = rest.sliced(1);
    if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    qint64 magnitude = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
    }
    const qint64 value = rest[0] == '-' ? -magnitude : magnitude;
    if ((rest[0] == '-' && magnitude == 0) || value < std::numeric_limits<Counter>::min() ||
        value > std::numeric_limits<Counter>::max()) {
        return std::nullopt;
    }
    capture.number = static_cast<Counter>(value);
    return capture;
}

QByteArray conflictOriginal(QByteArrayView name) {
    // Syncthing puts ".sync-conflict-DATE-TIME-DEVICE" before the extension.
    if (!name.contains(QByteArrayView(".sync-conflict-"))) return {};  // most names, quickly
    static const QRegularExpression conflict(
        QStringLiteral("^(.+)\\.sync-conflict-\\d{8}-\\d{6}-[A-Z0-9]{7}(\\.[^.]*)?$"));
    const QRegularExpressionMatch match = conflict.match(QString::fromUtf8(name));
    if (!match.hasMatch()) return {};
    return (match.captured(1) + match.captured(2)).toUtf8();
}

SyncedNumbering::SyncedNumbering(Host& host, CaptureStore& store) : host_(host), store_(store) {}

SyncedNumbering::~SyncedNumbering() = default;

void SyncedNumbering::follow(const FolderEntries& entries, std::unique_ptr<FolderWatcher> watcher) {
    watcher_ = std::move(watcher);
    noteAll(entries.names);
    if (watcher_ && watcher_->descriptor() >= 0) {
        auto* notifier = new QSocketNotifier(watcher_->descriptor(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { settle(); });
    }
    // Conflict copies left from before are settled once the program runs.
    QTimer::singleShot(0, this, [this] { settle(); });
}

void SyncedNumbering::skipPresent(Counter& number, bool picture) {
    takeChanges();
    const Counter highest = picture ? highest_.picture : highest_.text;
    if (number <= highest) {
        number = highest;
        raiseCounter(number);
    }
    // Conflict copies seen now are settled once the capture is written.
    if ((!copies_.isEmpty() || counterFileChanged_) && !settleQueued_) {
        settleQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            settleQueued_ = false;
            settle();
        });
    }
}

std::optional<SyncedNumbering::Identity> SyncedNumbering::identityOf(const QByteArray& name) const {
    struct stat info {};
    if (::fstatat(store_.folder().fd(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return Identity{quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
                    qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

void SyncedNumbering::wrote(const QByteArray& name) {
    if (const auto identity = identityOf(name)) own_.insert(name, *identity);
    note(name);
}

void SyncedNumbering::takeChanges() {
    if (!watcher_) return;
    const FolderWatcher::Changes changes = watcher_->takeChanges();
    if (changes.everything) {
        // Notifications were lost: the folder is read again.
        noteAll(readFolderEntries(store_.folder()).names);
        counterFileChanged_ = true;
    }
    for (const QByteArray& name : changes.names) note(name);
}

// Numbers never go down: a name that came and went still counts.
void SyncedNumbering::note(QByteArrayView name) {
    static const QByteArray counterFile = kCounterFileName.toUtf8();
    if (const auto capture = parseCaptureName(name)) {
        Counter& highest = capture->picture ? highest_.picture : highest_.text;
        highest = std::max(highest, capture->number);
    } else if (name == QByteArrayView(counterFile)) {
        counterFileChanged_ = true;
    } else if (!conflictOriginal(name).isEmpty()) {
        copies_.insert(name.toByteArray());
    }
}

void SyncedNumbering::noteAll(const NameList& names) {
    for (qsizetype i = 0; i < names.size(); ++i) note(names.at(i));
}

void SyncedNumbering::settle() {
    takeChanges();
    if (counterFileChanged_) {
        counterFileChanged_ = false;
        // What another machine wrote there (or what this one did).
        (void)trapRunTimeError([this] { raiseToCounterFile(kCounterFileName.toUtf8()); });
    }
    const QSet<QByteArray> copies = std::exchange(copies_, {});
    for (const QByteArray& copy : copies) {
        if (!identityOf(copy)) continue;  // gone already, or no plain file
        const QByteArray original = conflictOriginal(copy);
        // A file the synchroniser moved away meanwhile is no failure: what
        // it brings next is looked at again.
        const auto error = trapRunTimeError([&] {
            if (original == kCounterFileName.toUtf8()) {
                mergeCounterCopy(copy);
            } else if (const auto capture = parseCaptureName(original)) {
                settleCaptureCopy(copy, original, *capture);
            }
        });
        if (error && error->number() != RuntimeError::FileNotFound) {
            showUntrappedError(host_, *error);
        }
    }
}

// A counter file that cannot be read raises nobody's counters.
void SyncedNumbering::raiseToCounterFile(const QByteArray& name) {
    const FileHead head = readHead(store_.file(name), kCounterFileHeadBytes);
    if (!head.complete) return;
    const Counters found = parseCounterFile(head.bytes);
    Counters& counters = store_.counters();
    counters.picture = std::max(counters.picture, found.picture);
    counters.text = std::max(counters.text, found.text);
}

// Both machines may merge the same copy: each keeps the higher counters,
// writes the counter file only when it holds less, and removes the copy.
void SyncedNumbering::mergeCounterCopy(const QByteArray& copy) {
    (void)trapRunTimeError([&] { raiseToCounterFile(copy); });
    (void)trapRunTimeError([&] { raiseToCounterFile(kCounterFileName.toUtf8()); });
    QByteArray now;  // none while the synchroniser replaces it
    (void)trapRunTimeError(
        [&] { now = readHead(store_.file(kCounterFileName), kCounterFileHeadBytes).bytes; });
    if (now != counterFileBytes(store_.counters())) store_.writeCounters();
    if (auto error = trapRunTimeError([&] { deleteFile(store_.file(copy)); })) {
        if (error->number() != RuntimeError::FileNotFound) throw *error;
    }
    qCDebug(traceLog).noquote() << "merges" << QString::fromUtf8(copy);
}

// Only this program's own capture is renamed: the copy on the other
// machine is another file, which its Brimlet leaves alone.
void SyncedNumbering::settleCaptureCopy(const QByteArray& copy, const QByteArray& original,
                                        const CaptureName& capture) {
    const auto own = own_.constFind(original);
    if (own == own_.constEnd() || !(identityOf(copy) == *own)) return;
    Counter& counter = capture.picture ? store_.counters().picture : store_.counters().text;
    const Counter highest = capture.picture ? highest_.picture : highest_.text;
    counter = std::max(counter, highest);
    for (;;) {
        raiseCounter(counter);
        const QByteArray name =
            QFile::encodeName(capture.picture ? pictureFileName(counter) : textFileName(counter));
        if (nameIsTaken(store_.file(name))) continue;
        store_.writeCounters();  // never behind the numbers on disk
        bool renamed = false;
        if (auto error =
                trapRunTimeError([&] { renamed = renameIfAbsent(store_.folder(), copy, name); })) {
            if (error->number() == RuntimeError::FileNotFound) return;  // gone meanwhile
            throw *error;
        }
        if (!renamed) continue;  // the name was taken meanwhile
        own_.insert(name, own_.take(original));
        note(name);
        qCDebug(traceLog).noquote()
            << "renumbers" << QString::fromUtf8(copy) << "as" << QString::fromUtf8(name);
        return;
    }
}

}  // namespace brimlet
