#pragma once
// The phone's screen in a GTK 3 window on the desktop. GLib's main context is joined to the
// main run loop (one loop); the screen renderer draws live and the window copies the redrawn
// rectangles. Mouse presses, moves and releases become touches of one finger; the wheel becomes
// a drag of a second finger (released 0.15 s after the last turn of the wheel); the keyboard
// types into the first responder through GTK's input method (so Chinese input methods work),
// Return and Backspace press those keys, and Ctrl+T switches slow animations (ten times
// slower). Closing the window terminates the application and ends the run.

#include <functional>
#include <memory>

#include "platform/uikit/UIApplication.h"

namespace zvt::runner {

// Opens GTK on the display; false when there is none (or it cannot be opened).
bool openDesktop(int* argc, char*** argv);

// Shows the window and runs the main run loop until the window is closed; `started` runs once
// the first frame is on screen, `painted` (when given) after every paint of the window. Returns
// the exit status.
int runDesktopWindow(const std::shared_ptr<UIApplication>& application, const std::function<void()>& started,
                     const std::function<void()>& painted = nullptr);

// Closes the window as its close button does (main thread; nothing when none is shown).
void closeDesktopWindow();

}  // namespace zvt::runner
