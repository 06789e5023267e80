#include "app/screens/account/TZAlipaySetupViewController.h"

#include <algorithm>

#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/account/AccountForm.h"
#include "app/screens/account/PasswordTipView.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

void TZAlipaySetupViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setAutomaticallyAdjustsScrollViewInsets(false);
  setTitle("收款支付宝"_ns);
  zvt::account::configGrayReturnPop(controllerSelf());
  configUI();
  observeKeyboardOf(alipaySelf());
}

void TZAlipaySetupViewController::configUI() {
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  alipaySetupView_ = TZAlipaySetupView::initWithFrame(
      CGRectMake(0, 0, std::min(screen.width, screen.height), std::max(screen.width, screen.height)));
  std::shared_ptr<UITextFieldDelegate> delegate = alipaySelf();
  for (const auto& field : {alipaySetupView_->alipayAccount(), alipaySetupView_->alipayRealName(), alipaySetupView_->password()}) {
    if (field) field->setDelegate(delegate);
  }
  keyboardCanHide(alipaySetupView_);
  view()->addSubview(alipaySetupView_);
  std::weak_ptr<TZAlipaySetupViewController> weakSelf = alipaySelf();
  alipaySetupView_->setMyBlock([weakSelf](const id& sender) {
    auto screen = weakSelf.lock();
    auto button = std::dynamic_pointer_cast<UIButton>(sender);
    if (!screen || !button) return;
    if (button->tag() == 101) {
      screen->view()->addSubview(PasswordTipView::initWithFrame(screen->view()->bounds()));
    } else if (button->tag() == 102) {
      screen->missionComplete();
    }
  });
}

void TZAlipaySetupViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
}

void TZAlipaySetupViewController::missionComplete() {
  auto form = alipaySetupView_;
  if (!form || form->isBound() || saving_) return;  // the bound face sends nothing
  auto account = form->alipayAccount()->text();
  auto name = form->alipayRealName()->text();
  auto password = form->password()->text();
  for (const auto& field : {form->alipayAccount(), form->alipayRealName(), form->password()}) field->resignFirstResponder();
  // Only emptiness is checked; the texts go as typed.
  if (account->length() == 0) {
    showWithTitle(nullptr, "请填写支付宝账号"_ns);
    return;
  }
  if (name->length() == 0) {
    showWithTitle(nullptr, "请填写支付宝认证姓名"_ns);
    return;
  }
  if (password->length() == 0) {
    showWithTitle(nullptr, "请填写密码"_ns);
    return;
  }
  showLoadingHud(controllerSelf());
  auto record = AppDelegate::shared()->userInfoDictionary();
  auto parameters = NSMutableDictionary::dictionary();
  if (auto userId = record ? record->objectForKey("id"_ns) : nullptr) parameters->setObject(userId, "id"_ns);
  parameters->setObject(account, "alipay"_ns);
  parameters->setObject(name, "realname"_ns);
  parameters->setObject(password, "password"_ns);
  // The request holds the screen until it has answered: leaving meanwhile still lets a success
  // replace the record (the client does that) and a failure show its alert.
  saving_ = true;
  auto screen = alipaySelf();
  APIClient::bindingAlipayWithParameter(parameters,
                                        zvt::account::popOnSaved(screen, [screen] { screen->saving_ = false; }));
}

void TZAlipaySetupViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  if (!alipaySetupView_) return;
  alipaySetupView_->setKeyBoardH(zvt::account::keyboardEndHeight(notification));
  alipaySetupView_->updateConstraintsIfNeeded();
}

void TZAlipaySetupViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) {
  if (!alipaySetupView_) return;
  alipaySetupView_->setKeyBoardH(0);
  alipaySetupView_->updateConstraintsIfNeeded();
}
