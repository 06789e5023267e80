#include "platform/uikit/UIApplicationMain.h"

#include <map>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/uikit/DisplayCycle.h"
#include "platform/uikit/UIKitMainThread.h"

namespace zvt::ui {

namespace {

std::map<std::string, ApplicationDelegateFactory>& registry() {
  static auto* classes = new std::map<std::string, ApplicationDelegateFactory>();
  return *classes;
}

ApplicationHost& host() {
  static auto* h = new ApplicationHost();
  return *h;
}

bool stopRequested = false;
int stopStatus = 0;

int runUntilStopped(const std::shared_ptr<UIApplication>&) {
  auto loop = NSRunLoop::mainRunLoop();
  while (!stopRequested) loop->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);
  stopRequested = false;
  return stopStatus;
}

}  // namespace

void registerApplicationDelegateClass(const std::string& name, ApplicationDelegateFactory factory) {
  registry()[name] = std::move(factory);
}

bool isApplicationDelegateClassRegistered(const std::string& name) { return registry().count(name) > 0; }

void setApplicationHost(ApplicationHost h) { host() = std::move(h); }

void stopApplication(int status) {
  assertMainThread("zvt::ui::stopApplication");
  stopRequested = true;
  stopStatus = status;
  NSRunLoop::mainRunLoop()->stop();
}

}  // namespace zvt::ui

int UIApplicationMain(int /*argc*/, char* /*argv*/[], const std::shared_ptr<NSString>& principalClassName,
                      const std::shared_ptr<NSString>& delegateClassName) {
  zvt::ui::assertMainThread("UIApplicationMain");
  if (principalClassName && principalClassName->utf8() != "UIApplication")
    zvt::raise(NSInvalidArgumentException, "Unable to instantiate the UIApplication subclass instance. No class named " +
                                               principalClassName->utf8() + " is loaded.");
  auto& classes = zvt::ui::registry();
  auto it = delegateClassName ? classes.find(delegateClassName->utf8()) : classes.end();
  if (it == classes.end())
    zvt::raise(NSInvalidArgumentException, "Unable to instantiate the UIApplication delegate instance. No class named " +
                                               (delegateClassName ? delegateClassName->utf8() : std::string("(null)")) +
                                               " is loaded.");
  auto application = UIApplication::sharedApplication();
  application->setDelegate(it->second());
  zvt::ui::installDisplayCycle();
  application->launchWithOptions(nullptr);
  auto& run = zvt::ui::host();
  return run ? run(application) : zvt::ui::runUntilStopped(application);
}
