#include "tests/support/ui/XvfbDisplay.h"

#include <cstdlib>
#include <cstring>

#include "platform/xserver/PrivateXServer.h"

namespace zvt::test {

bool inCI() {
  const char* ci = std::getenv("CI");
  return ci && std::strcmp(ci, "true") == 0;
}

const std::string& privateDisplay() {
  // Several test processes start servers at once in a parallel run: five attempts.
  static const zvt::xserver::PrivateXServer server(1024, 1024, 5);
  static const std::string display = [] {
    if (!server.display().empty()) {
      setenv("DISPLAY", server.display().c_str(), 1);
      setenv("GDK_BACKEND", "x11", 1);
      setenv("NO_AT_BRIDGE", "1", 1);
    }
    return server.display();
  }();
  return display;
}

}  // namespace zvt::test
