#include "app/screens/account/TZRegisterViewController.h"

#include "app/api/APIClient.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
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

const zvt::KVCClass* TZRegisterViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZRegisterViewController>()
                                         .property("isFromLogin", &TZRegisterViewController::isFromLogin,
                                                   &TZRegisterViewController::setIsFromLogin)
                                         .build();
  return &table;
}

void TZRegisterViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("注 册"_ns);
  configUI();
  std::weak_ptr<TZRegisterViewController> weakSelf = registerSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock()) screen->leave();
  });
  observeKeyboardOf(std::static_pointer_cast<TZRegisterViewController>(controllerSelf()));
}

void TZRegisterViewController::configUI() {
  auto regMethod = AppDelegate::shared()->regMethod();
  std::shared_ptr<UITextFieldDelegate> delegate = registerSelf();
  std::shared_ptr<ParentView> form;
  if (regMethod && regMethod->isEqualToString("1"_ns)) {
    originalRegisterView_ = loadFromNib<TZOriginalRegisterView>();
    if (!originalRegisterView_) return;
    for (const auto& field : {originalRegisterView_->emailTextField(), originalRegisterView_->passwordTextField(),
                              originalRegisterView_->againPasswordTextField(), originalRegisterView_->verticalTextField()}) {
      field->setDelegate(delegate);
    }
    form = originalRegisterView_;
  } else {
    registerView_ = TZRegisterView::make();
    for (const auto& field :
         {registerView_->phoneTextField(), registerView_->verticalTextField(), registerView_->passwordTextField()}) {
      field->setDelegate(delegate);
    }
    form = registerView_;
  }
  form->setFrame(view()->bounds());
  form->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  view()->addSubview(form);
  keyboardCanHide(form);
  std::weak_ptr<TZRegisterViewController> weakSelf = registerSelf();
  form->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->buttonAction(std::dynamic_pointer_cast<UIButton>(sender));
  });
}

void TZRegisterViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::account::appearWithWhiteBar(controllerSelf(), "注册页"_ns);
}

void TZRegisterViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  zvt::account::disappearResigningKeyboard("注册页"_ns);
}

void TZRegisterViewController::leave() {
  if (isFromLogin_) {
    if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
  } else {
    dismissViewControllerAnimated(true);
  }
}

void TZRegisterViewController::pushScreen(const char* name, bool fromRegister) {
  auto screen = zvt::makeScreen(name);
  auto navigation = navigationController();
  if (!screen || !navigation) return;
  if (fromRegister) screen->setValueForKey(NSNumber::numberWithBool(true), "isFromRegister"_ns);
  navigation->pushViewController(screen, true);
}

