#include "app/runner/Runner.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/core/Configuration.h"
#include "app/runner/DesktopWindow.h"
#include "app/runner/Script.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/DisplayCycle.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/UIApplicationMain.h"
#include "platform/webkit/UIWebView.h"

namespace zvt::runner {

namespace {

void say(const std::string& line) { std::cout << line << std::endl; }

// --report: "shown" once, then "screen: ..." whenever the visible texts change.
void startReporting() {
  say("shown");
  auto& hooks = zvt::ui::displayCycleHooks();
  auto previous = hooks.didCommit;
  auto last = std::make_shared<std::string>();
  hooks.didCommit = [previous, last] {
    if (previous) previous();
    std::string line;
    for (const auto& text : zvt::ui::Device::shared().visibleTexts()) line += (line.empty() ? "" : " | ") + text;
    if (line == *last) return;
    *last = line;
    say("screen: " + line);
  };
}

// SIGINT and SIGTERM end the run cleanly: the window closes (the application terminates), or a
// headless run stops where it is with status 130. The handler only writes the signal's number to
// a pipe that the main run loop watches, so nothing else runs inside it. A handler rather than
// blocked signals read through a signalfd: libraries start threads of their own before main()
// (the web engine's JavaScript runtime does, at load time), and a signal blocked only on our
// threads would reach one of theirs and end the process at once.
int signalPipe[2] = {-1, -1};

void onSignal(int number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(number);
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
  errno = saved;
}

void watchSignals(bool window) {
  if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  static std::shared_ptr<NSRunLoopFileSource> source;
  source = NSRunLoop::mainRunLoop()->addFileDescriptor(
      signalPipe[0], NSRunLoopFileSource::kRead,
      [window](int fd, unsigned) {
        unsigned char byte = 0;
        if (read(fd, &byte, 1) != 1) return;
        if (window) {
          closeDesktopWindow();
        } else {
          say("interrupted");
          _exit(130);
        }
      },
      {NSRunLoopCommonModes});
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

}  // namespace

std::string runnerUsage() {
  return "usage: zavelto [--window | --headless] [--script FILE] [--pictures DIR] [--fast]\n"
         "               [--screen 320x480|320x568|375x667|414x736[@2|@3]] [--text-wait S] [--report]\n"
         "               [--server-root URL] [--request-timeout S] ...\n"
         "  --window     the phone's screen in a desktop window (default when there is a display)\n"
         "  --headless   no window: run the script and end (0: done, 1: a step failed, 2: bad input);\n"
         "               web views draw on an X server of the run's own (Xvfb)\n"
         "  --script     steps: tap \"text\" | tap x,y | type \"text\" | press return|delete |\n"
         "               swipe up|down|left|right | pull down | wait SECONDS | shot NAME.png | expect \"text\"\n"
         "  --pictures   the folder `shot` writes to (default: the current folder)\n"
         "  --fast       headless on a virtual clock: waits and animations take no real time\n"
         "  --text-wait  seconds `tap \"text\"` and `expect` wait for a text to appear (default 10)\n"
         "  --report     print \"shown\" and then \"screen: <visible texts>\" as the screen changes\n";
}

bool parseRunnerOptions(const std::vector<std::string>& arguments, RunnerOptions& options, std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= arguments.size() || arguments[i + 1].empty()) return false;
      out = arguments[++i];
      return true;
    };
    if (a == "--window") options.mode = RunnerOptions::Mode::kWindow;
    else if (a == "--headless") options.mode = RunnerOptions::Mode::kHeadless;
    else if (a == "--fast") options.fast = true;
    else if (a == "--report") options.report = true;
    else if (a == "-h" || a == "--help") options.help = true;
    else if (a == "--script") {
      if (!value(options.script)) return fail("--script needs a file");
    } else if (a == "--pictures") {
      if (!value(options.pictures)) return fail("--pictures needs a folder");
    } else if (a == "--screen") {
      if (!value(options.screen)) return fail("--screen needs a model");
    } else if (a == "--text-wait") {
      std::string seconds;
      char* end = nullptr;
      if (!value(seconds)) return fail("--text-wait needs seconds");
      options.textWait = std::strtod(seconds.c_str(), &end);
      if (!end || *end || !(options.textWait >= 0 && options.textWait <= 600)) return fail("--text-wait needs seconds (0 to 600)");
    } else {
      options.rest.push_back(a);
    }
  }
  if (options.fast && options.mode == RunnerOptions::Mode::kWindow)
    return fail("--fast runs headless only: a window shows real time");
  return true;
}

