#include "app/api/ZVTAPIClient.h"

#include <string>
#include <utility>

#include "app/api/ZVTLoginSession.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/api/ZaveltoURLConnect.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/models/TZMessageModel.h"
#include "app/models/TZRefundModel.h"
#include "app/models/TZStoreOrderModel.h"
#include "app/models/TZTaobaoOrderModel.h"
#include "app/models/TZWithdrawModel.h"
#include "app/utilities/TovrelUntiles.h"
#include "foundation/json/JCSerializer.h"
#include "foundation/json/JSONDecoder.h"
#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/network/NSURL.h"
#include "platform/network/NSURLConnection.h"

using zvt::replyCode;
using zvt::replyMessage;
using zvt::replyValue;

namespace {

const zvt::StaticString kTextMailFailure{"邮件发送失败"};
const zvt::StaticString kTextExchangeFailure{"兑换失败"};
const zvt::StaticString kTextWithdrawFailure{"提现失败"};
const zvt::StaticString kTextFeedbackFailure{"提交失败"};
const zvt::StaticString kTextPasswordFailure{"密码修改失败"};
const zvt::StaticString kTextSaveFailure{"保存失败"};
const zvt::StaticString kTextTokenFailure{"上传token失败"};

std::string actPath(std::string_view act) { return "/index.php?mod=phone_api&act=" + std::string(act); }

// One reply of the enciphered interface: the body, its text, the transport error, and the
// reply object parsed from the bytes (for "code") and from the text (for the rest).
struct Reply {
  std::shared_ptr<NSData> data;
  std::shared_ptr<NSString> text;
  std::shared_ptr<NSError> error;
  id fromBytes;
  id fromText;

