#pragma once
// Page controls (UIPageControl): a row of dots, one per page, the current one in its own colour.
// A tap on the right of the current dot moves one page on, on its left one page back, and
// sends UIControlEventValueChanged; the current page set from code sends nothing. Dots are 7
// points wide, 9 points apart; the control is 37 points high.

#include <memory>

#include "platform/uikit/UIControl.h"

class UIPageControl : public UIControl {
 public:
  static std::shared_ptr<UIPageControl> initWithFrame(CGRect frame) { return makeView<UIPageControl>(frame); }
  static std::shared_ptr<UIPageControl> make() { return makeView<UIPageControl>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  NSInteger numberOfPages() const { return numberOfPages_; }
  void setNumberOfPages(NSInteger pages);
  // Kept within 0 ... numberOfPages - 1.
  NSInteger currentPage() const { return currentPage_; }
  void setCurrentPage(NSInteger page);
  bool hidesForSinglePage() const { return hidesForSinglePage_; }
  void setHidesForSinglePage(bool hides);
  bool defersCurrentPageDisplay() const { return defersCurrentPageDisplay_; }
  void setDefersCurrentPageDisplay(bool defers) { defersCurrentPageDisplay_ = defers; }
  void updateCurrentPageDisplay() { setNeedsDisplay(); }
  // Nil: white at a fifth of its opacity, and white.
  const std::shared_ptr<UIColor>& pageIndicatorTintColor() const { return pageIndicatorTintColor_; }
  void setPageIndicatorTintColor(const std::shared_ptr<UIColor>& color);
  const std::shared_ptr<UIColor>& currentPageIndicatorTintColor() const { return currentPageIndicatorTintColor_; }
  void setCurrentPageIndicatorTintColor(const std::shared_ptr<UIColor>& color);

  CGSize sizeForNumberOfPages(NSInteger pages) const;
  CGSize sizeThatFits(CGSize size) const override;
  CGSize intrinsicContentSize() const override;
  void drawRect(CGRect rect) override;

 protected:
  bool takesTapsBeforeRecognizers() const override { return true; }
  void endTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event) override;

 private:
  void updateHidden();
  // The x of the first dot's left edge in the bounds.
  CGFloat firstDotX() const;

  std::shared_ptr<UIColor> pageIndicatorTintColor_;
  std::shared_ptr<UIColor> currentPageIndicatorTintColor_;
  NSInteger numberOfPages_ = 0;
  NSInteger currentPage_ = 0;
  bool hidesForSinglePage_ = false;
  bool defersCurrentPageDisplay_ = false;
  bool hiddenForSinglePage_ = false;
};
