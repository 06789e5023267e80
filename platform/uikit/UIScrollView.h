#pragma once
// Scroll views (UIScrollView): a view whose bounds origin is the content offset, moved by its
// pan recogniser with UIKit's physics on the run loop's clock.
//
// - While dragged, the content follows the finger from where it came down; beyond an edge it
//   follows the rubber band d * (1 - 1 / (x * 0.55 / d + 1)) for x points of pull on a view d
//   points long (with bounces; without, it stops at the edge).
// - Let go, it decelerates from the finger's speed by `decelerationRate` per millisecond (0.998,
//   or 0.99 fast), coming to rest at offset + v * r / (1 - r) (v in points per millisecond):
//   the target that scrollViewWillEndDragging reports and the delegate may change. A content
//   that runs past an edge, or is let go beyond one, springs back to it (critically damped,
//   settling in about half a second). A paging scroll view comes to rest on a multiple of its
//   bounds size: the next page in the direction of a flick, else the nearest.
// - The delegate hears UIKit's order: will begin dragging, did scroll (for every change of the
//   offset, also programmatic ones and those made from inside did scroll), will end dragging
//   (velocity, target), did end dragging (decelerate), will begin decelerating, did end
//   decelerating; did end scrolling animation after setContentOffset(animated); should/did
//   scroll to top for a tap on the status bar.
// - Observers (zvt::ui::ScrollViewObserver) hear every set of the offset, the content size and
//   the content inset with the old and the new value, and every state of the pan recogniser,
//   inside animation blocks too: where the toolkit's pull-to-refresh controls attach.
// - Changing the inset or the content size while nothing moves the content brings an offset
//   outside the allowed range back to its nearest edge.
//
// Scroll indicators are not drawn (their flags are kept). Main thread only.

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIView.h"

class UIScrollView;

using UIScrollViewDecelerationRate = CGFloat;
inline constexpr UIScrollViewDecelerationRate UIScrollViewDecelerationRateNormal = 0.998;
inline constexpr UIScrollViewDecelerationRate UIScrollViewDecelerationRateFast = 0.99;

enum UIScrollViewIndicatorStyle : NSInteger {
  UIScrollViewIndicatorStyleDefault,
  UIScrollViewIndicatorStyleBlack,
  UIScrollViewIndicatorStyleWhite,
};

enum UIScrollViewKeyboardDismissMode : NSInteger {
  UIScrollViewKeyboardDismissModeNone,
  UIScrollViewKeyboardDismissModeOnDrag,
  UIScrollViewKeyboardDismissModeInteractive,
};

// UIScrollViewDelegate. Table and collection view delegates derive from it virtually, so that
// one object may serve as several kinds of delegate.
class UIScrollViewDelegate {
 public:
  virtual ~UIScrollViewDelegate() = default;
  virtual void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& /*scrollView*/) {}
  virtual void scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>& /*scrollView*/) {}
  // velocity in points per millisecond; *targetContentOffset may be changed.
  virtual void scrollViewWillEndDragging(const std::shared_ptr<UIScrollView>& /*scrollView*/, CGPoint /*velocity*/,
                                         CGPoint* /*targetContentOffset*/) {}
  virtual void scrollViewDidEndDragging(const std::shared_ptr<UIScrollView>& /*scrollView*/, bool /*decelerate*/) {}
  virtual void scrollViewWillBeginDecelerating(const std::shared_ptr<UIScrollView>& /*scrollView*/) {}
  virtual void scrollViewDidEndDecelerating(const std::shared_ptr<UIScrollView>& /*scrollView*/) {}
  virtual void scrollViewDidEndScrollingAnimation(const std::shared_ptr<UIScrollView>& /*scrollView*/) {}
  virtual bool scrollViewShouldScrollToTop(const std::shared_ptr<UIScrollView>& /*scrollView*/) { return true; }
  virtual void scrollViewDidScrollToTop(const std::shared_ptr<UIScrollView>& /*scrollView*/) {}
};

