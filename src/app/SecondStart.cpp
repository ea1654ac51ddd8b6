#include "app/SecondStart.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace brimlet {

namespace {

constexpr char kShow[] = "show\n";
constexpr char kShown[] = "shown\n";
constexpr char kNoWindow[] = "no window\n";
constexpr int kMaxRequest = 64;
constexpr int kAnswerMs = 3000;
// Callers served at once, so that callers never take the descriptors the
// captures need; the rest wait in the queue.
constexpr int kMaxCallers = 16;
constexpr int kRetryMs = 250;

struct Address {
    sockaddr_un name{};
    socklen_t length = 0;
    QByteArray file;  // empty for an abstract name
};

// Where a Brimlet in `folder` listens, the preferred place first.
std::vector<Address> addresses(const QString& folder) {
    const QByteArray digest =
        QCryptographicHash::hash(QDir(folder).absolutePath().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    std::vector<Address> found;
    const QByteArray runtime = privateRuntimeFolder();
    const QByteArray file = runtime + "/brimlet-" + digest;
    Address address;
    address.name.sun_family = AF_UNIX;
    if (!runtime.isEmpty() && size_t(file.size()) < sizeof address.name.sun_path) {
        std::memcpy(address.name.sun_path, file.constData(), size_t(file.size()) + 1);
        address.length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(file.size()) + 1);
        address.file = file;
        found.push_back(address);
    }
    // The abstract name starts with a NUL byte and is not NUL-terminated.
    const QByteArray abstract = "brimlet-" + QByteArray::number(::geteuid()) + "-" + digest;
    address = Address{};
    address.name.sun_family = AF_UNIX;
    std::memcpy(address.name.sun_path + 1, abstract.constData(), size_t(abstract.size()));
    address.length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(abstract.size()));
    found.push_back(address);
    return found;
}

bool sameUser(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           peer.uid == ::geteuid();
}

int newSocket() {
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

// Waits for `events` on `fd` until the deadline.
bool ready(int fd, short events, const QDeadlineTimer& deadline) {
    pollfd p{fd, events, 0};
    int polled;
    while ((polled = ::poll(&p, 1, int(qMax<qint64>(0, deadline.remainingTime())))) < 0 &&
           errno == EINTR) {
    }
    return polled > 0;
}

// Asks at one address; nothing there (or a peer of another user) is no.
bool askAt(const Address& address, const QDeadlineTimer& deadline) {
    const int fd = newSocket();
    if (fd < 0) return false;
    int connected;
    // A full queue answers EAGAIN: the listener is busy, so try again.
    while ((connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address.name),
                                  address.length)) != 0 &&
           (errno == EINTR || errno == EAGAIN) && !deadline.hasExpired()) {
        if (errno == EAGAIN) ::usleep(20000);
    }
    QByteArray answer;
    if (connected == 0 && sameUser(fd) &&
        ::send(fd, kShow, sizeof kShow - 1, MSG_NOSIGNAL) == ssize_t(sizeof kShow - 1)) {
        char buffer[kMaxRequest];
        while (!answer.contains('\n') && answer.size() < kMaxRequest &&
               ready(fd, POLLIN, deadline)) {
            const ssize_t n = ::read(fd, buffer, size_t(kMaxRequest - answer.size()));
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) break;
            answer.append(buffer, n);
        }
    }
    ::close(fd);
    return answer == kShown;
}

// One caller on its own descriptor: its request is gathered as it comes,
// answered in one write (a few bytes always fit an empty socket buffer),
// and the descriptor closed with the object.
class Caller : public QObject {
  public:
    Caller(int fd, QObject* parent)
        : QObject(parent), fd_(fd), notifier_(fd, QSocketNotifier::Read, this) {}
    ~Caller() override { ::close(fd_); }
    QSocketNotifier& notifier() { return notifier_; }

