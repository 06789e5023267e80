#pragma once
// One statement argument as the variadic forms of SQDatabase take it: an object (nil, NSNull,
// NSData, NSDate, NSNumber, anything else by its description), or a C++ scalar or text that is
// bound exactly as the NSNumber or NSString made from it would be, without boxing it first.
//
// The value shares its storage with the object: a variadic call builds one of these per
// argument on every run, and scalars and text then carry no object to set up or release.

#include <concepts>
#include <cstdint>
#include <memory>
#include <new>
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
  SQArgument() : object_() {}
  SQArgument(std::nullptr_t) : object_() {}

  template <class T>
    requires std::is_base_of_v<NSObject, T>
  SQArgument(const std::shared_ptr<T>& object) : object_(object) {}

  // Scalars carry the objCType character of the number they stand for. bool is 'B', which
  // binds 0 or 1; long is 64-bit ('q'/'Q'), as on the device.
  SQArgument(bool value) : binding_(Binding::Integer), type_('B'), i_(value ? 1 : 0) {}
  template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  SQArgument(T value) : binding_(Binding::Integer), type_(typeOf<T>()), i_(0) {
    if constexpr (std::is_signed_v<T> || std::is_same_v<T, char>) {
      i_ = static_cast<int64_t>(value);
    } else {
      u_ = static_cast<uint64_t>(value);
    }
  }
  SQArgument(float value) : binding_(Binding::Real), type_('f'), d_(value) {}
  SQArgument(double value) : binding_(Binding::Real), type_('d'), d_(value) {}

  // UTF-8 text, bound as an NSString of the same bytes would be. The bytes only need to stay
  // valid for the call that takes the argument: SQLite copies them when they are bound.
  SQArgument(const char* text) {
    if (text) {
      binding_ = Binding::Text;
      new (&text_) std::string_view(text);
    } else {
      new (&object_) id();
    }
  }
  SQArgument(std::string_view text) : binding_(Binding::Text), text_(text) {}
  SQArgument(const std::string& text) : binding_(Binding::Text), text_(text) {}

  // Made in place for one call and read through a span; never copied.
  SQArgument(const SQArgument&) = delete;
  SQArgument& operator=(const SQArgument&) = delete;
  ~SQArgument() {
    if (binding_ == Binding::Object) object_.~id();
  }

  Kind kind() const {
    switch (binding_) {
      case Binding::Object: return Kind::Object;
      case Binding::Text: return Kind::Text;
      default: return Kind::Scalar;
    }
  }
  Binding binding() const { return binding_; }
  // The object of an object argument; nil for the others.
  const id& object() const { return binding_ == Binding::Object ? object_ : nilObject(); }
  char type() const { return type_; }
  int64_t intValue() const { return binding_ == Binding::Object || binding_ == Binding::Text ? 0 : i_; }
  uint64_t unsignedValue() const { return binding_ == Binding::Object || binding_ == Binding::Text ? 0 : u_; }
  double doubleValue() const { return binding_ == Binding::Object || binding_ == Binding::Text ? 0.0 : d_; }
  std::string_view text() const { return binding_ == Binding::Text ? text_ : std::string_view(); }

  bool isNil() const { return binding_ == Binding::Object && !object_; }
  // The argument as an object: scalars become NSNumber, text NSString (nil stays nil).
  id boxed() const;

 private:
  template <class T>
  static constexpr char typeOf() {
    if constexpr (std::is_signed_v<T> || std::is_same_v<T, char>) {
      return sizeof(T) == 1 ? 'c' : sizeof(T) == 2 ? 's' : sizeof(T) == 4 ? 'i' : 'q';
    } else {
      return sizeof(T) == 1 ? 'C' : sizeof(T) == 2 ? 'S' : sizeof(T) == 4 ? 'I' : 'Q';
    }
  }
  static const id& nilObject() {
    static const id nil;
    return nil;
  }

  Binding binding_ = Binding::Object;
  char type_ = 0;
  union {
    int64_t i_;
    uint64_t u_;
    double d_;
    std::string_view text_;
    id object_;
  };
};

}  // namespace zvt
