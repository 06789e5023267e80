#pragma once
// Tab bar controllers (UITabBarController): children of which one, the selected, is shown, with
// a tab bar of their tab bar items along the bottom. A tap on an item asks the delegate
// (shouldSelect), selects the tab and tells it (didSelect); a tap on the selected tab's item pops
// a navigation controller there to its root. Selecting in code asks nobody. A tab switch calls
// back at once: the old tab's will-disappear, the new one's will-appear, did-disappear,
// did-appear.
//
// The selected child's view fills the controller's view (under the translucent tab bar; above an
// opaque one). The bar is hidden while the selected tab is a navigation controller with a
// pushed controller that hidesBottomBarWhenPushed (it slides down with the push and back with
// the pop), or while it is hidden itself (tabBar()->setHidden).

#include <memory>
#include <vector>

#include "platform/uikit/UITabBar.h"
#include "platform/uikit/UIViewController.h"

class UITabBarController;

class UITabBarControllerDelegate {
 public:
  virtual ~UITabBarControllerDelegate() = default;
  virtual bool tabBarControllerShouldSelectViewController(const std::shared_ptr<UITabBarController>& /*tabs*/,
                                                          const std::shared_ptr<UIViewController>& /*controller*/) {
    return true;
  }
  virtual void tabBarControllerDidSelectViewController(const std::shared_ptr<UITabBarController>& /*tabs*/,
                                                       const std::shared_ptr<UIViewController>& /*controller*/) {}
};

class UITabBarController : public UIViewController {
 public:
  UITabBarController();
  ~UITabBarController() override;
  static std::shared_ptr<UITabBarController> make() { return std::make_shared<UITabBarController>(); }

  const std::vector<std::shared_ptr<UIViewController>>& viewControllers() const { return tabs_; }
  // The selected tab stays selected when it is among the new ones, else the first is.
  void setViewControllers(std::vector<std::shared_ptr<UIViewController>> controllers, bool animated = false);
  // NSNotFound while there are no tabs.
  NSUInteger selectedIndex() const;
  // An index out of range is ignored.
  void setSelectedIndex(NSUInteger index);
  std::shared_ptr<UIViewController> selectedViewController() const { return selected_; }
  void setSelectedViewController(const std::shared_ptr<UIViewController>& controller);
  std::shared_ptr<UITabBar> tabBar();
  std::shared_ptr<UITabBarControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UITabBarControllerDelegate>& delegate) { delegate_ = delegate; }

  // --- UIViewController
  void loadView() override;
  std::shared_ptr<UIViewController> childViewControllerForStatusBarStyle() const override { return selected_; }
  std::shared_ptr<UIViewController> childViewControllerForStatusBarHidden() const override { return selected_; }
  CGRect frameForChildView(const UIViewController& child) const override;
  std::pair<CGFloat, CGFloat> uncoveredSpanForChild(const UIViewController& child) const override;
  void childTabBarItemDidChange(const UIViewController& child) override;
  UITabBarController* asTabBarController() override { return this; }

  // --- for the view
  void layoutContainer();
  // Whether the tab bar shows now (not hidden, not hidden by a pushed controller).
  bool isTabBarShown() const;

 protected:
  std::vector<std::shared_ptr<UIViewController>> childrenShownForAppearance() const override;
  void prepareForAppearance() override;
  bool drivesChildAppearanceByWindowMoves() const override { return false; }

 private:
  std::shared_ptr<UITabBarController> tabsSelf() const {
    return std::static_pointer_cast<UITabBarController>(controllerSelf());
  }
  void select(const std::shared_ptr<UIViewController>& controller);
  bool itemTapped(const std::shared_ptr<UITabBarItem>& item);
  void syncItems();
  bool hiddenByPush() const;
  void watchStack(const std::shared_ptr<UIViewController>& controller);
  void stackChanged(bool animated);
  CGRect tabBarFrame() const;

  std::vector<std::shared_ptr<UIViewController>> tabs_;
  std::shared_ptr<UIViewController> selected_;
  std::shared_ptr<UITabBar> tabBar_;
  std::shared_ptr<UIView> container_;
  std::weak_ptr<UITabBarControllerDelegate> delegate_;
  bool barHiddenByPush_ = false;
  int barAnimations_ = 0;
};
