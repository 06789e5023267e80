#include "app/api/APIClient.h"

#include <mutex>
#include <utility>

#include "app/api/ZVTAPIClient.h"
#include "app/api/ZVTLoginSession.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/models/TZProductModel.h"
#include "platform/foundation/NSSet.h"
#include "platform/network/NSURL.h"

using zvt::replyCode;
using zvt::replyValue;

namespace {

const zvt::StaticString kTextSaveFailure{"保存失败"};

using Manager = NWHTTPRequestOperationManager;

// The shared client with the configured time-out applied (tests change it between calls).
std::shared_ptr<APIClient> client() {
  auto shared = APIClient::sharedClient();
  shared->requestSerializer()->setTimeoutInterval(zvt::Configuration::requestTimeout());
  return shared;
}

std::shared_ptr<NSString> urlFor(const std::shared_ptr<NSString>& path) {
  return zvt::Configuration::URLStringWithPath(path ? path->view() : std::string_view{});
}

std::shared_ptr<NSString> urlFor(const char* path) { return zvt::Configuration::URLStringWithPath(path); }

// The reply's "msg" as it came (a text), its "%@" text otherwise, nil without one.
std::shared_ptr<NSString> serverMessage(const id& reply, const std::shared_ptr<NSString>& fallback = nullptr) {
  id msg = replyValue(reply, "msg");
  if (!msg) return fallback;
  if (auto text = zvt::as<NSString>(msg)) return text;
  return NSString::stringWithFormat("%@", msg);
}

// Time stamp, then the signed POST; `failed` for a missing time stamp or a failed POST.
void signedPost(const char* path, const std::shared_ptr<NSDictionary>& parameters, std::function<void(const id&)> done,
                std::function<void()> failed) {
  auto fields = parameters ? parameters->copy() : NSDictionary::dictionary();
  auto url = urlFor(path);
  APIClient::getTimeStampOnComplete(
      [fields, url, done = std::move(done), failed = std::move(failed)](const id& time, const std::shared_ptr<NSString>&) {
        if (!time) {
          failed();
          return;
        }
        client()->Manager::POST(
            url, zvt::signedFields(fields, time),
            [done](const std::shared_ptr<NWHTTPRequestOperation>&, const id& reply) { done(reply); },
            [failed](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) { failed(); });
      });
}

// The five code, binding and password operations.
void simpleOperation(const char* path, const std::shared_ptr<NSDictionary>& parameters,
                     APIClient::SuccessCompletion completion) {
  signedPost(
      path, parameters,
      [completion](const id& reply) {
        if (replyCode(reply) == 101) {
          completion(true, nullptr);
        } else {
          completion(false, serverMessage(reply));
        }
      },
      [completion] { completion(false, zvt::kTextNetworkFailure); });
}

// Profile update and Alipay binding: the deciphered record replaces the delegate's.
void recordOperation(const char* path, const std::shared_ptr<NSDictionary>& parameters,
                     APIClient::RecordCompletion completion) {
  auto asker = ZVTLoginSession::currentUserId();
  signedPost(
      path, parameters,
      [completion, asker](const id& reply) {
        if (replyCode(reply) != 101) {
          completion(false, nullptr, serverMessage(reply));
          return;
        }
        auto record = zvt::as<NSDictionary>(zvt::decipheredPayload(replyValue(reply, "data")));
        // A record for a session that has since ended or changed hands is not this session's.
        if (!record || !ZVTLoginSession::isCurrentUser(asker)) {
          completion(false, nullptr, kTextSaveFailure);
          return;
        }
        auto delegate = AppDelegate::shared();
        delegate->setUserInfoDictionary(record);
        completion(true, delegate->userInfoDictionary(), nullptr);
      },
      [completion] { completion(false, nullptr, zvt::kTextNetworkFailure); });
}

template <class Model>
std::shared_ptr<NSArray> modelsFrom(const std::shared_ptr<NSArray>& rows) {
  auto models = NSMutableArray::array();
  if (!rows) return models;
  for (const id& row : *rows) {
    if (auto dict = zvt::as<NSDictionary>(row)) models->addObject(zvt::modelFromRecord<Model>(dict));
  }
  return models;
}

Manager::SuccessBlock successOf(const APIClient::Completion& completion) {
  return [completion](const std::shared_ptr<NWHTTPRequestOperation>&, const id& reply) {
    if (completion) completion(true, reply, nullptr);
  };
}

Manager::FailureBlock failureOf(const APIClient::Completion& completion) {
  return [completion](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>& error) {
    if (completion) completion(false, nullptr, error);
  };
}

}  // namespace

