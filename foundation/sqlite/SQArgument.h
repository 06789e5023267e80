#pragma once
// One statement argument as the variadic forms of SQDatabase take it: an object (nil, NSNull,
// NSData, NSDate, NSNumber, anything else by its description), or a C++ scalar or text that is
// bound exactly as the NSNumber or NSString made from it would be, without boxing it first.

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/foundation/NSObject.h"

namespace zvt {

class SQArgument {
 public:
  enum class Kind : uint8_t { Object, Scalar, Text };
  // What the argument binds as. Every integer scalar binds as the 64-bit value it holds (the
  // 32-bit binding of the small types gives the same value), every float and double as a double.
  enum class Binding : uint8_t { Object, Integer, Real, Text };

  // nil
  SQArgument() = default;
  SQArgument(std::nullptr_t) {}

  template <class T>
    requires std::is_base_of_v<NSObject, T>
  SQArgument(const std::shared_ptr<T>& object) : object_(object) {}

  // Scalars carry the objCType character of the number they stand for. bool is 'B', which
  // binds 0 or 1; long is 64-bit ('q'/'Q'), as on the device.
  SQArgument(bool value) : kind_(Kind::Scalar), type_('B'), binding_(Binding::Integer) { i_ = value ? 1 : 0; }
  template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  SQArgument(T value) : kind_(Kind::Scalar), binding_(Binding::Integer) {
    if constexpr (std::is_signed_v<T> || std::is_same_v<T, char>) {
      type_ = sizeof(T) == 1 ? 'c' : sizeof(T) == 2 ? 's' : sizeof(T) == 4 ? 'i' : 'q';
      i_ = static_cast<int64_t>(value);
    } else {
      type_ = sizeof(T) == 1 ? 'C' : sizeof(T) == 2 ? 'S' : sizeof(T) == 4 ? 'I' : 'Q';
      u_ = static_cast<uint64_t>(value);
    }
  }
  SQArgument(float value) : kind_(Kind::Scalar), type_('f'), binding_(Binding::Real) { d_ = value; }
  SQArgument(double value) : kind_(Kind::Scalar), type_('d'), binding_(Binding::Real) { d_ = value; }

  // UTF-8 text, bound as an NSString of the same bytes would be. The bytes only need to stay
  // valid for the call that takes the argument: SQLite copies them when they are bound.
  SQArgument(const char* text)
      : kind_(text ? Kind::Text : Kind::Object),
        binding_(text ? Binding::Text : Binding::Object),
        text_(text ? text : "") {}
  SQArgument(std::string_view text) : kind_(Kind::Text), binding_(Binding::Text), text_(text) {}
  SQArgument(const std::string& text) : kind_(Kind::Text), binding_(Binding::Text), text_(text) {}

  Kind kind() const { return kind_; }
  Binding binding() const { return binding_; }
  const id& object() const { return object_; }
  char type() const { return type_; }
  int64_t intValue() const { return i_; }
  uint64_t unsignedValue() const { return u_; }
  double doubleValue() const { return d_; }
  std::string_view text() const { return text_; }

  bool isNil() const { return kind_ == Kind::Object && !object_; }
  // The argument as an object: scalars become NSNumber, text NSString (nil stays nil).
  id boxed() const;

 private:
  Kind kind_ = Kind::Object;
  char type_ = 0;
  Binding binding_ = Binding::Object;
  id object_;
  union {
    int64_t i_ = 0;
    uint64_t u_;
    double d_;
  };
  std::string_view text_;
};

}  // namespace zvt
