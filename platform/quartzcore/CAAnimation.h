#pragma once
// Explicit animations (CAAnimation and its subclasses): kept on a layer under a key, they
// change what the layer's presentation shows between their begin time and their end, on the
// run loop's clock (CACurrentMediaTime). The model value of the property is not touched.
//
// Values are boxed as the original's are: NSNumber for scalars, NSValue for points, sizes,
// rectangles and CATransform3D (valueWithCATransform3D), CGColor for colours, CGImage for
// contents.

#include <memory>
#include <optional>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/quartzcore/CALayerProperties.h"
#include "platform/quartzcore/CAMediaTimingFunction.h"
#include "platform/quartzcore/internal/AnimationValues.h"

class CALayer;
class CAAnimation;

namespace zvt::ca {
struct TransactionTracker;
class AnimationClock;
}

using CFTimeInterval = double;

// Seconds on the run loop's monotonic clock (Clock::nowNanos), the time base of animations.
CFTimeInterval CACurrentMediaTime();

// fillMode values.
inline const zvt::StaticString kCAFillModeRemoved{"removed"};
inline const zvt::StaticString kCAFillModeForwards{"forwards"};
inline const zvt::StaticString kCAFillModeBackwards{"backwards"};
inline const zvt::StaticString kCAFillModeBoth{"both"};

// calculationMode values of key-frame animations.
inline const zvt::StaticString kCAAnimationLinear{"linear"};
inline const zvt::StaticString kCAAnimationDiscrete{"discrete"};
inline const zvt::StaticString kCAAnimationPaced{"paced"};

// Transition types and subtypes.
inline const zvt::StaticString kCATransitionFade{"fade"};
inline const zvt::StaticString kCATransitionMoveIn{"moveIn"};
inline const zvt::StaticString kCATransitionPush{"push"};
inline const zvt::StaticString kCATransitionReveal{"reveal"};
inline const zvt::StaticString kCATransitionFromRight{"fromRight"};
inline const zvt::StaticString kCATransitionFromLeft{"fromLeft"};
inline const zvt::StaticString kCATransitionFromTop{"fromTop"};
inline const zvt::StaticString kCATransitionFromBottom{"fromBottom"};

// An action a layer runs when one of its properties changes (CAAction). Animations are
// actions: running one adds a copy of it to the layer under the key.
class CAAction {
 public:
  virtual ~CAAction() = default;
  // runActionForKey:object:arguments: — `previousValue` is the property's value before the change.
  virtual void runActionForKey(const std::shared_ptr<NSString>& key, CALayer& layer, const id& previousValue) = 0;
};

// The answer that ends the search for a layer's action with no action (NSNull in the original).
const std::shared_ptr<CAAction>& CANullAction();

// CAAnimationDelegate. The animation holds its delegate strongly, as the original does.
class CAAnimationDelegate {
 public:
  virtual ~CAAnimationDelegate() = default;
  virtual void animationDidStart(const std::shared_ptr<CAAnimation>& /*animation*/) {}
  // `finished` is true when the animation ran to its end, false when it was removed first.
  virtual void animationDidStop(const std::shared_ptr<CAAnimation>& /*animation*/, bool /*finished*/) {}
};

class CAAnimation : public NSObject, public CAAction {
 public:
  CAAnimation() = default;
  CAAnimation(const CAAnimation&) = default;
  static std::shared_ptr<CAAnimation> animation() { return std::make_shared<CAAnimation>(); }

