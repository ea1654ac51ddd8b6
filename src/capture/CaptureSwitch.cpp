// The capture switch: Timer1's enabled flag, worked by the option buttons.

#include "host/Host.h"
#include "ui/Form1.h"

namespace brimlet {

void Form1::Option1_Click() {
    host_.clipboardClear();
    setTimer1Enabled(true);
}

void Form1::Option2_Click() { setTimer1Enabled(false); }

}  // namespace brimlet
