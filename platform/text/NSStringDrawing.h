#pragma once
// UIKit's measuring and drawing of plain strings (the NSString(NSStringDrawing) category) as
// free functions over NSString. A nil string measures as zero. The attributes are those of
// NSAttributedString.h (no font: the system font of 12 points; no colour: black).

#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGContext.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSParagraphStyle.h"
#include "platform/text/UIFont.h"

// The size of the text as lines broken only at line separators.
CGSize sizeWithAttributes(const std::shared_ptr<NSString>& text, const std::shared_ptr<NSDictionary>& attrs);
// See NSAttributedString::boundingRectWithSize.
CGRect boundingRectWithSize(const std::shared_ptr<NSString>& text, CGSize size, NSStringDrawingOptions options,
                            const std::shared_ptr<NSDictionary>& attributes,
                            const std::shared_ptr<NSStringDrawingContext>& context);

// The older forms: one line in the font; within a size, wrapped (or truncated) by the mode.
CGSize sizeWithFont(const std::shared_ptr<NSString>& text, const std::shared_ptr<UIFont>& font);
CGSize sizeWithFont(const std::shared_ptr<NSString>& text, const std::shared_ptr<UIFont>& font, CGSize constrainedSize,
                    NSLineBreakMode lineBreakMode);

// Drawing into the current context (UIGraphicsGetCurrentContext; nothing without one), whose
// user space is UIKit's. At a point: one line per paragraph, the first line's top left at the
// point. In a rectangle: lines wrapped within its width, as many as fit its height (the first
// always), aligned by the paragraph style. With options: as boundingRectWithSize lays out;
// without NSStringDrawingUsesLineFragmentOrigin the rectangle's origin is the first baseline.
void drawAtPoint(const std::shared_ptr<NSString>& text, CGPoint point, const std::shared_ptr<NSDictionary>& attrs);
void drawInRect(const std::shared_ptr<NSString>& text, CGRect rect, const std::shared_ptr<NSDictionary>& attrs);
void drawWithRect(const std::shared_ptr<NSString>& text, CGRect rect, NSStringDrawingOptions options,
                  const std::shared_ptr<NSDictionary>& attributes, const std::shared_ptr<NSStringDrawingContext>& context);
// The older forms draw in the context's fill colour; they answer the size drawn.
CGSize drawAtPoint(const std::shared_ptr<NSString>& text, CGPoint point, const std::shared_ptr<UIFont>& font);
CGSize drawInRect(const std::shared_ptr<NSString>& text, CGRect rect, const std::shared_ptr<UIFont>& font);
CGSize drawInRect(const std::shared_ptr<NSString>& text, CGRect rect, const std::shared_ptr<UIFont>& font,
                  NSLineBreakMode lineBreakMode, NSTextAlignment alignment);

namespace zvt::text {
// The same drawing into a given context.
void drawAttributedString(const CGContextRef& context, const std::shared_ptr<NSAttributedString>& text, CGRect rect,
                          NSStringDrawingOptions options);
}  // namespace zvt::text
