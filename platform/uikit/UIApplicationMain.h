#pragma once
// The entry into UIKit (UIApplicationMain): the shared application, its delegate made from the
// class named at the call, the launch, and then the main thread handed to the application's
// host for the rest of the process's life, as the system does on the device.
//
// Classes are found by name in a registry of factories (there is no runtime to look them up);
// the executable registers its delegate class before it calls UIApplicationMain. The host is
// what plays the system's part after launch: the desktop window, a headless script, or (by
// default) the main run loop until stopApplication is called.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSString.h"
#include "platform/uikit/UIApplication.h"

// Makes the delegate from the registered class, sets it on the shared application, launches
// (didFinishLaunching, then active) and runs the host; returns the host's exit status. A nil
// or unregistered delegate class name raises NSInvalidArgumentException. The principal class
// name must be nil or "UIApplication".
int UIApplicationMain(int argc, char* argv[], const std::shared_ptr<NSString>& principalClassName,
                      const std::shared_ptr<NSString>& delegateClassName);

namespace zvt::ui {

using ApplicationDelegateFactory = std::function<std::shared_ptr<UIApplicationDelegate>()>;
// Registers (or replaces) the factory of a delegate class.
void registerApplicationDelegateClass(const std::string& name, ApplicationDelegateFactory factory);
bool isApplicationDelegateClassRegistered(const std::string& name);

// Runs the main thread after launch and answers the process's exit status.
using ApplicationHost = std::function<int(const std::shared_ptr<UIApplication>& application)>;
void setApplicationHost(ApplicationHost host);

// Ends the default host's run of the main run loop with the status (any code on the main thread).
void stopApplication(int status);

}  // namespace zvt::ui
