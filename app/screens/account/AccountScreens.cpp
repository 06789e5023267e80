#include "app/screens/account/AccountScreens.h"

#include "app/screens/account/MyAccountViewController.h"
#include "app/screens/account/TZAlipaySetupViewController.h"
#include "app/screens/account/PartnerWebLogin.h"
#include "app/screens/account/TZBindingViewController.h"
#include "app/screens/account/TZLoginViewController.h"
#include "app/screens/account/TZPersonalHeaderView.h"
#include "app/screens/account/TZUserInfoView.h"
#include "app/screens/account/UserInfoViewController.h"
#include "app/ui/PlaceholderScreens.h"
#include "app/screens/account/TZOriginalRegisterView.h"
#include "app/screens/account/TZRegisterViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/uikit/UIStoryboard.h"

namespace zvt {

void registerAccountScreens() {
  registerScreenClass("TZLoginViewController", [] { return TZLoginViewController::make(); });
  registerScreenClass("UserInfoViewController", [] { return UserInfoViewController::make(); });
  registerScreenClass("MyAccountViewController", [] { return MyAccountViewController::make(); });
  TZPersonalHeaderView::registerNib();
  TZUserInfoView::registerNib();
  // The change-password storyboard, until its screen arrives: its initial scene stands in.
  ui::registerStoryboard("TZChangePasswordViewController",
                         {"change", {{"change", [](ui::NibBuilder& builder) -> std::shared_ptr<UIViewController> {
                                        return builder.adopt(std::make_shared<PlaceholderScreen>(PlaceholderScreenClass{
                                            "TZChangePasswordViewController", "修改密码", {}}));
                                      }}}});
  registerScreenClass("TZRegisterViewController", [] { return TZRegisterViewController::make(); });
  registerScreenClass("TZBindingViewController", [] { return TZBindingViewController::make(); });
  registerScreenClass("QQWebViewController", [] { return QQWebViewController::make(); });
  registerScreenClass("TaoBaoWebViewLoginController", [] { return TaoBaoWebViewLoginController::make(); });
  account::registerOriginalRegisterNib();
  registerScreenClass("TZAlipaySetupViewController", [] { return TZAlipaySetupViewController::make(); });
}

}  // namespace zvt
