#pragma once
// The item of one tab (UITabBarItem): title, image, selected image and badge.

#include <memory>

#include "platform/uikit/UIBarButtonItem.h"

enum UITabBarSystemItem : NSInteger {
  UITabBarSystemItemMore,
  UITabBarSystemItemFavorites,
  UITabBarSystemItemFeatured,
  UITabBarSystemItemTopRated,
  UITabBarSystemItemRecents,
  UITabBarSystemItemContacts,
  UITabBarSystemItemHistory,
  UITabBarSystemItemBookmarks,
  UITabBarSystemItemSearch,
  UITabBarSystemItemDownloads,
  UITabBarSystemItemMostRecent,
  UITabBarSystemItemMostViewed,
};

class UITabBarItem : public UIBarItem {
 public:
  static std::shared_ptr<UITabBarItem> make() { return std::make_shared<UITabBarItem>(); }
  static std::shared_ptr<UITabBarItem> initWithTitle(const std::shared_ptr<NSString>& title,
                                                      const std::shared_ptr<UIImage>& image, NSInteger tag);
  static std::shared_ptr<UITabBarItem> initWithTitle(const std::shared_ptr<NSString>& title,
                                                      const std::shared_ptr<UIImage>& image,
                                                      const std::shared_ptr<UIImage>& selectedImage);
  // The system items' titles are those of a Chinese device ("更多", "搜索"...).
  static std::shared_ptr<UITabBarItem> initWithTabBarSystemItem(UITabBarSystemItem systemItem, NSInteger tag);

  // The image shown while the tab is selected (nil: the image).
  const std::shared_ptr<UIImage>& selectedImage() const { return selectedImage_; }
  void setSelectedImage(const std::shared_ptr<UIImage>& image);
  const std::shared_ptr<NSString>& badgeValue() const { return badgeValue_; }
  void setBadgeValue(const std::shared_ptr<NSString>& value);
  UIOffset titlePositionAdjustment() const { return titlePositionAdjustment_; }
  void setTitlePositionAdjustment(UIOffset adjustment);

 private:
  std::shared_ptr<UIImage> selectedImage_;
  std::shared_ptr<NSString> badgeValue_;
  UIOffset titlePositionAdjustment_{};
};
