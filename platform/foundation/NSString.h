#pragma once
// Text objects. The characters are kept as UTF-8 bytes; lengths, indexes, ranges and the
// compare order are those of UTF-16 code units, as the application counts text.
// Lone surrogates (from cutting a pair apart) are kept as their 3-byte generalized UTF-8 form.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/foundation/Format.h"
#include "platform/foundation/NSObject.h"

class NSData;
class NSCharacterSet;

using NSStringEncoding = NSUInteger;
inline constexpr NSStringEncoding NSASCIIStringEncoding = 1;
inline constexpr NSStringEncoding NSUTF8StringEncoding = 4;
inline constexpr NSStringEncoding NSISOLatin1StringEncoding = 5;
inline constexpr NSStringEncoding NSUTF16StringEncoding = 10;
inline constexpr NSStringEncoding NSUnicodeStringEncoding = 10;
inline constexpr NSStringEncoding NSMacOSRomanStringEncoding = 30;
inline constexpr NSStringEncoding NSUTF16BigEndianStringEncoding = 0x90000100;
inline constexpr NSStringEncoding NSUTF16LittleEndianStringEncoding = 0x94000100;
inline constexpr NSStringEncoding NSUTF32StringEncoding = 0x8c000100;

using NSStringCompareOptions = NSUInteger;
inline constexpr NSStringCompareOptions NSCaseInsensitiveSearch = 1;
inline constexpr NSStringCompareOptions NSLiteralSearch = 2;
inline constexpr NSStringCompareOptions NSBackwardsSearch = 4;
inline constexpr NSStringCompareOptions NSAnchoredSearch = 8;
inline constexpr NSStringCompareOptions NSNumericSearch = 64;

class NSString : public NSObject {
 public:
  // The empty string; use the factories below.
  NSString();
  // A string of bytes already known to be valid UTF-8 whose UTF-16 length the caller counted,
  // for code that makes strings in place (the JSON decoder's trees live in an arena).
  NSString(std::string_view validUTF8, NSUInteger utf16Length)
      : utf8_(validUTF8), length16_(utf16Length), ascii_(utf16Length == validUTF8.size()) {}
  virtual ~NSString() override;

  // The one shared empty string.
  static std::shared_ptr<NSString> string();
  // nil when `bytes` is null or not well-formed UTF-8.
  static std::shared_ptr<NSString> stringWithUTF8String(const char* bytes);
  static std::shared_ptr<NSString> stringWithUTF8String(std::string_view bytes);
  static std::shared_ptr<NSString> stringWithString(const std::shared_ptr<NSString>& other);
  static std::shared_ptr<NSString> stringWithCharacters(const unichar* characters, NSUInteger length);
  static std::shared_ptr<NSString> stringWithUTF16(std::u16string_view characters);
  // nil when the bytes are not valid in the encoding.
  static std::shared_ptr<NSString> initWithBytes(const void* bytes, NSUInteger length, NSStringEncoding encoding);
  static std::shared_ptr<NSString> initWithData(const std::shared_ptr<NSData>& data, NSStringEncoding encoding);

  // Formatting: see platform/foundation/Format.h for the conversions.
  template <class... Args>
  static std::shared_ptr<NSString> stringWithFormat(std::string_view format, const Args&... args) {
    return fromFormatted(zvt::format(format, {zvt::FormatArg(args)...}));
  }
  template <class... Args>
  static std::shared_ptr<NSString> stringWithFormat(const std::shared_ptr<NSString>& format, const Args&... args) {
    return fromFormatted(zvt::format(format ? std::string_view(format->utf8()) : std::string_view(),
                                     {zvt::FormatArg(args)...}));
  }
  template <class... Args>
  std::shared_ptr<NSString> stringByAppendingFormat(std::string_view format, const Args&... args) const {
    return stringByAppendingString(stringWithFormat(format, args...));
  }

  // --- access
  NSUInteger length() const { return length16_; }
  // The bytes, NUL-terminated; valid as long as the string lives and is not mutated.
  const char* UTF8String() const { return utf8_.c_str(); }
  const std::string& utf8() const { return utf8_; }
  std::string_view view() const { return utf8_; }
  bool isASCII() const { return ascii_; }
  // Raises NSRangeException beyond the end.
  unichar characterAtIndex(NSUInteger index) const;
  void getCharacters(unichar* buffer, NSRange range) const;
  std::u16string utf16() const;
  NSUInteger lengthOfBytesUsingEncoding(NSStringEncoding encoding) const;
  std::shared_ptr<NSData> dataUsingEncoding(NSStringEncoding encoding, bool allowLossyConversion = false) const;
  bool canBeConvertedToEncoding(NSStringEncoding encoding) const;

