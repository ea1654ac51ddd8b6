#include "host/QtHost.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QImageReader>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "host/RuntimeError.h"
#include "host/TrayNotifyEvent.h"
#include "host/TrayRecord.h"

namespace brimlet {

namespace {

const QString kTextPlain = QStringLiteral("text/plain");
const QString kPasswordHint = QStringLiteral("x-kde-passwordManagerHint");

// Password managers mark what they copy; a secret is never written down.
bool isSecret(const QMimeData& data) {
    return data.hasFormat(kPasswordHint) && data.data(kPasswordHint).trimmed() == "secret";
}

QMessageBox::Icon iconForStyle(int style) {
    switch (style & 0x70) {
        case MsgCritical:
            return QMessageBox::Critical;
        case 32:
            return QMessageBox::Question;
        case MsgExclamation:
            return QMessageBox::Warning;
        case MsgInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

QtHost::QtHost() {
    // X servers report every change of selection owner (XFixes), and the
    // offscreen clipboard lives in this process.
    const QString platform = QGuiApplication::platformName();
    changesReported_ = platform == QLatin1String("xcb") || platform == QLatin1String("offscreen");
    if (platform == QLatin1String("xcb")) {
        x_ = std::make_shared<XClipboardReader>();
        if (x_->isOpen()) {
            xThread_ = std::make_unique<QThread>();
            xThread_->setObjectName(QStringLiteral("clipboard reader"));
            xWorker_ = new QObject;
            xWorker_->moveToThread(xThread_.get());
            answers_ = std::make_unique<QObject>();
            xThread_->start();
        } else {
            x_.reset();
        }
    }
    clipboardConnection_ =
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [this] {
            ++generation_;
            if (changingClipboard_) return;
            stalledOwner_ = 0;  // another program copied: ask again
            if (changed_) changed_();
        });
}

QtHost::~QtHost() {
    QObject::disconnect(clipboardConnection_);
    if (xThread_) {
        xThread_->quit();
        xThread_->wait();  // a look in progress ends within its bounded waits
        delete xWorker_;
    }
}

// The platform may have no data at all (an empty clipboard): null then.
const QMimeData* QtHost::mimeData() {
    return QGuiApplication::clipboard()->mimeData();
}

bool QtHost::clipboardHasFormat(ClipFormat format) {
    if (!changesReported_ || !lookIsFresh()) {
        // What this program put on the clipboard is answered from memory;
        // another program's, on X11, once the reader has looked.
        if (x_ && !QGuiApplication::clipboard()->ownsClipboard()) {
            startLookThroughX();
            return false;
        }
        look_ = lookThroughQt();
    }
    return format == ClipFormat::Bitmap ? look_->bitmap : look_->text;
}

QtHost::Look QtHost::lookThroughQt() const {
    Look look;
    look.generation = generation_;
    const QMimeData* data = mimeData();
    if (data != nullptr && !isSecret(*data)) {
        look.bitmap = data->hasImage();
        // Plain text only: a list of URLs alone is not text.
        look.text = data->hasFormat(kTextPlain);
    }
    return look;
}

namespace {

constexpr std::chrono::milliseconds kPatience(400);

// Picture formats in order of preference, then any other Qt can read.
QByteArrayList imageTargets(const QByteArrayList& offered) {
    QByteArrayList wanted = {"image/png",  "image/bmp",  "image/x-bmp", "image/jpeg",
                             "image/webp", "image/tiff", "image/gif"};
    for (const QByteArray& type : QImageReader::supportedMimeTypes()) {
        if (!wanted.contains(type)) wanted << type;
    }
    QByteArrayList found;
    for (const QByteArray& type : wanted) {
        if (offered.contains(type)) found << type;
    }
    return found;
}

QString decodeText(const QByteArray& target, const QByteArray& bytes) {
    if (target == "STRING") return QString::fromLatin1(bytes);
    if (target == "TEXT") return QString::fromLocal8Bit(bytes);
    return QString::fromUtf8(bytes);
}

// Looks through the bounded reader and fetches the content at once, so that
// taking it afterwards never waits. An owner that does not answer in time
// is marked stalled and taken as an empty clipboard.
ClipboardLook lookThroughX(XClipboardReader& x, quint64 generation, std::uint32_t skipOwner) {
    ClipboardLook look;
    look.generation = generation;
    look.owner = x.owner();
    if (look.owner == 0 || look.owner == skipOwner) return look;
    auto stalled = [&] {
        look.stalled = true;
        return look;
    };
    const auto targets = x.targets(kPatience);
    if (!targets) return stalled();
    if (targets->contains(kPasswordHint.toLatin1())) {
        const auto hint = x.read(kPasswordHint.toLatin1(), kPatience);
        if (!hint && x.timedOut()) return stalled();
        // A hint that cannot be read may mark a secret: keep away from it.
        if (!hint || hint->trimmed() == "secret") return look;
    }
    // A format the owner refuses is passed over; one it does not answer for
    // ends the look.
    for (const QByteArray& target : imageTargets(*targets)) {
        const auto bytes = x.read(target, kPatience);
        if (!bytes && x.timedOut()) return stalled();
        if (!bytes) continue;
        QImage picture = QImage::fromData(*bytes);
        if (!picture.isNull()) {
            look.bitmap = true;
            look.picture = std::move(picture);
            return look;
        }
    }
    for (const QByteArray target :
         {"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT", "text/plain"}) {
        if (!targets->contains(target)) continue;
        const auto bytes = x.read(target, kPatience);
        if (!bytes && x.timedOut()) return stalled();
        if (!bytes) continue;
        look.text = true;
        look.textData = decodeText(target, *bytes);
        return look;
    }
    return look;
}

}  // namespace

void QtHost::startLookThroughX() {
    if (lookInFlight_) return;  // one at a time; a stale answer starts the next
    lookInFlight_ = true;
    const quint64 generation = generation_;
    const std::uint32_t skipOwner = stalledOwner_;
    std::shared_ptr<XClipboardReader> reader = x_;
    QObject* answers = answers_.get();
    QMetaObject::invokeMethod(xWorker_, [this, reader, generation, skipOwner, answers] {
        ClipboardLook look = lookThroughX(*reader, generation, skipOwner);
        QMetaObject::invokeMethod(
            answers, [this, look = std::move(look)]() mutable { lookedThroughX(std::move(look)); },
            Qt::QueuedConnection);
    });
}

void QtHost::lookedThroughX(Look look) {
    lookInFlight_ = false;
    if (look.generation != generation_) {
        startLookThroughX();  // the clipboard changed meanwhile
        return;
    }
    if (look.stalled) stalledOwner_ = look.owner;
    look_ = std::move(look);
    if ((look_->bitmap || look_->text) && changed_) changed_();
}

// A change made here is not reported to the handler, and whatever was looked
// at before it is stale.
template <class Change>
void QtHost::changeClipboard(Change&& change) {
    changingClipboard_ = true;
    change();
    changingClipboard_ = false;
    ++generation_;
}

void QtHost::onClipboardChanged(std::function<void()> handler) {
    changed_ = std::move(handler);
}

QImage QtHost::clipboardGetPicture() {
    if (lookIsFresh() && look_->picture) return *look_->picture;
    const QMimeData* data = mimeData();
    QImage picture = data ? qvariant_cast<QImage>(data->imageData()) : QImage();
    if (picture.isNull()) {
        throw RuntimeError::invalidPicture(QStringLiteral("the clipboard's picture"));
    }
    return picture;
}

QString QtHost::clipboardGetText() {
    if (lookIsFresh() && look_->textData) return *look_->textData;
    const QMimeData* data = mimeData();
    return data ? data->text() : QString();
}

void QtHost::clipboardSetPicture(const QImage& picture) {
    if (picture.isNull()) throw RuntimeError::cannotOpenClipboard();
    changeClipboard([&] { QGuiApplication::clipboard()->setImage(picture); });
}

void QtHost::clipboardSetText(const QString& text) {
    changeClipboard([&] { QGuiApplication::clipboard()->setText(text); });
}

void QtHost::clipboardClear() {
    changeClipboard([] { QGuiApplication::clipboard()->clear(); });
}

void QtHost::msgBox(const QString& prompt, int style, const QString& title) {
    QMessageBox box(iconForStyle(style), title, prompt, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void QtHost::beep() {
    QApplication::beep();
}

void QtHost::bringToFront(QWidget* window) {
    window->raise();
    window->activateWindow();
    // A window that is being shown again can only be activated once it is
    // mapped: ask again when the events of showing it are through.
    QTimer::singleShot(0, window, [window] {
        if (!window->isVisible()) return;
        window->raise();
        window->activateWindow();
    });
}

void QtHost::popupMenu(QMenu* menu) {
    menu->exec(QCursor::pos());
}

void QtHost::openDocument(const QString& path) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        throw RuntimeError::pathFileAccess(path, QStringLiteral("no program opens this document"));
    }
}

// The tray reports what the user did as mouse messages: left release,
// left double-click, right release.
bool QtHost::shellNotifyIcon(int message, const TrayRecord& record) {
    QWidget* window = QWidget::find(static_cast<WId>(record.window));
    switch (message) {
        case NIM_ADD: {
            if (window == nullptr || tray_) return false;
            tray_ = new QSystemTrayIcon(window->windowIcon(), window);
            tray_->setToolTip(record.tipText());
            QObject::connect(tray_, &QSystemTrayIcon::activated, window,
                             [window](QSystemTrayIcon::ActivationReason reason) {
                                 const int code =
                                     reason == QSystemTrayIcon::Trigger       ? kLeftUp
                                     : reason == QSystemTrayIcon::DoubleClick ? kLeftDoubleClick
                                     : reason == QSystemTrayIcon::Context     ? kRightUp
                                     : reason == QSystemTrayIcon::MiddleClick ? kMiddleUp
                                                                              : kMouseMove;
                                 QCoreApplication::postEvent(window, new TrayNotifyEvent(code));
                             });
            tray_->show();
            return true;
        }
        case NIM_DELETE:
            if (!tray_) return false;
            delete tray_;
            return true;
        default:
            return false;
    }
}

bool QtHost::trayIconShown() {
    return tray_ && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace brimlet
