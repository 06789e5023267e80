#include "platform/uikit/UIGestureRecognizer.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSRunLoop.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/internal/GestureEnvironment.h"

namespace {

bool isTerminal(UIGestureRecognizerState s) {
  return s == UIGestureRecognizerStateEnded || s == UIGestureRecognizerStateCancelled ||
         s == UIGestureRecognizerStateFailed;
}
bool isActive(UIGestureRecognizerState s) {
  return s == UIGestureRecognizerStateBegan || s == UIGestureRecognizerStateChanged ||
         s == UIGestureRecognizerStateEnded;
}

template <class T>
bool contains(const std::vector<std::shared_ptr<T>>& v, const T* item) {
  return std::any_of(v.begin(), v.end(), [&](const auto& x) { return x.get() == item; });
}

std::shared_ptr<NSSet> setOf(const std::vector<std::shared_ptr<UITouch>>& touches) {
  std::vector<id> objects(touches.begin(), touches.end());
  return NSSet::setWithObjects(std::move(objects));
}

CGFloat distance(CGPoint a, CGPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

}  // namespace

// --- the environment --------------------------------------------------------------------------

namespace zvt::ui {

GestureEnvironment& GestureEnvironment::shared() {
  static auto* environment = new GestureEnvironment();
  return *environment;
}

std::shared_ptr<GestureEnvironment::Record> GestureEnvironment::recordFor(const UITouch* touch) {
  for (auto& r : records_)
    if (r->touch.get() == touch) return r;
  return nullptr;
}

std::vector<std::shared_ptr<UIGestureRecognizer>> GestureEnvironment::sharingTouches(
    const UIGestureRecognizer& recognizer) const {
  std::vector<std::shared_ptr<UIGestureRecognizer>> out;
  for (const auto& r : records_) {
    if (!contains(r->recognizers, &recognizer)) continue;
    for (const auto& other : r->recognizers)
      if (other.get() != &recognizer && !contains(out, other.get())) out.push_back(other);
  }
  return out;
}

bool GestureEnvironment::simultaneous(UIGestureRecognizer& a, UIGestureRecognizer& b) {
  auto sa = std::static_pointer_cast<UIGestureRecognizer>(a.self());
  auto sb = std::static_pointer_cast<UIGestureRecognizer>(b.self());
  if (auto d = a.delegate(); d && d->gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(sa, sb))
    return true;
  if (auto d = b.delegate(); d && d->gestureRecognizerShouldRecognizeSimultaneouslyWithGestureRecognizer(sb, sa))
    return true;
  return false;
}

bool GestureEnvironment::waitsFor(UIGestureRecognizer& waiting, UIGestureRecognizer& other) {
  for (const auto& weak : waiting.requiredToFail_)
    if (weak.lock().get() == &other) return true;
  auto sw = std::static_pointer_cast<UIGestureRecognizer>(waiting.self());
  auto so = std::static_pointer_cast<UIGestureRecognizer>(other.self());
  if (waiting.shouldRequireFailureOfGestureRecognizer(so) || other.shouldBeRequiredToFailByGestureRecognizer(sw))
    return true;
  if (auto d = waiting.delegate(); d && d->gestureRecognizerShouldRequireFailureOfGestureRecognizer(sw, so)) return true;
  if (auto d = other.delegate(); d && d->gestureRecognizerShouldBeRequiredToFailByGestureRecognizer(so, sw)) return true;
  return false;
}

bool GestureEnvironment::mayBegin(UIGestureRecognizer& recognizer) {
  auto self = std::static_pointer_cast<UIGestureRecognizer>(recognizer.self());
  if (auto d = recognizer.delegate(); d && !d->gestureRecognizerShouldBegin(self)) return false;
  auto owner = recognizer.view();
  for (const auto& touch : recognizer.touches_) {
    for (auto v = touch->view(); v && v != owner; v = v->superview())
      if (!v->gestureRecognizerShouldBegin(self)) return false;
  }
  return true;
}

void GestureEnvironment::fail(UIGestureRecognizer& recognizer) {
  if (recognizer.state_ == UIGestureRecognizerStateFailed) return;
  recognizer.state_ = UIGestureRecognizerStateFailed;
  recognizer.pending_ = UIGestureRecognizerStatePossible;
  recognizer.cancelTimer();
  reevaluatePending();
}

void GestureEnvironment::reevaluatePending() {
  auto involved = involved_;
  for (auto& r : involved)
    if (r->state_ == UIGestureRecognizerStatePossible && r->pending_ != UIGestureRecognizerStatePossible) evaluate(*r);
}

void GestureEnvironment::evaluate(UIGestureRecognizer& recognizer) {
  if (recognizer.state_ != UIGestureRecognizerStatePossible || recognizer.pending_ == UIGestureRecognizerStatePossible)
    return;
  auto keep = recognizer.self();
  if (!mayBegin(recognizer)) {
    fail(recognizer);
    return;
  }
  // Recognisers this one waits for.
  auto involved = involved_;
  for (auto& other : involved) {
    if (other.get() == &recognizer || !waitsFor(recognizer, *other)) continue;
    if (isActive(other->state_)) {
      fail(recognizer);
      return;
    }
    if (other->state_ == UIGestureRecognizerStatePossible) return;  // wait for it
  }
  auto self = std::static_pointer_cast<UIGestureRecognizer>(keep);
  auto sharing = sharingTouches(recognizer);
  for (auto& other : sharing) {
    if (!isActive(other->state_)) continue;
    if (!simultaneous(recognizer, *other) && other->canPreventGestureRecognizer(self) &&
        recognizer.canBePreventedByGestureRecognizer(other)) {
      fail(recognizer);
      return;
    }
  }
  recognizer.state_ = recognizer.pending_;
  recognizer.pending_ = UIGestureRecognizerStatePossible;
  recognizer.actionDue_ = true;
  // The others that share the touches give way, and so do those that wait for this one.
  for (auto& other : sharing) {
    if (other->state_ != UIGestureRecognizerStatePossible || simultaneous(recognizer, *other)) continue;
    if (recognizer.canPreventGestureRecognizer(other) && other->canBePreventedByGestureRecognizer(self)) fail(*other);
  }
  for (auto& other : involved)
    if (other.get() != &recognizer && other->state_ == UIGestureRecognizerStatePossible && waitsFor(*other, recognizer))
      fail(*other);
  if (recognizer.cancelsTouchesInView_)
    for (auto& record : records_)
      if (contains(record->recognizers, &recognizer)) record->viewCancelled = true;
}

void GestureEnvironment::requestState(UIGestureRecognizer& recognizer, UIGestureRecognizerState state) {
  auto keep = recognizer.self();
  UIGestureRecognizerState from = recognizer.state_;
  if (from == UIGestureRecognizerStatePossible) {
    if (state == UIGestureRecognizerStatePossible) return;
    if (state == UIGestureRecognizerStateFailed || state == UIGestureRecognizerStateCancelled) {
      fail(recognizer);
    } else {
      recognizer.pending_ = state == UIGestureRecognizerStateChanged ? UIGestureRecognizerStateBegan : state;
      evaluate(recognizer);
    }
  } else if (from == UIGestureRecognizerStateBegan || from == UIGestureRecognizerStateChanged) {
    if (state == UIGestureRecognizerStateFailed) state = UIGestureRecognizerStateCancelled;
    if (state == UIGestureRecognizerStatePossible || state == UIGestureRecognizerStateBegan) return;
    recognizer.state_ = state;
    recognizer.actionDue_ = true;
  } else {
    return;  // after an end, a cancel or a failure only reset moves it
  }
  if (depth_ == 0) settle();
}

void GestureEnvironment::ignore(UIGestureRecognizer& recognizer, const std::shared_ptr<UITouch>& touch) {
  auto& touches = recognizer.touches_;
  touches.erase(std::remove(touches.begin(), touches.end(), touch), touches.end());
  if (auto record = recordFor(touch.get())) {
    auto& list = record->recognizers;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& r) { return r.get() == &recognizer; }),
               list.end());
  }
  touch->removeGestureRecognizer(&recognizer);
}

