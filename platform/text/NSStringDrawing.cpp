#include "platform/text/NSStringDrawing.h"

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
