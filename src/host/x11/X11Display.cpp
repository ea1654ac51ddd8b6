#include "host/x11/X11Display.h"

#include <xcb/xcb.h>

namespace brimlet {

QString x11DisplayProblem(const QByteArray& display) {
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error == 0) return {};
    return QStringLiteral(
               "cannot open the X display \"%1\": no X server answers there, or this user may "
               "not use it.")
        .arg(QString::fromLocal8Bit(display));
}

}  // namespace brimlet
