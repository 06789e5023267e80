// UIBarItem, UIBarButtonItem, UINavigationItem and UITabBarItem: descriptions that bars show.

#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UINavigationItem.h"
#include "platform/uikit/UITabBarItem.h"

namespace {

void notifyOwner(const std::shared_ptr<UIView>& owner) {
  if (!owner) return;
  if (auto* bar = dynamic_cast<zvt::ui::BarItemOwner*>(owner.get())) bar->barItemDidChange();
}

// The system items' titles as a device set to Chinese shows them; the others show symbols.
const char* systemItemTitle(UIBarButtonSystemItem item) {
  switch (item) {
    case UIBarButtonSystemItemDone: return "完成";
    case UIBarButtonSystemItemCancel: return "取消";
    case UIBarButtonSystemItemEdit: return "编辑";
    case UIBarButtonSystemItemSave: return "存储";
    case UIBarButtonSystemItemUndo: return "撤销";
    case UIBarButtonSystemItemRedo: return "重做";
    default: return nullptr;
  }
}

}  // namespace

// --- UIBarItem --------------------------------------------------------------------------------

void UIBarItem::changed() { notifyOwner(owner()); }

void UIBarItem::setEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  changed();
}

void UIBarItem::setTitle(const std::shared_ptr<NSString>& title) {
  title_ = title;
  changed();
}

void UIBarItem::setImage(const std::shared_ptr<UIImage>& image) {
  image_ = image;
  changed();
}

void UIBarItem::setImageInsets(UIEdgeInsets insets) {
  imageInsets_ = insets;
  changed();
}

void UIBarItem::setTitleTextAttributes(const std::shared_ptr<NSDictionary>& attributes, UIControlState state) {
  if (attributes)
    titleTextAttributes_[state] = attributes;
  else
    titleTextAttributes_.erase(state);
  changed();
}

std::shared_ptr<NSDictionary> UIBarItem::titleTextAttributesForState(UIControlState state) const {
  auto it = titleTextAttributes_.find(state);
  if (it != titleTextAttributes_.end()) return it->second;
  if (state != UIControlStateNormal) return titleTextAttributesForState(UIControlStateNormal);
  return nullptr;
}

// --- UIBarButtonItem --------------------------------------------------------------------------

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::initWithTitle(const std::shared_ptr<NSString>& title,
                                                                UIBarButtonItemStyle style, const id& target,
                                                                const SEL& action) {
  auto item = make();
  item->UIBarItem::setTitle(title);
  item->style_ = style;
  item->target_ = target;
  item->action_ = action;
  return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::initWithImage(const std::shared_ptr<UIImage>& image,
                                                                UIBarButtonItemStyle style, const id& target,
                                                                const SEL& action) {
  auto item = make();
  item->setImage(image);
  item->style_ = style;
  item->target_ = target;
  item->action_ = action;
  return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::initWithBarButtonSystemItem(UIBarButtonSystemItem systemItem,
                                                                              const id& target, const SEL& action) {
  auto item = make();
  item->systemItem_ = systemItem;
  item->style_ = systemItem == UIBarButtonSystemItemDone ? UIBarButtonItemStyleDone : UIBarButtonItemStylePlain;
  item->target_ = target;
  item->action_ = action;
  return item;
}

std::shared_ptr<UIBarButtonItem> UIBarButtonItem::initWithCustomView(const std::shared_ptr<UIView>& customView) {
  auto item = make();
  item->customView_ = customView;
  return item;
}

void UIBarButtonItem::setStyle(UIBarButtonItemStyle style) {
  style_ = style;
  changed();
}

void UIBarButtonItem::setWidth(CGFloat width) {
  width_ = width;
  changed();
}

void UIBarButtonItem::setCustomView(const std::shared_ptr<UIView>& view) {
  zvt::ui::assertMainThread("UIBarButtonItem::setCustomView");
  if (customView_ && customView_ != view) customView_->removeFromSuperview();
  customView_ = view;
  changed();
}

void UIBarButtonItem::setTintColor(const std::shared_ptr<UIColor>& color) {
  tintColor_ = color;
  changed();
}

void UIBarButtonItem::setBackgroundImage(const std::shared_ptr<UIImage>& image, UIControlState state,
                                         UIBarMetrics metrics) {
  backgroundImages_[{state, metrics}] = image;
  changed();
}

std::shared_ptr<UIImage> UIBarButtonItem::backgroundImageForState(UIControlState state, UIBarMetrics metrics) const {
  auto it = backgroundImages_.find({state, metrics});
  return it == backgroundImages_.end() ? nullptr : it->second;
}

void UIBarButtonItem::setBackButtonBackgroundImage(const std::shared_ptr<UIImage>& image, UIControlState state,
                                                   UIBarMetrics metrics) {
  backButtonBackgroundImages_[{state, metrics}] = image;
  changed();
}

std::shared_ptr<UIImage> UIBarButtonItem::backButtonBackgroundImageForState(UIControlState state,
                                                                            UIBarMetrics metrics) const {
  auto it = backButtonBackgroundImages_.find({state, metrics});
  return it == backButtonBackgroundImages_.end() ? nullptr : it->second;
}

std::shared_ptr<NSString> UIBarButtonItem::displayedTitle() const {
  if (title()) return title();
  if (isSystemItem())
    if (const char* text = systemItemTitle(systemItem())) return NSString::stringWithUTF8String(text);
  return nullptr;
}

bool UIBarButtonItem::sendAction(const std::shared_ptr<UIEvent>& event) {
  zvt::ui::assertMainThread("UIBarButtonItem::sendAction");
  if (!action_ || !isEnabled()) return false;
  auto target = target_.lock();
  auto self = std::static_pointer_cast<UIBarButtonItem>(shared_from_this());
  return UIApplication::sharedApplication()->sendAction(action_, target, self, event);
}

// --- UINavigationItem -------------------------------------------------------------------------

std::shared_ptr<UINavigationItem> UINavigationItem::initWithTitle(const std::shared_ptr<NSString>& title) {
  auto item = make();
  item->title_ = title;
  return item;
}

void UINavigationItem::changed() { notifyOwner(owner()); }

void UINavigationItem::setTitle(const std::shared_ptr<NSString>& title) {
  title_ = title;
  changed();
}

void UINavigationItem::setTitleView(const std::shared_ptr<UIView>& view) {
  zvt::ui::assertMainThread("UINavigationItem::setTitleView");
  if (titleView_ && titleView_ != view) titleView_->removeFromSuperview();
  titleView_ = view;
  changed();
}

void UINavigationItem::setBackBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item) {
  backBarButtonItem_ = item;
  changed();
}

void UINavigationItem::setHidesBackButton(bool hides) {
  hidesBackButton_ = hides;
  changed();
}

void UINavigationItem::setLeftItemsSupplementBackButton(bool supplements) {
  leftItemsSupplementBackButton_ = supplements;
  changed();
}

std::shared_ptr<UIBarButtonItem> UINavigationItem::leftBarButtonItem() const {
  return leftItems_.empty() ? nullptr : leftItems_.front();
}

std::shared_ptr<UIBarButtonItem> UINavigationItem::rightBarButtonItem() const {
  return rightItems_.empty() ? nullptr : rightItems_.front();
}

void UINavigationItem::setLeftBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item) {
  std::vector<std::shared_ptr<UIBarButtonItem>> items;
  if (item) items.push_back(item);
  setLeftBarButtonItems(std::move(items));
}

