#pragma once
// Boxed plain values: ranges, points, sizes, rectangles, pointers, and any trivially copyable
// struct tagged with a type string.

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSValue : public NSObject {
 public:
  NSValue(const void* bytes, size_t size, std::string type);

  static std::shared_ptr<NSValue> valueWithRange(NSRange range);
  static std::shared_ptr<NSValue> valueWithCGPoint(CGPoint point);
  static std::shared_ptr<NSValue> valueWithCGSize(CGSize size);
  static std::shared_ptr<NSValue> valueWithCGRect(CGRect rect);
  static std::shared_ptr<NSValue> valueWithPointer(const void* pointer);
  // Holds the object without keeping it alive.
  static std::shared_ptr<NSValue> valueWithNonretainedObject(const id& object);
  // `valueWithBytes:objCType:` for any trivially copyable type.
  template <class T>
    requires std::is_trivially_copyable_v<T>
  static std::shared_ptr<NSValue> valueWithValue(const T& value, std::string type) {
    return std::make_shared<NSValue>(&value, sizeof(T), std::move(type));
  }

  const char* objCType() const { return type_.c_str(); }
  // The stored bytes as T; NSInvalidArgumentException when the size differs.
  template <class T>
    requires std::is_trivially_copyable_v<T>
  T value() const {
    checkSize(sizeof(T));
    T out;
    std::memcpy(&out, bytes_.data(), sizeof(T));
    return out;
  }
  void getValue(void* buffer, size_t size) const;

  NSRange rangeValue() const { return value<NSRange>(); }
  CGPoint CGPointValue() const { return value<CGPoint>(); }
  CGSize CGSizeValue() const { return value<CGSize>(); }
  CGRect CGRectValue() const { return value<CGRect>(); }
  const void* pointerValue() const { return value<const void*>(); }
  id nonretainedObjectValue() const;  // nil once the object is gone

  bool isEqualToValue(const std::shared_ptr<NSValue>& other) const;
  std::shared_ptr<NSString> description() const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;

 private:
  void checkSize(size_t size) const;
  std::vector<unsigned char> bytes_;
  std::string type_;
  std::weak_ptr<NSObject> nonretained_;
};
