#pragma once
// Windows (UIWindow): the roots of view trees that the screen shows. A window starts hidden;
// makeKeyAndVisible shows it and makes it the key window (the one that gets typing). Windows
// are stacked by windowLevel, then by the order they were shown. A window's frame is in screen
// coordinates. Touches reach a window through UIApplication::sendEvent.
//
// The view controllers add the window's rootViewController (kept by the controllers' code,
// which installs the root's view as the window's subview).

#include <memory>

#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIView.h"

using UIWindowLevel = CGFloat;
inline constexpr UIWindowLevel UIWindowLevelNormal = 0;
inline constexpr UIWindowLevel UIWindowLevelStatusBar = 1000;
inline constexpr UIWindowLevel UIWindowLevelAlert = 2000;

inline const zvt::StaticString UIWindowDidBecomeVisibleNotification{"UIWindowDidBecomeVisibleNotification"};
inline const zvt::StaticString UIWindowDidBecomeHiddenNotification{"UIWindowDidBecomeHiddenNotification"};
inline const zvt::StaticString UIWindowDidBecomeKeyNotification{"UIWindowDidBecomeKeyNotification"};
inline const zvt::StaticString UIWindowDidResignKeyNotification{"UIWindowDidResignKeyNotification"};

class UIWindow : public UIView {
 public:
  UIWindow();
  ~UIWindow() override;

  static std::shared_ptr<UIWindow> initWithFrame(CGRect frame) { return makeView<UIWindow>(frame); }
  // A window on the main screen's bounds.
  static std::shared_ptr<UIWindow> make() { return makeView<UIWindow>(UIScreen::mainScreen()->bounds()); }
  void setUpWithFrame(CGRect frame) override;

  UIWindowLevel windowLevel() const { return windowLevel_; }
  void setWindowLevel(UIWindowLevel level) { windowLevel_ = level; }
  std::shared_ptr<UIScreen> screen() const { return UIScreen::mainScreen(); }

  bool isKeyWindow() const;
  void makeKeyWindow();
  // Shows the window in front of those of its level and makes it the key window.
  void makeKeyAndVisible();
  virtual void becomeKeyWindow();
  virtual void resignKeyWindow();
  void setHidden(bool hidden) override;

  // Delivers the event's touches of this window: to the gesture recognisers first, then to
  // the views they began in (see UIGestureRecognizer.h for the rules between the two).
  virtual void sendEvent(const std::shared_ptr<UIEvent>& event);

  // Window and screen coordinates.
  CGPoint convertPointToWindow(CGPoint point, const std::shared_ptr<UIWindow>& window) const;
  CGPoint convertPointFromWindow(CGPoint point, const std::shared_ptr<UIWindow>& window) const;
  CGPoint convertPointFromScreen(CGPoint point) const;

  // The application.
  std::shared_ptr<UIResponder> nextResponder() const override;

  // When the window was last brought to the front of its level (for stacking).
  uint64_t stackingOrder() const { return stackingOrder_; }

 private:
  void registerWithApplication();
  UIWindowLevel windowLevel_ = UIWindowLevelNormal;
  uint64_t stackingOrder_ = 0;
};
