#pragma once
// Gesture recognisers with UIKit's state machine. A recogniser attached to a view receives the
// touches that begin in that view or its subviews before the view does. Discrete recognisers
// (tap, swipe) go from possible to recognised (ended) or failed; continuous ones (pan, long
// press) go from possible to began, changed..., then ended or cancelled, or fail before they
// begin. Actions go to the targets at every state they reach except possible and failed.
//
// A recogniser may only leave the possible state when the delegate's gestureRecognizerShouldBegin
// and the touched views' gestureRecognizerShouldBegin agree, when every recogniser it requires
// to fail has failed (until then it waits), and when no recogniser that shares its touches has
// already begun or recognised (unless the two may recognise simultaneously). When it begins or
// recognises, the others that share its touches and are still possible fail, and with
// cancelsTouchesInView the view gets touchesCancelled for its touches instead of the rest.
// delaysTouchesBegan holds touchesBegan back from the view while the recogniser is possible;
// delaysTouchesEnded (the default) holds touchesEnded back until the recognisers have decided.
//
// Timed behaviour (the wait for a second tap, the press of a long press) runs on the main run
// loop's timers, so a virtual clock drives it.

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSSet.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/Selector.h"
#include "platform/uikit/UIEvent.h"

class UIView;
class UIGestureRecognizer;

namespace zvt::ui {
class GestureEnvironment;
}

enum UIGestureRecognizerState : NSInteger {
  UIGestureRecognizerStatePossible,
  UIGestureRecognizerStateBegan,
  UIGestureRecognizerStateChanged,
  UIGestureRecognizerStateEnded,
  UIGestureRecognizerStateCancelled,
  UIGestureRecognizerStateFailed,
  UIGestureRecognizerStateRecognized = UIGestureRecognizerStateEnded,
};

class UIGestureRecognizerDelegate {
 public:
  virtual ~UIGestureRecognizerDelegate() = default;
  virtual bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& /*recognizer*/) { return true; }
  virtual bool gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(
      const std::shared_ptr<UIGestureRecognizer>& /*recognizer*/, const std::shared_ptr<UIGestureRecognizer>& /*other*/) {
    return false;
  }
  virtual bool gestureRecognizerShouldRequireFailureOfGestureRecognizer(
      const std::shared_ptr<UIGestureRecognizer>& /*recognizer*/, const std::shared_ptr<UIGestureRecognizer>& /*other*/) {
    return false;
  }
  virtual bool gestureRecognizerShouldBeRequiredToFailByGestureRecognizer(
      const std::shared_ptr<UIGestureRecognizer>& /*recognizer*/, const std::shared_ptr<UIGestureRecognizer>& /*other*/) {
    return false;
  }
  virtual bool gestureRecognizerShouldReceiveTouch(const std::shared_ptr<UIGestureRecognizer>& /*recognizer*/,
                                                   const std::shared_ptr<UITouch>& /*touch*/) {
    return true;
  }
};

class UIGestureRecognizer : public NSObject {
 public:
  UIGestureRecognizer() = default;
  ~UIGestureRecognizer() override;

  // initWithTarget:action: for a recogniser class R.
  template <class R>
  static std::shared_ptr<R> make(const id& target, const SEL& action) {
    auto recognizer = std::make_shared<R>();
    recognizer->addTarget(target, action);
    return recognizer;
  }
  static std::shared_ptr<UIGestureRecognizer> initWithTarget(const id& target, const SEL& action) {
    return make<UIGestureRecognizer>(target, action);
  }

  // Targets are held weakly.
  void addTarget(const id& target, const SEL& action);
  // A nil target or a nil action matches any.
  void removeTarget(const id& target, const SEL& action);

  UIGestureRecognizerState state() const { return state_; }
  // For subclasses (UIGestureRecognizerSubclass): the recogniser's next state.
  void setState(UIGestureRecognizerState state);