    // Reads what has come; returns the request once it is whole (a line,
    // the most a request may be, or all the caller sent), else nothing.
    std::optional<QByteArray> takeRequest() {
        char buffer[kMaxRequest];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, size_t(kMaxRequest - request_.size()));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n <= 0) return request_;
            request_.append(buffer, n);
            if (request_.contains('\n') || request_.size() >= kMaxRequest) return request_;
        }
        return std::nullopt;
    }
    void reply(const char* answer) {
        notifier_.setEnabled(false);
        (void)::send(fd_, answer, std::strlen(answer), MSG_NOSIGNAL);
    }

  private:
    int fd_;
    QSocketNotifier notifier_;
    QByteArray request_;
};

}  // namespace

SecondStartListener::SecondStartListener(const QString& folder, std::function<bool()> show,
                                         QObject* parent)
    : QObject(parent), show_(std::move(show)) {
    for (const Address& address : addresses(folder)) {
        const int fd = newSocket();
        if (fd < 0) return;
        // Only the holder of the folder's lock listens, so a socket left
        // behind by a Brimlet that ended abruptly is taken over.
        struct stat entry {};
        const char* file = address.file.constData();
        if (!address.file.isEmpty() && ::lstat(file, &entry) == 0 && S_ISSOCK(entry.st_mode)) {
            ::unlink(file);
        }
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.name), address.length) == 0 &&
            ::listen(fd, kMaxCallers) == 0 &&
            (address.file.isEmpty() || ::lstat(file, &entry) == 0)) {
            fd_ = fd;
            file_ = address.file;
            device_ = entry.st_dev;
            inode_ = entry.st_ino;
            break;
        }
        ::close(fd);
    }
    if (fd_ < 0) return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SecondStartListener::acceptCallers);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &SecondStartListener::acceptCallers);
}

SecondStartListener::~SecondStartListener() {
    closing_ = true;
    const QObjectList children = this->children();  // a copy: callers leave the list
    for (QObject* child : children) delete dynamic_cast<Caller*>(child);
    if (fd_ < 0) return;
    ::close(fd_);
    // Removed only while it is still the one this object made.
    struct stat entry {};
    if (!file_.isEmpty() && ::lstat(file_.constData(), &entry) == 0 &&
        quint64(entry.st_dev) == device_ && quint64(entry.st_ino) == inode_) {
        ::unlink(file_.constData());
    }
}

void SecondStartListener::acceptCallers() {
    notifier_->setEnabled(false);
    while (callers_ < kMaxCallers) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            if (sameUser(fd)) {
                answer(fd);
            } else {
                ::close(fd);
            }
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            notifier_->setEnabled(true);
        } else {
            // Out of descriptors or memory: the socket stays, and callers
            // are taken again shortly.
            retry_.start(kRetryMs);
        }
        return;
    }
    // At most kMaxCallers at once: one that goes takes the next.
}

void SecondStartListener::answer(int fd) {
    auto* caller = new Caller(fd, this);
    ++callers_;
    connect(caller, &QObject::destroyed, this, &SecondStartListener::callerGone);
    // A caller that never says anything is let go.
    QTimer::singleShot(kAnswerMs, caller, &QObject::deleteLater);
    connect(&caller->notifier(), &QSocketNotifier::activated, caller, [this, caller] {
        const std::optional<QByteArray> request = caller->takeRequest();
        if (!request) return;
        const bool shown = *request == kShow && show_();
        caller->reply(shown ? kShown : kNoWindow);
        caller->deleteLater();
    });
}

void SecondStartListener::callerGone() {
    --callers_;
    if (!closing_ && !retry_.isActive() && callers_ == kMaxCallers - 1) acceptCallers();
}

QByteArray privateRuntimeFolder() {
    const QByteArray folder = qgetenv("XDG_RUNTIME_DIR");
    struct stat entry {};
    if (!folder.startsWith('/') || ::lstat(folder.constData(), &entry) != 0 ||
        !S_ISDIR(entry.st_mode) || entry.st_uid != ::geteuid() || (entry.st_mode & 077) != 0) {
        return {};
    }
    return folder;
}

bool askRunningBrimletToShow(const QString& folder) {
    const QDeadlineTimer deadline(kAnswerMs);
    for (const Address& address : addresses(folder)) {
        if (askAt(address, deadline)) return true;
    }
    return false;
}

}  // namespace brimlet
