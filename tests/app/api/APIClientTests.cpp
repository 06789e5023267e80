#include <gtest/gtest.h>

#include <string>

#include "app/api/APIClient.h"
#include "app/api/ZVTAPIClient.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/models/TZProductModel.h"
#include "app/models/TZTaobaoOrderModel.h"
#include "foundation/json/JSONDecoder.h"
#include "tests/app/api/ApiTestSupport.h"

namespace zvt::test {
namespace {

struct Result {
  int calls = 0;
  bool success = false;
  NSInteger code = -1;
  std::string message;
  id value;
};

std::string textOf(const std::shared_ptr<NSString>& m) { return m ? m->utf8() : "(nil)"; }

APIClient::SuccessCompletion into(Result& r) {
  return [&r](bool ok, const std::shared_ptr<NSString>& m) {
    r.success = ok;
    r.message = textOf(m);
    ++r.calls;
  };
}

// A product-list completion: the "end" value goes into `code`, the list into `value`.
APIClient::ProductsCompletion intoProducts(Result& r) {
  return [&r](NSInteger end, const std::shared_ptr<NSArray>& p, const std::shared_ptr<NSString>& m) {
    r.code = end;
    r.value = p;
    r.message = textOf(m);
    ++r.calls;
  };
}

APIClient::ValueCompletion intoValue(Result& r) {
  return [&r](bool ok, const id& v, const std::shared_ptr<NSString>& m) {
    r.success = ok;
    r.value = v;
    r.message = textOf(m);
    ++r.calls;
  };
}

APIClient::RegisterCompletion intoRegistration(Result& r) {
  return [&r](bool ok, NSInteger code, const std::shared_ptr<NSString>& m) {
    r.success = ok;
    r.code = code;
    r.message = textOf(m);
    ++r.calls;
  };
}

APIClient::ItemsCompletion intoItems(Result& r) {
  return [&r](const std::shared_ptr<NSArray>& items, const std::shared_ptr<NSString>& m) {
    r.value = items;
    r.message = textOf(m);
    ++r.calls;
  };
}

APIClient::RecordCompletion intoRecord(Result& r) {
  return [&r](bool ok, const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSString>& m) {
    r.success = ok;
    r.value = record;
    r.message = textOf(m);
    ++r.calls;
  };
}

class APIClientTest : public ClientTest {};

TEST_F(APIClientTest, EveryOperationSucceedsWithVerifiedSignatures) {
  const std::string phone = "13912345678";
  Result r;
  APIClient::getVerificationCodeWithParameter(NSDictionary::make({{"phoneNumber"_ns, str(phone)}}), into(r));
  waitForOne(r.calls);
  ASSERT_TRUE(r.success) << r.message;
  std::string sms = service().latestSmsCode(phone, "register");
  ASSERT_FALSE(sms.empty());

  r = {};
  APIClient::registerWithParameter(
      NSDictionary::make({{"phoneNumber"_ns, str(phone)}, {"verifyCode"_ns, str(sms)}, {"password"_ns, "secret12"_ns},
                          {"web"_ns, "qq"_ns}, {"webId"_ns, "QQ-NEW"_ns}}),
      intoRegistration(r));
  waitForOne(r.calls);
  ASSERT_TRUE(r.success) << r.message;
  EXPECT_EQ(r.code, 101);
  ASSERT_EQ(installs_.size(), 1u);
  const auto& install = installs_[0];
  EXPECT_EQ(install.client, ZVTSessionClient::APIClient);
  EXPECT_EQ(install.operation, ZVTSessionOperation::phoneRegistration);
  EXPECT_TRUE(install.welcomeRedpacket);
  EXPECT_EQ(text(install.loginInfo->objectForKey("userName"_ns)), phone);
  EXPECT_EQ(text(install.loginInfo->objectForKey("password"_ns)), "secret12");
  EXPECT_EQ(text(install.loginInfo->objectForKey("web"_ns)), "qq");
  EXPECT_EQ(text(install.loginInfo->objectForKey("webId"_ns)), "QQ-NEW");
  EXPECT_EQ(text(install.setCookie->objectForKey("var"_ns)), "ZVTSESSID");
  ASSERT_EQ(aliases_.size(), 1u);
  EXPECT_EQ(aliases_[0].callback, ZVTSessionClient::APIClient);
  EXPECT_EQ(aliases_[0].alias, text(install.record->objectForKey("id"_ns)));

  // What follows acts on the demo user's own data, which takes that user's session.
  r = {};
  ZVTAPIClient::loginWith(
      NSDictionary::make({{"userName"_ns, str(kServiceTestUserName)}, {"password"_ns, str(kServiceTestUserPassword)}}),
      into(r));
  waitForOne(r.calls);
  ASSERT_TRUE(r.success) << r.message;

  const std::string other = "13912345679";
  r = {};
  APIClient::getBindingVerificationCodeWithParameter(NSDictionary::make({{"phoneNumber"_ns, str(other)}}), into(r));
  waitForOne(r.calls);
  ASSERT_TRUE(r.success) << r.message;
  r = {};
  APIClient::bindingPhoneWithParameter(
      NSDictionary::make({{"phoneNumber"_ns, str(other)}, {"uid"_ns, str(kServiceTestUserId)},
                          {"verifyCode"_ns, str(service().latestSmsCode(other, "binding"))}}),
      into(r));
  waitForOne(r.calls);
  EXPECT_TRUE(r.success) << r.message;

  r = {};
  APIClient::getForgetPasswordCodeWithParameter(NSDictionary::make({{"phoneNumber"_ns, str(phone)}}), into(r));
  waitForOne(r.calls);
  ASSERT_TRUE(r.success) << r.message;
  r = {};
  APIClient::resetPasswordWithParameter(
      NSDictionary::make({{"phoneNumber"_ns, str(phone)}, {"password"_ns, "another1"_ns},
                          {"verifyCode"_ns, str(service().latestSmsCode(phone, "forgot"))}}),
      into(r));
  waitForOne(r.calls);
  EXPECT_TRUE(r.success) << r.message;

  r = {};
  APIClient::getProductsWithParameter(
      NSDictionary::make({{"userLevel"_ns, "1"_ns}, {"type"_ns, 3_n}, {"cid"_ns, 0_n}, {"number"_ns, 1_n}, {"ps"_ns, 12_n}}),
      intoProducts(r));
  waitForOne(r.calls);
  auto products = as<NSArray>(r.value);
  ASSERT_TRUE(products) << r.message;
  ASSERT_GT(products->count(), 0u);
  EXPECT_TRUE(as<TZProductModel>(products->firstObject())->zvtProductID);
  EXPECT_TRUE(r.code == 0 || r.code == 1);

  r = {};
  APIClient::getMakeMoneyWithParameter(nullptr, [&](const std::shared_ptr<NSArray>& items, const std::shared_ptr<NSString>&) {
    r.value = items;
    ++r.calls;
  });
  waitForOne(r.calls);
  ASSERT_TRUE(as<NSArray>(r.value));
  EXPECT_TRUE(as<TZHeaderInfoModel>(as<NSArray>(r.value)->firstObject()));

  auto recordInto = [](Result& out) {
    return [&out](bool ok, const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSString>& m) {
      out.success = ok;
      out.value = record;
      out.message = textOf(m);
      ++out.calls;
    };
  };
  r = {};
  APIClient::updateUserinfoWithParameter(
      NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}, {"qq"_ns, "778899"_ns}, {"email"_ns, "z@example.com"_ns}}),
      recordInto(r));
  waitForOne(r.calls);
  ASSERT_TRUE(r.success) << r.message;
  EXPECT_EQ(text(AppDelegate::shared()->userInfoDictionary()->objectForKey("qq"_ns)), "778899");
  r = {};
  APIClient::bindingAlipayWithParameter(
      NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}, {"alipay"_ns, "new@alipay.example.com"_ns},
                          {"realname"_ns, str("张三")}, {"password"_ns, str(kServiceTestUserPassword)}}),
      recordInto(r));
  waitForOne(r.calls);
  ASSERT_TRUE(r.success) << r.message;
  EXPECT_EQ(text(AppDelegate::shared()->userInfoDictionary()->objectForKey("alipay"_ns)), "new@alipay.example.com");

  auto valueInto = [](Result& out) {
    return [&out](bool ok, const id& value, const std::shared_ptr<NSString>& m) {
      out.success = ok;
      out.value = value;
      out.message = textOf(m);
      ++out.calls;
    };
  };
  // Coupons are offered per order, named by the order record's id (its orderID).
  std::shared_ptr<NSString> orderID;
  int calls = 0;
  ZVTAPIClient::getOrderWith(NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}, {"do"_ns, "taobao"_ns}, {"number"_ns, 1_n}}),
                             [&](const std::shared_ptr<NSArray>& models, const id&, const std::shared_ptr<NSString>&) {
                               for (const id& model : models ? *models : *NSArray::array()) {
                                 auto order = as<TZTaobaoOrderModel>(model);
                                 if (!orderID && order && text(order->can_useCoupon) == "1") orderID = as<NSString>(order->orderID);
                               }
                               ++calls;
                             });
  waitForOne(calls);
  ASSERT_TRUE(orderID);
  r = {};
  APIClient::getCouponsWithParameter(NSDictionary::make({{"uid"_ns, str(kServiceTestUserId)}, {"tradeId"_ns, orderID}}),
                                     valueInto(r));
  waitForOne(r.calls);
  auto coupons = as<NSArray>(r.value);
  ASSERT_TRUE(coupons && coupons->count() > 0) << r.message;
  id couponId = as<NSDictionary>(coupons->firstObject())->objectForKey("id"_ns);

  r = {};
  APIClient::extraRebateOfOrderWithParameter(
      NSDictionary::make({{"uid"_ns, str(kServiceTestUserId)}, {"couponId"_ns, NSString::stringWithFormat("%@", couponId)},
                          {"tradeId"_ns, orderID}}),
      valueInto(r));
  waitForOne(r.calls);
  EXPECT_TRUE(r.success) << r.message;
  EXPECT_TRUE(r.value);

  auto all = as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service().requestLog("", "json"))));
  int signedCalls = 0;
  for (const id& e : *all) {
    auto entry = as<NSDictionary>(e);
    EXPECT_EQ(at(entry, "signature"), "ok") << at(entry, "op");
    EXPECT_EQ(at(entry, "form"), "json") << at(entry, "op");
    signedCalls += at(entry, "op") != "get_time";
  }
  EXPECT_EQ(signedCalls, 12);
  EXPECT_EQ(at(lastEntry(service(), "get_time", "json"), "fields.code"), "f1c8d1197bf2fe78a8d78256708bb4b5");
}

