#pragma once

class QWidget;

namespace brimlet {

// The program ends when none of its windows is loaded any more, not when
// the last visible one closes: the main window stays loaded while it is
// hidden in the tray, and a Save As dialog keeps the program running after
// the main window has gone.

// Marks a window of the program as loaded or unloaded.
void setLoaded(QWidget* window, bool loaded);
bool isLoaded(const QWidget* window);

// Ends the program, from the event loop, once no window of it is loaded.
void endWhenNoWindowIsLoaded();

}  // namespace brimlet