void GestureEnvironment::forget(UIGestureRecognizer& recognizer) {
  // A recogniser that starts again no longer holds anything back.
  for (auto& record : records_) {
    auto& list = record->recognizers;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& r) { return r.get() == &recognizer; }),
               list.end());
  }
  involved_.erase(std::remove_if(involved_.begin(), involved_.end(), [&](const auto& r) { return r.get() == &recognizer; }),
                  involved_.end());
}

bool GestureEnvironment::holds(const Record& record, UITouchPhase phase) const {
  for (const auto& r : record.recognizers) {
    if (r->state_ != UIGestureRecognizerStatePossible) continue;
    if (!record.viewBeganSent && r->delaysTouchesBegan_) return true;
    if (phase == UITouchPhaseEnded && r->delaysTouchesEnded_) return true;
  }
  return false;
}

void GestureEnvironment::sendToView(Record& record, UITouchPhase phase, const std::shared_ptr<UIEvent>& event) {
  if (!record.view || record.blockedForView || record.viewEndSent) return;
  auto touches = NSSet::setWithObject(record.touch);
  auto view = record.view;
  if (record.viewCancelled || phase == UITouchPhaseCancelled) {
    record.viewEndSent = true;
    if (record.viewBeganSent) view->touchesCancelled(touches, event);
    return;
  }
  switch (phase) {
    case UITouchPhaseBegan:
      record.viewBeganSent = true;
      view->touchesBegan(touches, event);
      break;
    case UITouchPhaseMoved:
      if (record.viewBeganSent) view->touchesMoved(touches, event);
      break;
    case UITouchPhaseEnded:
      record.viewEndSent = true;
      if (record.viewBeganSent) view->touchesEnded(touches, event);
      break;
    default:
      break;
  }
}

