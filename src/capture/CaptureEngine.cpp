#include "capture/CaptureEngine.h"

#include "capture/CaptureView.h"
#include "files/Folder.h"
#include "files/Picture.h"
#include "files/SpooledText.h"
#include "host/Host.h"
#include "host/Untrapped.h"

namespace brimlet {

CaptureEngine::CaptureEngine(Host& host, const FolderHandle& folder, CaptureView& view)
    : host_(host), store_(folder), numbering_(host, store_), view_(view) {
    store_.setNumbering(&numbering_);
    timer_.setObjectName(QStringLiteral("captureTimer"));
    host_.spoolTextsIn(folder);
    timer_.setInterval(kIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        runCapture(&CaptureEngine::onCaptureTick);
        // Where the host reports every change and has nothing under way,
        // the ticks rest until the next report (an idle program then never
        // wakes); capturing stays on.
        if (on_ && tickCount_ >= 1 && !host_.clipboardNeedsPolling()) timer_.stop();
    });
    // Changes are reported in the middle of the platform's clipboard work:
    // handle them from the event loop, several reports of one change at once.
    host_.onClipboardChanged([this] {
        if (changePending_) return;
        changePending_ = true;
        QTimer::singleShot(0, &timer_, [this] {
            changePending_ = false;
            runCapture(&CaptureEngine::onClipboardChanged);
            if (on_ && !stopped_ && !timer_.isActive()) timer_.start();  // ticks resume
        });
    });
    // A copy the host leaves on the clipboard (one too large to take) is
    // reported once; capturing goes on.
    host_.onClipboardProblem(
        [this](const RuntimeError& error) { showUntrappedError(host_, error); });
    timer_.start();  // capturing is on from the start
}

CaptureEngine::~CaptureEngine() {
    host_.onClipboardChanged(nullptr);
    host_.onClipboardProblem(nullptr);
}

void CaptureEngine::followFolder(const FolderEntries& entries,
                                 std::unique_ptr<FolderWatcher> watcher) {
    numbering_.follow(entries, std::move(watcher));
}

void CaptureEngine::start() {
    // Each step is trapped on its own: failing to empty the clipboard must
    // not keep the counters from being read, or numbers already used would
    // be handed out again.
    (void)trapRunTimeError([this] { emptyClipboard(); });
    if (trapRunTimeError([this] { store_.readCounters(); })) {
        store_.counters() = Counters{};  // no readable counter file: number from 1
    }
    tickCount_ = 0;
}

void CaptureEngine::stop() {
    stopped_ = true;
    setOn(false);
}

bool CaptureEngine::isOn() const {
    return on_;
}

void CaptureEngine::setOn(bool on) {
    if (!on) {
        on_ = false;
        timer_.stop();
    } else if (!stopped_) {
        on_ = true;
        if (!timer_.isActive()) timer_.start();
    }
}

void CaptureEngine::emptyClipboard() {
    if (leaveCopies_) {
        host_.clipboardPassOver();
    } else {
        host_.clipboardClear();
    }
}

void CaptureEngine::doneWithCapture() {
    if (leaveCopies_) {
        host_.clipboardLeaveCaptured();
    } else {
        host_.clipboardClearCaptured();
    }
}

void CaptureEngine::turnOnEmptyingClipboard() {
    emptyClipboard();
    setOn(true);
}

void CaptureEngine::turnOff() {
    setOn(false);
}

// Leaves the clipboard and the buttons alone.
void CaptureEngine::turnOnKeepingClipboard() {
    setOn(true);
}

void CaptureEngine::onCopyMenuOpened() {
    emptyClipboard();
    setOn(true);
    view_.selectCaptureOn();
}

void CaptureEngine::turnOnFromMenu() {
    setOn(true);
    view_.selectCaptureOn();
}

void CaptureEngine::turnOffFromMenu() {
    setOn(false);
    view_.selectCaptureOff();
}

void CaptureEngine::onCaptureTick() {
    tickCount_ = static_cast<qint16>(tickCount_ + 1);
    if (tickCount_ == 1) view_.selectCaptureOn();
    if (tickCount_ == 100) tickCount_ = 2;
    captureChecks();
}

// Capturing at once instead of at the next tick keeps a copy that is
// replaced within half a second. Before the first tick, which empties
// whatever was copied before, nothing is captured; the tick still captures
// whatever this misses.
void CaptureEngine::onClipboardChanged() {
    if (stopped_ || !isOn() || tickCount_ < 1) return;
    captureChecks();
}

void CaptureEngine::captureChecks() {
    // A picture wins: its capture empties the clipboard (or leaves it, its
    // formats no longer offered) before the text check.
    if (host_.clipboardHasFormat(ClipFormat::Bitmap)) {
        raiseCounter(store_.counters().picture);
        if (const auto staged = host_.clipboardTakeStagedPicture()) {
            captureStagedPicture(*staged);
        } else {
            capturedPicture_ = host_.clipboardGetPicture();
            view_.showPicture(host_.clipboardGetPicture());
            const QString name = store_.savePicture(capturedPicture_);  // then the counter file
            view_.pictureAdded(name);
            doneWithCapture();
        }
    }

    // The file is written before the text is decoded and the viewer filled,
    // which take a while for a large text; a failed write still shows the
    // text first.
    if (host_.clipboardHasFormat(ClipFormat::Text)) {
        raiseCounter(store_.counters().text);
        if (const auto spooled = host_.clipboardTakeSpooledText()) {
            captureSpooledText(*spooled);
            return;
        }
        heldText_ = host_.clipboardGetTextUtf8();
        QString name;
        if (auto error = trapRunTimeError([&] { name = store_.saveText(heldText_); })) {
            view_.showText(host_.clipboardGetText());
            throw *error;
        }
        view_.showText(host_.clipboardGetText());
        view_.textAdded(name);  // after the counter file
        doneWithCapture();
    }
}

// A picture was decoded straight into a staged bitmap file: the file gets
// its name, and the viewer the picture read back from it (a file removed
// meanwhile leaves the viewer empty). The picture shown before is let go
// first, so that two big pictures are never held at once.
void CaptureEngine::captureStagedPicture(StagedFile& staged) {
    const QString name = store_.savePicture(staged);  // then the counter file
    capturedPicture_ = QImage();
    view_.showPicture(QImage());
    (void)trapRunTimeError([&] { capturedPicture_ = readOwnPicture(store_.file(name)); });
    view_.showPicture(capturedPicture_);
    view_.pictureAdded(name);
    doneWithCapture();
}

// A long text was written to a staged file as it was read: the file gets
// its name, and the viewer its start.
void CaptureEngine::captureSpooledText(SpooledText& spooled) {
    heldText_ = spooled.held();
    QString name;
    if (auto error = trapRunTimeError([&] { name = store_.saveText(spooled.file()); })) {
        view_.showText(QString::fromUtf8(heldText_));
        throw *error;
    }
    view_.showTextStart(QString::fromUtf8(heldText_), spooled.utf16Length(), store_.file(name));
    view_.textAdded(name);
    doneWithCapture();
}

// A failing capture also switches capturing off, as "Off" does, so the
// message is not repeated every half second and the clipboard keeps what is
// on it.
void CaptureEngine::runCapture(void (CaptureEngine::*step)()) {
    if (auto error = trapRunTimeError([&] { (this->*step)(); })) {
        (void)trapRunTimeError([this] { view_.selectCaptureOff(); });
        setOn(false);
        showUntrappedError(host_, *error);
    }
}

}  // namespace brimlet
