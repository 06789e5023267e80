#include "platform/uikit/internal/ControllerTransition.h"

#include <algorithm>

#include "platform/foundation/NSRunLoop.h"

namespace zvt::ui {

std::shared_ptr<ControllerTransition> ControllerTransition::make(Setup setup) {
  auto transition = std::make_shared<ControllerTransition>();
  transition->setup_ = std::move(setup);
  transition->interactive_ = transition->setup_.interactive;
  if (!transition->setup_.animated) transition->setup_.duration = 0;
  return transition;
}

std::shared_ptr<UIViewController> ControllerTransition::viewControllerForKey(const std::shared_ptr<NSString>& key) const {
  if (!key) return nullptr;
  if (key->isEqualToString(UITransitionContextFromViewControllerKey)) return setup_.from;
  if (key->isEqualToString(UITransitionContextToViewControllerKey)) return setup_.to;
  return nullptr;
}

std::shared_ptr<UIView> ControllerTransition::viewForKey(const std::shared_ptr<NSString>& key) const {
  if (!key) return nullptr;
  if (key->isEqualToString(UITransitionContextFromViewKey)) return setup_.fromView;
  if (key->isEqualToString(UITransitionContextToViewKey)) return setup_.toView;
  return nullptr;
}

bool ControllerTransition::animateAlongsideTransition(Block animation, Block completion) {
  if (ended_) return false;
  alongside_.emplace_back(std::move(animation), std::move(completion));
  // Added once the animation has begun: it joins now, with the time that is left.
  if (alongsideRan_ && alongside_.back().first) {
    auto self = me();
    auto block = alongside_.back().first;
    if (setup_.animated && !interactive_) {
      UIView::animateWithDuration(setup_.duration * (1 - percent_), [&] { block(self); });
    } else {
      UIView::performWithoutAnimation([&] { block(self); });
    }
  }
  return true;
}

bool ControllerTransition::animateAlongsideTransitionInView(const std::shared_ptr<UIView>&, Block animation,
                                                            Block completion) {
  return animateAlongsideTransition(std::move(animation), std::move(completion));
}

void ControllerTransition::notifyWhenInteractionEndsUsingBlock(Block handler) {
  if (handler && !ended_) interactionEnded_.push_back(std::move(handler));
}

void ControllerTransition::runAlongside() {
  alongsideRan_ = true;
  auto self = me();
  auto blocks = alongside_;
  for (auto& [animation, completion] : blocks)
    if (animation) animation(self);
}

void ControllerTransition::start() {
  if (started_) return;
  started_ = true;
  auto self = me();
  if (setup_.place) UIView::performWithoutAnimation([&] { setup_.place(0); });
  if (!setup_.animated) {
    UIView::performWithoutAnimation([&] {
      if (setup_.place) setup_.place(1);
      runAlongside();
    });
    percent_ = 1;
    end(false);
    return;
  }
  if (interactive_) {
    UIView::performWithoutAnimation([&] { runAlongside(); });
    return;
  }
  animateTo(1, setup_.duration, false);
  // The alongside animations share the transition's animation.
}

void ControllerTransition::update(CGFloat percent) {
  if (!interactive_ || ended_) return;
  percent_ = std::clamp<CGFloat>(percent, 0, 1);
  if (setup_.place) UIView::performWithoutAnimation([&] { setup_.place(percent_); });
}

void ControllerTransition::finishInteractive() {
  if (!interactive_ || ended_) return;
  interactive_ = false;
  auto self = me();
  auto handlers = std::move(interactionEnded_);
  for (auto& handler : handlers) handler(self);
  animateTo(1, setup_.duration * (1 - percent_), false);
}

void ControllerTransition::cancelInteractive() {
  if (!interactive_ || ended_) return;
  interactive_ = false;
  cancelled_ = true;
  auto self = me();
  auto handlers = std::move(interactionEnded_);
  for (auto& handler : handlers) handler(self);
  animateTo(0, setup_.duration * percent_, true);
}

void ControllerTransition::animateTo(CGFloat percent, NSTimeInterval duration, bool cancelled) {
  auto self = me();
  bool first = !alongsideRan_;
  UIView::animateWithDuration(duration, 0, UIViewAnimationOptionCurveEaseInOut, [&] {
    if (setup_.place) setup_.place(percent);
    if (first) runAlongside();
  }, nullptr);
  if (duration <= 0) {
    percent_ = percent;
    end(cancelled);
    return;
  }
  timer_ = NSTimer::timerWithTimeInterval(duration, false, [self, percent, cancelled](const auto&) {
    self->percent_ = percent;
    self->end(cancelled);
  });
  NSRunLoop::mainRunLoop()->addTimer(timer_, NSRunLoopCommonModes);
}

void ControllerTransition::end(bool cancelled) {
  if (ended_) return;
  ended_ = true;
  cancelled_ = cancelled;
  if (timer_) timer_->invalidate();
  timer_.reset();
  auto self = me();
  auto blocks = std::move(alongside_);
  for (auto& [animation, completion] : blocks)
    if (completion) completion(self);
  if (setup_.complete) setup_.complete(cancelled);
  // Let go of the controllers and views: whoever still holds the coordinator holds no cycle.
  setup_.from.reset();
  setup_.to.reset();
  setup_.fromView.reset();
  setup_.toView.reset();
  setup_.container.reset();
  setup_.place = nullptr;
  setup_.complete = nullptr;
}

}  // namespace zvt::ui
