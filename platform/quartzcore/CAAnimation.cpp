#include "platform/quartzcore/CAAnimation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSNumber.h"
#include "platform/quartzcore/CALayer.h"

using zvt::ca::AnimValue;

CFTimeInterval CACurrentMediaTime() { return static_cast<double>(Clock::nowNanos()) / 1e9; }

namespace {

class NullAction final : public CAAction {
 public:
  void runActionForKey(const std::shared_ptr<NSString>&, CALayer&, const id&) override {}
};

bool fillsBackwards(const std::shared_ptr<NSString>& mode) {
  return mode && (mode->isEqualToString(kCAFillModeBackwards) || mode->isEqualToString(kCAFillModeBoth));
}
bool fillsForwards(const std::shared_ptr<NSString>& mode) {
  return mode && (mode->isEqualToString(kCAFillModeForwards) || mode->isEqualToString(kCAFillModeBoth));
}

bool isDiscrete(zvt::ca::KeyPath path) {
  using zvt::ca::LayerKey;
  return path.sub == zvt::ca::SubField::kNone && (path.key == LayerKey::kHidden || path.key == LayerKey::kMasksToBounds);
}

}  // namespace

const std::shared_ptr<CAAction>& CANullAction() {
  static const auto* action = new std::shared_ptr<CAAction>(std::make_shared<NullAction>());
  return *action;
}

// --- CAAnimation ------------------------------------------------------------------------------

void CAAnimation::runActionForKey(const std::shared_ptr<NSString>& key, CALayer& layer, const id& previousValue) {
  auto copy = copyAnimation();
  if (auto property = std::dynamic_pointer_cast<CAPropertyAnimation>(copy); property && !property->keyPath())
    property->setKeyPath(key);
  if (auto basic = std::dynamic_pointer_cast<CABasicAnimation>(copy);
      basic && !basic->fromValue() && !basic->toValue() && !basic->byValue()) {
    // An action without values animates from what was shown to the new value.
    basic->setFromValue(previousValue);
  }
  layer.addAnimation(copy, key);
}

CFTimeInterval CAAnimation::activeDuration() const {
  CFTimeInterval cycle = effectiveDuration() * (autoreverses_ ? 2 : 1);
  CFTimeInterval total = cycle;
  if (repeatDuration_ > 0) {
    total = repeatDuration_;
  } else if (repeatCount_ > 0) {
    total = std::isinf(repeatCount_) ? std::numeric_limits<double>::infinity() : cycle * repeatCount_;
  }
  if (speed_ == 0) return std::numeric_limits<double>::infinity();
  return total / std::fabs(speed_);
}

CGFloat CAAnimation::curve(CGFloat fraction) const {
  return timingFunction_ ? timingFunction_->evaluate(fraction) : fraction;
}

std::optional<CGFloat> CAAnimation::progressAt(CFTimeInterval localTime) const {
  CFTimeInterval d = effectiveDuration();
  CFTimeInterval cycle = d * (autoreverses_ ? 2 : 1);
  CFTimeInterval total = activeDuration() * std::fabs(speed_);
  if (speed_ == 0) total = std::numeric_limits<double>::infinity();
  CFTimeInterval t = localTime * speed_ + timeOffset_;
  bool atEnd = false;
  if (t < 0) {
    if (!fillsBackwards(fillMode_)) return std::nullopt;
    t = 0;
  } else if (t >= total) {
    if (!fillsForwards(fillMode_)) return std::nullopt;
    t = total;
    atEnd = true;
  }
  CFTimeInterval pos = std::fmod(t, cycle);
  if (atEnd && pos == 0 && t > 0) pos = cycle;
  CGFloat fraction = autoreverses_ && pos > d ? (cycle - pos) / d : pos / d;
  return curve(std::clamp<CGFloat>(fraction, 0, 1));
}

// --- CAPropertyAnimation ----------------------------------------------------------------------

std::shared_ptr<CAPropertyAnimation> CAPropertyAnimation::animationWithKeyPath(const std::shared_ptr<NSString>& keyPath) {
  auto a = std::make_shared<CAPropertyAnimation>();
  a->setKeyPath(keyPath);
  return a;
}