  // CAMediaTiming. beginTime 0 means "when added"; duration 0 means 0.25 s.
  CFTimeInterval beginTime() const { return beginTime_; }
  void setBeginTime(CFTimeInterval time) { beginTime_ = time; }
  CFTimeInterval duration() const { return duration_; }
  void setDuration(CFTimeInterval duration) { duration_ = duration; }
  double speed() const { return speed_; }
  void setSpeed(double speed) { speed_ = speed; }
  CFTimeInterval timeOffset() const { return timeOffset_; }
  void setTimeOffset(CFTimeInterval offset) { timeOffset_ = offset; }
  // HUGE_VALF repeats for ever.
  float repeatCount() const { return repeatCount_; }
  void setRepeatCount(float count) { repeatCount_ = count; }
  CFTimeInterval repeatDuration() const { return repeatDuration_; }
  void setRepeatDuration(CFTimeInterval duration) { repeatDuration_ = duration; }
  bool autoreverses() const { return autoreverses_; }
  void setAutoreverses(bool autoreverses) { autoreverses_ = autoreverses; }
  const std::shared_ptr<NSString>& fillMode() const { return fillMode_; }
  void setFillMode(const std::shared_ptr<NSString>& mode) { fillMode_ = mode; }

  const std::shared_ptr<CAMediaTimingFunction>& timingFunction() const { return timingFunction_; }
  void setTimingFunction(const std::shared_ptr<CAMediaTimingFunction>& function) { timingFunction_ = function; }
  const std::shared_ptr<CAAnimationDelegate>& delegate() const { return delegate_; }
  void setDelegate(const std::shared_ptr<CAAnimationDelegate>& delegate) { delegate_ = delegate; }
  bool isRemovedOnCompletion() const { return removedOnCompletion_; }
  void setRemovedOnCompletion(bool removed) { removedOnCompletion_ = removed; }

  // Animations are copied when added to a layer.
  id copyWithZone() const override { return copyAnimation(); }
  virtual std::shared_ptr<CAAnimation> copyAnimation() const { return std::make_shared<CAAnimation>(*this); }

  void runActionForKey(const std::shared_ptr<NSString>& key, CALayer& layer, const id& previousValue) override;

  // --- what layers and renderers ask of an animation
  // The length of one pass (the duration, 0.25 s when 0).
  CFTimeInterval effectiveDuration() const { return duration_ > 0 ? duration_ : 0.25; }
  // Seconds from the begin time to the end in the parent's time (infinite for endless repeats).
  CFTimeInterval activeDuration() const;
  // The progress of the animation (after its timing curve) at `localTime` seconds since its
  // begin in the parent's time, or nothing when it has no effect then (before its begin
  // without a backwards fill, after its end without a forwards fill).
  std::optional<CGFloat> progressAt(CFTimeInterval localTime) const;
  // Applies the animation's values at `progress` to `properties`, whose current values are
  // those below this animation (the model with the earlier animations applied).
  virtual void apply(zvt::ca::LayerProperties& /*properties*/, CGFloat /*progress*/, CFTimeInterval /*localTime*/) const {}
  // Whether the curve of the animation is given by a timing function (springs have their own).
  virtual CGFloat curve(CGFloat fraction) const;


 private:
  friend class CALayer;
  friend class zvt::ca::AnimationClock;
  CFTimeInterval beginTime_ = 0;
  CFTimeInterval duration_ = 0;
  double speed_ = 1;
  CFTimeInterval timeOffset_ = 0;
  float repeatCount_ = 0;
  CFTimeInterval repeatDuration_ = 0;
  bool autoreverses_ = false;
  std::shared_ptr<NSString> fillMode_ = kCAFillModeRemoved;
  std::shared_ptr<CAMediaTimingFunction> timingFunction_;
  std::shared_ptr<CAAnimationDelegate> delegate_;
  bool removedOnCompletion_ = true;
  // The open transactions the animation was added in (set on the copy a layer holds).
  std::vector<std::shared_ptr<zvt::ca::TransactionTracker>> trackers_;
};

class CAPropertyAnimation : public CAAnimation {
 public:
  CAPropertyAnimation() = default;
  CAPropertyAnimation(const CAPropertyAnimation&) = default;
  static std::shared_ptr<CAPropertyAnimation> animationWithKeyPath(const std::shared_ptr<NSString>& keyPath);

