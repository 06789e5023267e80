#pragma once
// The application's executable, `zavelto`: it reads its options, picks the screen, the clock
// and the host that plays the system's part, and hands control to UIApplicationMain with the
// application delegate class "AppDelegate", as the device's entry point does.
//
//   zavelto [--window | --headless] [--script FILE] [--pictures DIR] [--fast]
//           [--screen 375x667[@2]] [--text-wait S] [--report] [--server-root URL] ...
//
// - window (the default when a display is available): the phone's screen at its size in points
//   in a desktop window; the mouse touches, the wheel scrolls, the keyboard types (through the
//   desktop's input method), Ctrl+T switches slow animations; closing the window ends the run.
// - headless: the script runs against the screen and the run ends with its outcome: 0 when
//   every step was done, 1 when one could not be (a picture of the screen is written), 2 for
//   a script or an option that cannot be read. Web views draw on an X server of the run's own
//   (Xvfb, started by the first web view), so that pictures show their pages.
// - --fast: a virtual clock (headless only): animations and waits take no real time.
// - --text-wait S: how long `tap "text"` and `expect` wait for a text to appear (default 10 s).
// - --report: lines on standard output for tools: "shown" once the first frame is on screen,
//   then "screen: <visible texts>" whenever what the screen shows changes.
// Options of the deployment (--server-root...) go to zvt::Configuration.

#include <optional>
#include <string>
#include <vector>

namespace zvt::runner {

struct RunnerOptions {
  enum class Mode { kAuto, kWindow, kHeadless };
  Mode mode = Mode::kAuto;
  std::string script;
  std::string pictures = ".";
  bool fast = false;
  std::string screen;
  bool report = false;
  double textWait = 10;
  bool help = false;
  // What is left for the configuration of the deployment.
  std::vector<std::string> rest;
};

// False with a message for an option it cannot read.
bool parseRunnerOptions(const std::vector<std::string>& arguments, RunnerOptions& options, std::string* error);

std::string runnerUsage();

// The whole run: options, configuration, screen, clock, host, UIApplicationMain.
int runnerMain(int argc, char* argv[]);

// Registers the application's delegate class under "AppDelegate" (ApplicationClasses.cpp).
void registerApplicationClasses();

}  // namespace zvt::runner
