#pragma once

#include <chrono>

namespace brimlet {

// On X11 the clipboard's content lives in the program that put it there:
// when that program ends, so does the copy. What Brimlet put on the
// clipboard (a copy back) outlives it:
// - where a clipboard manager runs (the owner of CLIPBOARD_MANAGER), Qt
//   hands the content over to it while the application object is torn down
//   (the SAVE_TARGETS hand-over, bounded by Qt's clipboard timeout);
// - otherwise a small detached process of Brimlet's own (the program run
//   again with kClipboardHolderOption) takes the clipboard over and serves
//   the content until another program copies something, the way xclip and
//   xsel keep a selection alive.

// The internal option that makes the program a clipboard holder.
inline constexpr char kClipboardHolderOption[] = "--keep-clipboard";

// Call after the main window is gone, while the application object still
// exists. Does nothing unless this program owns the clipboard on X11.
// Returns within `patience`.
void keepClipboardAfterExit(std::chrono::milliseconds patience = std::chrono::seconds(3));

// Whether this run is a holder started by keepClipboardAfterExit: the
// option was given and the content comes through a pipe.
bool isClipboardHolderRun(int argc, char** argv);

// The holder's life: reads the content from standard input, takes the
// clipboard, says so on standard output, and serves the content until
// another program takes the clipboard or the X server goes away.
int runClipboardHolder(int argc, char** argv);

}  // namespace brimlet
