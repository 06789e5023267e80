#include "tests/app/screens/shopping/ShoppingTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/TempHome.h"

namespace zvt::test {

namespace {

class ShoppingEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { home = std::make_unique<TempHome>(); }
  void TearDown() override {
    service.reset();
    home.reset();
  }
  std::unique_ptr<TempHome> home;
  std::unique_ptr<ServiceProcess> service;
};

ShoppingEnvironment* const kEnvironment =
    static_cast<ShoppingEnvironment*>(::testing::AddGlobalTestEnvironment(new ShoppingEnvironment));

}  // namespace

ServiceProcess& shoppingService() {
  if (!kEnvironment->service) kEnvironment->service = std::make_unique<ServiceProcess>();
  return *kEnvironment->service;
}

std::string serviceURL(const std::string& path) { return shoppingService().rootURL() + path; }

}  // namespace zvt::test
