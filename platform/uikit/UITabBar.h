#pragma once
// Tab bars (UITabBar): a 49-point bar of equally wide buttons, one per tab bar item, each an
// image over a 10-point title; the selected one in the tint colour (its selected image when it
// has one), the others grey. A tap on a button selects its item and tells the delegate; a bar
// that a tab bar controller owns asks the controller first.

#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UITabBarItem.h"
#include "platform/uikit/UIView.h"

class UITabBar;
namespace zvt::ui {
class BarButton;
}

class UITabBarDelegate {
 public:
  virtual ~UITabBarDelegate() = default;
  virtual void tabBarDidSelectItem(const std::shared_ptr<UITabBar>& /*bar*/,
                                   const std::shared_ptr<UITabBarItem>& /*item*/) {}
};

class UITabBar : public UIView, public zvt::ui::BarItemOwner {
 public:
  static constexpr CGFloat kHeight = 49;

  static std::shared_ptr<UITabBar> make() { return makeView<UITabBar>(CGRectMake(0, 0, 320, kHeight)); }
  static std::shared_ptr<UITabBar> initWithFrame(CGRect frame) { return makeView<UITabBar>(frame); }
  void setUpWithFrame(CGRect frame) override;

  std::vector<std::shared_ptr<UITabBarItem>> items() const { return items_; }
  void setItems(std::vector<std::shared_ptr<UITabBarItem>> items, bool animated = false);
  std::shared_ptr<UITabBarItem> selectedItem() const { return selectedItem_.lock(); }
  void setSelectedItem(const std::shared_ptr<UITabBarItem>& item);
  std::shared_ptr<UITabBarDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UITabBarDelegate>& delegate) { delegate_ = delegate; }

  UIBarStyle barStyle() const { return barStyle_; }
  void setBarStyle(UIBarStyle style);
  bool isTranslucent() const { return translucent_; }
  void setTranslucent(bool translucent);
  const std::shared_ptr<UIColor>& barTintColor() const { return barTintColor_; }
  void setBarTintColor(const std::shared_ptr<UIColor>& color);
  const std::shared_ptr<UIImage>& backgroundImage() const { return backgroundImage_; }
  void setBackgroundImage(const std::shared_ptr<UIImage>& image);
  const std::shared_ptr<UIImage>& shadowImage() const { return shadowImage_; }
  void setShadowImage(const std::shared_ptr<UIImage>& image);
  const std::shared_ptr<UIImage>& selectionIndicatorImage() const { return selectionIndicatorImage_; }
  void setSelectionIndicatorImage(const std::shared_ptr<UIImage>& image);

  // The button shown for an item (nil when the item is not on the bar).
  std::shared_ptr<UIView> viewForItem(const std::shared_ptr<UITabBarItem>& item) const;

  CGSize sizeThatFits(CGSize size) const override;
  void layoutSubviews() override;
  void tintColorDidChange() override;
  void barItemDidChange() override;

  // --- for the tab bar controller: asked before a tapped item is selected.
  void setSelectionGate(std::function<bool(const std::shared_ptr<UITabBarItem>&)> gate) { gate_ = std::move(gate); }

 private:
  void rebuild();
  void refreshButtons();
  void updateBackground();
  void tapped(const std::shared_ptr<UITabBarItem>& item);

  std::vector<std::shared_ptr<UITabBarItem>> items_;
  std::weak_ptr<UITabBarItem> selectedItem_;
  std::weak_ptr<UITabBarDelegate> delegate_;
  std::vector<std::shared_ptr<zvt::ui::BarButton>> buttons_;
  std::shared_ptr<UIView> background_;
  std::shared_ptr<UIView> shadowView_;
  std::shared_ptr<UIColor> barTintColor_;
  std::shared_ptr<UIImage> backgroundImage_;
  std::shared_ptr<UIImage> shadowImage_;
  std::shared_ptr<UIImage> selectionIndicatorImage_;
  std::function<bool(const std::shared_ptr<UITabBarItem>&)> gate_;
  UIBarStyle barStyle_ = UIBarStyleDefault;
  bool translucent_ = true;
  bool needsRebuild_ = true;
};
