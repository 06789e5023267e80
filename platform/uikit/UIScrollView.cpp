#include "platform/uikit/UIScrollView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSRunLoop.h"
#include "platform/graphics/UIScreen.h"
#include "platform/quartzcore/CAAnimation.h"
#include "platform/uikit/ControllerHooks.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIWindow.h"

namespace zvt::ui {

namespace {

constexpr double kRubberBand = 0.55;
// The spring that brings content back to an edge (critically damped, radians per second).
constexpr double kSpring = 15;
constexpr double kFrame = 1.0 / 60;
constexpr NSTimeInterval kAnimationDuration = 0.3;
// A flick faster than this (points per millisecond) turns the page.
constexpr double kPageFlick = 0.3;

double pixel() {
  double scale = UIScreen::mainScreen()->scale();
  return 1.0 / (scale > 0 ? scale : 1);
}

double roundToPixel(double v) {
  double p = pixel();
  return std::floor(v / p + 0.5) * p;
}

double now() { return CACurrentMediaTime(); }

}  // namespace

CGFloat rubberBandDistance(CGFloat distance, CGFloat dimension) {
  if (dimension <= 0) return 0;
  return (1 - 1 / (distance * kRubberBand / dimension + 1)) * dimension;
}

namespace {
// Inverse of the rubber band: the pull that shows as `shown` points.
CGFloat unbandDistance(CGFloat shown, CGFloat dimension) {
  if (dimension <= 0 || shown >= dimension) return shown;
  return (1 / (1 - shown / dimension) - 1) * dimension / kRubberBand;
}
}  // namespace

// The scroll view's own pan: tells it when a finger comes down and lifts, fails for a drag
// along an axis it cannot scroll (so nested scroll views of other axes get it), and reports
// its states to the scroll view's observers.
class ScrollViewPanGestureRecognizer : public UIPanGestureRecognizer {
 public:
  std::weak_ptr<UIScrollView> scrollView;

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override {
    bool first = numberOfTouches() == (touches ? touches->count() : 0);
    UIPanGestureRecognizer::touchesBegan(touches, event);
    if (auto s = scrollView.lock(); s && first) s->fingerDown();
    report();
  }
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override {
    if (state() == UIGestureRecognizerStatePossible) {
      CGPoint t = translationInView(nullptr);
      auto s = scrollView.lock();
      if (s && std::hypot(t.x, t.y) > kHysteresis) {
        bool horizontal = std::fabs(t.x) > std::fabs(t.y);
        bool can = horizontal ? s->canScrollHorizontally() : s->canScrollVertically();
        if (!can) {
          setState(UIGestureRecognizerStateFailed);
          report();
          return;
        }
      }
    }
    UIPanGestureRecognizer::touchesMoved(touches, event);
    report();
  }
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override {
    bool last = numberOfTouches() <= (touches ? touches->count() : 0);
    bool dragged = state() == UIGestureRecognizerStateBegan || state() == UIGestureRecognizerStateChanged;
    UIPanGestureRecognizer::touchesEnded(touches, event);
    report();
    if (auto s = scrollView.lock(); s && last && !dragged) s->fingerUpWithoutDrag();
  }
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override {
    bool dragged = state() == UIGestureRecognizerStateBegan || state() == UIGestureRecognizerStateChanged;
    UIPanGestureRecognizer::touchesCancelled(touches, event);
    report();
    if (auto s = scrollView.lock(); s && !dragged) s->fingerUpWithoutDrag();
  }
  void reset() override {
    UIPanGestureRecognizer::reset();
    report();
    // A recogniser that failed (another one took the touch, a drag along an axis this view
    // cannot scroll) hears no end of the touch: it starts again only once the finger is up.
    if (auto s = scrollView.lock(); s && s->tracking_ && !s->dragging_) s->fingerUpWithoutDrag();
  }
  void report() {
    if (auto s = scrollView.lock()) s->notifyPanState(s->panState_, state());
  }
};

// Motion after the finger: deceleration, springing back to an edge, snapping to a page, and
// programmatic animations, sampled by a 60 Hz timer of the main run loop. Positions are
// functions of the time since the motion began (the spring is integrated in steps of one
// millisecond), so the path does not depend on when the timer fires.
class ScrollAnimator {
 public:
  enum Kind { Deceleration, Animation, ScrollToTop };
  struct Axis {
    enum Phase { Idle, Decel, Spring, Ease } phase = Idle;
    double start = 0, distance = 0, target = 0, rate = UIScrollViewDecelerationRateNormal;
    double phaseStart = 0;  // seconds after the motion began
    bool bounces = true;
    // spring: position, velocity (points per second), time integrated to, the edge side
    double p = 0, v = 0, integrated = 0;
    bool towardsMaximum = false;
  };