namespace zvt::ui {

// What the toolkit's extensions hear of a scroll view (where the original observed key paths).
// Observers are held weakly and called in the order they were added.
class ScrollViewObserver {
 public:
  virtual ~ScrollViewObserver() = default;
  virtual void scrollViewContentOffsetDidChange(UIScrollView& /*scrollView*/, CGPoint /*old*/, CGPoint /*now*/) {}
  virtual void scrollViewContentSizeDidChange(UIScrollView& /*scrollView*/, CGSize /*old*/, CGSize /*now*/) {}
  virtual void scrollViewContentInsetDidChange(UIScrollView& /*scrollView*/, UIEdgeInsets /*old*/,
                                               UIEdgeInsets /*now*/) {}
  virtual void scrollViewPanStateDidChange(UIScrollView& /*scrollView*/, UIGestureRecognizerState /*old*/,
                                           UIGestureRecognizerState /*now*/) {}
};

class ScrollAnimator;
class ScrollViewPanGestureRecognizer;

// The rubber band: how far content pulled `distance` points past an edge of a view
// `dimension` points long appears to move.
CGFloat rubberBandDistance(CGFloat distance, CGFloat dimension);

}  // namespace zvt::ui

class UIScrollView : public UIView {
 public:
  UIScrollView();
  ~UIScrollView() override;
  static std::shared_ptr<UIScrollView> initWithFrame(CGRect frame) { return makeView<UIScrollView>(frame); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  // --- content
  CGPoint contentOffset() const { return bounds().origin; }
  void setContentOffset(CGPoint offset);
  // Animated: moves there over 0.3 s, then scrollViewDidEndScrollingAnimation. Either form
  // stops a deceleration or an animation that is running.
  void setContentOffset(CGPoint offset, bool animated);
  CGSize contentSize() const { return contentSize_; }
  void setContentSize(CGSize size);
  UIEdgeInsets contentInset() const { return contentInset_; }
  void setContentInset(UIEdgeInsets inset);
  UIEdgeInsets scrollIndicatorInsets() const { return scrollIndicatorInsets_; }
  void setScrollIndicatorInsets(UIEdgeInsets insets) { scrollIndicatorInsets_ = insets; }
  // Scrolls as little as needed to show the rectangle (content coordinates).
  void scrollRectToVisible(CGRect rect, bool animated);

  // --- behaviour
  bool bounces() const { return bounces_; }
  void setBounces(bool bounces) { bounces_ = bounces; }
  bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
  void setAlwaysBounceVertical(bool bounce) { alwaysBounceVertical_ = bounce; }
  bool alwaysBounceHorizontal() const { return alwaysBounceHorizontal_; }
  void setAlwaysBounceHorizontal(bool bounce) { alwaysBounceHorizontal_ = bounce; }
  bool isPagingEnabled() const { return pagingEnabled_; }
  void setPagingEnabled(bool paging) { pagingEnabled_ = paging; }
  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool enabled);
  bool isDirectionalLockEnabled() const { return directionalLockEnabled_; }
  void setDirectionalLockEnabled(bool locked) { directionalLockEnabled_ = locked; }
  bool showsHorizontalScrollIndicator() const { return showsHorizontalScrollIndicator_; }
  void setShowsHorizontalScrollIndicator(bool shows) { showsHorizontalScrollIndicator_ = shows; }
  bool showsVerticalScrollIndicator() const { return showsVerticalScrollIndicator_; }
  void setShowsVerticalScrollIndicator(bool shows) { showsVerticalScrollIndicator_ = shows; }
  UIScrollViewIndicatorStyle indicatorStyle() const { return indicatorStyle_; }
  void setIndicatorStyle(UIScrollViewIndicatorStyle style) { indicatorStyle_ = style; }
  void flashScrollIndicators() {}
  UIScrollViewDecelerationRate decelerationRate() const { return decelerationRate_; }
  void setDecelerationRate(UIScrollViewDecelerationRate rate);
  bool scrollsToTop() const { return scrollsToTop_; }
  void setScrollsToTop(bool scrolls) { scrollsToTop_ = scrolls; }
  bool delaysContentTouches() const { return delaysContentTouches_; }
  void setDelaysContentTouches(bool delays) { delaysContentTouches_ = delays; }
  bool canCancelContentTouches() const { return canCancelContentTouches_; }
  void setCanCancelContentTouches(bool cancels) { canCancelContentTouches_ = cancels; }
  UIScrollViewKeyboardDismissMode keyboardDismissMode() const { return keyboardDismissMode_; }
  void setKeyboardDismissMode(UIScrollViewKeyboardDismissMode mode) { keyboardDismissMode_ = mode; }

  // --- state
  // A finger is on the content (it may not have moved yet).
  bool isTracking() const { return tracking_; }
  // The content follows a finger.
  bool isDragging() const { return dragging_; }
  // Moving on after the finger let go (decelerating, springing back or snapping to a page).
  bool isDecelerating() const { return decelerating_; }
  std::shared_ptr<UIPanGestureRecognizer> panGestureRecognizer() const;

