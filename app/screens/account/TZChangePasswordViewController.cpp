#include "app/screens/account/TZChangePasswordViewController.h"

#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/account/AccountForm.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSValue.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {
constexpr const char* kPageName = "修改密码页";
constexpr NSUInteger kMinLength = 6;
constexpr NSInteger kMaxLength = 20;
// The tab bar and the navigation bars, which the constant the screen sets leaves out.
constexpr CGFloat kBars = 49 + 64;
constexpr CGFloat kRowHeight = 51;
// The view of the storyboard's scene, loaded when the screen first needs it.
constexpr const char* kSceneView = "TZChangePasswordViewController-view";

NSUInteger lengthOf(const std::shared_ptr<UITextField>& field) {
  return field && field->text() ? field->text()->length() : 0;
}
std::shared_ptr<NSString> textOf(const std::shared_ptr<UITextField>& field) {
  return field && field->text() ? field->text() : ""_ns;
}
}  // namespace

void TZChangePasswordViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("修改密码"_ns);
  std::weak_ptr<TZChangePasswordViewController> weakSelf = changeSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    auto navigation = screen ? screen->navigationController() : nullptr;
    if (navigation) navigation->popViewControllerAnimated(true);
  });
  observeKeyboardOf(changeSelf());
  configUI();
}

void TZChangePasswordViewController::configUI() {
  if (auto scroll = bgScrollView()) keyboardCanHide(scroll);
  if (auto box = bgView()) {
    box->layer()->setBorderWidth(1);
    box->layer()->setBorderColor(zvt::account::separatorColor()->CGColor());
    box->layer()->setCornerRadius(0);
  }
  if (auto sure = sureButton()) {
    sure->layer()->setMasksToBounds(true);
    sure->layer()->setCornerRadius(4);
    sure->setUserInteractionEnabled(true);
    sure->setBackgroundColor(zvt::actionColor());
  }
  std::shared_ptr<UITextFieldDelegate> delegate = changeSelf();
  for (const auto& field : {originalPassword(), password(), againPassword()}) {
    if (!field) continue;
    field->setDelegate(delegate);
    field->setKeyboardType(UIKeyboardTypeASCIICapable);
  }
}

void TZChangePasswordViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::account::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kPageName));
}

void TZChangePasswordViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  zvt::account::disappearResigningKeyboard(NSString::stringWithUTF8String(kPageName));
}

bool TZChangePasswordViewController::ruleToChangePassword() {
  const NSUInteger oldLength = lengthOf(originalPassword());
  const NSUInteger newLength = lengthOf(password());
  const NSUInteger againLength = lengthOf(againPassword());
  const char* refusal = nullptr;
  if (oldLength >= kMinLength && newLength >= kMinLength && againLength >= kMinLength) {
    if (textOf(password())->isEqualToString(textOf(againPassword()))) return true;
    refusal = "确认密码不对";
  } else if (oldLength < kMinLength) {
    refusal = "原登录密码格式错误";
  } else if (newLength < kMinLength) {
    refusal = "新密码格式错误";
  } else {
    refusal = "确认密码不正确";
  }
  showWithTitle(nullptr, NSString::stringWithUTF8String(refusal));
  return false;
}

void TZChangePasswordViewController::sureButtonClick(const std::shared_ptr<UIButton>&) {
  if (changing_ || !ruleToChangePassword()) return;
  for (const auto& field : {originalPassword(), password(), againPassword()})
    if (field) field->resignFirstResponder();
  auto parameters = NSMutableDictionary::dictionary();
  // A session without a record sends no "id" (the service refuses it) rather than a nil value.
  auto record = AppDelegate::shared()->userInfoDictionary();
  if (id userId = record ? record->objectForKey("id"_ns) : nullptr) parameters->setObject(userId, "id"_ns);
  parameters->setObject(textOf(originalPassword()), "old_pwd"_ns);
  parameters->setObject(textOf(password()), "ddpwd"_ns);
  parameters->setObject(textOf(againPassword()), "pwd_confirm"_ns);
  showLoadingHud(controllerSelf());
  // The completion keeps the screen until the reply has come.
  auto screen = changeSelf();
  changing_ = true;
  ZVTAPIClient::changePasswordWith(parameters, [screen](bool success, const std::shared_ptr<NSString>& message) {
    hideHud(screen);
    if (!success) {
      screen->changing_ = false;
      showWithTitle(nullptr, message);
      return;
    }
    // Changed: `changing_` stays set, so no second change goes out while the tip shows.
    showTipHudWithText(screen, "密码修改成功"_ns, 1.0, [screen] { screen->passwordChanged(); });
  });
}

