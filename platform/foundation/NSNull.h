#pragma once
// The null object that containers hold in place of nil. One shared instance.

#include <memory>

#include "platform/foundation/NSObject.h"

class NSNull : public NSObject {
 public:
  static std::shared_ptr<NSNull> null();

  std::shared_ptr<NSString> description() const override;  // "<null>"
  id copyWithZone() const override;

  struct Private {};
  explicit NSNull(Private) {}
};

// The shared null object; during static initialisation use NSNull::null().
extern const std::shared_ptr<NSNull> kCFNull;

namespace zvt {
// True for nil and for the null object.
inline bool isNullOrNil(const id& object) { return !object || object.get() == NSNull::null().get(); }
}  // namespace zvt
