#include "tests/support/TempHome.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSUserDefaults.h"

namespace zvt::test {
namespace {

std::string makeTempDirectory(const char* prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    ADD_FAILURE() << "cannot create a temporary directory from " << pattern;
    return {};
  }
  return pattern;
}

std::string currentEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

}  // namespace

TempHome::TempHome() : path_(makeTempDirectory("zvt-home-")), previous_(currentEnv("ZVT_HOME")) {
  zvt::setSandboxHome(path_);
  NSUserDefaults::resetStandardUserDefaults();
}

TempHome::~TempHome() {
  zvt::setSandboxHome(previous_);
  NSUserDefaults::resetStandardUserDefaults();
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string TempHome::pathFor(std::string_view relative) const { return path_ + "/" + std::string(relative); }

TempBundle::TempBundle() : path_(makeTempDirectory("zvt-bundle-")), previous_(currentEnv("ZVT_BUNDLE")) {
  zvt::setMainBundlePath(path_);
  NSUserDefaults::resetStandardUserDefaults();
}

TempBundle::~TempBundle() {
  zvt::setMainBundlePath(previous_);
  NSUserDefaults::resetStandardUserDefaults();
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

void TempBundle::writeFile(std::string_view relative, std::string_view contents) const {
  std::filesystem::path file = std::filesystem::path(path_) / std::string(relative);
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), std::streamsize(contents.size()));
}

}  // namespace zvt::test
