#include "platform/foundation/NSString.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSCharacterSet.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/internal/Unicode.h"

using zvt::unicode::appendUtf8;
using zvt::unicode::decodeNext;

namespace {

std::shared_ptr<NSString> makeString(std::string bytes) { return NSString::fromValidUTF8(std::move(bytes)); }

[[noreturn]] void raiseRange(const char* method, NSRange range, NSUInteger length) {
  zvt::raise(NSRangeException, zvt::format("-[NSString %s]: Range {%lu, %lu} out of bounds; string length %lu",
                                           {method, range.location, range.length, length}));
}

[[noreturn]] void raiseIndex(const char* method, NSUInteger index, NSUInteger length) {
  zvt::raise(NSRangeException,
             zvt::format("-[NSString %s]: Index %lu out of bounds; string length %lu", {method, index, length}));
}

[[noreturn]] void raiseNil(const char* method) {
  zvt::raise(NSInvalidArgumentException, zvt::format("-[NSString %s]: nil argument", {method}));
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// Digit runs compare by value for NSNumericSearch.
int compareDigitRuns(const std::u32string& a, size_t& i, const std::u32string& b, size_t& j) {
  size_t si = i, sj = j;
  while (i < a.size() && a[i] >= '0' && a[i] <= '9') ++i;
  while (j < b.size() && b[j] >= '0' && b[j] <= '9') ++j;
  size_t zi = si, zj = sj;
  while (zi + 1 < i && a[zi] == '0') ++zi;
  while (zj + 1 < j && b[zj] == '0') ++zj;
  size_t li = i - zi, lj = j - zj;
  if (li != lj) return li < lj ? -1 : 1;
  for (size_t k = 0; k < li; ++k) {
    if (a[zi + k] != b[zj + k]) return a[zi + k] < b[zj + k] ? -1 : 1;
  }
  return 0;
}

// UTF-16 order of two code points (a supplementary character sorts by its surrogates).
int compareCodePointsAsUtf16(char32_t a, char32_t b) {
  auto first = [](char32_t c) -> uint32_t { return c >= 0x10000 ? 0xD800 + ((c - 0x10000) >> 10) : c; };
  auto second = [](char32_t c) -> uint32_t { return c >= 0x10000 ? 0xDC00 + ((c - 0x10000) & 0x3FF) : 0; };
  if (first(a) != first(b)) return first(a) < first(b) ? -1 : 1;
  if (second(a) != second(b)) return second(a) < second(b) ? -1 : 1;
  return 0;
}

NSComparisonResult compareCodePoints(const std::u32string& a, const std::u32string& b, NSStringCompareOptions options) {
  const bool numeric = options & NSNumericSearch;
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (numeric && a[i] >= '0' && a[i] <= '9' && b[j] >= '0' && b[j] <= '9') {
      int r = compareDigitRuns(a, i, b, j);
      if (r) return r < 0 ? NSOrderedAscending : NSOrderedDescending;
      continue;
    }
    if (a[i] != b[j]) return compareCodePointsAsUtf16(a[i], b[j]) < 0 ? NSOrderedAscending : NSOrderedDescending;
    ++i;
    ++j;
  }
  if (i < a.size()) return NSOrderedDescending;
  if (j < b.size()) return NSOrderedAscending;
  return NSOrderedSame;
}

std::u32string codePoints(std::string_view s, bool fold) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t c = decodeNext(s, i);
    out.push_back(fold ? zvt::unicode::foldCase(c) : c);
  }
  return out;
}

std::u16string foldedUtf16(std::u16string s) {
  for (auto& c : s) {
    if (c < 0xD800 || c > 0xDFFF) c = static_cast<char16_t>(zvt::unicode::foldCase(c));
  }
  return s;
}

template <class Int>
Int parseInteger(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  using U = unsigned long long;
  U magnitude = 0;
  bool overflow = false;
  const U limit = negative ? U(std::numeric_limits<Int>::max()) + 1 : U(std::numeric_limits<Int>::max());
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (overflow) continue;
    U digit = U(s[i] - '0');
    if (magnitude > (limit - digit) / 10) overflow = true;
    else magnitude = magnitude * 10 + digit;
  }
  if (overflow) return negative ? std::numeric_limits<Int>::min() : std::numeric_limits<Int>::max();
  if (negative) return magnitude == U(std::numeric_limits<Int>::max()) + 1 ? std::numeric_limits<Int>::min()
                                                                             : -static_cast<Int>(magnitude);
  return static_cast<Int>(magnitude);
}

}  // namespace

// ---------------------------------------------------------------- construction

NSString::NSString() = default;
NSString::~NSString() = default;

void NSString::adopt(std::string bytes) {
  utf8_ = std::move(bytes);
  ascii_ = zvt::unicode::isAscii(utf8_);
  length16_ = ascii_ ? utf8_.size() : zvt::unicode::utf16Length(utf8_);
}

std::shared_ptr<NSString> NSString::fromValidUTF8(std::string bytes) {
  auto s = std::make_shared<NSString>();
  s->adopt(std::move(bytes));
  return s;
}