void TZChangePasswordViewController::passwordChanged() {
  // Only the session in memory ends: the stored account logs the user in again at the next
  // start, as the stored password is already the new one. The stack goes back to its root only
  // while this screen is shown: a user who went back during the tip stays where they went.
  const bool shown = zvt::isShownScreen(controllerSelf());
  auto delegate = AppDelegate::shared();
  delegate->setIsLogin(false);
  delegate->setUserInfoDictionary(nullptr);
  NSNotificationCenter::defaultCenter()->postNotificationName("toLogin"_ns, controllerSelf());
  if (shown) navigationController()->popToRootViewControllerAnimated(false);
}

bool TZChangePasswordViewController::textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField,
                                                                            NSRange range,
                                                                            const std::shared_ptr<NSString>& string) {
  if (!string || string->length() == 0) return true;
  auto text = textField ? textField->text() : nullptr;
  const NSUInteger length = text ? text->length() : 0;
  if (range.location > length || range.length > length - range.location) return false;
  return length - range.length + string->length() <= static_cast<NSUInteger>(kMaxLength);
}

void TZChangePasswordViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  auto info = notification ? notification->userInfo() : nullptr;
  auto end = info ? std::dynamic_pointer_cast<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
  keyboardH_ = end ? end->CGRectValue().size.height : 0;
  updateViewConstraints();
}

void TZChangePasswordViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) {
  keyboardH_ = 0;
  updateViewConstraints();
}

void TZChangePasswordViewController::updateViewConstraints() {
  if (auto bottom = scrollViewBottomConstraints()) bottom->setConstant(keyboardH_ - kBars);
  view()->setNeedsLayout();
  view()->layoutIfNeeded();
}

// --- the storyboard ---------------------------------------------------------------------------

