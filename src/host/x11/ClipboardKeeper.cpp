#include "host/x11/ClipboardKeeper.h"

#include <QtGui/qguiapplication_platform.h>
#include <QClipboard>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QIODevice>
#include <QImage>
#include <QMimeData>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace brimlet {

namespace {

constexpr char kMagic[] = "brimlet clipboard 1";
constexpr char kReady = 'k';
constexpr qint64 kMaxContent = qint64(1) << 30;

// What was on the clipboard, as it travels to the holder.
struct Content {
    bool hasText = false;
    QString text;
    bool hasImage = false;
    QImage image;
};

QByteArray encode(const Content& content) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << QByteArray(kMagic) << content.hasText << content.text << content.hasImage
        << content.image;
    return bytes;
}

bool decode(const QByteArray& bytes, Content* content) {
    QDataStream in(bytes);
    QByteArray magic;
    in >> magic;
    if (magic != kMagic) return false;
    in >> content->hasText >> content->text >> content->hasImage >> content->image;
    return in.status() == QDataStream::Ok && (content->hasText || content->hasImage);
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t result = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

xcb_window_t selectionOwner(xcb_connection_t* connection, xcb_atom_t selection) {
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const xcb_window_t owner = reply != nullptr ? reply->owner : xcb_window_t(XCB_NONE);
    std::free(reply);
    return owner;
}

// Every window a client creates has an id from the client's own range.
bool isOurs(xcb_connection_t* connection, xcb_window_t window) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    return window != XCB_NONE && (window & ~setup->resource_id_mask) == setup->resource_id_base;
}

xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
}

// Writes all of `bytes` to a non-blocking descriptor before the deadline.
bool writeAll(int fd, const QByteArray& bytes, const QDeadlineTimer& deadline) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0 && deadline.hasExpired()) return false;
    }
    return true;
}

// Reads to the end of the input, before the deadline and within the cap.
bool readAll(int fd, QByteArray* bytes, const QDeadlineTimer& deadline) {
    char buffer[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        if (bytes->size() + n > kMaxContent) return false;
        bytes->append(buffer, n);
    }
}

// Starts the holder, detached in a session of its own, hands it the
// content and waits until it says it holds the clipboard.
bool startHolder(const QByteArray& content, std::chrono::milliseconds patience) {
    const QDeadlineTimer deadline(patience);
    int input[2], ready[2];
    if (::pipe2(input, O_CLOEXEC) != 0) return false;
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        return false;
    }
    char program[] = "/proc/self/exe";
    char name[] = "brimlet";
    char option[sizeof kClipboardHolderOption];
    std::memcpy(option, kClipboardHolderOption, sizeof option);
    char* const argv[] = {name, option, nullptr};

    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here to exec. The holder is a
        // grandchild in a session of its own, so no terminal or process
        // group of ours ends it, and it keeps no folder busy.
        ::setsid();
        if (::fork() != 0) ::_exit(0);
        if (::chdir("/") != 0) ::_exit(127);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(input[0], 0);
        ::dup2(ready[1], 1);
        ::dup2(null, 2);
        ::close_range(3, ~0U, 0);
        ::execv(program, argv);
        ::_exit(127);
    }
    ::close(input[0]);
    ::close(ready[1]);
    bool held = false;
    if (child > 0) {
        ::waitpid(child, nullptr, 0);  // it ends as soon as the holder is started
        // A holder that dies early must not end us through SIGPIPE.
        struct sigaction ignore {
        }, previous{};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGPIPE, &ignore, &previous);
        ::fcntl(input[1], F_SETFL, O_NONBLOCK);
        const bool sent = writeAll(input[1], content, deadline);
        ::close(input[1]);
        input[1] = -1;
        ::sigaction(SIGPIPE, &previous, nullptr);
        pollfd p{ready[0], POLLIN, 0};
        char answer = 0;
        held = sent && ::poll(&p, 1, remainingMs(deadline)) > 0 &&
               ::read(ready[0], &answer, 1) == 1 && answer == kReady;
    }
    if (input[1] >= 0) ::close(input[1]);
    ::close(ready[0]);
    return held;
}

}  // namespace

void keepClipboardAfterExit(std::chrono::milliseconds patience) {
    xcb_connection_t* connection = qtConnection();
    if (connection == nullptr) return;
    xcb_flush(connection);  // the closed window goes now, whatever follows
    if (!isOurs(connection, selectionOwner(connection, atom(connection, "CLIPBOARD")))) return;
    // A clipboard manager takes the content over from Qt's own hand-over.
    if (selectionOwner(connection, atom(connection, "CLIPBOARD_MANAGER")) != XCB_NONE) return;

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr) return;
    Content content;
    content.hasText = data->hasText();
    if (content.hasText) content.text = data->text();
    content.hasImage = data->hasImage();
    if (content.hasImage) content.image = qvariant_cast<QImage>(data->imageData());
    if (!content.hasText && !content.hasImage) return;
    startHolder(encode(content), patience);
}

bool isClipboardHolderRun(int argc, char** argv) {
    struct stat input {};
    return argc == 2 && std::strcmp(argv[1], kClipboardHolderOption) == 0 &&
           ::fstat(0, &input) == 0 && S_ISFIFO(input.st_mode);
}

int runClipboardHolder(int argc, char** argv) {
    QByteArray bytes;
    Content content;
    if (!readAll(0, &bytes, QDeadlineTimer(std::chrono::seconds(10))) || !decode(bytes, &content)) {
        return 1;
    }
    bytes.clear();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    xcb_connection_t* connection = qtConnection();
    if (connection == nullptr) return 1;

    auto* data = new QMimeData;
    if (content.hasText) data->setText(content.text);
    if (content.hasImage) data->setImageData(content.image);
    content = {};
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data);
    const xcb_atom_t selection = atom(connection, "CLIPBOARD");
    const xcb_window_t owner = selectionOwner(connection, selection);
    if (!isOurs(connection, owner)) return 1;
    const char ready = kReady;
    if (::write(1, &ready, 1) != 1) return 1;
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(null, 1);

    // Ends as soon as the clipboard is another program's (or emptied).
    auto checkOwner = [&] {
        if (selectionOwner(connection, selection) != owner) QCoreApplication::quit();
    };
    QObject::connect(clipboard, &QClipboard::changed, &app, checkOwner);
    QTimer safetyNet;
    QObject::connect(&safetyNet, &QTimer::timeout, &app, checkOwner);
    safetyNet.start(std::chrono::seconds(2));
    return QGuiApplication::exec();
}

}  // namespace brimlet