TEST_F(APIClientTest, RefusalsHandOverTheServerMessageAndCode) {
  service().script(ScriptedReply{.op = "get_register_code", .iface = "json", .code = 202, .msg = "手机号格式不正确"});
  Result r;
  APIClient::getVerificationCodeWithParameter(NSDictionary::make({{"phoneNumber"_ns, "1"_ns}}), into(r));
  waitForOne(r.calls);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.message, "手机号格式不正确");

  r = {};
  APIClient::registerWithParameter(NSDictionary::make({{"phoneNumber"_ns, "13800138000"_ns}, {"password"_ns, "secret12"_ns}}),
                                   intoRegistration(r));
  waitForOne(r.calls);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.code, 202);
  EXPECT_EQ(r.message, "该手机号已注册");
  EXPECT_TRUE(fails_.empty());  // a refused registration leaves the session alone

  // A wrong signature is refused by the service.
  service().configure(R"({"time_window_ms": 0})");
  r = {};
  APIClient::getProductsWithParameter(nullptr, intoProducts(r));
  waitForOne(r.calls);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.value, nullptr);
  EXPECT_EQ(r.message, "加载失败");
  EXPECT_EQ(at(lastEntry(service(), "get_goods", "json"), "signature"), "expired_time");
}

TEST_F(APIClientTest, MissingTimeStampsAndAStoppedService) {
  // No "time" in a 101 reply: the operation ends in "网络异常" without sending its call.
  service().script(ScriptedReply{.op = "get_time", .iface = "json", .omitTime = true});
  Result r;
  APIClient::resetPasswordWithParameter(nullptr, into(r));
  waitForOne(r.calls);
  EXPECT_EQ(r.message, "网络异常");
  EXPECT_EQ(service().requestCount("forgot_pwd_reset"), 0);

  Result t;
  service().script(ScriptedReply{.op = "get_time", .iface = "json", .code = 0});
  APIClient::getTimeStampOnComplete([&](const id& time, const std::shared_ptr<NSString>& m) {
    t.value = time;
    t.message = textOf(m);
    ++t.calls;
  });
  waitForOne(t.calls);
  EXPECT_EQ(t.value, nullptr);
  EXPECT_EQ(t.message, "获取时间戳失败");

  // A time stamp sent as a number is echoed as a number and signed as its digits.
  service().script(ScriptedReply{.op = "get_time", .iface = "json", .timeAsNumber = true});
  r = {};
  APIClient::getForgetPasswordCodeWithParameter(NSDictionary::make({{"phoneNumber"_ns, "13800138000"_ns}}), into(r));
  waitForOne(r.calls);
  EXPECT_TRUE(r.success) << r.message;
  auto entry = lastEntry(service(), "get_forgot_pwd_code", "json");
  EXPECT_EQ(at(entry, "signature"), "ok");
  EXPECT_TRUE(isKind<NSNumber>(entry->valueForKeyPath("fields.time"_ns)));

  // A stopped service (other transport failures: RepliesAsTheyMayArriveOnBothInterfaces).
  service().stop();
  r = {};
  APIClient::registerWithParameter(nullptr, intoRegistration(r));
  waitForOne(r.calls);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.message, "网络异常");
  service().start();
}

