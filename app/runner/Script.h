#pragma once
// Scripts of steps as a person takes them, one a line, run through the device:
//
//   tap "登录"            the view showing that text a person would mean (Device::viewToTap)
//   tap 120,300           the point (screen points)
//   type "13800138000"    into the first responder, one character at a time
//   press return          (or: press delete)
//   swipe up              a quick swipe across the screen's middle (up, down, left, right)
//   pull down             a slow drag from under the title bar down (pull to refresh)
//   wait 2.0              let seconds pass
//   shot home.png         the screen's picture into the pictures folder
//   expect "我的订单"      some visible text contains it
//
// Blank lines and lines starting with "#" are skipped. Texts are in double quotes, with \" and
// \\ inside. A step that cannot be done (nothing shows the text to tap or it is covered, nobody
// takes typing, an expected text is missing) ends the run with a picture of the screen. `tap
// "text"` and `expect` give a text that is not there yet some real time to appear (10 s by
// default) (what the service answers comes in real time), and `tap` a covered text the same time
// to come clear, running the main run loop meanwhile.
//
// Time: on the real clock, `wait` runs the main run loop for that long. On a virtual clock
// (the runner's --fast), `wait` first lets what is on its way arrive (the main run loop runs
// until it has been idle a moment, on the system's clock: replies from the service come in real
// time), then advances the clock from one of its deadlines to the next; whenever loads are in
// flight (URL loads, and web views' pages until they have painted) the clock stands while real
// time passes until they have landed (within the text wait per `wait`), so a reply lands at the
// moment of the wait in which it was asked for, what it sets off (an animation) runs on within
// that wait, and a picture shows the web page that was opened. Taps, `expect` and `shot` first let loads in
// flight land the same way (a reply landing between a tap's down and up would reload the list
// under the finger); otherwise no step waits for real.

#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/NSGeometry.h"

namespace zvt::runner {

struct ScriptStep {
  enum class Kind { kTapText, kTapPoint, kType, kPress, kSwipe, kPull, kWait, kShot, kExpect };
  Kind kind = Kind::kWait;
  std::string text;  // the text, key, direction or picture name
  CGPoint point{};
  double seconds = 0;
  int line = 0;
};

// Reads the script; false with "line N: what is wrong" in `error` for the first line it cannot
// read.
bool parseScript(const std::string& text, std::vector<ScriptStep>& steps, std::string* error);

struct ScriptRun {
  std::string name = "script";      // for messages: "<name>:<line>: ..."
  std::string picturesFolder = ".";  // where `shot` and failures write
  bool virtualClock = false;
  // How long `tap "text"` and `expect` wait for a text that is not there yet, and how long one
  // `wait` on a virtual clock lets loads in flight take (seconds of real time).
  double textWait = 10;
  // Lines for the person running the script (standard output in the runner).
  std::function<void(const std::string&)> say;
};

struct ScriptOutcome {
  bool passed = true;
  std::string message;  // why it stopped
  std::vector<std::string> pictures;
};

// Runs the steps on the main thread; stops at the first step that cannot be done.
ScriptOutcome runScript(const std::vector<ScriptStep>& steps, const ScriptRun& run);

// Runs the main run loop until nothing has happened for 50 ms of the system's time, at most
// `limit` seconds.
void runUntilIdle(double limit);

}  // namespace zvt::runner
