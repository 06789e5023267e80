#include "platform/uikit/UIKeyboard.h"

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIView.h"

namespace zvt::ui {

Keyboard& Keyboard::shared() {
  static auto* keyboard = new Keyboard();
  return *keyboard;
}

CGRect Keyboard::frame() const {
  CGRect screen = UIScreen::mainScreen()->bounds();
  return CGRectMake(0, screen.size.height - kHeight, screen.size.width, kHeight);
}

CGRect Keyboard::hiddenFrame() const {
  CGRect screen = UIScreen::mainScreen()->bounds();
  return CGRectMake(0, screen.size.height, screen.size.width, kHeight);
}

const std::shared_ptr<UIWindow>& Keyboard::window() {
  if (!window_) {
    window_ = UIWindow::initWithFrame(hiddenFrame());
    window_->setWindowLevel(kWindowLevel);
    window_->setBackgroundColor(UIColor::colorWithRed(209 / 255.0, 213 / 255.0, 219 / 255.0, 1));
    window_->setAccessibilityIdentifier("UIKeyboard"_ns);
  }
  return window_;
}

void Keyboard::post(const std::shared_ptr<NSString>& name, CGRect begin, CGRect end) {
  auto info = NSDictionary::make({
      {UIKeyboardFrameBeginUserInfoKey, NSValue::valueWithCGRect(begin)},
      {UIKeyboardFrameEndUserInfoKey, NSValue::valueWithCGRect(end)},
      {UIKeyboardCenterBeginUserInfoKey, NSValue::valueWithCGPoint(CGPointMake(CGRectGetMidX(begin), CGRectGetMidY(begin)))},
      {UIKeyboardCenterEndUserInfoKey, NSValue::valueWithCGPoint(CGPointMake(CGRectGetMidX(end), CGRectGetMidY(end)))},
      {UIKeyboardBoundsUserInfoKey, NSValue::valueWithCGRect(CGRect{CGPointZero, end.size})},
      {UIKeyboardAnimationDurationUserInfoKey, NSNumber::numberWithDouble(kAnimationDuration)},
      {UIKeyboardAnimationCurveUserInfoKey, NSNumber::numberWithLongLong(kAnimationCurve)},
      {UIKeyboardIsLocalUserInfoKey, NSNumber::numberWithBool(true)},
  });
  NSNotificationCenter::defaultCenter()->postNotificationName(name, nullptr, info);
}

void Keyboard::finishSlide() {
  if (!slideTimer_) return;
  auto timer = std::move(slideTimer_);
  timer->invalidate();
  // The window exists only while the keyboard shows (the application lists it meanwhile).
  if (!slideIn_ && !shown_ && window_) {
    window_->setHidden(true);
    window_.reset();
  }
  post(slideIn_ ? UIKeyboardDidShowNotification : UIKeyboardDidHideNotification, slideBegin_, slideEnd_);
  post(UIKeyboardDidChangeFrameNotification, slideBegin_, slideEnd_);
}

void Keyboard::slide(bool in, CGRect begin, CGRect end) {
  finishSlide();
  auto& w = window();
  if (in) w->setHidden(false);
  // The keyboard takes touches at once where it is going (and none where it leaves).
  w->setFrame(begin);
  UIView::animateWithDuration(kAnimationDuration, 0,
                              UIViewAnimationOptionCurveEaseInOut | UIViewAnimationOptionAllowUserInteraction,
                              [&] { w->setFrame(end); }, nullptr);
  post(UIKeyboardWillChangeFrameNotification, begin, end);
  post(in ? UIKeyboardWillShowNotification : UIKeyboardWillHideNotification, begin, end);
  slideIn_ = in;
  slideBegin_ = begin;
  slideEnd_ = end;
  slideTimer_ = NSTimer::scheduledTimerWithTimeInterval(kAnimationDuration, false, [this](const std::shared_ptr<NSTimer>&) {
    finishSlide();
  });
}

void Keyboard::show(const std::shared_ptr<UIResponder>& input) {
  assertMainThread("UIKeyboard::show");
  if (!input) return;
  owner_ = input;
  auto* traits = dynamic_cast<const UITextInputTraits*>(input.get());
  type_ = traits ? traits->keyboardType() : UIKeyboardTypeDefault;
  if (suspended_ > 0) return;  // shown when the alerts are gone
  CGRect end = frame();
  CGRect begin = shown_ ? end : hiddenFrame();
  shown_ = true;
  slide(true, begin, end);
}

void Keyboard::hide(const UIResponder& input) {
  assertMainThread("UIKeyboard::hide");
  if (owner_.lock().get() != &input) return;
  // A key-input responder taking over keeps the keyboard (and announces it again).
  if (dynamic_cast<const UIKeyInput*>(UIResponder::responderBecomingFirst())) return;
  owner_.reset();
  if (!shown_) return;
  shown_ = false;
  slide(false, frame(), hiddenFrame());
}

void Keyboard::firstResponderChanged(const UIResponder& responder, bool became) {
  if (dynamic_cast<const KeyboardClient*>(&responder) || !dynamic_cast<const UIKeyInput*>(&responder)) return;
  if (became) {
    show(std::const_pointer_cast<UIResponder>(std::static_pointer_cast<const UIResponder>(responder.shared_from_this())));
  } else {
    hide(responder);
  }
}

void Keyboard::suspend() {
  if (suspended_++ > 0 || !shown_) return;
  shown_ = false;
  slide(false, frame(), hiddenFrame());
}

void Keyboard::resume() {
  if (suspended_ == 0 || --suspended_ > 0) return;
  auto owner = owner_.lock();
  if (owner && owner->isFirstResponder()) show(owner);
}

bool Keyboard::canType(std::string_view character) const {
  if (!shown_) return false;
  auto within = [&](std::string_view keys) {
    return character.size() == 1 && keys.find(character[0]) != std::string_view::npos;
  };
  switch (type_) {
    case UIKeyboardTypeNumberPad: return within("0123456789");
    case UIKeyboardTypeDecimalPad: return within("0123456789.");
    case UIKeyboardTypePhonePad: return within("0123456789+*#,;");
    default: return true;
  }
}

bool Keyboard::hasReturnKey() const {
  return shown_ && type_ != UIKeyboardTypeNumberPad && type_ != UIKeyboardTypeDecimalPad &&
         type_ != UIKeyboardTypePhonePad;
}

}  // namespace zvt::ui
