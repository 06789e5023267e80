#include "app/screens/account/TZModifyViewController.h"

#include "app/api/APIClient.h"
#include "app/screens/account/AccountForm.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"

namespace {
constexpr const char* kPageName = "重置密码页";
}  // namespace

const zvt::KVCClass* TZModifyViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZModifyViewController>()
                                         .property("phone", &TZModifyViewController::phone,
                                                   &TZModifyViewController::setPhone)
                                         .build();
  return &table;
}

void TZModifyViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("重置密码"_ns);
  std::weak_ptr<TZModifyViewController> weakSelf = modifySelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    auto navigation = screen ? screen->navigationController() : nullptr;
    if (navigation) navigation->popViewControllerAnimated(true);
  });
  createUI();
}

void TZModifyViewController::createUI() {
  modifyView_ = TZModifyView::make();
  std::shared_ptr<UITextFieldDelegate> delegate = modifySelf();
  modifyView_->verticalTextField()->setDelegate(delegate);
  modifyView_->passwordTextField()->setDelegate(delegate);
  modifyView_->setFrame(view()->bounds());
  modifyView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  view()->addSubview(modifyView_);
  keyboardCanHide(modifyView_);
  std::weak_ptr<TZModifyViewController> weakSelf = modifySelf();
  modifyView_->setMyBlock([weakSelf](const id& sender) {
    if (auto screen = weakSelf.lock()) screen->buttonClick(std::dynamic_pointer_cast<UIButton>(sender));
  });
  // The first code went out just before this screen was pushed.
  modifyView_->startCountDown();
}

void TZModifyViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::account::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kPageName));
}

void TZModifyViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  zvt::account::disappearResigningKeyboard(NSString::stringWithUTF8String(kPageName));
}

void TZModifyViewController::buttonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  if (sender->tag() == 0) {
    requestCode();
  } else if (sender->tag() == 1) {
    reset();
  }
}

void TZModifyViewController::requestCode() {
  auto form = modifyView_;
  form->startCountDown();
  // A number never set goes out empty, for the service to refuse, rather than as nil.
  auto phone = phone_ ? phone_ : ""_ns;
  APIClient::getForgetPasswordCodeWithParameter(
      NSDictionary::make({{"phoneNumber"_ns, phone}}),
      [form](bool success, const std::shared_ptr<NSString>& message) {
        if (success) return;
        // The failure ends the count-down at once and is told, never hidden behind a button
        // that merely comes back.
        form->endCountDown();
        showWithTitle(nullptr, message);
      });
}

void TZModifyViewController::reset() {
  if (resetting_) return;
  auto form = modifyView_;
  auto parameters = NSDictionary::make({{"phoneNumber"_ns, phone_ ? phone_ : ""_ns},
                                        {"verifyCode"_ns, form->verticalTextField()->text()},
                                        {"password"_ns, form->passwordTextField()->text()}});
  showLoadingHud(controllerSelf());
  // The completion keeps the screen until the reply has come.
  auto screen = modifySelf();
  resetting_ = true;
  APIClient::resetPasswordWithParameter(parameters, [screen](bool success, const std::shared_ptr<NSString>& message) {
    hideHud(screen);
    if (!success) {
      screen->resetting_ = false;
      showWithTitle(nullptr, message);
      return;
    }
    // Reset: `resetting_` stays set; the stack goes back to the login screen while this one is
    // shown (the check comes before the alert, which covers nothing of the stack).
    const bool shown = zvt::isShownScreen(screen);
    showWithTitle(nullptr, "密码重置成功"_ns);
    if (shown) screen->navigationController()->popToRootViewControllerAnimated(true);
  });
}

bool TZModifyViewController::textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField,
                                                                    NSRange range,
                                                                    const std::shared_ptr<NSString>& string) {
  auto form = modifyView_;
  if (!form) return true;
  const bool both = zvt::account::lengthAfterEdit(form->verticalTextField(), textField, range, string) > 0 &&
                    zvt::account::lengthAfterEdit(form->passwordTextField(), textField, range, string) > 0;
  zvt::account::setMainButtonEnabled(form->finishButton(), both);
  return true;
}

bool TZModifyViewController::textFieldShouldClear(const std::shared_ptr<UITextField>&) {
  if (modifyView_) zvt::account::setMainButtonEnabled(modifyView_->finishButton(), false);
  return true;
}
