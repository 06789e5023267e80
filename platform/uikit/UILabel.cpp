#include "platform/uikit/UILabel.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/UIImage.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/NSShadow.h"
#include "platform/text/TextLayout.h"
#include "platform/uikit/UIKitMainThread.h"

namespace zvt::ui {

CGFloat ceilToPixels(CGFloat value) {
  CGFloat scale = UIScreen::mainScreen()->scale();
  if (!(scale > 0)) scale = 1;
  // A hair over a pixel boundary (rounding noise of the measurement) stays on it.
  return std::ceil(value * scale - 1e-6) / scale;
}

CGSize ceilToPixels(CGSize size) { return CGSizeMake(ceilToPixels(size.width), ceilToPixels(size.height)); }

}  // namespace zvt::ui

namespace {

bool truncates(NSLineBreakMode mode) {
  return mode == NSLineBreakByTruncatingHead || mode == NSLineBreakByTruncatingMiddle ||
         mode == NSLineBreakByTruncatingTail;
}

// The text with every font scaled by the factor.
std::shared_ptr<NSAttributedString> scaledFonts(const std::shared_ptr<NSAttributedString>& text, CGFloat factor) {
  auto out = text->mutableCopy();
  text->enumerateAttribute(NSFontAttributeName, NSMakeRange(0, text->length()), 0,
                           [&](const id& value, NSRange range, bool*) {
                             auto font = zvt::as<UIFont>(value);
                             if (!font) font = UIFont::systemFontOfSize(12);
                             out->addAttribute(NSFontAttributeName, font->fontWithSize(font->pointSize() * factor), range);
                           });
  return out;
}

}  // namespace

UILabel::UILabel() {
  setUserInteractionEnabled(false);
  font_ = UIFont::systemFontOfSize(17);
  textColor_ = UIColor::blackColor();
}

void UILabel::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setOpaque(false);
  setContentMode(UIViewContentModeRedraw);
}

void UILabel::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  setOpaque(false);
  setContentMode(UIViewContentModeRedraw);
}

// --- text -------------------------------------------------------------------------------------

std::shared_ptr<NSString> UILabel::text() const { return attributed_ ? attributed_->string() : text_; }

void UILabel::setText(const std::shared_ptr<NSString>& text) {
  zvt::ui::assertMainThread("UILabel::setText");
  if (!attributed_ && zvt::objectsEqual(text, text_)) return;
  text_ = text ? text->copy() : nullptr;
  attributed_.reset();
  textChanged();
}

std::shared_ptr<NSAttributedString> UILabel::attributedText() const {
  if (attributed_) return attributed_;
  if (!text_) return nullptr;
  return NSAttributedString::initWithString(text_, plainAttributes(textColor_));
}

void UILabel::setAttributedText(const std::shared_ptr<NSAttributedString>& text) {
  zvt::ui::assertMainThread("UILabel::setAttributedText");
  if (!text) {
    setText(nullptr);
    return;
  }
  // Where the text names no font, colour or paragraph style, the label's own apply.
  auto filled = text->mutableCopy();
  const NSRange whole = NSMakeRange(0, filled->length());
  auto own = plainAttributes(textColor_);
  for (const std::shared_ptr<NSString>& name :
       {std::shared_ptr<NSString>(NSFontAttributeName), std::shared_ptr<NSString>(NSForegroundColorAttributeName),
        std::shared_ptr<NSString>(NSParagraphStyleAttributeName)}) {
    const id value = own->objectForKey(name);
    text->enumerateAttribute(name, whole, 0, [&](const id& given, NSRange range, bool*) {
      if (!given) filled->addAttribute(name, value, range);
    });
  }
  attributed_ = filled->copy();
  text_ = attributed_->string();
  textChanged();
}

std::shared_ptr<NSDictionary> UILabel::plainAttributes(const std::shared_ptr<UIColor>& color) const {
  auto style = NSMutableParagraphStyle::make();
  style->setAlignment(textAlignment_);
  style->setLineBreakMode(lineBreakMode_);
  auto attributes = NSMutableDictionary::make({{NSFontAttributeName, font_},
                                               {NSForegroundColorAttributeName, color},
                                               {NSParagraphStyleAttributeName, style}});
  if (shadowColor_) {
    auto shadow = NSShadow::make();
    shadow->setShadowColor(shadowColor_);
    shadow->setShadowOffset(shadowOffset_);
    attributes->setObject(shadow, NSShadowAttributeName);
  }
  return attributes;
}

