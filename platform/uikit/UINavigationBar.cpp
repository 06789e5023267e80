#include "platform/uikit/UINavigationBar.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSException.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/internal/BarViews.h"

namespace {

constexpr CGFloat kItemSpacing = 8;
constexpr CGFloat kBackButtonLeft = 8;
constexpr CGFloat kMinimumButtonWidth = 22;

const char* const kBackTitle = "返回";

void setContentsImage(UIView& view, const std::shared_ptr<UIImage>& image) {
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  auto layer = view.layer();
  layer->setContents(image ? image->CGImage() : nullptr);
  if (image) layer->setContentsScale(image->scale());
  layer->setContentsGravity(kCAGravityResize);
  CATransaction::commit();
}

}  // namespace

void UINavigationBar::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setOpaque(false);
  background_ = UIView::initWithFrame(bounds());
  background_->setUserInteractionEnabled(false);
  backgroundImageView_ = UIView::initWithFrame(background_->bounds());
  backgroundImageView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  background_->addSubview(backgroundImageView_);
  shadowView_ = UIView::initWithFrame(CGRectZero);
  background_->addSubview(shadowView_);
  addSubview(background_);
  titleLabel_ = UILabel::make();
  updateBackground();
}

// --- look -------------------------------------------------------------------------------------

void UINavigationBar::setBarStyle(UIBarStyle style) {
  zvt::ui::assertMainThread("UINavigationBar::setBarStyle");
  if (style == barStyle_) return;
  barStyle_ = style;
  updateBackground();
  barItemDidChange();
  if (appearanceObserver_) appearanceObserver_();
}

bool UINavigationBar::isTranslucent() const {
  if (translucentSet_ >= 0) return translucentSet_ == 1;
  if (barStyle_ == UIBarStyleBlackTranslucent) return true;
  if (auto image = backgroundImages_[0]) return zvt::ui::imageHasTransparency(image);
  return true;
}

void UINavigationBar::setTranslucent(bool translucent) {
  zvt::ui::assertMainThread("UINavigationBar::setTranslucent");
  translucentSet_ = translucent ? 1 : 0;
  updateBackground();
  if (auto parent = superview()) parent->setNeedsLayout();
}

void UINavigationBar::setBarTintColor(const std::shared_ptr<UIColor>& color) {
  zvt::ui::assertMainThread("UINavigationBar::setBarTintColor");
  barTintColor_ = color;
  updateBackground();
}

void UINavigationBar::setTitleTextAttributes(const std::shared_ptr<NSDictionary>& attributes) {
  zvt::ui::assertMainThread("UINavigationBar::setTitleTextAttributes");
  titleTextAttributes_ = attributes;
  barItemDidChange();
}

void UINavigationBar::setBackgroundImage(const std::shared_ptr<UIImage>& image, UIBarMetrics metrics) {
  zvt::ui::assertMainThread("UINavigationBar::setBackgroundImage");
  backgroundImages_[metrics == UIBarMetricsDefault ? 0 : 1] = image;
  updateBackground();
  if (auto parent = superview()) parent->setNeedsLayout();  // the translucency may follow the image
}

std::shared_ptr<UIImage> UINavigationBar::backgroundImageForBarMetrics(UIBarMetrics metrics) const {
  return backgroundImages_[metrics == UIBarMetricsDefault ? 0 : 1];
}

void UINavigationBar::setBackgroundImage(const std::shared_ptr<UIImage>& image, UIBarPosition, UIBarMetrics metrics) {
  setBackgroundImage(image, metrics);
}

std::shared_ptr<UIImage> UINavigationBar::backgroundImageForBarPosition(UIBarPosition, UIBarMetrics metrics) const {
  return backgroundImageForBarMetrics(metrics);
}

void UINavigationBar::setShadowImage(const std::shared_ptr<UIImage>& image) {
  zvt::ui::assertMainThread("UINavigationBar::setShadowImage");
  shadowImage_ = image;
  updateBackground();
}

void UINavigationBar::setBackIndicatorImage(const std::shared_ptr<UIImage>& image) {
  backIndicatorImage_ = image;
  barItemDidChange();
}

std::shared_ptr<UIView> UINavigationBar::backgroundView() const { return background_; }

void UINavigationBar::updateBackground() {
  auto image = backgroundImages_[0];
  setContentsImage(*backgroundImageView_, image);
  backgroundImageView_->setHidden(!image);
  if (image) {
    background_->setBackgroundColor(UIColor::clearColor());
  } else if (barTintColor_) {
    background_->setBackgroundColor(barTintColor_);
  } else {
    CGFloat alpha = isTranslucent() ? 0.9 : 1;
    bool black = barStyle_ != UIBarStyleDefault;
    background_->setBackgroundColor(black ? UIColor::colorWithWhite(0.11, alpha) : UIColor::colorWithWhite(0.97, alpha));
  }
  // A custom shadow shows only over a custom background; otherwise the grey hairline.
  if (image && shadowImage_) {
    setContentsImage(*shadowView_, shadowImage_);
    shadowView_->setBackgroundColor(nullptr);
  } else {
    setContentsImage(*shadowView_, nullptr);
    shadowView_->setBackgroundColor(UIColor::colorWithWhite(0, 0.3));
  }
  setNeedsLayout();
}

