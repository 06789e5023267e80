#include "platform/uikit/UISwitch.h"

#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIKitMainThread.h"

void UISwitch::setUpWithFrame(CGRect frame) {
  UIControl::setUpWithFrame(frame);
  setOpaque(false);
}

void UISwitch::setUpWithCoder(CGRect frame) {
  UIControl::setUpWithCoder(frame);
  setOpaque(false);
}

void UISwitch::setFrame(CGRect frame) { UIControl::setFrame(CGRect{frame.origin, CGSizeMake(kWidth, kHeight)}); }

CGSize UISwitch::sizeThatFits(CGSize) const { return CGSizeMake(kWidth, kHeight); }

CGSize UISwitch::intrinsicContentSize() const { return CGSizeMake(kWidth, kHeight); }

void UISwitch::setOn(bool on) {
  zvt::ui::assertMainThread("UISwitch::setOn");
  if (on == on_) return;
  on_ = on;
  setNeedsDisplay();
}

void UISwitch::setOn(bool on, bool) { setOn(on); }

void UISwitch::setOnTintColor(const std::shared_ptr<UIColor>& color) {
  onTintColor_ = color;
  setNeedsDisplay();
}

void UISwitch::setThumbTintColor(const std::shared_ptr<UIColor>& color) {
  thumbTintColor_ = color;
  setNeedsDisplay();
}

void UISwitch::endTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event) {
  UIControl::endTrackingWithTouch(touch, event);
  if (!isTouchInside()) return;
  setOn(!on_);
  sendActions(UIControlEventValueChanged, event);
}

void UISwitch::drawRect(CGRect) {
  CGRect b = CGRectInset(bounds(), 0.5, 0.5);
  auto track = UIBezierPath::bezierPathWithRoundedRect(b, b.size.height / 2);
  if (on_) {
    (onTintColor_ ? onTintColor_ : UIColor::colorWithRed(76 / 255.0, 217 / 255.0, 100 / 255.0, 1))->setFill();
    track->fill();
  } else {
    UIColor::colorWithWhite(0.9, 1)->setStroke();
    track->setLineWidth(1.5);
    track->stroke();
  }
  CGFloat d = b.size.height - 2;
  CGRect thumb = CGRectMake(on_ ? CGRectGetMaxX(b) - d - 1 : b.origin.x + 1, b.origin.y + 1, d, d);
  (thumbTintColor_ ? thumbTintColor_ : UIColor::whiteColor())->setFill();
  UIBezierPath::bezierPathWithOvalInRect(thumb)->fill();
  UIColor::colorWithWhite(0.8, 1)->setStroke();
  UIBezierPath::bezierPathWithOvalInRect(thumb)->stroke();
}
