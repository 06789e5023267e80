#include "app/screens/shopping/ShoppingScreens.h"

#include "app/screens/shopping/ActivityZoneViewController.h"
#include "app/screens/shopping/HomeViewController.h"
#include "app/screens/shopping/NewSearchResultViewController.h"
#include "app/screens/shopping/ProductStoreViewController.h"
#include "app/screens/shopping/SearchResultViewController.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/screens/shopping/SearchViewController.h"
#include "app/screens/shopping/SingleProductAdvert.h"
#include "app/screens/shopping/StoreSearchResultViewController.h"
#include "app/screens/shopping/TZNewSearchViewController.h"
#include "app/screens/shopping/TZOrderViewController.h"
#include "app/screens/shopping/TZPublicViewController.h"
#include "app/screens/shopping/TZStrollViewController.h"
#include "app/screens/shopping/ThirdProductStoreViewController.h"
#include "app/screens/shopping/WebDetailViewController.h"
#include "app/ui/ScreenRegistry.h"

namespace zvt {

void registerShoppingScreens() {
  // One line per screen class, in the order the screens arrive.
  registerScreenClass("WebDetailViewController", [] { return std::make_shared<WebDetailViewController>(); });
  registerScreenClass("SearchResultViewController", [] { return std::make_shared<SearchResultViewController>(); });
  registerScreenClass("ActivityZoneViewController", [] { return std::make_shared<ActivityZoneViewController>(); });
  registerScreenClass("TZPublicViewController", [] { return std::make_shared<TZPublicViewController>(); });
  zvt::shopping::registerTaobaoOrderCellNib();
  zvt::shopping::registerStoreOrderCellNib();
  registerScreenClass("TZOrderViewController", [] { return std::make_shared<TZOrderViewController>(); });
  registerScreenClass("HomeViewController", [] { return std::make_shared<HomeViewController>(); });
  // The one-product advert's look, for the home screen and the push router.
  shopping::SingleProductAdvert::registerNib();
  registerScreenClass("ProductStoreViewController", [] { return std::make_shared<ProductStoreViewController>(); });
  search::registerSearchNibs();
  registerScreenClass("TZNewSearchViewController", [] { return std::make_shared<TZNewSearchViewController>(); });
  registerScreenClass("NewSearchResultViewController", [] { return std::make_shared<NewSearchResultViewController>(); });
  registerScreenClass("SearchViewController", [] { return std::make_shared<SearchViewController>(); });
  registerScreenClass("StoreSearchResultViewController", [] { return std::make_shared<StoreSearchResultViewController>(); });
  registerScreenClass("TZStrollViewController", [] { return std::make_shared<TZStrollViewController>(); });
  registerScreenClass("ThirdProductStoreViewController", [] { return std::make_shared<ThirdProductStoreViewController>(); });
}

}  // namespace zvt