TEST_F(APIClientTest, ListAndRecordEdgeReplies) {
  // A product list without "data" is an empty list with the "end" value.
  service().script(ScriptedReply{.op = "get_goods", .iface = "json", .code = 101, .extraJSON = R"({"end": 1})"});
  Result r;
  APIClient::getProductsWithParameter(nullptr, intoProducts(r));
  waitForOne(r.calls);
  EXPECT_EQ(r.code, 1);
  ASSERT_TRUE(as<NSArray>(r.value));
  EXPECT_EQ(as<NSArray>(r.value)->count(), 0u);
  EXPECT_EQ(r.message, "(nil)");

  // The earn-money list ignores a failing code when items came, and says "没有数据" without.
  service().script(ScriptedReply{.op = "get_makeProfits_data", .iface = "json", .code = 202,
                                 .extraJSON = R"({"mainData": [{"name": "任务", "link": "1", "id": "x"}]})"});
  r = {};
  APIClient::getMakeMoneyWithParameter(nullptr, intoItems(r));
  waitForOne(r.calls);
  ASSERT_TRUE(as<NSArray>(r.value));
  EXPECT_EQ(text(as<TZHeaderInfoModel>(as<NSArray>(r.value)->firstObject())->name), "任务");
  service().script(ScriptedReply{.op = "get_makeProfits_data", .iface = "json", .code = 101});
  r = {};
  APIClient::getMakeMoneyWithParameter(nullptr, intoItems(r));
  waitForOne(r.calls);
  EXPECT_EQ(r.value, nullptr);
  EXPECT_EQ(r.message, "没有数据");

  // A profile reply whose record does not decipher keeps the record and fails.
  AppDelegate::shared()->setUserInfoDictionary(NSDictionary::make({{"id"_ns, "10001"_ns}, {"qq"_ns, "1"_ns}}));
  auto before = AppDelegate::shared()->userInfoDictionary();
  service().script(ScriptedReply{.op = "update_userinfo", .iface = "json", .code = 101, .undecipherable = true});
  r = {};
  APIClient::updateUserinfoWithParameter(NSDictionary::make({{"id"_ns, "10001"_ns}, {"qq"_ns, "2"_ns}}),
                                         intoRecord(r));
  waitForOne(r.calls);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.message, "保存失败");
  EXPECT_EQ(AppDelegate::shared()->userInfoDictionary(), before);

  // A registration whose record does not decipher installs nothing.
  service().script(ScriptedReply{.op = "register", .iface = "json", .code = 101});
  r = {};
  APIClient::registerWithParameter(nullptr, intoRegistration(r));
  waitForOne(r.calls);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.message, "注册失败");
  EXPECT_TRUE(installs_.empty());
}