  NSInteger code() const { return replyCode(fromBytes); }
  id value(const char* key) const { return replyValue(fromText, key); }
};

Reply makeReply(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& text,
                const std::shared_ptr<NSError>& error) {
  Reply r{data, text, error, nullptr, nullptr};
  if (data) r.fromBytes = objectFromJSONData(*data);
  if (text) r.fromText = objectFromJSONString(*text);
  return r;
}

bool oneOf(NSInteger code, std::initializer_list<NSInteger> codes) {
  for (NSInteger c : codes) {
    if (c == code) return true;
  }
  return false;
}

// The enciphered body: pretty JSON text, DES, Base64, written as a JSON string literal.
std::shared_ptr<NSData> encipheredBody(const std::shared_ptr<NSDictionary>& fields) {
  auto cipher = TovrelUntiles::encryptUseDES(TovrelUntiles::turnToJSONStringWithObject(fields));
  return JSONData(*(cipher ? cipher : NSString::string()));
}

void send(const std::shared_ptr<NSURLRequest>& request, std::function<void(const Reply&)> done) {
  ZaveltoURLConnect::accessServerWithRequest(
      request, [done = std::move(done)](const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& text,
                                        const std::shared_ptr<NSError>& error) { done(makeReply(data, text, error)); });
}

// Time stamp, then the signed, enciphered call; `noTime` gets the time request's error.
void signedCall(const std::string& path, const std::shared_ptr<NSDictionary>& parameters,
                std::function<void(const std::shared_ptr<NSError>&)> noTime, std::function<void(const Reply&)> done) {
  auto fields = parameters ? parameters->copy() : NSDictionary::dictionary();
  ZVTAPIClient::getTimeStampOnCompletion(
      [path, fields, noTime = std::move(noTime), done = std::move(done)](const std::shared_ptr<NSString>& time,
                                                                         const std::shared_ptr<NSError>& error) {
        if (!time) {
          noTime(error);
          return;
        }
        auto request = ZVTAPIClient::createURLRequestWith(NSString::stringWithUTF8String(path));
        request->setHTTPBody(encipheredBody(zvt::signedFields(fields, time)));
        send(request, done);
      });
}

// The two-argument operations with a fixed failure text for the codes they name; a failed
// connection gives `dropped` ("网络异常" when none is given).
void messageOperation(const char* act, const std::shared_ptr<NSDictionary>& parameters,
                      std::initializer_list<NSInteger> fixedCodes, const std::shared_ptr<NSString>& failure,
                      std::function<void(const Reply&)> success, std::function<void(const std::shared_ptr<NSString>&)> fail,
                      std::shared_ptr<NSString> dropped = nullptr) {
  std::vector<NSInteger> codes(fixedCodes);
  if (!dropped) dropped = zvt::kTextNetworkFailure;
  signedCall(
      actPath(act), parameters, [fail, failure](const std::shared_ptr<NSError>&) { fail(failure); },
      [codes, failure, dropped, success = std::move(success), fail](const Reply& reply) {
        if (reply.error) {
          fail(dropped);
          return;
        }
        NSInteger code = reply.code();
        if (code == 101) {
          success(reply);
        } else if (std::find(codes.begin(), codes.end(), code) != codes.end()) {
          fail(failure);
        } else {
          fail(replyMessage(reply.fromText, failure));
        }
      });
}

template <class Model>
std::shared_ptr<NSArray> modelsFrom(const std::shared_ptr<NSArray>& rows) {
  auto models = NSMutableArray::array();
  for (const id& row : *rows) {
    if (auto dict = zvt::as<NSDictionary>(row)) models->addObject(zvt::modelFromRecord<Model>(dict));
  }
  return models;
}

using RowsToModels = std::shared_ptr<NSArray> (*)(const std::shared_ptr<NSArray>&);

// The three list operations: deciphered "data" as an array of rows.
void listOperation(const char* act, const std::shared_ptr<NSDictionary>& parameters, RowsToModels toModels,
                   ZVTAPIClient::ListCompletion completion) {
  auto fail = [completion] { completion(nullptr, nullptr, zvt::kTextLoadFailure); };
  signedCall(
      actPath(act), parameters, [fail](const std::shared_ptr<NSError>&) { fail(); },
      [toModels, completion, fail](const Reply& reply) {
        if (reply.error || reply.code() != 101) {
          fail();
          return;
        }
        auto rows = zvt::as<NSArray>(zvt::decipheredPayload(reply.value("data")));
        if (!rows) {
          fail();
          return;
        }
        completion(toModels(rows), reply.value("end"), nullptr);
      });
}

std::shared_ptr<NSDictionary> recordFrom(const id& data) {
  return zvt::as<NSDictionary>(zvt::decipheredPayload(data));
}

// "loginInfo" entries copied from the request.
void copyField(const std::shared_ptr<NSMutableDictionary>& to, const std::shared_ptr<NSDictionary>& from,
               const char* key) {
  id value = replyValue(from, key);
  if (value) to->setObject(value, NSString::stringWithUTF8String(key));
}

ZVTSessionInstall sessionInstall(ZVTSessionOperation operation, const std::shared_ptr<NSDictionary>& request,
                                 const Reply& reply, const std::shared_ptr<NSDictionary>& record,
                                 const std::shared_ptr<NSDictionary>& loginInfo) {
  ZVTSessionInstall install;
  install.operation = operation;
  install.client = ZVTSessionClient::ZVTAPIClient;
  install.request = request;
  install.reply = zvt::as<NSDictionary>(reply.fromText);
  install.record = record;
  install.info = zvt::as<NSString>(reply.value("data"));
  install.loginInfo = loginInfo->copy();
  install.setCookie = zvt::as<NSDictionary>(reply.value("setCookie"));
  return install;
}

}  // namespace

std::shared_ptr<NSMutableURLRequest> ZVTAPIClient::createURLRequestWith(const std::shared_ptr<NSString>& path) {
  auto url = NSURL::URLWithString(zvt::Configuration::URLStringWithPath(path ? path->view() : std::string_view{}));
  auto request = NSMutableURLRequest::requestWithURL(url, NSURLRequestUseProtocolCachePolicy,
                                                     zvt::Configuration::requestTimeout());
  request->setHTTPMethod("POST");
  request->setValue("application/x-www-form-urlencoded", "Content-Type");
  return request;
}

void ZVTAPIClient::getTimeStampOnCompletion(TimeCompletion completion) {
  auto request = createURLRequestWith(NSString::stringWithUTF8String(actPath("get_time")));
  request->setHTTPBody(encipheredBody(NSDictionary::make({{"code"_ns, zvt::timeRequestCode()}})));
  send(request, [completion = std::move(completion)](const Reply& reply) {
    if (reply.error) {
      completion(nullptr, reply.error);
      return;
    }
    // The time stamp is enciphered too; its payload is read from the bytes once more.
    id payload = reply.code() == 101 ? zvt::decipheredPayload(replyValue(reply.fromBytes, "data")) : nullptr;
    id time = replyValue(payload, "time");
    if (!zvt::isUsableTime(time)) {
      completion(nullptr, nullptr);
      return;
    }
    completion(NSString::stringWithFormat("%@", time), nullptr);
  });
}

