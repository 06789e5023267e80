#include "platform/uikit/UIWindow.h"

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/DisplayCycle.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIViewController.h"
#include "platform/uikit/internal/ControllerTransition.h"
#include "platform/uikit/internal/GestureEnvironment.h"

UIWindow::UIWindow() {
  isWindow_ = true;
  opaque_ = false;
}

UIWindow::~UIWindow() {
  if (auto app = UIApplication::sharedApplication()) app->windowResignedKey(this);
}

void UIWindow::registerWithApplication() {
  zvt::ui::installDisplayCycle();
  UIApplication::sharedApplication()->windowCreated(std::static_pointer_cast<UIWindow>(viewSelf()));
}

void UIWindow::setUpWithFrame(CGRect frame) {
  zvt::ui::assertMainThread("UIWindow::initWithFrame");
  UIView::setUpWithFrame(frame);
  layer()->setOpaque(false);
  UIView::setHidden(true);
  registerWithApplication();
}

bool UIWindow::isKeyWindow() const { return UIApplication::sharedApplication()->keyWindow().get() == this; }

void UIWindow::makeKeyWindow() {
  zvt::ui::assertMainThread("UIWindow::makeKeyWindow");
  registerWithApplication();
  auto app = UIApplication::sharedApplication();
  auto old = app->keyWindow();
  if (old.get() == this) return;
  if (old) old->resignKeyWindow();
  becomeKeyWindow();
}

void UIWindow::becomeKeyWindow() {
  UIApplication::sharedApplication()->windowBecameKey(std::static_pointer_cast<UIWindow>(viewSelf()));
  if (rootViewController_) zvt::ui::updateStatusBarAppearance();
  NSNotificationCenter::defaultCenter()->postNotificationName(UIWindowDidBecomeKeyNotification, self());
}

void UIWindow::resignKeyWindow() {
  UIApplication::sharedApplication()->windowResignedKey(this);
  NSNotificationCenter::defaultCenter()->postNotificationName(UIWindowDidResignKeyNotification, self());
}

void UIWindow::makeKeyAndVisible() {
  zvt::ui::assertMainThread("UIWindow::makeKeyAndVisible");
  registerWithApplication();
  stackingOrder_ = UIApplication::sharedApplication()->nextStackingOrder();
  setHidden(false);
  makeKeyWindow();
}

namespace {

// The root's did-appear comes after the turn's layout and display, as after launch on the device.
void endAppearanceAfterPass(const std::shared_ptr<UIViewController>& root) {
  std::weak_ptr<UIViewController> weak = root;
  uint64_t generation = root->appearanceGeneration();
  zvt::ui::afterDisplayPass([weak, generation] {
    auto root = weak.lock();
    if (root && root->appearanceGeneration() == generation) root->endAppearanceTransition();
  });
}

}  // namespace

void UIWindow::installRootView() {
  auto root = rootViewController_;
  if (!root) return;
  auto view = root->view();
  if (view->superview().get() == this) return;
  zvt::ui::ManagedViewMoves managed;
  view->setFrame(bounds());
  view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  insertSubview(view, 0);
}

void UIWindow::setRootViewController(const std::shared_ptr<UIViewController>& controller) {
  zvt::ui::assertMainThread("UIWindow::setRootViewController");
  if (controller == rootViewController_) return;
  auto keep = viewSelf();
  auto old = rootViewController_;
  if (controller) {
    if (auto window = controller->rootOfWindow(); window && window.get() != this) window->setRootViewController(nullptr);
  }
  rootViewController_ = controller;
  if (old) old->setRootOfWindow(nullptr);
  if (controller) controller->setRootOfWindow(std::static_pointer_cast<UIWindow>(keep));
  bool shown = !isHidden();
  if (old && shown) old->beginAppearanceTransition(false, false);
  if (controller && shown) {
    installRootView();
    controller->beginAppearanceTransition(true, false);
  }
  if (old) {
    if (auto view = old->viewIfLoaded(); view && view->superview().get() == this) {
      zvt::ui::ManagedViewMoves managed;
      view->removeFromSuperview();
    }
    if (shown) old->endAppearanceTransition();
  }
  if (controller && shown) endAppearanceAfterPass(controller);
  if (isKeyWindow()) zvt::ui::updateStatusBarAppearance();
}

void UIWindow::setHidden(bool hidden) {
  zvt::ui::assertMainThread("UIWindow::setHidden");
  bool was = isHidden();
  if (was && !hidden) stackingOrder_ = UIApplication::sharedApplication()->nextStackingOrder();
  UIView::setHidden(hidden);
  if (was == hidden) return;
  if (auto root = rootViewController_) {
    auto keep = viewSelf();
    if (!hidden) {
      installRootView();
      root->beginAppearanceTransition(true, false);
      endAppearanceAfterPass(root);
    } else {
      root->beginAppearanceTransition(false, false);
      root->endAppearanceTransition();
    }
  }
  if (hidden && isKeyWindow()) resignKeyWindow();
  NSNotificationCenter::defaultCenter()->postNotificationName(
      hidden ? UIWindowDidBecomeHiddenNotification : UIWindowDidBecomeVisibleNotification, self());
}

void UIWindow::sendEvent(const std::shared_ptr<UIEvent>& event) {
  zvt::ui::assertMainThread("UIWindow::sendEvent");
  zvt::ui::GestureEnvironment::shared().deliver(std::static_pointer_cast<UIWindow>(viewSelf()), event);
}

CGPoint UIWindow::convertPointToWindow(CGPoint point, const std::shared_ptr<UIWindow>& window) const {
  CGPoint screen = CGPointApplyAffineTransform(point, transformToScreen());
  if (!window) return screen;
  return CGPointApplyAffineTransform(screen, CGAffineTransformInvert(window->transformToScreen()));
}

CGPoint UIWindow::convertPointFromWindow(CGPoint point, const std::shared_ptr<UIWindow>& window) const {
  CGPoint screen = window ? CGPointApplyAffineTransform(point, window->transformToScreen()) : point;
  return CGPointApplyAffineTransform(screen, CGAffineTransformInvert(transformToScreen()));
}

CGPoint UIWindow::convertPointFromScreen(CGPoint point) const { return convertPointFromWindow(point, nullptr); }

std::shared_ptr<UIResponder> UIWindow::nextResponder() const {
  if (auto delegate = viewDelegate())
    if (auto responder = delegate->responderForView()) return responder;
  return UIApplication::sharedApplication();
}