void GestureEnvironment::settle() {
  if (settling_) return;
  settling_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{settling_};
  for (int round = 0; round < 16; ++round) {
    bool worked = false;
    // Actions of the recognisers that reached a new state.
    auto involved = involved_;
    for (auto& r : involved) {
      if (!r->actionDue_) continue;
      r->actionDue_ = false;
      worked = true;
      for (auto target : r->targets_) {
        if (auto object = target.object.lock()) target.action.perform(*object, r, nullptr);
      }
    }
    // Touches held back from their views.
    auto records = records_;
    for (auto& record : records) {
      while (!record->delayed.empty()) {
        UITouchPhase phase = record->delayed.front();
        if (!record->viewCancelled && holds(*record, phase)) break;
        record->delayed.erase(record->delayed.begin());
        sendToView(*record, phase, lastEvent_);
        worked = true;
      }
    }
    // Recognisers whose gesture is over start again.
    for (auto& r : std::vector(involved_)) {
      if (isTerminal(r->state_) && r->touches_.empty() && !r->actionDue_) {
        r->reset();
        forget(*r);
        worked = true;
      }
    }
    records_.erase(std::remove_if(records_.begin(), records_.end(),
                                  [](const auto& r) { return r->done && r->delayed.empty(); }),
                   records_.end());
    if (!worked) break;
  }
}

