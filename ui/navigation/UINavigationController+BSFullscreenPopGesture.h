#pragma once
// The full-screen back swipe: a one-finger pan to the right that starts anywhere on a pushed
// screen pops it, through the navigation controller's interactive pop; and the navigation bar
// shown or hidden per screen as each screen is about to appear (by default every screen shows
// it). Installed at the controllers' hook points (zvt::ui::installNavigationExtensions).

#include <functional>
#include <memory>

#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINavigationController.h"

// --- UINavigationController(BSFullscreenPopGesture)
// The pan that replaces the edge pan, made on first use (one finger), installed on the first
// push.
std::shared_ptr<UIPanGestureRecognizer> bs_fullscreenPopGestureRecognizer(const std::shared_ptr<UINavigationController>& navigation);
// Whether each screen's bs_prefersNavigationBarHidden decides the bar (YES by default).
bool bs_viewControllerBasedNavigationBarAppearanceEnabled(const std::shared_ptr<UINavigationController>& navigation);
void setBs_viewControllerBasedNavigationBarAppearanceEnabled(const std::shared_ptr<UINavigationController>& navigation,
                                                             bool enabled);

// --- UIViewController(BSFullscreenPopGesture)
// YES forbids the swipe on this screen.
bool bs_interactivePopDisabled(const std::shared_ptr<UIViewController>& controller);
void setBs_interactivePopDisabled(const std::shared_ptr<UIViewController>& controller, bool disabled);
// Whether the bar is hidden while this screen shows.
bool bs_prefersNavigationBarHidden(const std::shared_ptr<UIViewController>& controller);
void setBs_prefersNavigationBarHidden(const std::shared_ptr<UIViewController>& controller, bool hidden);

// --- UIViewController(BSFullscreenPopGesturePrivate)
// Run after the screen's viewWillAppear (with the screen and the animation flag).
using BSViewControllerWillAppearInjectBlock = std::function<void(const std::shared_ptr<UIViewController>& controller, bool animated)>;
BSViewControllerWillAppearInjectBlock bs_willAppearInjectBlock(const std::shared_ptr<UIViewController>& controller);
void setBs_willAppearInjectBlock(const std::shared_ptr<UIViewController>& controller, BSViewControllerWillAppearInjectBlock block);

namespace zvt::ui {

// The swipe's recogniser delegate (the private _BSFullscreenPopGestureRecognizerDelegate): the
// swipe begins only on a pushed screen that allows it, outside a transition, to the right.
class BSFullscreenPopGestureRecognizerDelegate : public NSObject, public UIGestureRecognizerDelegate {
 public:
  std::shared_ptr<UINavigationController> navigationController() const { return navigationController_.lock(); }
  void setNavigationController(const std::shared_ptr<UINavigationController>& navigation) { navigationController_ = navigation; }
  bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& recognizer) override;

 private:
  std::weak_ptr<UINavigationController> navigationController_;
};

// Installs the will-appear and push hooks of the back swipe (once per process).
void installFullscreenPopGesture();

}  // namespace zvt::ui
