// The animation blocks of UIView. A block (animateWithDuration..., or beginAnimations ...
// commitAnimations) is open while its changes are made: each change of an animatable property
// of a view (frame and bounds, center, transform, alpha, background colour) asks the view for
// an action, and the view answers with an animation from the old value to the new one under
// the property's key, so that a later animation of the same property replaces it. The model
// value is set at once. The block's completion runs once all its animations have stopped: with
// finished YES when each ran to its end on the run loop's clock, NO when one was replaced or
// removed; when nothing was animated (animations disabled, no duration, nothing changed) it
// runs on the next turn of the main run loop with YES.

#include <cmath>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIView.h"

struct ViewAnimationAccess {
  static void blockInteraction(UIView& view, int delta) { view.interactionBlockingAnimations_ += delta; }
};

namespace {

using Completion = std::function<void(bool)>;

// The animations made in one block, and what to do when they have all stopped.
class AnimationGroup : public std::enable_shared_from_this<AnimationGroup> {
 public:
  Completion completion;
  // The begin/commit form's delegate and messages.
  id delegate;
  UIViewAnimationSelector didStop;
  std::shared_ptr<NSString> animationID;
  void* context = nullptr;

  void started() { ++pending_; }
  void stopped(bool finished) {
    finished_ = finished_ && finished;
    if (pending_ > 0) --pending_;
    finishIfDone();
  }
  // The block is over: no more animations join.
  void close() {
    closed_ = true;
    if (pending_ == 0) {
      // Nothing ran: the completion comes on the next turn.
      auto self = shared_from_this();
      dispatch_async(dispatch_get_main_queue(), [self] { self->finish(); });
      return;
    }
    finishIfDone();
  }

 private:
  void finishIfDone() {
    if (closed_ && pending_ == 0) finish();
  }
  void finish() {
    if (done_) return;
    done_ = true;
    auto call = std::move(completion);
    completion = nullptr;
    if (call) call(finished_);
    if (delegate && didStop)
      didStop.perform(*delegate, animationID, NSNumber::numberWithBool(finished_), context);
    delegate = nullptr;
  }

  int pending_ = 0;
  bool finished_ = true;
  bool closed_ = false;
  bool done_ = false;
};

// Hears of one animation's end for its group and its view.
class AnimationWatcher : public CAAnimationDelegate {
 public:
  AnimationWatcher(std::shared_ptr<AnimationGroup> group, std::weak_ptr<UIView> view, bool blocksInteraction)
      : group_(std::move(group)), view_(std::move(view)), blocks_(blocksInteraction) {
    group_->started();
    if (blocks_)
      if (auto v = view_.lock()) ViewAnimationAccess::blockInteraction(*v, 1);
  }
  void animationDidStop(const std::shared_ptr<CAAnimation>&, bool finished) override {
    if (stopped_) return;
    stopped_ = true;
    if (blocks_)
      if (auto v = view_.lock()) ViewAnimationAccess::blockInteraction(*v, -1);
    group_->stopped(finished);
  }

 private:
  std::shared_ptr<AnimationGroup> group_;
  std::weak_ptr<UIView> view_;
  bool blocks_;
  bool stopped_ = false;
};

struct Block {
  NSTimeInterval duration = 0.2;
  NSTimeInterval delay = 0;
  NSUInteger options = 0;
  UIViewAnimationCurve curve = UIViewAnimationCurveEaseInOut;
  bool spring = false;
  CGFloat damping = 1, velocity = 0;
  CGFloat springStiffness = 100, springDamping = 20;  // worked out once per block
  float repeatCount = 0;
  bool autoreverses = false;
  bool fromCurrentState = false;
  bool animates = true;  // false: changes in the block are not animated
  bool beginCommit = false;
  UIViewAnimationSelector willStart;
  std::shared_ptr<AnimationGroup> group;
  std::vector<std::weak_ptr<UIView>> animatedViews;
};

std::vector<Block>& blocks() {
  static auto* stack = new std::vector<Block>();
  return *stack;
}
bool animationsEnabled = true;

std::shared_ptr<CAMediaTimingFunction> timingFor(UIViewAnimationCurve curve) {
  switch (curve) {
    case UIViewAnimationCurveEaseIn: return CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseIn);
    case UIViewAnimationCurveEaseOut: return CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseOut);
    case UIViewAnimationCurveLinear: return CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear);
    default: return CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut);
  }
}