  ScrollAnimator(UIScrollView& view, Kind kind) : view_(view), kind_(kind), began_(now()) {}
  ~ScrollAnimator() {
    if (timer_) timer_->invalidate();
  }

  Kind kind() const { return kind_; }
  Axis x, y;

  void start() {
    std::weak_ptr<UIScrollView> weak = view_.scrollViewSelf();
    timer_ = NSTimer::timerWithTimeInterval(kFrame, true, [weak](const std::shared_ptr<NSTimer>&) {
      if (auto view = weak.lock())
        if (auto animator = view->animator_) animator->tick();
    });
    NSRunLoop::mainRunLoop()->addTimer(timer_, NSRunLoopCommonModes);
  }

  static void decelerate(Axis& a, double from, double velocityPerMs, double rate, bool bounces) {
    a.phase = Axis::Decel;
    a.start = from;
    a.rate = rate;
    a.distance = velocityPerMs * rate / (1 - rate);
    a.target = roundToPixel(from + a.distance);
    a.distance = a.target - from;
    a.bounces = bounces;
  }
  static void decelerateTo(Axis& a, double from, double target, double rate, bool bounces) {
    a.phase = Axis::Decel;
    a.start = from;
    a.rate = rate;
    a.target = target;
    a.distance = target - from;
    a.bounces = bounces;
  }
  static void springBack(Axis& a, double from, double velocityPerSecond, bool towardsMaximum, double phaseStart) {
    a.phase = Axis::Spring;
    a.p = from;
    a.v = velocityPerSecond;
    a.phaseStart = phaseStart;
    a.integrated = phaseStart;
    a.towardsMaximum = towardsMaximum;
  }
  static void ease(Axis& a, double from, double to) {
    a.phase = Axis::Ease;
    a.start = from;
    a.target = to;
    a.distance = to - from;
  }

  void tick() {
    double elapsed = now() - began_;
    CGPoint offset = view_.contentOffset();
    CGPoint lo = view_.minimumContentOffset(), hi = view_.maximumContentOffset();
    bool moving = false;
    if (x.phase != Axis::Idle) offset.x = step(x, elapsed, lo.x, hi.x);
    if (y.phase != Axis::Idle) offset.y = step(y, elapsed, lo.y, hi.y);
    moving = x.phase != Axis::Idle || y.phase != Axis::Idle;
    auto keep = view_.scrollViewSelf();
    view_.moveContent(offset);
    if (!moving && view_.animator_.get() == this) view_.motionDidEnd(kind_);
  }

 private:
  double step(Axis& a, double elapsed, double lo, double hi) {
    switch (a.phase) {
      case Axis::Decel: {
        double ms = (elapsed - a.phaseStart) * 1000;
        double remaining = a.distance * std::pow(a.rate, ms);
        double p = a.start + a.distance - remaining;
        bool past = p < lo - 1e-9 || p > hi + 1e-9;
        if (past) {
          bool towardsMaximum = p > hi;
          double edge = towardsMaximum ? hi : lo;
          if (!a.bounces) {
            a.phase = Axis::Idle;
            return edge;
          }
          // Where the path crossed the edge, and how fast it went there.
          double crossMs = ms;
          double fraction = 1 - (edge - a.start) / a.distance;
          if (a.distance != 0 && fraction > 0 && fraction < 1) crossMs = std::log(fraction) / std::log(a.rate);
          crossMs = std::clamp(crossMs, 0.0, ms);
          bool startedOutside = a.start < lo - 1e-9 || a.start > hi + 1e-9;
          double from = startedOutside ? p : edge;
          double velocity = a.distance * -std::log(a.rate) * std::pow(a.rate, crossMs) * 1000;
          springBack(a, from, velocity, towardsMaximum, a.phaseStart + (startedOutside ? ms : crossMs) / 1000);
          return step(a, elapsed, lo, hi);
        }
        if (std::fabs(remaining) < 0.1) {
          a.phase = Axis::Idle;
          return a.target;
        }
        return p;
      }
      case Axis::Spring: {
        // Towards the edge on the side it went out (which may move while it springs).
        double edge = a.towardsMaximum ? hi : lo;
        // An edge that moved past the content (a page appended under a list bouncing at its
        // end) leaves nothing to spring back from: the content rests where it is.
        if (a.towardsMaximum ? a.p < edge - 0.5 : a.p > edge + 0.5) {
          a.phase = Axis::Idle;
          return a.p;
        }
        const double dt = 0.001;
        while (a.integrated + dt <= elapsed + 1e-12) {
          double acceleration = -kSpring * kSpring * (a.p - edge) - 2 * kSpring * a.v;
          a.v += acceleration * dt;
          a.p += a.v * dt;
          a.integrated += dt;
        }
        if (std::fabs(a.p - edge) < 0.05 && std::fabs(a.v) < 2) {
          a.phase = Axis::Idle;
          return edge;
        }
        return a.p;
      }
      case Axis::Ease: {
        double u = (elapsed - a.phaseStart) / kAnimationDuration;
        if (u >= 1) {
          a.phase = Axis::Idle;
          return a.target;
        }
        double eased = u * u * (3 - 2 * u);
        return a.start + a.distance * eased;
      }
      case Axis::Idle: break;
    }
    return a.target;
  }