void CAPropertyAnimation::setKeyPath(const std::shared_ptr<NSString>& keyPath) {
  keyPath_ = keyPath;
  path_ = keyPath ? zvt::ca::parseKeyPath(keyPath->utf8()) : zvt::ca::KeyPath{};
}

AnimValue CAPropertyAnimation::current(const zvt::ca::LayerProperties& properties) const {
  return zvt::ca::getValue(properties, path_);
}

void CAPropertyAnimation::write(zvt::ca::LayerProperties& properties, const AnimValue& value) const {
  if (!path_.valid()) return;
  zvt::ca::setValue(properties, path_, additive_ ? zvt::ca::add(current(properties), value) : value);
}

// --- CABasicAnimation -------------------------------------------------------------------------

std::shared_ptr<CABasicAnimation> CABasicAnimation::animationWithKeyPath(const std::shared_ptr<NSString>& keyPath) {
  auto a = std::make_shared<CABasicAnimation>();
  a->setKeyPath(keyPath);
  return a;
}

void CABasicAnimation::setFromValue(const id& value) {
  from_ = value;
  fromTyped_ = zvt::ca::unbox(value);
}
void CABasicAnimation::setToValue(const id& value) {
  to_ = value;
  toTyped_ = zvt::ca::unbox(value);
}
void CABasicAnimation::setByValue(const id& value) {
  by_ = value;
  byTyped_ = zvt::ca::unbox(value);
}

void CABasicAnimation::apply(zvt::ca::LayerProperties& properties, CGFloat progress, CFTimeInterval) const {
  using namespace zvt::ca;
  auto has = [](const AnimValue& v) { return !std::holds_alternative<std::monostate>(v); };
  AnimValue base = current(properties);
  AnimValue a, b;
  if (has(fromTyped_) && has(toTyped_)) {
    a = fromTyped_, b = toTyped_;
  } else if (has(fromTyped_) && has(byTyped_)) {
    a = fromTyped_, b = add(fromTyped_, byTyped_);
  } else if (has(byTyped_) && has(toTyped_)) {
    a = subtract(toTyped_, byTyped_), b = toTyped_;
  } else if (has(fromTyped_)) {
    a = fromTyped_, b = base;
  } else if (has(toTyped_)) {
    a = base, b = toTyped_;
  } else if (has(byTyped_)) {
    a = base, b = add(base, byTyped_);
  } else {
    a = b = base;
  }
  AnimValue value = isDiscrete(parsedKeyPath()) ? (progress < 1 ? a : b) : interpolate(a, b, progress);
  write(properties, value);
}

// --- CASpringAnimation ------------------------------------------------------------------------

std::shared_ptr<CASpringAnimation> CASpringAnimation::animationWithKeyPath(const std::shared_ptr<NSString>& keyPath) {
  auto a = std::make_shared<CASpringAnimation>();
  a->setKeyPath(keyPath);
  return a;
}

CGFloat CASpringAnimation::springValue(CFTimeInterval t) const {
  if (t <= 0) return 0;
  const double w0 = std::sqrt(stiffness_ / mass_);
  const double zeta = damping_ / (2 * std::sqrt(stiffness_ * mass_));
  const double v0 = initialVelocity_;
  double y;  // displacement from the rest position, starting at -1
  if (zeta < 1) {
    double wd = w0 * std::sqrt(1 - zeta * zeta);
    double b = (v0 - zeta * w0) / wd;
    y = std::exp(-zeta * w0 * t) * (-std::cos(wd * t) + b * std::sin(wd * t));
  } else if (zeta == 1) {
    y = std::exp(-w0 * t) * (-1 + (v0 - w0) * t);
  } else {
    double s = std::sqrt(zeta * zeta - 1);
    double r1 = -w0 * (zeta - s), r2 = -w0 * (zeta + s);
    double c2 = (v0 + r1) / (r2 - r1);
    double c1 = -1 - c2;
    y = c1 * std::exp(r1 * t) + c2 * std::exp(r2 * t);
  }
  return 1 + y;
}

