#pragma once
// GLib's default main context (a desktop window's events, a web engine's sources) joined to the
// main run loop, so that the process has one loop: the main run loop waits on GLib's file
// descriptors and its next timeout too, and GLib's ready sources are dispatched from the run
// loop's own callbacks, never by polling on a timer.
//
// Each time the main run loop is about to wait (after the display pass), GLib is prepared and
// queried: its descriptors become file sources of the run loop (in the common modes) and its
// timeout a run-loop timer (under a virtual clock a timerfd on the system's clock, since GLib's
// timeouts pass in real time whatever clock a test holds). When one of them fires, or when the loop is about to wait again,
// GLib's sources are checked (with the descriptors' current readiness) and dispatched; a
// dispatch before waiting is followed by one more pass of the loop (and so a display pass). GLib dispatches one cycle at a time:
// code that GLib calls and that runs the main run loop itself (a nested run) does not dispatch
// GLib again until it returns. Main thread only.

namespace zvt::ui {

// Joins the default main context (once; later calls do nothing). False when GLib's context
// cannot be acquired by the main thread (another thread owns it).
bool joinGLibMainContext();
bool isGLibMainContextJoined();
// Cycles of GLib dispatched so far (for tests).
unsigned long glibDispatchCount();

}  // namespace zvt::ui