std::shared_ptr<NSString> NSString::fromValidUTF8(std::string bytes, NSUInteger utf16Length) {
  auto s = std::make_shared<NSString>();
  // Only pure ASCII has as many UTF-16 units as bytes.
  s->ascii_ = utf16Length == bytes.size();
  s->length16_ = utf16Length;
  s->utf8_ = std::move(bytes);
  return s;
}

std::shared_ptr<NSString> NSString::fromFormatted(std::string bytes) { return fromValidUTF8(std::move(bytes)); }

std::shared_ptr<NSString> NSString::string() {
  static const auto* empty = new std::shared_ptr<NSString>(std::make_shared<NSString>());
  return *empty;
}

std::shared_ptr<NSString> NSString::stringWithUTF8String(const char* bytes) {
  if (!bytes) return nullptr;
  return stringWithUTF8String(std::string_view(bytes));
}

std::shared_ptr<NSString> NSString::stringWithUTF8String(std::string_view bytes) {
  NSUInteger length = 0;
  bool ascii = true;
  if (!zvt::unicode::validateUtf8(bytes, &length, &ascii)) return nullptr;
  auto s = std::make_shared<NSString>();
  s->utf8_.assign(bytes.data(), bytes.size());
  s->length16_ = length;
  s->ascii_ = ascii;
  return s;
}

std::shared_ptr<NSString> NSString::stringWithString(const std::shared_ptr<NSString>& other) {
  if (!other) raiseNil("initWithString:");
  return fromValidUTF8(other->utf8_);
}

std::shared_ptr<NSString> NSString::stringWithCharacters(const unichar* characters, NSUInteger length) {
  return stringWithUTF16(std::u16string_view(characters, length));
}

std::shared_ptr<NSString> NSString::stringWithUTF16(std::u16string_view characters) {
  return fromValidUTF8(zvt::unicode::utf16ToUtf8(characters));
}

std::shared_ptr<NSString> NSString::initWithBytes(const void* bytes, NSUInteger length, NSStringEncoding encoding) {
  if (!bytes && length) return nullptr;
  std::string_view in(static_cast<const char*>(bytes ? bytes : ""), length);
  switch (encoding) {
    case NSUTF8StringEncoding:
      return stringWithUTF8String(in);
    case NSASCIIStringEncoding:
      for (char c : in) {
        if (static_cast<unsigned char>(c) >= 0x80) return nullptr;
      }
      return fromValidUTF8(std::string(in));
    case NSISOLatin1StringEncoding: {
      std::string out;
      for (char c : in) appendUtf8(out, static_cast<unsigned char>(c));
      return fromValidUTF8(std::move(out));
    }
    case NSUTF16StringEncoding:
    case NSUTF16BigEndianStringEncoding:
    case NSUTF16LittleEndianStringEncoding: {
      if (length % 2) return nullptr;
      const auto* p = static_cast<const unsigned char*>(bytes);
      size_t start = 0;
      bool little = encoding == NSUTF16LittleEndianStringEncoding;
      if (encoding == NSUTF16StringEncoding && length >= 2) {
        if (p[0] == 0xFF && p[1] == 0xFE) little = true, start = 2;
        else if (p[0] == 0xFE && p[1] == 0xFF) start = 2;
      }
      std::u16string units;
      for (size_t i = start; i + 1 < length; i += 2) {
        units.push_back(little ? char16_t(p[i] | (p[i + 1] << 8)) : char16_t((p[i] << 8) | p[i + 1]));
      }
      return stringWithUTF16(units);
    }
    case NSUTF32StringEncoding: {
      if (length % 4) return nullptr;
      const auto* p = static_cast<const unsigned char*>(bytes);
      std::string out;
      for (size_t i = 0; i < length; i += 4) {
        char32_t c = char32_t(p[i]) | char32_t(p[i + 1]) << 8 | char32_t(p[i + 2]) << 16 | char32_t(p[i + 3]) << 24;
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return nullptr;
        appendUtf8(out, c);
      }
      return fromValidUTF8(std::move(out));
    }
    case NSMacOSRomanStringEncoding: {
      std::string out;
      for (char c : in) appendUtf8(out, zvt::unicode::macRomanToUnicode(static_cast<unsigned char>(c)));
      return fromValidUTF8(std::move(out));
    }
    default:
      return nullptr;
  }
}

std::shared_ptr<NSString> NSString::initWithData(const std::shared_ptr<NSData>& data, NSStringEncoding encoding) {
  if (!data) return nullptr;
  return initWithBytes(data->bytes(), data->length(), encoding);
}

// ---------------------------------------------------------------- access

size_t NSString::byteOffsetOfIndex(NSUInteger index) const {
  if (ascii_) return index;
  return zvt::unicode::byteOffsetOfUtf16Index(utf8_, index);
}