std::shared_ptr<APIClient> APIClient::sharedClient() {
  static std::once_flag once;
  static std::shared_ptr<APIClient> shared;
  std::call_once(once, [] {
    auto made = std::make_shared<APIClient>();
    made->setUpWithBaseURL(NSURL::URLWithString(zvt::Configuration::URLStringWithPath("")));
    auto request = NWJSONRequestSerializer::serializer();
    request->setTimeoutInterval(zvt::Configuration::requestTimeout());
    made->setRequestSerializer(request);
    auto response = NWJSONResponseSerializer::serializer();
    response->setAcceptableContentTypes(
        NSSet::setWithObjects({"application/json"_ns, "text/json"_ns, "text/javascript"_ns, "text/html"_ns}));
    made->setResponseSerializer(response);
    shared = made;
  });
  return shared;
}

void APIClient::getTimeStampOnComplete(TimeCompletion completion) {
  auto fail = [completion] { completion(nullptr, zvt::kTextTimeStampFailure); };
  client()->Manager::POST(
      urlFor("api/client.php?m=get_time"), NSDictionary::make({{"code"_ns, zvt::timeRequestCode()}}),
      [completion, fail](const std::shared_ptr<NWHTTPRequestOperation>&, const id& reply) {
        id time = replyValue(reply, "time");
        if (replyCode(reply) != 101 || !zvt::isUsableTime(time)) {
          fail();
          return;
        }
        completion(time, nullptr);
      },
      [fail](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) { fail(); });
}

void APIClient::getVerificationCodeWithParameter(const std::shared_ptr<NSDictionary>& parameters,
                                                 SuccessCompletion completion) {
  simpleOperation("api/client.php?m=get_register_code", parameters, std::move(completion));
}

void APIClient::getBindingVerificationCodeWithParameter(const std::shared_ptr<NSDictionary>& parameters,
                                                        SuccessCompletion completion) {
  simpleOperation("api/client.php?m=get_binding_phoneNumber_code", parameters, std::move(completion));
}

void APIClient::bindingPhoneWithParameter(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion) {
  simpleOperation("api/client.php?m=binding_phoneNumber", parameters, std::move(completion));
}

void APIClient::getForgetPasswordCodeWithParameter(const std::shared_ptr<NSDictionary>& parameters,
                                                   SuccessCompletion completion) {
  simpleOperation("api/client.php?m=get_forgot_pwd_code", parameters, std::move(completion));
}

void APIClient::resetPasswordWithParameter(const std::shared_ptr<NSDictionary>& parameters, SuccessCompletion completion) {
  simpleOperation("api/client.php?m=forgot_pwd_reset", parameters, std::move(completion));
}

void APIClient::registerWithParameter(const std::shared_ptr<NSDictionary>& parameters, RegisterCompletion completion) {
  auto request = parameters ? parameters->copy() : NSDictionary::dictionary();
  signedPost(
      "api/client.php?m=register", request,
      [request, completion](const id& reply) {
        NSInteger code = replyCode(reply);
        if (code != 101) {
          completion(false, code, serverMessage(reply, zvt::kTextRegisterFailure));
          return;
        }
        auto record = zvt::as<NSDictionary>(zvt::decipheredPayload(replyValue(reply, "data")));
        if (!record) {
          ZVTLoginSession::failLogin(ZVTSessionClient::APIClient);
          completion(false, code, zvt::kTextRegisterFailure);
          return;
        }
        auto loginInfo = NSMutableDictionary::dictionary();
        if (id phone = replyValue(request, "phoneNumber")) loginInfo->setObject(phone, "userName"_ns);
        if (id password = replyValue(request, "password")) loginInfo->setObject(password, "password"_ns);
        if (id web = replyValue(request, "web")) {
          loginInfo->setObject(web, "web"_ns);
          if (id webId = replyValue(request, "webId")) loginInfo->setObject(webId, "webId"_ns);
        }
        ZVTSessionInstall install;
        install.operation = ZVTSessionOperation::phoneRegistration;
        install.client = ZVTSessionClient::APIClient;
        install.request = request;
        install.reply = zvt::as<NSDictionary>(reply);
        install.record = record;
        install.info = zvt::as<NSString>(replyValue(reply, "data"));
        install.loginInfo = loginInfo->copy();
        install.setCookie = zvt::as<NSDictionary>(replyValue(reply, "setCookie"));
        install.welcomeRedpacket = true;
        ZVTLoginSession::install(install);
        completion(true, 101, nullptr);
      },
      [completion] { completion(false, 0, zvt::kTextNetworkFailure); });
}

