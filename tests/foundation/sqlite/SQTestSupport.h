#pragma once
// Helpers of the SQLite layer's tests: a scratch directory per test and the log capture.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSString.h"

namespace sqtest {

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zvt-sqlite-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made) path_ = made;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::shared_ptr<NSString> nsFile(const std::string& name) const { return NSString::stringWithUTF8String(file(name)); }

 private:
  std::string path_;
};

// What the layer logs, read back.
using LogCapture = zvt::LogCapture;

inline std::shared_ptr<NSString> ns(const std::string& text) { return NSString::stringWithUTF8String(text); }

}  // namespace sqtest
