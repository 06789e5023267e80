#include "platform/text/NSParagraphStyle.h"

#include <functional>

#include "platform/foundation/NSString.h"

std::shared_ptr<NSParagraphStyle> NSParagraphStyle::defaultParagraphStyle() {
  static const std::shared_ptr<NSParagraphStyle> style = std::make_shared<NSParagraphStyle>();
  return style;
}

bool NSParagraphStyle::isEqual(const id& other) const {
  auto o = zvt::as<NSParagraphStyle>(other);
  if (!o) return false;
  return alignment_ == o->alignment_ && lineBreakMode_ == o->lineBreakMode_ && lineSpacing_ == o->lineSpacing_ &&
         paragraphSpacing_ == o->paragraphSpacing_ && paragraphSpacingBefore_ == o->paragraphSpacingBefore_ &&
         firstLineHeadIndent_ == o->firstLineHeadIndent_ && headIndent_ == o->headIndent_ &&
         tailIndent_ == o->tailIndent_ && lineHeightMultiple_ == o->lineHeightMultiple_ &&
         minimumLineHeight_ == o->minimumLineHeight_ && maximumLineHeight_ == o->maximumLineHeight_;
}

NSUInteger NSParagraphStyle::hash() const {
  std::hash<double> h;
  return static_cast<NSUInteger>(alignment_) * 131 ^ static_cast<NSUInteger>(lineBreakMode_) * 17 ^ h(lineSpacing_) ^
         h(firstLineHeadIndent_) * 3 ^ h(headIndent_) * 5 ^ h(tailIndent_) * 7;
}

namespace {
template <class T>
std::shared_ptr<T> copyStyle(const NSParagraphStyle& from) {
  auto to = std::make_shared<T>();
  static_cast<NSParagraphStyle&>(*to) = from;
  return to;
}
CGFloat nonNegative(CGFloat value) { return value > 0 ? value : 0; }
}  // namespace

id NSParagraphStyle::copyWithZone() const { return std::const_pointer_cast<NSObject>(self()); }
id NSParagraphStyle::mutableCopyWithZone() const { return copyStyle<NSMutableParagraphStyle>(*this); }
std::shared_ptr<NSParagraphStyle> NSParagraphStyle::copy() const {
  return std::static_pointer_cast<NSParagraphStyle>(copyWithZone());
}
std::shared_ptr<NSMutableParagraphStyle> NSParagraphStyle::mutableCopy() const {
  return std::static_pointer_cast<NSMutableParagraphStyle>(mutableCopyWithZone());
}

std::shared_ptr<NSString> NSParagraphStyle::description() const {
  return NSString::stringWithFormat(
      "Alignment %ld, LineSpacing %s, ParagraphSpacing %s, ParagraphSpacingBefore %s, HeadIndent %s, "
      "TailIndent %s, FirstLineHeadIndent %s, LineHeight %s/%s, LineHeightMultiple %s, LineBreakMode %ld",
      static_cast<NSInteger>(alignment_), zvt::shortestNumberText(lineSpacing_), zvt::shortestNumberText(paragraphSpacing_),
      zvt::shortestNumberText(paragraphSpacingBefore_), zvt::shortestNumberText(headIndent_),
      zvt::shortestNumberText(tailIndent_), zvt::shortestNumberText(firstLineHeadIndent_),
      zvt::shortestNumberText(minimumLineHeight_), zvt::shortestNumberText(maximumLineHeight_),
      zvt::shortestNumberText(lineHeightMultiple_), static_cast<NSInteger>(lineBreakMode_));
}

void NSMutableParagraphStyle::setLineSpacing(CGFloat value) { lineSpacing_ = nonNegative(value); }
void NSMutableParagraphStyle::setParagraphSpacing(CGFloat value) { paragraphSpacing_ = nonNegative(value); }
void NSMutableParagraphStyle::setParagraphSpacingBefore(CGFloat value) { paragraphSpacingBefore_ = nonNegative(value); }
void NSMutableParagraphStyle::setFirstLineHeadIndent(CGFloat value) { firstLineHeadIndent_ = nonNegative(value); }
void NSMutableParagraphStyle::setHeadIndent(CGFloat value) { headIndent_ = nonNegative(value); }
void NSMutableParagraphStyle::setLineHeightMultiple(CGFloat value) { lineHeightMultiple_ = nonNegative(value); }
void NSMutableParagraphStyle::setMinimumLineHeight(CGFloat value) { minimumLineHeight_ = nonNegative(value); }
void NSMutableParagraphStyle::setMaximumLineHeight(CGFloat value) { maximumLineHeight_ = nonNegative(value); }

void NSMutableParagraphStyle::setParagraphStyle(const std::shared_ptr<NSParagraphStyle>& other) {
  if (other) static_cast<NSParagraphStyle&>(*this) = *other;
}

// A copy of a mutable style is a snapshot the caller cannot change behind the text's back.
id NSMutableParagraphStyle::copyWithZone() const { return copyStyle<NSParagraphStyle>(*this); }
