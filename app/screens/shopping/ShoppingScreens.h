#pragma once
// The shopping screens' registration: each screen class of this folder that the shell, the
// routers or another screen create by name is registered here over its placeholder.

namespace zvt {

// Registers the folder's screen classes (main thread; the runner and the tests call it once
// before any screen is made).
void registerShoppingScreens();

}  // namespace zvt
