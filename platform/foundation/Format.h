#pragma once
// printf-style formatting with run-time type checks, independent of the C locale.
// Used through NSString::stringWithFormat; the conversions are those of Foundation:
// %@ %d %i %u %o %x %X %c %C %s %f %F %e %E %g %G %a %p %% with flags (- + space 0 #),
// width and precision (numbers or *) and the length modifiers hh h l ll q z t j L.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/foundation/NSObject.h"

namespace zvt {

// One argument of a format call, remembering the C++ type it came from.
struct FormatArg {
  enum class Kind { Signed, Unsigned, Double, CString, Text, Object, Pointer };
  Kind kind;
  int width = 8;  // byte width of an integer argument (how %u/%x read a negative value)
  union {
    int64_t i;
    uint64_t u;
    double d;
    const char* s;
    const NSObject* object;
    const void* pointer;
  };
  std::string_view text;

  template <class T>
    requires(std::is_integral_v<T> && std::is_signed_v<T>)
  FormatArg(T value) : kind(Kind::Signed), width(sizeof(T)), i(value) {}
  template <class T>
    requires(std::is_integral_v<T> && !std::is_signed_v<T>)
  FormatArg(T value) : kind(Kind::Unsigned), width(sizeof(T)), u(value) {}
  template <class T>
    requires std::is_enum_v<T>
  FormatArg(T value) : FormatArg(static_cast<std::underlying_type_t<T>>(value)) {}
  FormatArg(double value) : kind(Kind::Double), d(value) {}
  FormatArg(float value) : kind(Kind::Double), d(value) {}
  FormatArg(long double value) : kind(Kind::Double), d(static_cast<double>(value)) {}
  FormatArg(const char* value) : kind(Kind::CString), s(value) {}
  FormatArg(char* value) : kind(Kind::CString), s(value) {}
  FormatArg(const std::string& value) : kind(Kind::Text), s(nullptr), text(value) {}
  FormatArg(std::string_view value) : kind(Kind::Text), s(nullptr), text(value) {}
  FormatArg(std::nullptr_t) : kind(Kind::Object), object(nullptr) {}
  template <class T>
    requires std::is_base_of_v<NSObject, T>
  FormatArg(const std::shared_ptr<T>& value) : kind(Kind::Object), object(value.get()) {}
  template <class T>
    requires std::is_base_of_v<NSObject, T>
  FormatArg(const std::weak_ptr<T>&) = delete;  // lock it first
  template <class T>
    requires(!std::is_base_of_v<NSObject, T> && !std::is_same_v<std::remove_cv_t<T>, char>)
  FormatArg(T* value) : kind(Kind::Pointer), pointer(value) {}
};

// Formats; raises NSInvalidArgumentException for a malformed format, a missing argument or an
// argument of the wrong kind for its conversion.
std::string format(std::string_view format, std::initializer_list<FormatArg> args);
std::string format(std::string_view format, const FormatArg* args, size_t count);

}  // namespace zvt
