#pragma once

#include <QIcon>
#include <QImage>

namespace brimlet {

// The program's icon: a clipboard holding a sheet, drawn at 32 and 48 pixels.
QImage appIconImage(int size);
QIcon appIcon();

}  // namespace brimlet
