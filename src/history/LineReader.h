#pragma once

#include <QString>

namespace brimlet {

// A text read line by line, each line followed by CR LF. A line ends at a
// CR or at CR LF (the end is not part of the line); a LF on its own stays
// inside the line. An empty text has no line at all.
QString linesWithCrLf(const QString& text);

}  // namespace brimlet