unichar NSString::characterAtIndex(NSUInteger index) const {
  if (index >= length16_) raiseIndex("characterAtIndex:", index, length16_);
  if (ascii_) return static_cast<unsigned char>(utf8_[index]);
  return zvt::unicode::utf16UnitAt(utf8_, index);
}

void NSString::getCharacters(unichar* buffer, NSRange range) const {
  if (range.location > length16_ || range.length > length16_ - range.location) {
    raiseRange("getCharacters:range:", range, length16_);
  }
  if (ascii_) {
    for (NSUInteger i = 0; i < range.length; ++i) buffer[i] = static_cast<unsigned char>(utf8_[range.location + i]);
    return;
  }
  std::u16string all = utf16();
  std::copy_n(all.begin() + static_cast<std::ptrdiff_t>(range.location), range.length, buffer);
}

std::u16string NSString::utf16() const { return zvt::unicode::utf8ToUtf16(utf8_); }

NSUInteger NSString::lengthOfBytesUsingEncoding(NSStringEncoding encoding) const {
  switch (encoding) {
    case NSUTF8StringEncoding:
      return utf8_.size();
    case NSUTF16StringEncoding:
    case NSUTF16BigEndianStringEncoding:
    case NSUTF16LittleEndianStringEncoding:
      return length16_ * 2;
    default: {
      auto data = dataUsingEncoding(encoding);
      return data ? data->length() : 0;
    }
  }
}

bool NSString::canBeConvertedToEncoding(NSStringEncoding encoding) const {
  return dataUsingEncoding(encoding, false) != nullptr;
}

std::shared_ptr<NSData> NSString::dataUsingEncoding(NSStringEncoding encoding, bool allowLossyConversion) const {
  std::vector<uint8_t> out;
  switch (encoding) {
    case NSUTF8StringEncoding:
      if (!zvt::unicode::validateUtf8(utf8_, nullptr, nullptr)) {
        if (!allowLossyConversion) return nullptr;
        std::string lossy = zvt::unicode::replaceSurrogates(utf8_, '?');
        return NSData::dataWithString(lossy);
      }
      return NSData::dataWithString(utf8_);
    case NSASCIIStringEncoding:
    case NSISOLatin1StringEncoding:
    case NSMacOSRomanStringEncoding: {
      const char32_t limit = encoding == NSASCIIStringEncoding ? 0x80 : 0x100;
      size_t i = 0;
      while (i < utf8_.size()) {
        char32_t c = decodeNext(utf8_, i);
        if (encoding == NSMacOSRomanStringEncoding) {
          int b = zvt::unicode::unicodeToMacRoman(c);
          if (b < 0) {
            if (!allowLossyConversion) return nullptr;
            b = '?';
          }
          out.push_back(static_cast<uint8_t>(b));
          continue;
        }
        if (c >= limit) {
          if (!allowLossyConversion) return nullptr;
          c = '?';
        }
        out.push_back(static_cast<uint8_t>(c));
      }
      return NSData::dataWithVector(std::move(out));
    }
    case NSUTF16StringEncoding:
    case NSUTF16BigEndianStringEncoding:
    case NSUTF16LittleEndianStringEncoding: {
      bool little = encoding == NSUTF16LittleEndianStringEncoding;
      if (encoding == NSUTF16StringEncoding) {  // with a byte-order mark, in host order
        out.push_back(0xFF);
        out.push_back(0xFE);
        little = true;
      }
      for (char16_t u : utf16()) {
        if (little) {
          out.push_back(static_cast<uint8_t>(u & 0xFF));
          out.push_back(static_cast<uint8_t>(u >> 8));
        } else {
          out.push_back(static_cast<uint8_t>(u >> 8));
          out.push_back(static_cast<uint8_t>(u & 0xFF));
        }
      }
      return NSData::dataWithVector(std::move(out));
    }
    case NSUTF32StringEncoding: {
      size_t i = 0;
      while (i < utf8_.size()) {
        char32_t c = decodeNext(utf8_, i);
        for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(c >> (8 * k)));
      }
      return NSData::dataWithVector(std::move(out));
    }
    default:
      return nullptr;
  }
}

// ---------------------------------------------------------------- substrings

std::shared_ptr<NSString> NSString::substringWithRange(NSRange range) const {
  if (range.location > length16_ || range.length > length16_ - range.location) {
    raiseRange("substringWithRange:", range, length16_);
  }
  if (range.location == 0 && range.length == length16_) return copy();
  if (ascii_) return makeString(utf8_.substr(range.location, range.length));
  size_t begin = zvt::unicode::byteOffsetOfUtf16Index(utf8_, range.location);
  size_t end = zvt::unicode::byteOffsetOfUtf16Index(utf8_, range.location + range.length);
  if (begin != std::string::npos && end != std::string::npos) return makeString(utf8_.substr(begin, end - begin));
  // A boundary cuts a surrogate pair: go through UTF-16.
  std::u16string all = utf16();
  return stringWithUTF16(std::u16string_view(all).substr(range.location, range.length));
}