void UILabel::applyToAll(const std::shared_ptr<NSString>& name, const id& value) {
  if (!attributed_ || attributed_->length() == 0) return;
  auto changed = attributed_->mutableCopy();
  changed->addAttribute(name, value, NSMakeRange(0, changed->length()));
  attributed_ = changed->copy();
}

std::shared_ptr<NSAttributedString> UILabel::shownText() const {
  if (cached_) return cached_;
  std::shared_ptr<UIColor> color;
  if (!enabled_) color = UIColor::colorWithWhite(0.56, 1);
  else if (highlighted_ && highlightedTextColor_) color = highlightedTextColor_;
  if (attributed_) {
    cached_ = attributed_;
    if (color && attributed_->length() > 0) {
      auto recoloured = attributed_->mutableCopy();
      recoloured->addAttribute(NSForegroundColorAttributeName, color, NSMakeRange(0, recoloured->length()));
      cached_ = recoloured;
    }
  } else {
    cached_ = NSAttributedString::initWithString(text_ ? text_ : NSString::string(),
                                                 plainAttributes(color ? color : textColor_));
  }
  return cached_;
}

void UILabel::textChanged() {
  cached_.reset();
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
  if (auto control = ownedByControl_ ? superview() : nullptr) {
    control->setNeedsLayout();
    control->invalidateIntrinsicContentSize();
  }
}

// --- settings ---------------------------------------------------------------------------------

void UILabel::setFont(const std::shared_ptr<UIFont>& font) {
  zvt::ui::assertMainThread("UILabel::setFont");
  auto f = font ? font : UIFont::systemFontOfSize(17);
  if (zvt::objectsEqual(f, font_)) return;
  font_ = f;
  applyToAll(NSFontAttributeName, font_);
  textChanged();
}

void UILabel::setTextColor(const std::shared_ptr<UIColor>& color) {
  zvt::ui::assertMainThread("UILabel::setTextColor");
  auto c = color ? color : UIColor::blackColor();
  if (zvt::objectsEqual(c, textColor_) && !attributed_) return;
  textColor_ = c;
  applyToAll(NSForegroundColorAttributeName, textColor_);
  cached_.reset();
  setNeedsDisplay();
}

void UILabel::setTextAlignment(NSTextAlignment alignment) {
  zvt::ui::assertMainThread("UILabel::setTextAlignment");
  textAlignment_ = alignment;
  if (attributed_ && attributed_->length() > 0) {
    auto style = zvt::as<NSParagraphStyle>(attributed_->attribute(NSParagraphStyleAttributeName, 0, nullptr));
    auto changed = style ? style->mutableCopy() : NSMutableParagraphStyle::make();
    changed->setAlignment(alignment);
    applyToAll(NSParagraphStyleAttributeName, changed);
  }
  cached_.reset();
  setNeedsDisplay();
}

void UILabel::setLineBreakMode(NSLineBreakMode mode) {
  zvt::ui::assertMainThread("UILabel::setLineBreakMode");
  lineBreakMode_ = mode;
  if (attributed_ && attributed_->length() > 0) {
    auto style = zvt::as<NSParagraphStyle>(attributed_->attribute(NSParagraphStyleAttributeName, 0, nullptr));
    auto changed = style ? style->mutableCopy() : NSMutableParagraphStyle::make();
    changed->setLineBreakMode(mode);
    applyToAll(NSParagraphStyleAttributeName, changed);
  }
  textChanged();
}

void UILabel::setNumberOfLines(NSInteger lines) {
  zvt::ui::assertMainThread("UILabel::setNumberOfLines");
  lines = std::max<NSInteger>(lines, 0);
  if (lines == numberOfLines_) return;
  numberOfLines_ = lines;
  textChanged();
}

void UILabel::setAdjustsFontSizeToFitWidth(bool adjusts) {
  adjustsFontSizeToFitWidth_ = adjusts;
  setNeedsDisplay();
}

void UILabel::setMinimumScaleFactor(CGFloat factor) {
  minimumScaleFactor_ = std::clamp<CGFloat>(factor, 0, 1);
  setNeedsDisplay();
}

void UILabel::setPreferredMaxLayoutWidth(CGFloat width) {
  if (width == preferredMaxLayoutWidth_) return;
  preferredMaxLayoutWidth_ = std::max<CGFloat>(width, 0);
  invalidateIntrinsicContentSize();
}

void UILabel::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  cached_.reset();
  setNeedsDisplay();
}

