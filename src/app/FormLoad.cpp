// Start-up of the main window.

#include "host/Host.h"
#include "host/Untrapped.h"
#include "ui/Form1.h"

namespace brimlet {

void Form1::Form_Load() {
    show();
    repaint();

    // Nothing that was on the clipboard before the start is ever captured.
    // Failing to empty it must not keep the counters from being read, or
    // numbers already used would be handed out again.
    (void)trapRunTimeError([this] { host_.clipboardClear(); });
    if (trapRunTimeError([this] { store_.readCounters(); })) {
        store_.counters() = Counters{};  // no readable counter file: number from 1
    }
    tickCounter_ = 0;
}

}  // namespace brimlet
