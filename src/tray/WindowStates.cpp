#include "tray/WindowStates.h"

#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QWidget>

#include "host/Host.h"

namespace brimlet {

WindowStates::WindowStates(Host& host, QWidget* window, QMenu* trayMenu, const QString& folder)
    : host_(host), window_(window), trayMenu_(trayMenu), folder_(QDir::cleanPath(folder)) {}

void WindowStates::addTrayIcon() {
    trayRecord_ =
        makeTrayRecord(static_cast<std::uint32_t>(window_->winId()),
                       static_cast<std::uint32_t>(window_->windowIcon().cacheKey()), folder_);
    host_.addTrayIcon(trayRecord_);  // a refused icon goes unnoticed
}

void WindowStates::removeTrayIcon() {
    host_.removeTrayIcon(trayRecord_);
}

double WindowStates::twipsPerPixel() const {
    return 1440.0 / window_->logicalDpiX();
}

void WindowStates::onTrayMessage(double x) {
    switch (decodeTrayNotification(x, kScaleTwips, twipsPerPixel())) {
        case kLeftUp:
        case kLeftDoubleClick:
            restore();
            break;
        case kRightUp:
            host_.bringToFront(window_);
            host_.popupMenu(trayMenu_);
            break;
        default:
            break;
    }
}

void WindowStates::onResize() {
    if ((window_->windowState() & Qt::WindowMinimized) && host_.trayIconShown()) window_->hide();
}

void WindowStates::restore() {
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    host_.bringToFront(window_);
    window_->show();
}

void WindowStates::exitFromTray() {
    window_->close();
}

void WindowStates::exitProgram() {
    window_->close();
    QCoreApplication::exit(0);
}

}  // namespace brimlet