std::shared_ptr<NSString> NSString::substringFromIndex(NSUInteger index) const {
  if (index > length16_) raiseIndex("substringFromIndex:", index, length16_);
  return substringWithRange(NSMakeRange(index, length16_ - index));
}

std::shared_ptr<NSString> NSString::substringToIndex(NSUInteger index) const {
  if (index > length16_) raiseIndex("substringToIndex:", index, length16_);
  return substringWithRange(NSMakeRange(0, index));
}

NSRange NSString::rangeOfComposedCharacterSequenceAtIndex(NSUInteger index) const {
  if (index >= length16_) raiseIndex("rangeOfComposedCharacterSequenceAtIndex:", index, length16_);
  unichar c = characterAtIndex(index);
  if (c >= 0xD800 && c <= 0xDBFF && index + 1 < length16_) {
    unichar d = characterAtIndex(index + 1);
    if (d >= 0xDC00 && d <= 0xDFFF) return NSMakeRange(index, 2);
  }
  if (c >= 0xDC00 && c <= 0xDFFF && index > 0) {
    unichar b = characterAtIndex(index - 1);
    if (b >= 0xD800 && b <= 0xDBFF) return NSMakeRange(index - 1, 2);
  }
  return NSMakeRange(index, 1);
}

// ---------------------------------------------------------------- comparing

bool NSString::isEqualToString(const std::shared_ptr<NSString>& other) const {
  return other && (other.get() == this || other->utf8_ == utf8_);
}

NSComparisonResult NSString::compare(const std::shared_ptr<NSString>& other, NSStringCompareOptions options) const {
  if (!other) return NSOrderedDescending;
  const bool fold = options & NSCaseInsensitiveSearch;
  if (!fold && !(options & NSNumericSearch) && ascii_ && other->ascii_) {
    int r = utf8_.compare(other->utf8_);
    return r < 0 ? NSOrderedAscending : r > 0 ? NSOrderedDescending : NSOrderedSame;
  }
  return compareCodePoints(codePoints(utf8_, fold), codePoints(other->utf8_, fold), options);
}

NSComparisonResult NSString::compare(const std::shared_ptr<NSString>& other, NSStringCompareOptions options,
                                     NSRange range) const {
  return substringWithRange(range)->compare(other, options);
}

NSComparisonResult NSString::caseInsensitiveCompare(const std::shared_ptr<NSString>& other) const {
  return compare(other, NSCaseInsensitiveSearch);
}

bool NSString::hasPrefix(const std::shared_ptr<NSString>& prefix) const { return prefix && hasPrefix(prefix->view()); }
bool NSString::hasPrefix(std::string_view prefix) const { return !prefix.empty() && view().starts_with(prefix); }
bool NSString::hasSuffix(const std::shared_ptr<NSString>& suffix) const { return suffix && hasSuffix(suffix->view()); }
bool NSString::hasSuffix(std::string_view suffix) const { return !suffix.empty() && view().ends_with(suffix); }

NSRange NSString::rangeOfString(const std::shared_ptr<NSString>& other, NSStringCompareOptions options) const {
  return rangeOfString(other, options, NSMakeRange(0, length16_));
}

NSRange NSString::rangeOfString(const std::shared_ptr<NSString>& other, NSStringCompareOptions options,
                                NSRange range) const {
  if (!other) raiseNil("rangeOfString:options:range:");
  if (range.location > length16_ || range.length > length16_ - range.location) {
    raiseRange("rangeOfString:options:range:", range, length16_);
  }
  const NSRange notFound{static_cast<NSUInteger>(NSNotFound), 0};
  if (other->length16_ == 0 || other->length16_ > range.length) return notFound;
  const bool fold = options & NSCaseInsensitiveSearch;
  const bool backwards = options & NSBackwardsSearch;
  const bool anchored = options & NSAnchoredSearch;
  std::u16string hay, needle;
  if (ascii_ && other->ascii_) {
    hay.assign(utf8_.begin() + static_cast<std::ptrdiff_t>(range.location),
               utf8_.begin() + static_cast<std::ptrdiff_t>(range.location + range.length));
    needle.assign(other->utf8_.begin(), other->utf8_.end());
  } else {
    hay = utf16().substr(range.location, range.length);
    needle = other->utf16();
  }
  if (fold) {
    hay = foldedUtf16(std::move(hay));
    needle = foldedUtf16(std::move(needle));
  }
  size_t found;
  if (anchored) {
    size_t at = backwards ? hay.size() - needle.size() : 0;
    found = hay.compare(at, needle.size(), needle) == 0 ? at : std::u16string::npos;
  } else {
    found = backwards ? hay.rfind(needle) : hay.find(needle);
  }
  if (found == std::u16string::npos) return notFound;
  return NSMakeRange(range.location + found, needle.size());
}

