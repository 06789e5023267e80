#include "platform/foundation/NSPathUtilities.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"

namespace {

std::mutex gHomeMutex;
std::string gHome;         // empty until first asked or set
std::atomic<uint64_t> gGeneration{1};

void makeDirectories(const std::string& path) {
  // mkdir -p, mode 0700: the sandbox is private to the user.
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at == path.size() || path[at] == '/') {
      std::string prefix = path.substr(0, at);
      if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
  }
}

std::string trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string defaultHome() {
  if (const char* env = std::getenv("ZVT_HOME"); env && *env) return trimmed(env);
  if (const char* home = std::getenv("HOME"); home && *home) return trimmed(std::string(home) + "/.zavelto");
  return "/tmp/zavelto-" + std::to_string(::getuid());
}

void createStandardFolders(const std::string& home) {
  for (const char* sub : {"/Documents", "/Library/Caches", "/Library/Preferences", "/tmp"}) makeDirectories(home + sub);
}

}  // namespace

namespace zvt {

void setSandboxHome(const std::string& path) {
  std::lock_guard lock(gHomeMutex);
  if (path.empty()) {
    ::unsetenv("ZVT_HOME");
    gHome.clear();
  } else {
    gHome = trimmed(path);
    ::setenv("ZVT_HOME", gHome.c_str(), 1);
    createStandardFolders(gHome);
  }
  gGeneration.fetch_add(1);
}

std::string sandboxHome() {
  std::lock_guard lock(gHomeMutex);
  if (gHome.empty()) {
    gHome = defaultHome();
    createStandardFolders(gHome);
  }
  return gHome;
}

uint64_t sandboxGeneration() { return gGeneration.load(); }

}  // namespace zvt

std::shared_ptr<NSString> NSHomeDirectory() { return NSString::stringWithUTF8String(std::string_view(zvt::sandboxHome())); }

std::shared_ptr<NSString> NSTemporaryDirectory() {
  return NSString::stringWithUTF8String(std::string_view(zvt::sandboxHome() + "/tmp/"));
}

std::shared_ptr<NSArray> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                             NSSearchPathDomainMask domainMask, bool expandTilde) {
  if (!(domainMask & NSUserDomainMask)) return NSArray::array();
  const char* sub = nullptr;
  switch (directory) {
    case NSDocumentDirectory: sub = "/Documents"; break;
    case NSLibraryDirectory: sub = "/Library"; break;
    case NSCachesDirectory: sub = "/Library/Caches"; break;
    case NSApplicationSupportDirectory: sub = "/Library/Application Support"; break;
    default: return NSArray::array();
  }
  std::string path = (expandTilde ? zvt::sandboxHome() : std::string("~")) + sub;
  auto text = NSString::stringWithUTF8String(std::string_view(path));
  return text ? NSArray::arrayWithObject(text) : NSArray::array();
}