  const std::shared_ptr<NSString>& keyPath() const { return keyPath_; }
  void setKeyPath(const std::shared_ptr<NSString>& keyPath);
  // The animation's value is added to the value below it instead of replacing it.
  bool isAdditive() const { return additive_; }
  void setAdditive(bool additive) { additive_ = additive; }
  bool isCumulative() const { return cumulative_; }
  void setCumulative(bool cumulative) { cumulative_ = cumulative; }

  std::shared_ptr<CAAnimation> copyAnimation() const override { return std::make_shared<CAPropertyAnimation>(*this); }

  // The parsed key path (invalid for paths the layer has no property for).
  zvt::ca::KeyPath parsedKeyPath() const { return path_; }

 protected:
  // Writes `value` for the key path into `properties`, added to what is there when additive.
  void write(zvt::ca::LayerProperties& properties, const zvt::ca::AnimValue& value) const;
  zvt::ca::AnimValue current(const zvt::ca::LayerProperties& properties) const;

 private:
  std::shared_ptr<NSString> keyPath_;
  zvt::ca::KeyPath path_;
  bool additive_ = false;
  bool cumulative_ = false;
};

class CABasicAnimation : public CAPropertyAnimation {
 public:
  CABasicAnimation() = default;
  CABasicAnimation(const CABasicAnimation&) = default;
  static std::shared_ptr<CABasicAnimation> animationWithKeyPath(const std::shared_ptr<NSString>& keyPath);

  // Missing ends are the value below the animation (from only: from -> current; to only:
  // current -> to; by: from -> from + by, or to - by -> to).
  const id& fromValue() const { return from_; }
  void setFromValue(const id& value);
  const id& toValue() const { return to_; }
  void setToValue(const id& value);
  const id& byValue() const { return by_; }
  void setByValue(const id& value);

  std::shared_ptr<CAAnimation> copyAnimation() const override { return std::make_shared<CABasicAnimation>(*this); }
  void apply(zvt::ca::LayerProperties& properties, CGFloat progress, CFTimeInterval localTime) const override;


 private:
  id from_, to_, by_;
  zvt::ca::AnimValue fromTyped_, toTyped_, byTyped_;
};

// A spring from fromValue to toValue: x'' = -stiffness (x - 1) - damping x' per unit mass,
// starting at rest or with initialVelocity (in units of the whole change per second). Its
// duration is what the caller sets (settlingDuration tells how long the spring needs).
class CASpringAnimation : public CABasicAnimation {
 public:
  CASpringAnimation() = default;
  CASpringAnimation(const CASpringAnimation&) = default;
  static std::shared_ptr<CASpringAnimation> animationWithKeyPath(const std::shared_ptr<NSString>& keyPath);

  CGFloat mass() const { return mass_; }
  void setMass(CGFloat mass) { mass_ = mass > 0 ? mass : 1; }
  CGFloat stiffness() const { return stiffness_; }
  void setStiffness(CGFloat stiffness) { stiffness_ = stiffness > 0 ? stiffness : 100; }
  CGFloat damping() const { return damping_; }
  void setDamping(CGFloat damping) { damping_ = damping >= 0 ? damping : 10; }
  CGFloat initialVelocity() const { return initialVelocity_; }
  void setInitialVelocity(CGFloat velocity) { initialVelocity_ = velocity; }
  // The time after which the spring stays within 0.1% of its end.
  CFTimeInterval settlingDuration() const;
  // The spring's position (0 at the start, 1 at rest) after `time` seconds.
  CGFloat springValue(CFTimeInterval time) const;

  std::shared_ptr<CAAnimation> copyAnimation() const override { return std::make_shared<CASpringAnimation>(*this); }
  CGFloat curve(CGFloat fraction) const override;


 private:
  CGFloat mass_ = 1, stiffness_ = 100, damping_ = 10, initialVelocity_ = 0;
};

