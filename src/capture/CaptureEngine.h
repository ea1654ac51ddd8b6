#pragma once

#include <QImage>
#include <QString>
#include <QTimer>

#include "capture/CaptureStore.h"
#include "capture/SyncedNumbering.h"

namespace brimlet {

class CaptureView;
class Host;
class SpooledText;

// Captures what is copied: every 500 ms while capturing is on (and at once
// when another program changes the clipboard), a picture or a text found on
// the clipboard is shown, written as the next numbered file with the
// counter file, announced to its list, and taken off the clipboard (or,
// leaving copies, left there and not captured again).
//
// The capture state is whether the capture timer runs (or rests, where the
// host reports every change and has nothing under way). The switch's
// actions below are what the "On" and "Off" buttons, the "Clipboard Copy"
// label and the "Clipboard" menu do.
class CaptureEngine {
  public:
    static constexpr int kIntervalMs = 500;

    // `folder` holds the capture files and the counter file.
    CaptureEngine(Host& host, const FolderHandle& folder, CaptureView& view);
    ~CaptureEngine();
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // Start-up: empties the clipboard, or passes over what is on it (nothing
    // copied before the start is ever captured), reads the counters (0 when the counter file cannot
    // be read) and counts ticks from 0 again.
    void start();
    // Capturing ends for good (the window has gone).
    void stop();

    // Leaving copies on the clipboard: each new copy is captured once and
    // stays there; start-up and "On" leave the clipboard alone, and what is
    // on it then is not captured.
    void setLeaveCopies(bool leave) { leaveCopies_ = leave; }
    bool leavesCopies() const { return leaveCopies_; }

    bool isOn() const;
    void setOn(bool on);

    // The switch.
    void turnOnEmptyingClipboard();  // "On" selected
    void turnOff();                  // "Off" selected
    void turnOnKeepingClipboard();   // the "Clipboard Copy" label
    void onCopyMenuOpened();         // the "Clipboard" > "Copy " submenu opens
    void turnOnFromMenu();           // "Clipboard" > "Copy " > "On"
    void turnOffFromMenu();          // "Clipboard" > "Copy " > "Off"

    // One tick of the capture timer: the first selects "On"; then a picture
    // is looked for, then a text.
    void onCaptureTick();
    // Another program changed the clipboard: captured at once, once the
    // first tick has run and while capturing is on.
    void onClipboardChanged();

    // Follows what other programs (a synchroniser) add to the folder, from
    // a read of it with a watcher set before that read.
    void followFolder(const FolderEntries& entries, std::unique_ptr<FolderWatcher> watcher);

    CaptureStore& store() { return store_; }
    qint16 tickCount() const { return tickCount_; }
    // The text last captured, as written: UTF-8 (of one too long to hold,
    // its start).
    const QByteArray& heldText() const { return heldText_; }
    const QImage& capturedPicture() const { return capturedPicture_; }
    QTimer& timer() { return timer_; }

  private:
    void captureChecks();
    void captureSpooledText(SpooledText& spooled);
    void captureStagedPicture(StagedFile& staged);
    // Empties the clipboard, or passes over what is on it.
    void emptyClipboard();
    void doneWithCapture();
    // Runs a capture step from the event loop: a failure is shown once and
    // switches capturing off, leaving the copy on the clipboard.
    void runCapture(void (CaptureEngine::*step)());

    Host& host_;
    CaptureStore store_;
    SyncedNumbering numbering_;
    CaptureView& view_;
    QTimer timer_;
    qint16 tickCount_ = 0;
    QByteArray heldText_;
    QImage capturedPicture_;
    bool stopped_ = false;
    bool changePending_ = false;
    bool leaveCopies_ = false;
    // The capture state. The timer runs while capturing is on, but for
    // where it rests between change reports.
    bool on_ = true;
};

}  // namespace brimlet