void GestureEnvironment::deliver(const std::shared_ptr<UIWindow>& window, const std::shared_ptr<UIEvent>& event) {
  lastEvent_ = event;
  std::vector<std::shared_ptr<UITouch>> touches;
  for (const auto& t : event->touches())
    if (t->window() == window && t->phase() != UITouchPhaseStationary) touches.push_back(t);

  // New touches: hit-testing, then the recognisers of the view and its ancestors.
  for (const auto& touch : touches) {
    if (touch->phase() != UITouchPhaseBegan || recordFor(touch.get())) continue;
    auto record = std::make_shared<Record>();
    record->touch = touch;
    if (!touch->view()) touch->setView(window->hitTest(touch->locationInView(nullptr), event));
    record->view = touch->view();
    if (record->view && !record->view->isMultipleTouchEnabled()) {
      for (const auto& other : records_)
        if (other->view == record->view && !other->done) record->blockedForView = true;
    }
    for (auto v = record->view; v; v = v->superview()) {
      for (const auto& r : v->gestureRecognizers()) {
        if (!r->isEnabled() || contains(record->recognizers, r.get())) continue;
        if (isTerminal(r->state_)) {
          if (!r->touches_.empty()) continue;  // still finishing another gesture
          r->reset();
          forget(*r);
        }
        if (auto d = r->delegate(); d && !d->gestureRecognizerShouldReceiveTouch(r, touch)) continue;
        record->recognizers.push_back(r);
        r->touches_.push_back(touch);
        touch->addGestureRecognizer(r);
        if (!contains(involved_, r.get())) involved_.push_back(r);
      }
    }
    records_.push_back(record);
  }

  // Recognisers first.
  ++depth_;
  {
    std::vector<std::shared_ptr<UIGestureRecognizer>> order;
    for (const auto& t : touches)
      if (auto record = recordFor(t.get()))
        for (const auto& r : record->recognizers)
          if (!contains(order, r.get())) order.push_back(r);
    for (auto& r : order) {
      std::vector<std::shared_ptr<UITouch>> phase[5];
      for (const auto& t : touches)
        if (std::find(r->touches_.begin(), r->touches_.end(), t) != r->touches_.end()) phase[t->phase()].push_back(t);
      auto deliverPhase = [&](UITouchPhase p, auto method) {
        if (phase[p].empty() || r->state_ == UIGestureRecognizerStateFailed ||
            r->state_ == UIGestureRecognizerStateCancelled || r->state_ == UIGestureRecognizerStateEnded)
          return;
        ((*r).*method)(setOf(phase[p]), event);
      };
      deliverPhase(UITouchPhaseBegan, &UIGestureRecognizer::touchesBegan);
      deliverPhase(UITouchPhaseMoved, &UIGestureRecognizer::touchesMoved);
      deliverPhase(UITouchPhaseEnded, &UIGestureRecognizer::touchesEnded);
      deliverPhase(UITouchPhaseCancelled, &UIGestureRecognizer::touchesCancelled);
      // Lifted fingers leave the recogniser.
      auto& tracked = r->touches_;
      tracked.erase(std::remove_if(tracked.begin(), tracked.end(),
                                   [](const auto& t) {
                                     return t->phase() == UITouchPhaseEnded || t->phase() == UITouchPhaseCancelled;
                                   }),
                    tracked.end());
    }
  }
  --depth_;
  // A recogniser that already recognised from this event has its action sent before the views
  // see the touches.
  settle();

  // Then the views, unless a recogniser holds the touches back or has cancelled them.
  for (const auto& touch : touches) {
    auto record = recordFor(touch.get());
    if (!record) continue;
    UITouchPhase phase = touch->phase();
    if (phase == UITouchPhaseEnded || phase == UITouchPhaseCancelled) record->done = true;
    if (!record->viewCancelled && (!record->delayed.empty() || holds(*record, phase))) {
      record->delayed.push_back(phase);
      continue;
    }
    sendToView(*record, phase, event);
  }
  settle();
}

}  // namespace zvt::ui

using zvt::ui::GestureEnvironment;

// --- UIGestureRecognizer ----------------------------------------------------------------------

UIGestureRecognizer::~UIGestureRecognizer() {
  if (timer_) timer_->invalidate();
}

void UIGestureRecognizer::addTarget(const id& target, const SEL& action) {
  zvt::ui::assertMainThread("UIGestureRecognizer::addTarget");
  if (!target || !action) return;
  targets_.push_back(Target{target, action});
}