void UILabel::setHighlighted(bool highlighted) {
  if (highlighted == highlighted_) return;
  highlighted_ = highlighted;
  cached_.reset();
  setNeedsDisplay();
}

void UILabel::setHighlightedTextColor(const std::shared_ptr<UIColor>& color) {
  highlightedTextColor_ = color;
  cached_.reset();
  setNeedsDisplay();
}

void UILabel::setShadowColor(const std::shared_ptr<UIColor>& color) {
  shadowColor_ = color;
  cached_.reset();
  setNeedsDisplay();
}

void UILabel::setShadowOffset(CGSize offset) {
  shadowOffset_ = offset;
  cached_.reset();
  setNeedsDisplay();
}

// --- layout and drawing -----------------------------------------------------------------------

CGRect UILabel::textRectForBounds(CGRect bounds, NSInteger numberOfLines) const {
  auto text = shownText();
  if (text->length() == 0) return CGRect{bounds.origin, CGSizeZero};
  zvt::text::TextLayoutOptions options;
  options.numberOfLines = numberOfLines;
  options.lineBreakMode = lineBreakMode_;
  if (numberOfLines != 1) options.width = bounds.size.width > 0 ? bounds.size.width : 0;
  if (bounds.size.height > 0 && std::isfinite(bounds.size.height)) options.height = bounds.size.height;
  options.truncatesLastVisibleLine = truncates(lineBreakMode_);
  CGSize size = zvt::text::TextLayout::sizeOf(text, options);
  if (numberOfLines == 1 && bounds.size.width > 0 && std::isfinite(bounds.size.width))
    size.width = std::min(size.width, bounds.size.width);
  return CGRect{bounds.origin, zvt::ui::ceilToPixels(size)};
}

void UILabel::drawTextInRect(CGRect rect) {
  auto context = UIGraphicsGetCurrentContext();
  auto text = shownText();
  if (!context || text->length() == 0) return;
  zvt::text::TextLayoutOptions options;
  options.width = rect.size.width > 0 ? rect.size.width : 0;
  options.numberOfLines = numberOfLines_;
  options.lineBreakMode = lineBreakMode_;
  if (rect.size.height > 0) options.height = rect.size.height;
  options.truncatesLastVisibleLine = truncates(lineBreakMode_);
  if (numberOfLines_ == 1 && adjustsFontSizeToFitWidth_ && minimumScaleFactor_ > 0 && rect.size.width > 0) {
    zvt::text::TextLayoutOptions natural;
    natural.numberOfLines = 1;
    CGFloat width = zvt::text::TextLayout::sizeOf(text, natural).width;
    // Widths grow about in proportion to the font size; a few steps settle the rounding.
    CGFloat factor = 1;
    for (int step = 0; step < 4 && width > rect.size.width && factor > minimumScaleFactor_; ++step) {
      factor = std::max(minimumScaleFactor_, factor * rect.size.width / width * 0.999);
      width = zvt::text::TextLayout::sizeOf(scaledFonts(text, factor), natural).width;
    }
    if (factor < 1) text = scaledFonts(text, factor);
  }
  auto layout = zvt::text::TextLayout::layout(text, options);
  CGFloat y = rect.origin.y + (rect.size.height - layout->size().height) / 2;
  layout->drawInRect(context, CGRectMake(rect.origin.x, y, rect.size.width, layout->size().height));
}

void UILabel::drawRect(CGRect) { drawTextInRect(bounds()); }

CGSize UILabel::sizeThatFits(CGSize size) const {
  CGRect bounds = CGRectMake(0, 0, numberOfLines_ != 1 && size.width > 0 ? size.width : 0, 0);
  return textRectForBounds(bounds, numberOfLines_).size;
}

CGSize UILabel::intrinsicContentSize() const {
  CGFloat width = 0;
  if (numberOfLines_ != 1) width = preferredMaxLayoutWidth_ > 0 ? preferredMaxLayoutWidth_ : bounds().size.width;
  return textRectForBounds(CGRectMake(0, 0, width, 0), numberOfLines_).size;
}

void UILabel::boundsDidChange(CGRect oldBounds) {
  // A multi-line label without a preferred width wraps at its own width.
  if (numberOfLines_ != 1 && preferredMaxLayoutWidth_ == 0 && oldBounds.size.width != bounds().size.width)
    invalidateIntrinsicContentSize();
}

std::vector<std::shared_ptr<NSString>> UILabel::visibleTexts() const {
  auto t = text();
  if (ownedByControl_ || !t || t->length() == 0) return {};
  return {t};
}