  std::shared_ptr<UIGestureRecognizerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UIGestureRecognizerDelegate>& delegate) { delegate_ = delegate; }
  bool isEnabled() const { return enabled_; }
  // Disabling a recogniser in progress cancels (or fails) it.
  void setEnabled(bool enabled);
  std::shared_ptr<UIView> view() const { return view_.lock(); }
  bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
  void setCancelsTouchesInView(bool cancels) { cancelsTouchesInView_ = cancels; }
  bool delaysTouchesBegan() const { return delaysTouchesBegan_; }
  void setDelaysTouchesBegan(bool delays) { delaysTouchesBegan_ = delays; }
  bool delaysTouchesEnded() const { return delaysTouchesEnded_; }
  void setDelaysTouchesEnded(bool delays) { delaysTouchesEnded_ = delays; }
  // This recogniser waits until `other` fails, and fails when `other` recognises.
  void requireGestureRecognizerToFail(const std::shared_ptr<UIGestureRecognizer>& other);

  // The centroid of the touches being tracked, in the view's coordinates (nil: the window's).
  virtual CGPoint locationInView(const std::shared_ptr<UIView>& view) const;
  CGPoint locationOfTouch(NSUInteger index, const std::shared_ptr<UIView>& view) const;
  NSUInteger numberOfTouches() const;

  // --- for subclasses
  virtual void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event);
  virtual void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event);
  virtual void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event);
  virtual void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event);
  // Back to possible, forgetting what was tracked (after an end, a failure or a cancel).
  virtual void reset();
  virtual bool canPreventGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& /*other*/) const { return true; }
  virtual bool canBePreventedByGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& /*other*/) const {
    return true;
  }
  virtual bool shouldRequireFailureOfGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& /*other*/) {
    return false;
  }
  virtual bool shouldBeRequiredToFailByGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& /*other*/) {
    return false;
  }
  // Stops delivering the touch to this recogniser.
  void ignoreTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event);

  // The touches the recogniser tracks (those that are down or lifted in the current event).
  const std::vector<std::shared_ptr<UITouch>>& trackedTouches() const { return touches_; }

 protected:
  std::shared_ptr<UIGestureRecognizer> recognizerSelf() const {
    return std::const_pointer_cast<UIGestureRecognizer>(
        std::static_pointer_cast<const UIGestureRecognizer>(shared_from_this()));
  }
  // A run-loop timer of the recogniser, cancelled by reset.
  void startTimer(NSTimeInterval seconds, std::function<void()> fire);
  void cancelTimer();

 private:
  friend class UIView;
  friend class zvt::ui::GestureEnvironment;
  struct Target {
    std::weak_ptr<NSObject> object;
    SEL action;
  };
  void attachToView(const std::shared_ptr<UIView>& view);

  UIGestureRecognizerState state_ = UIGestureRecognizerStatePossible;
  // The state asked for while recognisers this one requires to fail are still possible.
  UIGestureRecognizerState pending_ = UIGestureRecognizerStatePossible;
  bool actionDue_ = false;
  std::vector<Target> targets_;
  std::weak_ptr<UIGestureRecognizerDelegate> delegate_;
  std::weak_ptr<UIView> view_;
  std::vector<std::weak_ptr<UIGestureRecognizer>> requiredToFail_;
  std::vector<std::shared_ptr<UITouch>> touches_;
  std::shared_ptr<NSTimer> timer_;
  bool enabled_ = true;
  bool cancelsTouchesInView_ = true;
  bool delaysTouchesBegan_ = false;
  bool delaysTouchesEnded_ = true;
};

// Taps: recognised when the required number of taps, each with the required number of
// fingers, ends without a finger moving more than 10 points; each next tap must begin within
// 0.35 s of the last one ending.
class UITapGestureRecognizer : public UIGestureRecognizer {
 public:
  static constexpr CGFloat kAllowableMovement = 10;
  static constexpr NSTimeInterval kMaximumTapInterval = 0.35;

  static std::shared_ptr<UITapGestureRecognizer> initWithTarget(const id& target, const SEL& action) {
    return make<UITapGestureRecognizer>(target, action);
  }
  NSUInteger numberOfTapsRequired() const { return tapsRequired_; }
  void setNumberOfTapsRequired(NSUInteger taps) { tapsRequired_ = taps > 0 ? taps : 1; }
  NSUInteger numberOfTouchesRequired() const { return touchesRequired_; }
  void setNumberOfTouchesRequired(NSUInteger touches) { touchesRequired_ = touches > 0 ? touches : 1; }

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void reset() override;
  CGPoint locationInView(const std::shared_ptr<UIView>& view) const override;

 private:
  NSUInteger tapsRequired_ = 1, touchesRequired_ = 1;
  NSUInteger tapsDone_ = 0, fingersThisTap_ = 0, fingersDown_ = 0;
  std::vector<std::pair<std::weak_ptr<UITouch>, CGPoint>> starts_;  // window coordinates
  CGPoint firstTap_{}, lastLocation_{};
  bool haveFirstTap_ = false;
};