void UINavigationItem::setRightBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item) {
  std::vector<std::shared_ptr<UIBarButtonItem>> items;
  if (item) items.push_back(item);
  setRightBarButtonItems(std::move(items));
}

void UINavigationItem::setLeftBarButtonItems(std::vector<std::shared_ptr<UIBarButtonItem>> items) {
  std::erase(items, nullptr);
  leftItems_ = std::move(items);
  changed();
}

void UINavigationItem::setRightBarButtonItems(std::vector<std::shared_ptr<UIBarButtonItem>> items) {
  std::erase(items, nullptr);
  rightItems_ = std::move(items);
  changed();
}

// --- UITabBarItem -----------------------------------------------------------------------------

std::shared_ptr<UITabBarItem> UITabBarItem::initWithTitle(const std::shared_ptr<NSString>& title,
                                                          const std::shared_ptr<UIImage>& image, NSInteger tag) {
  auto item = make();
  item->UIBarItem::setTitle(title);
  item->setImage(image);
  item->setTag(tag);
  return item;
}

std::shared_ptr<UITabBarItem> UITabBarItem::initWithTitle(const std::shared_ptr<NSString>& title,
                                                          const std::shared_ptr<UIImage>& image,
                                                          const std::shared_ptr<UIImage>& selectedImage) {
  auto item = initWithTitle(title, image, NSInteger{0});
  item->selectedImage_ = selectedImage;
  return item;
}

std::shared_ptr<UITabBarItem> UITabBarItem::initWithTabBarSystemItem(UITabBarSystemItem systemItem, NSInteger tag) {
  static const char* titles[] = {"更多", "个人收藏", "精选", "评分最高", "最近", "通讯录",
                                 "历史记录", "书签", "搜索", "下载", "最新", "查看次数最多"};
  auto index = static_cast<size_t>(systemItem);
  auto title = index < std::size(titles) ? NSString::stringWithUTF8String(titles[index]) : nullptr;
  return initWithTitle(title, nullptr, tag);
}

void UITabBarItem::setSelectedImage(const std::shared_ptr<UIImage>& image) {
  selectedImage_ = image;
  changed();
}

void UITabBarItem::setBadgeValue(const std::shared_ptr<NSString>& value) {
  badgeValue_ = value;
  changed();
}

void UITabBarItem::setTitlePositionAdjustment(UIOffset adjustment) {
  titlePositionAdjustment_ = adjustment;
  changed();
}
