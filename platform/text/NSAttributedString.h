#pragma once
// Attributed strings (NSAttributedString / NSMutableAttributedString): a string with attribute
// dictionaries over runs of UTF-16 units, and the drawing and measuring methods UIKit adds to
// them.
//
// Indexes, lengths and ranges count UTF-16 units, as NSString does; a range may start or end
// inside a surrogate pair. Laying out never splits a character: a character takes the
// attributes of its first unit.
//
// Attributes the layout reads (values of other kinds are ignored): NSFontAttributeName
// (UIFont; the system font of 12 points where none is given), NSForegroundColorAttributeName
// (UIColor, black where none), NSBackgroundColorAttributeName (UIColor),
// NSParagraphStyleAttributeName (NSParagraphStyle of the first character for the whole text),
// NSUnderlineStyleAttributeName and NSStrikethroughStyleAttributeName (numbers of
// NSUnderlineStyle), their colours, NSKernAttributeName (points added between characters),
// NSBaselineOffsetAttributeName (points up) and NSShadowAttributeName (NSShadow; the first one
// found shadows the whole text).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

inline const zvt::StaticString NSFontAttributeName{"NSFont"};
inline const zvt::StaticString NSForegroundColorAttributeName{"NSColor"};
inline const zvt::StaticString NSBackgroundColorAttributeName{"NSBackgroundColor"};
inline const zvt::StaticString NSParagraphStyleAttributeName{"NSParagraphStyle"};
inline const zvt::StaticString NSUnderlineStyleAttributeName{"NSUnderline"};
inline const zvt::StaticString NSUnderlineColorAttributeName{"NSUnderlineColor"};
inline const zvt::StaticString NSStrikethroughStyleAttributeName{"NSStrikethrough"};
inline const zvt::StaticString NSStrikethroughColorAttributeName{"NSStrikethroughColor"};
inline const zvt::StaticString NSKernAttributeName{"NSKern"};
inline const zvt::StaticString NSBaselineOffsetAttributeName{"NSBaselineOffset"};
inline const zvt::StaticString NSShadowAttributeName{"NSShadow"};

enum NSUnderlineStyle : NSInteger {
  NSUnderlineStyleNone = 0x00,
  NSUnderlineStyleSingle = 0x01,
  NSUnderlineStyleThick = 0x02,  // drawn as single
  NSUnderlineStyleDouble = 0x09,
};

using NSAttributedStringEnumerationOptions = NSUInteger;
inline constexpr NSAttributedStringEnumerationOptions NSAttributedStringEnumerationReverse = 1u << 1;
inline constexpr NSAttributedStringEnumerationOptions NSAttributedStringEnumerationLongestEffectiveRangeNotRequired =
    1u << 20;

// Options of the drawing and measuring methods (NSString and NSAttributedString).
using NSStringDrawingOptions = NSInteger;
// Lay out in lines within the width, the rectangle's origin being the top left of the first
// line; without it the text is one line (broken only at line separators) whose origin is its
// baseline.
inline constexpr NSStringDrawingOptions NSStringDrawingUsesLineFragmentOrigin = 1 << 0;
// Lines are spaced by the font's leading (line gap) as well.
inline constexpr NSStringDrawingOptions NSStringDrawingUsesFontLeading = 1 << 1;
// Accepted; measurements are always those of the glyph advances.
inline constexpr NSStringDrawingOptions NSStringDrawingUsesDeviceMetrics = 1 << 3;
// With a height limit, the last line that fits ends with an ellipsis when text follows it.
inline constexpr NSStringDrawingOptions NSStringDrawingTruncatesLastVisibleLine = 1 << 5;

// Kept for callers written against the device; nothing reads the minimum scale factor, and the
// actual scale factor is always 1.
class NSStringDrawingContext : public NSObject {
 public:
  static std::shared_ptr<NSStringDrawingContext> make() { return std::make_shared<NSStringDrawingContext>(); }
  CGFloat minimumScaleFactor() const { return minimumScaleFactor_; }
  void setMinimumScaleFactor(CGFloat value) { minimumScaleFactor_ = value; }
  CGFloat actualScaleFactor() const { return 1.0; }
  // The rectangle the last drawing or measurement using this context covered.
  CGRect totalBounds() const { return totalBounds_; }
  void setTotalBounds(CGRect value) { totalBounds_ = value; }

