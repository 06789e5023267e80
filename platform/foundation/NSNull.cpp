#include "platform/foundation/NSNull.h"

#include "platform/foundation/NSString.h"

std::shared_ptr<NSNull> NSNull::null() {
  static const auto* instance = new std::shared_ptr<NSNull>(std::make_shared<NSNull>(Private{}));
  return *instance;
}

const std::shared_ptr<NSNull> kCFNull = NSNull::null();

std::shared_ptr<NSString> NSNull::description() const { return "<null>"_ns; }

id NSNull::copyWithZone() const { return self(); }
