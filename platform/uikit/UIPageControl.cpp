#include "platform/uikit/UIPageControl.h"

#include <algorithm>

#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIKitMainThread.h"

namespace {
constexpr CGFloat kDot = 7;
constexpr CGFloat kGap = 9;
constexpr CGFloat kHeight = 37;
}  // namespace

void UIPageControl::setUpWithFrame(CGRect frame) {
  UIControl::setUpWithFrame(frame);
  setOpaque(false);
}

void UIPageControl::setUpWithCoder(CGRect frame) {
  UIControl::setUpWithCoder(frame);
  setOpaque(false);
}

void UIPageControl::setNumberOfPages(NSInteger pages) {
  zvt::ui::assertMainThread("UIPageControl::setNumberOfPages");
  numberOfPages_ = std::max<NSInteger>(pages, 0);
  currentPage_ = std::clamp<NSInteger>(currentPage_, 0, std::max<NSInteger>(numberOfPages_ - 1, 0));
  updateHidden();
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

void UIPageControl::setCurrentPage(NSInteger page) {
  zvt::ui::assertMainThread("UIPageControl::setCurrentPage");
  currentPage_ = std::clamp<NSInteger>(page, 0, std::max<NSInteger>(numberOfPages_ - 1, 0));
  setNeedsDisplay();
}

void UIPageControl::setHidesForSinglePage(bool hides) {
  hidesForSinglePage_ = hides;
  updateHidden();
}

void UIPageControl::updateHidden() {
  bool hide = hidesForSinglePage_ && numberOfPages_ <= 1;
  if (hide == hiddenForSinglePage_) return;
  hiddenForSinglePage_ = hide;
  setHidden(hide);
}

void UIPageControl::setPageIndicatorTintColor(const std::shared_ptr<UIColor>& color) {
  pageIndicatorTintColor_ = color;
  setNeedsDisplay();
}

void UIPageControl::setCurrentPageIndicatorTintColor(const std::shared_ptr<UIColor>& color) {
  currentPageIndicatorTintColor_ = color;
  setNeedsDisplay();
}

CGSize UIPageControl::sizeForNumberOfPages(NSInteger pages) const {
  if (pages <= 0) return CGSizeMake(0, kHeight);
  return CGSizeMake(static_cast<CGFloat>(pages) * (kDot + kGap) - kGap, kHeight);
}

CGSize UIPageControl::sizeThatFits(CGSize) const { return sizeForNumberOfPages(numberOfPages_); }

CGSize UIPageControl::intrinsicContentSize() const { return sizeForNumberOfPages(numberOfPages_); }

CGFloat UIPageControl::firstDotX() const {
  CGRect b = bounds();
  return CGRectGetMidX(b) - sizeForNumberOfPages(numberOfPages_).width / 2;
}

void UIPageControl::drawRect(CGRect) {
  CGFloat x = firstDotX();
  CGFloat y = CGRectGetMidY(bounds()) - kDot / 2;
  for (NSInteger i = 0; i < numberOfPages_; ++i) {
    auto color = i == currentPage_
                     ? (currentPageIndicatorTintColor_ ? currentPageIndicatorTintColor_ : UIColor::whiteColor())
                     : (pageIndicatorTintColor_ ? pageIndicatorTintColor_ : UIColor::colorWithWhite(1, 0.2));
    color->setFill();
    UIBezierPath::bezierPathWithOvalInRect(CGRectMake(x, y, kDot, kDot))->fill();
    x += kDot + kGap;
  }
}

void UIPageControl::endTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event) {
  UIControl::endTrackingWithTouch(touch, event);
  if (!isTouchInside() || numberOfPages_ == 0) return;
  CGFloat current = firstDotX() + static_cast<CGFloat>(currentPage_) * (kDot + kGap) + kDot / 2;
  NSInteger page = touch->locationInView(viewSelf()).x > current ? currentPage_ + 1 : currentPage_ - 1;
  if (page < 0 || page >= numberOfPages_) return;
  currentPage_ = page;
  if (!defersCurrentPageDisplay_) setNeedsDisplay();
  sendActions(UIControlEventValueChanged, event);
}