TEST_F(APIClientTest, RepliesAsTheyMayArriveOnBothInterfaces) {
  // The JSON interface's replies pass the HTTP layer's JSON serializer; the enciphered
  // interface parses whatever body arrives, whatever its status. A "code" sent as text counts
  // as that number.
  const auto phoneCode = [](Result& r) {
    APIClient::getForgetPasswordCodeWithParameter(NSDictionary::make({{"phoneNumber"_ns, str(kServiceTestUserPhone)}}),
                                                  into(r));
  };
  const auto feedback = [](Result& r) {
    ZVTAPIClient::submitFeedbackWith(NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}, {"content"_ns, "好"_ns}}),
                                     into(r));
  };
  const auto exchange = [](Result& r) {
    ZVTAPIClient::exchangeWith(NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}}), into(r));
  };
  const auto coupons = [](Result& r) { APIClient::getCouponsWithParameter(nullptr, intoValue(r)); };
  struct Case {
    const char* what;
    ScriptedReply reply;
    std::function<void(Result&)> run;
    bool success;
    std::string message;
  };
  const Case cases[] = {
      {"json: \"101\" as text", {.op = "get_forgot_pwd_code", .iface = "json", .codeText = "101"}, phoneCode, true, "(nil)"},
      {"json: \"202\" as text", {.op = "get_forgot_pwd_code", .iface = "json", .codeText = "202", .msg = "太频繁"},
       phoneCode, false, "太频繁"},
      {"json: a JSON reply as text/plain", {.op = "get_forgot_pwd_code", .iface = "json", .contentType = "text/plain"},
       phoneCode, false, "网络异常"},
      {"json: a truncated reply", {.op = "get_forgot_pwd_code", .iface = "json", .malformed = true}, phoneCode, false,
       "网络异常"},
      {"json: a truncated time reply", {.op = "get_time", .iface = "json", .malformed = true}, phoneCode, false, "网络异常"},
      {"json: HTTP 500 with a 101 body", {.op = "get_forgot_pwd_code", .iface = "json", .httpStatus = 500}, phoneCode,
       false, "网络异常"},
      {"json: a dropped connection", {.op = "get_coupon", .iface = "json", .drop = true, .sticky = true}, coupons, false,
       "网络异常"},
      {"enciphered: HTTP 500 with a 101 body", {.op = "feedback", .iface = "enciphered", .httpStatus = 500}, feedback,
       true, "(nil)"},
      {"enciphered: \"101\" as text", {.op = "exchange", .iface = "enciphered", .codeText = "101"}, exchange, true,
       "(nil)"},
      {"enciphered: \"222\" as text", {.op = "exchange", .iface = "enciphered", .codeText = "222", .msg = "x"}, exchange,
       false, "兑换失败"},
      {"enciphered: a reply as text/plain", {.op = "feedback", .iface = "enciphered", .contentType = "text/plain"},
       feedback, true, "(nil)"},
      {"enciphered: a truncated reply", {.op = "exchange", .iface = "enciphered", .malformed = true}, exchange, false,
       "兑换失败"},
      {"enciphered: a truncated time reply", {.op = "get_time", .iface = "enciphered", .malformed = true}, exchange, false,
       "兑换失败"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    service().clearScripts();
    service().script(c.reply);
    Result r;
    c.run(r);
    waitForOne(r.calls);
    EXPECT_EQ(r.success, c.success);
    EXPECT_EQ(r.message, c.message);
  }

  // The time requests themselves: "101" as text is a success on both.
  service().script(ScriptedReply{.op = "get_time", .iface = "json", .codeText = "101", .extraJSON = R"({"time": "17"})"});
  Result json;
  APIClient::getTimeStampOnComplete([&](const id& time, const std::shared_ptr<NSString>&) {
    json.value = time;
    ++json.calls;
  });
  waitForOne(json.calls);
  EXPECT_EQ(text(json.value), "17");
  service().script(ScriptedReply{.op = "get_time", .iface = "enciphered", .codeText = "101", .dataJSON = R"({"time": "18"})"});
  Result enciphered;
  ZVTAPIClient::getTimeStampOnCompletion([&](const std::shared_ptr<NSString>& time, const std::shared_ptr<NSError>&) {
    enciphered.value = time;
    ++enciphered.calls;
  });
  waitForOne(enciphered.calls);
  EXPECT_EQ(text(enciphered.value), "18");
}

