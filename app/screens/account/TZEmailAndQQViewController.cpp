#include "app/screens/account/TZEmailAndQQViewController.h"

#include <algorithm>

#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/account/AccountForm.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "app/utilities/ZVTFunction.h"
#include "platform/foundation/Dispatch.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

void TZEmailAndQQViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  zvt::account::configGrayReturnPop(controllerSelf());
  configUI();
  observeKeyboardOf(emailSelf());
}

std::shared_ptr<NSString> TZEmailAndQQViewController::emailOnFile() const {
  return userInfoModel_ ? zvt::account::presentRecordText(userInfoModel_->email) : nullptr;
}

void TZEmailAndQQViewController::configUI() {
  setTitle("信息填写"_ns);
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  emailSetupView_ = TZEmailSetupView::initWithFrame(
      CGRectMake(0, 0, std::min(screen.width, screen.height), std::max(screen.width, screen.height)));
  std::shared_ptr<UITextFieldDelegate> delegate = emailSelf();
  emailSetupView_->emailTextField()->setDelegate(delegate);
  emailSetupView_->QQTextField()->setDelegate(delegate);
  if (auto email = emailOnFile()) emailSetupView_->emailTextField()->setText(email);
  if (auto qq = userInfoModel_ ? zvt::account::recordText(userInfoModel_->qq) : nullptr) {
    emailSetupView_->QQTextField()->setText(qq);
  }
  keyboardCanHide(emailSetupView_);
  view()->addSubview(emailSetupView_);
  std::weak_ptr<TZEmailAndQQViewController> weakSelf = emailSelf();
  emailSetupView_->setMyBlock([weakSelf](const id&) {
    if (auto screen = weakSelf.lock()) screen->missionComplete();
  });
}

void TZEmailAndQQViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
}

bool TZEmailAndQQViewController::textFieldShouldBeginEditing(const std::shared_ptr<UITextField>& textField) {
  if (emailSetupView_ && textField == emailSetupView_->emailTextField() && emailOnFile()) {
    showTipHudWithText(controllerSelf(), "已填入的邮箱不可修改"_ns);
    return false;
  }
  return true;
}

bool TZEmailAndQQViewController::theRuleToSaveInfo() {
  auto email = emailSetupView_->emailTextField()->text();
  auto qq = emailSetupView_->QQTextField()->text();
  const char* tip = email->length() == 0                   ? "邮箱未填写"
                    : qq->length() == 0                    ? "QQ未填写"
                    : !ZVTFunction::validateEmail(email)   ? "邮箱格式不对"
                    : !ZVTFunction::validateQQNumber(qq)   ? "QQ格式不对"
                                                           : nullptr;
  if (!tip) return true;
  showTipHudWithText(controllerSelf(), NSString::stringWithUTF8String(tip));
  return false;
}

void TZEmailAndQQViewController::missionComplete() {
  auto form = emailSetupView_;
  if (!form || saving_) return;
  form->emailTextField()->resignFirstResponder();
  form->QQTextField()->resignFirstResponder();
  auto qq = form->QQTextField()->text();
  auto parameters = NSMutableDictionary::dictionary();
  auto record = AppDelegate::shared()->userInfoDictionary();
  // Without a user id the request goes without one; the service's refusal is then shown.
  if (id userId = record ? record->objectForKey("id"_ns) : nullptr) parameters->setObject(userId, "id"_ns);
  if (emailOnFile()) {
    const char* tip = qq->length() == 0 ? "QQ未填写" : !ZVTFunction::validateQQNumber(qq) ? "QQ格式不对" : nullptr;
    if (tip) {
      showTipHudWithText(controllerSelf(), NSString::stringWithUTF8String(tip));
      return;
    }
  } else {
    if (!theRuleToSaveInfo()) return;
    parameters->setObject(form->emailTextField()->text(), "email"_ns);
  }
  parameters->setObject(qq, "qq"_ns);
  showLoadingHud(controllerSelf());
  saving_ = true;
  auto screen = emailSelf();
  APIClient::updateUserinfoWithParameter(parameters,
                                         zvt::account::popOnSaved(screen, [screen] { screen->saving_ = false; }));
}

void TZEmailAndQQViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  if (!emailSetupView_) return;
  emailSetupView_->setKeyBoardH(zvt::account::keyboardEndHeight(notification));
  emailSetupView_->setNeedsUpdateConstraints();
  emailSetupView_->updateConstraintsIfNeeded();
}

void TZEmailAndQQViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) {
  if (!emailSetupView_) return;
  emailSetupView_->setKeyBoardH(0);
  emailSetupView_->setNeedsUpdateConstraints();
  emailSetupView_->updateConstraintsIfNeeded();
}
