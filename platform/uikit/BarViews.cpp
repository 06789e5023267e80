#include "platform/uikit/internal/BarViews.h"

#include <algorithm>
#include <vector>

#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/UIBezierPath.h"
#include "platform/text/NSStringDrawing.h"

namespace zvt::ui {

namespace {

std::shared_ptr<NSDictionary> withDefaults(const std::shared_ptr<NSDictionary>& attributes,
                                           const std::shared_ptr<UIFont>& font, const std::shared_ptr<UIColor>& color,
                                           NSTextAlignment alignment) {
  auto out = NSMutableDictionary::dictionaryWithCapacity(4);
  if (attributes)
    out->addEntriesFromDictionary(attributes);
  if (!out->objectForKey(NSFontAttributeName)) out->setObject(font, NSFontAttributeName);
  if (!out->objectForKey(NSForegroundColorAttributeName) && color) out->setObject(color, NSForegroundColorAttributeName);
  auto paragraph = NSMutableParagraphStyle::make();
  paragraph->setAlignment(alignment);
  paragraph->setLineBreakMode(NSLineBreakByTruncatingTail);
  out->setObject(paragraph, NSParagraphStyleAttributeName);
  return out;
}

void drawLine(const std::shared_ptr<NSString>& text, CGRect rect, const std::shared_ptr<NSDictionary>& attributes) {
  if (!text || text->length() == 0) return;
  CGSize size = sizeWithAttributes(text, attributes);
  // Centred vertically; one line, cut at the tail.
  CGRect line = CGRectMake(rect.origin.x, rect.origin.y + (rect.size.height - size.height) / 2, rect.size.width,
                           size.height);
  drawWithRect(text, line, NSStringDrawingUsesLineFragmentOrigin | NSStringDrawingTruncatesLastVisibleLine, attributes,
               nullptr);
}

}  // namespace

// --- BarButton --------------------------------------------------------------------------------

void BarButton::setUpWithFrame(CGRect frame) {
  UIControl::setUpWithFrame(frame);
  setOpaque(false);
  setContentMode(UIViewContentModeRedraw);
  addTarget(self(), &BarButton::fire, UIControlEventTouchUpInside);
}

void BarButton::setTitle(const std::shared_ptr<NSString>& title) {
  title_ = title;
  setNeedsDisplay();
}

void BarButton::setTitleAttributes(const std::shared_ptr<NSDictionary>& attributes) {
  titleAttributes_ = attributes;
  setNeedsDisplay();
}

void BarButton::setImage(const std::shared_ptr<UIImage>& image) {
  image_ = image;
  setNeedsDisplay();
}

void BarButton::setBackgroundImage(const std::shared_ptr<UIImage>& image) {
  backgroundImage_ = image;
  setNeedsDisplay();
}

void BarButton::setImageInsets(UIEdgeInsets insets) {
  imageInsets_ = insets;
  setNeedsDisplay();
}

void BarButton::setColor(const std::shared_ptr<UIColor>& color) {
  color_ = color;
  setNeedsDisplay();
}

void BarButton::setShowsChevron(bool shows) {
  showsChevron_ = shows;
  setNeedsDisplay();
}

void BarButton::setLayout(Layout layout) {
  layout_ = layout;
  setNeedsDisplay();
}

void BarButton::setBadge(const std::shared_ptr<NSString>& badge) {
  badge_ = badge;
  setNeedsDisplay();
}

std::shared_ptr<NSDictionary> BarButton::effectiveAttributes() const {
  auto font = layout_ == Layout::Stacked ? UIFont::systemFontOfSize(10) : UIFont::systemFontOfSize(17);
  return withDefaults(titleAttributes_, font, color_ ? color_ : tintColor(), NSTextAlignmentCenter);
}

CGSize BarButton::titleSize() const {
  if (!title_ || title_->length() == 0) return CGSizeZero;
  CGSize size = sizeWithAttributes(title_, effectiveAttributes());
  return CGSizeMake(std::ceil(size.width), std::ceil(size.height));
}

CGSize BarButton::imageSize() const {
  if (!image_) return CGSizeZero;
  CGSize size = image_->size();
  return CGSizeMake(size.width + imageInsets_.left + imageInsets_.right,
                    size.height + imageInsets_.top + imageInsets_.bottom);
}

CGSize BarButton::contentSize() const {
  CGSize title = titleSize(), image = imageSize();
  if (layout_ == Layout::Stacked)
    return CGSizeMake(std::max(title.width, image.width), image.height + title.height);
  CGFloat width = 0, height = std::max(title.height, image.height);
  if (showsChevron_) {
    width += kChevronWidth + (title.width > 0 ? kChevronGap : 0);
    height = std::max(height, kChevronHeight);
  }
  width += image.width + title.width;
  return CGSizeMake(width, height);
}

CGSize BarButton::sizeThatFits(CGSize) const { return contentSize(); }

void BarButton::drawImageTinted(const std::shared_ptr<UIImage>& image, CGRect rect) const {
  // Bars draw their items' images as templates unless told to keep the image's own colours.
  bool tinted = image->renderingMode() != UIImageRenderingModeAlwaysOriginal;
  auto context = UIGraphicsGetCurrentContext();
  if (!tinted || !context) {
    image->drawInRect(rect);
    return;
  }
  // A template image: its shape in the tint.
  CGContextBeginTransparencyLayer(context, nullptr);
  image->drawInRect(rect);
  CGContextSetBlendMode(context, kCGBlendModeSourceIn);
  auto color = color_ ? color_ : tintColor();
  CGContextSetFillColorWithColor(context, color->CGColor());
  CGContextFillRect(context, rect);
  CGContextSetBlendMode(context, kCGBlendModeNormal);
  CGContextEndTransparencyLayer(context);
}

void BarButton::drawRect(CGRect) {
  CGRect b = bounds();
  if (backgroundImage_) backgroundImage_->drawInRect(b);
  CGSize content = contentSize();
  CGSize title = titleSize(), image = imageSize();
  auto attributes = effectiveAttributes();
  if (layout_ == Layout::Stacked) {
    // The title along the bottom, the image centred in the room above it.
    CGFloat titleTop = CGRectGetMaxY(b) - title.height - 2;
    if (image_) {
      CGFloat top = b.origin.y + std::max<CGFloat>(0, (titleTop - b.origin.y - image.height) / 2);
      CGRect r = CGRectMake(b.origin.x + (b.size.width - image.width) / 2 + imageInsets_.left, top + imageInsets_.top,
                            image_->size().width, image_->size().height);
      drawImageTinted(image_, r);
      if (badge_ && badge_->length() > 0) {
        auto font = UIFont::systemFontOfSize(13);
        auto badgeAttributes = withDefaults(nullptr, font, UIColor::whiteColor(), NSTextAlignmentCenter);
        CGSize text = sizeWithAttributes(badge_, badgeAttributes);
        CGFloat h = 18, w = std::max(h, std::ceil(text.width) + 10);
        CGRect badge = CGRectMake(CGRectGetMaxX(r) - w / 2, r.origin.y - 2, w, h);
        UIColor::colorWithRed(1, 59 / 255.0, 48 / 255.0, 1)->setFill();
        UIBezierPath::bezierPathWithRoundedRect(badge, h / 2)->fill();
        drawLine(badge_, badge, badgeAttributes);
      }
    }
    drawLine(title_, CGRectMake(b.origin.x, titleTop, b.size.width, title.height), attributes);
    return;
  }
  CGFloat x = b.origin.x + std::max<CGFloat>(0, (b.size.width - content.width) / 2);
  CGFloat midY = CGRectGetMidY(b);
  if (showsChevron_) {
    auto chevron = UIBezierPath::bezierPath();
    chevron->moveToPoint(CGPointMake(x + kChevronWidth - 1.5, midY - kChevronHeight / 2 + 1.5));
    chevron->addLineToPoint(CGPointMake(x + 2, midY));
    chevron->addLineToPoint(CGPointMake(x + kChevronWidth - 1.5, midY + kChevronHeight / 2 - 1.5));
    chevron->setLineWidth(3);
    chevron->setLineCapStyle(kCGLineCapRound);
    chevron->setLineJoinStyle(kCGLineJoinRound);
    (color_ ? color_ : tintColor())->setStroke();
    chevron->stroke();
    x += kChevronWidth + (title.width > 0 ? kChevronGap : 0);
  }
  if (image_) {
    CGRect r = CGRectMake(x + imageInsets_.left, midY - image.height / 2 + imageInsets_.top, image_->size().width,
                          image_->size().height);
    drawImageTinted(image_, r);
    x += image.width;
  }
  drawLine(title_, CGRectMake(x, b.origin.y, std::min(title.width, CGRectGetMaxX(b) - x), b.size.height), attributes);
}

std::vector<std::shared_ptr<NSString>> BarButton::visibleTexts() const {
  if (!title_ || title_->length() == 0) return {};
  return {title_};
}

void BarButton::setHighlighted(bool highlighted) {
  UIControl::setHighlighted(highlighted);
  setAlpha(!isEnabled() ? 0.35 : highlighted ? 0.2 : 1);
}

void BarButton::setEnabled(bool enabled) {
  UIControl::setEnabled(enabled);
  setAlpha(enabled ? 1 : 0.35);
}

void BarButton::fire(const std::shared_ptr<BarButton>&, const std::shared_ptr<UIEvent>& event) {
  if (!onTap) return;
  auto tap = onTap;
  tap(event);
}

// --- translucency of background images --------------------------------------------------------

bool imageHasTransparency(const std::shared_ptr<UIImage>& image) {
  if (!image) return false;
  auto cgImage = image->CGImage();
  if (!cgImage) return false;
  auto info = CGImageGetAlphaInfo(cgImage);
  if (info == kCGImageAlphaNone || info == kCGImageAlphaNoneSkipFirst || info == kCGImageAlphaNoneSkipLast) return false;
  // Draw it (at most 64 pixels a side, nearest sample) and look at the alpha bytes.
  size_t width = std::min<size_t>(CGImageGetWidth(cgImage), 64), height = std::min<size_t>(CGImageGetHeight(cgImage), 64);
  if (width == 0 || height == 0) return true;
  std::vector<uint32_t> pixels(width * height);
  auto context = CGBitmapContextCreate(pixels.data(), width, height, 8, width * 4, CGColorSpaceCreateDeviceRGB(),
                                       kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
  if (!context) return true;
  CGContextSetInterpolationQuality(context, kCGInterpolationNone);
  CGContextDrawImage(context, CGRectMake(0, 0, double(width), double(height)), cgImage);
  context.reset();
  return std::any_of(pixels.begin(), pixels.end(), [](uint32_t p) { return (p >> 24) != 0xFF; });
}

}  // namespace zvt::ui
