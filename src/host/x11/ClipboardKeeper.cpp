#include "host/x11/ClipboardKeeper.h"

#include <QtGui/qguiapplication_platform.h>
#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTimer>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include "host/x11/Xcb.h"

namespace brimlet {

namespace {

constexpr char kMagic[16] = "brimlet clip 3";
constexpr char kReady = 'k';
constexpr std::chrono::milliseconds kManagerPatience(1000);
constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
// At most a text of 512 Mi characters (a copy back's limit, each character
// two bytes) and a picture of 16384 x 16384 at 8 bytes a pixel.
constexpr quint64 kMaxText = quint64(1) << 30;
constexpr quint64 kMaxPicture = quint64(2) << 30;

// The memory file the holder gets: this header, the text's UTF-16 units,
// then the picture's rows, each part starting 8-byte aligned.
struct Header {
    char magic[sizeof kMagic];
    quint32 owner;        // Brimlet's window that owned the clipboard
    quint32 dataControl;  // held through Wayland's data-control, not X11
    quint32 hasText;
    quint64 textUnits;
    quint32 hasPicture;
    qint32 format;  // QImage::Format
    qint32 width;
    qint32 height;
    quint64 bytesPerLine;
};
static_assert(sizeof(Header) % 8 == 0);

quint64 aligned(quint64 size) {
    return (size + 7) & ~quint64(7);
}

using xcb::atom;
using xcb::isOurs;
using xcb::selectionOwner;

xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
}

// Handles Qt's events (the clipboard's requests among them) until `done`
// or the deadline. Unlike a nested event loop it also runs after
// QCoreApplication::exit().
void handleEventsUntil(const std::function<bool()>& done, const QDeadlineTimer& deadline) {
    QTimer wake;  // the wait below ends at least this often
    wake.start(10);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Sees the clipboard manager's answer to a window of ours.
class ManagerAnswer : public QAbstractNativeEventFilter {
  public:
    explicit ManagerAnswer(xcb_window_t requestor) : requestor_(requestor) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) return false;
        if (reinterpret_cast<const xcb_selection_notify_event_t*>(event)->requestor != requestor_)
            return false;
        answered = true;
        return true;
    }
    bool answered = false;

  private:
    xcb_window_t requestor_;
};

// Asks the clipboard manager to save the clipboard now, as Qt does when
// the application object goes, and serves its requests for the content
// until it says it is done, for `patience` at most.
bool handOverToManager(xcb_connection_t* connection, xcb_atom_t manager,
                       std::chrono::milliseconds patience) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t requestor = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, requestor, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
    ManagerAnswer answer(requestor);
    QCoreApplication::instance()->installNativeEventFilter(&answer);
    // No property: the manager saves every format the clipboard offers.
    xcb_convert_selection(connection, requestor, manager, atom(connection, "SAVE_TARGETS"),
                          XCB_NONE, XCB_CURRENT_TIME);
    xcb_flush(connection);
    handleEventsUntil([&] { return answer.answered; }, QDeadlineTimer(patience));
    QCoreApplication::instance()->removeNativeEventFilter(&answer);
    xcb_destroy_window(connection, requestor);
    xcb_flush(connection);
    return answer.answered;
}

// Sees a paste of a large copy go on. Qt hands such a copy over in pieces,
// each one written to the pasting program's window; deleting it asks for
// the next, and Qt keeps serving a paste that began before the clipboard
// went to another program.
class PiecesTaken : public QAbstractNativeEventFilter {
  public:
    explicit PiecesTaken(xcb_connection_t* connection) : connection_(connection) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) return false;
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->state == XCB_PROPERTY_DELETE && !isOurs(connection_, notify->window)) {
            lastPiece_.start();
        }
        return false;
    }
    // A piece was taken lately: a paste that stops taking them is given up.
    bool pasteUnderWay() const {
        constexpr qint64 kPieceGapMs = 1000;
        return lastPiece_.isValid() && !lastPiece_.hasExpired(kPieceGapMs);
    }

  private:
    xcb_connection_t* connection_;
    QElapsedTimer lastPiece_;
};

bool writeAll(int fd, const void* bytes, quint64 size) {
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= quint64(n);
    }
    return true;
}

