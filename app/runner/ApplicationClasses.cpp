// The classes UIApplicationMain may be asked for by name, and the screens the shell and the
// routers create by name: the application's own delegate under "AppDelegate", the screen folders'
// classes in the screen registry (app/ui/ScreenRegistry.h). The
// navigation controllers' extensions (back swipe from anywhere, bar transitions) go in first,
// before any controller is made.

#include "app/core/AppDelegate.h"
#include "app/runner/Runner.h"
#include "app/screens/account/AccountScreens.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/screens/shopping/ShoppingScreens.h"
#include "platform/uikit/UIApplicationMain.h"
#include "ui/navigation/UINavigationController+NBNavigationBarTransition.h"

namespace zvt::runner {

void registerApplicationClasses() {
  zvt::ui::installNavigationExtensions();
  zvt::ui::registerApplicationDelegateClass("AppDelegate", [] { return std::make_shared<AppDelegate>(); });
  zvt::registerShoppingScreens();
  zvt::registerRewardsScreens();
  zvt::registerAccountScreens();
}

}  // namespace zvt::runner
