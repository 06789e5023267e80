// The classes UIApplicationMain may be asked for by name, and the screens the shell and the
// routers create by name: the application's own delegate under "AppDelegate", the screen folders'
// classes over the placeholders of the screen registry (app/ui/PlaceholderScreens.cpp).

#include "app/core/AppDelegate.h"
#include "app/runner/Runner.h"
#include "app/screens/rewards/RedpacketView.h"
#include "platform/uikit/UIApplicationMain.h"

namespace zvt::runner {

void registerApplicationClasses() {
  zvt::ui::registerApplicationDelegateClass("AppDelegate", [] { return std::make_shared<AppDelegate>(); });
  zvt::registerRewardsScreens();
}

}  // namespace zvt::runner
