#pragma once
// Programming errors (mutating an immutable object, an index out of range, a nil where an object
// is required) raise an NSException, thrown as a C++ exception. Never let one escape through a C
// library's callback.

#include <exception>
#include <memory>
#include <string>

#include "platform/foundation/NSString.h"

inline const zvt::StaticString NSGenericException{"NSGenericException"};
inline const zvt::StaticString NSRangeException{"NSRangeException"};
inline const zvt::StaticString NSInvalidArgumentException{"NSInvalidArgumentException"};
inline const zvt::StaticString NSInternalInconsistencyException{"NSInternalInconsistencyException"};
inline const zvt::StaticString NSMallocException{"NSMallocException"};
inline const zvt::StaticString NSObjectInaccessibleException{"NSObjectInaccessibleException"};
inline const zvt::StaticString NSDestinationInvalidException{"NSDestinationInvalidException"};
inline const zvt::StaticString NSInvalidArchiveOperationException{"NSInvalidArchiveOperationException"};
inline const zvt::StaticString NSInvalidUnarchiveOperationException{"NSInvalidUnarchiveOperationException"};
inline const zvt::StaticString NSUndefinedKeyException{"NSUndefinedKeyException"};
inline const zvt::StaticString NSParseErrorException{"NSParseErrorException"};

class NSException : public NSObject, public std::exception {
 public:
  NSException(std::shared_ptr<NSString> name, std::shared_ptr<NSString> reason,
              std::shared_ptr<NSDictionary> userInfo = nullptr);
  NSException(const NSException&) = default;
  NSException& operator=(const NSException&) = default;
  ~NSException() override;

  static std::shared_ptr<NSException> exceptionWithName(std::shared_ptr<NSString> name,
                                                        std::shared_ptr<NSString> reason,
                                                        std::shared_ptr<NSDictionary> userInfo = nullptr);
  // `[NSException raise:format:]`: throws.
  template <class... Args>
  [[noreturn]] static void raise(const std::shared_ptr<NSString>& name, std::string_view format, const Args&... args) {
    throw NSException(name, NSString::stringWithFormat(format, args...));
  }
  [[noreturn]] void raise() const { throw *this; }

  const std::shared_ptr<NSString>& name() const { return name_; }
  const std::shared_ptr<NSString>& reason() const { return reason_; }
  const std::shared_ptr<NSDictionary>& userInfo() const { return userInfo_; }

  // "name: reason"
  const char* what() const noexcept override { return what_.c_str(); }
  std::shared_ptr<NSString> description() const override;  // the reason

 private:
  std::shared_ptr<NSString> name_;
  std::shared_ptr<NSString> reason_;
  std::shared_ptr<NSDictionary> userInfo_;
  std::string what_;
};

namespace zvt {
// Throws NSException(name, reason).
[[noreturn]] void raise(const std::shared_ptr<NSString>& name, std::string reason);
}  // namespace zvt
