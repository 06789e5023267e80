#include "app/screens/account/AccountForm.h"

#include <algorithm>

#include "analytics/StatAgent.h"

#include "app/ui/ParentsViewController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "platform/foundation/Dispatch.h"
#include "ui/hud/POProgressHUD.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSValue.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace zvt::account {

namespace {
constexpr CGFloat kSeparator = 0.5;
constexpr CGFloat kInset = 15;
constexpr CGFloat kIconSide = 18;
}  // namespace

std::shared_ptr<UIColor> typedTextColor() { return UIColor::colorWithRed(51 / 255.0, 51 / 255.0, 51 / 255.0, 1); }
std::shared_ptr<UIColor> placeholderTextColor() { return UIColor::colorWithRed(153 / 255.0, 153 / 255.0, 153 / 255.0, 1); }
std::shared_ptr<UIColor> separatorColor() { return UIColor::colorWithRed(222 / 255.0, 222 / 255.0, 222 / 255.0, 1); }
std::shared_ptr<UIColor> waitingButtonColor() { return UIColor::colorWithRed(194 / 255.0, 194 / 255.0, 194 / 255.0, 1); }

void styleFormField(const std::shared_ptr<UITextField>& field, const std::shared_ptr<NSString>& placeholder) {
  if (!field) return;
  field->setFont(UIFont::systemFontOfSize(14));
  field->setTextColor(typedTextColor());
  field->setPlaceholder(placeholder);
  field->setPlaceholderColor(placeholderTextColor());
  field->setClearButtonMode(UITextFieldViewModeWhileEditing);
}

std::shared_ptr<UITextField> makeFormField(const std::shared_ptr<NSString>& placeholder, UIKeyboardType keyboard,
                                           bool secure) {
  auto field = UITextField::make();
  styleFormField(field, placeholder);
  field->setKeyboardType(keyboard);
  field->setSecureTextEntry(secure);
  return field;
}

CGFloat iconRowBoxHeight(size_t rows, CGFloat rowHeight) {
  if (rows == 0) return 0;
  return static_cast<CGFloat>(rows) * rowHeight + static_cast<CGFloat>(rows - 1) * kSeparator;
}

std::shared_ptr<UIView> makeIconRowBox(const std::vector<IconRow>& rows, CGFloat rowHeight) {
  auto box = UIView::initWithFrame(CGRectZero);
  box->setBackgroundColor(UIColor::whiteColor());
  box->layer()->setBorderWidth(1);
  box->layer()->setBorderColor(separatorColor()->CGColor());
  CGFloat top = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) {
      auto line = UIView::initWithFrame(CGRectZero);
      line->setBackgroundColor(separatorColor());
      box->addSubview(line);
      lc_makeConstraints(line, [&](const auto& make) {
        make->left()->equalTo(box)->offset(kInset);
        make->right()->equalTo(box)->offset(-kInset);
        make->top()->equalTo(box)->offset(top);
        make->height()->lc_equalTo(kSeparator);
      });
      top += kSeparator;
    }
    auto icon = UIImageView::initWithImage(UIImage::imageNamed(NSString::stringWithUTF8String(rows[i].icon)));
    icon->setContentMode(UIViewContentModeScaleAspectFit);
    box->addSubview(icon);
    lc_makeConstraints(icon, [&](const auto& make) {
      make->left()->equalTo(box)->offset(kInset);
      make->top()->equalTo(box)->offset(top + (rowHeight - kIconSide) / 2);
      make->width()->height()->lc_equalTo(kIconSide);
    });
    if (auto field = rows[i].field) {
      box->addSubview(field);
      lc_makeConstraints(field, [&](const auto& make) {
        make->left()->equalTo(lc_right(icon))->offset(10);
        make->right()->equalTo(box)->offset(-kInset);
        make->top()->equalTo(box)->offset(top);
        make->height()->lc_equalTo(rowHeight);
      });
    }
    top += rowHeight;
  }
  return box;
}

std::shared_ptr<UIButton> makeMainButton(const std::shared_ptr<NSString>& title) {
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  button->setTitle(title, UIControlStateNormal);
  button->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
  button->titleLabel()->setFont(UIFont::systemFontOfSize(18));
  button->setBackgroundColor(zvt::actionColor());
  button->layer()->setCornerRadius(4);
  button->layer()->setMasksToBounds(true);
  return button;
}

