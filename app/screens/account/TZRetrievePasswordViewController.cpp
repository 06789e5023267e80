#include "app/screens/account/TZRetrievePasswordViewController.h"

#include "app/api/APIClient.h"
#include "app/api/ZVTAPIClient.h"
#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZModifyViewController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/network/NSURL.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

namespace {
constexpr const char* kPageName = "找回密码页";
constexpr NSInteger kPhoneLength = 11;
}  // namespace

void TZRetrievePasswordViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("找回密码"_ns);
  std::weak_ptr<TZRetrievePasswordViewController> weakSelf = retrieveSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    auto navigation = screen ? screen->navigationController() : nullptr;
    if (navigation) navigation->popViewControllerAnimated(true);
  });
  createUI();
}

void TZRetrievePasswordViewController::createUI() {
  retrievePasswordView_ = TZRetrievePasswordView::make();
  retrievePasswordView_->setFrame(view()->bounds());
  retrievePasswordView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  retrievePasswordView_->retrieveTextField()->setDelegate(std::shared_ptr<UITextFieldDelegate>(retrieveSelf()));
  keyboardCanHide(retrievePasswordView_);
  view()->addSubview(retrievePasswordView_);
  std::weak_ptr<TZRetrievePasswordViewController> weakSelf = retrieveSelf();
  retrievePasswordView_->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->senderAction(sender);
  });
}

void TZRetrievePasswordViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::account::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kPageName));
}

void TZRetrievePasswordViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  zvt::account::disappearResigningKeyboard(NSString::stringWithUTF8String(kPageName));
}

bool TZRetrievePasswordViewController::inPhoneMode() const {
  auto type = retrievePasswordView_ ? retrievePasswordView_->type() : nullptr;
  return type && type->isEqualToString("2"_ns);
}

void TZRetrievePasswordViewController::senderAction(const id&) {
  auto form = retrievePasswordView_;
  if (!form || requesting_) return;
  form->retrieveTextField()->resignFirstResponder();
  auto type = form->type();
  if (type && type->isEqualToString("1"_ns)) {
    sendMail();
  } else if (inPhoneMode()) {
    requestPhoneCode();
  }
}

void TZRetrievePasswordViewController::sendMail() {
  auto text = retrievePasswordView_->retrieveTextField()->text();
  showLoadingHud(controllerSelf());
  // The completion keeps the screen until the reply has come.
  auto screen = retrieveSelf();
  requesting_ = true;
  ZVTAPIClient::getEmailAddressWith(
      NSDictionary::make({{"email"_ns, text ? text : ""_ns}}),
      [screen](const id& address, const std::shared_ptr<NSString>& message) {
        screen->requesting_ = false;
        hideHud(screen);
        if (!address && message) {
          showWithTitle(nullptr, message);
          return;
        }
        // The client names every failure; without one the mail has gone, with or without the
        // mailbox's address. An address that is no URL opens nothing.
        auto text = std::dynamic_pointer_cast<NSString>(address);
        auto url = text ? NSURL::URLWithString(text) : nullptr;
        showTipHudWithText(screen, "邮件已经发送"_ns, 2.0, [url] {
          if (url) UIApplication::sharedApplication()->openURL(url);
        });
      });
}

void TZRetrievePasswordViewController::requestPhoneCode() {
  auto field = retrievePasswordView_->retrieveTextField();
  auto text = field->text();
  showLoadingHud(controllerSelf());
  auto screen = retrieveSelf();
  requesting_ = true;
  APIClient::getForgetPasswordCodeWithParameter(
      NSDictionary::make({{"phoneNumber"_ns, text ? text : ""_ns}}),
      [screen, field](bool success, const std::shared_ptr<NSString>& message) {
        screen->requesting_ = false;
        hideHud(screen);
        if (!success) {
          showWithTitle(nullptr, message);
          return;
        }
        // A screen the user left while the code was on its way pushes nothing: its pop may
        // still be animating, when the stack it leaves would take the push.
        if (!zvt::isShownScreen(screen)) return;
        auto navigation = screen->navigationController();
        auto reset = TZModifyViewController::make();
        reset->setPhone(field->text() ? field->text()->copy() : ""_ns);
        navigation->pushViewController(reset, true);
      });
}

bool TZRetrievePasswordViewController::textFieldShouldChangeCharactersInRange(
    const std::shared_ptr<UITextField>& textField, NSRange range, const std::shared_ptr<NSString>& string) {
  if (!inPhoneMode() || !textField) return true;
  // A refused edit leaves the button as it was: a paste of twelve digits into the empty field
  // must not light it over an empty number.
  if (!limitLengthWithExpectLength(textField, kPhoneLength, textField->text(), range, string)) return false;
  const bool newline = string && string->isEqualToString("\n"_ns);
  const NSUInteger after = zvt::account::lengthAfterEdit(textField, textField, range, string);
  zvt::account::setMainButtonEnabled(retrievePasswordView_->nextButton(),
                                     !newline && after >= static_cast<NSUInteger>(kPhoneLength));
  return true;
}

bool TZRetrievePasswordViewController::textFieldShouldClear(const std::shared_ptr<UITextField>&) {
  // In e-mail mode nothing would light the button again: it stays as the form made it.
  if (inPhoneMode()) zvt::account::setMainButtonEnabled(retrievePasswordView_->nextButton(), false);
  return true;
}
