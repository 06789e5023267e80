#include "app/runner/Script.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>

#include "platform/foundation/Clock.h"
#include "platform/foundation/ClockDeadlines.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/graphics/UIScreen.h"
#include "platform/network/NSURLConnection.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/Snapshot.h"
#include "platform/webkit/UIWebView.h"

namespace zvt::runner {

namespace {

using Kind = ScriptStep::Kind;

// Reads a double-quoted text at `pos`; false when there is none or it does not end.
bool readQuoted(const std::string& line, size_t& pos, std::string& out) {
  while (pos < line.size() && line[pos] == ' ') ++pos;
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '\\' && pos + 1 < line.size()) {
      out += line[++pos];
    } else if (c == '"') {
      ++pos;
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

bool readNumber(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && std::isfinite(out);
}

bool parseLine(const std::string& raw, int number, ScriptStep& step, std::string& problem) {
  const std::string line = trim(raw);
  const size_t space = line.find(' ');
  const std::string verb = line.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : trim(line.substr(space + 1));
  step.line = number;
  auto quotedOnly = [&](Kind kind) {
    size_t pos = 0;
    std::string text;
    if (!readQuoted(rest, pos, text) || !trim(rest.substr(pos)).empty()) {
      problem = verb + " takes one text in double quotes";
      return false;
    }
    step.kind = kind;
    step.text = text;
    return true;
  };
  if (verb == "tap") {
    if (!rest.empty() && rest[0] == '"') return quotedOnly(Kind::kTapText);
    size_t comma = rest.find(',');
    double x = 0, y = 0;
    if (comma == std::string::npos || !readNumber(trim(rest.substr(0, comma)), x) ||
        !readNumber(trim(rest.substr(comma + 1)), y)) {
      problem = "tap takes a text in double quotes or a point x,y";
      return false;
    }
    step.kind = Kind::kTapPoint;
    step.point = CGPointMake(x, y);
    return true;
  }
  if (verb == "type") return quotedOnly(Kind::kType);
  if (verb == "expect") return quotedOnly(Kind::kExpect);
  if (verb == "press") {
    if (rest != "return" && rest != "delete") {
      problem = "press takes return or delete";
      return false;
    }
    step.kind = Kind::kPress;
    step.text = rest;
    return true;
  }
  if (verb == "swipe") {
    if (rest != "up" && rest != "down" && rest != "left" && rest != "right") {
      problem = "swipe takes up, down, left or right";
      return false;
    }
    step.kind = Kind::kSwipe;
    step.text = rest;
    return true;
  }
  if (verb == "pull") {
    if (rest != "down") {
      problem = "pull takes down";
      return false;
    }
    step.kind = Kind::kPull;
    return true;
  }
  if (verb == "wait") {
    if (!readNumber(rest, step.seconds) || step.seconds < 0 || step.seconds > 3600) {
      problem = "wait takes seconds (0 to 3600)";
      return false;
    }
    step.kind = Kind::kWait;
    return true;
  }
  if (verb == "shot") {
    // A plain file name: no folders, nothing that leaves the pictures folder.
    if (rest.empty() || rest.find('/') != std::string::npos || rest.find('\\') != std::string::npos ||
        rest[0] == '.') {
      problem = "shot takes a file name (no folders)";
      return false;
    }
    step.kind = Kind::kShot;
    step.text = rest.size() > 4 && rest.substr(rest.size() - 4) == ".png" ? rest : rest + ".png";
    return true;
  }
  problem = "unknown step \"" + verb + "\"";
  return false;
}

double realSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool onVirtualClock() { return Clock::current()->isVirtual(); }

// What is on its way from servers: URL loads, and web views' pages until they have painted.
size_t loadsInFlight() { return zvt::urlConnectionLoadsInFlight() + zvt::web::webViewLoadsInFlight(); }

// While loads are on their way, runs the main run loop in real time (the virtual clock stands
// still) until none is left or the system's clock reaches `deadline`; then lets what their
// replies handed to the main thread run.
void letLoadsLand(double deadline) {
  if (loadsInFlight() == 0) return;
  auto loop = NSRunLoop::mainRunLoop();
  double now = realSeconds();
  while (loadsInFlight() > 0 && now < deadline) {
    loop->runModeWithin(NSDefaultRunLoopMode, std::min(0.05, deadline - now));
    now = realSeconds();
  }
  runUntilIdle(std::clamp(deadline - now, 0.0, 0.5));
}

// `wait` on a virtual clock: the clock moves from one of its deadlines to the next (nothing
// runs in between, so a load can only be set off there), and stands while loads are on their
// way, so that a reply lands at the moment it was asked for and what it sets off (a header that
// closes when a list's first page arrives) runs its course within the same wait. Loads get at
// most `loadWait` seconds of real time in one wait: a server that never answers costs that
// much, and then the clock moves on (the request's own time-out runs on it).
void waitOnVirtualClock(double seconds, double loadWait) {
  auto& device = zvt::ui::Device::shared();
  auto clock = std::dynamic_pointer_cast<VirtualClock>(Clock::current());
  runUntilIdle(2.0);
  const double deadline = realSeconds() + loadWait;
  letLoadsLand(deadline);
  if (!clock) {
    device.wait(seconds);
  } else {
    const int64_t end = zvt::addSaturating(clock->monotonicNanos(), zvt::secondsToNanos(seconds));
    for (int64_t now = clock->monotonicNanos(); now < end; now = clock->monotonicNanos()) {
      device.wait(static_cast<double>(std::min(end, zvt::nextDeadlineAfter(now)) - now) / 1e9);
      letLoadsLand(deadline);
    }
  }
  runUntilIdle(2.0);
}

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const auto& t : texts) out += (out.empty() ? "" : " | ") + t;
  return out.empty() ? "(nothing)" : out;
}

}  // namespace

