#include "host/QtHost.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "host/RuntimeError.h"
#include "host/TrayNotifyEvent.h"
#include "tray/TrayRecord.h"

namespace brimlet {

namespace {

const QString kTextPlain = QStringLiteral("text/plain");

QMessageBox::Icon iconForStyle(int style) {
    switch (style & 0x70) {
        case MsgCritical: return QMessageBox::Critical;
        case 32: return QMessageBox::Question;
        case MsgExclamation: return QMessageBox::Warning;
        case MsgInformation: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

}  // namespace

QtHost::QtHost() {
    // X servers report every change of selection owner (XFixes), and the
    // offscreen clipboard lives in this process.
    const QString platform = QGuiApplication::platformName();
    changesReported_ = platform == QLatin1String("xcb") || platform == QLatin1String("offscreen");
    clipboardConnection_ =
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [this] {
            ++generation_;
            if (!changingClipboard_ && changed_) changed_();
        });
}

QtHost::~QtHost() { QObject::disconnect(clipboardConnection_); }

// The platform may have no data at all (an empty clipboard): null then.
const QMimeData* QtHost::mimeData() { return QGuiApplication::clipboard()->mimeData(); }

bool QtHost::clipboardHasFormat(ClipFormat format) {
    if (!changesReported_ || !look_ || look_->generation != generation_) {
        const QMimeData* data = mimeData();
        Look look;
        look.generation = generation_;
        if (data != nullptr) {
            look.bitmap = data->hasImage();
            // Plain text only: a list of URLs alone is not text.
            look.text = data->hasFormat(kTextPlain);
        }
        look_ = look;
    }
    return format == ClipFormat::Bitmap ? look_->bitmap : look_->text;
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

void QtHost::onClipboardChanged(std::function<void()> handler) { changed_ = std::move(handler); }

QImage QtHost::clipboardGetPicture() {
    const QMimeData* data = mimeData();
    QImage picture = data ? qvariant_cast<QImage>(data->imageData()) : QImage();
    if (picture.isNull()) {
        throw RuntimeError::invalidPicture(QStringLiteral("the clipboard's picture"));
    }
    return picture;
}

QString QtHost::clipboardGetText() {
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

void QtHost::beep() { QApplication::beep(); }

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

void QtHost::popupMenu(QMenu* menu) { menu->exec(QCursor::pos()); }

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
                                 const int code = reason == QSystemTrayIcon::Trigger ? kLeftUp
                                                  : reason == QSystemTrayIcon::DoubleClick
                                                      ? kLeftDoubleClick
                                                  : reason == QSystemTrayIcon::Context ? kRightUp
                                                  : reason == QSystemTrayIcon::MiddleClick
                                                      ? kMiddleUp
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
