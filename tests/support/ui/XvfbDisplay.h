#pragma once
// A private X server for tests that need a display (web views): one Xvfb per test process on a
// free display number, `DISPLAY` pointed at it. It ends when the process exits (and is killed
// with it should the process die).

#include <string>

namespace zvt::test {

// Starts the server on first use; "" when Xvfb cannot start here.
const std::string& privateDisplay();

// For a test that needs the display: nothing when there is one; a skip with the reason outside
// CI, a failure in CI (`CI=true`), where a missing display is a broken machine.
#define ZVT_REQUIRE_DISPLAY()                                                                    \
  do {                                                                                           \
    if (::zvt::test::privateDisplay().empty()) {                                                 \
      if (::zvt::test::inCI()) FAIL() << "Xvfb cannot start (Debian package xvfb)";              \
      GTEST_SKIP() << "no X display for web views here: Xvfb cannot start (Debian package xvfb)"; \
    }                                                                                            \
  } while (0)

bool inCI();

}  // namespace zvt::test
