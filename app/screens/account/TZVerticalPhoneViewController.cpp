#include "app/screens/account/TZVerticalPhoneViewController.h"

#include <algorithm>

#include "app/api/APIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZModifyViewController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

namespace {
constexpr const char* kPageName = "验证手机页";
constexpr NSUInteger kPhoneLength = 11;
}  // namespace

void TZVerticalPhoneViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("验证手机号"_ns);
  zvt::account::configGrayReturnPop(controllerSelf());
  createUI();
}

void TZVerticalPhoneViewController::createUI() {
  verticalPhoneView_ = TZVertialPhoneView::make();
  std::shared_ptr<UITextFieldDelegate> delegate = phoneSelf();
  verticalPhoneView_->phoneTextField()->setDelegate(delegate);
  verticalPhoneView_->verticalTextField()->setDelegate(delegate);
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  verticalPhoneView_->setFrame(
      CGRectMake(0, 0, std::min(screen.width, screen.height), std::max(screen.width, screen.height) - 20));
  view()->addSubview(verticalPhoneView_);
  keyboardCanHide(verticalPhoneView_);
  std::weak_ptr<TZVerticalPhoneViewController> weakSelf = phoneSelf();
  verticalPhoneView_->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->buttonClick(std::dynamic_pointer_cast<UIButton>(sender));
  });
}

void TZVerticalPhoneViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::account::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kPageName));
}

void TZVerticalPhoneViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  zvt::account::disappearResigningKeyboard(NSString::stringWithUTF8String(kPageName));
}

void TZVerticalPhoneViewController::buttonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender || !verticalPhoneView_) return;
  if (sender->tag() == 0) {
    requestCode();
  } else if (sender->tag() == 1) {
    bindPhone();
  }
}

void TZVerticalPhoneViewController::requestCode() {
  auto form = verticalPhoneView_;
  auto phone = form->phoneTextField()->text();
  if (phone->length() == 0) {
    showWithTitle(nullptr, "请输入手机号"_ns);
    return;
  }
  // The count-down runs while the code is asked for; a refusal ends it at once.
  form->startCountDown();
  APIClient::getBindingVerificationCodeWithParameter(
      NSDictionary::make({{"phoneNumber"_ns, phone}}), [form](bool success, const std::shared_ptr<NSString>& message) {
        dispatch_async(dispatch_get_main_queue(), [form, success, message] {
          if (success) return;
          form->endCountDown();
          showWithTitle(nullptr, message);
        });
      });
}

void TZVerticalPhoneViewController::bindPhone() {
  if (binding_) return;
  auto form = verticalPhoneView_;
  form->phoneTextField()->resignFirstResponder();
  form->verticalTextField()->resignFirstResponder();
  auto parameters = NSMutableDictionary::dictionary();
  parameters->setObject(form->phoneTextField()->text(), "phoneNumber"_ns);
  parameters->setObject(form->verticalTextField()->text(), "verifyCode"_ns);
  auto record = AppDelegate::shared()->userInfoDictionary();
  if (id userId = record ? record->objectForKey("id"_ns) : nullptr) parameters->setObject(userId, "uid"_ns);
  showLoadingHud(controllerSelf());
  auto screen = phoneSelf();
  binding_ = true;
  APIClient::bindingPhoneWithParameter(parameters, [screen](bool success, const std::shared_ptr<NSString>& message) {
    dispatch_async(dispatch_get_main_queue(), [screen, success, message] {
      if (!success) {
        screen->binding_ = false;
        hideHud(screen);
        showWithTitle(nullptr, message);
        return;
      }
      // Bound: `binding_` stays set while the tip shows, and the tip's end closes this screen
      // only, and only while it is shown.
      showTipHudWithText(screen, "绑定成功"_ns, 2.0, [screen] {
        if (zvt::isShownScreen(screen)) screen->navigationController()->popViewControllerAnimated(true);
      });
    });
  });
}

bool TZVerticalPhoneViewController::textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField,
                                                                           NSRange range,
                                                                           const std::shared_ptr<NSString>& string) {
  auto form = verticalPhoneView_;
  if (!form) return true;
  const bool newline = string && string->isEqualToString("\n"_ns);
  if (textField == form->phoneTextField()) {
    // A refused edit leaves the button as it was: a paste of twelve digits into the empty field
    // must not light it over an empty number.
    if (!limitLengthWithExpectLength(textField, kPhoneLength, textField->text(), range, string)) return false;
    const NSUInteger number = zvt::account::lengthAfterEdit(textField, textField, range, string);
    zvt::account::setMainButtonEnabled(form->finishButton(),
                                       !newline && number >= kPhoneLength && form->verticalTextField()->text()->length() > 0);
    return true;
  }
  if (textField == form->verticalTextField()) {
    const NSUInteger code = zvt::account::lengthAfterEdit(textField, textField, range, string);
    zvt::account::setMainButtonEnabled(
        form->finishButton(), !newline && form->phoneTextField()->text()->length() == kPhoneLength && code > 0);
  }
  return true;
}

bool TZVerticalPhoneViewController::textFieldShouldClear(const std::shared_ptr<UITextField>&) {
  if (verticalPhoneView_) zvt::account::setMainButtonEnabled(verticalPhoneView_->finishButton(), false);
  return true;
}