bool parseScript(const std::string& text, std::vector<ScriptStep>& steps, std::string* error) {
  steps.clear();
  std::istringstream in(text);
  std::string raw;
  int number = 0;
  while (std::getline(in, raw)) {
    ++number;
    const std::string line = trim(raw);
    if (line.empty() || line[0] == '#') continue;
    ScriptStep step;
    std::string problem;
    if (!parseLine(line, number, step, problem)) {
      if (error) *error = "line " + std::to_string(number) + ": " + problem;
      steps.clear();
      return false;
    }
    steps.push_back(std::move(step));
  }
  return true;
}

void runUntilIdle(double limit) {
  auto loop = NSRunLoop::mainRunLoop();
  const double start = realSeconds();
  while (realSeconds() - start < limit) {
    const double before = realSeconds();
    loop->runModeWithin(NSDefaultRunLoopMode, 0.05);
    if (realSeconds() - before >= 0.045) break;
  }
  zvt::ui::Device::shared().settle();
}

ScriptOutcome runScript(const std::vector<ScriptStep>& steps, const ScriptRun& run) {
  auto& device = zvt::ui::Device::shared();
  ScriptOutcome outcome;
  auto say = [&](const std::string& line) {
    if (run.say) run.say(line);
  };
  auto picture = [&](const std::string& name) {
    const std::string path = run.picturesFolder + "/" + name;
    std::shared_ptr<NSError> error;
    if (zvt::ui::writeSnapshot(nullptr, path, &error)) {
      outcome.pictures.push_back(path);
      say("picture: " + path);
      return true;
    }
    say("could not write " + path + ": " + (error ? error->localizedDescription()->utf8() : std::string("no picture")));
    return false;
  };
  auto fail = [&](const ScriptStep& step, const std::string& why) -> ScriptOutcome {
    outcome.passed = false;
    outcome.message = run.name + ":" + std::to_string(step.line) + ": " + why;
    say(outcome.message);
    say("visible: " + joined(device.visibleTexts()));
    picture("failed-line" + std::to_string(step.line) + ".png");
    return outcome;
  };
  // What is on its way (replies, main-queue work) arrives before the next step looks or
  // touches: a reply that landed between a tap's down and up would reload the list under the
  // finger and the tap would be lost.
  auto letArrive = [&] {
    if (onVirtualClock()) {
      runUntilIdle(2.0);
      letLoadsLand(realSeconds() + run.textWait);
    } else {
      device.settle();
    }
  };
  // A text on its way (a reply of the service draws it) gets some real time to appear.
  auto waitUntil = [&](const std::function<bool()>& ready) {
    const double start = realSeconds();
    for (;;) {
      letArrive();
      if (ready()) return true;
      if (realSeconds() - start >= run.textWait) return false;
      NSRunLoop::mainRunLoop()->runModeWithin(NSDefaultRunLoopMode, 0.05);
    }
  };
  auto waitForText = [&](const std::string& text) {
    return waitUntil([&] { return !device.viewsContainingText(text).empty(); });
  };
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  const CGPoint middle = CGPointMake(screen.width / 2, screen.height / 2);
  for (const auto& step : steps) {
    switch (step.kind) {
      case Kind::kTapText: {
        // As a person waits for an overlay (a loading indicator) to go before tapping what lies
        // under it.
        waitUntil([&] { return device.viewToTap(step.text) != nullptr; });
        std::string why;
        if (!device.tapText(step.text, &why)) return fail(step, why);
        break;
      }
      case Kind::kTapPoint:
        letArrive();
        device.tap(step.point);
        break;
      case Kind::kType:
        if (!device.typeText(step.text)) return fail(step, "nothing takes typing");
        break;
      case Kind::kPress:
        if (!(step.text == "return" ? device.pressReturn() : device.pressDelete()))
          return fail(step, "nothing takes the key");
        break;
      case Kind::kSwipe: {
        const double dx = screen.width * 0.3, dy = screen.height * 0.25;
        CGPoint from = middle, to = middle;
        if (step.text == "up") from.y += dy, to.y -= dy;
        if (step.text == "down") from.y -= dy, to.y += dy;
        if (step.text == "left") from.x += dx, to.x -= dx;
        if (step.text == "right") from.x -= dx, to.x += dx;
        device.swipe(from, to);
        break;
      }
      case Kind::kPull: device.drag(CGPointMake(middle.x, 100), CGPointMake(middle.x, 100 + screen.height * 0.4), 0.8); break;
      case Kind::kWait:
        if (onVirtualClock()) {
          waitOnVirtualClock(step.seconds, run.textWait);
        } else {
          device.wait(step.seconds);
        }
        break;
      case Kind::kShot:
        letArrive();
        if (!picture(step.text)) return fail(step, "no picture");
        break;
      case Kind::kExpect: {
        if (!waitForText(step.text)) return fail(step, "expected \"" + step.text + "\" is not on the screen");
        break;
      }
    }
  }
  return outcome;
}

}  // namespace zvt::runner
