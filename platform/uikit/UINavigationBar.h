#pragma once
// Navigation bars (UINavigationBar): a 44-point bar that shows a stack of navigation items -
// the top item's title (or title view) in the middle, its left items (or a back button to the
// item below) on the left, its right items on the right - over a background.
//
// The background (backgroundView, public in place of UIKit's private "_backgroundView") is the
// background image for the default metrics, else the bar tint, else the bar style's colour, with
// the hairline shadow along its bottom edge (the shadow image, shown only with a background
// image, else the default grey line). A bar at the top of a navigation controller reaches up
// behind the status bar: its background extends 20 points above the bar.
//
// Layout as on iOS 7-9: items 8 (320-point screens), 16 (375) or 20 (414) points from the
// edges, 8 points apart; the back button's chevron 8 points from the left, its title 6 points
// after it ("返回" when the item below has no title or it does not fit); the title in bold 17
// points, centred on the bar when the items leave room, else in the room they leave.
//
// A bar that a navigation controller manages takes its items from the controller (pushing or
// popping items on it directly raises, as on the device); its back button pops the controller.

#include <memory>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UIView.h"

class UINavigationBar;
class UILabel;
namespace zvt::ui {
class BarButton;
}  // namespace zvt::ui

enum UIBarStyle : NSInteger {
  UIBarStyleDefault = 0,
  UIBarStyleBlack = 1,
  UIBarStyleBlackOpaque = 1,
  UIBarStyleBlackTranslucent = 2,
};

enum UIBarPosition : NSInteger {
  UIBarPositionAny = 0,
  UIBarPositionBottom = 1,
  UIBarPositionTop = 2,
  UIBarPositionTopAttached = 3,
};

class UINavigationBarDelegate {
 public:
  virtual ~UINavigationBarDelegate() = default;
  virtual bool navigationBarShouldPushItem(const std::shared_ptr<UINavigationBar>& /*bar*/,
                                           const std::shared_ptr<UINavigationItem>& /*item*/) {
    return true;
  }
  virtual void navigationBarDidPushItem(const std::shared_ptr<UINavigationBar>& /*bar*/,
                                        const std::shared_ptr<UINavigationItem>& /*item*/) {}
  virtual bool navigationBarShouldPopItem(const std::shared_ptr<UINavigationBar>& /*bar*/,
                                          const std::shared_ptr<UINavigationItem>& /*item*/) {
    return true;
  }
  virtual void navigationBarDidPopItem(const std::shared_ptr<UINavigationBar>& /*bar*/,
                                       const std::shared_ptr<UINavigationItem>& /*item*/) {}
};

class UINavigationBar : public UIView, public zvt::ui::BarItemOwner {
 public:
  static constexpr CGFloat kHeight = 44;

  static std::shared_ptr<UINavigationBar> make() { return makeView<UINavigationBar>(CGRectMake(0, 0, 320, kHeight)); }
  static std::shared_ptr<UINavigationBar> initWithFrame(CGRect frame) { return makeView<UINavigationBar>(frame); }
  void setUpWithFrame(CGRect frame) override;

  // --- look
  UIBarStyle barStyle() const { return barStyle_; }
  void setBarStyle(UIBarStyle style);
  // YES unless set otherwise or, while never set, when the background image is fully opaque.
  bool isTranslucent() const;
  void setTranslucent(bool translucent);
  const std::shared_ptr<UIColor>& barTintColor() const { return barTintColor_; }
  void setBarTintColor(const std::shared_ptr<UIColor>& color);
  // Font (bold 17 points by default), colour (black; white on black bars) and shadow of the title.
  const std::shared_ptr<NSDictionary>& titleTextAttributes() const { return titleTextAttributes_; }
  void setTitleTextAttributes(const std::shared_ptr<NSDictionary>& attributes);
  void setBackgroundImage(const std::shared_ptr<UIImage>& image, UIBarMetrics metrics);
  std::shared_ptr<UIImage> backgroundImageForBarMetrics(UIBarMetrics metrics) const;
  void setBackgroundImage(const std::shared_ptr<UIImage>& image, UIBarPosition position, UIBarMetrics metrics);
  std::shared_ptr<UIImage> backgroundImageForBarPosition(UIBarPosition position, UIBarMetrics metrics) const;
  const std::shared_ptr<UIImage>& shadowImage() const { return shadowImage_; }
  void setShadowImage(const std::shared_ptr<UIImage>& image);
  const std::shared_ptr<UIImage>& backIndicatorImage() const { return backIndicatorImage_; }
  void setBackIndicatorImage(const std::shared_ptr<UIImage>& image);
  // The bar's background (image or colour, and the hairline shadow); hiding it leaves the items.
  std::shared_ptr<UIView> backgroundView() const;
  // Top-attached for a navigation controller's bar, else any.
  UIBarPosition barPosition() const { return position_; }