 private:
  CGFloat minimumScaleFactor_ = 0;
  CGRect totalBounds_ = CGRectZero;
};

class NSMutableAttributedString;

class NSAttributedString : public NSObject {
 public:
  // A nil string raises NSInvalidArgumentException, as the device does; nil attributes are none.
  static std::shared_ptr<NSAttributedString> initWithString(const std::shared_ptr<NSString>& str);
  static std::shared_ptr<NSAttributedString> initWithString(const std::shared_ptr<NSString>& str,
                                                            const std::shared_ptr<NSDictionary>& attrs);
  static std::shared_ptr<NSAttributedString> initWithAttributedString(const std::shared_ptr<NSAttributedString>& other);

  // The characters (an immutable snapshot).
  std::shared_ptr<NSString> string() const { return string_; }
  NSUInteger length() const { return string_->length(); }

  // The attributes at the index (never nil; empty where none) and, when `effectiveRange` is
  // given, the longest range around it with equal attributes. An index at or beyond the length
  // raises NSRangeException.
  std::shared_ptr<NSDictionary> attributesAtIndex(NSUInteger location, NSRange* effectiveRange) const;
  // The same, the range limited to `rangeLimit`.
  std::shared_ptr<NSDictionary> attributesAtIndex(NSUInteger location, NSRange* longestEffectiveRange,
                                                  NSRange rangeLimit) const;
  // One attribute's value at the index (nil where absent) and the range over which it is the same.
  id attribute(const std::shared_ptr<NSString>& attrName, NSUInteger location, NSRange* effectiveRange) const;
  id attribute(const std::shared_ptr<NSString>& attrName, NSUInteger location, NSRange* longestEffectiveRange,
               NSRange rangeLimit) const;

  // Raises NSRangeException for a range beyond the end.
  std::shared_ptr<NSAttributedString> attributedSubstringFromRange(NSRange range) const;

  // Calls the block for each run of equal attributes within the range, in order (or from the
  // end with NSAttributedStringEnumerationReverse), until it sets *stop.
  void enumerateAttributesInRange(
      NSRange enumerationRange, NSAttributedStringEnumerationOptions opts,
      const std::function<void(const std::shared_ptr<NSDictionary>& attrs, NSRange range, bool* stop)>& block) const;
  // The same for one attribute: runs where its value is the same (nil where absent).
  void enumerateAttribute(const std::shared_ptr<NSString>& attrName, NSRange enumerationRange,
                          NSAttributedStringEnumerationOptions opts,
                          const std::function<void(const id& value, NSRange range, bool* stop)>& block) const;

  bool isEqualToAttributedString(const std::shared_ptr<NSAttributedString>& other) const;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;
  std::shared_ptr<NSAttributedString> copy() const;
  std::shared_ptr<NSMutableAttributedString> mutableCopy() const;
  // Foundation's form: each run's text followed by its attribute dictionary in braces.
  std::shared_ptr<NSString> description() const override;

  // --- Measuring (UIKit's NSAttributedString drawing methods). Sizes are in points, fractional.
  // The size of the text as lines broken only at line separators.
  CGSize size() const;
  // See NSStringDrawingOptions above; a size of 0 (or not finite) in either dimension means no
  // limit there. With NSStringDrawingUsesLineFragmentOrigin the lines wrap within the width
  // (paragraphs whose style clips or truncates stay one line each) and lines whose bottom
  // lies below the height are left out, though the first line always counts; the result's
  // origin is (0, 0). Without it the text is one line and the origin is (0, -ascent): the
  // baseline is at 0.
  CGRect boundingRectWithSize(CGSize size, NSStringDrawingOptions options,
                              const std::shared_ptr<NSStringDrawingContext>& context) const;
  // Drawing into the current context, laid out as NSStringDrawing.h describes.
  void drawAtPoint(CGPoint point) const;
  void drawInRect(CGRect rect) const;
  void drawWithRect(CGRect rect, NSStringDrawingOptions options,
                    const std::shared_ptr<NSStringDrawingContext>& context) const;

