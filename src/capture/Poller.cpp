// The clipboard poller: one tick of Timer1.

#include "capture/CaptureStore.h"
#include "history/FileList.h"
#include "host/Host.h"
#include "ui/Form1.h"
#include "ui/ImageBox.h"
#include "ui/TextBox.h"

namespace brimlet {

void Form1::Timer1_Timer() {
    tickCounter_ = static_cast<qint16>(tickCounter_ + 1);
    if (tickCounter_ == 1) giveFocus(Option1);
    if (tickCounter_ == 100) tickCounter_ = 2;
    captureChecks();
}

// Another program changed the clipboard: capture at once instead of at the
// next tick, so a copy replaced within half a second is not lost. Only while
// capturing is on and once the first tick has run (it empties whatever was
// copied before); the tick still captures whatever this misses.
void Form1::clipboardChanged() {
    if (!loaded_ || !timer1Enabled() || tickCounter_ < 1) return;
    captureChecks();
}

void Form1::captureChecks() {
    // A picture wins: its capture empties the clipboard before the text check.
    if (host_.clipboardHasFormat(ClipFormat::Bitmap)) {
        raiseCounter(store_.counters().picture);
        Image1->setPicture(host_.clipboardGetPicture());
        Image2->setPicture(host_.clipboardGetPicture());
        store_.savePicture(Image1->picture());  // the picture file, then the counter file
        File1->refresh();
        host_.clipboardClearCaptured();
    }

    if (host_.clipboardHasFormat(ClipFormat::Text)) {
        raiseCounter(store_.counters().text);
        Text1->setText(host_.clipboardGetText());
        heldText_ = host_.clipboardGetText();
        store_.saveText(heldText_);  // the text file, then the counter file
        File2->refresh();
        host_.clipboardClearCaptured();
    }
}

}  // namespace brimlet