TEST_F(APIClientTest, GenericVerbs) {
  Result r;
  APIClient::GET("api/client.php?m=get_ios_config"_ns, nullptr, [&](bool ok, const id& reply, const std::shared_ptr<NSError>& e) {
    r.success = ok;
    r.value = reply;
    EXPECT_EQ(e, nullptr);
    ++r.calls;
  });
  waitForOne(r.calls);
  ASSERT_TRUE(r.success);
  EXPECT_TRUE(as<NSDictionary>(r.value)->objectForKey("banner"_ns));
  EXPECT_EQ(at(lastEntry(service(), "get_ios_config", "json"), "method"), "GET");

  r = {};
  APIClient::POST("/api/client.php?m=nothing"_ns, NSDictionary::make({{"a"_ns, 1_n}}),
                  [&](bool ok, const id& reply, const std::shared_ptr<NSError>& e) {
                    r.success = ok;
                    r.value = reply;
                    EXPECT_TRUE(e);
                    ++r.calls;
                  });
  waitForOne(r.calls);
  EXPECT_FALSE(r.success);
  EXPECT_EQ(r.value, nullptr);
  EXPECT_EQ(at(lastEntry(service(), "nothing", "json"), "form"), "json");
}

TEST_F(APIClientTest, AliasCallbackUploadsTheRegistrationId) {
  AppDelegate::shared()->setUserInfoDictionary(NSDictionary::make({{"id"_ns, 10001_n}}));
  APIClient::tagsAliasCallback(0, nullptr, nullptr);
  runMainLoopUntil([] { return false; }, 0.2);
  EXPECT_EQ(service().requestCount("up_push_id"), 0);
  AppDelegate::shared()->setPushRegisterID("reg-9"_ns);
  APIClient::tagsAliasCallback(0, nullptr, nullptr);
  ASSERT_TRUE(runMainLoopUntil([&] { return service().requestCount("up_push_id") == 1; }));
  EXPECT_EQ(at(lastEntry(service(), "up_push_id", "json"), "fields.uid"), "10001");
  // The upload has no completion of its own to wait for: let its reply end it.
  ASSERT_TRUE(runMainLoopUntil([] { return zvt::urlConnectionLoadsInFlight() == 0; }, 15));
}

}  // namespace
}  // namespace zvt::test