// A press held still (within allowableMovement) for minimumPressDuration begins; moves change
// it; lifting the fingers ends it.
class UILongPressGestureRecognizer : public UIGestureRecognizer {
 public:
  static std::shared_ptr<UILongPressGestureRecognizer> initWithTarget(const id& target, const SEL& action) {
    return make<UILongPressGestureRecognizer>(target, action);
  }
  NSTimeInterval minimumPressDuration() const { return minimumPressDuration_; }
  void setMinimumPressDuration(NSTimeInterval seconds) { minimumPressDuration_ = seconds; }
  CGFloat allowableMovement() const { return allowableMovement_; }
  void setAllowableMovement(CGFloat points) { allowableMovement_ = points; }
  NSUInteger numberOfTouchesRequired() const { return touchesRequired_; }
  void setNumberOfTouchesRequired(NSUInteger touches) { touchesRequired_ = touches > 0 ? touches : 1; }

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void reset() override;

 private:
  NSTimeInterval minimumPressDuration_ = 0.5;
  CGFloat allowableMovement_ = 10;
  NSUInteger touchesRequired_ = 1;
  CGPoint start_{};
};

// A drag: begins once the fingers' centroid has moved 10 points, reports the translation and
// the velocity (over the last 100 ms of movement) in a view's coordinates.
class UIPanGestureRecognizer : public UIGestureRecognizer {
 public:
  static constexpr CGFloat kHysteresis = 10;
  static constexpr NSTimeInterval kVelocityWindow = 0.1;

  static std::shared_ptr<UIPanGestureRecognizer> initWithTarget(const id& target, const SEL& action) {
    return make<UIPanGestureRecognizer>(target, action);
  }
  NSUInteger minimumNumberOfTouches() const { return minimumTouches_; }
  void setMinimumNumberOfTouches(NSUInteger touches) { minimumTouches_ = touches; }
  NSUInteger maximumNumberOfTouches() const { return maximumTouches_; }
  void setMaximumNumberOfTouches(NSUInteger touches) { maximumTouches_ = touches; }

  CGPoint translationInView(const std::shared_ptr<UIView>& view) const;
  void setTranslation(CGPoint translation, const std::shared_ptr<UIView>& view);
  // Points per second.
  CGPoint velocityInView(const std::shared_ptr<UIView>& view) const;

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void reset() override;

 private:
  struct Sample {
    double time;
    CGPoint point;  // window coordinates
  };
  CGPoint centroid() const;
  void sample(double time);
  // A vector in window coordinates into the view's (rotation and scale, no translation).
  CGPoint vectorInView(CGPoint vector, const std::shared_ptr<UIView>& view) const;

  NSUInteger minimumTouches_ = 1, maximumTouches_ = NSUIntegerMax;
  CGPoint origin_{};  // window coordinates where the translation is zero
  std::vector<Sample> samples_;
  size_t touchCount_ = 0;
};

enum UISwipeGestureRecognizerDirection : NSUInteger {
  UISwipeGestureRecognizerDirectionRight = 1 << 0,
  UISwipeGestureRecognizerDirectionLeft = 1 << 1,
  UISwipeGestureRecognizerDirectionUp = 1 << 2,
  UISwipeGestureRecognizerDirectionDown = 1 << 3,
};

// A quick stroke: recognised when the fingers have moved kMinimumDistance points in an allowed
// direction (less than half as far across it) within kMaximumDuration of coming down; fails
// when slower, turned, or lifted first.
class UISwipeGestureRecognizer : public UIGestureRecognizer {
 public:
  static constexpr CGFloat kMinimumDistance = 50;
  static constexpr NSTimeInterval kMaximumDuration = 0.5;
  // How far the fingers may go against or across the direction before the swipe fails.
  static constexpr CGFloat kAllowableDrift = 20;

  static std::shared_ptr<UISwipeGestureRecognizer> initWithTarget(const id& target, const SEL& action) {
    return make<UISwipeGestureRecognizer>(target, action);
  }
  NSUInteger direction() const { return direction_; }
  void setDirection(NSUInteger direction) { direction_ = direction; }
  NSUInteger numberOfTouchesRequired() const { return touchesRequired_; }
  void setNumberOfTouchesRequired(NSUInteger touches) { touchesRequired_ = touches > 0 ? touches : 1; }

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void reset() override;
  CGPoint locationInView(const std::shared_ptr<UIView>& view) const override;

 private:
  NSUInteger direction_ = UISwipeGestureRecognizerDirectionRight;
  NSUInteger touchesRequired_ = 1;
  CGPoint start_{}, last_{};
  double startTime_ = 0;
  bool started_ = false;
};