// --- items ------------------------------------------------------------------------------------

std::shared_ptr<UINavigationItem> UINavigationBar::topItem() const { return items_.empty() ? nullptr : items_.back(); }

std::shared_ptr<UINavigationItem> UINavigationBar::backItem() const {
  return items_.size() < 2 ? nullptr : items_[items_.size() - 2];
}

void UINavigationBar::adoptItems(std::vector<std::shared_ptr<UINavigationItem>> items) {
  std::erase(items, nullptr);
  auto self = viewSelf();
  for (auto& old : items_)
    if (old->owner() == self && std::find(items.begin(), items.end(), old) == items.end()) old->setOwner(nullptr);
  items_ = std::move(items);
  for (auto& item : items_) item->setOwner(self);
  barItemDidChange();
}

void UINavigationBar::setItems(std::vector<std::shared_ptr<UINavigationItem>> items, bool) {
  zvt::ui::assertMainThread("UINavigationBar::setItems");
  if (managed_)
    zvt::raise(NSInternalInconsistencyException,
               "Cannot call setItems:animated: directly on a UINavigationBar managed by a controller.");
  adoptItems(std::move(items));
}

void UINavigationBar::setManagedItems(std::vector<std::shared_ptr<UINavigationItem>> items, bool) {
  adoptItems(std::move(items));
}

void UINavigationBar::setManagedByController(bool managed) { managed_ = managed; }

void UINavigationBar::pushNavigationItem(const std::shared_ptr<UINavigationItem>& item, bool animated) {
  zvt::ui::assertMainThread("UINavigationBar::pushNavigationItem");
  if (managed_)
    zvt::raise(NSInternalInconsistencyException,
               "Cannot call pushNavigationItem:animated: directly on a UINavigationBar managed by a controller.");
  if (!item) return;
  auto self = std::static_pointer_cast<UINavigationBar>(viewSelf());
  auto delegate = delegate_.lock();
  if (delegate && !delegate->navigationBarShouldPushItem(self, item)) return;
  auto items = items_;
  items.push_back(item);
  setItems(std::move(items), animated);
  if (delegate) delegate->navigationBarDidPushItem(self, item);
}

std::shared_ptr<UINavigationItem> UINavigationBar::popNavigationItemAnimated(bool animated) {
  zvt::ui::assertMainThread("UINavigationBar::popNavigationItemAnimated");
  if (managed_)
    zvt::raise(NSInternalInconsistencyException,
               "Cannot call popNavigationItemAnimated: directly on a UINavigationBar managed by a controller.");
  auto item = topItem();
  if (!item) return nullptr;
  auto self = std::static_pointer_cast<UINavigationBar>(viewSelf());
  auto delegate = delegate_.lock();
  if (delegate && !delegate->navigationBarShouldPopItem(self, item)) return nullptr;
  auto items = items_;
  items.pop_back();
  setItems(std::move(items), animated);
  if (delegate) delegate->navigationBarDidPopItem(self, item);
  return item;
}

void UINavigationBar::backTapped() {
  auto item = topItem();
  if (!item || !backItem()) return;
  auto self = std::static_pointer_cast<UINavigationBar>(viewSelf());
  auto delegate = delegate_.lock();
  if (delegate && !delegate->navigationBarShouldPopItem(self, item)) return;
  if (managed_) return;
  auto items = items_;
  items.pop_back();
  adoptItems(std::move(items));
  if (delegate) delegate->navigationBarDidPopItem(self, item);
}

void UINavigationBar::barItemDidChange() {
  needsRebuild_ = true;
  setNeedsLayout();
}

void UINavigationBar::tintColorDidChange() { barItemDidChange(); }

void UINavigationBar::setBarPosition(UIBarPosition position) {
  position_ = position;
  setNeedsLayout();
}

void UINavigationBar::setExtensionAboveBar(CGFloat points) {
  if (points == extensionAbove_) return;
  extensionAbove_ = points;
  setNeedsLayout();
}

// --- the views shown --------------------------------------------------------------------------

std::shared_ptr<UIView> UINavigationBar::titleViewShown() const { return titleView_; }

std::shared_ptr<UIView> UINavigationBar::backButtonView() const { return backButton_; }