// The stiffness and damping of a unit-mass spring with this damping ratio that settles within
// `duration`.
void springFor(Block& block) {
  CGFloat ratio = std::max<CGFloat>(block.damping, 0.01);
  CASpringAnimation spring;
  spring.setMass(1);
  spring.setInitialVelocity(block.velocity);
  NSTimeInterval duration = block.duration;
  CGFloat lo = 0.1, hi = 2000;  // natural frequency, radians per second
  for (int i = 0; i < 60; ++i) {
    CGFloat w = std::sqrt(lo * hi);
    spring.setStiffness(w * w);
    spring.setDamping(2 * ratio * w);
    if (spring.settlingDuration() > duration)
      lo = w;
    else
      hi = w;
  }
  block.springStiffness = hi * hi;
  block.springDamping = 2 * ratio * hi;
}

bool animatableKey(const std::shared_ptr<NSString>& key) {
  if (!key) return false;
  auto k = key->utf8();
  return k == "bounds" || k == "position" || k == "opacity" || k == "transform" || k == "backgroundColor";
}

// The animation a view's layer runs for a change made inside an open block.
class ViewAnimationAction : public CAAction {
 public:
  ViewAnimationAction(const Block& block, std::weak_ptr<UIView> view) : block_(block), view_(std::move(view)) {}

  void runActionForKey(const std::shared_ptr<NSString>& key, CALayer& layer, const id& previousValue) override {
    std::shared_ptr<CABasicAnimation> animation;
    if (block_.spring) {
      auto spring = CASpringAnimation::animationWithKeyPath(key);
      spring->setStiffness(block_.springStiffness);
      spring->setDamping(block_.springDamping);
      spring->setInitialVelocity(block_.velocity);
      animation = spring;
    } else {
      animation = CABasicAnimation::animationWithKeyPath(key);
      animation->setTimingFunction(timingFor(block_.curve));
    }
    auto path = zvt::ca::parseKeyPath(key->utf8());
    id from = previousValue;
    if (block_.fromCurrentState && layer.animationForKey(key))
      from = zvt::ca::box(zvt::ca::getValue(layer.presentationProperties(), path));
    animation->setFromValue(from);
    animation->setToValue(zvt::ca::box(zvt::ca::getValue(layer.properties(), path)));
    animation->setDuration(block_.duration);
    if (block_.delay > 0) animation->setBeginTime(CACurrentMediaTime() + block_.delay);
    animation->setFillMode(kCAFillModeBoth);
    animation->setRepeatCount(block_.repeatCount);
    animation->setAutoreverses(block_.autoreverses);
    bool blocks = !(block_.options & UIViewAnimationOptionAllowUserInteraction);
    animation->setDelegate(std::make_shared<AnimationWatcher>(block_.group, view_, blocks));
    layer.addAnimation(animation, key);
  }

 private:
  Block block_;
  std::weak_ptr<UIView> view_;
};

// Opens a block whose parameters nest in the enclosing one's: a nested block takes the
// enclosing duration and curve unless its options override them.
void open(Block block) {
  block.group = std::make_shared<AnimationGroup>();
  auto& stack = blocks();
  if (!stack.empty() && stack.back().animates) {
    const Block& outer = stack.back();
    if (!(block.options & UIViewAnimationOptionOverrideInheritedDuration)) block.duration = outer.duration;
    if (!(block.options & UIViewAnimationOptionOverrideInheritedCurve)) {
      block.curve = outer.curve;
      block.spring = outer.spring;
      block.damping = outer.damping;
      block.velocity = outer.velocity;
    }
  }
  if (!animationsEnabled || block.duration <= 0) block.animates = false;
  if (block.animates && block.spring) springFor(block);
  stack.push_back(std::move(block));
}

void close() {
  auto& stack = blocks();
  Block block = std::move(stack.back());
  stack.pop_back();
  if (block.options & UIViewAnimationOptionLayoutSubviews) {
    // Laid out now, inside the block's animations (re-opened for the layout).
    stack.push_back(block);
    for (auto& weak : block.animatedViews)
      if (auto view = weak.lock()) view->layoutIfNeeded();
    stack.pop_back();
  }
  block.group->close();
}

