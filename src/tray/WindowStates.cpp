// The tray icon's notifications, hiding the minimised window, restoring it,
// and the ways out.

#include <QCoreApplication>

#include "host/Host.h"
#include "ui/Form1.h"

namespace brimlet {

void Form1::Form_MouseMove(int /*button*/, int /*shift*/, double x, double /*y*/) {
    switch (decodeTrayNotification(x, scaleMode(), twipsPerPixelX())) {
        case kLeftUp:
        case kLeftDoubleClick:
            restoreSequence();
            break;
        case kRightUp:
            host_.bringToFront(this);
            host_.popupMenu(mPopupSys);
            break;
        default:
            break;
    }
}

void Form1::restoreSequence() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    host_.bringToFront(this);
    show();
}

// Minimising sends the window to the tray, but only while an icon is really
// shown there: without a notification area the window stays minimised in
// the taskbar, where it can be found again.
void Form1::Form_Resize() {
    if ((windowState() & Qt::WindowMinimized) && host_.trayIconShown()) hide();
}

void Form1::mPopRestore_Click() {
    restoreSequence();
}

void Form1::mPopExit_Click() {
    close();
}

void Form1::ex_Click() {
    close();
    QCoreApplication::exit(0);
}

}  // namespace brimlet
