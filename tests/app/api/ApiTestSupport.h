#pragma once
// A fixture for the server clients: one zavelto-service for the test suite (reset before each
// test), a fresh sandbox home and delegate per test, the configuration pointed at the service,
// and login-session steps that record what the clients hand over.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/api/ZVTLoginSession.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/Foundation.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempHome.h"

namespace zvt::test {

struct AliasCall {
  std::string alias;
  std::optional<ZVTSessionClient> callback;
};

class ClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { service_ = std::make_unique<ServiceProcess>(); }
  static void TearDownTestSuite() { service_.reset(); }

  void SetUp() override {
    if (!service_->running()) service_->start();
    service_->reset(true);
    home_ = std::make_unique<TempHome>();
    config_ = std::make_unique<ConfigurationScope>();
    Configuration::setServerRoot(service_->rootURL());
    AppDelegate::setShared(nullptr);
    installs_.clear();
    fails_.clear();
    aliases_.clear();
    auto defaults = ZVTLoginSession::defaultHooks();
    ZVTSessionHooks hooks;
    hooks.install = [this, defaults](const ZVTSessionInstall& install) {
      installs_.push_back(install);
      defaults.install(install);
    };
    hooks.failLogin = [this, defaults](ZVTSessionClient client) {
      fails_.push_back(client);
      defaults.failLogin(client);
    };
    hooks.setAlias = [this](const std::shared_ptr<NSString>& alias, std::optional<ZVTSessionClient> callback) {
      aliases_.push_back({alias ? alias->utf8() : "(nil)", callback});
    };
    ZVTLoginSession::setHooks(hooks);
  }

  void TearDown() override {
    ZVTLoginSession::setHooks(ZVTLoginSession::defaultHooks());
    drainMainLoop();
    AppDelegate::setShared(nullptr);
    config_.reset();
    home_.reset();
  }

  ServiceProcess& service() { return *service_; }

  // Runs the main loop until `calls` reaches 1, then a little longer to catch a second call.
  static void waitForOne(const int& calls, double timeout = 15.0) {
    ASSERT_TRUE(runMainLoopUntil([&] { return calls > 0; }, timeout)) << "no completion";
    runMainLoopUntil([] { return false; }, 0.05);
    EXPECT_EQ(calls, 1) << "completion called more than once";
  }

  // The decoded log entries of an operation, as text.
  std::string logOf(const std::string& op) { return service_->requestLog(op); }

  static std::shared_ptr<NSString> str(std::string_view text) { return NSString::stringWithUTF8String(text); }
  static std::string text(const id& value) { return value ? value->description()->utf8() : "(nil)"; }

  static std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<TempHome> home_;
  std::unique_ptr<ConfigurationScope> config_;
  std::vector<ZVTSessionInstall> installs_;
  std::vector<ZVTSessionClient> fails_;
  std::vector<AliasCall> aliases_;
};

inline std::unique_ptr<ServiceProcess> ClientTest::service_;

// The service's request log (a JSON array of decoded requests) as objects.
inline std::shared_ptr<NSArray> entries(const std::string& json) {
  return as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(json)));
}

// The newest logged request of an operation, on any interface unless one is named.
inline std::shared_ptr<NSDictionary> lastEntry(ServiceProcess& service, const std::string& op, const std::string& iface = "") {
  auto list = entries(service.requestLog(op, iface));
  if (!list || list->count() == 0) return nullptr;
  return as<NSDictionary>(list->lastObject());
}

// A value of a log entry by key path, as text ("(nil)" when absent).
inline std::string at(const std::shared_ptr<NSDictionary>& dict, const char* path) {
  if (!dict) return "(nil)";
  id value = dict->valueForKeyPath(NSString::stringWithUTF8String(path));
  return value ? value->description()->utf8() : "(nil)";
}

}  // namespace zvt::test