  UIScrollView& view_;
  Kind kind_;
  double began_;
  std::shared_ptr<NSTimer> timer_;
};

}  // namespace zvt::ui

using zvt::ui::ScrollAnimator;

UIScrollView::UIScrollView() = default;

UIScrollView::~UIScrollView() = default;

void UIScrollView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setUpScrolling();
}

// A scroll view out of a nib scrolls and clips as one made in code does.
void UIScrollView::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  setUpScrolling();
}

void UIScrollView::setUpScrolling() {
  setClipsToBounds(true);
  pan_ = std::make_shared<zvt::ui::ScrollViewPanGestureRecognizer>();
  pan_->scrollView = scrollViewSelf();
  pan_->addTarget(self(), SEL(&UIScrollView::handlePan));
  addGestureRecognizer(pan_);
}

std::shared_ptr<UIPanGestureRecognizer> UIScrollView::panGestureRecognizer() const { return pan_; }

// --- content -----------------------------------------------------------------------------------

template <class F>
void UIScrollView::eachObserver(F&& f) {
  auto observers = observers_;
  for (auto& weak : observers)
    if (auto observer = weak.lock()) f(*observer);
}

void UIScrollView::addScrollObserver(const std::shared_ptr<zvt::ui::ScrollViewObserver>& observer) {
  if (!observer) return;
  std::erase_if(observers_, [](const auto& w) { return w.expired(); });
  observers_.push_back(observer);
}

void UIScrollView::removeScrollObserver(const std::shared_ptr<zvt::ui::ScrollViewObserver>& observer) {
  std::erase_if(observers_, [&](const auto& w) {
    auto o = w.lock();
    return !o || o == observer;
  });
}

void UIScrollView::executeReloadDataBlock() {
  if (auto block = reloadDataBlock_) block(totalDataCount());
}

void UIScrollView::moveContent(CGPoint offset) {
  zvt::ui::assertMainThread("UIScrollView::setContentOffset");
  auto keep = scrollViewSelf();
  CGPoint old = contentOffset();
  if (old != offset) {
    settingOffset_ = true;
    CGRect b = bounds();
    b.origin = offset;
    setBounds(b);
    settingOffset_ = false;
  }
  eachObserver([&](zvt::ui::ScrollViewObserver& o) { o.scrollViewContentOffsetDidChange(*this, old, offset); });
  if (old != offset) {
    setNeedsLayout();
    if (auto d = delegate()) d->scrollViewDidScroll(keep);
  }
}

void UIScrollView::boundsDidChange(CGRect oldBounds) {
  UIView::boundsDidChange(oldBounds);
  if (settingOffset_ || bounds().origin == oldBounds.origin) return;
  // The origin moved through setBounds: the offset changed all the same.
  auto keep = scrollViewSelf();
  CGPoint old = oldBounds.origin, offset = bounds().origin;
  eachObserver([&](zvt::ui::ScrollViewObserver& o) { o.scrollViewContentOffsetDidChange(*this, old, offset); });
  setNeedsLayout();
  if (auto d = delegate()) d->scrollViewDidScroll(keep);
}

void UIScrollView::setContentOffset(CGPoint offset) { moveContent(offset); }

