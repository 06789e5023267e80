#include "platform/uikit/UITabBar.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/internal/BarViews.h"

namespace {

// The unselected items' grey.
std::shared_ptr<UIColor> unselectedColor() { return UIColor::colorWithWhite(146 / 255.0, 1); }

}  // namespace

void UITabBar::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setOpaque(false);
  background_ = UIView::initWithFrame(bounds());
  background_->setUserInteractionEnabled(false);
  shadowView_ = UIView::initWithFrame(CGRectZero);
  background_->addSubview(shadowView_);
  addSubview(background_);
  updateBackground();
}

void UITabBar::setItems(std::vector<std::shared_ptr<UITabBarItem>> items, bool) {
  zvt::ui::assertMainThread("UITabBar::setItems");
  std::erase(items, nullptr);
  auto self = viewSelf();
  for (auto& old : items_)
    if (old->owner() == self) old->setOwner(nullptr);
  items_ = std::move(items);
  for (auto& item : items_) item->setOwner(self);
  auto selected = selectedItem();
  if (selected && std::find(items_.begin(), items_.end(), selected) == items_.end()) selectedItem_.reset();
  barItemDidChange();
}

void UITabBar::setSelectedItem(const std::shared_ptr<UITabBarItem>& item) {
  zvt::ui::assertMainThread("UITabBar::setSelectedItem");
  if (item && std::find(items_.begin(), items_.end(), item) == items_.end()) return;
  selectedItem_ = item;
  refreshButtons();
}

void UITabBar::setBarStyle(UIBarStyle style) {
  barStyle_ = style;
  updateBackground();
}

void UITabBar::setTranslucent(bool translucent) {
  translucent_ = translucent;
  updateBackground();
  if (auto parent = superview()) parent->setNeedsLayout();
}

void UITabBar::setBarTintColor(const std::shared_ptr<UIColor>& color) {
  barTintColor_ = color;
  updateBackground();
}

void UITabBar::setBackgroundImage(const std::shared_ptr<UIImage>& image) {
  backgroundImage_ = image;
  updateBackground();
}

void UITabBar::setShadowImage(const std::shared_ptr<UIImage>& image) {
  shadowImage_ = image;
  updateBackground();
}

void UITabBar::setSelectionIndicatorImage(const std::shared_ptr<UIImage>& image) {
  selectionIndicatorImage_ = image;
  barItemDidChange();
}

void UITabBar::updateBackground() {
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  auto layer = background_->layer();
  layer->setContents(backgroundImage_ ? backgroundImage_->CGImage() : nullptr);
  if (backgroundImage_) layer->setContentsScale(backgroundImage_->scale());
  layer->setContentsGravity(kCAGravityResize);
  auto shadowLayer = shadowView_->layer();
  bool customShadow = backgroundImage_ && shadowImage_;
  shadowLayer->setContents(customShadow ? shadowImage_->CGImage() : nullptr);
  CATransaction::commit();
  if (backgroundImage_) {
    background_->setBackgroundColor(nullptr);
  } else if (barTintColor_) {
    background_->setBackgroundColor(barTintColor_);
  } else {
    CGFloat alpha = translucent_ ? 0.9 : 1;
    background_->setBackgroundColor(barStyle_ == UIBarStyleDefault ? UIColor::colorWithWhite(0.97, alpha)
                                                                   : UIColor::colorWithWhite(0.11, alpha));
  }
  shadowView_->setBackgroundColor(customShadow ? nullptr : UIColor::colorWithWhite(0, 0.3));
  setNeedsLayout();
}

std::shared_ptr<UIView> UITabBar::viewForItem(const std::shared_ptr<UITabBarItem>& item) const {
  for (size_t i = 0; i < items_.size() && i < buttons_.size(); ++i)
    if (items_[i] == item) return buttons_[i];
  return nullptr;
}

void UITabBar::barItemDidChange() {
  needsRebuild_ = true;
  setNeedsLayout();
}

void UITabBar::tintColorDidChange() { refreshButtons(); }

void UITabBar::rebuild() {
  needsRebuild_ = false;
  for (auto& button : buttons_) button->removeFromSuperview();
  buttons_.clear();
  std::weak_ptr<UIView> weakSelf = viewSelf();
  for (auto& item : items_) {
    auto button = UIView::makeView<zvt::ui::BarButton>(CGRectZero);
    button->setLayout(zvt::ui::BarButton::Layout::Stacked);
    std::weak_ptr<UITabBarItem> weakItem = item;
    button->onTap = [weakSelf, weakItem](const std::shared_ptr<UIEvent>&) {
      auto bar = std::static_pointer_cast<UITabBar>(weakSelf.lock());
      auto item = weakItem.lock();
      if (bar && item) bar->tapped(item);
    };
    addSubview(button);
    buttons_.push_back(button);
  }
  refreshButtons();
}

void UITabBar::refreshButtons() {
  if (needsRebuild_) {
    setNeedsLayout();
    return;
  }
  auto selected = selectedItem();
  for (size_t i = 0; i < items_.size() && i < buttons_.size(); ++i) {
    auto& item = items_[i];
    auto& button = buttons_[i];
    bool on = item == selected;
    button->setTitle(item->title());
    button->setTitleAttributes(item->titleTextAttributesForState(on ? UIControlStateSelected : UIControlStateNormal));
    button->setImage(on && item->selectedImage() ? item->selectedImage() : item->image());
    button->setImageInsets(item->imageInsets());
    button->setColor(on ? tintColor() : unselectedColor());
    button->setBadge(item->badgeValue());
    button->setBackgroundImage(on ? selectionIndicatorImage_ : nullptr);
    button->setEnabled(item->isEnabled());
    button->setSelected(on);
  }
}

void UITabBar::tapped(const std::shared_ptr<UITabBarItem>& item) {
  auto keep = viewSelf();
  if (gate_) {
    gate_(item);
    return;
  }
  setSelectedItem(item);
  if (auto delegate = delegate_.lock()) delegate->tabBarDidSelectItem(std::static_pointer_cast<UITabBar>(keep), item);
}

CGSize UITabBar::sizeThatFits(CGSize size) const {
  return CGSizeMake(size.width > 0 ? size.width : bounds().size.width, kHeight);
}

void UITabBar::layoutSubviews() {
  UIView::layoutSubviews();
  if (needsRebuild_) rebuild();
  CGRect b = bounds();
  background_->setFrame(b);
  CGFloat shadow = backgroundImage_ && shadowImage_ ? shadowImage_->size().height : 1 / UIScreen::mainScreen()->scale();
  shadowView_->setFrame(CGRectMake(0, -shadow, b.size.width, shadow));
  if (buttons_.empty()) return;
  // Equal widths on whole points; the last takes what is left.
  CGFloat width = std::floor(b.size.width / CGFloat(buttons_.size()));
  for (size_t i = 0; i < buttons_.size(); ++i) {
    CGFloat x = width * CGFloat(i);
    CGFloat w = i + 1 == buttons_.size() ? b.size.width - x : width;
    auto& item = items_[i];
    UIOffset adjust = item->titlePositionAdjustment();
    buttons_[i]->setFrame(CGRectMake(x + adjust.horizontal, 0, w, b.size.height));
  }
}
