#pragma once
// Bar items (UIBarItem) and the buttons of navigation bars and toolbars (UIBarButtonItem). An
// item is a description, not a view: the bar that shows it makes a view for it (or shows its
// custom view) and lays it out again when the item changes. A tap on that view sends the
// item's action to its target (held weakly) with the item as the sender; a nil target sends it
// up the responder chain.

#include <map>
#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIGeometry.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/Selector.h"
#include "platform/uikit/UIControl.h"

class UIView;

enum UIBarMetrics : NSInteger {
  UIBarMetricsDefault = 0,
  UIBarMetricsCompact = 1,
  UIBarMetricsDefaultPrompt = 101,
  UIBarMetricsCompactPrompt = 102,
  UIBarMetricsLandscapePhone = UIBarMetricsCompact,
};

enum UIBarButtonItemStyle : NSInteger {
  UIBarButtonItemStylePlain = 0,
  UIBarButtonItemStyleBordered = 1,
  UIBarButtonItemStyleDone = 2,
};

enum UIBarButtonSystemItem : NSInteger {
  UIBarButtonSystemItemDone,
  UIBarButtonSystemItemCancel,
  UIBarButtonSystemItemEdit,
  UIBarButtonSystemItemSave,
  UIBarButtonSystemItemAdd,
  UIBarButtonSystemItemFlexibleSpace,
  UIBarButtonSystemItemFixedSpace,
  UIBarButtonSystemItemCompose,
  UIBarButtonSystemItemReply,
  UIBarButtonSystemItemAction,
  UIBarButtonSystemItemOrganize,
  UIBarButtonSystemItemBookmarks,
  UIBarButtonSystemItemSearch,
  UIBarButtonSystemItemRefresh,
  UIBarButtonSystemItemStop,
  UIBarButtonSystemItemCamera,
  UIBarButtonSystemItemTrash,
  UIBarButtonSystemItemPlay,
  UIBarButtonSystemItemPause,
  UIBarButtonSystemItemRewind,
  UIBarButtonSystemItemFastForward,
  UIBarButtonSystemItemUndo,
  UIBarButtonSystemItemRedo,
  UIBarButtonSystemItemPageCurl,
};

namespace zvt::ui {
// A bar that shows items and hears of their changes.
class BarItemOwner {
 public:
  virtual ~BarItemOwner() = default;
  virtual void barItemDidChange() = 0;
};
}  // namespace zvt::ui

class UIBarItem : public NSObject {
 public:
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  const std::shared_ptr<NSString>& title() const { return title_; }
  virtual void setTitle(const std::shared_ptr<NSString>& title);
  const std::shared_ptr<UIImage>& image() const { return image_; }
  void setImage(const std::shared_ptr<UIImage>& image);
  const std::shared_ptr<UIImage>& landscapeImagePhone() const { return landscapeImagePhone_; }
  void setLandscapeImagePhone(const std::shared_ptr<UIImage>& image) { landscapeImagePhone_ = image; }
  UIEdgeInsets imageInsets() const { return imageInsets_; }
  void setImageInsets(UIEdgeInsets insets);
  NSInteger tag() const { return tag_; }
  void setTag(NSInteger tag) { tag_ = tag; }
  // Font (NSFontAttributeName), colour (NSForegroundColorAttributeName) and shadow of the title
  // in a control state; a state without its own uses the normal state's.
  void setTitleTextAttributes(const std::shared_ptr<NSDictionary>& attributes, UIControlState state);
  std::shared_ptr<NSDictionary> titleTextAttributesForState(UIControlState state) const;

  // --- for the bars
  void setOwner(const std::shared_ptr<UIView>& owner) { owner_ = owner; }
  std::shared_ptr<UIView> owner() const { return owner_.lock(); }

 protected:
  void changed();