void ZVTAPIClient::getEmailAddressWith(const std::shared_ptr<NSDictionary>& parameters, ResultCompletion completion) {
  messageOperation(
      "get_pwd", parameters, {111, 201, 202, 222}, kTextMailFailure,
      [completion](const Reply& reply) { completion(replyValue(reply.value("data"), "email_web"), nullptr); },
      [completion](const std::shared_ptr<NSString>& message) { completion(nullptr, message); });
}

void ZVTAPIClient::exchangeWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion) {
  messageOperation(
      "exchange", parameters, {111, 201, 202, 222}, kTextExchangeFailure,
      [completion](const Reply&) { completion(true, nullptr); },
      [completion](const std::shared_ptr<NSString>& message) { completion(false, message); }, kTextExchangeFailure);
}

void ZVTAPIClient::withdrawWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion) {
  messageOperation(
      "outCash", parameters, {111, 201, 202, 222}, kTextWithdrawFailure,
      [completion](const Reply&) { completion(true, nullptr); },
      [completion](const std::shared_ptr<NSString>& message) { completion(false, message); }, kTextWithdrawFailure);
}

void ZVTAPIClient::getOrderWith(const std::shared_ptr<NSDictionary>& parameters, ListCompletion completion) {
  auto kind = zvt::fieldText(parameters, "do");
  bool taobao = kind && kind->isEqualToString("taobao");
  listOperation("order", parameters, taobao ? &modelsFrom<TZTaobaoOrderModel> : &modelsFrom<TZStoreOrderModel>,
                std::move(completion));
}

void ZVTAPIClient::getRefundWith(const std::shared_ptr<NSDictionary>& parameters, ListCompletion completion) {
  auto kind = zvt::fieldText(parameters, "do");
  bool out = kind && kind->isEqualToString("out");
  listOperation("getUserDetailed", parameters, out ? &modelsFrom<TZWithdrawModel> : &modelsFrom<TZRefundModel>,
                std::move(completion));
}

void ZVTAPIClient::getMessageWith(const std::shared_ptr<NSDictionary>& parameters, ListCompletion completion) {
  listOperation("msg", parameters, &modelsFrom<TZMessageModel>, std::move(completion));
}

void ZVTAPIClient::submitFeedbackWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion) {
  signedCall(
      actPath("feedback"), parameters,
      [completion](const std::shared_ptr<NSError>&) { completion(false, kTextFeedbackFailure); },
      [completion](const Reply& reply) {
        if (!reply.error && reply.code() == 101) {
          completion(true, nullptr);
        } else {
          completion(false, kTextFeedbackFailure);
        }
      });
}

void ZVTAPIClient::getUserInfoWith(const std::shared_ptr<NSDictionary>& parameters, RecordCompletion completion) {
  auto asker = ZVTLoginSession::currentUserId();
  signedCall(
      actPath("userInfo&do=my"), parameters,
      [completion](const std::shared_ptr<NSError>& error) { completion(nullptr, error); },
      [completion, asker](const Reply& reply) {
        if (reply.error) {
          completion(nullptr, reply.error);
          return;
        }
        auto record = reply.code() == 101 ? recordFrom(reply.value("data")) : nullptr;
        // A record for a session that has since ended or changed hands is not this session's.
        if (!record || !ZVTLoginSession::isCurrentUser(asker)) {
          completion(nullptr, nullptr);
          return;
        }
        auto delegate = AppDelegate::shared();
        delegate->setUserInfoDictionary(record);
        completion(delegate->userInfoDictionary(), nullptr);
      });
}

void ZVTAPIClient::loginWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion) {
  auto request = parameters ? parameters->copy() : NSDictionary::dictionary();
  auto fail = [completion](const std::shared_ptr<NSString>& message) {
    failLogin();
    completion(false, message);
  };
  const auto logouts = ZVTLoginSession::logoutCount();
  messageOperation(
      "login", request, {111, 201, 202}, zvt::kTextLoginFailure,
      [request, completion, fail, logouts](const Reply& reply) {
        auto record = recordFrom(reply.value("data"));
        // The user logged out while this login was on its way: the logout stands.
        if (!record || ZVTLoginSession::logoutCount() != logouts) {
          fail(zvt::kTextLoginFailure);
          return;
        }
        auto loginInfo = NSMutableDictionary::dictionary();
        copyField(loginInfo, request, "userName");
        copyField(loginInfo, request, "password");
        ZVTLoginSession::install(
            sessionInstall(ZVTSessionOperation::passwordLogin, request, reply, record, loginInfo));
        completion(true, nullptr);
      },
      fail);
}