void UIGestureRecognizer::removeTarget(const id& target, const SEL& action) {
  zvt::ui::assertMainThread("UIGestureRecognizer::removeTarget");
  targets_.erase(std::remove_if(targets_.begin(), targets_.end(),
                                [&](const Target& t) {
                                  auto object = t.object.lock();
                                  bool targetMatches = !target || object == target;
                                  bool actionMatches = !action || t.action == action;
                                  return !object || (targetMatches && actionMatches);
                                }),
                 targets_.end());
}

void UIGestureRecognizer::setState(UIGestureRecognizerState state) {
  zvt::ui::assertMainThread("UIGestureRecognizer::setState");
  GestureEnvironment::shared().requestState(*this, state);
}

void UIGestureRecognizer::setEnabled(bool enabled) {
  zvt::ui::assertMainThread("UIGestureRecognizer::setEnabled");
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled) {
    if (state_ == UIGestureRecognizerStateBegan || state_ == UIGestureRecognizerStateChanged)
      setState(UIGestureRecognizerStateCancelled);
    else if (state_ == UIGestureRecognizerStatePossible && !touches_.empty())
      setState(UIGestureRecognizerStateFailed);
  }
}

void UIGestureRecognizer::requireGestureRecognizerToFail(const std::shared_ptr<UIGestureRecognizer>& other) {
  zvt::ui::assertMainThread("UIGestureRecognizer::requireGestureRecognizerToFail");
  if (other && other.get() != this) requiredToFail_.push_back(other);
}

void UIGestureRecognizer::attachToView(const std::shared_ptr<UIView>& view) {
  if (!view && (state_ == UIGestureRecognizerStateBegan || state_ == UIGestureRecognizerStateChanged))
    setState(UIGestureRecognizerStateCancelled);
  view_ = view;
}

CGPoint UIGestureRecognizer::locationInView(const std::shared_ptr<UIView>& view) const {
  if (touches_.empty()) return CGPointZero;
  CGPoint sum{};
  for (const auto& t : touches_) {
    CGPoint p = t->locationInView(view);
    sum.x += p.x;
    sum.y += p.y;
  }
  auto n = static_cast<CGFloat>(touches_.size());
  return CGPointMake(sum.x / n, sum.y / n);
}

CGPoint UIGestureRecognizer::locationOfTouch(NSUInteger index, const std::shared_ptr<UIView>& view) const {
  if (index >= touches_.size()) return CGPointZero;
  return touches_[index]->locationInView(view);
}

NSUInteger UIGestureRecognizer::numberOfTouches() const { return touches_.size(); }

void UIGestureRecognizer::touchesBegan(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {}
void UIGestureRecognizer::touchesMoved(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {}
void UIGestureRecognizer::touchesEnded(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {}
void UIGestureRecognizer::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  setState(state_ == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                      : UIGestureRecognizerStateCancelled);
}

void UIGestureRecognizer::reset() {
  cancelTimer();
  for (auto& t : touches_) t->removeGestureRecognizer(this);
  touches_.clear();
  state_ = UIGestureRecognizerStatePossible;
  pending_ = UIGestureRecognizerStatePossible;
  actionDue_ = false;
}

void UIGestureRecognizer::ignoreTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>&) {
  if (touch) GestureEnvironment::shared().ignore(*this, touch);
}

void UIGestureRecognizer::startTimer(NSTimeInterval seconds, std::function<void()> fire) {
  cancelTimer();
  std::weak_ptr<NSObject> weak = weak_from_this();
  timer_ = NSTimer::timerWithTimeInterval(seconds, false, [weak, fire = std::move(fire)](const auto&) {
    if (auto alive = weak.lock()) fire();
  });
  NSRunLoop::mainRunLoop()->addTimer(timer_, NSRunLoopCommonModes);
}

void UIGestureRecognizer::cancelTimer() {
  if (timer_) timer_->invalidate();
  timer_ = nullptr;
}

// --- taps -------------------------------------------------------------------------------------

void UITapGestureRecognizer::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  cancelTimer();
  for (const auto& t : zvt::ui::membersOf<UITouch>(touches)) {
    CGPoint p = t->locationInView(nullptr);
    if (haveFirstTap_ && distance(p, firstTap_) > 45) {
      setState(UIGestureRecognizerStateFailed);
      return;
    }
    starts_.emplace_back(t, p);
    ++fingersDown_;
  }
  lastLocation_ = UIGestureRecognizer::locationInView(nullptr);
  fingersThisTap_ = std::max(fingersThisTap_, fingersDown_);
  if (fingersThisTap_ > touchesRequired_) setState(UIGestureRecognizerStateFailed);
}

