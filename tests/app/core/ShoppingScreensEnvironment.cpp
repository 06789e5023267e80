// The shopping screens that have arrived (the orders screen...) are real: the routing tests
// find them by class name, so the shopping folder registers them for the whole program.

#include <gtest/gtest.h>

#include "app/screens/shopping/ShoppingScreens.h"

namespace {

class ShoppingScreensEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { zvt::registerShoppingScreens(); }
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ShoppingScreensEnvironment);

}  // namespace