  // --- substrings (ranges in UTF-16 units; NSRangeException beyond the end)
  std::shared_ptr<NSString> substringWithRange(NSRange range) const;
  std::shared_ptr<NSString> substringFromIndex(NSUInteger index) const;
  std::shared_ptr<NSString> substringToIndex(NSUInteger index) const;
  NSRange rangeOfComposedCharacterSequenceAtIndex(NSUInteger index) const;

  // --- comparing and searching
  bool isEqualToString(const std::shared_ptr<NSString>& other) const;
  bool isEqualToString(std::string_view utf8) const { return utf8_ == utf8; }
  NSComparisonResult compare(const std::shared_ptr<NSString>& other, NSStringCompareOptions options = 0) const;
  NSComparisonResult compare(const std::shared_ptr<NSString>& other, NSStringCompareOptions options, NSRange range) const;
  NSComparisonResult caseInsensitiveCompare(const std::shared_ptr<NSString>& other) const;
  bool hasPrefix(const std::shared_ptr<NSString>& prefix) const;
  bool hasPrefix(std::string_view prefix) const;
  bool hasSuffix(const std::shared_ptr<NSString>& suffix) const;
  bool hasSuffix(std::string_view suffix) const;
  NSRange rangeOfString(const std::shared_ptr<NSString>& other, NSStringCompareOptions options = 0) const;
  NSRange rangeOfString(const std::shared_ptr<NSString>& other, NSStringCompareOptions options, NSRange range) const;
  NSRange rangeOfCharacterFromSet(const std::shared_ptr<NSCharacterSet>& set, NSStringCompareOptions options = 0) const;
  bool containsString(const std::shared_ptr<NSString>& other) const;

  // --- deriving
  std::shared_ptr<NSString> stringByAppendingString(const std::shared_ptr<NSString>& other) const;
  std::shared_ptr<NSString> stringByReplacingOccurrencesOfString(const std::shared_ptr<NSString>& target,
                                                                 const std::shared_ptr<NSString>& replacement) const;
  std::shared_ptr<NSString> stringByReplacingOccurrencesOfString(const std::shared_ptr<NSString>& target,
                                                                 const std::shared_ptr<NSString>& replacement,
                                                                 NSStringCompareOptions options, NSRange range) const;
  std::shared_ptr<NSString> stringByReplacingCharactersInRange(NSRange range,
                                                               const std::shared_ptr<NSString>& replacement) const;
  std::shared_ptr<NSString> stringByTrimmingCharactersInSet(const std::shared_ptr<NSCharacterSet>& set) const;
  std::shared_ptr<NSString> stringByPaddingToLength(NSUInteger newLength, const std::shared_ptr<NSString>& pad,
                                                    NSUInteger startingAtIndex) const;
  std::shared_ptr<NSArray> componentsSeparatedByString(const std::shared_ptr<NSString>& separator) const;
  std::shared_ptr<NSArray> componentsSeparatedByCharactersInSet(const std::shared_ptr<NSCharacterSet>& set) const;
  // Case mapping of ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters.
  std::shared_ptr<NSString> lowercaseString() const;
  std::shared_ptr<NSString> uppercaseString() const;
  std::shared_ptr<NSString> capitalizedString() const;

  // --- percent encoding (RFC 3986 escapes of the UTF-8 bytes)
  std::shared_ptr<NSString> stringByAddingPercentEncodingWithAllowedCharacters(
      const std::shared_ptr<NSCharacterSet>& allowed) const;
  // nil when an escape is malformed or the bytes are not UTF-8.
  std::shared_ptr<NSString> stringByRemovingPercentEncoding() const;

  // --- paths ("/" separated)
  std::shared_ptr<NSArray> pathComponents() const;
  std::shared_ptr<NSString> lastPathComponent() const;
  std::shared_ptr<NSString> pathExtension() const;
  std::shared_ptr<NSString> stringByAppendingPathComponent(const std::shared_ptr<NSString>& component) const;
  std::shared_ptr<NSString> stringByAppendingPathExtension(const std::shared_ptr<NSString>& extension) const;
  std::shared_ptr<NSString> stringByDeletingLastPathComponent() const;
  std::shared_ptr<NSString> stringByDeletingPathExtension() const;
  bool isAbsolutePath() const { return !utf8_.empty() && utf8_[0] == '/'; }

