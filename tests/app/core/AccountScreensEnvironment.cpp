// The login gate and the fifth tab's root are real screens: the routing and shell tests find
// them by class name, so the account folder registers them for the whole program.

#include <gtest/gtest.h>

#include "app/screens/account/AccountScreens.h"

namespace {

class AccountScreensEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { zvt::registerAccountScreens(); }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new AccountScreensEnvironment);

}  // namespace
