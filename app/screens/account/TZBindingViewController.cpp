#include "app/screens/account/TZBindingViewController.h"

#include "app/api/APIClient.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/account/AccountForm.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSValue.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

const zvt::KVCClass* TZBindingViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZBindingViewController>()
                                         .property("userInfo", &TZBindingViewController::userInfo,
                                                   &TZBindingViewController::setUserInfo)
                                         .build();
  return &table;
}

void TZBindingViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  configUI();
  std::weak_ptr<TZBindingViewController> weakSelf = bindingSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    auto navigation = screen ? screen->navigationController() : nullptr;
    if (navigation) navigation->popViewControllerAnimated(true);
  });
  observeKeyboardOf(std::static_pointer_cast<TZBindingViewController>(controllerSelf()));
}

void TZBindingViewController::configUI() {
  auto regMethod = AppDelegate::shared()->regMethod();
  std::shared_ptr<UITextFieldDelegate> delegate = bindingSelf();
  std::shared_ptr<ParentView> form;
  if (regMethod && regMethod->isEqualToString("2"_ns)) {
    setTitle("验证手机"_ns);
    bindingPhoneView_ = TZBindingPhoneView::make();
    for (const auto& field : {bindingPhoneView_->phoneTextField(), bindingPhoneView_->verticalTextField(),
                              bindingPhoneView_->passwordTextField()}) {
      field->setDelegate(delegate);
    }
    keyboardCanHide(bindingPhoneView_);
    form = bindingPhoneView_;
  } else {
    setTitle("完成注册"_ns);
    bindingEmailView_ = TZBindingEmailView::make();
    bindingEmailView_->passwordTextField()->setDelegate(delegate);
    bindingEmailView_->emailTextField()->setDelegate(delegate);
    form = bindingEmailView_;
  }
  form->setFrame(view()->bounds());
  form->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  view()->addSubview(form);
  std::weak_ptr<TZBindingViewController> weakSelf = bindingSelf();
  form->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->buttonAction(std::dynamic_pointer_cast<UIButton>(sender));
  });
}

void TZBindingViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::account::appearWithWhiteBar(controllerSelf(), "绑定手机页"_ns);
}

void TZBindingViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  zvt::account::disappearResigningKeyboard("绑定手机页"_ns);
}

id TZBindingViewController::partnerValue(const char* key) const {
  return userInfo_ ? userInfo_->objectForKey(NSString::stringWithUTF8String(key)) : nullptr;
}

void TZBindingViewController::buttonAction(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  if (bindingEmailView_) {
    emailRegister();
    return;
  }
  if (!bindingPhoneView_) return;
  if (sender->tag() == 0) {
    std::weak_ptr<TZBindingPhoneView> form = bindingPhoneView_;
    zvt::account::requestRegisterCode(controllerSelf(), bindingPhoneView_->phoneTextField()->text(),
                                      codeRequestPending_, [form] {
                                        if (auto shown = form.lock()) shown->startCountDown();
                                      });
  } else if (sender->tag() == 1) {
    phoneRegister();
  }
}

void TZBindingViewController::phoneRegister() {
  if (registering_) return;
  auto form = bindingPhoneView_;
  form->phoneTextField()->resignFirstResponder();
  form->verticalTextField()->resignFirstResponder();
  form->passwordTextField()->resignFirstResponder();
  showLoadingHud(controllerSelf());
  auto parameters = NSMutableDictionary::dictionary();
  // A value the partner login did not hand over is left out rather than sent as nil.
  if (auto webId = partnerValue("webId")) parameters->setObject(webId, "webId"_ns);
  if (auto web = partnerValue("web")) parameters->setObject(web, "web"_ns);
  parameters->setObject(form->phoneTextField()->text(), "phoneNumber"_ns);
  parameters->setObject(form->verticalTextField()->text(), "verifyCode"_ns);
  parameters->setObject(form->passwordTextField()->text(), "password"_ns);
  auto screen = bindingSelf();
  // A success leaves `registering_` set (in both modes): the form has done its work and only
  // closes the login stack, while it is shown.
  registering_ = true;
  APIClient::registerWithParameter(parameters, [screen, form](bool success, NSInteger code,
                                                              const std::shared_ptr<NSString>& message) {
    hideHud(screen);
    if (success) {
      form->endCountDown();
      if (zvt::isShownScreen(screen)) screen->dismissViewControllerAnimated(true);
      return;
    }
    screen->registering_ = false;
    if (code == 304) form->endCountDown();
    showWithTitle(nullptr, message ? message : "验证失败"_ns);
  });
}

void TZBindingViewController::emailRegister() {
  if (registering_) return;
  auto form = bindingEmailView_;
  form->emailTextField()->resignFirstResponder();
  form->passwordTextField()->resignFirstResponder();
  auto parameters = NSMutableDictionary::dictionary();
  for (const char* key : {"newVer", "webId", "web"}) {
    if (auto value = partnerValue(key)) parameters->setObject(value, NSString::stringWithUTF8String(key));
  }
  parameters->setObject(form->emailTextField()->text(), "userName"_ns);
  parameters->setObject(form->passwordTextField()->text(), "password"_ns);
  showLoadingHud(controllerSelf());
  auto screen = bindingSelf();
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

void TZBindingViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  if (!bindingPhoneView_) return;
  auto info = notification ? notification->userInfo() : nullptr;
  auto end = info ? std::dynamic_pointer_cast<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
  bindingPhoneView_->setKeyBoardH(end ? end->CGRectValue().size.height : 0);
}

void TZBindingViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) {
  if (bindingPhoneView_) bindingPhoneView_->setKeyBoardH(0);
}

void TZBindingViewController::lightFinishButton(const std::shared_ptr<UITextField>& edited, NSRange range,
                                                const std::shared_ptr<NSString>& string) {
  auto holdsText = [&](const std::shared_ptr<UITextField>& field) {
    return zvt::account::lengthAfterEdit(field, edited, range, string) > 0;
  };
  if (auto form = bindingPhoneView_) {
    zvt::account::setMainButtonEnabled(form->finishedButton(),
                                       holdsText(form->phoneTextField()) && holdsText(form->verticalTextField()));
  } else if (auto form = bindingEmailView_) {
    zvt::account::setMainButtonEnabled(form->finishButton(),
                                       holdsText(form->emailTextField()) && holdsText(form->passwordTextField()));
  }
}

bool TZBindingViewController::textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField,
                                                                     NSRange range,
                                                                     const std::shared_ptr<NSString>& string) {
  // A refused edit leaves the texts, and so the button, as they were.
  if (bindingPhoneView_ && textField == bindingPhoneView_->phoneTextField() &&
      !limitLengthWithExpectLength(textField, 11, textField->text(), range, string)) {
    return false;
  }
  lightFinishButton(textField, range, string);
  return true;
}

bool TZBindingViewController::textFieldShouldClear(const std::shared_ptr<UITextField>& textField) {
  // The clear empties the whole field: the button follows as for any other edit, in both forms
  // (a phone form left lit over an empty number would send it empty).
  const NSUInteger length = textField && textField->text() ? textField->text()->length() : 0;
  lightFinishButton(textField, NSMakeRange(0, length), ""_ns);
  return true;
}
