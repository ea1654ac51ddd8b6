#pragma once

#include <QImage>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace brimlet {

class FolderHandle;
class RuntimeError;
class SpooledText;
class StagedFile;

// Standard clipboard formats the handlers ask about.
enum class ClipFormat { Text = 1, Bitmap = 2 };

// Message box styles: the icon, each box with one OK button.
enum MsgStyle : int { MsgCritical = 16, MsgExclamation = 48, MsgInformation = 64 };

// Everything the handlers need from the desktop platform. Handlers talk to
// the platform only through this interface, so they can be run against a
// recording fake. Only the program's entry (app/) reaches past it, to check
// the display before Qt starts and to hand the clipboard over at exit.
// Operations that fail raise RuntimeError.
class Host {
  public:
    virtual ~Host() = default;

    // Clipboard. What a password manager marks as secret offers no format:
    // it is never captured and stays on the clipboard.
    virtual bool clipboardHasFormat(ClipFormat format) = 0;
    virtual QImage clipboardGetPicture() = 0;
    virtual QString clipboardGetText() = 0;
    // The same text in UTF-8: the bytes the owner gave, when they were valid
    // UTF-8, so a large text is not converted twice.
    virtual QByteArray clipboardGetTextUtf8() = 0;
    // A large text may be written, as it is read, to a hidden file in
    // `folder` (the capture folder) instead of being held whole; it is then
    // taken, once, from clipboardTakeSpooledText() rather than as a string.
    // A host that does not spool keeps the defaults.
    virtual void spoolTextsIn(const FolderHandle& /*folder*/) {}
    virtual std::shared_ptr<SpooledText> clipboardTakeSpooledText() { return nullptr; }
    // Likewise a picture decoded straight into a staged bitmap file there.
    virtual std::shared_ptr<StagedFile> clipboardTakeStagedPicture() { return nullptr; }
    virtual void clipboardSetPicture(const QImage& picture) = 0;
    virtual void clipboardSetText(const QString& text) = 0;
    virtual void clipboardClear() = 0;
    // Empties the clipboard if it still holds the copy last taken from it;
    // a copy made since in another program is left alone.
    virtual void clipboardClearCaptured() = 0;
    // For leaving copies on the clipboard instead of emptying it. The copy
    // on the clipboard now (passOver), or the copy last taken from it
    // (leaveCaptured), stays there and offers no format until the clipboard
    // changes, so it is never captured, or captured only once.
    virtual void clipboardPassOver() = 0;
    virtual void clipboardLeaveCaptured() = 0;
    // Calls `handler` when another program has changed the clipboard (never
    // for a change made through this host).
    virtual void onClipboardChanged(std::function<void()> handler) = 0;
    // Whether a poll of the clipboard could find what no change report
    // brings: where every change is reported and nothing is under way, a
    // poll has nothing to do until the next report.
    virtual bool clipboardNeedsPolling() { return true; }
    // Calls `handler` once for a copy that is left on the clipboard, not
    // captured, while capturing goes on: one larger than the program takes
    // in one go.
    virtual void onClipboardProblem(std::function<void(const RuntimeError&)> handler) = 0;

    // Modal message box with one OK button; returns when it is closed.
    virtual void msgBox(const QString& prompt, MsgStyle style, const QString& title) = 0;
    // Modal question box with Yes and No buttons, No the default and Esc's;
    // returns whether the user chose Yes.
    virtual bool msgBoxYesNo(const QString& prompt, const QString& title) = 0;
    virtual void beep() = 0;

    // Windows and documents.
    virtual void bringToFront(QWidget* window) = 0;
    virtual void popupMenu(QMenu* menu) = 0;  // at the pointer; returns when it closes
    virtual void openDocument(const QString& path) = 0;

    // The window's icon in the notification area, with a tooltip; what the
    // user does on it reaches `activated`. One icon at a time.
    using TrayActivated = std::function<void(QSystemTrayIcon::ActivationReason)>;
    virtual void addTrayIcon(QWidget* window, const QString& tip, TrayActivated activated) = 0;
    virtual void removeTrayIcon() = 0;
    // Whether an icon is really shown in a notification area.
    virtual bool trayIconShown() = 0;
};

}  // namespace brimlet
