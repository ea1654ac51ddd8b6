#pragma once

#include <QLoggingCategory>

namespace brimlet {

// What the user sees change: the focus moving, an entry shown, the viewer's
// font. Off unless enabled (QT_LOGGING_RULES="brimlet.trace.debug=true"),
// for diagnosis and for the end-to-end tests, which read it on standard
// error.
Q_DECLARE_LOGGING_CATEGORY(traceLog)

}  // namespace brimlet