void APIClient::getProductsWithParameter(const std::shared_ptr<NSDictionary>& parameters, ProductsCompletion completion) {
  signedPost(
      "api/client.php?m=get_goods", parameters,
      [completion](const id& reply) {
        if (replyCode(reply) != 101) {
          completion(0, nullptr, zvt::kTextLoadFailure);
          return;
        }
        auto rows = zvt::as<NSArray>(replyValue(reply, "data"));
        completion(zvt::integerValueOf(replyValue(reply, "end")), modelsFrom<TZProductModel>(rows), nullptr);
      },
      [completion] { completion(0, nullptr, zvt::kTextNetworkFailure); });
}

void APIClient::getMakeMoneyWithParameter(const std::shared_ptr<NSDictionary>& parameters, ItemsCompletion completion) {
  signedPost(
      "/api/client.php?m=get_makeProfits_data", parameters,
      [completion](const id& reply) {
        auto rows = zvt::as<NSArray>(replyValue(reply, "mainData"));
        if (!rows || rows->count() == 0) {
          completion(nullptr, zvt::kTextNoData);
          return;
        }
        completion(modelsFrom<TZHeaderInfoModel>(rows), nullptr);
      },
      [completion] { completion(nullptr, zvt::kTextNetworkFailure); });
}

void APIClient::updateUserinfoWithParameter(const std::shared_ptr<NSDictionary>& parameters,
                                            RecordCompletion completion) {
  recordOperation("/api/client.php?m=update_userinfo", parameters, std::move(completion));
}

void APIClient::bindingAlipayWithParameter(const std::shared_ptr<NSDictionary>& parameters, RecordCompletion completion) {
  recordOperation("/api/client.php?m=update_alipay", parameters, std::move(completion));
}

void APIClient::getCouponsWithParameter(const std::shared_ptr<NSDictionary>& parameters, ValueCompletion completion) {
  signedPost(
      "/api/client.php?m=get_coupon", parameters,
      [completion](const id& reply) {
        if (replyCode(reply) == 101) {
          completion(true, replyValue(reply, "coupons"), nullptr);
        } else {
          completion(false, nullptr, serverMessage(reply));
        }
      },
      [completion] { completion(false, nullptr, zvt::kTextNetworkFailure); });
}

void APIClient::extraRebateOfOrderWithParameter(const std::shared_ptr<NSDictionary>& parameters,
                                                ValueCompletion completion) {
  signedPost(
      "/api/client.php?m=use_coupon", parameters,
      [completion](const id& reply) {
        if (replyCode(reply) == 101) {
          completion(true, replyValue(replyValue(reply, "data"), "award"), nullptr);
        } else {
          completion(false, nullptr, serverMessage(reply));
        }
      },
      [completion] { completion(false, nullptr, zvt::kTextNetworkFailure); });
}

std::shared_ptr<NWHTTPRequestOperation> APIClient::GET(const std::shared_ptr<NSString>& path, const id& parameters,
                                                       Completion completion) {
  return client()->Manager::GET(urlFor(path), parameters, successOf(completion), failureOf(completion));
}

std::shared_ptr<NWHTTPRequestOperation> APIClient::POST(const std::shared_ptr<NSString>& path, const id& parameters,
                                                        Completion completion) {
  return client()->Manager::POST(urlFor(path), parameters, successOf(completion), failureOf(completion));
}

std::shared_ptr<NWHTTPRequestOperation> APIClient::POST(const std::shared_ptr<NSString>& path,
                                                        const std::shared_ptr<NSDictionary>& parameters,
                                                        std::function<void(NWMultipartFormData&)> constructingBodyWithBlock,
                                                        Completion completion) {
  return client()->Manager::POST(urlFor(path), parameters, std::move(constructingBodyWithBlock), successOf(completion),
                                 failureOf(completion));
}

std::shared_ptr<NWHTTPRequestOperation> APIClient::PUT(const std::shared_ptr<NSString>& path, const id& parameters,
                                                       Completion completion) {
  return client()->Manager::PUT(urlFor(path), parameters, successOf(completion), failureOf(completion));
}

std::shared_ptr<NWHTTPRequestOperation> APIClient::PATCH(const std::shared_ptr<NSString>& path, const id& parameters,
                                                         Completion completion) {
  return client()->Manager::PATCH(urlFor(path), parameters, successOf(completion), failureOf(completion));
}

std::shared_ptr<NWHTTPRequestOperation> APIClient::DELETE(const std::shared_ptr<NSString>& path, const id& parameters,
                                                          Completion completion) {
  return client()->Manager::DELETE(urlFor(path), parameters, successOf(completion), failureOf(completion));
}

void APIClient::tagsAliasCallback(NSInteger resultCode, const id& tags, const id& alias) {
  ZVTAPIClient::tagsAliasCallback(resultCode, tags, alias);
}