int runnerMain(int argc, char* argv[]) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  RunnerOptions options;
  std::string error;
  if (!parseRunnerOptions(arguments, options, &error)) {
    std::cerr << "zavelto: " << error << "\n" << runnerUsage();
    return 2;
  }
  if (options.help) {
    std::cout << runnerUsage();
    return 0;
  }
  zvt::Configuration::applyEnvironment();
  if (!zvt::Configuration::applyArguments(options.rest, &error)) {
    std::cerr << "zavelto: " << error << "\n";
    return 2;
  }
  if (!options.screen.empty() ? !zvt::ui::Device::useScreenNamed(options.screen)
                              : (zvt::ui::Device::useScreenFromEnvironment(), false)) {
    std::cerr << "zavelto: unknown screen " << options.screen << "\n";
    return 2;
  }
  std::vector<ScriptStep> steps;
  if (!options.script.empty()) {
    std::string text;
    if (!readFile(options.script, text)) {
      std::cerr << "zavelto: cannot read " << options.script << "\n";
      return 2;
    }
    if (!parseScript(text, steps, &error)) {
      std::cerr << "zavelto: " << options.script << ": " << error << "\n";
      return 2;
    }
  }

  bool window = false;
  if (options.mode != RunnerOptions::Mode::kHeadless && !options.fast) window = openDesktop(&argc, &argv);
  if (options.mode == RunnerOptions::Mode::kWindow && !window) {
    std::cerr << "zavelto: no display to open a window on (run with --headless --script FILE)\n";
    return 2;
  }
  if (!window && options.script.empty()) {
    std::cerr << "zavelto: no display; headless runs need a script (--script FILE)\n" << runnerUsage();
    return 2;
  }
  // Web pages are pictured as a window shows them: headless, web views draw on an X server of
  // the run's own, started by the first web view and ended with the run.
  if (!window) zvt::web::usePrivateDisplay();
  // A virtual clock starts at the real time, so that the status bar shows it.
  if (options.fast) Clock::setCurrent(std::make_shared<VirtualClock>(RealClock::shared()->wallTime()));
  watchSignals(window);

  ScriptRun run;
  run.name = options.script;
  run.picturesFolder = options.pictures;
  run.virtualClock = options.fast;
  run.textWait = options.textWait;
  run.say = say;
  if (window) {
    zvt::ui::setApplicationHost([&](const std::shared_ptr<UIApplication>& application) {
      return runDesktopWindow(
          application,
          [&] {
            if (options.report) startReporting();
            if (!steps.empty()) {
              auto outcome = runScript(steps, run);
              say(outcome.passed ? "script done" : "script failed");
            }
          },
          options.report ? std::function<void()>([] { say("painted"); }) : nullptr);
    });
  } else {
    zvt::ui::setApplicationHost([&](const std::shared_ptr<UIApplication>& application) {
      auto& renderer = zvt::ui::ScreenRenderer::shared();
      renderer.setLive(true);
      zvt::ui::Device::shared().settle();
      if (options.report) startReporting();
      auto outcome = runScript(steps, run);
      application->terminate();
      renderer.setLive(false);
      return outcome.passed ? 0 : 1;
    });
  }
  return UIApplicationMain(argc, argv, nullptr, NSString::stringWithUTF8String("AppDelegate"));
}

}  // namespace zvt::runner
