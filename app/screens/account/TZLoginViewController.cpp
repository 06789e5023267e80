#include "app/screens/account/TZLoginViewController.h"

#include "app/api/ZVTAPIClient.h"
#include "app/screens/account/AccountForm.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSValue.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

const zvt::KVCClass* TZLoginViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZLoginViewController>()
                                         .property("isFromRegister", &TZLoginViewController::isFromRegister,
                                                   &TZLoginViewController::setIsFromRegister)
                                         .build();
  return &table;
}

void TZLoginViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("登录"_ns);
  std::weak_ptr<TZLoginViewController> weakSelf = loginSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock()) screen->leave();
  });
  createUI();
  observeKeyboardOf(std::static_pointer_cast<TZLoginViewController>(controllerSelf()));
}

void TZLoginViewController::createUI() {
  loginView_ = TZLoginView::make();
  std::shared_ptr<UITextFieldDelegate> delegate = loginSelf();
  loginView_->userTextField()->setDelegate(delegate);
  loginView_->passwordTextField()->setDelegate(delegate);
  loginView_->setFrame(view()->bounds());
  loginView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  view()->addSubview(loginView_);
  keyboardCanHide(loginView_);
  std::weak_ptr<TZLoginViewController> weakSelf = loginSelf();
  loginView_->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->buttonClick(std::dynamic_pointer_cast<UIButton>(sender));
  });
}

void TZLoginViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::account::appearWithWhiteBar(controllerSelf(), "登录页"_ns);
}

void TZLoginViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  zvt::account::disappearResigningKeyboard("登录页"_ns);
}

void TZLoginViewController::leave() {
  if (isFromRegister_) {
    if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
  } else {
    dismissViewControllerAnimated(true);
  }
}

void TZLoginViewController::pushScreen(const char* name) {
  auto screen = zvt::makeScreen(name);
  auto navigation = navigationController();
  if (!screen || !navigation) return;
  if (std::string(name) == "TZRegisterViewController") {
    screen->setValueForKey(NSNumber::numberWithBool(true), "isFromLogin"_ns);
  }
  navigation->pushViewController(screen, true);
}

void TZLoginViewController::buttonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  switch (sender->tag()) {
    case 0:
      if (!loggingIn_ && loginView_->ruleLogin()) loginAction();
      break;
    case 1:
      pushScreen("TZRetrievePasswordViewController");
      break;
    case 2:
      if (isFromRegister_) {
        if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
      } else {
        pushScreen("TZRegisterViewController");
      }
      break;
    case 4:
      pushScreen("QQWebViewController");
      break;
    case 5:
      pushScreen("TaoBaoWebViewLoginController");
      break;
    default:
      break;
  }
}

void TZLoginViewController::loginAction() {
  if (loggingIn_) return;
  loginView_->passwordTextField()->resignFirstResponder();
  loginView_->userTextField()->resignFirstResponder();
  showLoadingHud(controllerSelf());
  auto parameters = NSDictionary::make({{"password"_ns, loginView_->passwordTextField()->text()},
                                        {"userName"_ns, loginView_->userTextField()->text()}});
  // The completion keeps the screen until the request has ended; it runs once, on every end.
  auto screen = loginSelf();
  loggingIn_ = true;
  // A success leaves `loggingIn_` set: the form has done its work and only closes.
  ZVTAPIClient::loginWith(parameters, [screen](bool success, const std::shared_ptr<NSString>& message) {
    hideHud(screen);
    if (success) {
      if (zvt::isShownScreen(screen)) screen->dismissViewControllerAnimated(true);
    } else {
      screen->loggingIn_ = false;
      showWithTitle(nullptr, message ? message : "登录失败"_ns);
    }
  });
}

void TZLoginViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  auto info = notification ? notification->userInfo() : nullptr;
  auto end = info ? std::dynamic_pointer_cast<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
  loginView_->setKeyboardH(end ? end->CGRectValue().size.height : 0);
  loginView_->setNeedsUpdateConstraints();
  loginView_->updateConstraintsIfNeeded();
}

void TZLoginViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) {
  loginView_->setKeyboardH(0);
  loginView_->setNeedsUpdateConstraints();
  loginView_->updateConstraintsIfNeeded();
}

bool TZLoginViewController::textFieldShouldReturn(const std::shared_ptr<UITextField>& textField) {
  if (textField == loginView_->userTextField()) {
    loginView_->passwordTextField()->becomeFirstResponder();
  } else if (textField == loginView_->passwordTextField()) {
    if (loginView_->loginButton()->isUserInteractionEnabled()) loginAction();
  }
  return true;
}
