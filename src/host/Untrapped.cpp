#include "host/Untrapped.h"

namespace brimlet {

void showUntrappedError(Host& host, const RuntimeError& error) noexcept {
    // A failing message box must not take the program down with it.
    (void)trapRunTimeError(
        [&] { host.msgBox(runTimeErrorMessage(error), MsgCritical, QStringLiteral("Brimlet")); });
}

}  // namespace brimlet