void UIScrollView::setContentOffset(CGPoint offset, bool animated) {
  zvt::ui::assertMainThread("UIScrollView::setContentOffset");
  stopMotion();
  if (!animated || offset == contentOffset()) {
    moveContent(offset);
    return;
  }
  animator_ = std::make_shared<ScrollAnimator>(*this, ScrollAnimator::Animation);
  CGPoint from = contentOffset();
  ScrollAnimator::ease(animator_->x, from.x, offset.x);
  ScrollAnimator::ease(animator_->y, from.y, offset.y);
  animator_->start();
}

void UIScrollView::setContentSize(CGSize size) {
  zvt::ui::assertMainThread("UIScrollView::setContentSize");
  auto keep = scrollViewSelf();
  CGSize old = contentSize_;
  contentSize_ = size;
  eachObserver([&](zvt::ui::ScrollViewObserver& o) { o.scrollViewContentSizeDidChange(*this, old, size); });
  if (old != size) keepOffsetInRange();
}

void UIScrollView::setContentInset(UIEdgeInsets inset) {
  zvt::ui::assertMainThread("UIScrollView::setContentInset");
  auto keep = scrollViewSelf();
  UIEdgeInsets old = contentInset_;
  contentInset_ = inset;
  eachObserver([&](zvt::ui::ScrollViewObserver& o) { o.scrollViewContentInsetDidChange(*this, old, inset); });
  if (!(old == inset)) keepOffsetInRange();
}

void UIScrollView::keepOffsetInRange() {
  if (tracking_ || dragging_ || animator_) return;
  CGPoint offset = contentOffset(), lo = minimumContentOffset(), hi = maximumContentOffset();
  CGPoint clamped{std::clamp(offset.x, lo.x, hi.x), std::clamp(offset.y, lo.y, hi.y)};
  if (clamped != offset) moveContent(clamped);
}

CGPoint UIScrollView::minimumContentOffset() const { return CGPointMake(-contentInset_.left, -contentInset_.top); }

CGPoint UIScrollView::maximumContentOffset() const {
  CGSize b = bounds().size;
  CGPoint lo = minimumContentOffset();
  return CGPointMake(std::max(lo.x, contentSize_.width + contentInset_.right - b.width),
                     std::max(lo.y, contentSize_.height + contentInset_.bottom - b.height));
}

bool UIScrollView::canScrollHorizontally() const {
  if (!scrollEnabled_) return false;
  if (alwaysBounceHorizontal_ && bounces_) return true;
  return contentSize_.width + contentInset_.left + contentInset_.right > bounds().size.width;
}

bool UIScrollView::canScrollVertically() const {
  if (!scrollEnabled_) return false;
  if (alwaysBounceVertical_ && bounces_) return true;
  return contentSize_.height + contentInset_.top + contentInset_.bottom > bounds().size.height;
}

void UIScrollView::scrollRectToVisible(CGRect rect, bool animated) {
  CGRect visible = bounds();
  CGPoint offset = visible.origin;
  if (CGRectGetMaxX(rect) > CGRectGetMaxX(visible)) offset.x = CGRectGetMaxX(rect) - visible.size.width;
  if (rect.origin.x < offset.x) offset.x = rect.origin.x;
  if (CGRectGetMaxY(rect) > CGRectGetMaxY(visible)) offset.y = CGRectGetMaxY(rect) - visible.size.height;
  if (rect.origin.y < offset.y) offset.y = rect.origin.y;
  CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
  offset.x = std::clamp(offset.x, lo.x, hi.x);
  offset.y = std::clamp(offset.y, lo.y, hi.y);
  setContentOffset(offset, animated);
}

void UIScrollView::setScrollEnabled(bool enabled) {
  scrollEnabled_ = enabled;
  if (pan_) pan_->setEnabled(enabled);
}

void UIScrollView::setDecelerationRate(UIScrollViewDecelerationRate rate) {
  if (rate > 0 && rate < 1) decelerationRate_ = rate;
}

void UIScrollView::layoutSubviews() { UIView::layoutSubviews(); }

bool UIScrollView::touchesShouldCancelInContentView(const std::shared_ptr<UIView>& view) {
  return !zvt::isKind<UIControl>(view);
}

// --- the finger ---------------------------------------------------------------------------------

void UIScrollView::notifyPanState(UIGestureRecognizerState old, UIGestureRecognizerState now) {
  if (old == now) return;
  panState_ = now;
  auto keep = scrollViewSelf();
  eachObserver([&](zvt::ui::ScrollViewObserver& o) { o.scrollViewPanStateDidChange(*this, old, now); });
}

void UIScrollView::fingerDown() {
  tracking_ = true;
  // A finger on moving content stops it where it is.
  stopMotion();
}

