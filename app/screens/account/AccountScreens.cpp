#include "app/screens/account/AccountScreens.h"

#include "app/screens/account/TZLoginViewController.h"
#include "app/ui/ScreenRegistry.h"

namespace zvt {

void registerAccountScreens() {
  registerScreenClass("TZLoginViewController", [] { return TZLoginViewController::make(); });
}

}  // namespace zvt