UIViewAnimationCurve curveOf(NSUInteger options) {
  return static_cast<UIViewAnimationCurve>((options >> 16) & 0xF);
}

}  // namespace

std::shared_ptr<CAAction> UIView::actionForLayer(CALayer& layer, const std::shared_ptr<NSString>& key) {
  if (&layer != layer_.get()) return nullptr;
  auto& stack = blocks();
  if (stack.empty() || !stack.back().animates || !animatableKey(key)) return CANullAction();
  Block& block = stack.back();
  block.animatedViews.push_back(viewSelf());
  return std::make_shared<ViewAnimationAction>(block, viewSelf());
}

void UIView::animateWithDuration(NSTimeInterval duration, const std::function<void()>& animations) {
  animateWithDuration(duration, 0, UIViewAnimationOptionCurveEaseInOut, animations, nullptr);
}

void UIView::animateWithDuration(NSTimeInterval duration, const std::function<void()>& animations,
                                 std::function<void(bool)> completion) {
  animateWithDuration(duration, 0, UIViewAnimationOptionCurveEaseInOut, animations, std::move(completion));
}

void UIView::animateWithDuration(NSTimeInterval duration, NSTimeInterval delay, UIViewAnimationOptions options,
                                 const std::function<void()>& animations, std::function<void(bool)> completion) {
  zvt::ui::assertMainThread("UIView::animateWithDuration");
  Block block;
  block.duration = duration;
  block.delay = delay;
  block.options = options;
  block.curve = curveOf(options);
  block.fromCurrentState = options & UIViewAnimationOptionBeginFromCurrentState;
  if (options & UIViewAnimationOptionRepeat) block.repeatCount = HUGE_VALF;
  block.autoreverses = options & UIViewAnimationOptionAutoreverse;
  open(std::move(block));
  blocks().back().group->completion = std::move(completion);
  if (animations) animations();
  close();
}

void UIView::animateWithDuration(NSTimeInterval duration, NSTimeInterval delay, CGFloat dampingRatio, CGFloat velocity,
                                 UIViewAnimationOptions options, const std::function<void()>& animations,
                                 std::function<void(bool)> completion) {
  zvt::ui::assertMainThread("UIView::animateWithDuration");
  Block block;
  block.duration = duration;
  block.delay = delay;
  block.options = options | UIViewAnimationOptionOverrideInheritedCurve;
  block.spring = true;
  block.damping = dampingRatio;
  block.velocity = velocity;
  block.fromCurrentState = options & UIViewAnimationOptionBeginFromCurrentState;
  open(std::move(block));
  blocks().back().group->completion = std::move(completion);
  if (animations) animations();
  close();
}

void UIView::transitionWithView(const std::shared_ptr<UIView>& view, NSTimeInterval duration,
                                UIViewAnimationOptions options, const std::function<void()>& animations,
                                std::function<void(bool)> completion) {
  zvt::ui::assertMainThread("UIView::transitionWithView");
  Block block;
  block.duration = duration;
  block.options = options | UIViewAnimationOptionOverrideInheritedDuration;
  block.curve = curveOf(options);
  bool animated = animationsEnabled && duration > 0 && view;
  // The changes themselves are shown by the transition, not animated one by one.
  block.animates = animated && (options & UIViewAnimationOptionAllowAnimatedContent);
  block.group = std::make_shared<AnimationGroup>();
  block.group->completion = std::move(completion);
  auto group = block.group;
  blocks().push_back(block);
  if (animations) animations();
  blocks().pop_back();
  if (animated) {
    auto transition = CATransition::animation();
    NSUInteger kind = (options >> 20) & 0xF;
    struct Kind {
      const char* type;
      const char* subtype;
    } kinds[] = {{"fade", nullptr},        {"flip", "fromLeft"}, {"flip", "fromRight"},  {"curl", "up"},
                 {"curl", "down"},         {"fade", nullptr},    {"flip", "fromTop"},    {"flip", "fromBottom"}};
    const Kind& k = kinds[kind < 8 ? kind : 0];
    transition->setType(NSString::stringWithUTF8String(k.type));
    if (k.subtype) transition->setSubtype(NSString::stringWithUTF8String(k.subtype));
    transition->setDuration(duration);
    transition->setTimingFunction(timingFor(block.curve));
    bool blocksTouches = !(options & UIViewAnimationOptionAllowUserInteraction);
    transition->setDelegate(std::make_shared<AnimationWatcher>(group, view, blocksTouches));
    view->layer()->addAnimation(transition, NSString::stringWithUTF8String("transition"));
  }
  group->close();
}

