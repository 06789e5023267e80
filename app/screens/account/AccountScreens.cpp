#include "app/screens/account/AccountScreens.h"

#include "app/screens/account/MyAccountViewController.h"
#include "app/screens/account/TZAlipaySetupViewController.h"
#include "app/screens/account/TZEmailAndQQViewController.h"
#include "app/screens/account/TZPersonalViewController.h"
#include "app/screens/account/TZVerticalPhoneViewController.h"
#include "app/screens/account/PartnerWebLogin.h"
#include "app/screens/account/TZChangePasswordViewController.h"
#include "app/screens/account/TZBindingViewController.h"
#include "app/screens/account/TZLoginViewController.h"
#include "app/screens/account/TZModifyViewController.h"
#include "app/screens/account/TZRetrievePasswordViewController.h"
#include "app/screens/account/TZPersonalHeaderView.h"
#include "app/screens/account/TZUserInfoView.h"
#include "app/screens/account/UserInfoViewController.h"
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
  TZChangePasswordViewController::registerChangePasswordStoryboard();
  registerScreenClass("TZRegisterViewController", [] { return TZRegisterViewController::make(); });
  registerScreenClass("TZBindingViewController", [] { return TZBindingViewController::make(); });
  registerScreenClass("QQWebViewController", [] { return QQWebViewController::make(); });
  registerScreenClass("TaoBaoWebViewLoginController", [] { return TaoBaoWebViewLoginController::make(); });
  account::registerOriginalRegisterNib();
  registerScreenClass("TZAlipaySetupViewController", [] { return TZAlipaySetupViewController::make(); });
  registerScreenClass("TZRetrievePasswordViewController", [] { return TZRetrievePasswordViewController::make(); });
  registerScreenClass("TZModifyViewController", [] { return TZModifyViewController::make(); });
  registerScreenClass("TZPersonalViewController", [] { return TZPersonalViewController::make(); });
  registerScreenClass("TZEmailAndQQViewController", [] { return TZEmailAndQQViewController::make(); });
  registerScreenClass("TZVerticalPhoneViewController", [] { return TZVerticalPhoneViewController::make(); });
}

}  // namespace zvt