std::shared_ptr<UIView> UINavigationBar::viewForItem(const std::shared_ptr<UIBarButtonItem>& item) const {
  for (auto* list : {&leftViews_, &rightViews_})
    for (auto& [i, view] : *list)
      if (i == item) return view;
  return nullptr;
}

std::shared_ptr<UIView> UINavigationBar::makeItemView(const std::shared_ptr<UIBarButtonItem>& item) {
  item->setOwner(viewSelf());
  if (auto custom = item->customView()) return custom;
  if (item->isSpace()) {
    auto space = UIView::initWithFrame(CGRectMake(0, 0, item->width(), 1));
    space->setHidden(true);
    return space;
  }
  auto button = UIView::makeView<zvt::ui::BarButton>(CGRectZero);
  button->setTitle(item->displayedTitle());
  button->setImage(item->image());
  button->setImageInsets(item->imageInsets());
  button->setBackgroundImage(item->backgroundImageForState(UIControlStateNormal, UIBarMetricsDefault));
  auto attributes = item->titleTextAttributesForState(UIControlStateNormal);
  if (item->style() == UIBarButtonItemStyleDone &&
      !(attributes && attributes->objectForKey(NSFontAttributeName))) {
    auto bold = NSMutableDictionary::dictionaryWithCapacity(4);
    if (attributes)
      bold->addEntriesFromDictionary(attributes);
    bold->setObject(UIFont::boldSystemFontOfSize(17), NSFontAttributeName);
    attributes = bold;
  }
  button->setTitleAttributes(attributes);
  button->setTintColor(item->tintColor());
  button->setEnabled(item->isEnabled());
  std::weak_ptr<UIBarButtonItem> weak = item;
  button->onTap = [weak](const std::shared_ptr<UIEvent>& event) {
    if (auto item = weak.lock()) item->sendAction(event);
  };
  return button;
}

void UINavigationBar::rebuild() {
  needsRebuild_ = false;
  auto remove = [this](const std::shared_ptr<UIView>& view) {
    if (view && view->superview().get() == this) view->removeFromSuperview();
  };
  // A custom title view that stays is left in place: taking it out would end its editing (a
  // search bar in the bar would lose the keyboard whenever the bar's look changes).
  auto top = topItem();
  const bool keepTitle = top && top->titleView() && top->titleView() == titleView_;
  if (!keepTitle) remove(titleView_);
  remove(backButton_);
  for (auto* list : {&leftViews_, &rightViews_}) {
    for (auto& [item, view] : *list) remove(view);
    list->clear();
  }
  if (!keepTitle) titleView_.reset();
  backButton_.reset();
  if (!top) return;

  if (auto custom = top->titleView()) {
    titleView_ = custom;
  } else {
    // Bold 17 points, black (white on black bars), centred on one line, unless the bar's title
    // attributes say otherwise.
    auto attributes = NSMutableDictionary::dictionaryWithCapacity(4);
    attributes->setObject(UIFont::boldSystemFontOfSize(17), NSFontAttributeName);
    attributes->setObject(barStyle_ != UIBarStyleDefault ? UIColor::whiteColor() : UIColor::blackColor(),
                          NSForegroundColorAttributeName);
    if (titleTextAttributes_) attributes->addEntriesFromDictionary(titleTextAttributes_);
    auto paragraph = NSMutableParagraphStyle::make();
    paragraph->setAlignment(NSTextAlignmentCenter);
    paragraph->setLineBreakMode(NSLineBreakByTruncatingTail);
    attributes->setObject(paragraph, NSParagraphStyleAttributeName);
    auto title = top->title() ? top->title() : NSString::string();
    titleLabel_->setAttributedText(NSAttributedString::initWithString(title, attributes));
    titleView_ = titleLabel_;
  }
  if (titleView_->superview().get() != this) addSubview(titleView_);

  auto back = backItem();
  bool showsBack = back && !top->hidesBackButton() &&
                   (top->leftBarButtonItems().empty() || top->leftItemsSupplementBackButton());
  if (showsBack) {
    backButton_ = UIView::makeView<zvt::ui::BarButton>(CGRectZero);
    backButton_->setShowsChevron(!backIndicatorImage_);
    backButton_->setImage(backIndicatorImage_);
    if (auto backBarItem = back->backBarButtonItem()) {
      backButton_->setTitleAttributes(backBarItem->titleTextAttributesForState(UIControlStateNormal));
      backButton_->setBackgroundImage(
          backBarItem->backButtonBackgroundImageForState(UIControlStateNormal, UIBarMetricsDefault));
      backButton_->setTintColor(backBarItem->tintColor());
    }
    std::weak_ptr<UIView> weakSelf = viewSelf();
    backButton_->onTap = [weakSelf](const std::shared_ptr<UIEvent>&) {
      if (auto bar = std::static_pointer_cast<UINavigationBar>(weakSelf.lock())) bar->backTapped();
    };
    addSubview(backButton_);
  }
  for (auto& item : top->leftBarButtonItems()) {
    auto view = makeItemView(item);
    leftViews_.emplace_back(item, view);
    addSubview(view);
  }
  for (auto& item : top->rightBarButtonItems()) {
    auto view = makeItemView(item);
    rightViews_.emplace_back(item, view);
    addSubview(view);
  }
}