void UIScrollView::fingerUpWithoutDrag() {
  tracking_ = false;
  if (dragging_ || animator_) return;
  // Content stopped beyond an edge goes back.
  CGPoint offset = contentOffset(), lo = minimumContentOffset(), hi = maximumContentOffset();
  bool outX = offset.x < lo.x || offset.x > hi.x, outY = offset.y < lo.y || offset.y > hi.y;
  if (!outX && !outY) return;
  animator_ = std::make_shared<ScrollAnimator>(*this, ScrollAnimator::Deceleration);
  if (outX) ScrollAnimator::springBack(animator_->x, offset.x, 0, offset.x > hi.x, 0);
  if (outY) ScrollAnimator::springBack(animator_->y, offset.y, 0, offset.y > hi.y, 0);
  decelerating_ = true;
  auto keep = scrollViewSelf();
  if (auto d = delegate()) d->scrollViewWillBeginDecelerating(keep);
  if (animator_) animator_->start();
}

void UIScrollView::handlePan(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
  if (recognizer != pan_) return;
  pan_->report();
  switch (pan_->state()) {
    case UIGestureRecognizerStateBegan:
      beginDrag();
      break;
    case UIGestureRecognizerStateChanged:
      if (dragging_) continueDrag();
      break;
    case UIGestureRecognizerStateEnded:
      if (dragging_) endDrag(false);
      break;
    case UIGestureRecognizerStateCancelled:
      if (dragging_) endDrag(true);
      break;
    default: break;
  }
}

void UIScrollView::beginDrag() {
  auto keep = scrollViewSelf();
  stopMotion();
  tracking_ = true;
  dragging_ = true;
  // Start from the unstretched position, so that content caught beyond an edge stays put.
  CGPoint offset = contentOffset(), lo = minimumContentOffset(), hi = maximumContentOffset();
  CGSize size = bounds().size;
  auto unband = [](CGFloat v, CGFloat min, CGFloat max, CGFloat dimension) {
    if (v < min) return min - zvt::ui::unbandDistance(min - v, dimension);
    if (v > max) return max + zvt::ui::unbandDistance(v - max, dimension);
    return v;
  };
  dragOrigin_ = CGPointMake(unband(offset.x, lo.x, hi.x, size.width), unband(offset.y, lo.y, hi.y, size.height));
  dragStartPage_ = CGPointMake(size.width > 0 ? std::round(offset.x / size.width) : 0,
                               size.height > 0 ? std::round(offset.y / size.height) : 0);
  if (keyboardDismissMode_ != UIScrollViewKeyboardDismissModeNone) endEditing(true);
  if (auto d = delegate()) d->scrollViewWillBeginDragging(keep);
  if (dragging_) continueDrag();
}

void UIScrollView::continueDrag() {
  CGPoint t = pan_->translationInView(scrollViewSelf());
  CGPoint offset = contentOffset(), lo = minimumContentOffset(), hi = maximumContentOffset();
  CGSize size = bounds().size;
  auto place = [&](CGFloat wanted, CGFloat min, CGFloat max, CGFloat dimension) {
    if (wanted < min) return bounces_ ? min - zvt::ui::rubberBandDistance(min - wanted, dimension) : min;
    if (wanted > max) return bounces_ ? max + zvt::ui::rubberBandDistance(wanted - max, dimension) : max;
    return wanted;
  };
  if (canScrollHorizontally()) offset.x = place(dragOrigin_.x - t.x, lo.x, hi.x, size.width);
  if (canScrollVertically()) offset.y = place(dragOrigin_.y - t.y, lo.y, hi.y, size.height);
  moveContent(offset);
}

