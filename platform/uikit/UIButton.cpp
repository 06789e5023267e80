#include "platform/uikit/UIButton.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIKitMainThread.h"

namespace {

constexpr CGFloat kTitlePadding = 6;  // above and below a title, in the fitting size
constexpr CGFloat kEmptySide = 30;

CGFloat roundToPixels(CGFloat value) {
  CGFloat scale = UIScreen::mainScreen()->scale();
  if (!(scale > 0)) scale = 1;
  return std::round(value * scale) / scale;
}

// The round glyph of the info, disclosure and add buttons, drawn as a template.
std::shared_ptr<UIImage> glyphImage(UIButtonType type) {
  const CGFloat side = 22;
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(side, side), false, 0);
  auto context = UIGraphicsGetCurrentContext();
  CGContextSetRGBStrokeColor(context, 0, 0, 0, 1);
  CGContextSetRGBFillColor(context, 0, 0, 0, 1);
  CGContextSetLineWidth(context, 1);
  CGContextStrokeEllipseInRect(context, CGRectMake(0.5, 0.5, side - 1, side - 1));
  if (type == UIButtonTypeContactAdd) {
    CGContextFillRect(context, CGRectMake(side / 2 - 0.5, 6, 1, side - 12));
    CGContextFillRect(context, CGRectMake(6, side / 2 - 0.5, side - 12, 1));
  } else {
    CGContextFillEllipseInRect(context, CGRectMake(side / 2 - 1, 5, 2, 2));
    CGContextFillRect(context, CGRectMake(side / 2 - 1, 9, 2, 8));
  }
  auto image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return image ? image->imageWithRenderingMode(UIImageRenderingModeAlwaysTemplate) : nullptr;
}

}  // namespace

UIButton::UIButton() = default;

std::shared_ptr<UIButton> UIButton::buttonWithType(UIButtonType type) {
  auto button = std::make_shared<UIButton>();
  button->type_ = type;
  button->setUpWithFrame(CGRectZero);
  if (type >= UIButtonTypeDetailDisclosure && type <= UIButtonTypeContactAdd) {
    button->setImage(glyphImage(type), UIControlStateNormal);
    button->setFrame(CGRect{CGPointZero, button->sizeThatFits(CGSizeZero)});
  }
  return button;
}

void UIButton::setUpWithFrame(CGRect frame) {
  UIControl::setUpWithFrame(frame);
  setUp();
}

void UIButton::setUpWithCoder(CGRect frame) {
  UIControl::setUpWithCoder(frame);
  setUp();
}

void UIButton::setUp() {
  setOpaque(false);
  backgroundView_ = UIImageView::make();
  backgroundView_->setHidden(true);
  addSubview(backgroundView_);
  updateContent();
}

const std::shared_ptr<UILabel>& UIButton::titleLabel() const {
  if (!titleLabel_) {
    auto self = std::const_pointer_cast<UIButton>(std::static_pointer_cast<const UIButton>(shared_from_this()));
    titleLabel_ = UILabel::make();
    titleLabel_->setOwnedByControl(true);
    titleLabel_->setFont(UIFont::systemFontOfSize(15));
    titleLabel_->setLineBreakMode(NSLineBreakByTruncatingMiddle);
    titleLabel_->setHidden(true);
    self->addSubview(titleLabel_);
    self->updateContent();
  }
  return titleLabel_;
}

const std::shared_ptr<UIImageView>& UIButton::imageView() const {
  if (!imageView_) {
    auto self = std::const_pointer_cast<UIButton>(std::static_pointer_cast<const UIButton>(shared_from_this()));
    imageView_ = UIImageView::make();
    imageView_->setTemplatesByDefault(type_ != UIButtonTypeCustom);
    imageView_->setHidden(true);
    // Above the background, below the title.
    self->insertSubviewAboveSubview(imageView_, backgroundView_);
    self->updateContent();
  }
  return imageView_;
}

// --- per-state content ------------------------------------------------------------------------