void ZVTAPIClient::loginThirdWith(const std::shared_ptr<NSDictionary>& parameters, LoginInfoCompletion completion) {
  auto request = parameters ? parameters->copy() : NSDictionary::dictionary();
  auto fail = [completion](const std::shared_ptr<NSError>& error) {
    failLogin();
    completion(nullptr, error);
  };
  const auto logouts = ZVTLoginSession::logoutCount();
  signedCall(actPath("OAuth_login"), request, fail, [request, completion, fail, logouts](const Reply& reply) {
    if (reply.error || reply.code() != 101 || ZVTLoginSession::logoutCount() != logouts) {
      fail(reply.error);
      return;
    }
    auto loginInfo = NSMutableDictionary::dictionary();
    copyField(loginInfo, request, "web");
    copyField(loginInfo, request, "webId");
    id first = reply.value("firstLogin");
    if (first) loginInfo->setObject(first, "first"_ns);
    if (zvt::integerValueOf(first) == 1) {
      // Not registered yet: the login screens go on to register the partner account.
      loginInfo->setObject("yes"_ns, "newVer"_ns);
      completion(loginInfo->copy(), nullptr);
      return;
    }
    auto record = recordFrom(reply.value("data"));
    if (!record) {
      fail(nullptr);
      return;
    }
    if (id name = replyValue(record, "ddusername")) loginInfo->setObject(name, "userName"_ns);
    ZVTLoginSession::install(sessionInstall(ZVTSessionOperation::partnerLogin, request, reply, record, loginInfo));
    completion(loginInfo->copy(), nullptr);
  });
}

void ZVTAPIClient::registerWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion) {
  auto request = parameters ? parameters->copy() : NSDictionary::dictionary();
  auto fail = [completion](const std::shared_ptr<NSString>& message) {
    failLogin();
    completion(false, message);
  };
  messageOperation(
      "register", request, {111, 201, 202}, zvt::kTextRegisterFailure,
      [request, completion, fail](const Reply& reply) {
        auto record = recordFrom(reply.value("data"));
        if (!record) {
          fail(zvt::kTextRegisterFailure);
          return;
        }
        auto loginInfo = NSMutableDictionary::dictionary();
        if (replyValue(request, "web")) {
          copyField(loginInfo, request, "web");
          copyField(loginInfo, request, "webId");
          if (id name = replyValue(record, "ddusername")) loginInfo->setObject(name, "userName"_ns);
        } else {
          copyField(loginInfo, request, "userName");
          copyField(loginInfo, request, "password");
        }
        auto install = sessionInstall(ZVTSessionOperation::registration, request, reply, record, loginInfo);
        install.welcomeRedpacket = true;
        ZVTLoginSession::install(install);
        completion(true, nullptr);
      },
      fail);
}

void ZVTAPIClient::changePasswordWith(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion) {
  auto request = parameters ? parameters->copy() : NSDictionary::dictionary();
  auto asker = ZVTLoginSession::currentUserId();
  messageOperation(
      "userInfo&do=pwd", request, {111, 201, 202}, kTextPasswordFailure,
      [request, completion, asker](const Reply& reply) {
        id data = replyValue(reply.fromBytes, "data");
        if (zvt::integerValueOf(data) != 1) {
          completion(false, kTextPasswordFailure);
          return;
        }
        auto defaults = NSUserDefaults::standardUserDefaults();
        auto stored = defaults->dictionaryForKey("loginInfo"_ns);
        id password = replyValue(request, "ddpwd");
        // The stored credentials are another user's once the session has changed hands.
        if (stored && password && ZVTLoginSession::isCurrentUser(asker)) {
          auto loginInfo = stored->mutableCopy();
          loginInfo->setObject(password, "password"_ns);
          defaults->setObject(loginInfo, "loginInfo"_ns);
          defaults->synchronize();
        }
        completion(true, nullptr);
      },
      [completion](const std::shared_ptr<NSString>& message) { completion(false, message); });
}