  // --- numeric values, read the way Foundation reads them (leading blanks skipped, the longest
  // number prefix taken, 0 when there is none; integers clamp at their range)
  int32_t intValue() const;
  NSInteger integerValue() const;
  long long longLongValue() const;
  double doubleValue() const;
  float floatValue() const;
  // YES for a leading "Y", "y", "T", "t" or a non-zero digit (after blanks, sign and zeros).
  bool boolValue() const;

  // --- NSObject
  std::shared_ptr<NSString> description() const override;
  std::shared_ptr<NSString> descriptionWithLocale(const id& locale, NSUInteger level) const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;
  std::shared_ptr<NSString> copy() const;
  std::shared_ptr<class NSMutableString> mutableCopy() const;

  // Text form inside a container's description (zvt::quotedDescriptionText).
  std::string quotedDescription() const;

  // For the implementation and the factories: adopt bytes already known to be valid.
  static std::shared_ptr<NSString> fromValidUTF8(std::string bytes);
  // The same for a decoder that counted the UTF-16 units while it validated the bytes.
  static std::shared_ptr<NSString> fromValidUTF8(std::string bytes, NSUInteger utf16Length);
  static std::shared_ptr<NSString> fromFormatted(std::string bytes);

 protected:
  void adopt(std::string bytes);  // recompute the cached UTF-16 length
  size_t byteOffsetOfIndex(NSUInteger index) const;

  std::string utf8_;
  NSUInteger length16_ = 0;
  bool ascii_ = true;
};

class NSMutableString : public NSString {
 public:
  NSMutableString() = default;
  static std::shared_ptr<NSMutableString> string();
  static std::shared_ptr<NSMutableString> stringWithString(const std::shared_ptr<NSString>& other);
  static std::shared_ptr<NSMutableString> stringWithUTF8String(std::string_view bytes);
  static std::shared_ptr<NSMutableString> stringWithCapacity(NSUInteger capacity);

  void appendString(const std::shared_ptr<NSString>& other);
  void appendString(std::string_view utf8);
  template <class... Args>
  void appendFormat(std::string_view format, const Args&... args) {
    appendString(zvt::format(format, {zvt::FormatArg(args)...}));
  }
  void insertString(const std::shared_ptr<NSString>& other, NSUInteger index);
  void deleteCharactersInRange(NSRange range);
  void replaceCharactersInRange(NSRange range, const std::shared_ptr<NSString>& replacement);
  NSUInteger replaceOccurrencesOfString(const std::shared_ptr<NSString>& target,
                                        const std::shared_ptr<NSString>& replacement,
                                        NSStringCompareOptions options, NSRange range);
  void setString(const std::shared_ptr<NSString>& other);

  id copyWithZone() const override;
};

namespace zvt {

// A string literal usable as a compile-time constant: `"name"_ns`. Each distinct literal is
// one shared, never released NSString.
template <size_t N>
struct StringLiteral {
  char text[N];
  constexpr StringLiteral(const char (&literal)[N]) { std::copy_n(literal, N, text); }
};

// An NSString constant at namespace scope that is safe to use during static initialisation:
// `inline const zvt::StaticString MyKey{"MyKey"};`. It converts to std::shared_ptr<NSString>.
class StaticString {
 public:
  constexpr StaticString(const char* text) : text_(text) {}
  const std::shared_ptr<NSString>& get() const;
  operator const std::shared_ptr<NSString>&() const { return get(); }
  operator id() const { return get(); }
  NSString* operator->() const { return get().get(); }
  NSString& operator*() const { return *get(); }
  const char* c_str() const { return text_; }

 private:
  const char* text_;
  mutable std::once_flag once_;
  mutable const std::shared_ptr<NSString>* value_ = nullptr;
};

}  // namespace zvt

template <zvt::StringLiteral literal>
const std::shared_ptr<NSString>& operator""_ns() {
  static const std::shared_ptr<NSString>* value =
      new std::shared_ptr<NSString>(NSString::fromValidUTF8(std::string(literal.text, sizeof(literal.text) - 1)));
  return *value;
}

namespace zvt {
// A text as a container's description shows it: bare when it is a plain word (ASCII letters,
// digits, underscore), else quoted with C escapes and \Uxxxx for characters outside ASCII.
std::string quotedDescriptionText(std::string_view utf8);
}  // namespace zvt

// Text of any object for messages and logs: the description, or "(null)" for nil.
std::string NSStringFromObject(const id& object);