  std::shared_ptr<UIScrollViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UIScrollViewDelegate>& delegate) { delegate_ = delegate; }

  // --- the toolkit's hooks
  void addScrollObserver(const std::shared_ptr<zvt::ui::ScrollViewObserver>& observer);
  void removeScrollObserver(const std::shared_ptr<zvt::ui::ScrollViewObserver>& observer);
  // The reload-data hook: tables and collection views call executeReloadDataBlock after every
  // reloadData, which hands the block totalDataCount (rows or items over all sections; 0 for
  // other scroll views).
  using ReloadDataBlock = std::function<void(NSInteger totalDataCount)>;
  const ReloadDataBlock& reloadDataBlock() const { return reloadDataBlock_; }
  void setReloadDataBlock(ReloadDataBlock block) { reloadDataBlock_ = std::move(block); }
  virtual NSInteger totalDataCount() const { return 0; }
  void executeReloadDataBlock();

  // The range the offset rests in: from -inset to content + inset - bounds (never below the
  // start), per axis.
  CGPoint minimumContentOffset() const;
  CGPoint maximumContentOffset() const;
  // Whether a drag moves the content along the axis.
  bool canScrollHorizontally() const;
  bool canScrollVertically() const;

  // Scrolls to the top for a tap on the status bar (as the system does for the one scroll view
  // of the key window that scrollsToTop): asks the delegate, animates, then did scroll to top.
  // Returns whether it scrolled.
  bool scrollToTopFromStatusBar();

  void layoutSubviews() override;

 protected:
  void boundsDidChange(CGRect oldBounds) override;
  // Whether the content may scroll now for touches in `view` (UIKit's touchesShouldBegin...).
  virtual bool touchesShouldCancelInContentView(const std::shared_ptr<UIView>& view);
  std::shared_ptr<UIScrollView> scrollViewSelf() const {
    return std::static_pointer_cast<UIScrollView>(viewSelf());
  }

 private:
  void setUpScrolling();  // what both ways of making one install: clipping and the pan
  friend class zvt::ui::ScrollAnimator;
  friend class zvt::ui::ScrollViewPanGestureRecognizer;
  void handlePan(const std::shared_ptr<UIGestureRecognizer>& recognizer);
  void fingerDown();
  void fingerUpWithoutDrag();
  void beginDrag();
  void continueDrag();
  void endDrag(bool cancelled);
  // Sets the offset as the physics does (not stopping it), with observers and did scroll.
  void moveContent(CGPoint offset);
  void stopMotion();
  void motionDidEnd(int kind);
  void keepOffsetInRange();
  void notifyPanState(UIGestureRecognizerState old, UIGestureRecognizerState now);
  template <class F>
  void eachObserver(F&& f);

  CGSize contentSize_{};
  UIEdgeInsets contentInset_{};
  UIEdgeInsets scrollIndicatorInsets_{};
  std::weak_ptr<UIScrollViewDelegate> delegate_;
  std::vector<std::weak_ptr<zvt::ui::ScrollViewObserver>> observers_;
  ReloadDataBlock reloadDataBlock_;
  std::shared_ptr<zvt::ui::ScrollViewPanGestureRecognizer> pan_;
  std::shared_ptr<zvt::ui::ScrollAnimator> animator_;
  UIScrollViewDecelerationRate decelerationRate_ = UIScrollViewDecelerationRateNormal;
  UIScrollViewIndicatorStyle indicatorStyle_ = UIScrollViewIndicatorStyleDefault;
  UIScrollViewKeyboardDismissMode keyboardDismissMode_ = UIScrollViewKeyboardDismissModeNone;
  // Where a drag started, with any rubber band taken out, and its page.
  CGPoint dragOrigin_{};
  CGPoint dragStartPage_{};
  UIGestureRecognizerState panState_ = UIGestureRecognizerStatePossible;
  bool settingOffset_ = false;
  bool bounces_ = true;
  bool alwaysBounceVertical_ = false;
  bool alwaysBounceHorizontal_ = false;
  bool pagingEnabled_ = false;
  bool scrollEnabled_ = true;
  bool directionalLockEnabled_ = false;
  bool showsHorizontalScrollIndicator_ = true;
  bool showsVerticalScrollIndicator_ = true;
  bool scrollsToTop_ = true;
  bool delaysContentTouches_ = true;
  bool canCancelContentTouches_ = true;
  bool tracking_ = false;
  bool dragging_ = false;
  bool decelerating_ = false;
};
