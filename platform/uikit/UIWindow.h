#pragma once
// Windows (UIWindow): the roots of view trees that the screen shows. A window starts hidden;
// makeKeyAndVisible shows it and makes it the key window (the one that gets typing). Windows
// are stacked by windowLevel, then by the order they were shown. A window's frame is in screen
// coordinates. Touches reach a window through UIApplication::sendEvent.
//
// The root view controller's view fills the window; it is installed (and the controller told
// that it appears) when the window is shown, or at once when the window is already shown.

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

class UIViewController;

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

  // Held strongly. Changing it while the window is shown takes the old root's view out and
  // puts the new one in, with the appearance callbacks of both.
  const std::shared_ptr<UIViewController>& rootViewController() const { return rootViewController_; }
  void setRootViewController(const std::shared_ptr<UIViewController>& controller);

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
  void installRootView();
  std::shared_ptr<UIViewController> rootViewController_;
  UIWindowLevel windowLevel_ = UIWindowLevelNormal;
  uint64_t stackingOrder_ = 0;
};
