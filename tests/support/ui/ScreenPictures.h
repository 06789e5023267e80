// Pictures of the screen for tests of screens: what a failing test showed, written where a
// person reading the test's log finds it.
#pragma once

#include <string>

namespace zvt::test {

// The folder pictures go to: $ZVT_TEST_PICTURES, else "test-pictures" in the working folder
// (the test's build folder under CTest).
std::string picturesFolder();

// Writes the picture of the screen now to "<folder>/<name>.png" and answers the path ("" when
// nothing could be written).
std::string writeScreenPicture(const std::string& name);

// Held by a screen test (or the fixture it uses): when the test has failed by the time the
// holder goes away, the screen's picture is written as "<Suite>.<Test>.png" (and, when the
// test shows more than one window, one picture per window beside it), and the paths are
// printed with the test's output.
class PicturesOnFailure {
 public:
  PicturesOnFailure() = default;
  ~PicturesOnFailure() { writeIfFailed(); }
  // Writes the pictures now when the test has failed so far (once); for holders that take the
  // screen apart before they go away.
  void writeIfFailed();
  PicturesOnFailure(const PicturesOnFailure&) = delete;
  PicturesOnFailure& operator=(const PicturesOnFailure&) = delete;

 private:
  bool written_ = false;
};

}  // namespace zvt::test
