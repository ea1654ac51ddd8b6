#pragma once

#include <QImage>
#include <QString>

#include "files/Files.h"

namespace brimlet {

// What the capture engine asks of the window that shows its work.
class CaptureView {
  public:
    virtual ~CaptureView() = default;

    // The picture viewer and the text viewer show a new capture.
    virtual void showPicture(const QImage& picture) = 0;
    virtual void showText(const QString& text) = 0;
    // A text too long to hold, written to `file`: its start, and its whole
    // length in UTF-16 units. The viewer shows what showText() would show
    // of the whole, and takes the whole from the file when it is needed.
    virtual void showTextStart(const QString& start, qsizetype length, const FolderFile& file) = 0;
    // A capture file has been written: its list shows it from now on.
    virtual void pictureAdded(const QString& name) = 0;
    virtual void textAdded(const QString& name) = 0;
    // Gives the keyboard focus to the "On" or the "Off" button. A button that
    // was not selected becomes selected and runs its action, as a click by
    // the user would; the engine's switch is then called back.
    virtual void selectCaptureOn() = 0;
    virtual void selectCaptureOff() = 0;
};

}  // namespace brimlet
