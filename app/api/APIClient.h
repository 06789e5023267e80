#pragma once
// The client of the service's JSON interface ("api/client.php?m=" plus an operation): a
// request-operation manager with the JSON request serializer (the configured time-out) and the
// JSON response serializer (accepting "application/json", "text/json", "text/javascript" and
// "text/html"), shared by the whole application and used through class methods. Each signed
// operation fetches a fresh time stamp (m=get_time), adds "time" (as received) and "code" to a
// copy of the caller's fields and POSTs them as a JSON body. Completions run exactly once, on
// the main queue; a missing time stamp, a transport failure and an HTTP status outside
// 200-299 end in "网络异常".

#include <functional>
#include <memory>

#include "foundation/http/NWHTTPRequestOperationManager.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"

class APIClient : public NWHTTPRequestOperationManager {
 public:
  using Message = std::shared_ptr<NSString>;
  using TimeCompletion = std::function<void(const id& time, const Message& message)>;
  using SuccessCompletion = std::function<void(bool success, const Message& message)>;
  using RegisterCompletion = std::function<void(bool success, NSInteger code, const Message& message)>;
  using ProductsCompletion = std::function<void(NSInteger end, const std::shared_ptr<NSArray>& products, const Message& message)>;
  using ItemsCompletion = std::function<void(const std::shared_ptr<NSArray>& items, const Message& message)>;
  using RecordCompletion = std::function<void(bool success, const std::shared_ptr<NSDictionary>& record, const Message& message)>;
  using ValueCompletion = std::function<void(bool success, const id& value, const Message& message)>;
  using Completion = std::function<void(bool success, const id& result, const std::shared_ptr<NSError>& error)>;

  static std::shared_ptr<APIClient> sharedClient();

  // (the reply's "time", nil) on "code" 101 with a usable time; else (nil, "获取时间戳失败").
  static void getTimeStampOnComplete(TimeCompletion completion);

  static void getVerificationCodeWithParameter(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  // A successful registration with a decodable record is handed to the login session.
  static void registerWithParameter(const std::shared_ptr<NSDictionary>& parameters, RegisterCompletion completion);
  static void getBindingVerificationCodeWithParameter(const std::shared_ptr<NSDictionary>& parameters,
                                                      SuccessCompletion completion);
  static void bindingPhoneWithParameter(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  static void getForgetPasswordCodeWithParameter(const std::shared_ptr<NSDictionary>& parameters,
                                                 SuccessCompletion completion);
  static void resetPasswordWithParameter(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  // ("end", TZProductModel rows, nil) or (0, nil, "加载失败").
  static void getProductsWithParameter(const std::shared_ptr<NSDictionary>& parameters, ProductsCompletion completion);
  // The reply's "mainData" as TZHeaderInfoModel rows whatever its "code", or (nil, "没有数据").
  static void getMakeMoneyWithParameter(const std::shared_ptr<NSDictionary>& parameters, ItemsCompletion completion);
  // The deciphered record becomes the delegate's userInfoDictionary; a record that does not
  // decipher, or one that comes back after the session's user changed, keeps the previous one
  // and is a failure ("保存失败").
  static void updateUserinfoWithParameter(const std::shared_ptr<NSDictionary>& parameters, RecordCompletion completion);
  static void bindingAlipayWithParameter(const std::shared_ptr<NSDictionary>& parameters, RecordCompletion completion);
  // (YES, the reply's "coupons", nil).
  static void getCouponsWithParameter(const std::shared_ptr<NSDictionary>& parameters, ValueCompletion completion);
  // (YES, "award" of the reply's "data", nil).
  static void extraRebateOfOrderWithParameter(const std::shared_ptr<NSDictionary>& parameters, ValueCompletion completion);

  // Generic verbs: the path is relative to the server root or a full URL; (YES, parsed reply,
  // nil) or (NO, nil, error).
  static std::shared_ptr<NWHTTPRequestOperation> GET(const std::shared_ptr<NSString>& path, const id& parameters,
                                                     Completion completion);
  static std::shared_ptr<NWHTTPRequestOperation> POST(const std::shared_ptr<NSString>& path, const id& parameters,
                                                      Completion completion);
  static std::shared_ptr<NWHTTPRequestOperation> POST(const std::shared_ptr<NSString>& path,
                                                      const std::shared_ptr<NSDictionary>& parameters,
                                                      std::function<void(NWMultipartFormData&)> constructingBodyWithBlock,
                                                      Completion completion);
  static std::shared_ptr<NWHTTPRequestOperation> PUT(const std::shared_ptr<NSString>& path, const id& parameters,
                                                     Completion completion);
  static std::shared_ptr<NWHTTPRequestOperation> PATCH(const std::shared_ptr<NSString>& path, const id& parameters,
                                                       Completion completion);
  static std::shared_ptr<NWHTTPRequestOperation> DELETE(const std::shared_ptr<NSString>& path, const id& parameters,
                                                        Completion completion);

  // The push client's answer to the registration's alias call; as ZVTAPIClient's.
  static void tagsAliasCallback(NSInteger resultCode, const id& tags, const id& alias);
};