// The text and picture in a sealed memory file, or -1.
int contentFile(const QString& text, bool hasText, QImage picture, xcb_window_t owner,
                bool dataControl) {
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.owner = owner;
    header.dataControl = dataControl;
    // The holder gets the pixels alone, without a colour table.
    if (picture.colorCount() > 0) picture = picture.convertToFormat(QImage::Format_ARGB32);
    header.hasText = hasText;
    header.textUnits = quint64(text.size());
    header.hasPicture = !picture.isNull();
    if (header.hasPicture) {
        header.format = picture.format();
        header.width = picture.width();
        header.height = picture.height();
        header.bytesPerLine = quint64(picture.bytesPerLine());
    }
    if ((!header.hasText && !header.hasPicture) || header.textUnits * 2 > kMaxText ||
        quint64(picture.sizeInBytes()) > kMaxPicture) {
        return -1;
    }
    const int fd = ::memfd_create("brimlet clipboard", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return -1;
    const quint64 textBytes = header.textUnits * 2;
    const char padding[8] = {};
    const bool written =
        writeAll(fd, &header, sizeof header) && writeAll(fd, text.constData(), textBytes) &&
        writeAll(fd, padding, aligned(textBytes) - textBytes) &&
        (!header.hasPicture || writeAll(fd, picture.constBits(), quint64(picture.sizeInBytes()))) &&
        ::fcntl(fd, F_ADD_SEALS, kSeals | F_SEAL_SEAL) == 0;
    if (!written) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Starts the holder, detached in a session of its own, with the content
// file as its standard input, and waits until it says it holds the
// clipboard.
bool startHolder(int content, std::chrono::milliseconds patience) {
    const QDeadlineTimer deadline(patience);
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) return false;
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
        ::dup2(content, 0);
        ::dup2(ready[1], 1);
        ::dup2(null, 2);
        ::close_range(3, ~0U, 0);
        ::execv(program, argv);
        ::_exit(127);
    }
    ::close(ready[1]);
    bool held = false;
    if (child > 0) {
        ::waitpid(child, nullptr, 0);  // it ends as soon as the holder is started
        pollfd p{ready[0], POLLIN, 0};
        char answer = 0;
        int polled;
        while ((polled = ::poll(&p, 1, remainingMs(deadline))) < 0 && errno == EINTR) {
        }
        held = polled > 0 && ::read(ready[0], &answer, 1) == 1 && answer == kReady;
    }
    ::close(ready[0]);
    return held;
}

// Gives up what this program still owns, so that Qt has nothing to hand
// over when the application object goes.
void letGo(xcb_connection_t* connection) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const std::pair<QClipboard::Mode, const char*> selections[] = {
        {QClipboard::Clipboard, "CLIPBOARD"}, {QClipboard::Selection, "PRIMARY"}};
    for (const auto& [mode, name] : selections) {
        if (isOurs(connection, selectionOwner(connection, atom(connection, name)))) {
            clipboard->clear(mode);
        }
    }
    // One that another program took meanwhile (the holder, the manager):
    // Qt learns it from the event that says so.
    handleEventsUntil([&] { return !clipboard->ownsClipboard() && !clipboard->ownsSelection(); },
                      QDeadlineTimer(500));
}

}  // namespace

void keepClipboardAfterExit(std::chrono::milliseconds patience) {
    xcb_connection_t* connection = qtConnection();
    if (connection == nullptr) return;
    xcb_flush(connection);  // the closed window goes now, whatever follows
    const xcb_atom_t selection = atom(connection, "CLIPBOARD");
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Whether the clipboard is still ours; Qt drops our content when
    // another program takes it.
    const auto ours = [&] {
        return clipboard->ownsClipboard() &&
               isOurs(connection, selectionOwner(connection, selection));
    };
    if (ours()) {
        const xcb_atom_t manager = atom(connection, "CLIPBOARD_MANAGER");
        const bool handedOver = selectionOwner(connection, manager) != XCB_NONE &&
                                handOverToManager(connection, manager, kManagerPatience);
        const QMimeData* data = !handedOver && ours() ? clipboard->mimeData() : nullptr;
        const int content =
            data != nullptr
                ? contentFile(
                      data->hasText() ? data->text() : QString(), data->hasText(),
                      data->hasImage() ? qvariant_cast<QImage>(data->imageData()) : QImage(),
                      selectionOwner(connection, selection), false)
                : -1;
        if (content >= 0) {
            startHolder(content, patience);
            ::close(content);
        }
    }
    letGo(connection);
}

