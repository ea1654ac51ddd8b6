#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

namespace brimlet {

// Which windowing platform Brimlet must run on. A Wayland program may read
// the clipboard only while it has the focus, so a clipboard history there
// would silently capture nothing: on a Wayland desktop with an X server
// (XWayland) Brimlet runs on X11, and with none it says so.
struct PlatformChoice {
    QByteArray platform;  // set QT_QPA_PLATFORM to this; empty: leave Qt's choice
    QString problem;      // non-empty: Brimlet cannot work here, and why
};

PlatformChoice choosePlatform(const QProcessEnvironment& environment);

}  // namespace brimlet
