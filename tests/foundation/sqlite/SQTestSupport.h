#pragma once
// Helpers of the SQLite layer's tests: a scratch directory per test and a capture of what the
// layer logs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/sqlite/SQLog.h"
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

// Collects every line the layer logs while it lives.
class LogCapture {
 public:
  LogCapture() {
    previous_ = zvt::setSQLogHandler([this](std::string_view line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.emplace_back(line);
    });
  }
  ~LogCapture() { zvt::setSQLogHandler(std::move(previous_)); }

  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  bool contains(const std::string& fragment) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& line : lines_) {
      if (line.find(fragment) != std::string::npos) return true;
    }
    return false;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  zvt::SQLogHandler previous_;
};

inline std::shared_ptr<NSString> ns(const std::string& text) { return NSString::stringWithUTF8String(text); }

}  // namespace sqtest