class CAKeyframeAnimation : public CAPropertyAnimation {
 public:
  CAKeyframeAnimation() = default;
  CAKeyframeAnimation(const CAKeyframeAnimation&) = default;
  static std::shared_ptr<CAKeyframeAnimation> animationWithKeyPath(const std::shared_ptr<NSString>& keyPath);

  const std::shared_ptr<NSArray>& values() const { return values_; }
  void setValues(const std::shared_ptr<NSArray>& values);
  // NSNumbers from 0 to 1, one per value; evenly spaced when nil or of the wrong count.
  const std::shared_ptr<NSArray>& keyTimes() const { return keyTimes_; }
  void setKeyTimes(const std::shared_ptr<NSArray>& keyTimes) { keyTimes_ = keyTimes; }
  // One CAMediaTimingFunction per segment (values - 1), applied within the segment.
  const std::shared_ptr<NSArray>& timingFunctions() const { return timingFunctions_; }
  void setTimingFunctions(const std::shared_ptr<NSArray>& functions) { timingFunctions_ = functions; }
  const std::shared_ptr<NSString>& calculationMode() const { return calculationMode_; }
  void setCalculationMode(const std::shared_ptr<NSString>& mode) { calculationMode_ = mode; }

  std::shared_ptr<CAAnimation> copyAnimation() const override { return std::make_shared<CAKeyframeAnimation>(*this); }
  void apply(zvt::ca::LayerProperties& properties, CGFloat progress, CFTimeInterval localTime) const override;


 private:
  std::shared_ptr<NSArray> values_, keyTimes_, timingFunctions_;
  std::shared_ptr<NSString> calculationMode_ = kCAAnimationLinear;
};

// Animations run together in the group's time: each child's begin time is an offset into the
// group; the group's duration cuts them off.
class CAAnimationGroup : public CAAnimation {
 public:
  CAAnimationGroup() = default;
  CAAnimationGroup(const CAAnimationGroup&) = default;
  static std::shared_ptr<CAAnimationGroup> animation() { return std::make_shared<CAAnimationGroup>(); }

  const std::shared_ptr<NSArray>& animations() const { return animations_; }
  void setAnimations(const std::shared_ptr<NSArray>& animations) { animations_ = animations; }

  std::shared_ptr<CAAnimation> copyAnimation() const override { return std::make_shared<CAAnimationGroup>(*this); }
  void apply(zvt::ca::LayerProperties& properties, CGFloat progress, CFTimeInterval localTime) const override;


 private:
  std::shared_ptr<NSArray> animations_;
};

// A transition of the whole layer from what it showed to what it shows now. The layer keeps
// only the description (type, subtype, progress); the renderer draws it.
class CATransition : public CAAnimation {
 public:
  CATransition() = default;
  CATransition(const CATransition&) = default;
  static std::shared_ptr<CATransition> animation() { return std::make_shared<CATransition>(); }

  // kCATransitionFade by default; the view transitions also use "flip" and "curl" types
  // with the subtypes "fromLeft", "fromRight", "fromTop", "fromBottom", "up", "down".
  const std::shared_ptr<NSString>& type() const { return type_; }
  void setType(const std::shared_ptr<NSString>& type) { type_ = type; }
  const std::shared_ptr<NSString>& subtype() const { return subtype_; }
  void setSubtype(const std::shared_ptr<NSString>& subtype) { subtype_ = subtype; }
  float startProgress() const { return startProgress_; }
  void setStartProgress(float progress) { startProgress_ = progress; }
  float endProgress() const { return endProgress_; }
  void setEndProgress(float progress) { endProgress_ = progress; }

  std::shared_ptr<CAAnimation> copyAnimation() const override { return std::make_shared<CATransition>(*this); }


 private:
  std::shared_ptr<NSString> type_ = kCATransitionFade;
  std::shared_ptr<NSString> subtype_;
  float startProgress_ = 0, endProgress_ = 1;
};
