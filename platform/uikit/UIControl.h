#pragma once
// Controls (UIControl): views that track touches and send actions to targets for control
// events. Tracking: a touch down highlights the control and sends touch-down; moving sends
// drag-inside/outside (and enter/exit when it crosses the edge, which lies 70 points outside
// the bounds while tracking, as on the device); lifting sends touch-up-inside or -outside; a
// cancel sends touch-cancel. A disabled control passes its touches to the next responder.
// The editing events are sent by the text controls; value-changed by the value controls.

#include <memory>
#include <vector>

#include "platform/uikit/UIView.h"

enum UIControlEvents : NSUInteger {
  UIControlEventTouchDown = 1 << 0,
  UIControlEventTouchDownRepeat = 1 << 1,
  UIControlEventTouchDragInside = 1 << 2,
  UIControlEventTouchDragOutside = 1 << 3,
  UIControlEventTouchDragEnter = 1 << 4,
  UIControlEventTouchDragExit = 1 << 5,
  UIControlEventTouchUpInside = 1 << 6,
  UIControlEventTouchUpOutside = 1 << 7,
  UIControlEventTouchCancel = 1 << 8,
  UIControlEventValueChanged = 1 << 12,
  UIControlEventPrimaryActionTriggered = 1 << 13,
  UIControlEventEditingDidBegin = 1 << 16,
  UIControlEventEditingChanged = 1 << 17,
  UIControlEventEditingDidEnd = 1 << 18,
  UIControlEventEditingDidEndOnExit = 1 << 19,
  UIControlEventAllTouchEvents = 0x00000FFF,
  UIControlEventAllEditingEvents = 0x000F0000,
  UIControlEventApplicationReserved = 0x0F000000,
  UIControlEventSystemReserved = 0xF0000000,
  UIControlEventAllEvents = 0xFFFFFFFF,
};
inline UIControlEvents operator|(UIControlEvents a, UIControlEvents b) {
  return static_cast<UIControlEvents>(static_cast<NSUInteger>(a) | static_cast<NSUInteger>(b));
}

enum UIControlState : NSUInteger {
  UIControlStateNormal = 0,
  UIControlStateHighlighted = 1 << 0,
  UIControlStateDisabled = 1 << 1,
  UIControlStateSelected = 1 << 2,
};
inline UIControlState operator|(UIControlState a, UIControlState b) {
  return static_cast<UIControlState>(static_cast<NSUInteger>(a) | static_cast<NSUInteger>(b));
}

enum UIControlContentHorizontalAlignment : NSInteger {
  UIControlContentHorizontalAlignmentCenter,
  UIControlContentHorizontalAlignmentLeft,
  UIControlContentHorizontalAlignmentRight,
  UIControlContentHorizontalAlignmentFill,
};
enum UIControlContentVerticalAlignment : NSInteger {
  UIControlContentVerticalAlignmentCenter,
  UIControlContentVerticalAlignmentTop,
  UIControlContentVerticalAlignmentBottom,
  UIControlContentVerticalAlignmentFill,
};

class UIControl : public UIView {
 public:
  // How far outside its bounds a tracked touch still counts as inside.
  static constexpr CGFloat kTrackingSlop = 70;

  static std::shared_ptr<UIControl> initWithFrame(CGRect frame) { return makeView<UIControl>(frame); }

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool enabled);
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted);
  UIControlState state() const;
  bool isTracking() const { return tracking_; }
  bool isTouchInside() const { return touchInside_; }
  UIControlContentHorizontalAlignment contentHorizontalAlignment() const { return horizontalAlignment_; }
  void setContentHorizontalAlignment(UIControlContentHorizontalAlignment a) {
    horizontalAlignment_ = a;
    setNeedsLayout();
  }
  UIControlContentVerticalAlignment contentVerticalAlignment() const { return verticalAlignment_; }
  void setContentVerticalAlignment(UIControlContentVerticalAlignment a) {
    verticalAlignment_ = a;
    setNeedsLayout();
  }

  // Targets are held weakly; a nil target sends the action up the responder chain. Adding the
  // same target and action again adds the events to it.
  void addTarget(const id& target, const SEL& action, UIControlEvents events);
  // A nil target matches every target, a nil action every action.
  void removeTarget(const id& target, const SEL& action, UIControlEvents events);
  // The targets (nil targets are not listed) and the events with actions.
  std::vector<id> allTargets() const;
  UIControlEvents allControlEvents() const;
  std::vector<SEL> actionsForTarget(const id& target, UIControlEvents event) const;
  // Sends the actions of every target registered for any of the events, in the order added.
  void sendActionsForControlEvents(UIControlEvents events);
  // Through UIApplication::sendAction with this control as the sender.
  virtual void sendAction(const SEL& action, const id& target, const std::shared_ptr<UIEvent>& event);

  // Tracking, for subclasses: begin answers whether to keep tracking the touch.
  virtual bool beginTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event);
  virtual bool continueTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event);
  virtual void endTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event);
  virtual void cancelTrackingWithEvent(const std::shared_ptr<UIEvent>& event);

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;

  // A single-finger single-tap recogniser of another view does not begin over a control whose
  // own action is a tap (buttons, switches, segmented controls, page controls, steppers).
  bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& recognizer) override;

 protected:
  // Whether the control's own action is a tap (see gestureRecognizerShouldBegin); no by default.
  virtual bool takesTapsBeforeRecognizers() const { return false; }
  // Sends the events' actions with an event.
  void sendActions(UIControlEvents events, const std::shared_ptr<UIEvent>& event);

 private:
  struct Target {
    std::weak_ptr<NSObject> object;
    bool nilTarget;
    SEL action;
    NSUInteger events;
  };
  bool inside(const std::shared_ptr<UITouch>& touch) const;

  std::vector<Target> targets_;
  std::weak_ptr<UITouch> trackingTouch_;
  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  bool tracking_ = false;
  bool touchInside_ = false;
  UIControlContentHorizontalAlignment horizontalAlignment_ = UIControlContentHorizontalAlignmentCenter;
  UIControlContentVerticalAlignment verticalAlignment_ = UIControlContentVerticalAlignmentCenter;
};