std::shared_ptr<NSString> UINavigationBar::backTitle(bool fits) const {
  auto back = backItem();
  if (!fits || !back) return NSString::stringWithUTF8String(kBackTitle);
  if (auto item = back->backBarButtonItem()) return item->title() ? item->title() : NSString::string();
  if (back->title()) return back->title();
  return NSString::stringWithUTF8String(kBackTitle);
}

CGFloat UINavigationBar::edgeMargin() const {
  CGFloat width = bounds().size.width;
  return width <= 320 ? 8 : width < 414 ? 16 : 20;
}

CGSize UINavigationBar::sizeThatFits(CGSize size) const {
  return CGSizeMake(size.width > 0 ? size.width : bounds().size.width, kHeight);
}

void UINavigationBar::layoutSubviews() {
  UIView::layoutSubviews();
  if (needsRebuild_) rebuild();
  CGRect b = bounds();
  CGFloat w = b.size.width, h = b.size.height;
  CGFloat above = position_ == UIBarPositionTopAttached ? extensionAbove_ : 0;
  background_->setFrame(CGRectMake(0, -above, w, h + above));
  CGFloat shadowHeight = 1 / UIScreen::mainScreen()->scale();
  auto image = backgroundImages_[0];
  if (image && shadowImage_) shadowHeight = shadowImage_->size().height;
  shadowView_->setFrame(CGRectMake(0, h + above, w, shadowHeight));

  CGFloat margin = edgeMargin();
  CGSize titleSize = CGSizeZero;
  if (titleView_) titleSize = titleView_ == titleLabel_ ? titleLabel_->sizeThatFits(b.size) : titleView_->frame().size;

  // The item views' widths.
  auto widthOf = [](const std::shared_ptr<UIBarButtonItem>& item, const std::shared_ptr<UIView>& view) {
    if (item->customView()) return view->frame().size.width;
    if (item->isSpace()) return item->width();
    auto button = std::static_pointer_cast<zvt::ui::BarButton>(view);
    CGFloat width = item->width() > 0 ? item->width() : button->contentSize().width;
    return std::max(width, kMinimumButtonWidth);
  };
  auto place = [h](const std::shared_ptr<UIView>& view, CGFloat x, CGFloat width, bool custom) {
    CGFloat height = custom ? view->frame().size.height : h;
    view->setFrame(CGRectMake(x, std::round((h - height) / 2), width, height));
  };

  CGFloat left = margin;
  if (backButton_) {
    // The back title shortens to "返回", then to the chevron alone, when it would reach the title.
    CGFloat room = (w - titleSize.width) / 2 - kItemSpacing - kBackButtonLeft;
    for (int attempt = 0; attempt < 3; ++attempt) {
      backButton_->setTitle(attempt == 0 ? backTitle(true) : attempt == 1 ? backTitle(false) : nullptr);
      if (backButton_->contentSize().width <= room) break;
    }
    CGFloat width = backButton_->contentSize().width;
    backButton_->setFrame(CGRectMake(kBackButtonLeft, 0, width, h));
    left = kBackButtonLeft + width + kItemSpacing;
  }
  for (auto& [item, view] : leftViews_) {
    if (item->isSpace() && !item->customView() && item->systemItem() == UIBarButtonSystemItemFlexibleSpace) continue;
    CGFloat width = widthOf(item, view);
    place(view, left, width, item->customView() != nullptr);
    left += width + kItemSpacing;
  }
  CGFloat right = w - margin;
  for (auto& [item, view] : rightViews_) {
    if (item->isSpace() && !item->customView() && item->systemItem() == UIBarButtonSystemItemFlexibleSpace) continue;
    CGFloat width = widthOf(item, view);
    place(view, right - width, width, item->customView() != nullptr);
    right -= width + kItemSpacing;
  }
  if (titleView_) {
    CGFloat lo = std::max(left, margin), hi = std::max(lo, right);
    CGFloat width = std::min(titleSize.width, hi - lo);
    CGFloat x = std::clamp((w - width) / 2, lo, hi - width);
    if (titleView_ == titleLabel_) {
      titleLabel_->setFrame(CGRectMake(std::round(x), 0, std::ceil(width), h));
    } else {
      titleView_->setFrame(CGRectMake(std::round(x), std::round((h - titleSize.height) / 2), width, titleSize.height));
    }
  }
}
