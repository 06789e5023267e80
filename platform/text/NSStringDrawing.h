#pragma once
// UIKit's measuring and drawing of plain strings (the NSString(NSStringDrawing) category) as
// free functions over NSString. A nil string measures as zero. The attributes are those of
// NSAttributedString.h (no font: the system font of 12 points; no colour: black).

#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSString.h"
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