  // --- items
  std::vector<std::shared_ptr<UINavigationItem>> items() const { return items_; }
  void setItems(std::vector<std::shared_ptr<UINavigationItem>> items, bool animated = false);
  std::shared_ptr<UINavigationItem> topItem() const;
  std::shared_ptr<UINavigationItem> backItem() const;
  void pushNavigationItem(const std::shared_ptr<UINavigationItem>& item, bool animated);
  std::shared_ptr<UINavigationItem> popNavigationItemAnimated(bool animated);
  std::shared_ptr<UINavigationBarDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UINavigationBarDelegate>& delegate) { delegate_ = delegate; }

  // --- views shown for the items (for tests and the device; nil when not shown)
  std::shared_ptr<UIView> titleViewShown() const;
  std::shared_ptr<UIView> backButtonView() const;
  // The view shown for a bar button item of the top item.
  std::shared_ptr<UIView> viewForItem(const std::shared_ptr<UIBarButtonItem>& item) const;

  CGSize sizeThatFits(CGSize size) const override;
  void layoutSubviews() override;
  void tintColorDidChange() override;
  void barItemDidChange() override;

  // --- for the navigation controller
  void setManagedItems(std::vector<std::shared_ptr<UINavigationItem>> items, bool animated);
  void setManagedByController(bool managed);
  void setBarPosition(UIBarPosition position);
  // Height of the status bar the background reaches up behind (top-attached bars).
  void setExtensionAboveBar(CGFloat points);
  // Told when the look changes in a way the status bar follows (the bar style).
  void setAppearanceObserver(std::function<void()> observer) { appearanceObserver_ = std::move(observer); }

 private:
  void rebuild();
  void updateBackground();
  void adoptItems(std::vector<std::shared_ptr<UINavigationItem>> items);
  void backTapped();
  std::shared_ptr<UIView> makeItemView(const std::shared_ptr<UIBarButtonItem>& item);
  std::shared_ptr<NSString> backTitle(bool fits) const;
  CGFloat edgeMargin() const;

  std::vector<std::shared_ptr<UINavigationItem>> items_;
  std::weak_ptr<UINavigationBarDelegate> delegate_;
  UIBarStyle barStyle_ = UIBarStyleDefault;
  int translucentSet_ = -1;  // -1: never set
  std::shared_ptr<UIColor> barTintColor_;
  std::shared_ptr<NSDictionary> titleTextAttributes_;
  std::shared_ptr<UIImage> backgroundImages_[2];  // default and compact metrics
  std::shared_ptr<UIImage> shadowImage_;
  std::shared_ptr<UIImage> backIndicatorImage_;
  std::shared_ptr<UIView> background_;
  std::shared_ptr<UIView> backgroundImageView_;
  std::shared_ptr<UIView> shadowView_;
  std::shared_ptr<UILabel> titleLabel_;
  std::shared_ptr<UIView> titleView_;
  std::shared_ptr<zvt::ui::BarButton> backButton_;
  std::vector<std::pair<std::shared_ptr<UIBarButtonItem>, std::shared_ptr<UIView>>> leftViews_, rightViews_;
  std::function<void()> appearanceObserver_;
  UIBarPosition position_ = UIBarPositionAny;
  CGFloat extensionAbove_ = 0;
  bool managed_ = false;
  bool needsRebuild_ = true;
};