UIButton::StateContent& UIButton::contentFor(UIControlState state) {
  for (auto& c : contents_)
    if (c.state == state) return c;
  StateContent fresh;
  fresh.state = state;
  contents_.push_back(std::move(fresh));
  return contents_.back();
}

template <class T>
std::shared_ptr<T> UIButton::lookup(UIControlState state, std::shared_ptr<T> StateContent::*member) const {
  std::shared_ptr<T> normal;
  for (const auto& c : contents_) {
    if (c.state == state && c.*member) return c.*member;
    if (c.state == UIControlStateNormal) normal = c.*member;
  }
  return normal;
}

void UIButton::setTitle(const std::shared_ptr<NSString>& title, UIControlState state) {
  zvt::ui::assertMainThread("UIButton::setTitle");
  contentFor(state).title = title ? title->copy() : nullptr;
  contentChanged();
}

std::shared_ptr<NSString> UIButton::titleForState(UIControlState state) const {
  return lookup(state, &StateContent::title);
}

void UIButton::setTitleColor(const std::shared_ptr<UIColor>& color, UIControlState state) {
  zvt::ui::assertMainThread("UIButton::setTitleColor");
  contentFor(state).titleColor = color;
  updateContent();
}

std::shared_ptr<UIColor> UIButton::titleColorForState(UIControlState state) const {
  if (auto color = lookup(state, &StateContent::titleColor)) return color;
  if (type_ == UIButtonTypeCustom) return UIColor::whiteColor();
  if (state & UIControlStateDisabled) return UIColor::colorWithWhite(0.56, 1);
  if (state & UIControlStateHighlighted) return tintColor()->colorWithAlphaComponent(0.2);
  return tintColor();
}

void UIButton::setTitleShadowColor(const std::shared_ptr<UIColor>& color, UIControlState state) {
  contentFor(state).titleShadowColor = color;
  updateContent();
}

std::shared_ptr<UIColor> UIButton::titleShadowColorForState(UIControlState state) const {
  return lookup(state, &StateContent::titleShadowColor);
}

void UIButton::setImage(const std::shared_ptr<UIImage>& image, UIControlState state) {
  zvt::ui::assertMainThread("UIButton::setImage");
  contentFor(state).image = image;
  contentChanged();
}

std::shared_ptr<UIImage> UIButton::imageForState(UIControlState state) const {
  return lookup(state, &StateContent::image);
}

void UIButton::setBackgroundImage(const std::shared_ptr<UIImage>& image, UIControlState state) {
  zvt::ui::assertMainThread("UIButton::setBackgroundImage");
  contentFor(state).backgroundImage = image;
  contentChanged();
}

std::shared_ptr<UIImage> UIButton::backgroundImageForState(UIControlState state) const {
  return lookup(state, &StateContent::backgroundImage);
}

void UIButton::setAttributedTitle(const std::shared_ptr<NSAttributedString>& title, UIControlState state) {
  zvt::ui::assertMainThread("UIButton::setAttributedTitle");
  contentFor(state).attributedTitle = title ? title->copy() : nullptr;
  contentChanged();
}

std::shared_ptr<NSAttributedString> UIButton::attributedTitleForState(UIControlState state) const {
  return lookup(state, &StateContent::attributedTitle);
}

std::shared_ptr<NSString> UIButton::currentTitle() const {
  if (auto attributed = currentAttributedTitle()) return attributed->string();
  return titleForState(state());
}

// --- showing the state ------------------------------------------------------------------------

void UIButton::contentChanged() {
  updateContent();
  invalidateIntrinsicContentSize();
}

