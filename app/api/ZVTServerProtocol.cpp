#include "app/api/ZVTServerProtocol.h"

#include "app/utilities/TovrelUntiles.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

namespace zvt {

std::shared_ptr<NSString> signingKey() { return TovrelUntiles::getMD5StrFromString(kZVTSigningSecret); }

std::shared_ptr<NSString> timeRequestCode() { return TovrelUntiles::getMD5StrFromString(signingKey()); }

std::shared_ptr<NSString> signatureForTime(const id& time) {
  return TovrelUntiles::getMD5StrFromString(NSString::stringWithFormat("%@%@", signingKey(), time));
}

bool isUsableTime(const id& time) {
  if (auto text = as<NSString>(time)) return text->length() > 0;
  return isKind<NSNumber>(time);
}

std::shared_ptr<NSMutableDictionary> signedFields(const std::shared_ptr<NSDictionary>& fields, const id& time) {
  auto out = fields ? fields->mutableCopy() : NSMutableDictionary::dictionary();
  out->setObject(time, "time"_ns);
  out->setObject(signatureForTime(time), "code"_ns);
  return out;
}

NSInteger integerValueOf(const id& value) {
  if (auto number = as<NSNumber>(value)) return number->integerValue();
  if (auto text = as<NSString>(value)) return text->integerValue();
  return 0;
}

NSInteger replyCode(const id& reply) { return integerValueOf(replyValue(reply, "code")); }

id replyValue(const id& reply, const char* key) {
  auto dict = as<NSDictionary>(reply);
  if (!dict) return nullptr;
  id value = dict->objectForKey(NSString::stringWithUTF8String(key));
  return isNullOrNil(value) ? nullptr : value;
}

std::shared_ptr<NSString> replyMessage(const id& reply, const std::shared_ptr<NSString>& fallback) {
  id msg = replyValue(reply, "msg");
  if (!msg) return fallback;
  return NSString::stringWithFormat("%@", msg);
}

std::shared_ptr<NSString> fieldText(const std::shared_ptr<NSDictionary>& fields, const char* key) {
  id value = replyValue(fields, key);
  if (!value) return nullptr;
  if (auto text = as<NSString>(value)) return text;
  if (isKind<NSNumber>(value)) return NSString::stringWithFormat("%@", value);
  return nullptr;
}

id decipheredPayload(const id& data) {
  auto text = as<NSString>(data);
  if (!text) return nullptr;
  auto plain = TovrelUntiles::decryptUseDES(text);
  if (!plain) return nullptr;
  return objectFromJSONString(*plain);
}

}  // namespace zvt