NSRange NSString::rangeOfCharacterFromSet(const std::shared_ptr<NSCharacterSet>& set, NSStringCompareOptions options) const {
  if (!set) raiseNil("rangeOfCharacterFromSet:");
  std::u16string units = utf16();
  auto matchAt = [&](size_t i) -> NSUInteger {  // length of the character at i when in the set
    char32_t c = units[i];
    NSUInteger n = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      n = 2;
    }
    return set->longCharacterIsMember(c) ? n : 0;
  };
  if (options & NSBackwardsSearch) {
    for (size_t i = units.size(); i-- > 0;) {
      size_t start = i;
      if (i > 0 && units[i] >= 0xDC00 && units[i] <= 0xDFFF && units[i - 1] >= 0xD800 && units[i - 1] <= 0xDBFF) start = i - 1;
      if (NSUInteger n = matchAt(start)) return NSMakeRange(start, n);
      i = start;
    }
  } else {
    for (size_t i = 0; i < units.size();) {
      NSUInteger n = matchAt(i);
      if (n) return NSMakeRange(i, n);
      bool pair = units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                  units[i + 1] <= 0xDFFF;
      i += pair ? 2 : 1;
    }
  }
  return NSRange{static_cast<NSUInteger>(NSNotFound), 0};
}

bool NSString::containsString(const std::shared_ptr<NSString>& other) const {
  if (!other) raiseNil("containsString:");
  if (other->utf8_.empty()) return false;
  return utf8_.find(other->utf8_) != std::string::npos;
}

// ---------------------------------------------------------------- deriving

std::shared_ptr<NSString> NSString::stringByAppendingString(const std::shared_ptr<NSString>& other) const {
  if (!other) raiseNil("stringByAppendingString:");
  if (other->utf8_.empty()) return copy();
  return makeString(zvt::unicode::concatenate(utf8_, other->utf8_));
}

std::shared_ptr<NSString> NSString::stringByReplacingOccurrencesOfString(const std::shared_ptr<NSString>& target,
                                                                         const std::shared_ptr<NSString>& replacement) const {
  return stringByReplacingOccurrencesOfString(target, replacement, 0, NSMakeRange(0, length16_));
}

std::shared_ptr<NSString> NSString::stringByReplacingOccurrencesOfString(const std::shared_ptr<NSString>& target,
                                                                         const std::shared_ptr<NSString>& replacement,
                                                                         NSStringCompareOptions options,
                                                                         NSRange range) const {
  auto result = NSMutableString::stringWithString(copy());
  result->replaceOccurrencesOfString(target, replacement, options, range);
  return result->copy();
}

std::shared_ptr<NSString> NSString::stringByReplacingCharactersInRange(NSRange range,
                                                                       const std::shared_ptr<NSString>& replacement) const {
  auto result = NSMutableString::stringWithString(copy());
  result->replaceCharactersInRange(range, replacement);
  return result->copy();
}

std::shared_ptr<NSString> NSString::stringByTrimmingCharactersInSet(const std::shared_ptr<NSCharacterSet>& set) const {
  if (!set) raiseNil("stringByTrimmingCharactersInSet:");
  std::u32string cps = codePoints(utf8_, false);
  size_t b = 0, e = cps.size();
  while (b < e && set->longCharacterIsMember(cps[b])) ++b;
  while (e > b && set->longCharacterIsMember(cps[e - 1])) --e;
  if (b == 0 && e == cps.size()) return copy();
  std::string out;
  for (size_t i = b; i < e; ++i) appendUtf8(out, cps[i]);
  return makeString(std::move(out));
}

std::shared_ptr<NSString> NSString::stringByPaddingToLength(NSUInteger newLength, const std::shared_ptr<NSString>& pad,
                                                            NSUInteger startingAtIndex) const {
  if (newLength <= length16_) return substringToIndex(newLength);
  if (!pad || pad->length16_ == 0) raiseNil("stringByPaddingToLength:withString:startingAtIndex:");
  if (startingAtIndex >= pad->length16_) raiseIndex("stringByPaddingToLength:withString:startingAtIndex:", startingAtIndex, pad->length16_);
  std::u16string units = utf16();
  std::u16string padUnits = pad->utf16();
  size_t k = startingAtIndex;
  while (units.size() < newLength) {
    units.push_back(padUnits[k]);
    k = (k + 1) % padUnits.size();
  }
  return stringWithUTF16(units);
}

std::shared_ptr<NSArray> NSString::componentsSeparatedByString(const std::shared_ptr<NSString>& separator) const {
  if (!separator) raiseNil("componentsSeparatedByString:");
  std::vector<id> parts;
  const std::string& sep = separator->utf8_;
  if (sep.empty()) {
    parts.push_back(copy());
    return NSArray::arrayWithObjects(std::move(parts));
  }
  size_t start = 0;
  while (true) {
    size_t at = utf8_.find(sep, start);
    if (at == std::string::npos) {
      parts.push_back(makeString(utf8_.substr(start)));
      break;
    }
    parts.push_back(makeString(utf8_.substr(start, at - start)));
    start = at + sep.size();
  }
  return NSArray::arrayWithObjects(std::move(parts));
}