void UIView::transitionFromView(const std::shared_ptr<UIView>& fromView, const std::shared_ptr<UIView>& toView,
                                NSTimeInterval duration, UIViewAnimationOptions options,
                                std::function<void(bool)> completion) {
  zvt::ui::assertMainThread("UIView::transitionFromView");
  auto container = fromView ? fromView->superview() : nullptr;
  auto swap = [&] {
    if (!fromView || !toView) return;
    if (options & UIViewAnimationOptionShowHideTransitionViews) {
      fromView->setHidden(true);
      toView->setHidden(false);
    } else if (container) {
      container->insertSubviewAboveSubview(toView, fromView);
      fromView->removeFromSuperview();
    }
  };
  transitionWithView(container, duration, options, swap, std::move(completion));
}

void UIView::performWithoutAnimation(const std::function<void()>& actions) {
  zvt::ui::assertMainThread("UIView::performWithoutAnimation");
  bool was = animationsEnabled;
  animationsEnabled = false;
  Block block;
  block.animates = false;
  block.group = std::make_shared<AnimationGroup>();
  blocks().push_back(block);
  struct Restore {
    bool was;
    ~Restore() {
      blocks().pop_back();
      animationsEnabled = was;
    }
  } restore{was};
  if (actions) actions();
}

void UIView::setAnimationsEnabled(bool enabled) {
  zvt::ui::assertMainThread("UIView::setAnimationsEnabled");
  animationsEnabled = enabled;
}

bool UIView::areAnimationsEnabled() { return animationsEnabled; }

void UIView::beginAnimations(const std::shared_ptr<NSString>& animationID, void* context) {
  zvt::ui::assertMainThread("UIView::beginAnimations");
  Block block;
  block.duration = 0.2;
  block.beginCommit = true;
  open(std::move(block));
  auto& group = *blocks().back().group;
  group.animationID = animationID;
  group.context = context;
}

void UIView::commitAnimations() {
  zvt::ui::assertMainThread("UIView::commitAnimations");
  auto& stack = blocks();
  if (stack.empty() || !stack.back().beginCommit) return;
  Block& block = stack.back();
  if (block.willStart && block.group->delegate)
    block.willStart.perform(*block.group->delegate, block.group->animationID, nullptr, block.group->context);
  close();
}

namespace {
Block* openBeginCommitBlock() {
  auto& stack = blocks();
  return !stack.empty() && stack.back().beginCommit ? &stack.back() : nullptr;
}
}  // namespace

void UIView::setAnimationDuration(NSTimeInterval duration) {
  if (auto* b = openBeginCommitBlock()) {
    b->duration = duration;
    b->animates = animationsEnabled && duration > 0;
  }
}
void UIView::setAnimationDelay(NSTimeInterval delay) {
  if (auto* b = openBeginCommitBlock()) b->delay = delay;
}
void UIView::setAnimationCurve(UIViewAnimationCurve curve) {
  if (auto* b = openBeginCommitBlock()) b->curve = curve;
}
void UIView::setAnimationRepeatCount(float count) {
  if (auto* b = openBeginCommitBlock()) b->repeatCount = count;
}
void UIView::setAnimationRepeatAutoreverses(bool autoreverses) {
  if (auto* b = openBeginCommitBlock()) b->autoreverses = autoreverses;
}
void UIView::setAnimationBeginsFromCurrentState(bool fromCurrentState) {
  if (auto* b = openBeginCommitBlock()) b->fromCurrentState = fromCurrentState;
}
void UIView::setAnimationDelegate(const id& delegate) {
  if (auto* b = openBeginCommitBlock()) b->group->delegate = delegate;
}
void UIView::setAnimationWillStartSelector(UIViewAnimationSelector selector) {
  if (auto* b = openBeginCommitBlock()) b->willStart = std::move(selector);
}
void UIView::setAnimationDidStopSelector(UIViewAnimationSelector selector) {
  if (auto* b = openBeginCommitBlock()) b->group->didStop = std::move(selector);
}
