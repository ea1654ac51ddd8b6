#pragma once

#include <QRect>
#include <cmath>

namespace brimlet {

// Layouts are given in twips: 1440 to the inch, 15 to the pixel at 96 dpi.
// Scaled with the screen's logical dpi so a dense screen shows the same size.
inline int twipsToPixels(int twips, double logicalDpi = 96.0) {
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

inline QRect twipsRect(int left, int top, int width, int height, double logicalDpi = 96.0) {
    return QRect(twipsToPixels(left, logicalDpi), twipsToPixels(top, logicalDpi),
                 twipsToPixels(width, logicalDpi), twipsToPixels(height, logicalDpi));
}

}  // namespace brimlet