std::shared_ptr<NSArray> NSString::componentsSeparatedByCharactersInSet(const std::shared_ptr<NSCharacterSet>& set) const {
  if (!set) raiseNil("componentsSeparatedByCharactersInSet:");
  std::vector<id> parts;
  std::string current;
  size_t i = 0;
  while (i < utf8_.size()) {
    char32_t c = decodeNext(utf8_, i);
    if (set->longCharacterIsMember(c)) {
      parts.push_back(makeString(std::move(current)));
      current.clear();
    } else {
      appendUtf8(current, c);
    }
  }
  parts.push_back(makeString(std::move(current)));
  return NSArray::arrayWithObjects(std::move(parts));
}

std::shared_ptr<NSString> NSString::lowercaseString() const {
  std::string out;
  out.reserve(utf8_.size());
  size_t i = 0;
  while (i < utf8_.size()) appendUtf8(out, zvt::unicode::toLower(decodeNext(utf8_, i)));
  return makeString(std::move(out));
}

std::shared_ptr<NSString> NSString::uppercaseString() const {
  std::string out;
  out.reserve(utf8_.size());
  size_t i = 0;
  while (i < utf8_.size()) appendUtf8(out, zvt::unicode::toUpper(decodeNext(utf8_, i)));
  return makeString(std::move(out));
}

std::shared_ptr<NSString> NSString::capitalizedString() const {
  std::string out;
  out.reserve(utf8_.size());
  size_t i = 0;
  bool wordStart = true;
  while (i < utf8_.size()) {
    char32_t c = decodeNext(utf8_, i);
    bool letter = zvt::unicode::isAlphanumeric(c);
    appendUtf8(out, letter ? (wordStart ? zvt::unicode::toUpper(c) : zvt::unicode::toLower(c)) : c);
    wordStart = !letter;
  }
  return makeString(std::move(out));
}

// ---------------------------------------------------------------- percent encoding

std::shared_ptr<NSString> NSString::stringByAddingPercentEncodingWithAllowedCharacters(
    const std::shared_ptr<NSCharacterSet>& allowed) const {
  if (!allowed) raiseNil("stringByAddingPercentEncodingWithAllowedCharacters:");
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  size_t i = 0;
  while (i < utf8_.size()) {
    size_t start = i;
    char32_t c = decodeNext(utf8_, i);
    if (c >= 0xD800 && c <= 0xDFFF) return nullptr;  // a lone surrogate has no UTF-8 form
    if (allowed->longCharacterIsMember(c)) {
      out.append(utf8_, start, i - start);
    } else {
      for (size_t k = start; k < i; ++k) {
        unsigned char b = static_cast<unsigned char>(utf8_[k]);
        out.push_back('%');
        out.push_back(hex[b >> 4]);
        out.push_back(hex[b & 15]);
      }
    }
  }
  return makeString(std::move(out));
}

std::shared_ptr<NSString> NSString::stringByRemovingPercentEncoding() const {
  auto hexValue = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < utf8_.size(); ++i) {
    if (utf8_[i] != '%') {
      out.push_back(utf8_[i]);
      continue;
    }
    if (i + 2 >= utf8_.size()) return nullptr;
    int hi = hexValue(utf8_[i + 1]), lo = hexValue(utf8_[i + 2]);
    if (hi < 0 || lo < 0) return nullptr;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return stringWithUTF8String(std::string_view(out));
}

// ---------------------------------------------------------------- paths

std::shared_ptr<NSArray> NSString::pathComponents() const {
  std::vector<id> parts;
  if (utf8_.empty()) return NSArray::array();
  size_t i = 0;
  if (utf8_[0] == '/') {
    parts.push_back("/"_ns);
    while (i < utf8_.size() && utf8_[i] == '/') ++i;
  }
  while (i < utf8_.size()) {
    size_t slash = utf8_.find('/', i);
    if (slash == std::string::npos) {
      parts.push_back(makeString(utf8_.substr(i)));
      break;
    }
    parts.push_back(makeString(utf8_.substr(i, slash - i)));
    i = slash;
    while (i < utf8_.size() && utf8_[i] == '/') ++i;
    if (i == utf8_.size()) parts.push_back("/"_ns);  // a trailing slash
  }
  return NSArray::arrayWithObjects(std::move(parts));
}

namespace {
std::string_view trimTrailingSlashes(std::string_view s) {
  while (s.size() > 1 && s.back() == '/') s.remove_suffix(1);
  return s;
}
}  // namespace

std::shared_ptr<NSString> NSString::lastPathComponent() const {
  std::string_view s = trimTrailingSlashes(utf8_);
  if (s == "/") return "/"_ns;
  size_t slash = s.rfind('/');
  return makeString(std::string(slash == std::string_view::npos ? s : s.substr(slash + 1)));
}

std::shared_ptr<NSString> NSString::pathExtension() const {
  std::string_view s = trimTrailingSlashes(utf8_);
  size_t slash = s.rfind('/');
  std::string_view last = slash == std::string_view::npos ? s : s.substr(slash + 1);
  size_t dot = last.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return string();
  return makeString(std::string(last.substr(dot + 1)));
}

