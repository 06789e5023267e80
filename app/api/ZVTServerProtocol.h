#pragma once
// The request signature and reply reading shared by both server clients.
//
// Every signed call carries "time" (the server's time stamp, echoed as received) and "code" =
// MD5 text of (MD5 text of the shared secret, followed by the time's text); the time request
// itself carries MD5 of the MD5 text of the secret. A reply is a JSON object whose "code"
// (number or text holding a number) is 101 on success.

#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSString.h"

namespace zvt {

// MD5 text of the shared secret.
std::shared_ptr<NSString> signingKey();
// The "code" of a time request.
std::shared_ptr<NSString> timeRequestCode();
// The "code" of a call signed with `time` (its "%@" text).
std::shared_ptr<NSString> signatureForTime(const id& time);
// The time stamp of a reply when it can be signed: a non-empty text or a number.
bool isUsableTime(const id& time);
// A mutable copy of the caller's fields (or a new dictionary) with "time" and "code" set.
std::shared_ptr<NSMutableDictionary> signedFields(const std::shared_ptr<NSDictionary>& fields, const id& time);

// The integer value of a number or of a text holding one (0 for anything else).
NSInteger integerValueOf(const id& value);
// The integer value of a reply's "code" (0 when missing or not a number or number text).
NSInteger replyCode(const id& reply);
// reply[key], with nil for a missing key, for NSNull and for a reply that is no dictionary.
id replyValue(const id& reply, const char* key);
// The reply's "msg" written with "%@", or `fallback` when it has none.
std::shared_ptr<NSString> replyMessage(const id& reply, const std::shared_ptr<NSString>& fallback);
// A text value of the caller's fields ("%@" of a number), or nil.
std::shared_ptr<NSString> fieldText(const std::shared_ptr<NSDictionary>& fields, const char* key);
// The deciphered and parsed payload of an enciphered "data" text (nil when there is none).
id decipheredPayload(const id& data);

// The fixed texts of the clients.
inline const StaticString kTextNetworkFailure{"网络异常"};
inline const StaticString kTextTimeStampFailure{"获取时间戳失败"};
inline const StaticString kTextLoadFailure{"加载失败"};
inline const StaticString kTextNoData{"没有数据"};
inline const StaticString kTextLoginFailure{"登录失败"};
inline const StaticString kTextRegisterFailure{"注册失败"};

}  // namespace zvt