void UITapGestureRecognizer::touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  for (const auto& t : zvt::ui::membersOf<UITouch>(touches)) {
    for (const auto& [weak, start] : starts_) {
      if (weak.lock() != t) continue;
      if (distance(t->locationInView(nullptr), start) > kAllowableMovement) {
        setState(UIGestureRecognizerStateFailed);
        return;
      }
    }
  }
}

void UITapGestureRecognizer::touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  // Where the fingers were as they lifted (they still count as tracked here).
  lastLocation_ = UIGestureRecognizer::locationInView(nullptr);
  for (size_t i = 0, n = touches ? touches->count() : 0; i < n; ++i)
    if (fingersDown_ > 0) --fingersDown_;
  if (fingersDown_ > 0) return;
  if (fingersThisTap_ != touchesRequired_) {
    setState(UIGestureRecognizerStateFailed);
    return;
  }
  if (!haveFirstTap_) {
    firstTap_ = starts_.empty() ? lastLocation_ : starts_.front().second;
    haveFirstTap_ = true;
  }
  starts_.clear();
  fingersThisTap_ = 0;
  if (++tapsDone_ >= tapsRequired_) {
    setState(UIGestureRecognizerStateEnded);
    return;
  }
  // The next tap has to come soon.
  startTimer(kMaximumTapInterval, [this] { setState(UIGestureRecognizerStateFailed); });
}

void UITapGestureRecognizer::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  setState(UIGestureRecognizerStateFailed);
}

void UITapGestureRecognizer::reset() {
  UIGestureRecognizer::reset();
  tapsDone_ = fingersThisTap_ = fingersDown_ = 0;
  starts_.clear();
  haveFirstTap_ = false;
}

CGPoint UITapGestureRecognizer::locationInView(const std::shared_ptr<UIView>& view) const {
  if (numberOfTouches() > 0) return UIGestureRecognizer::locationInView(view);
  // After the tap: where it was, in its window's coordinates.
  auto owner = this->view();
  auto window = owner ? owner->window() : nullptr;
  return window ? window->convertPointToView(lastLocation_, view) : lastLocation_;
}

// --- long press -------------------------------------------------------------------------------

void UILongPressGestureRecognizer::touchesBegan(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  if (state() != UIGestureRecognizerStatePossible) return;
  if (numberOfTouches() > touchesRequired_) {
    setState(UIGestureRecognizerStateFailed);
    return;
  }
  if (numberOfTouches() == touchesRequired_) {
    start_ = locationInView(nullptr);
    startTimer(minimumPressDuration_, [this] {
      if (state() == UIGestureRecognizerStatePossible) setState(UIGestureRecognizerStateBegan);
    });
  }
}

void UILongPressGestureRecognizer::touchesMoved(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  if (state() == UIGestureRecognizerStatePossible) {
    if (distance(locationInView(nullptr), start_) > allowableMovement_) setState(UIGestureRecognizerStateFailed);
  } else {
    setState(UIGestureRecognizerStateChanged);
  }
}

void UILongPressGestureRecognizer::touchesEnded(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed : UIGestureRecognizerStateEnded);
}