std::shared_ptr<NSString> NSString::stringByAppendingPathComponent(const std::shared_ptr<NSString>& component) const {
  if (!component) raiseNil("stringByAppendingPathComponent:");
  std::string base(trimTrailingSlashes(utf8_));
  std::string_view add = component->view();
  while (!add.empty() && add.front() == '/') add.remove_prefix(1);
  add = trimTrailingSlashes(add);
  if (add == "/") add = {};
  if (base.empty()) return makeString(std::string(add));
  if (add.empty()) return makeString(base);
  if (base != "/") base.push_back('/');
  base.append(add);
  return makeString(std::move(base));
}

std::shared_ptr<NSString> NSString::stringByAppendingPathExtension(const std::shared_ptr<NSString>& extension) const {
  if (!extension) raiseNil("stringByAppendingPathExtension:");
  std::string base(trimTrailingSlashes(utf8_));
  if (base.empty() || base == "/") return nullptr;
  return makeString(base + "." + extension->utf8_);
}

std::shared_ptr<NSString> NSString::stringByDeletingLastPathComponent() const {
  std::string_view s = trimTrailingSlashes(utf8_);
  if (s == "/") return "/"_ns;
  size_t slash = s.rfind('/');
  if (slash == std::string_view::npos) return string();
  if (slash == 0) return "/"_ns;
  return makeString(std::string(trimTrailingSlashes(s.substr(0, slash))));
}

std::shared_ptr<NSString> NSString::stringByDeletingPathExtension() const {
  std::string_view s = trimTrailingSlashes(utf8_);
  size_t slash = s.rfind('/');
  size_t dot = s.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash + 2) || dot == 0) {
    return makeString(std::string(s));
  }
  return makeString(std::string(s.substr(0, dot)));
}

// ---------------------------------------------------------------- numeric values

int32_t NSString::intValue() const { return parseInteger<int32_t>(utf8_); }
NSInteger NSString::integerValue() const { return parseInteger<int64_t>(utf8_); }
long long NSString::longLongValue() const { return parseInteger<long long>(utf8_); }

double NSString::doubleValue() const {
  std::string_view s = utf8_;
  size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  s.remove_prefix(i);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  // Only decimal forms: no "0x", and "inf"/"nan" are words, not numbers.
  if (s.empty() || !((s[0] >= '0' && s[0] <= '9') || s[0] == '.')) return 0.0;
  double value = 0.0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone: decide between overflow and underflow by the exponent.
    std::string_view digits(s.data(), static_cast<size_t>(end - s.data()));
    size_t e = digits.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-';
    value = tiny ? 0.0 : HUGE_VAL;
  } else if (ec != std::errc()) {
    return 0.0;
  }
  return negative ? -value : value;
}

float NSString::floatValue() const { return static_cast<float>(doubleValue()); }

bool NSString::boolValue() const {
  size_t i = 0;
  while (i < utf8_.size() && isBlank(utf8_[i])) ++i;
  if (i < utf8_.size() && (utf8_[i] == '+' || utf8_[i] == '-')) ++i;
  while (i < utf8_.size() && utf8_[i] == '0') ++i;
  if (i >= utf8_.size()) return false;
  char c = utf8_[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// ---------------------------------------------------------------- NSObject

std::shared_ptr<NSString> NSString::description() const { return copy(); }

std::shared_ptr<NSString> NSString::descriptionWithLocale(const id&, NSUInteger) const {
  return makeString(quotedDescription());
}

std::string NSString::quotedDescription() const { return zvt::quotedDescriptionText(utf8_); }

std::string zvt::quotedDescriptionText(std::string_view utf8) {
  bool plain = !utf8.empty();
  for (char c : utf8) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) {
      plain = false;
      break;
    }
  }
  if (plain) return std::string(utf8);
  std::string out = "\"";
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t c = decodeNext(utf8, i);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\a': out += "\\a"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\v': out += "\\v"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned>(c));
          out += buf;
        } else if (c < 0x80) {
          out.push_back(static_cast<char>(c));
        } else {
          char16_t units[2];
          int n = 1;
          if (c >= 0x10000) {
            units[0] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            units[1] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            n = 2;
          } else {
            units[0] = static_cast<char16_t>(c);
          }
          for (int k = 0; k < n; ++k) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\U%04x", static_cast<unsigned>(units[k]));
            out += buf;
          }
        }
    }
  }
  out.push_back('"');
  return out;
}


bool NSString::isEqual(const id& other) const {
  if (other.get() == this) return true;
  const auto* s = dynamic_cast<const NSString*>(other.get());
  return s && s->utf8_ == utf8_;
}

NSUInteger NSString::hash() const { return std::hash<std::string_view>{}(utf8_); }

id NSString::copyWithZone() const { return self(); }

id NSString::mutableCopyWithZone() const { return NSMutableString::stringWithString(std::static_pointer_cast<NSString>(self())); }

std::shared_ptr<NSString> NSString::copy() const { return std::static_pointer_cast<NSString>(copyWithZone()); }

