#pragma once

#include <QString>
#include <QSystemTrayIcon>

class QMenu;
class QWidget;

namespace brimlet {

class Host;

// The main window's icon in the notification area, for the window's whole
// life, and its two resting states: shown, or minimised and hidden with the
// icon as the way back. A left click or double-click on the icon restores
// the window; a right click pops up the tray menu.
class WindowStates {
  public:
    // The icon's tip names `folder`, where the window's captures go.
    WindowStates(Host& host, QWidget* window, QMenu* trayMenu, const QString& folder);

    void addTrayIcon();
    void removeTrayIcon();
    // The icon's tooltip: "Brimlet — " and the folder.
    QString trayTip() const;

    // What the user did on the icon: a click or double-click restores the
    // window; the context click pops up the tray menu.
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    // Minimising hides the window, but only while an icon is really shown
    // in a notification area: without one the window stays minimised in the
    // taskbar, where it can be found again.
    void onResize();
    // Normal state, in front, shown.
    void restore();

    // The tray menu's "&Exit" unloads the window; the program ends when no
    // window of it is left. The main menu's "Exit" ends the program as well.
    void exitFromTray();
    void exitProgram();

  private:
    Host& host_;
    QWidget* window_;
    QMenu* trayMenu_;
    QString folder_;
};

}  // namespace brimlet
