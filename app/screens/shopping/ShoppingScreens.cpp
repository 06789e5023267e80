#include "app/screens/shopping/ShoppingScreens.h"

#include "app/ui/ScreenRegistry.h"

namespace zvt {

void registerShoppingScreens() {
  // One line per screen class, in the order the screens arrive.
}

}  // namespace zvt