void ZVTAPIClient::changeUserInfoWith(const std::shared_ptr<NSDictionary>& parameters, ProfileCompletion completion) {
  auto asker = ZVTLoginSession::currentUserId();
  messageOperation(
      "userInfo&do=update", parameters, {111, 201, 202}, kTextSaveFailure,
      [completion, asker](const Reply& reply) {
        auto info = zvt::as<NSString>(reply.value("data"));
        auto record = recordFrom(info);
        if (!record || !ZVTLoginSession::isCurrentUser(asker)) {
          completion(nullptr, kTextSaveFailure);
          return;
        }
        auto delegate = AppDelegate::shared();
        delegate->setUserInfoDictionary(record);
        auto defaults = NSUserDefaults::standardUserDefaults();
        defaults->setObject(info, "info"_ns);
        defaults->synchronize();
        completion(delegate->userInfoDictionary(), nullptr);
      },
      [completion](const std::shared_ptr<NSString>& message) { completion(nullptr, message); });
}

void ZVTAPIClient::getExchangeCentreDataWith(const std::shared_ptr<NSDictionary>& parameters,
                                             ExchangeStoreCompletion completion) {
  signedCall(
      actPath("exchange_goods"), parameters,
      [completion](const std::shared_ptr<NSError>& error) {
        completion(false, nullptr, error ? id(error->copy()) : nullptr);
      },
      [completion](const Reply& reply) {
        if (reply.error && reply.error->code() != 0) {
          completion(false, nullptr, reply.error->copy());
          return;
        }
        NSInteger code = reply.code();
        if (code == 101) {
          auto list = zvt::as<NSArray>(zvt::decipheredPayload(reply.value("data")));
          completion(list != nullptr, list, list ? reply.value("end") : nullptr);
        } else if (oneOf(code, {111, 201, 222})) {
          completion(false, nullptr, NSString::stringWithFormat("%ld", static_cast<long>(code)));
        } else {
          completion(false, nullptr, nullptr);
        }
      });
}

void ZVTAPIClient::sendUserIconWith(const std::shared_ptr<NSData>& png, AvatarCompletion completion) {
  // The picture belongs to the user who chose it, whoever holds the session when it is sent.
  auto asker = ZVTLoginSession::currentUserId();
  getTimeStampOnCompletion([png, completion, asker](const std::shared_ptr<NSString>& time,
                                                    const std::shared_ptr<NSError>& error) {
    if (!time) {
      completion(nullptr, error);
      return;
    }
    auto fields = NSMutableDictionary::dictionary();
    fields->setObject(zvt::signatureForTime(time), "code"_ns);
    fields->setObject(time, "time"_ns);
    if (asker) fields->setObject(asker, "id"_ns);
    fields->setObject("ios"_ns, "command"_ns);

    auto url = NSURL::URLWithString(zvt::Configuration::URLStringWithPath("/index.php?mod=phone_api&act=avatar"));
    auto request = NSMutableURLRequest::requestWithURL(url, NSURLRequestReloadIgnoringLocalCacheData,
                                                       zvt::Configuration::uploadTimeout());
    const std::string boundary = "AaB03x";
    const std::string boundaryLine = "--" + boundary;
    auto text = NSMutableString::string();
    for (const id& key : *fields) {
      text->appendFormat("%s\r\n", boundaryLine);
      text->appendFormat("Content-Disposition: form-data; name=\"%@\"\r\n\r\n", key);
      text->appendFormat("%@\r\n", fields->objectForKey(key));
    }
    text->appendFormat("%s\r\n", boundaryLine);
    text->appendFormat("Content-Disposition: form-data; name=\"pic_data\"; filename=\"userIcon.png\"\r\n");
    text->appendFormat("Content-Type: image/png\r\n\r\n");
    auto body = NSMutableData::data();
    body->appendString(text->view());
    if (png) body->appendData(png);
    body->appendString("\r\n" + boundaryLine + "--");
    request->setValue(NSString::stringWithFormat("multipart/form-data; boundary=%s", boundary), "Content-Type"_ns);
    request->setValue(NSString::stringWithFormat("%lu", static_cast<unsigned long>(body->length())),
                      "Content-Length"_ns);
    request->setHTTPMethod("POST");
    request->setHTTPBody(body);
    send(request, [completion, asker](const Reply& reply) {
      if (reply.error || reply.code() != 101) {
        completion(nullptr, reply.error);
        return;
      }
      id avatar = replyValue(replyValue(reply.fromBytes, "data"), "avatar");
      auto delegate = AppDelegate::shared();
      if (auto record = delegate->userInfoDictionary(); record && avatar && ZVTLoginSession::isCurrentUser(asker)) {
        auto updated = record->mutableCopy();
        updated->setObject(avatar, "avatar"_ns);
        delegate->setUserInfoDictionary(updated);
      }
      completion(avatar, nullptr);
    });
  });
}

