#include "platform/text/NSStringDrawing.h"

#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/TextLayout.h"

using zvt::text::TextLayout;
using zvt::text::TextLayoutOptions;

namespace {

TextLayoutOptions optionsFor(CGSize size, NSStringDrawingOptions options) {
  TextLayoutOptions o;
  if (options & NSStringDrawingUsesLineFragmentOrigin) {
    o.width = size.width;
    o.height = size.height;
    o.paragraphsAreSingleLines = true;
    o.truncatesLastVisibleLine = (options & NSStringDrawingTruncatesLastVisibleLine) != 0;
  }
  o.usesFontLeading = (options & NSStringDrawingUsesFontLeading) != 0;
  return o;
}

CGRect boundingRect(const std::shared_ptr<const TextLayout>& layout, NSStringDrawingOptions options,
                    const std::shared_ptr<NSStringDrawingContext>& context) {
  CGSize size = layout->size();
  CGRect rect = CGRectMake(0, 0, size.width, size.height);
  if (!(options & NSStringDrawingUsesLineFragmentOrigin)) rect.origin.y = -layout->firstLineAscent();
  if (context) context->setTotalBounds(rect);
  return rect;
}

}  // namespace

CGSize NSAttributedString::size() const {
  return TextLayout::layout(std::static_pointer_cast<NSAttributedString>(std::const_pointer_cast<NSObject>(self())),
                            TextLayoutOptions())
      ->size();
}

CGRect NSAttributedString::boundingRectWithSize(CGSize size, NSStringDrawingOptions options,
                                                const std::shared_ptr<NSStringDrawingContext>& context) const {
  auto me = std::static_pointer_cast<NSAttributedString>(std::const_pointer_cast<NSObject>(self()));
  return boundingRect(TextLayout::layout(me, optionsFor(size, options)), options, context);
}

CGSize sizeWithAttributes(const std::shared_ptr<NSString>& text, const std::shared_ptr<NSDictionary>& attrs) {
  if (!text) return CGSizeZero;
  return TextLayout::layout(text, attrs, TextLayoutOptions())->size();
}

CGRect boundingRectWithSize(const std::shared_ptr<NSString>& text, CGSize size, NSStringDrawingOptions options,
                            const std::shared_ptr<NSDictionary>& attributes,
                            const std::shared_ptr<NSStringDrawingContext>& context) {
  if (!text) return CGRectZero;
  return boundingRect(TextLayout::layout(text, attributes, optionsFor(size, options)), options, context);
}

namespace {
std::shared_ptr<NSDictionary> fontAttributes(const std::shared_ptr<UIFont>& font) {
  return font ? NSDictionary::make({{NSFontAttributeName, font}}) : nullptr;
}
}  // namespace

CGSize sizeWithFont(const std::shared_ptr<NSString>& text, const std::shared_ptr<UIFont>& font) {
  return sizeWithAttributes(text, fontAttributes(font));
}

CGSize sizeWithFont(const std::shared_ptr<NSString>& text, const std::shared_ptr<UIFont>& font, CGSize constrainedSize,
                    NSLineBreakMode lineBreakMode) {
  if (!text) return CGSizeZero;
  TextLayoutOptions o;
  o.width = constrainedSize.width;
  o.height = constrainedSize.height;
  o.lineBreakMode = lineBreakMode;
  o.truncatesLastVisibleLine = lineBreakMode >= NSLineBreakByTruncatingHead;
  return TextLayout::layout(text, fontAttributes(font), o)->size();
}

// --- Drawing

namespace {

std::shared_ptr<NSAttributedString> selfOf(const NSAttributedString& text) {
  return std::static_pointer_cast<NSAttributedString>(std::const_pointer_cast<NSObject>(text.self()));
}

void drawLayout(const CGContextRef& context, const std::shared_ptr<const TextLayout>& layout, CGRect rect,
                NSStringDrawingOptions options) {
  if (!(options & NSStringDrawingUsesLineFragmentOrigin)) rect.origin.y -= layout->firstLineAscent();
  layout->drawInRect(context, rect);
}

TextLayoutOptions optionsForRect(CGRect rect, NSStringDrawingOptions options) {
  return optionsFor(rect.size, options);
}

}  // namespace

