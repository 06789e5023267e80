#pragma once
// Screens by class name. The shell and the routers of the application core create the screens
// of the shopping, account and rewards folders without knowing their classes (those folders lie
// above the core): they ask this registry for a class name ("HomeViewController") and set the
// screen's properties by key-value coding ("flag", "isPush"...), as the original code set them
// after alloc/init.
//
// The registry starts empty: each screen folder registers its classes with registerScreenClass
// from its registration function (the runner calls them all; a test registers what it needs, or
// a stand-in of its own under the same name).

#include <functional>
#include <memory>
#include <string>

#include "platform/uikit/UIViewController.h"

namespace zvt {

using ScreenFactory = std::function<std::shared_ptr<UIViewController>()>;

// Registers (or replaces) the class's factory; nil removes the class. Main thread.
void registerScreenClass(const std::string& name, ScreenFactory factory);
bool isScreenClassRegistered(const std::string& name);
// A new screen of the class (init), or nil for a name nobody registered.
std::shared_ptr<UIViewController> makeScreen(const std::string& name);

}  // namespace zvt
