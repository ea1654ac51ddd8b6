#pragma once

namespace brimlet {

// Traces every move of the keyboard focus by the focused control's
// accessible name, when the trace is on (see base/Trace.h). Installs itself
// once per application.
void traceFocusChanges();

}  // namespace brimlet
