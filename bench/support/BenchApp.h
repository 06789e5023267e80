#pragma once
// The application as the benchmarks of its screens set it up, against the local service on the
// loopback: a sandbox home, the service (a process of its own), the configuration pointed at it,
// the 375 x 667 screen, the application delegate, the screens the benchmark opens, the demo
// user logged in through the API client (when asked), a key window with a navigation stack, and
// the virtual clock the benchmark moves on. All of it is set-up, made before anything is timed.
//
// The application is never torn down (its objects would outlive the statics they use); its
// service and home go when the program ends (bench/support/ProgramEnd.h). A benchmark program
// includes this header where its target defines ZVT_BUNDLE_ROOT and links the application's
// screens and zvt_testsupport.

#include <filesystem>
#include <functional>
#include <memory>
#include <system_error>

#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "bench/support/ProgramEnd.h"
#include "platform/foundation/NSBundle.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempHome.h"

namespace zvt::bench {

// What the set-up makes; a benchmark's own application derives from it to keep more.
struct BenchApp {
  std::unique_ptr<zvt::test::TempHome> home;
  std::unique_ptr<zvt::test::ServiceProcess> service;
  std::unique_ptr<zvt::ConfigurationScope> config;
  std::unique_ptr<zvt::test::VirtualClockScope> clock;
  std::shared_ptr<AppDelegate> delegate;
  std::shared_ptr<UIWindow> window;
  std::shared_ptr<UINavigationController> navigation;
};

struct BenchAppSetup {
  zvt::test::ServiceProcess::Options service{};
  // Registers the screens the benchmark opens; called once the delegate is shared.
  std::function<void()> registerScreens{};
  // The demo user (zvttest) logged in before the window is made.
  bool logIn = true;
};

// Sets `app` up as above; call it once, from the main thread, on an application that is never
// destroyed.
inline void setUpBenchApp(BenchApp& app, const BenchAppSetup& setup) {
  app.home = std::make_unique<zvt::test::TempHome>();
  app.service = std::make_unique<zvt::test::ServiceProcess>(setup.service);
  BenchApp* made = &app;
  atProgramEnd([made] {
    made->service.reset();
    std::error_code ec;
    std::filesystem::remove_all(made->home->path(), ec);
  });
  zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
  app.config = std::make_unique<zvt::ConfigurationScope>();
  zvt::Configuration::setServerRoot(app.service->rootURL());
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  app.delegate = std::make_shared<AppDelegate>();
  AppDelegate::setShared(app.delegate);
  if (setup.registerScreens) setup.registerScreens();
  if (setup.logIn) {
    bool done = false;
    ZVTAPIClient::loginWith(
        NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(zvt::test::kServiceTestUserName)},
                            {"password"_ns, NSString::stringWithUTF8String(zvt::test::kServiceTestUserPassword)}}),
        [&](bool, const std::shared_ptr<NSString>&) { done = true; });
    zvt::test::runMainLoopUntil([&] { return done; }, 15);
  }
  app.window = UIWindow::make();
  app.navigation = UINavigationController::initWithRootViewController(UIViewController::make());
  app.window->setRootViewController(app.navigation);
  app.window->makeKeyAndVisible();
  app.clock = std::make_unique<zvt::test::VirtualClockScope>();
}

}  // namespace zvt::bench
