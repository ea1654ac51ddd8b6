#include "host/QtHost.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "host/RuntimeError.h"

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

// The platform may have no data at all (an empty clipboard): null then.
const QMimeData* QtHost::mimeData() { return QGuiApplication::clipboard()->mimeData(); }

bool QtHost::clipboardHasFormat(ClipFormat format) {
    const QMimeData* data = mimeData();
    if (data == nullptr) return false;
    switch (format) {
        case ClipFormat::Bitmap: return data->hasImage();
        // Plain text only: a list of URLs alone is not text.
        case ClipFormat::Text: return data->hasFormat(kTextPlain);
    }
    return false;
}

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
    QGuiApplication::clipboard()->setImage(picture);
}

void QtHost::clipboardSetText(const QString& text) { QGuiApplication::clipboard()->setText(text); }

void QtHost::clipboardClear() { QGuiApplication::clipboard()->clear(); }

void QtHost::msgBox(const QString& prompt, int style, const QString& title) {
    QMessageBox box(iconForStyle(style), title, prompt, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void QtHost::beep() { QApplication::beep(); }

void QtHost::bringToFront(QWidget* window) {
    window->raise();
    window->activateWindow();
}

void QtHost::openDocument(const QString& path) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        throw RuntimeError::pathFileAccess(path, QStringLiteral("no program opens this document"));
    }
}

}  // namespace brimlet
