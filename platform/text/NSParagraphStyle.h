#pragma once
// Paragraph styles (NSParagraphStyle / NSMutableParagraphStyle), text alignment and line break
// modes, with the device's numeric values.
//
// A laid-out string takes the paragraph style of its first character for the whole text (the
// application's strings are one paragraph each). Alignment, line spacing, line break mode and
// the indents shape the layout; paragraph spacing (before and after), line height multiples and
// limits are kept but not applied.

#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

enum NSTextAlignment : NSInteger {
  NSTextAlignmentLeft = 0,
  NSTextAlignmentCenter = 1,
  NSTextAlignmentRight = 2,
  NSTextAlignmentJustified = 3,
  NSTextAlignmentNatural = 4,  // left: the application's texts run left to right
};

enum NSLineBreakMode : NSInteger {
  NSLineBreakByWordWrapping = 0,
  NSLineBreakByCharWrapping = 1,
  NSLineBreakByClipping = 2,
  NSLineBreakByTruncatingHead = 3,
  NSLineBreakByTruncatingTail = 4,
  NSLineBreakByTruncatingMiddle = 5,
};

class NSParagraphStyle : public NSObject {
 public:
  // Left (natural) alignment, word wrapping, no spacing or indents.
  static std::shared_ptr<NSParagraphStyle> defaultParagraphStyle();

  NSTextAlignment alignment() const { return alignment_; }
  NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
  CGFloat lineSpacing() const { return lineSpacing_; }
  CGFloat paragraphSpacing() const { return paragraphSpacing_; }
  CGFloat paragraphSpacingBefore() const { return paragraphSpacingBefore_; }
  // Indents in points: the first line's and the other lines' distance from the leading edge;
  // a positive tail indent is where lines end, measured from the leading edge, a negative one
  // their distance from the trailing edge (0: none).
  CGFloat firstLineHeadIndent() const { return firstLineHeadIndent_; }
  CGFloat headIndent() const { return headIndent_; }
  CGFloat tailIndent() const { return tailIndent_; }
  CGFloat lineHeightMultiple() const { return lineHeightMultiple_; }
  CGFloat minimumLineHeight() const { return minimumLineHeight_; }
  CGFloat maximumLineHeight() const { return maximumLineHeight_; }

  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;
  std::shared_ptr<NSParagraphStyle> copy() const;
  std::shared_ptr<class NSMutableParagraphStyle> mutableCopy() const;
  std::shared_ptr<NSString> description() const override;

  NSParagraphStyle() = default;

 protected:
  NSTextAlignment alignment_ = NSTextAlignmentNatural;
  NSLineBreakMode lineBreakMode_ = NSLineBreakByWordWrapping;
  CGFloat lineSpacing_ = 0;
  CGFloat paragraphSpacing_ = 0;
  CGFloat paragraphSpacingBefore_ = 0;
  CGFloat firstLineHeadIndent_ = 0;
  CGFloat headIndent_ = 0;
  CGFloat tailIndent_ = 0;
  CGFloat lineHeightMultiple_ = 0;
  CGFloat minimumLineHeight_ = 0;
  CGFloat maximumLineHeight_ = 0;
};

class NSMutableParagraphStyle : public NSParagraphStyle {
 public:
  static std::shared_ptr<NSMutableParagraphStyle> make() { return std::make_shared<NSMutableParagraphStyle>(); }

  void setAlignment(NSTextAlignment value) { alignment_ = value; }
  void setLineBreakMode(NSLineBreakMode value) { lineBreakMode_ = value; }
  // Negative spacings and indents count as 0, as on the device (tail indents may be negative).
  void setLineSpacing(CGFloat value);
  void setParagraphSpacing(CGFloat value);
  void setParagraphSpacingBefore(CGFloat value);
  void setFirstLineHeadIndent(CGFloat value);
  void setHeadIndent(CGFloat value);
  void setTailIndent(CGFloat value) { tailIndent_ = value; }
  void setLineHeightMultiple(CGFloat value);
  void setMinimumLineHeight(CGFloat value);
  void setMaximumLineHeight(CGFloat value);
  // Every setting of the other style.
  void setParagraphStyle(const std::shared_ptr<NSParagraphStyle>& other);

  id copyWithZone() const override;
};
