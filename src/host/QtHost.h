#pragma once

#include <QPointer>
#include <QSystemTrayIcon>

#include "host/Host.h"

class QMimeData;

namespace brimlet {

// The host on Qt: the system clipboard, QMessageBox, the desktop's opener.
class QtHost : public Host {
public:
    bool clipboardHasFormat(ClipFormat format) override;
    QImage clipboardGetPicture() override;
    QString clipboardGetText() override;
    void clipboardSetPicture(const QImage& picture) override;
    void clipboardSetText(const QString& text) override;
    void clipboardClear() override;

    void msgBox(const QString& prompt, int style, const QString& title) override;
    void beep() override;

    void bringToFront(QWidget* window) override;
    void popupMenu(QMenu* menu) override;
    void openDocument(const QString& path) override;

    bool shellNotifyIcon(int message, const TrayRecord& record) override;
    bool trayIconShown() override;

private:
    static const QMimeData* mimeData();

    QPointer<QSystemTrayIcon> tray_;
};

}  // namespace brimlet