std::shared_ptr<UIImage> UIButton::adjustedImage(const std::shared_ptr<UIImage>& image) const {
  UIControlState s = state();
  bool darker = (s & UIControlStateHighlighted) && adjustsImageWhenHighlighted_ &&
                !lookup(UIControlStateHighlighted, &StateContent::image);
  bool lighter = (s & UIControlStateDisabled) && adjustsImageWhenDisabled_ &&
                 !lookup(UIControlStateDisabled, &StateContent::image);
  if (!image || type_ != UIButtonTypeCustom || (!darker && !lighter)) return image;
  UIControlState kind = darker ? UIControlStateHighlighted : UIControlStateDisabled;
  if (adjustedSource_ == image && adjustedState_ == kind) return adjustedResult_;
  CGSize size = image->size();
  CGRect rect = CGRectMake(0, 0, size.width, size.height);
  UIGraphicsBeginImageContextWithOptions(size, false, image->scale());
  auto context = UIGraphicsGetCurrentContext();
  image->drawInRect(rect);
  if (darker) CGContextSetRGBFillColor(context, 0, 0, 0, 0.3);
  else CGContextSetRGBFillColor(context, 1, 1, 1, 0.4);
  CGContextSetBlendMode(context, kCGBlendModeSourceAtop);
  CGContextFillRect(context, rect);
  auto result = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  adjustedSource_ = image;
  adjustedState_ = kind;
  adjustedResult_ = result ? result->imageWithRenderingMode(image->renderingMode()) : image;
  return adjustedResult_;
}

void UIButton::updateContent() {
  if (!backgroundView_) return;  // not yet set up
  auto background = currentBackgroundImage();
  backgroundView_->setImage(background);
  backgroundView_->setHidden(!background);
  auto image = currentImage();
  if (image || imageView_) {
    imageView();
    imageView_->setImage(adjustedImage(image));
    imageView_->setHidden(!image);
  }
  auto attributed = currentAttributedTitle();
  auto title = titleForState(state());
  bool hasTitle = (attributed && attributed->length() > 0) || (title && title->length() > 0);
  if (hasTitle || titleLabel_) {
    titleLabel();
    if (attributed) {
      titleLabel_->setAttributedText(attributed);
    } else {
      titleLabel_->setText(title);
      titleLabel_->setTextColor(currentTitleColor());
      titleLabel_->setShadowColor(currentTitleShadowColor());
    }
    titleLabel_->setHidden(!hasTitle);
  }
  setNeedsLayout();
}

void UIButton::setEnabled(bool enabled) {
  UIControl::setEnabled(enabled);
  updateContent();
}

void UIButton::setSelected(bool selected) {
  UIControl::setSelected(selected);
  updateContent();
}

void UIButton::setHighlighted(bool highlighted) {
  if (highlighted == isHighlighted()) return;
  UIControl::setHighlighted(highlighted);
  updateContent();
}

void UIButton::tintColorDidChange() { updateContent(); }

void UIButton::setAdjustsImageWhenHighlighted(bool adjusts) {
  adjustsImageWhenHighlighted_ = adjusts;
  updateContent();
}

void UIButton::setAdjustsImageWhenDisabled(bool adjusts) {
  adjustsImageWhenDisabled_ = adjusts;
  updateContent();
}

// --- geometry ---------------------------------------------------------------------------------

void UIButton::setContentEdgeInsets(UIEdgeInsets insets) {
  contentEdgeInsets_ = insets;
  setNeedsLayout();
  invalidateIntrinsicContentSize();
}

void UIButton::setTitleEdgeInsets(UIEdgeInsets insets) {
  titleEdgeInsets_ = insets;
  setNeedsLayout();
}

void UIButton::setImageEdgeInsets(UIEdgeInsets insets) {
  imageEdgeInsets_ = insets;
  setNeedsLayout();
}

CGRect UIButton::backgroundRectForBounds(CGRect bounds) const { return bounds; }

CGRect UIButton::contentRectForBounds(CGRect bounds) const { return UIEdgeInsetsInsetRect(bounds, contentEdgeInsets_); }

CGSize UIButton::titleSize(CGFloat width) const {
  if (!titleLabel_ || titleLabel_->isHidden()) return CGSizeZero;
  return titleLabel_->sizeThatFits(CGSizeMake(std::max<CGFloat>(width, 0), 0));
}

CGSize UIButton::imageSize() const {
  auto image = currentImage();
  return image ? image->size() : CGSizeZero;
}