void UIScrollView::endDrag(bool cancelled) {
  auto keep = scrollViewSelf();
  CGPoint fingerVelocity = cancelled ? CGPointZero : pan_->velocityInView(keep);
  bool canX = canScrollHorizontally(), canY = canScrollVertically();
  // Points per millisecond, in the direction the offset moves.
  CGPoint velocity{canX ? -fingerVelocity.x / 1000 : 0, canY ? -fingerVelocity.y / 1000 : 0};
  CGPoint offset = contentOffset(), lo = minimumContentOffset(), hi = maximumContentOffset();
  CGSize size = bounds().size;
  double rate = decelerationRate_;
  CGPoint natural;
  auto project = [&](CGFloat p, CGFloat v, CGFloat min, CGFloat max) {
    if (p < min || p > max) return std::clamp(p, min, max);
    return std::clamp(static_cast<CGFloat>(zvt::ui::roundToPixel(p + v * rate / (1 - rate))), min, max);
  };
  natural.x = project(offset.x, velocity.x, lo.x, hi.x);
  natural.y = project(offset.y, velocity.y, lo.y, hi.y);
  if (pagingEnabled_) {
    auto page = [&](CGFloat p, CGFloat v, CGFloat startPage, CGFloat dimension, CGFloat min, CGFloat max) {
      if (dimension <= 0) return p;
      double current = p / dimension;
      double target = std::fabs(v) > zvt::ui::kPageFlick ? (v > 0 ? std::ceil(current) : std::floor(current))
                                                          : std::round(current);
      target = std::clamp(target, startPage - 1, startPage + 1);
      return std::clamp(static_cast<CGFloat>(target * dimension), std::max<CGFloat>(min, 0), max);
    };
    if (canX) natural.x = page(offset.x, velocity.x, dragStartPage_.x, size.width, lo.x, hi.x);
    if (canY) natural.y = page(offset.y, velocity.y, dragStartPage_.y, size.height, lo.y, hi.y);
  }
  CGPoint target = natural;
  if (auto d = delegate()) d->scrollViewWillEndDragging(keep, velocity, &target);
  bool changed = target != natural;
  dragging_ = false;
  tracking_ = false;
  auto animator = std::make_shared<ScrollAnimator>(*this, ScrollAnimator::Deceleration);
  double tiny = 0.25 * zvt::ui::pixel();
  auto plan = [&](ScrollAnimator::Axis& axis, CGFloat p, CGFloat v, CGFloat want, CGFloat min, CGFloat max, bool can) {
    if (!can) return;
    bool outside = p < min || p > max;
    if (pagingEnabled_ || changed) {
      if (std::fabs(want - p) >= tiny || outside)
        ScrollAnimator::decelerateTo(axis, p, want, pagingEnabled_ ? UIScrollViewDecelerationRateFast : rate, bounces_);
    } else if (outside) {
      ScrollAnimator::springBack(axis, p, v * 1000, p > max, 0);
    } else if (std::fabs(v * rate / (1 - rate)) >= tiny) {
      ScrollAnimator::decelerate(axis, p, v, rate, bounces_);
    }
  };
  plan(animator->x, offset.x, velocity.x, target.x, lo.x, hi.x, canX);
  plan(animator->y, offset.y, velocity.y, target.y, lo.y, hi.y, canY);
  bool decelerate = animator->x.phase != ScrollAnimator::Axis::Idle || animator->y.phase != ScrollAnimator::Axis::Idle;
  if (decelerate) {
    animator_ = std::move(animator);
    decelerating_ = true;
  }
  if (auto d = delegate()) d->scrollViewDidEndDragging(keep, decelerate);
  if (!decelerate || !animator_) return;
  if (auto d = delegate()) d->scrollViewWillBeginDecelerating(keep);
  if (animator_) animator_->start();
}

void UIScrollView::stopMotion() {
  if (!animator_) return;
  animator_.reset();
  decelerating_ = false;
}

void UIScrollView::motionDidEnd(int kind) {
  auto keep = scrollViewSelf();
  animator_.reset();
  bool wasDecelerating = decelerating_;
  decelerating_ = false;
  auto d = delegate();
  if (!d) return;
  switch (kind) {
    case ScrollAnimator::Deceleration:
      if (wasDecelerating) d->scrollViewDidEndDecelerating(keep);
      break;
    case ScrollAnimator::Animation: d->scrollViewDidEndScrollingAnimation(keep); break;
    case ScrollAnimator::ScrollToTop: d->scrollViewDidScrollToTop(keep); break;
    default: break;
  }
}

bool UIScrollView::scrollToTopFromStatusBar() {
  zvt::ui::assertMainThread("UIScrollView::scrollToTopFromStatusBar");
  auto keep = scrollViewSelf();
  if (!scrollsToTop_) return false;
  if (auto d = delegate(); d && !d->scrollViewShouldScrollToTop(keep)) return false;
  stopMotion();
  CGPoint from = contentOffset();
  CGPoint top{from.x, minimumContentOffset().y};
  if (from == top) {
    if (auto d = delegate()) d->scrollViewDidScrollToTop(keep);
    return true;
  }
  animator_ = std::make_shared<ScrollAnimator>(*this, ScrollAnimator::ScrollToTop);
  ScrollAnimator::ease(animator_->y, from.y, top.y);
  animator_->start();
  return true;
}