void TZRegisterViewController::buttonAction(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  const NSInteger tag = sender->tag();
  if (registerView_) {
    switch (tag) {
      case 0:
        requestCode();
        break;
      case 1:
        registerAction();
        break;
      case 2:
        pushScreen("TaoBaoWebViewLoginController");
        break;
      default:
        break;
    }
    return;
  }
  switch (tag) {
    case 1:
      registerAction();
      break;
    case 2:
      if (isFromLogin_) {
        if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
      } else {
        pushScreen("TZLoginViewController", true);
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

void TZRegisterViewController::requestCode() {
  std::weak_ptr<TZRegisterView> form = registerView_;
  zvt::account::requestRegisterCode(controllerSelf(), registerView_->phoneTextField()->text(), codeRequestPending_, [form] {
    if (auto shown = form.lock()) shown->startCountDown();
  });
}

void TZRegisterViewController::registerAction() {
  if (registering_) return;
  auto screen = registerSelf();
  if (registerView_) {
    if (!registerView_->ruleRegister()) return;
    registerView_->phoneTextField()->resignFirstResponder();
    registerView_->verticalTextField()->resignFirstResponder();
    registerView_->passwordTextField()->resignFirstResponder();
    showLoadingHud(controllerSelf());
    auto parameters = NSMutableDictionary::dictionary();
    parameters->setObject(registerView_->phoneTextField()->text(), "phoneNumber"_ns);
    parameters->setObject(registerView_->verticalTextField()->text(), "verifyCode"_ns);
    parameters->setObject(registerView_->passwordTextField()->text(), "password"_ns);
    // A success leaves `registering_` set (in both modes): the form has done its work and only
    // closes, while it is shown.
    registering_ = true;
    APIClient::registerWithParameter(parameters, [screen](bool success, NSInteger code,
                                                          const std::shared_ptr<NSString>& message) {
      hideHud(screen);
      if (success) {
        screen->registerView_->endCountDown();
        if (zvt::isShownScreen(screen)) screen->dismissViewControllerAnimated(true);
        return;
      }
      screen->registering_ = false;
      if (code == 304) screen->registerView_->endCountDown();
      showWithTitle(nullptr, message ? message : "注册失败"_ns);
    });
    return;
  }
  if (!originalRegisterView_ || !originalRegisterView_->ruleRegist()) return;
  showLoadingHud(controllerSelf());
  auto parameters = NSMutableDictionary::dictionary();
  parameters->setObject(originalRegisterView_->passwordTextField()->text(), "password"_ns);
  parameters->setObject(originalRegisterView_->emailTextField()->text(), "userName"_ns);
  registering_ = true;
  ZVTAPIClient::registerWith(parameters, [screen](bool success, const std::shared_ptr<NSString>& message) {
    hideHud(screen);
    if (success) {
      if (zvt::isShownScreen(screen)) screen->dismissViewControllerAnimated(true);
    } else {
      screen->registering_ = false;
      showWithTitle(nullptr, message ? message : "注册失败"_ns);
    }
  });
}

void TZRegisterViewController::setKeyboardHeight(double height) {
  std::shared_ptr<UIView> form;
  if (registerView_) {
    registerView_->setKeyBoardH(height);
    form = registerView_;
  } else if (originalRegisterView_) {
    originalRegisterView_->setKeyBoardH(height);
    form = originalRegisterView_;
  }
  if (!form) return;
  form->setNeedsUpdateConstraints();
  form->updateConstraintsIfNeeded();
}

void TZRegisterViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  auto info = notification ? notification->userInfo() : nullptr;
  auto end = info ? std::dynamic_pointer_cast<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
  setKeyboardHeight(end ? end->CGRectValue().size.height : 0);
}

void TZRegisterViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) { setKeyboardHeight(0); }

bool TZRegisterViewController::textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField,
                                                                      NSRange range,
                                                                      const std::shared_ptr<NSString>& string) {
  if (registerView_) {
    if (textField == registerView_->phoneTextField()) {
      return limitLengthWithExpectLength(textField, 11, textField->text(), range, string);
    }
    return true;
  }
  if (auto form = originalRegisterView_) {
    // The texts as they stand before this edit: the button lights with the keystroke after.
    const bool ready = form->emailTextField()->text()->length() > 0 && form->passwordTextField()->text()->length() >= 5 &&
                       form->againPasswordTextField()->text()->length() >= 5 &&
                       form->verticalTextField()->text()->length() >= 3;
    zvt::account::setMainButtonEnabled(form->registerButton(), ready);
  }
  return true;
}

bool TZRegisterViewController::textFieldShouldClear(const std::shared_ptr<UITextField>&) {
  if (originalRegisterView_) zvt::account::setMainButtonEnabled(originalRegisterView_->registerButton(), false);
  return true;
}

bool TZRegisterViewController::textFieldShouldReturn(const std::shared_ptr<UITextField>& textField) {
  if (auto form = registerView_) {
    if (textField == form->phoneTextField()) {
      form->verticalTextField()->becomeFirstResponder();
    } else if (textField == form->verticalTextField()) {
      form->passwordTextField()->becomeFirstResponder();
    } else if (textField == form->passwordTextField()) {
      if (form->registerButton()->isUserInteractionEnabled()) registerAction();
    }
    return true;
  }
  if (auto form = originalRegisterView_) {
    if (textField == form->emailTextField()) {
      form->passwordTextField()->becomeFirstResponder();
    } else if (textField == form->passwordTextField()) {
      form->againPasswordTextField()->becomeFirstResponder();
    } else if (textField == form->againPasswordTextField()) {
      form->verticalTextField()->becomeFirstResponder();
    } else if (textField == form->verticalTextField()) {
      if (form->registerButton()->isUserInteractionEnabled()) registerAction();
    }
  }
  return true;
}
