#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

namespace brimlet {

// Which windowing platform Brimlet must run on. On a Wayland desktop with
// an X server (Xwayland) the window runs on X11, where it can place itself
// and show its tray icon as on any X11 desktop; with none it runs on
// Wayland and says once what it cannot do there. (The clipboard itself is
// read through data-control wherever the compositor offers it.)
struct PlatformChoice {
    QByteArray platform;  // set QT_QPA_PLATFORM to this; empty: leave Qt's choice
    QString problem;      // non-empty: Brimlet cannot work here, and why
    QString limitation;   // non-empty: one line for standard error
};

PlatformChoice choosePlatform(const QProcessEnvironment& environment);

}  // namespace brimlet