void setMainButtonEnabled(const std::shared_ptr<UIButton>& button, bool enabled) {
  if (!button) return;
  button->setUserInteractionEnabled(enabled);
  button->setBackgroundColor(enabled ? zvt::actionColor() : waitingButtonColor());
}

bool isMainButtonEnabled(const std::shared_ptr<UIButton>& button) {
  return button && button->isUserInteractionEnabled() && button->backgroundColor() &&
         button->backgroundColor()->isEqual(zvt::actionColor());
}

FormScroll makeFormScroll(const std::shared_ptr<UIView>& form, CGFloat contentHeight) {
  FormScroll parts;
  parts.scrollView = UIScrollView::initWithFrame(CGRectZero);
  parts.scrollView->setShowsVerticalScrollIndicator(false);
  form->addSubview(parts.scrollView);
  followKeyboard(parts.scrollView, form, 0);
  parts.contentView = UIView::initWithFrame(CGRectZero);
  parts.contentView->setBackgroundColor(UIColor::groupTableViewBackgroundColor());
  parts.scrollView->addSubview(parts.contentView);
  lc_makeConstraints(parts.contentView, [&](const auto& make) {
    make->edges()->equalTo(parts.scrollView);
    make->width()->equalTo(parts.scrollView);
    make->height()->lc_equalTo(contentHeight);
  });
  return parts;
}

void followKeyboard(const std::shared_ptr<UIScrollView>& scrollView, const std::shared_ptr<UIView>& form,
                    CGFloat keyboardHeight) {
  if (!scrollView || !form || scrollView->superview() != form) return;
  lc_updateConstraints(scrollView, [&](const auto& make) {
    make->top()->left()->right()->equalTo(form);
    make->bottom()->equalTo(form)->offset(-keyboardHeight);
  });
}

NSUInteger lengthAfterEdit(const std::shared_ptr<UITextField>& field, const std::shared_ptr<UITextField>& edited,
                           NSRange range, const std::shared_ptr<NSString>& string) {
  auto text = field ? field->text() : nullptr;
  const NSUInteger length = text ? text->length() : 0;
  if (field != edited) return length;
  if (range.location > length || range.length > length - range.location) return length;
  return length - range.length + (string ? string->length() : 0);
}

CGFloat formContentHeight() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::max(size.width, size.height) - 64;
}

}  // namespace zvt::account

namespace zvt::account {

std::shared_ptr<NSString> recordText(const id& value) {
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text;
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->stringValue();
  return nullptr;
}

std::shared_ptr<NSString> presentRecordText(const id& value) {
  auto text = recordText(value);
  return text && text->length() > 0 ? text : nullptr;
}

std::function<void(bool, const std::shared_ptr<NSDictionary>&, const std::shared_ptr<NSString>&)> popOnSaved(
    const std::shared_ptr<UIViewController>& screen, std::function<void()> failed) {
  return [screen, failed](bool success, const std::shared_ptr<NSDictionary>&, const std::shared_ptr<NSString>& message) {
    dispatch_async(dispatch_get_main_queue(), [screen, failed, success, message] {
      hideHud(screen);
      if (!success) {
        if (failed) failed();
        showWithTitle(nullptr, message);
      } else if (zvt::isShownScreen(screen)) {
        screen->navigationController()->popViewControllerAnimated(true);
      }
    });
  };
}

CGFloat keyboardEndHeight(const std::shared_ptr<NSNotification>& notification) {
  auto info = notification ? notification->userInfo() : nullptr;
  auto end = info ? std::dynamic_pointer_cast<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
  return end ? end->CGRectValue().size.height : 0;
}

void configGrayReturnPop(const std::shared_ptr<UIViewController>& screen) {
  if (!screen) return;
  std::weak_ptr<UIViewController> weakScreen = screen;
  configNavigationLeftItemWith(screen, UIImage::imageNamed("grayReturn"_ns), [weakScreen] {
    auto shown = weakScreen.lock();
    auto navigation = shown ? shown->navigationController() : nullptr;
    if (navigation) navigation->popViewControllerAnimated(true);
  });
}

void appearWithWhiteBar(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& pageName) {
  if (!screen) return;
  if (auto navigation = screen->navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(screen);
  StatAgent::beginLogPageView(pageName);
}

void disappearResigningKeyboard(const std::shared_ptr<NSString>& pageName) {
  StatAgent::endLogPageView(pageName);
  UIApplication::sharedApplication()->sendAction(SEL(&UIResponder::resignFirstResponder), nullptr, nullptr, nullptr);
}

}  // namespace zvt::account