void TZChangePasswordViewController::registerChangePasswordStoryboard() {
  zvt::ui::registerStoryboard(
      "TZChangePasswordViewController",
      {"change", {{"change", [](zvt::ui::NibBuilder& builder) -> std::shared_ptr<UIViewController> {
                     return builder.adopt(UIViewController::initWithNibName<TZChangePasswordViewController>(
                         NSString::stringWithUTF8String(kSceneView)));
                   }}}});
  zvt::ui::registerNibFactory(kSceneView, [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    auto owner = std::dynamic_pointer_cast<TZChangePasswordViewController>(nib.owner());
    auto view = nib.view<UIView>(UIScreen::mainScreen()->bounds());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    view->setBackgroundColor(zvt::screenBackgroundColor());

    auto scroll = nib.view<UIScrollView>(CGRectZero);
    scroll->setShowsVerticalScrollIndicator(false);
    view->addSubview(scroll);
    lc_makeConstraints(scroll, [&](const auto& make) { make->top()->left()->right()->equalTo(view); });
    // The keyboard's line: the bars' height above the view's bottom. The scroll view ends on the
    // view's bottom while the constant is -113 (no keyboard) and on the keyboard's top while it
    // is the keyboard's height less 113.
    auto keyboardLine = nib.view<UIView>(CGRectZero);
    keyboardLine->setHidden(true);
    view->addSubview(keyboardLine);
    lc_makeConstraints(keyboardLine, [&](const auto& make) {
      make->left()->right()->equalTo(view);
      make->bottom()->equalTo(view)->offset(-kBars);
      make->height()->lc_equalTo(0);
    });
    auto bottom = NSLayoutConstraint::constraintWithItem(keyboardLine, NSLayoutAttributeTop, NSLayoutRelationEqual,
                                                         scroll, NSLayoutAttributeBottom, 1, -kBars);
    view->addConstraint(bottom);

    auto content = nib.view<UIView>(CGRectZero);
    content->setBackgroundColor(zvt::screenBackgroundColor());
    scroll->addSubview(content);
    lc_makeConstraints(content, [&](const auto& make) {
      make->edges()->equalTo(scroll);
      make->width()->equalTo(scroll);
      make->height()->lc_equalTo(zvt::account::formContentHeight());
    });

    auto box = nib.view<UIView>(CGRectZero);
    box->setBackgroundColor(UIColor::whiteColor());
    content->addSubview(box);
    lc_makeConstraints(box, [&](const auto& make) {
      make->top()->equalTo(content)->offset(10);
      make->left()->right()->equalTo(content);
      make->height()->lc_equalTo(3 * kRowHeight + 2 * 0.5);
    });
    struct Row {
      const char* caption;
      const char* placeholder;
    };
    const Row rows[] = {{"原密码", "请输入原登录密码"}, {"新密码", "6-20位数字或字母"}, {"确认密码", "再次输入新密码"}};
    std::vector<std::shared_ptr<UITextField>> fields;
    CGFloat top = 0;
    for (const Row& row : rows) {
      if (top > 0) {
        auto line = nib.view<UIView>(CGRectZero);
        line->setBackgroundColor(zvt::account::separatorColor());
        box->addSubview(line);
        lc_makeConstraints(line, [&](const auto& make) {
          make->left()->equalTo(box)->offset(15);
          make->right()->equalTo(box)->offset(-15);
          make->top()->equalTo(box)->offset(top);
          make->height()->lc_equalTo(0.5);
        });
        top += 0.5;
      }
      auto caption = nib.view<UILabel>(CGRectZero);
      caption->setText(NSString::stringWithUTF8String(row.caption));
      caption->setFont(UIFont::systemFontOfSize(14));
      caption->setTextColor(zvt::account::typedTextColor());
      box->addSubview(caption);
      lc_makeConstraints(caption, [&](const auto& make) {
        make->left()->equalTo(box)->offset(15);
        make->top()->equalTo(box)->offset(top);
        make->width()->lc_equalTo(70);
        make->height()->lc_equalTo(kRowHeight);
      });
      auto field = nib.view<UITextField>(CGRectZero);
      zvt::account::styleFormField(field, NSString::stringWithUTF8String(row.placeholder));
      field->setSecureTextEntry(true);
      box->addSubview(field);
      lc_makeConstraints(field, [&](const auto& make) {
        make->left()->equalTo(lc_right(caption));
        make->right()->equalTo(box)->offset(-15);
        make->top()->equalTo(box)->offset(top);
        make->height()->lc_equalTo(kRowHeight);
      });
      fields.push_back(field);
      top += kRowHeight;
    }

    auto sure = nib.view<UIButton>(CGRectZero);
    sure->setTitle("确认修改"_ns, UIControlStateNormal);
    sure->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    sure->titleLabel()->setFont(UIFont::systemFontOfSize(18));
    content->addSubview(sure);
    lc_makeConstraints(sure, [&](const auto& make) {
      make->top()->equalTo(lc_bottom(box))->offset(15);
      make->left()->equalTo(content)->offset(15);
      make->right()->equalTo(content)->offset(-15);
      make->height()->lc_equalTo(45);
    });

    if (owner) {
      owner->setView(view);
      owner->bgScrollView_ = scroll;
      owner->bgView_ = box;
      owner->originalPassword_ = fields[0];
      owner->password_ = fields[1];
      owner->againPassword_ = fields[2];
      owner->sureButton_ = sure;
      owner->scrollViewBottomConstraints_ = bottom;
      sure->addTarget(owner, &TZChangePasswordViewController::sureButtonClick, UIControlEventTouchUpInside);
    }
    return {view};
  });
}
