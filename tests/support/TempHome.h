#pragma once
// A fresh sandbox home for one test: a new temporary directory with the standard folders,
// installed as the process's home (and $ZVT_HOME, so child processes share it), with a fresh
// standard user defaults. The destructor restores the previous home and deletes the directory.

#include <string>
#include <string_view>

namespace zvt::test {

class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string pathFor(std::string_view relative) const;

 private:
  std::string path_;
  std::string previous_;  // $ZVT_HOME before, "" when unset
};

// A temporary main bundle directory (with an optional Info.plist written by the test), set
// as the main bundle for its lifetime.
class TempBundle {
 public:
  TempBundle();
  ~TempBundle();
  TempBundle(const TempBundle&) = delete;
  TempBundle& operator=(const TempBundle&) = delete;

  const std::string& path() const { return path_; }
  // Writes a file (making folders) inside the bundle.
  void writeFile(std::string_view relative, std::string_view contents) const;

 private:
  std::string path_;
  std::string previous_;
};

}  // namespace zvt::test
