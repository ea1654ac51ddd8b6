#pragma once

#include <QIcon>
#include <QImage>

namespace brimlet {

// The program's icon: a clipboard holding a sheet, drawn at any size.
QImage appIconImage(int size);
// The window's icon, at the sizes a title bar, a taskbar and a tray use.
QIcon appIcon();

// The sizes the desktop's icon theme gets, in pixels.
inline constexpr int kDesktopIconSizes[] = {16, 32, 48, 128, 256};

}  // namespace brimlet
