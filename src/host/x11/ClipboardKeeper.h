#pragma once

#include <QImage>
#include <QString>
#include <chrono>
#include <functional>

namespace brimlet {

// On X11 the clipboard's content lives in the program that put it there:
// when that program ends, so does the copy. What Brimlet put on the
// clipboard (a copy back) outlives it:
// - where a clipboard manager runs (the owner of CLIPBOARD_MANAGER), it is
//   asked to take the content over (the SAVE_TARGETS hand-over), and given
//   a second to say it did;
// - otherwise, or when the manager does not answer in time, a small
//   detached process of Brimlet's own (the program run again with
//   kClipboardHolderOption) takes the clipboard over and serves the content
//   until another program copies something, the way xclip and xsel keep a
//   selection alive. It gets the content whole, in a sealed memory file as
//   its standard input, so nothing has to stream while Brimlet ends.
// Either way Qt is left nothing to hand over when the application object
// goes (it would wait up to 5 s for a manager that never answers).

// The internal option that makes the program a clipboard holder.
inline constexpr char kClipboardHolderOption[] = "--keep-clipboard";

// Call after the main window is gone, while the application object still
// exists. Hands over nothing unless this program owns the clipboard on X11.
// Returns within a second for the manager plus `patience` for the holder
// to take the clipboard (a holder that is slower takes it once ready).
void keepClipboardAfterExit(std::chrono::milliseconds patience = std::chrono::seconds(3));

// Starts the holder for `text` (when `hasText`) and `picture` (when not
// null), and waits up to `patience` until it says it holds the clipboard.
// `throughDataControl`: the holder serves it on Wayland (data-control)
// instead of X11.
bool startClipboardHolder(const QString& text, bool hasText, const QImage& picture,
                          bool throughDataControl,
                          std::chrono::milliseconds patience = std::chrono::seconds(3));

// Whether this run is a holder started by keepClipboardAfterExit: the
// option was given and the content comes as a sealed memory file.
bool isClipboardHolderRun(int argc, char** argv);

// Holds the content on Wayland: text (when the flag says so), picture (may
// be null), and what to call once it is held; returns the exit status.
using DataControlHolder = std::function<int(const QString& text, bool hasText,
                                            const QImage& picture, const std::function<void()>&)>;

// The holder's life: maps the content from standard input, takes the
// clipboard unless another program copied since Brimlet ended, says so on
// standard output, and serves the content until another program takes the
// clipboard or the X server goes away. Content kept through data-control
// is held by `holdThroughDataControl`.
int runClipboardHolder(int argc, char** argv, const DataControlHolder& holdThroughDataControl);

}  // namespace brimlet
