#include "tray/WindowStates.h"

#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QWidget>

#include "host/Host.h"
#include "host/Untrapped.h"

namespace brimlet {

WindowStates::WindowStates(Host& host, QWidget* window, QMenu* trayMenu, const QString& folder)
    : host_(host), window_(window), trayMenu_(trayMenu), folder_(QDir::cleanPath(folder)) {}

void WindowStates::addTrayIcon() {
    host_.addTrayIcon(window_, trayTip(), [this](QSystemTrayIcon::ActivationReason reason) {
        runUntrapped(host_, [&] { onTrayActivated(reason); });
    });
}

void WindowStates::removeTrayIcon() {
    host_.removeTrayIcon();
}

QString WindowStates::trayTip() const {
    return QStringLiteral("Brimlet \u2014 ") + QDir::toNativeSeparators(folder_);
}

// Qt reports a left click on X11 when the button goes down rather than up;
// it brings the window back all the same.
void WindowStates::onTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
        case QSystemTrayIcon::DoubleClick:
            restore();
            break;
        case QSystemTrayIcon::Context:
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
