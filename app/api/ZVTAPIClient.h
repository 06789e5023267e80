#pragma once
// The client of the service's enciphered interface ("/index.php?mod=phone_api&act=" plus an
// operation): each operation fetches a fresh time stamp (act=get_time, itself enciphered),
// signs the caller's fields with it, sends them as a JSON string literal holding Base64 of DES
// of the pretty-printed JSON text, with the form content type and the configured time-out,
// through ZaveltoURLConnect on the current (main) run loop, and reads the reply's "code" from
// the body whatever the HTTP status. Every completion runs exactly once, on the main thread.
//
// Messages handed to completions: the operation's fixed failure text for a refusal code it
// names and for a missing time stamp, the server's "msg" for other refusals (the fixed text
// when the reply has none), and "网络异常" after a transport failure (the exchange and the
// withdrawal: their fixed text then too).

#include <functional>
#include <memory>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSString.h"
#include "platform/network/NSURLRequest.h"

class ZVTAPIClient : public NSObject {
 public:
  using Message = std::shared_ptr<NSString>;
  using TimeCompletion = std::function<void(const std::shared_ptr<NSString>& time, const std::shared_ptr<NSError>& error)>;
  using SuccessCompletion = std::function<void(bool success, const Message& message)>;
  using ResultCompletion = std::function<void(const id& result, const Message& message)>;
  using ListCompletion = std::function<void(const std::shared_ptr<NSArray>& models, const id& end, const Message& message)>;
  using RecordCompletion =
      std::function<void(const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSError>& error)>;
  using ProfileCompletion = std::function<void(const std::shared_ptr<NSDictionary>& record, const Message& message)>;
  using LoginInfoCompletion =
      std::function<void(const std::shared_ptr<NSDictionary>& loginInfo, const std::shared_ptr<NSError>& error)>;
  // (success, list, the reply's "end" | the refusal code as text | a transport error | nil)
  using ExchangeStoreCompletion = std::function<void(bool success, const std::shared_ptr<NSArray>& list, const id& info)>;
  using AvatarCompletion = std::function<void(const id& avatar, const std::shared_ptr<NSError>& error)>;

  // A POST request for the server root followed by `path`, with the form content type and
  // the configured time-out.
  static std::shared_ptr<NSMutableURLRequest> createURLRequestWith(const std::shared_ptr<NSString>& path);
  // (time text, nil) on "code" 101 with a usable "time" in the deciphered "data"; else
  // (nil, the transport error or nil).
  static void getTimeStampOnCompletion(TimeCompletion completion);

  // act=get_pwd: ("email_web" of the reply's data, nil).
  static void getEmailAddressWith(const std::shared_ptr<NSDictionary>& parameters, ResultCompletion completion);
  // act=exchange, act=outCash.
  static void exchangeWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  static void withdrawWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  // act=order ("do" "taobao": TZTaobaoOrderModel rows, else TZStoreOrderModel), act=getUserDetailed
  // ("do" "out": TZWithdrawModel, else TZRefundModel), act=msg (TZMessageModel). A list that
  // does not decipher or parse as an array is a failure ("加载失败").
  static void getOrderWith(const std::shared_ptr<NSDictionary>& parameters, ListCompletion completion);
  static void getRefundWith(const std::shared_ptr<NSDictionary>& parameters, ListCompletion completion);
  static void getMessageWith(const std::shared_ptr<NSDictionary>& parameters, ListCompletion completion);
  // act=feedback.
  static void submitFeedbackWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  // act=userInfo&do=my: the record becomes the delegate's userInfoDictionary; a record that does
  // not decipher keeps the previous one and gives (nil, nil), and so does a record that comes
  // back after the session's user changed (a logout, another login: ZVTLoginSession::isCurrentUser).
  static void getUserInfoWith(const std::shared_ptr<NSDictionary>& parameters, RecordCompletion completion);
  // act=login, act=OAuth_login, act=register: a successful reply with a decodable record is
  // handed to the login session (ZVTLoginSession::install); every failure resets it
  // (failLogin). The partner login hands back the credentials to replay ("newVer" "yes" when
  // the partner account still has to be registered). A login whose reply arrives after the
  // user logged out is a failure and installs nothing.
  static void loginWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  static void loginThirdWith(const std::shared_ptr<NSDictionary>& parameters, LoginInfoCompletion completion);
  static void registerWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  // act=userInfo&do=pwd: on data 1 the stored "loginInfo" gets the new password, while the user
  // who changed it still holds the session.
  static void changePasswordWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  // act=userInfo&do=update: the record becomes userInfoDictionary and its enciphered text "info";
  // after a change of the session's user nothing is written and the answer is (nil, "保存失败").
  static void changeUserInfoWith(const std::shared_ptr<NSDictionary>& parameters, ProfileCompletion completion);
  // act=exchange_goods.
  static void getExchangeCentreDataWith(const std::shared_ptr<NSDictionary>& parameters,
                                        ExchangeStoreCompletion completion);

  // act=avatar: the PNG picture as a multipart form ("code", "time", "id", "command" and the
  // file "pic_data"), not enciphered, with the upload time-out. "id" is the user's who chose the
  // picture; the new address goes into the record only while that user holds the session.
  static void sendUserIconWith(const std::shared_ptr<NSData>& png, AvatarCompletion completion);
  // The push registration id ("pushId", "uid") to the JSON interface's m=up_push_id.
  static void sendTokenWithParamater(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion);
  // The push client's answer to the alias call: uploads the registration id when the delegate
  // holds one and a user record.
  static void tagsAliasCallback(NSInteger resultCode, const id& tags, const id& alias);
  // The store's version, synchronously: {"isUpdate", "version", "name", "updateUrl"}, or an
  // empty dictionary offline or without a usable lookup document.
  static std::shared_ptr<NSDictionary> checkTheVersionUpate();
  // Resets the in-memory session (through the login session's step).
  static void failLogin();
  // Replays the stored credentials when the stored "isLogin" is set (the partner's "web" and
  // "webId" first, else "userName" and "password"). A new session posts "remote" while a
  // launch payload is pending, then "login"; a failure deletes the server root's cookies.
  static void autoLogin();
};
