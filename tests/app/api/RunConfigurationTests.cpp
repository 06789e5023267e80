// The run configuration: the service started the way scripts/run.sh starts it (on the build's
// configured service port, without the control interface) is the server the application reaches
// with its built-in configuration.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "app/api/APIClient.h"
#include "app/core/Configuration.h"
#include "platform/foundation/Foundation.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempHome.h"

namespace {

TEST(RunConfiguration, TheBuiltInServerAddressReachesTheServiceOnTheConfiguredPort) {
  zvt::test::TempHome home;
  zvt::ConfigurationScope scope;
  zvt::Configuration::setValues(zvt::ConfigurationValues{});  // built in: no $ZVT_SERVER_ROOT, no options

  std::unique_ptr<zvt::test::ServiceProcess> service;
  try {
    service = std::make_unique<zvt::test::ServiceProcess>(
        zvt::test::ServiceProcess::Options{.port = ZVT_SERVICE_PORT, .testControl = false});
  } catch (const std::runtime_error& e) {
    // Another run of this test (or a service a person started) holds the port.
    GTEST_SKIP() << "port " << ZVT_SERVICE_PORT << " is taken: " << e.what();
  }

  id time;
  int calls = 0;
  APIClient::getTimeStampOnComplete([&](const id& value, const std::shared_ptr<NSString>&) {
    time = value;
    ++calls;
  });
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return calls > 0; }, 15.0));
  EXPECT_TRUE(time) << "no time stamp from " << zvt::Configuration::serverRoot()->utf8();
}

}  // namespace