namespace zvt::text {
void drawAttributedString(const CGContextRef& context, const std::shared_ptr<NSAttributedString>& text, CGRect rect,
                          NSStringDrawingOptions options) {
  if (!context || !text) return;
  drawLayout(context, TextLayout::layout(text, optionsForRect(rect, options)), rect, options);
}
}  // namespace zvt::text

void NSAttributedString::drawAtPoint(CGPoint point) const {
  zvt::text::drawAttributedString(UIGraphicsGetCurrentContext(), selfOf(*this), CGRectMake(point.x, point.y, 0, 0),
                                  NSStringDrawingUsesLineFragmentOrigin);
}

void NSAttributedString::drawInRect(CGRect rect) const {
  drawWithRect(rect, NSStringDrawingUsesLineFragmentOrigin, nullptr);
}

void NSAttributedString::drawWithRect(CGRect rect, NSStringDrawingOptions options,
                                      const std::shared_ptr<NSStringDrawingContext>& context) const {
  auto cg = UIGraphicsGetCurrentContext();
  if (!cg) return;
  auto layout = TextLayout::layout(selfOf(*this), optionsForRect(rect, options));
  if (context) context->setTotalBounds(CGRectMake(0, 0, layout->size().width, layout->size().height));
  drawLayout(cg, layout, rect, options);
}

void drawAtPoint(const std::shared_ptr<NSString>& text, CGPoint point, const std::shared_ptr<NSDictionary>& attrs) {
  drawWithRect(text, CGRectMake(point.x, point.y, 0, 0), NSStringDrawingUsesLineFragmentOrigin, attrs, nullptr);
}

void drawInRect(const std::shared_ptr<NSString>& text, CGRect rect, const std::shared_ptr<NSDictionary>& attrs) {
  drawWithRect(text, rect, NSStringDrawingUsesLineFragmentOrigin, attrs, nullptr);
}

void drawWithRect(const std::shared_ptr<NSString>& text, CGRect rect, NSStringDrawingOptions options,
                  const std::shared_ptr<NSDictionary>& attributes, const std::shared_ptr<NSStringDrawingContext>& context) {
  auto cg = UIGraphicsGetCurrentContext();
  if (!cg || !text) return;
  auto layout = TextLayout::layout(text, attributes, optionsForRect(rect, options));
  if (context) context->setTotalBounds(CGRectMake(0, 0, layout->size().width, layout->size().height));
  drawLayout(cg, layout, rect, options);
}

namespace {
// The older forms: the font, and the context's fill colour as the text's colour.
CGSize drawWithFont(const std::shared_ptr<NSString>& text, CGRect rect, const std::shared_ptr<UIFont>& font,
                    std::optional<NSLineBreakMode> mode, std::optional<NSTextAlignment> alignment) {
  auto cg = UIGraphicsGetCurrentContext();
  if (!cg || !text) return CGSizeZero;
  auto attrs = NSMutableDictionary::dictionary();
  if (font) attrs->setObject(font, NSFontAttributeName);
  if (auto fill = UIColor::colorWithCGColor(cg->state().fill)) attrs->setObject(fill, NSForegroundColorAttributeName);
  TextLayoutOptions o = optionsForRect(rect, NSStringDrawingUsesLineFragmentOrigin);
  o.paragraphsAreSingleLines = false;
  o.lineBreakMode = mode;
  o.truncatesLastVisibleLine = mode && *mode >= NSLineBreakByTruncatingHead;
  o.alignment = alignment;
  auto layout = TextLayout::layout(text, attrs, o);
  layout->drawInRect(cg, rect);
  return layout->size();
}
}  // namespace

CGSize drawAtPoint(const std::shared_ptr<NSString>& text, CGPoint point, const std::shared_ptr<UIFont>& font) {
  return drawWithFont(text, CGRectMake(point.x, point.y, 0, 0), font, std::nullopt, std::nullopt);
}

CGSize drawInRect(const std::shared_ptr<NSString>& text, CGRect rect, const std::shared_ptr<UIFont>& font) {
  return drawWithFont(text, rect, font, NSLineBreakByWordWrapping, std::nullopt);
}

CGSize drawInRect(const std::shared_ptr<NSString>& text, CGRect rect, const std::shared_ptr<UIFont>& font,
                  NSLineBreakMode lineBreakMode, NSTextAlignment alignment) {
  return drawWithFont(text, rect, font, lineBreakMode, alignment);
}
