// Entry point of every test executable (a test folder that brings its own main() keeps it:
// this object is only taken from the archive when nothing else defines main).
// The tests run on the process's main thread, which is therefore the thread of the main run
// loop and of the main dispatch queue, as in the application.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Death tests fork; "threadsafe" re-executes the binary so that the child does not inherit
  // the dispatch pool's threads in an undefined state.
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  return RUN_ALL_TESTS();
}
