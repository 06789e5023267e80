#pragma once
// Touches and touch events (UITouch, UIEvent). A touch is one finger from the moment it comes
// down until it lifts (or is cancelled); its location is kept in its window's coordinates.
// The event source (zvt::ui::Device) makes touches and events and hands the events to
// UIApplication::sendEvent.

#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSSet.h"

class UIView;
class UIWindow;
class UIGestureRecognizer;

enum UITouchPhase : NSInteger {
  UITouchPhaseBegan,
  UITouchPhaseMoved,
  UITouchPhaseStationary,
  UITouchPhaseEnded,
  UITouchPhaseCancelled,
};

class UITouch : public NSObject {
 public:
  UITouch() = default;

  UITouchPhase phase() const { return phase_; }
  // Taps at about the same place in quick succession count up (1 for a single tap).
  NSUInteger tapCount() const { return tapCount_; }
  // Seconds on the run loop's monotonic clock of the last change.
  double timestamp() const { return timestamp_; }
  // The view the touch began in (the hit-test result), for its whole life.
  std::shared_ptr<UIView> view() const { return view_.lock(); }
  std::shared_ptr<UIWindow> window() const { return window_.lock(); }
  // In the view's coordinates; nil means the window's.
  CGPoint locationInView(const std::shared_ptr<UIView>& view) const;
  CGPoint previousLocationInView(const std::shared_ptr<UIView>& view) const;
  // The recognisers that receive this touch.
  std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers() const;

  // --- for the event source
  void setPhase(UITouchPhase phase) { phase_ = phase; }
  void setTapCount(NSUInteger count) { tapCount_ = count; }
  void setTimestamp(double timestamp) { timestamp_ = timestamp; }
  void setWindow(const std::shared_ptr<UIWindow>& window) { window_ = window; }
  void setView(const std::shared_ptr<UIView>& view) { view_ = view; }
  // Moves the touch to a point in its window's coordinates (the old one becomes the previous).
  void setLocationInWindow(CGPoint point);
  void setInitialLocationInWindow(CGPoint point) { location_ = previous_ = point; }
  CGPoint locationInWindow() const { return location_; }
  void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
  void removeGestureRecognizer(const UIGestureRecognizer* recognizer);

 private:
  CGPoint convert(CGPoint point, const std::shared_ptr<UIView>& view) const;

  UITouchPhase phase_ = UITouchPhaseBegan;
  NSUInteger tapCount_ = 1;
  double timestamp_ = 0;
  std::weak_ptr<UIView> view_;
  std::weak_ptr<UIWindow> window_;
  CGPoint location_, previous_;
  std::vector<std::weak_ptr<UIGestureRecognizer>> recognizers_;
};

enum UIEventType : NSInteger {
  UIEventTypeTouches,
  UIEventTypeMotion,
  UIEventTypeRemoteControl,
};

class UIEvent : public NSObject {
 public:
  UIEvent(UIEventType type, double timestamp, std::vector<std::shared_ptr<UITouch>> touches)
      : type_(type), timestamp_(timestamp), touches_(std::move(touches)) {}

  UIEventType type() const { return type_; }
  double timestamp() const { return timestamp_; }
  // Every touch of the event (each finger that is down, or lifted in this event).
  std::shared_ptr<NSSet> allTouches() const;
  std::shared_ptr<NSSet> touchesForView(const std::shared_ptr<UIView>& view) const;
  std::shared_ptr<NSSet> touchesForWindow(const std::shared_ptr<UIWindow>& window) const;
  std::shared_ptr<NSSet> touchesForGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) const;
  const std::vector<std::shared_ptr<UITouch>>& touches() const { return touches_; }

 private:
  UIEventType type_;
  double timestamp_;
  std::vector<std::shared_ptr<UITouch>> touches_;
};
