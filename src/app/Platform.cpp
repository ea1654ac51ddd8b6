#include "app/Platform.h"

namespace brimlet {

PlatformChoice choosePlatform(const QProcessEnvironment& environment) {
    auto set = [&](const char* name) {
        return !environment.value(QString::fromLatin1(name)).isEmpty();
    };
    if (set("QT_QPA_PLATFORM")) return {};  // the user chose
    const bool wayland = set("WAYLAND_DISPLAY");
    const bool x11 = set("DISPLAY");
    if (wayland && x11) return {"xcb", {}, {}};
    if (wayland) {
        return {"wayland",
                {},
                QStringLiteral("without Xwayland the window runs on Wayland, where it "
                               "cannot place itself (it does not open at the centre of the screen "
                               "or where it was left) and its icon may not show in a panel.")};
    }
    if (!x11) {
        return {{},
                QStringLiteral("Brimlet needs a graphical desktop: neither DISPLAY nor "
                               "WAYLAND_DISPLAY is set."),
                {}};
    }
    return {};
}

}  // namespace brimlet