CFTimeInterval CASpringAnimation::settlingDuration() const {
  // The last time the spring is 0.1% or more away from rest, sampled at 1 ms.
  CFTimeInterval last = 0;
  for (int i = 1; i <= 100000; ++i) {
    double t = i / 1000.0;
    if (std::fabs(springValue(t) - 1) >= 0.001) last = t;
    else if (t - last > 1.0) break;  // settled for a second: it stays
  }
  return last;
}

CGFloat CASpringAnimation::curve(CGFloat fraction) const {
  if (fraction >= 1) return 1;
  return springValue(fraction * effectiveDuration());
}

// --- CAKeyframeAnimation ----------------------------------------------------------------------

std::shared_ptr<CAKeyframeAnimation> CAKeyframeAnimation::animationWithKeyPath(const std::shared_ptr<NSString>& keyPath) {
  auto a = std::make_shared<CAKeyframeAnimation>();
  a->setKeyPath(keyPath);
  return a;
}

void CAKeyframeAnimation::setValues(const std::shared_ptr<NSArray>& values) { values_ = values; }

void CAKeyframeAnimation::apply(zvt::ca::LayerProperties& properties, CGFloat progress, CFTimeInterval) const {
  using namespace zvt::ca;
  size_t n = values_ ? values_->count() : 0;
  if (n == 0) return;
  std::vector<AnimValue> values;
  values.reserve(n);
  for (size_t i = 0; i < n; ++i) values.push_back(unbox(values_->objectAtIndex(i)));
  if (n == 1) {
    write(properties, values[0]);
    return;
  }
  const bool discrete = calculationMode_ && calculationMode_->isEqualToString(kCAAnimationDiscrete);
  const bool paced = calculationMode_ && calculationMode_->isEqualToString(kCAAnimationPaced);
  // Key times: given, paced by distance, or evenly spread.
  const size_t wanted = discrete ? n + 1 : n;
  std::vector<CGFloat> times;
  if (!paced && keyTimes_ && keyTimes_->count() == wanted) {
    for (size_t i = 0; i < wanted; ++i) {
      auto number = std::dynamic_pointer_cast<NSNumber>(keyTimes_->objectAtIndex(i));
      times.push_back(number ? number->doubleValue() : 0);
    }
  } else if (paced && !discrete) {
    std::vector<CGFloat> lengths{0};
    for (size_t i = 1; i < n; ++i) lengths.push_back(lengths.back() + distance(values[i - 1], values[i]));
    for (CGFloat l : lengths) times.push_back(lengths.back() > 0 ? l / lengths.back() : 0);
  } else {
    for (size_t i = 0; i < wanted; ++i) times.push_back(CGFloat(i) / CGFloat(wanted - 1));
  }
  CGFloat p = std::clamp<CGFloat>(progress, 0, 1);
  if (discrete) {
    size_t index = 0;
    for (size_t i = 0; i < n; ++i)
      if (p >= times[i]) index = i;
    write(properties, values[index]);
    return;
  }
  size_t segment = 0;
  while (segment + 2 < n && p > times[segment + 1]) ++segment;
  CGFloat span = times[segment + 1] - times[segment];
  CGFloat local = span > 0 ? std::clamp<CGFloat>((p - times[segment]) / span, 0, 1) : 1;
  if (timingFunctions_ && segment < timingFunctions_->count())
    if (auto f = std::dynamic_pointer_cast<CAMediaTimingFunction>(timingFunctions_->objectAtIndex(segment)))
      local = f->evaluate(local);
  write(properties, interpolate(values[segment], values[segment + 1], local));
}

// --- CAAnimationGroup -------------------------------------------------------------------------

void CAAnimationGroup::apply(zvt::ca::LayerProperties& properties, CGFloat, CFTimeInterval localTime) const {
  if (!animations_) return;
  // The group's own time, cut to its active length.
  CFTimeInterval t = std::clamp<CFTimeInterval>(localTime * speed() + timeOffset(), 0, effectiveDuration());
  for (size_t i = 0; i < animations_->count(); ++i) {
    auto child = std::dynamic_pointer_cast<CAAnimation>(animations_->objectAtIndex(i));
    if (!child) continue;
    CFTimeInterval childTime = t - child->beginTime();
    if (auto progress = child->progressAt(childTime)) child->apply(properties, *progress, childTime);
  }
}
