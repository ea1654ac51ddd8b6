// The capture switch: Timer1's enabled flag, worked by the option buttons,
// the "Clipboard Copy" label and the "Clipboard" menu.

#include <QRadioButton>

#include "host/Host.h"
#include "ui/Form1.h"

namespace brimlet {

void Form1::Option1_Click() {
    host_.clipboardClear();
    setTimer1Enabled(true);
}

void Form1::Option2_Click() {
    setTimer1Enabled(false);
}

// Turns capturing on and leaves the clipboard and the option buttons alone.
void Form1::Label1_Click() {
    setTimer1Enabled(true);
}

void Form1::clon_Click() {
    host_.clipboardClear();
    setTimer1Enabled(true);
    giveFocus(Option1);
}

void Form1::clipoff_Click() {
    setTimer1Enabled(true);
    giveFocus(Option1);
}

void Form1::offf_Click() {
    setTimer1Enabled(false);
    giveFocus(Option2);
}

}  // namespace brimlet