bool startClipboardHolder(const QString& text, bool hasText, const QImage& picture,
                          bool throughDataControl, std::chrono::milliseconds patience) {
    const int content = contentFile(text, hasText, picture, 0, throughDataControl);
    if (content < 0) return false;
    const bool held = startHolder(content, patience);
    ::close(content);
    return held;
}

bool isClipboardHolderRun(int argc, char** argv) {
    const int seals = ::fcntl(0, F_GET_SEALS);
    return argc == 2 && std::strcmp(argv[1], kClipboardHolderOption) == 0 && seals >= 0 &&
           (seals & kSeals) == kSeals;
}

int runClipboardHolder(int argc, char** argv, const DataControlHolder& holdThroughDataControl) {
    // The file is sealed: its size cannot change under the mapping.
    struct stat input {};
    if (::fstat(0, &input) != 0 || quint64(input.st_size) < sizeof(Header) ||
        quint64(input.st_size) > sizeof(Header) + kMaxText + kMaxPicture) {
        return 1;
    }
    const quint64 size = quint64(input.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, 0, 0);
    if (mapped == MAP_FAILED) return 1;
    const char* bytes = static_cast<const char*>(mapped);
    Header header;
    std::memcpy(&header, bytes, sizeof header);
    const quint64 textBytes = header.textUnits * 2;
    if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.textUnits > kMaxText / 2 ||
        sizeof header + aligned(textBytes) > size) {
        return 1;
    }
    QImage picture;
    if (header.hasPicture) {
        const quint64 at = sizeof header + aligned(textBytes);
        const auto format = QImage::Format(header.format);
        const bool known = header.format > QImage::Format_Invalid &&
                           header.format < QImage::NImageFormats && header.width > 0 &&
                           header.height > 0;
        const quint64 rowBytes =
            known ? (quint64(header.width) * QImage::toPixelFormat(format).bitsPerPixel() + 7) / 8
                  : 0;
        if (!known || header.bytesPerLine < rowBytes || header.bytesPerLine > kMaxPicture ||
            header.bytesPerLine * quint64(header.height) > size - at) {
            return 1;
        }
        picture = QImage(reinterpret_cast<const uchar*>(bytes + at), header.width, header.height,
                         qsizetype(header.bytesPerLine), format);
    }
    if (!header.hasText && picture.isNull()) return 1;
    const QString text =
        header.hasText ? QString::fromRawData(reinterpret_cast<const QChar*>(bytes + sizeof header),
                                              qsizetype(header.textUnits))
                       : QString();
    // Brimlet may have stopped waiting: the clipboard is held all the same.
    ::signal(SIGPIPE, SIG_IGN);
    auto sayReady = [] {
        const char ready = kReady;
        [[maybe_unused]] const ssize_t said = ::write(1, &ready, 1);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, 1);
    };
    if (header.dataControl) return holdThroughDataControl(text, header.hasText, picture, sayReady);

    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    xcb_connection_t* connection = qtConnection();
    if (connection == nullptr) return 1;
    const xcb_atom_t selection = atom(connection, "CLIPBOARD");
    // Another program copied since Brimlet let go: that copy stays.
    const xcb_window_t before = selectionOwner(connection, selection);
    if (before != XCB_NONE && before != header.owner) return 0;

    auto* data = new QMimeData;
    if (header.hasText) data->setText(text);
    if (!picture.isNull()) data->setImageData(picture);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data);
    const xcb_window_t owner = selectionOwner(connection, selection);
    if (!isOurs(connection, owner)) return 1;
    sayReady();

    // Ends once the clipboard is another program's (or emptied) and no
    // paste of the copy is under way; a paste is watched to its end.
    PiecesTaken pieces(connection);
    app.installNativeEventFilter(&pieces);
    QTimer pasteEnd;
    pasteEnd.setInterval(100);
    auto checkOwner = [&] {
        if (selectionOwner(connection, selection) == owner) return;
        if (pieces.pasteUnderWay()) {
            pasteEnd.start();
        } else {
            QCoreApplication::quit();
        }
    };
    QObject::connect(clipboard, &QClipboard::changed, &app, checkOwner);
    QObject::connect(&pasteEnd, &QTimer::timeout, &app, checkOwner);
    QTimer safetyNet;
    QObject::connect(&safetyNet, &QTimer::timeout, &app, checkOwner);
    safetyNet.start(std::chrono::seconds(2));
    return QGuiApplication::exec();
}

}  // namespace brimlet