std::shared_ptr<NSMutableString> NSString::mutableCopy() const {
  return std::static_pointer_cast<NSMutableString>(mutableCopyWithZone());
}

std::string NSStringFromObject(const id& object) {
  if (!object) return "(null)";
  auto text = object->description();
  return text ? text->utf8() : std::string("(null)");
}

// ---------------------------------------------------------------- NSMutableString

std::shared_ptr<NSMutableString> NSMutableString::string() { return std::make_shared<NSMutableString>(); }

std::shared_ptr<NSMutableString> NSMutableString::stringWithString(const std::shared_ptr<NSString>& other) {
  if (!other) raiseNil("initWithString:");
  auto s = std::make_shared<NSMutableString>();
  s->utf8_ = other->utf8();
  s->length16_ = other->length();
  s->ascii_ = other->isASCII();
  return s;
}

std::shared_ptr<NSMutableString> NSMutableString::stringWithUTF8String(std::string_view bytes) {
  auto checked = NSString::stringWithUTF8String(bytes);
  return checked ? stringWithString(checked) : nullptr;
}

std::shared_ptr<NSMutableString> NSMutableString::stringWithCapacity(NSUInteger capacity) {
  auto s = std::make_shared<NSMutableString>();
  s->utf8_.reserve(capacity);
  return s;
}

void NSMutableString::appendString(const std::shared_ptr<NSString>& other) {
  if (!other) raiseNil("appendString:");
  appendString(other->view());
}

void NSMutableString::appendString(std::string_view utf8) {
  if (utf8.empty()) return;
  adopt(zvt::unicode::concatenate(utf8_, utf8));
}

void NSMutableString::insertString(const std::shared_ptr<NSString>& other, NSUInteger index) {
  if (!other) raiseNil("insertString:atIndex:");
  if (index > length16_) raiseIndex("insertString:atIndex:", index, length16_);
  replaceCharactersInRange(NSMakeRange(index, 0), other);
}

void NSMutableString::deleteCharactersInRange(NSRange range) { replaceCharactersInRange(range, string()); }

void NSMutableString::replaceCharactersInRange(NSRange range, const std::shared_ptr<NSString>& replacement) {
  if (!replacement) raiseNil("replaceCharactersInRange:withString:");
  if (range.location > length16_ || range.length > length16_ - range.location) {
    raiseRange("replaceCharactersInRange:withString:", range, length16_);
  }
  if (ascii_) {
    std::string next = utf8_.substr(0, range.location);
    next = zvt::unicode::concatenate(next, replacement->view());
    adopt(zvt::unicode::concatenate(next, std::string_view(utf8_).substr(range.location + range.length)));
    return;
  }
  std::u16string units = utf16();
  units.replace(range.location, range.length, replacement->utf16());
  adopt(zvt::unicode::utf16ToUtf8(units));
}

NSUInteger NSMutableString::replaceOccurrencesOfString(const std::shared_ptr<NSString>& target,
                                                       const std::shared_ptr<NSString>& replacement,
                                                       NSStringCompareOptions options, NSRange range) {
  if (!target || !replacement) raiseNil("replaceOccurrencesOfString:withString:options:range:");
  if (range.location > length16_ || range.length > length16_ - range.location) {
    raiseRange("replaceOccurrencesOfString:withString:options:range:", range, length16_);
  }
  if (target->length() == 0) return 0;
  // Find every occurrence first (left to right, not overlapping), then rebuild once.
  std::vector<NSRange> found;
  NSRange search = range;
  NSStringCompareOptions forward = options & ~NSBackwardsSearch;
  while (search.length >= target->length()) {
    NSRange r = rangeOfString(target, forward, search);
    if (r.location == static_cast<NSUInteger>(NSNotFound)) break;
    found.push_back(r);
    if (forward & NSAnchoredSearch) break;
    NSUInteger next = NSMaxRange(r);
    search = NSMakeRange(next, NSMaxRange(search) - next);
  }
  if (found.empty()) return 0;
  std::u16string units = utf16();
  std::u16string with = replacement->utf16();
  std::u16string out;
  size_t at = 0;
  for (const NSRange& r : found) {
    out.append(units, at, r.location - at);
    out.append(with);
    at = NSMaxRange(r);
  }
  out.append(units, at, std::u16string::npos);
  adopt(zvt::unicode::utf16ToUtf8(out));
  return found.size();
}

void NSMutableString::setString(const std::shared_ptr<NSString>& other) {
  if (!other) raiseNil("setString:");
  utf8_ = other->utf8();
  length16_ = other->length();
  ascii_ = other->isASCII();
}

id NSMutableString::copyWithZone() const { return NSString::fromValidUTF8(utf8_); }

// ---------------------------------------------------------------- StaticString

const std::shared_ptr<NSString>& zvt::StaticString::get() const {
  std::call_once(once_, [this] { value_ = new std::shared_ptr<NSString>(NSString::fromValidUTF8(text_)); });
  return *value_;
}