void UILongPressGestureRecognizer::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                       : UIGestureRecognizerStateCancelled);
}

void UILongPressGestureRecognizer::reset() {
  UIGestureRecognizer::reset();
  start_ = CGPointZero;
}

// --- pan --------------------------------------------------------------------------------------

CGPoint UIPanGestureRecognizer::centroid() const {
  const auto& touches = trackedTouches();
  if (touches.empty()) return samples_.empty() ? CGPointZero : samples_.back().point;
  CGPoint sum{};
  for (const auto& t : touches) {
    CGPoint p = t->locationInView(nullptr);
    sum.x += p.x;
    sum.y += p.y;
  }
  auto n = static_cast<CGFloat>(touches.size());
  return CGPointMake(sum.x / n, sum.y / n);
}

void UIPanGestureRecognizer::sample(double time) {
  CGPoint c = centroid();
  if (trackedTouches().size() != touchCount_) {
    // A finger came or went: the centroid jumps; keep the translation continuous.
    if (!samples_.empty()) {
      origin_.x += c.x - samples_.back().point.x;
      origin_.y += c.y - samples_.back().point.y;
    }
    samples_.clear();
    touchCount_ = trackedTouches().size();
  }
  samples_.push_back(Sample{time, c});
  // Older samples than the velocity window are not needed (keep one before it).
  while (samples_.size() > 2 && samples_[1].time < time - kVelocityWindow) samples_.erase(samples_.begin());
}

void UIPanGestureRecognizer::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  if (numberOfTouches() > maximumTouches_) {
    setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                         : UIGestureRecognizerStateEnded);
    return;
  }
  double time = event ? event->timestamp() : 0;
  if (samples_.empty()) {
    touchCount_ = trackedTouches().size();
    origin_ = centroid();
  }
  sample(time);
  (void)touches;
}

void UIPanGestureRecognizer::touchesMoved(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>& event) {
  sample(event ? event->timestamp() : 0);
  if (state() == UIGestureRecognizerStatePossible) {
    if (numberOfTouches() >= minimumTouches_ && distance(centroid(), origin_) > kHysteresis)
      setState(UIGestureRecognizerStateBegan);
  } else {
    setState(UIGestureRecognizerStateChanged);
  }
}

void UIPanGestureRecognizer::touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  // The lifted fingers still count for this last sample.
  size_t remaining = numberOfTouches() - std::min<size_t>(numberOfTouches(), touches ? touches->count() : 0);
  sample(event ? event->timestamp() : 0);
  if (remaining > 0 && remaining >= minimumTouches_) return;
  setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed : UIGestureRecognizerStateEnded);
}

void UIPanGestureRecognizer::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  setState(state() == UIGestureRecognizerStatePossible ? UIGestureRecognizerStateFailed
                                                       : UIGestureRecognizerStateCancelled);
}

void UIPanGestureRecognizer::reset() {
  UIGestureRecognizer::reset();
  samples_.clear();
  origin_ = CGPointZero;
  touchCount_ = 0;
}

CGPoint UIPanGestureRecognizer::vectorInView(CGPoint vector, const std::shared_ptr<UIView>& view) const {
  if (!view) return vector;
  auto window = view->window();
  CGPoint a = view->convertPointFromView(CGPointZero, window);
  CGPoint b = view->convertPointFromView(vector, window);
  return CGPointMake(b.x - a.x, b.y - a.y);
}

CGPoint UIPanGestureRecognizer::translationInView(const std::shared_ptr<UIView>& view) const {
  CGPoint c = centroid();
  return vectorInView(CGPointMake(c.x - origin_.x, c.y - origin_.y), view);
}

