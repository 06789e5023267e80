#include "ui/hud/POProgressViews.h"

#include <cmath>

#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIImage.h"

namespace {
const float kPi = static_cast<float>(M_PI);
}

// --- round

void PORoundProgressView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setBackgroundColor(UIColor::clearColor());
  setOpaque(false);
  progressTintColor_ = UIColor::colorWithWhite(1, 1);
  backgroundTintColor_ = UIColor::colorWithWhite(1, 0.1);
}

void PORoundProgressView::setProgress(float progress) {
  progress_ = progress;
  setNeedsDisplay();
}
void PORoundProgressView::setProgressTintColor(const std::shared_ptr<UIColor>& color) {
  progressTintColor_ = color;
  setNeedsDisplay();
}
void PORoundProgressView::setBackgroundTintColor(const std::shared_ptr<UIColor>& color) {
  backgroundTintColor_ = color;
  setNeedsDisplay();
}
void PORoundProgressView::setAnnular(bool annular) {
  annular_ = annular;
  setNeedsDisplay();
}

void PORoundProgressView::drawRect(CGRect) {
  CGRect b = bounds();
  CGPoint centre = CGPointMake(b.size.width / 2, b.size.height / 2);
  float start = -kPi / 2;
  float end = start + 2 * kPi * progress_;
  if (annular_) {
    // The current system's ring: thin, with square caps.
    const CGFloat lineWidth = 2;
    CGFloat radius = (b.size.width - lineWidth) / 2;
    auto background = UIBezierPath::bezierPath();
    background->setLineWidth(lineWidth);
    background->setLineCapStyle(kCGLineCapButt);
    background->addArcWithCenter(centre, radius, start, start + 2 * kPi, true);
    if (backgroundTintColor_) backgroundTintColor_->setStroke();
    background->stroke();
    auto arc = UIBezierPath::bezierPath();
    arc->setLineWidth(lineWidth);
    arc->setLineCapStyle(kCGLineCapSquare);
    arc->addArcWithCenter(centre, radius, start, end, true);
    if (progressTintColor_) progressTintColor_->setStroke();
    if (progress_ > 0) arc->stroke();
    return;
  }
  auto circle = UIBezierPath::bezierPathWithOvalInRect(CGRectInset(b, 2, 2));
  circle->setLineWidth(2);
  if (backgroundTintColor_) backgroundTintColor_->setFill();
  circle->fill();
  if (progressTintColor_) progressTintColor_->setStroke();
  circle->stroke();
  if (progress_ <= 0) return;
  auto sector = UIBezierPath::bezierPath();
  sector->moveToPoint(centre);
  sector->addArcWithCenter(centre, (b.size.width - 4) / 2, start, end, true);
  sector->closePath();
  if (progressTintColor_) progressTintColor_->setFill();
  sector->fill();
}

// --- bar

void POBarProgressView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setBackgroundColor(UIColor::clearColor());
  setOpaque(false);
  lineColor_ = UIColor::whiteColor();
  progressColor_ = UIColor::whiteColor();
  progressRemainingColor_ = UIColor::clearColor();
}

void POBarProgressView::setProgress(float progress) {
  progress_ = progress;
  setNeedsDisplay();
}
void POBarProgressView::setLineColor(const std::shared_ptr<UIColor>& color) {
  lineColor_ = color;
  setNeedsDisplay();
}
void POBarProgressView::setProgressRemainingColor(const std::shared_ptr<UIColor>& color) {
  progressRemainingColor_ = color;
  setNeedsDisplay();
}
void POBarProgressView::setProgressColor(const std::shared_ptr<UIColor>& color) {
  progressColor_ = color;
  setNeedsDisplay();
}

void POBarProgressView::drawRect(CGRect rect) {
  CGFloat W = rect.size.width, H = rect.size.height;
  float r = static_cast<float>(H / 2 - 2);
  // The outline.
  auto outline = UIBezierPath::bezierPath();
  outline->setLineWidth(2);
  outline->moveToPoint(CGPointMake(2, H / 2));
  outline->addArcWithCenter(CGPointMake(2 + r, H / 2), r, kPi, 3 * kPi / 2, true);
  outline->addLineToPoint(CGPointMake(W - r - 2, 2));
  outline->addArcWithCenter(CGPointMake(W - r - 2, H / 2), r, -kPi / 2, kPi / 2, true);
  outline->addLineToPoint(CGPointMake(2 + r, H - 2));
  outline->addArcWithCenter(CGPointMake(2 + r, H / 2), r, kPi / 2, kPi, true);
  outline->closePath();
  if (progressRemainingColor_) progressRemainingColor_->setFill();
  outline->fill();
  if (lineColor_) lineColor_->setStroke();
  outline->stroke();

  // The filled part.
  CGFloat ri = r - 2;
  CGFloat amount = progress_ * W;
  if (amount <= 0) return;
  if (progressColor_) progressColor_->setFill();
  auto fill = UIBezierPath::bezierPath();
  CGFloat mid = H / 2;
  if (amount >= ri + 4 && amount <= W - ri - 4) {
    fill->moveToPoint(CGPointMake(4, mid));
    fill->addArcWithCenter(CGPointMake(4 + ri, mid), ri, kPi, 3 * kPi / 2, true);
    fill->addLineToPoint(CGPointMake(amount, 4));
    fill->addLineToPoint(CGPointMake(amount, H - 4));
    fill->addLineToPoint(CGPointMake(4 + ri, H - 4));
    fill->addArcWithCenter(CGPointMake(4 + ri, mid), ri, kPi / 2, kPi, true);
  } else if (amount > ri + 4) {
    CGFloat x = amount - (W - ri - 4);
    double angle = std::acos(x / ri);
    if (std::isnan(angle)) angle = 0;
    fill->moveToPoint(CGPointMake(4, mid));
    fill->addArcWithCenter(CGPointMake(4 + ri, mid), ri, kPi, 3 * kPi / 2, true);
    fill->addLineToPoint(CGPointMake(W - ri - 4, 4));
    fill->addArcWithCenter(CGPointMake(W - ri - 4, mid), ri, -kPi / 2, -angle, true);
    fill->addLineToPoint(CGPointMake(amount, mid));
    fill->addArcWithCenter(CGPointMake(W - ri - 4, mid), ri, angle, kPi / 2, true);
    fill->addLineToPoint(CGPointMake(4 + ri, H - 4));
    fill->addArcWithCenter(CGPointMake(4 + ri, mid), ri, kPi / 2, kPi, true);
  } else {
    fill->moveToPoint(CGPointMake(4, mid));
    fill->addArcWithCenter(CGPointMake(4 + ri, mid), ri, kPi, 3 * kPi / 2, true);
    fill->addLineToPoint(CGPointMake(4 + ri, H - 4));
    fill->addArcWithCenter(CGPointMake(4 + ri, mid), ri, kPi / 2, kPi, true);
  }
  fill->closePath();
  fill->fill();
}
