#include "base/Trace.h"

namespace brimlet {

Q_LOGGING_CATEGORY(traceLog, "brimlet.trace", QtWarningMsg)

}  // namespace brimlet
