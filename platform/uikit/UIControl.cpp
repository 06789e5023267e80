#include "platform/uikit/UIControl.h"

#include <algorithm>

#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIKitMainThread.h"

void UIControl::setEnabled(bool enabled) {
  zvt::ui::assertMainThread("UIControl::setEnabled");
  enabled_ = enabled;
  setNeedsDisplay();
}

void UIControl::setSelected(bool selected) {
  zvt::ui::assertMainThread("UIControl::setSelected");
  selected_ = selected;
  setNeedsDisplay();
}

void UIControl::setHighlighted(bool highlighted) {
  zvt::ui::assertMainThread("UIControl::setHighlighted");
  highlighted_ = highlighted;
  setNeedsDisplay();
}

UIControlState UIControl::state() const {
  NSUInteger s = UIControlStateNormal;
  if (highlighted_) s |= UIControlStateHighlighted;
  if (!enabled_) s |= UIControlStateDisabled;
  if (selected_) s |= UIControlStateSelected;
  return static_cast<UIControlState>(s);
}

void UIControl::addTarget(const id& target, const SEL& action, UIControlEvents events) {
  zvt::ui::assertMainThread("UIControl::addTarget");
  if (!action) return;
  for (auto& t : targets_) {
    if (t.action == action && (target ? t.object.lock() == target : t.nilTarget)) {
      t.events |= events;
      return;
    }
  }
  targets_.push_back(Target{target, !target, action, events});
}

void UIControl::removeTarget(const id& target, const SEL& action, UIControlEvents events) {
  zvt::ui::assertMainThread("UIControl::removeTarget");
  for (auto& t : targets_) {
    bool targetMatches = !target || t.object.lock() == target;
    bool actionMatches = !action || t.action == action;
    if (targetMatches && actionMatches) t.events &= ~static_cast<NSUInteger>(events);
  }
  targets_.erase(std::remove_if(targets_.begin(), targets_.end(),
                                [](const Target& t) { return t.events == 0 || (!t.nilTarget && t.object.expired()); }),
                 targets_.end());
}

std::vector<id> UIControl::allTargets() const {
  std::vector<id> out;
  for (const auto& t : targets_)
    if (auto object = t.object.lock(); object && std::find(out.begin(), out.end(), object) == out.end())
      out.push_back(object);
  return out;
}

UIControlEvents UIControl::allControlEvents() const {
  NSUInteger events = 0;
  for (const auto& t : targets_) events |= t.events;
  return static_cast<UIControlEvents>(events);
}

std::vector<SEL> UIControl::actionsForTarget(const id& target, UIControlEvents event) const {
  std::vector<SEL> out;
  for (const auto& t : targets_)
    if ((t.events & event) && (target ? t.object.lock() == target : t.nilTarget)) out.push_back(t.action);
  return out;
}

void UIControl::sendAction(const SEL& action, const id& target, const std::shared_ptr<UIEvent>& event) {
  UIApplication::sharedApplication()->sendAction(action, target, self(), event);
}

void UIControl::sendActions(UIControlEvents events, const std::shared_ptr<UIEvent>& event) {
  auto keep = self();
  auto targets = targets_;
  for (const auto& t : targets) {
    if (!(t.events & events)) continue;
    auto object = t.object.lock();
    if (!object && !t.nilTarget) continue;  // gone
    sendAction(t.action, object, event);
  }
}

void UIControl::sendActionsForControlEvents(UIControlEvents events) {
  zvt::ui::assertMainThread("UIControl::sendActionsForControlEvents");
  sendActions(events, nullptr);
}

bool UIControl::beginTrackingWithTouch(const std::shared_ptr<UITouch>&, const std::shared_ptr<UIEvent>&) { return true; }
bool UIControl::continueTrackingWithTouch(const std::shared_ptr<UITouch>&, const std::shared_ptr<UIEvent>&) {
  return true;
}
void UIControl::endTrackingWithTouch(const std::shared_ptr<UITouch>&, const std::shared_ptr<UIEvent>&) {}
void UIControl::cancelTrackingWithEvent(const std::shared_ptr<UIEvent>&) {}

bool UIControl::inside(const std::shared_ptr<UITouch>& touch) const {
  CGPoint p = touch->locationInView(viewSelf());
  return CGRectContainsPoint(CGRectInset(bounds(), -kTrackingSlop, -kTrackingSlop), p);
}

void UIControl::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  auto touch = std::dynamic_pointer_cast<UITouch>(touches ? touches->anyObject() : nullptr);
  if (!enabled_ || !touch || tracking_) {
    UIView::touchesBegan(touches, event);
    return;
  }
  auto keep = self();
  trackingTouch_ = touch;
  touchInside_ = true;
  tracking_ = beginTrackingWithTouch(touch, event);
  setHighlighted(true);
  UIControlEvents events = UIControlEventTouchDown;
  if (touch->tapCount() > 1) events = events | UIControlEventTouchDownRepeat;
  sendActions(events, event);
}

void UIControl::touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  auto touch = trackingTouch_.lock();
  if (!touch || !touches || !touches->containsObject(touch)) {
    UIView::touchesMoved(touches, event);
    return;
  }
  auto keep = self();
  bool wasInside = touchInside_;
  touchInside_ = inside(touch);
  if (tracking_) tracking_ = continueTrackingWithTouch(touch, event);
  setHighlighted(touchInside_);
  // Crossing the edge first, then the drag itself.
  if (wasInside != touchInside_) sendActions(touchInside_ ? UIControlEventTouchDragEnter : UIControlEventTouchDragExit, event);
  sendActions(touchInside_ ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside, event);
}

void UIControl::touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  auto touch = trackingTouch_.lock();
  if (!touch || !touches || !touches->containsObject(touch)) {
    UIView::touchesEnded(touches, event);
    return;
  }
  auto keep = self();
  touchInside_ = inside(touch);
  trackingTouch_.reset();
  tracking_ = false;
  setHighlighted(false);
  endTrackingWithTouch(touch, event);
  sendActions(touchInside_ ? UIControlEventTouchUpInside : UIControlEventTouchUpOutside, event);
  touchInside_ = false;
}

void UIControl::touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  auto touch = trackingTouch_.lock();
  if (!touch || !touches || !touches->containsObject(touch)) {
    UIView::touchesCancelled(touches, event);
    return;
  }
  auto keep = self();
  trackingTouch_.reset();
  tracking_ = false;
  touchInside_ = false;
  setHighlighted(false);
  cancelTrackingWithEvent(event);
  sendActions(UIControlEventTouchCancel, event);
}

bool UIControl::gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
  if (!takesTapsBeforeRecognizers() || !enabled_) return true;
  auto tap = std::dynamic_pointer_cast<UITapGestureRecognizer>(recognizer);
  if (!tap || tap->view().get() == this) return true;
  return !(tap->numberOfTapsRequired() == 1 && tap->numberOfTouchesRequired() == 1);
}