 private:
  std::shared_ptr<NSString> title_;
  std::shared_ptr<UIImage> image_;
  std::shared_ptr<UIImage> landscapeImagePhone_;
  std::map<NSUInteger, std::shared_ptr<NSDictionary>> titleTextAttributes_;
  std::weak_ptr<UIView> owner_;
  UIEdgeInsets imageInsets_{};
  NSInteger tag_ = 0;
  bool enabled_ = true;
};

class UIBarButtonItem : public UIBarItem {
 public:
  // init: a plain item without title, image or action.
  static std::shared_ptr<UIBarButtonItem> make() { return std::make_shared<UIBarButtonItem>(); }
  static std::shared_ptr<UIBarButtonItem> initWithTitle(const std::shared_ptr<NSString>& title,
                                                         UIBarButtonItemStyle style, const id& target,
                                                         const SEL& action);
  static std::shared_ptr<UIBarButtonItem> initWithImage(const std::shared_ptr<UIImage>& image,
                                                         UIBarButtonItemStyle style, const id& target,
                                                         const SEL& action);
  static std::shared_ptr<UIBarButtonItem> initWithBarButtonSystemItem(UIBarButtonSystemItem systemItem,
                                                                       const id& target, const SEL& action);
  static std::shared_ptr<UIBarButtonItem> initWithCustomView(const std::shared_ptr<UIView>& customView);

  UIBarButtonItemStyle style() const { return style_; }
  void setStyle(UIBarButtonItemStyle style);
  // The item's width; 0 means its content's width (and a fixed space's width).
  CGFloat width() const { return width_; }
  void setWidth(CGFloat width);
  const std::shared_ptr<UIView>& customView() const { return customView_; }
  void setCustomView(const std::shared_ptr<UIView>& view);
  std::shared_ptr<NSObject> target() const { return target_.lock(); }
  void setTarget(const id& target) { target_ = target; }
  const SEL& action() const { return action_; }
  void setAction(const SEL& action) { action_ = action; }
  // The tint of the item's title and template image; nil: the bar's.
  const std::shared_ptr<UIColor>& tintColor() const { return tintColor_; }
  void setTintColor(const std::shared_ptr<UIColor>& color);
  bool isSystemItem() const { return systemItem_ >= 0; }
  UIBarButtonSystemItem systemItem() const { return static_cast<UIBarButtonSystemItem>(systemItem_); }
  bool isSpace() const {
    return systemItem_ == UIBarButtonSystemItemFlexibleSpace || systemItem_ == UIBarButtonSystemItemFixedSpace;
  }

  void setBackgroundImage(const std::shared_ptr<UIImage>& image, UIControlState state, UIBarMetrics metrics);
  std::shared_ptr<UIImage> backgroundImageForState(UIControlState state, UIBarMetrics metrics) const;
  // The background of the item when it is shown as the back button of the next screen.
  void setBackButtonBackgroundImage(const std::shared_ptr<UIImage>& image, UIControlState state,
                                    UIBarMetrics metrics);
  std::shared_ptr<UIImage> backButtonBackgroundImageForState(UIControlState state, UIBarMetrics metrics) const;

  // The title shown: the title, or a system item's text ("完成", "取消"...; none for the system
  // items that show a symbol).
  std::shared_ptr<NSString> displayedTitle() const;
  // Sends the action as a tap on the item's view does.
  bool sendAction(const std::shared_ptr<UIEvent>& event = nullptr);

 private:
  UIBarButtonItemStyle style_ = UIBarButtonItemStylePlain;
  CGFloat width_ = 0;
  std::shared_ptr<UIView> customView_;
  std::weak_ptr<NSObject> target_;
  SEL action_;
  std::shared_ptr<UIColor> tintColor_;
  NSInteger systemItem_ = -1;
  std::map<std::pair<NSUInteger, NSInteger>, std::shared_ptr<UIImage>> backgroundImages_;
  std::map<std::pair<NSUInteger, NSInteger>, std::shared_ptr<UIImage>> backButtonBackgroundImages_;
};