void UIButton::placePair(CGRect r, CGSize image, CGSize title, CGRect* imageRect, CGRect* titleRect) const {
  CGFloat iw = std::min(image.width, std::max<CGFloat>(r.size.width, 0));
  CGFloat ih = std::min(image.height, std::max<CGFloat>(r.size.height, 0));
  CGFloat tw = std::min(title.width, std::max<CGFloat>(r.size.width - iw, 0));
  CGFloat th = std::min(title.height, std::max<CGFloat>(r.size.height, 0));
  CGFloat x;
  switch (contentHorizontalAlignment()) {
    case UIControlContentHorizontalAlignmentLeft: x = r.origin.x; break;
    case UIControlContentHorizontalAlignmentRight: x = CGRectGetMaxX(r) - iw - tw; break;
    case UIControlContentHorizontalAlignmentFill:
      x = r.origin.x;
      if (title.width > 0 || title.height > 0) tw = std::max<CGFloat>(r.size.width - iw, 0);
      else iw = std::max<CGFloat>(r.size.width, 0);
      break;
    default: x = CGRectGetMidX(r) - (iw + tw) / 2; break;
  }
  auto vertical = [&](CGFloat& h) {
    switch (contentVerticalAlignment()) {
      case UIControlContentVerticalAlignmentTop: return r.origin.y;
      case UIControlContentVerticalAlignmentBottom: return CGRectGetMaxY(r) - h;
      case UIControlContentVerticalAlignmentFill: h = std::max<CGFloat>(r.size.height, 0); return r.origin.y;
      default: return CGRectGetMidY(r) - h / 2;
    }
  };
  if (imageRect) {
    CGFloat y = vertical(ih);
    *imageRect = CGRectMake(roundToPixels(x), roundToPixels(y), iw, ih);
  }
  if (titleRect) {
    CGFloat y = vertical(th);
    *titleRect = CGRectMake(roundToPixels(x + iw), roundToPixels(y), tw, th);
  }
}

CGRect UIButton::imageRectForContentRect(CGRect contentRect) const {
  CGRect r = UIEdgeInsetsInsetRect(contentRect, imageEdgeInsets_);
  CGSize image = imageSize();
  CGSize title = titleSize(r.size.width - std::min(image.width, r.size.width));
  CGRect out;
  placePair(r, image, title, &out, nullptr);
  return out;
}

CGRect UIButton::titleRectForContentRect(CGRect contentRect) const {
  CGRect r = UIEdgeInsetsInsetRect(contentRect, titleEdgeInsets_);
  CGSize image = imageSize();
  CGSize title = titleSize(r.size.width - std::min(image.width, r.size.width));
  CGRect out;
  placePair(r, image, title, nullptr, &out);
  return out;
}

void UIButton::layoutSubviews() {
  UIControl::layoutSubviews();
  CGRect b = bounds();
  backgroundView_->setFrame(backgroundRectForBounds(b));
  CGRect content = contentRectForBounds(b);
  if (imageView_) imageView_->setFrame(imageRectForContentRect(content));
  if (titleLabel_) titleLabel_->setFrame(titleRectForContentRect(content));
}

CGSize UIButton::sizeThatFits(CGSize) const {
  CGSize image = imageSize();
  CGSize title = titleSize(0);
  CGSize size = CGSizeMake(image.width + title.width,
                           std::max(image.height, title.height > 0 ? title.height + 2 * kTitlePadding : 0));
  if (size.width == 0 && size.height == 0) size = CGSizeMake(kEmptySide, kEmptySide);
  size.width += contentEdgeInsets_.left + contentEdgeInsets_.right;
  size.height += contentEdgeInsets_.top + contentEdgeInsets_.bottom;
  return size;
}

CGSize UIButton::intrinsicContentSize() const { return sizeThatFits(CGSizeZero); }

std::vector<std::shared_ptr<NSString>> UIButton::visibleTexts() const {
  auto title = currentTitle();
  if (!title || title->length() == 0 || (titleLabel_ && titleLabel_->isHidden())) return {};
  return {title};
}
