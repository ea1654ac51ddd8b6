#pragma once

#include <QFont>

namespace brimlet {

// "MS Sans Serif", bold, at `points`. Where the desktop lacks it, a face of
// about its width stands in, so captions fit their controls.
QFont boldFont(double points);

}  // namespace brimlet