void UIPanGestureRecognizer::setTranslation(CGPoint translation, const std::shared_ptr<UIView>& view) {
  // The window vector that the view sees as `translation`.
  CGPoint unit = vectorInView(CGPointMake(1, 0), view), unitY = vectorInView(CGPointMake(0, 1), view);
  CGFloat det = unit.x * unitY.y - unitY.x * unit.y;
  CGPoint w = translation;
  if (det != 0) {
    w.x = (translation.x * unitY.y - unitY.x * translation.y) / det;
    w.y = (unit.x * translation.y - translation.x * unit.y) / det;
  }
  CGPoint c = centroid();
  origin_ = CGPointMake(c.x - w.x, c.y - w.y);
}

CGPoint UIPanGestureRecognizer::velocityInView(const std::shared_ptr<UIView>& view) const {
  if (samples_.size() < 2) return CGPointZero;
  const Sample& last = samples_.back();
  // The oldest sample within the window, or the one just before it.
  const Sample* first = &samples_.front();
  for (const auto& s : samples_)
    if (s.time >= last.time - kVelocityWindow - 1e-9) {
      first = &s;
      break;
    }
  if (first == &last) first = &samples_[samples_.size() - 2];
  double dt = last.time - first->time;
  if (dt <= 0) return CGPointZero;
  return vectorInView(CGPointMake((last.point.x - first->point.x) / dt, (last.point.y - first->point.y) / dt), view);
}

// --- swipe ------------------------------------------------------------------------------------

void UISwipeGestureRecognizer::touchesBegan(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>& event) {
  if (numberOfTouches() > touchesRequired_) {
    setState(UIGestureRecognizerStateFailed);
    return;
  }
  if (!started_) {
    startTime_ = event ? event->timestamp() : 0;
    started_ = true;
  }
  start_ = last_ = UIGestureRecognizer::locationInView(nullptr);
  // Too slow to be a swipe once the time is up (also when the fingers stand still).
  startTimer(kMaximumDuration, [this] {
    if (state() == UIGestureRecognizerStatePossible) setState(UIGestureRecognizerStateFailed);
  });
}

void UISwipeGestureRecognizer::touchesMoved(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>& event) {
  if (numberOfTouches() != touchesRequired_) return;
  last_ = UIGestureRecognizer::locationInView(nullptr);
  double elapsed = (event ? event->timestamp() : 0) - startTime_;
  CGFloat dx = last_.x - start_.x, dy = last_.y - start_.y;
  struct Way {
    NSUInteger direction;
    CGFloat along, across;
  } ways[] = {{UISwipeGestureRecognizerDirectionRight, dx, dy},
              {UISwipeGestureRecognizerDirectionLeft, -dx, dy},
              {UISwipeGestureRecognizerDirectionDown, dy, dx},
              {UISwipeGestureRecognizerDirectionUp, -dy, dx}};
  for (const auto& way : ways) {
    if (!(direction_ & way.direction)) continue;
    if (way.along >= kMinimumDistance && std::fabs(way.across) * 2 < way.along && elapsed <= kMaximumDuration) {
      setState(UIGestureRecognizerStateEnded);
      return;
    }
  }
  // Gone the wrong way, or too slow.
  bool anyAllowed = false;
  for (const auto& way : ways)
    if ((direction_ & way.direction) && way.along > -kAllowableDrift && std::fabs(way.across) < kMinimumDistance)
      anyAllowed = true;
  if (!anyAllowed || elapsed > kMaximumDuration) setState(UIGestureRecognizerStateFailed);
}

void UISwipeGestureRecognizer::touchesEnded(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  setState(UIGestureRecognizerStateFailed);
}

void UISwipeGestureRecognizer::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  setState(UIGestureRecognizerStateFailed);
}

void UISwipeGestureRecognizer::reset() {
  UIGestureRecognizer::reset();
  started_ = false;
  start_ = last_ = CGPointZero;
}

CGPoint UISwipeGestureRecognizer::locationInView(const std::shared_ptr<UIView>& view) const {
  auto owner = this->view();
  auto window = owner ? owner->window() : nullptr;
  return window ? window->convertPointToView(start_, view) : start_;
}
