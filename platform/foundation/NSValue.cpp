#include "platform/foundation/NSValue.h"

#include <charconv>
#include <cmath>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/internal/ByteDescription.h"

namespace {
const char* kRangeType = "{_NSRange=QQ}";
const char* kPointType = "{CGPoint=dd}";
const char* kSizeType = "{CGSize=dd}";
const char* kRectType = "{CGRect={CGPoint=dd}{CGSize=dd}}";
const char* kPointerType = "^v";
const char* kObjectType = "@";

std::string pointText(CGPoint p) {
  return "{" + zvt::shortestNumberText(p.x) + ", " + zvt::shortestNumberText(p.y) + "}";
}
std::string sizeText(CGSize s) {
  return "{" + zvt::shortestNumberText(s.width) + ", " + zvt::shortestNumberText(s.height) + "}";
}
std::string rectText(CGRect r) { return "{" + pointText(r.origin) + ", " + sizeText(r.size) + "}"; }

// The numbers of a text like "{{1, 2}, {3, 4}}", in order.
std::vector<double> numbersIn(const std::shared_ptr<NSString>& text) {
  std::vector<double> out;
  if (!text) return out;
  const std::string& s = text->utf8();
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
      size_t start = i;
      if (c == '+') ++start;
      double v = 0;
      auto [end, ec] = std::from_chars(s.data() + start, s.data() + s.size(), v);
      if (ec == std::errc() && end > s.data() + start) {
        out.push_back(v);
        i = static_cast<size_t>(end - s.data());
        continue;
      }
    }
    ++i;
  }
  return out;
}
double at(const std::vector<double>& v, size_t i) { return i < v.size() ? v[i] : 0.0; }
}  // namespace

std::string zvt::shortestNumberText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

std::shared_ptr<NSString> NSStringFromRange(NSRange range) {
  return NSString::fromValidUTF8("{" + std::to_string(range.location) + ", " + std::to_string(range.length) + "}");
}

NSRange NSRangeFromString(const std::shared_ptr<NSString>& text) {
  auto n = numbersIn(text);
  return NSMakeRange(static_cast<NSUInteger>(std::max(0.0, at(n, 0))), static_cast<NSUInteger>(std::max(0.0, at(n, 1))));
}

std::shared_ptr<NSString> NSStringFromCGPoint(CGPoint point) { return NSString::fromValidUTF8(pointText(point)); }
std::shared_ptr<NSString> NSStringFromCGSize(CGSize size) { return NSString::fromValidUTF8(sizeText(size)); }
std::shared_ptr<NSString> NSStringFromCGRect(CGRect rect) { return NSString::fromValidUTF8(rectText(rect)); }

CGPoint CGPointFromString(const std::shared_ptr<NSString>& text) {
  auto n = numbersIn(text);
  return CGPointMake(at(n, 0), at(n, 1));
}
CGSize CGSizeFromString(const std::shared_ptr<NSString>& text) {
  auto n = numbersIn(text);
  return CGSizeMake(at(n, 0), at(n, 1));
}
CGRect CGRectFromString(const std::shared_ptr<NSString>& text) {
  auto n = numbersIn(text);
  return CGRectMake(at(n, 0), at(n, 1), at(n, 2), at(n, 3));
}

NSValue::NSValue(const void* bytes, size_t size, std::string type)
    : bytes_(static_cast<const unsigned char*>(bytes), static_cast<const unsigned char*>(bytes) + size),
      type_(std::move(type)) {}

std::shared_ptr<NSValue> NSValue::valueWithRange(NSRange range) { return valueWithValue(range, kRangeType); }
std::shared_ptr<NSValue> NSValue::valueWithCGPoint(CGPoint point) { return valueWithValue(point, kPointType); }
std::shared_ptr<NSValue> NSValue::valueWithCGSize(CGSize size) { return valueWithValue(size, kSizeType); }
std::shared_ptr<NSValue> NSValue::valueWithCGRect(CGRect rect) { return valueWithValue(rect, kRectType); }
std::shared_ptr<NSValue> NSValue::valueWithPointer(const void* pointer) { return valueWithValue(pointer, kPointerType); }

std::shared_ptr<NSValue> NSValue::valueWithNonretainedObject(const id& object) {
  const void* pointer = object.get();
  auto value = valueWithValue(pointer, kObjectType);
  value->nonretained_ = object;
  return value;
}

id NSValue::nonretainedObjectValue() const { return nonretained_.lock(); }

void NSValue::checkSize(size_t size) const {
  if (size != bytes_.size()) {
    zvt::raise(NSInvalidArgumentException, zvt::format("-[NSValue getValue:size:]: value of type %s holds %zu bytes, not %zu",
                                                       {type_, bytes_.size(), size}));
  }
}

void NSValue::getValue(void* buffer, size_t size) const {
  checkSize(size);
  std::memcpy(buffer, bytes_.data(), size);
}

bool NSValue::isEqualToValue(const std::shared_ptr<NSValue>& other) const {
  return other && other->type_ == type_ && other->bytes_ == bytes_;
}

std::shared_ptr<NSString> NSValue::description() const {
  if (type_ == kRangeType) return NSString::fromValidUTF8("NSRange: " + NSStringFromRange(rangeValue())->utf8());
  if (type_ == kPointType) return NSString::fromValidUTF8("NSPoint: " + pointText(CGPointValue()));
  if (type_ == kSizeType) return NSString::fromValidUTF8("NSSize: " + sizeText(CGSizeValue()));
  if (type_ == kRectType) return NSString::fromValidUTF8("NSRect: " + rectText(CGRectValue()));
  if (type_ == kPointerType || type_ == kObjectType) {
    return NSString::fromValidUTF8(zvt::format("%p", {value<const void*>()}));
  }
  return NSString::fromValidUTF8(zvt::bytesDescription(bytes_));
}

bool NSValue::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto* value = dynamic_cast<const NSValue*>(other.get());
  return value && value->type_ == type_ && value->bytes_ == bytes_;
}

NSUInteger NSValue::hash() const {
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
}

id NSValue::copyWithZone() const { return self(); }
