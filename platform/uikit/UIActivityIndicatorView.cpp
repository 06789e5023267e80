#include "platform/uikit/UIActivityIndicatorView.h"

#include <cmath>

#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIImage.h"
#include "platform/quartzcore/CAAnimation.h"
#include "platform/uikit/UIKitMainThread.h"

namespace {

const zvt::StaticString kSpinKey{"UIActivityIndicatorViewSpin"};

CGFloat sideOf(UIActivityIndicatorViewStyle style) { return style == UIActivityIndicatorViewStyleWhiteLarge ? 37 : 20; }

}  // namespace

std::shared_ptr<UIActivityIndicatorView> UIActivityIndicatorView::initWithActivityIndicatorStyle(
    UIActivityIndicatorViewStyle style) {
  CGFloat side = sideOf(style);
  auto view = makeView<UIActivityIndicatorView>(CGRectMake(0, 0, side, side));
  view->setActivityIndicatorViewStyle(style);
  return view;
}

void UIActivityIndicatorView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setOpaque(false);
  setUserInteractionEnabled(false);
  setHidden(hidesWhenStopped_);
}

void UIActivityIndicatorView::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  setOpaque(false);
  setUserInteractionEnabled(false);
  setHidden(hidesWhenStopped_);
}

void UIActivityIndicatorView::setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style) {
  style_ = style;
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

void UIActivityIndicatorView::setColor(const std::shared_ptr<UIColor>& color) {
  color_ = color;
  setNeedsDisplay();
}

void UIActivityIndicatorView::setHidesWhenStopped(bool hides) {
  hidesWhenStopped_ = hides;
  if (!animating_) setHidden(hides);
}

void UIActivityIndicatorView::addSpin() {
  auto spin = CABasicAnimation::animationWithKeyPath("transform.rotation.z"_ns);
  spin->setFromValue(NSNumber::numberWithDouble(0));
  spin->setToValue(NSNumber::numberWithDouble(2 * M_PI));
  spin->setDuration(1.0);
  spin->setRepeatCount(HUGE_VALF);
  layer()->addAnimation(spin, kSpinKey);
}

void UIActivityIndicatorView::startAnimating() {
  zvt::ui::assertMainThread("UIActivityIndicatorView::startAnimating");
  if (animating_) return;
  animating_ = true;
  setHidden(false);
  addSpin();
}

void UIActivityIndicatorView::stopAnimating() {
  zvt::ui::assertMainThread("UIActivityIndicatorView::stopAnimating");
  if (!animating_) return;
  animating_ = false;
  layer()->removeAnimationForKey(kSpinKey);
  if (hidesWhenStopped_) setHidden(true);
}

void UIActivityIndicatorView::didMoveToWindow() {
  // The device drops a layer's animations when it leaves the window; they come back with it.
  if (animating_ && window() && !layer()->animationForKey(kSpinKey)) addSpin();
}

CGSize UIActivityIndicatorView::sizeThatFits(CGSize) const {
  CGFloat side = sideOf(style_);
  return CGSizeMake(side, side);
}

CGSize UIActivityIndicatorView::intrinsicContentSize() const { return sizeThatFits(CGSizeZero); }

void UIActivityIndicatorView::drawRect(CGRect) {
  CGRect b = bounds();
  CGFloat side = std::min(b.size.width, b.size.height);
  CGPoint c = CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b));
  auto color = color_ ? color_
                      : (style_ == UIActivityIndicatorViewStyleGray ? UIColor::grayColor() : UIColor::whiteColor());
  CGFloat inner = side * 0.25, outer = side * 0.5, width = side * 0.09;
  for (int i = 0; i < 12; ++i) {
    double angle = i * M_PI / 6;
    color->colorWithAlphaComponent(0.25 + 0.75 * i / 11.0)->setStroke();
    auto spoke = UIBezierPath::bezierPath();
    spoke->moveToPoint(CGPointMake(c.x + inner * std::sin(angle), c.y - inner * std::cos(angle)));
    spoke->addLineToPoint(CGPointMake(c.x + (outer - width / 2) * std::sin(angle), c.y - (outer - width / 2) * std::cos(angle)));
    spoke->setLineWidth(width);
    spoke->setLineCapStyle(kCGLineCapRound);
    spoke->stroke();
  }
}