  // --- Internal: runs, equality and hashing for the layout cache.
  struct Run {
    NSUInteger length = 0;
    std::shared_ptr<NSDictionary> attributes;  // never nil
  };
  const std::vector<Run>& runs() const { return runs_; }
  // A hash of the characters and every run (lengths and attribute values), kept until the
  // string changes.
  size_t contentHash() const;
  bool isMutable() const { return mutable_; }
  // Equal characters and runs (isEqualToAttributedString without the shared pointer).
  bool hasSameContent(const NSAttributedString& other) const;
  // The attribute dictionary every run without attributes shares.
  static const std::shared_ptr<NSDictionary>& emptyAttributes();

  NSAttributedString(std::shared_ptr<NSString> string, std::shared_ptr<NSDictionary> attributes);
  NSAttributedString(std::shared_ptr<NSString> string, std::vector<Run> runs);

 protected:
  // Joins neighbouring runs whose attributes are equal and drops empty ones.
  void normalise();
  void checkRange(NSRange range, const char* method) const;
  void checkIndex(NSUInteger location, const char* method) const;
  size_t runAt(NSUInteger location, NSUInteger* runStart) const;

  std::shared_ptr<NSString> string_;
  std::vector<Run> runs_;
  bool mutable_ = false;
  mutable std::atomic<size_t> hash_{0};  // 0: not yet computed
};

class NSMutableAttributedString : public NSAttributedString {
 public:
  static std::shared_ptr<NSMutableAttributedString> initWithString(const std::shared_ptr<NSString>& str);
  static std::shared_ptr<NSMutableAttributedString> initWithString(const std::shared_ptr<NSString>& str,
                                                                   const std::shared_ptr<NSDictionary>& attrs);
  static std::shared_ptr<NSMutableAttributedString> initWithAttributedString(
      const std::shared_ptr<NSAttributedString>& other);
  static std::shared_ptr<NSMutableAttributedString> make();

  // Ranges beyond the end raise NSRangeException; nil values, names or strings raise
  // NSInvalidArgumentException, as on the device.
  // The new characters take the attributes of the first replaced character (or of the one
  // before the range when nothing is replaced, or none at the start of an empty string).
  void replaceCharactersInRange(NSRange range, const std::shared_ptr<NSString>& str);
  // The new characters keep their own attributes.
  void replaceCharactersInRange(NSRange range, const std::shared_ptr<NSAttributedString>& attrString);
  void deleteCharactersInRange(NSRange range);
  void insertAttributedString(const std::shared_ptr<NSAttributedString>& attrString, NSUInteger loc);
  void appendAttributedString(const std::shared_ptr<NSAttributedString>& attrString);
  void setAttributedString(const std::shared_ptr<NSAttributedString>& attrString);
  // Replaces every attribute over the range (nil: none).
  void setAttributes(const std::shared_ptr<NSDictionary>& attrs, NSRange range);
  void addAttribute(const std::shared_ptr<NSString>& name, const id& value, NSRange range);
  void addAttributes(const std::shared_ptr<NSDictionary>& attrs, NSRange range);
  void removeAttribute(const std::shared_ptr<NSString>& name, NSRange range);
  // Grouping of edits has no effect here.
  void beginEditing() {}
  void endEditing() {}

  id copyWithZone() const override;

  NSMutableAttributedString(std::shared_ptr<NSString> string, std::shared_ptr<NSDictionary> attributes);
  NSMutableAttributedString(std::shared_ptr<NSString> string, std::vector<Run> runs);

 private:
  // Splits runs so that one starts at `location`; returns the index of that run.
  size_t splitAt(NSUInteger location);
  void changed();
  // Applies `edit` to the attribute dictionary of every run within the range.
  void editAttributes(NSRange range, const char* method,
                      const std::function<std::shared_ptr<NSDictionary>(const std::shared_ptr<NSDictionary>&)>& edit);
};
