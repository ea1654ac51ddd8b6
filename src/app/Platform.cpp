#include "app/Platform.h"

namespace brimlet {

PlatformChoice choosePlatform(const QProcessEnvironment& environment) {
    auto set = [&](const char* name) {
        return !environment.value(QString::fromLatin1(name)).isEmpty();
    };
    if (set("QT_QPA_PLATFORM")) return {};  // the user chose
    const bool wayland = set("WAYLAND_DISPLAY");
    const bool x11 = set("DISPLAY");
    if (wayland && x11) return {"xcb", {}};
    if (wayland) {
        return {
            {},
            QStringLiteral("Brimlet cannot watch the clipboard on this Wayland desktop: a Wayland "
                           "program may read the clipboard only while it has the focus, and no X "
                           "server (XWayland) is running to read it through.\n\n"
                           "Start Brimlet in a session with XWayland, or in an X11 session.")};
    }
    if (!x11) {
        return {{},
                QStringLiteral("Brimlet needs a graphical desktop: neither DISPLAY nor "
                               "WAYLAND_DISPLAY is set.")};
    }
    return {};
}

}  // namespace brimlet