void ZVTAPIClient::sendTokenWithParamater(const std::shared_ptr<NSDictionary>& parameters,
                                          SuccessCompletion completion) {
  auto fields = parameters ? parameters->copy() : NSDictionary::dictionary();
  auto fail = [completion] { completion(false, kTextTokenFailure); };
  auto timeRequest = NSMutableURLRequest::requestWithURL(
      NSURL::URLWithString(zvt::Configuration::URLStringWithPath("/api/client.php?m=get_time")));
  timeRequest->setHTTPMethod("POST");
  timeRequest->setValue("application/x-www-form-urlencoded", "Content-Type");
  timeRequest->setHTTPBody(encipheredBody(NSDictionary::make({{"code"_ns, zvt::timeRequestCode()}})));
  send(timeRequest, [fields, completion, fail](const Reply& reply) {
    id time = replyValue(reply.fromBytes, "time");
    if (reply.error || reply.code() != 101 || !zvt::isUsableTime(time)) {
      fail();
      return;
    }
    auto timeText = NSString::stringWithFormat("%@", time);
    auto call = NSMutableURLRequest::requestWithURL(
        NSURL::URLWithString(zvt::Configuration::URLStringWithPath("/api/client.php?m=up_push_id")));
    call->setHTTPMethod("POST");
    call->setValue("application/x-www-form-urlencoded", "Content-Type");
    call->setHTTPBody(JSONData(*zvt::signedFields(fields, timeText)));
    send(call, [completion, fail](const Reply& answer) {
      if (!answer.error && answer.code() == 101) {
        completion(true, nullptr);
      } else {
        fail();
      }
    });
  });
}

void ZVTAPIClient::tagsAliasCallback(NSInteger, const id&, const id&) {
  auto delegate = AppDelegate::shared();
  auto registrationID = delegate->PushRegisterID();
  auto record = delegate->userInfoDictionary();
  id userId = replyValue(record, "id");
  if (!registrationID || registrationID->length() == 0 || !record || !userId) return;
  sendTokenWithParamater(NSDictionary::make({{"pushId"_ns, registrationID}, {"uid"_ns, userId}}),
                         [](bool, const std::shared_ptr<NSString>&) {});
}

std::shared_ptr<NSDictionary> ZVTAPIClient::checkTheVersionUpate() {
  auto result = NSMutableDictionary::dictionary();
  if (!AppDelegate::shared()->isConnectNetwork()) return result;
  auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(zvt::Configuration::appStoreLookupURLString()));
  std::shared_ptr<NSError> error;
  auto data = NSURLConnection::sendSynchronousRequest(request, nullptr, &error);
  if (!data) return result;
  id lookup;
  try {
    lookup = NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingMutableLeaves, nullptr);
  } catch (const NSException&) {
    return result;
  }
  auto results = zvt::as<NSArray>(replyValue(lookup, "results"));
  if (!results || results->count() == 0) return result;
  auto first = zvt::as<NSDictionary>(results->objectAtIndex(0));
  if (!first) return result;
  auto info = NSBundle::mainBundle()->infoDictionary();
  id storeVersion = replyValue(first, "version");
  id ownVersion = replyValue(info, "CFBundleShortVersionString");
  bool differs = !zvt::objectsEqual(storeVersion, ownVersion);
  result->setObject(NSString::stringWithFormat("%d", differs ? 1 : 0), "isUpdate"_ns);
  if (storeVersion) result->setObject(storeVersion, "version"_ns);
  if (id name = replyValue(info, "CFBundleDisplayName")) result->setObject(name, "name"_ns);
  if (id url = replyValue(first, "trackViewUrl")) result->setObject(url, "updateUrl"_ns);
  return result;
}

void ZVTAPIClient::failLogin() { ZVTLoginSession::failLogin(ZVTSessionClient::ZVTAPIClient); }
