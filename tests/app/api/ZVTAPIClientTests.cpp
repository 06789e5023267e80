#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/api/ZVTAPIClient.h"
#include "app/models/TZMessageModel.h"
#include "app/models/TZRefundModel.h"
#include "app/models/TZStoreOrderModel.h"
#include "app/models/TZTaobaoOrderModel.h"
#include "app/models/TZWithdrawModel.h"
#include "app/utilities/TovrelUntiles.h"
#include "foundation/json/JSONDecoder.h"
#include "tests/app/api/ApiTestSupport.h"

namespace zvt::test {
namespace {

// The user the demo data knows, logged in through the client.
class ZVTAPIClientTest : public ClientTest {
 protected:
  void login() {
    int calls = 0;
    bool ok = false;
    ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, str(kServiceTestUserName)},
                                                {"password"_ns, str(kServiceTestUserPassword)}}),
                            [&](bool success, const std::shared_ptr<NSString>&) {
                              ok = success;
                              ++calls;
                            });
    waitForOne(calls);
    ASSERT_TRUE(ok);
  }
  static std::shared_ptr<NSDictionary> userFields(std::initializer_list<std::pair<const char*, id>> more = {}) {
    auto fields = NSMutableDictionary::make({{"id"_ns, str(kServiceTestUserId)}});
    for (const auto& [k, v] : more) fields->setObject(v, NSString::stringWithUTF8String(k));
    return fields;
  }
};

TEST_F(ZVTAPIClientTest, TimeStampIsEncipheredAndSignedWithTheKnownCode) {
  service().configure(R"({"fixed_time": "1700000000"})");
  int calls = 0;
  std::shared_ptr<NSString> time;
  ZVTAPIClient::getTimeStampOnCompletion([&](const std::shared_ptr<NSString>& t, const std::shared_ptr<NSError>&) {
    time = t;
    ++calls;
  });
  waitForOne(calls);
  EXPECT_EQ(text(time), "1700000000");
  auto entry = lastEntry(service(), "get_time");
  EXPECT_EQ(at(entry, "form"), "des");
  EXPECT_EQ(at(entry, "fields.code"), "f1c8d1197bf2fe78a8d78256708bb4b5");
  EXPECT_EQ(at(entry, "signature"), "ok");
  EXPECT_EQ(at(entry, "headers.Content-Type"), "application/x-www-form-urlencoded");

  calls = 0;
  ZVTAPIClient::submitFeedbackWith(userFields({{"content", str("很好用")}}),
                                   [&](bool ok, const std::shared_ptr<NSString>&) {
                                     EXPECT_TRUE(ok);
                                     ++calls;
                                   });
  waitForOne(calls);
  entry = lastEntry(service(), "feedback");
  EXPECT_EQ(at(entry, "fields.time"), "1700000000");
  EXPECT_EQ(at(entry, "fields.code"), "cc0412e143de79eaf12ee2b8f1b92ace");
  EXPECT_EQ(at(entry, "signature"), "ok");
  // The deciphered body is the pretty-printed JSON text of the fields.
  EXPECT_NE(at(entry, "plain").find('\n'), std::string::npos);
}

TEST_F(ZVTAPIClientTest, EveryOperationSucceedsAgainstTheService) {
  login();
  ASSERT_EQ(installs_.size(), 1u);
  EXPECT_EQ(text(installs_[0].record->objectForKey("id"_ns)), kServiceTestUserId);
  EXPECT_EQ(text(installs_[0].loginInfo->objectForKey("userName"_ns)), kServiceTestUserName);
  EXPECT_EQ(text(installs_[0].loginInfo->objectForKey("password"_ns)), kServiceTestUserPassword);
  EXPECT_EQ(text(installs_[0].setCookie->objectForKey("var"_ns)), "ZVTSESSID");
  EXPECT_TRUE(installs_[0].info && installs_[0].info->length() > 0);
  EXPECT_TRUE(AppDelegate::shared()->isLogin());
  ASSERT_EQ(aliases_.size(), 1u);
  EXPECT_EQ(aliases_[0].alias, kServiceTestUserId);
  EXPECT_EQ(aliases_[0].callback, ZVTSessionClient::ZVTAPIClient);

  int calls = 0;
  ZVTAPIClient::getUserInfoWith(userFields(), [&](const std::shared_ptr<NSDictionary>& record,
                                                  const std::shared_ptr<NSError>&) {
    EXPECT_EQ(text(record ? record->objectForKey("ddusername"_ns) : nullptr), kServiceTestUserName);
    ++calls;
  });
  waitForOne(calls);

  for (const char* kind : {"taobao", "mall"}) {
    calls = 0;
    ZVTAPIClient::getOrderWith(userFields({{"number", 1_n}, {"do", str(kind)}}),
                               [&](const std::shared_ptr<NSArray>& models, const id& end,
                                   const std::shared_ptr<NSString>& message) {
                                 ASSERT_TRUE(models) << text(message);
                                 ASSERT_GT(models->count(), 0u);
                                 if (std::string(kind) == "taobao") {
                                   auto order = as<TZTaobaoOrderModel>(models->firstObject());
                                   ASSERT_TRUE(order);
                                   EXPECT_TRUE(order->orderID);
                                 } else {
                                   EXPECT_TRUE(as<TZStoreOrderModel>(models->firstObject()));
                                 }
                                 EXPECT_TRUE(end);
                                 ++calls;
                               });
    waitForOne(calls);
  }
  // The demo user has withdrawals ("out") and asset entries ("in"): every page element is of
  // the kind's model class.
  for (const char* kind : {"out", "in"}) {
    calls = 0;
    ZVTAPIClient::getRefundWith(userFields({{"number", 1_n}, {"do", str(kind)}}),
                                [&](const std::shared_ptr<NSArray>& models, const id&, const std::shared_ptr<NSString>&) {
                                  ++calls;
                                  ASSERT_TRUE(models);
                                  ASSERT_GT(models->count(), 0u) << kind;
                                  for (const id& model : *models) {
                                    EXPECT_TRUE(std::string(kind) == "out" ? isKind<TZWithdrawModel>(model)
                                                                           : isKind<TZRefundModel>(model))
                                        << kind;
                                  }
                                });
    waitForOne(calls);
  }
  calls = 0;
  ZVTAPIClient::getMessageWith(userFields({{"number", 1_n}}),
                               [&](const std::shared_ptr<NSArray>& models, const id&, const std::shared_ptr<NSString>&) {
                                 ASSERT_TRUE(models);
                                 ASSERT_GT(models->count(), 0u);
                                 EXPECT_TRUE(as<TZMessageModel>(models->firstObject())->title);
                                 ++calls;
                               });
  waitForOne(calls);

  calls = 0;
  ZVTAPIClient::getEmailAddressWith(NSDictionary::make({{"email"_ns, str(kServiceTestUserEmail)}}),
                                    [&](const id& web, const std::shared_ptr<NSString>& message) {
                                      EXPECT_EQ(text(web), "http://mail.example.com") << text(message);
                                      ++calls;
                                    });
  waitForOne(calls);

  std::shared_ptr<NSArray> goods;
  calls = 0;
  ZVTAPIClient::getExchangeCentreDataWith(NSDictionary::make({{"number"_ns, 1_n}, {"cid"_ns, "0"_ns}}),
                                          [&](bool ok, const std::shared_ptr<NSArray>& list, const id& end) {
                                            EXPECT_TRUE(ok);
                                            goods = list;
                                            EXPECT_EQ(text(end), "0");
                                            ++calls;
                                          });
  waitForOne(calls);
  ASSERT_TRUE(goods && goods->count() > 0);

  calls = 0;
  ZVTAPIClient::exchangeWith(userFields({{"goodId", "700"_ns}, {"mode", "1"_ns}, {"num", "1"_ns},
                                         {"realName", str("张三")}, {"address", str("北京")},
                                         {"alipay", str("a@b.c")}, {"mobile", str(kServiceTestUserPhone)},
                                         {"content", ""_ns}}),
                             [&](bool ok, const std::shared_ptr<NSString>& message) {
                               EXPECT_TRUE(ok) << text(message);
                               ++calls;
                             });
  waitForOne(calls);

  calls = 0;
  // In cash: the demo user's 集分宝 withdrawal is under review.
  ZVTAPIClient::withdrawWith(userFields({{"ddpassword", str(kServiceTestUserPassword)}, {"type", "2"_ns},
                                         {"money", "8.5"_ns}, {"remark", ""_ns}}),
                             [&](bool ok, const std::shared_ptr<NSString>& message) {
                               EXPECT_TRUE(ok) << text(message);
                               ++calls;
                             });
  waitForOne(calls);

  calls = 0;
  ZVTAPIClient::changeUserInfoWith(userFields({{"qq", "123456"_ns}}),
                                   [&](const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSString>& m) {
                                     ASSERT_TRUE(record) << text(m);
                                     EXPECT_EQ(text(record->objectForKey("qq"_ns)), "123456");
                                     ++calls;
                                   });
  waitForOne(calls);
  EXPECT_EQ(text(AppDelegate::shared()->userInfoDictionary()->objectForKey("qq"_ns)), "123456");
  auto info = NSUserDefaults::standardUserDefaults()->stringForKey("info"_ns);
  ASSERT_TRUE(info);
  EXPECT_EQ(text(as<NSDictionary>(objectFromJSONString(*TovrelUntiles::decryptUseDES(info)))->objectForKey("qq"_ns)),
            "123456");

  NSUserDefaults::standardUserDefaults()->setObject(
      NSDictionary::make({{"userName"_ns, str(kServiceTestUserName)}, {"password"_ns, str(kServiceTestUserPassword)}}),
      "loginInfo"_ns);
  calls = 0;
  ZVTAPIClient::changePasswordWith(userFields({{"old_pwd", str(kServiceTestUserPassword)}, {"ddpwd", "newpass99"_ns},
                                               {"pwd_confirm", "newpass99"_ns}}),
                                   [&](bool ok, const std::shared_ptr<NSString>& message) {
                                     EXPECT_TRUE(ok) << text(message);
                                     ++calls;
                                   });
  waitForOne(calls);
  auto stored = NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns);
  EXPECT_EQ(text(stored->objectForKey("password"_ns)), "newpass99");
  EXPECT_EQ(text(stored->objectForKey("userName"_ns)), kServiceTestUserName);

  // Every signed request was verified by the service.
  auto all = entries(service().requestLog("", "enciphered"));
  ASSERT_TRUE(all);
  int signedCalls = 0;
  for (const id& e : *all) {
    auto entry = as<NSDictionary>(e);
    EXPECT_EQ(at(entry, "signature"), "ok") << at(entry, "op");
    signedCalls += at(entry, "op") != "get_time";
  }
  EXPECT_EQ(signedCalls, 13);
}

TEST_F(ZVTAPIClientTest, RegistrationsAndPartnerLoginHandOverTheirCredentials) {
  int calls = 0;
  ZVTAPIClient::registerWith(NSDictionary::make({{"userName"_ns, "new@example.com"_ns}, {"password"_ns, "secret12"_ns}}),
                             [&](bool ok, const std::shared_ptr<NSString>& message) {
                               EXPECT_TRUE(ok) << text(message);
                               ++calls;
                             });
  waitForOne(calls);
  ASSERT_EQ(installs_.size(), 1u);
  EXPECT_EQ(installs_[0].operation, ZVTSessionOperation::registration);
  EXPECT_TRUE(installs_[0].welcomeRedpacket);
  EXPECT_EQ(text(installs_[0].loginInfo->objectForKey("userName"_ns)), "new@example.com");
  EXPECT_EQ(text(installs_[0].loginInfo->objectForKey("password"_ns)), "secret12");

  // A partner account seen for the first time: nothing installed, "newVer" handed back.
  calls = 0;
  ZVTAPIClient::loginThirdWith(NSDictionary::make({{"web"_ns, "tb"_ns}, {"webId"_ns, "TB-NEW"_ns}}),
                               [&](const std::shared_ptr<NSDictionary>& loginInfo, const std::shared_ptr<NSError>&) {
                                 ASSERT_TRUE(loginInfo);
                                 EXPECT_EQ(text(loginInfo->objectForKey("newVer"_ns)), "yes");
                                 EXPECT_EQ(text(loginInfo->objectForKey("first"_ns)), "1");
                                 ++calls;
                               });
  waitForOne(calls);
  EXPECT_EQ(installs_.size(), 1u);

  // ... which then registers with the partner fields.
  calls = 0;
  ZVTAPIClient::registerWith(NSDictionary::make({{"userName"_ns, "tbuser"_ns}, {"password"_ns, "secret12"_ns},
                                                 {"web"_ns, "tb"_ns}, {"webId"_ns, "TB-NEW"_ns}, {"newVer"_ns, "yes"_ns}}),
                             [&](bool ok, const std::shared_ptr<NSString>&) {
                               EXPECT_TRUE(ok);
                               ++calls;
                             });
  waitForOne(calls);
  ASSERT_EQ(installs_.size(), 2u);
  auto partnerInfo = installs_[1].loginInfo;
  EXPECT_EQ(text(partnerInfo->objectForKey("web"_ns)), "tb");
  EXPECT_EQ(text(partnerInfo->objectForKey("webId"_ns)), "TB-NEW");
  EXPECT_EQ(text(partnerInfo->objectForKey("userName"_ns)), "tbuser");
  EXPECT_EQ(partnerInfo->objectForKey("password"_ns), nullptr);

  // A known partner account logs in.
  calls = 0;
  ZVTAPIClient::loginThirdWith(
      NSDictionary::make({{"web"_ns, str(kServicePartnerWeb)}, {"webId"_ns, str(kServicePartnerWebId)}}),
      [&](const std::shared_ptr<NSDictionary>& loginInfo, const std::shared_ptr<NSError>&) {
        ASSERT_TRUE(loginInfo);
        EXPECT_EQ(loginInfo->objectForKey("newVer"_ns), nullptr);
        EXPECT_EQ(text(loginInfo->objectForKey("first"_ns)), "0");
        EXPECT_EQ(text(loginInfo->objectForKey("userName"_ns)), "qq_10002");
        ++calls;
      });
  waitForOne(calls);
  ASSERT_EQ(installs_.size(), 3u);
  EXPECT_EQ(installs_[2].operation, ZVTSessionOperation::partnerLogin);
  EXPECT_EQ(text(AppDelegate::shared()->userInfoDictionary()->objectForKey("id"_ns)), "10002");
}

// One operation driven through a scripted reply: what its completion hands over.
struct Outcome {
  int calls = 0;
  bool success = false;
  std::string message;

  // A success-and-message completion that records into this outcome.
  ZVTAPIClient::SuccessCompletion recorder() {
    return [this](bool ok, const std::shared_ptr<NSString>& m) {
      success = ok;
      message = m ? m->utf8() : "(nil)";
      ++calls;
    };
  }
};

using Runner = std::function<void(Outcome&)>;

struct OperationCase {
  const char* name;
  const char* act;  // the scripted operation
  Runner run;
  std::vector<std::pair<int, std::string>> refusals;  // code -> message (with a "msg" of "服务器说")
  std::string withoutMsg;                             // a refusal code 300 without "msg"
  std::string noTimeStamp;
  std::string transport;
};

Runner successMessage(void (*op)(const std::shared_ptr<NSDictionary>&, ZVTAPIClient::SuccessCompletion)) {
  return [op](Outcome& out) {
    op(NSDictionary::make({{"id"_ns, "10001"_ns}}), out.recorder());
  };
}

std::vector<OperationCase> operationCases() {
  const std::string server = "服务器说";
  return {
      {"get_pwd", "get_pwd",
       [](Outcome& out) {
         ZVTAPIClient::getEmailAddressWith(NSDictionary::make({{"email"_ns, "a@b.c"_ns}}),
                                           [&out](const id& web, const std::shared_ptr<NSString>& message) {
                                             out.success = web != nullptr;
                                             out.message = message ? message->utf8() : "(nil)";
                                             ++out.calls;
                                           });
       },
       {{111, "邮件发送失败"}, {201, "邮件发送失败"}, {202, "邮件发送失败"}, {222, "邮件发送失败"}, {300, server}},
       "邮件发送失败", "邮件发送失败", "网络异常"},
      {"exchange", "exchange", successMessage(&ZVTAPIClient::exchangeWith),
       {{111, "兑换失败"}, {201, "兑换失败"}, {202, "兑换失败"}, {222, "兑换失败"}, {300, server}},
       "兑换失败", "兑换失败", "兑换失败"},
      {"outCash", "outCash", successMessage(&ZVTAPIClient::withdrawWith),
       {{111, "提现失败"}, {201, "提现失败"}, {202, "提现失败"}, {222, "提现失败"}, {300, server}},
       "提现失败", "提现失败", "提现失败"},
      {"feedback", "feedback", successMessage(&ZVTAPIClient::submitFeedbackWith),
       {{111, "提交失败"}, {222, "提交失败"}, {300, "提交失败"}}, "提交失败", "提交失败", "提交失败"},
      {"login", "login", successMessage(&ZVTAPIClient::loginWith),
       {{111, "登录失败"}, {201, "登录失败"}, {202, "登录失败"}, {222, server}, {300, server}},
       "登录失败", "登录失败", "网络异常"},
      {"register", "register", successMessage(&ZVTAPIClient::registerWith),
       {{111, "注册失败"}, {201, "注册失败"}, {202, "注册失败"}, {222, server}, {300, server}},
       "注册失败", "注册失败", "网络异常"},
      {"pwd", "userInfo&do=pwd", successMessage(&ZVTAPIClient::changePasswordWith),
       {{111, "密码修改失败"}, {201, "密码修改失败"}, {202, "密码修改失败"}, {222, server}, {300, server}},
       "密码修改失败", "密码修改失败", "网络异常"},
      {"update", "userInfo&do=update",
       [](Outcome& out) {
         ZVTAPIClient::changeUserInfoWith(NSDictionary::make({{"id"_ns, "10001"_ns}}),
                                          [&out](const std::shared_ptr<NSDictionary>& r, const std::shared_ptr<NSString>& m) {
                                            out.success = r != nullptr;
                                            out.message = m ? m->utf8() : "(nil)";
                                            ++out.calls;
                                          });
       },
       {{111, "保存失败"}, {201, "保存失败"}, {202, "保存失败"}, {222, server}, {300, server}},
       "保存失败", "保存失败", "网络异常"},
      {"order", "order",
       [](Outcome& out) {
         ZVTAPIClient::getOrderWith(NSDictionary::make({{"id"_ns, "10001"_ns}, {"do"_ns, "taobao"_ns}}),
                                    [&out](const std::shared_ptr<NSArray>& m, const id&, const std::shared_ptr<NSString>& msg) {
                                      out.success = m != nullptr;
                                      out.message = msg ? msg->utf8() : "(nil)";
                                      ++out.calls;
                                    });
       },
       {{111, "加载失败"}, {300, "加载失败"}}, "加载失败", "加载失败", "加载失败"},
  };
}

class ZVTAPIClientRefusals : public ZVTAPIClientTest, public ::testing::WithParamInterface<int> {};

TEST_P(ZVTAPIClientRefusals, FixedTextsAndServerMessages) {
  const auto op = operationCases()[static_cast<size_t>(GetParam())];
  SCOPED_TRACE(op.name);
  for (const auto& [code, expected] : op.refusals) {
    ScriptedReply reply{.op = op.act, .iface = "enciphered", .code = code, .msg = "服务器说"};
    service().script(reply);
    Outcome out;
    op.run(out);
    waitForOne(out.calls);
    EXPECT_FALSE(out.success) << code;
    EXPECT_EQ(out.message, expected) << code;
  }
  // A refusal without "msg": never "(null)".
  service().script(ScriptedReply{.op = op.act, .iface = "enciphered", .code = 300});
  Outcome bare;
  op.run(bare);
  waitForOne(bare.calls);
  EXPECT_EQ(bare.message, op.withoutMsg);

  // No time stamp.
  service().script(ScriptedReply{.op = "get_time", .iface = "enciphered", .code = 0, .msg = "x"});
  Outcome noTime;
  op.run(noTime);
  waitForOne(noTime.calls);
  EXPECT_FALSE(noTime.success);
  EXPECT_EQ(noTime.message, op.noTimeStamp);
  EXPECT_EQ(service().requestCount(op.act), static_cast<int>(op.refusals.size()) + 1);

  // The connection of the call dropped. The loader sends a request cut on a kept-alive
  // connection again, once for each idle connection it holds: every try is cut.
  service().script(ScriptedReply{.op = op.act, .iface = "enciphered", .drop = true, .sticky = true});
  Outcome dropped;
  op.run(dropped);
  waitForOne(dropped.calls);
  EXPECT_FALSE(dropped.success);
  EXPECT_EQ(dropped.message, op.transport);
}

INSTANTIATE_TEST_SUITE_P(Operations, ZVTAPIClientRefusals, ::testing::Range(0, 9));

TEST_F(ZVTAPIClientTest, LoginFailuresResetTheSession) {
  login();
  fails_.clear();
  aliases_.clear();
  // A signature the service refuses (the time stamp expired at once) is a refusal like any other.
  service().configure(R"({"time_window_ms": 0, "sign_fail_code": 202})");
  Outcome refused;
  ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, str(kServiceTestUserName)}, {"password"_ns, "x"_ns}}),
                          refused.recorder());
  waitForOne(refused.calls);
  EXPECT_FALSE(refused.success);
  EXPECT_EQ(refused.message, "登录失败");
  EXPECT_EQ(at(lastEntry(service(), "login"), "signature"), "expired_time");
  ASSERT_EQ(fails_.size(), 1u);
  EXPECT_FALSE(AppDelegate::shared()->isLogin());
  EXPECT_EQ(AppDelegate::shared()->userInfoDictionary(), nullptr);
  ASSERT_EQ(aliases_.size(), 1u);
  EXPECT_EQ(aliases_[0].alias, "");
  EXPECT_FALSE(aliases_[0].callback.has_value());

  // A 101 reply whose record does not decipher installs nothing.
  service().configure(R"({"time_window_ms": 300000})");
  service().script(ScriptedReply{.op = "login", .iface = "enciphered", .undecipherable = true});
  Outcome undeciphered;
  ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, str(kServiceTestUserName)},
                                              {"password"_ns, str(kServiceTestUserPassword)}}),
                          undeciphered.recorder());
  waitForOne(undeciphered.calls);
  EXPECT_FALSE(undeciphered.success);
  EXPECT_EQ(undeciphered.message, "登录失败");
  EXPECT_EQ(installs_.size(), 1u);
  EXPECT_EQ(fails_.size(), 2u);

  // Partner login refused by the server: (nil, nil); no time stamp: (nil, nil) as well.
  int calls = 0;
  ZVTAPIClient::loginThirdWith(NSDictionary::make({{"web"_ns, "wx"_ns}, {"webId"_ns, "1"_ns}}),
                               [&](const std::shared_ptr<NSDictionary>& info, const std::shared_ptr<NSError>& error) {
                                 EXPECT_EQ(info, nullptr);
                                 EXPECT_EQ(error, nullptr);
                                 ++calls;
                               });
  waitForOne(calls);
  EXPECT_EQ(fails_.size(), 3u);
}

TEST_F(ZVTAPIClientTest, TimeStampsWithoutTimeOrAsNumbers) {
  // A 101 time reply without "time" takes the no-time-stamp path: nothing is signed with "(null)".
  service().script(ScriptedReply{.op = "get_time", .iface = "enciphered", .omitTime = true});
  Outcome out;
  successMessage(&ZVTAPIClient::exchangeWith)(out);
  waitForOne(out.calls);
  EXPECT_EQ(out.message, "兑换失败");
  EXPECT_EQ(service().requestCount("exchange"), 0);

  // A time stamp sent as a number is signed and echoed as its digits.
  service().script(ScriptedReply{.op = "get_time", .iface = "enciphered", .timeAsNumber = true});
  Outcome fed;
  ZVTAPIClient::submitFeedbackWith(NSDictionary::make({{"id"_ns, "10001"_ns}, {"content"_ns, "x"_ns}}),
                                   fed.recorder());
  waitForOne(fed.calls);
  EXPECT_TRUE(fed.success);
  auto entry = lastEntry(service(), "feedback");
  EXPECT_EQ(at(entry, "signature"), "ok");
  EXPECT_TRUE(isKind<NSString>(entry->valueForKeyPath("fields.time"_ns)));
}

TEST_F(ZVTAPIClientTest, LargeBodiesRoundTripThroughTheService) {
  std::string content;
  while (content.size() < 200000) content += "反馈内容/+=";
  Outcome out;
  ZVTAPIClient::submitFeedbackWith(NSDictionary::make({{"id"_ns, "10001"_ns}, {"content"_ns, str(content)}}),
                                   out.recorder());
  waitForOne(out.calls);
  EXPECT_TRUE(out.success) << out.message;
  auto entry = lastEntry(service(), "feedback");
  EXPECT_EQ(at(entry, "signature"), "ok");
  EXPECT_EQ(at(entry, "fields.content"), content);
}

TEST_F(ZVTAPIClientTest, UndecipherableDataIsAFailureAndKeepsTheRecord) {
  login();
  auto before = AppDelegate::shared()->userInfoDictionary();
  for (const char* act : {"order", "getUserDetailed", "msg"}) {
    service().script(ScriptedReply{.op = act, .iface = "enciphered", .undecipherable = true});
  }
  int calls = 0;
  auto expectLoadFailure = [&](const std::shared_ptr<NSArray>& models, const id& end, const std::shared_ptr<NSString>& m) {
    EXPECT_EQ(models, nullptr);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(text(m), "加载失败");
    ++calls;
  };
  ZVTAPIClient::getOrderWith(NSDictionary::make({{"id"_ns, "10001"_ns}}), expectLoadFailure);
  waitForOne(calls);
  calls = 0;
  ZVTAPIClient::getRefundWith(NSDictionary::make({{"id"_ns, "10001"_ns}}), expectLoadFailure);
  waitForOne(calls);
  calls = 0;
  ZVTAPIClient::getMessageWith(NSDictionary::make({{"id"_ns, "10001"_ns}}), expectLoadFailure);
  waitForOne(calls);

  service().script(ScriptedReply{.op = "userInfo&do=my", .iface = "enciphered", .undecipherable = true});
  calls = 0;
  ZVTAPIClient::getUserInfoWith(NSDictionary::make({{"id"_ns, "10001"_ns}}),
                                [&](const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSError>& error) {
                                  EXPECT_EQ(record, nullptr);
                                  EXPECT_EQ(error, nullptr);
                                  ++calls;
                                });
  waitForOne(calls);
  EXPECT_EQ(AppDelegate::shared()->userInfoDictionary(), before);

  service().script(ScriptedReply{.op = "userInfo&do=update", .iface = "enciphered", .code = 101});
  calls = 0;
  ZVTAPIClient::changeUserInfoWith(NSDictionary::make({{"id"_ns, "10001"_ns}}),
                                   [&](const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSString>& m) {
                                     EXPECT_EQ(record, nullptr);
                                     EXPECT_EQ(text(m), "保存失败");
                                     ++calls;
                                   });
  waitForOne(calls);
  EXPECT_EQ(AppDelegate::shared()->userInfoDictionary(), before);
}

TEST_F(ZVTAPIClientTest, ExchangeStoreAndPasswordEdgeReplies) {
  service().script(ScriptedReply{.op = "exchange_goods", .iface = "enciphered", .code = 222, .msg = "no"});
  int calls = 0;
  ZVTAPIClient::getExchangeCentreDataWith(nullptr, [&](bool ok, const std::shared_ptr<NSArray>& list, const id& info) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(text(info), "222");
    ++calls;
  });
  waitForOne(calls);
  // Unparsable list and missing time stamp still complete.
  service().script(ScriptedReply{.op = "exchange_goods", .iface = "enciphered", .undecipherable = true});
  calls = 0;
  ZVTAPIClient::getExchangeCentreDataWith(nullptr, [&](bool ok, const std::shared_ptr<NSArray>&, const id& info) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(info, nullptr);
    ++calls;
  });
  waitForOne(calls);
  service().script(ScriptedReply{.op = "get_time", .iface = "enciphered", .code = 0});
  calls = 0;
  ZVTAPIClient::getExchangeCentreDataWith(nullptr, [&](bool ok, const std::shared_ptr<NSArray>&, const id&) {
    EXPECT_FALSE(ok);
    ++calls;
  });
  waitForOne(calls);
  // Every try of the dropped call is cut (one more for each idle kept-alive connection).
  service().script(ScriptedReply{.op = "exchange_goods", .iface = "enciphered", .drop = true, .sticky = true});
  calls = 0;
  ZVTAPIClient::getExchangeCentreDataWith(nullptr, [&](bool ok, const std::shared_ptr<NSArray>&, const id& info) {
    EXPECT_FALSE(ok);
    EXPECT_TRUE(isKind<NSError>(info));
    ++calls;
  });
  waitForOne(calls);
  service().clearScripts();

  // Password change answered with data 0: a failure that leaves "loginInfo" alone.
  auto loginInfo = NSDictionary::make({{"userName"_ns, "u"_ns}, {"password"_ns, "old"_ns}});
  NSUserDefaults::standardUserDefaults()->setObject(loginInfo, "loginInfo"_ns);
  service().script(ScriptedReply{.op = "userInfo&do=pwd", .iface = "enciphered", .code = 101, .dataJSON = "0"});
  Outcome out;
  ZVTAPIClient::changePasswordWith(NSDictionary::make({{"id"_ns, "10001"_ns}, {"ddpwd"_ns, "new"_ns}}),
                                   out.recorder());
  waitForOne(out.calls);
  EXPECT_FALSE(out.success);
  EXPECT_EQ(out.message, "密码修改失败");
  EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns)->isEqual(loginInfo));
}

TEST_F(ZVTAPIClientTest, AvatarGoesAsOneMultipartBody) {
  login();
  static const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 0x0d, 'I', 'H', 'D', 'R'};
  int calls = 0;
  id avatar;
  ZVTAPIClient::sendUserIconWith(NSData::dataWithBytes(png, sizeof png),
                                 [&](const id& a, const std::shared_ptr<NSError>&) {
                                   avatar = a;
                                   ++calls;
                                 });
  waitForOne(calls);
  ASSERT_TRUE(avatar);
  EXPECT_NE(text(avatar).find("/uploads/avatar_10001_"), std::string::npos);
  EXPECT_EQ(text(AppDelegate::shared()->userInfoDictionary()->objectForKey("avatar"_ns)), text(avatar));
  auto entry = lastEntry(service(), "avatar");
  EXPECT_EQ(at(entry, "form"), "multipart");
  EXPECT_EQ(at(entry, "signature"), "ok");
  EXPECT_EQ(at(entry, "fields.id"), "10001");
  EXPECT_EQ(at(entry, "fields.command"), "ios");
  EXPECT_EQ(at(entry, "files.pic_data.filename"), "userIcon.png");
  EXPECT_EQ(at(entry, "files.pic_data.content_type"), "image/png");
  EXPECT_EQ(at(entry, "files.pic_data.size"), std::to_string(sizeof png));
  EXPECT_EQ(at(entry, "headers.Content-Type"), "multipart/form-data; boundary=AaB03x");

  // Without a time stamp the completion still comes.
  service().script(ScriptedReply{.op = "get_time", .iface = "enciphered", .code = 0});
  calls = 0;
  ZVTAPIClient::sendUserIconWith(NSData::dataWithBytes(png, sizeof png), [&](const id& a, const std::shared_ptr<NSError>&) {
    EXPECT_EQ(a, nullptr);
    ++calls;
  });
  waitForOne(calls);
}

TEST_F(ZVTAPIClientTest, RegistrationIdUploadAfterTheAliasAnswer) {
  // Without a registration id or without a user record nothing is sent.
  ZVTAPIClient::tagsAliasCallback(0, nullptr, nullptr);
  AppDelegate::shared()->setPushRegisterID(""_ns);
  AppDelegate::shared()->setUserInfoDictionary(NSDictionary::make({{"id"_ns, "10001"_ns}}));
  ZVTAPIClient::tagsAliasCallback(0, nullptr, nullptr);
  runMainLoopUntil([] { return false; }, 0.2);
  EXPECT_EQ(service().requestCount("up_push_id"), 0);

  AppDelegate::shared()->setPushRegisterID("reg-0001"_ns);
  ZVTAPIClient::tagsAliasCallback(0, nullptr, nullptr);
  ASSERT_TRUE(runMainLoopUntil([&] { return service().requestCount("up_push_id") == 1; }));
  auto entry = lastEntry(service(), "up_push_id");
  EXPECT_EQ(at(entry, "form"), "json");
  EXPECT_EQ(at(entry, "signature"), "ok");
  EXPECT_EQ(at(entry, "fields.pushId"), "reg-0001");
  EXPECT_EQ(at(entry, "fields.uid"), "10001");
  EXPECT_EQ(at(entry, "headers.Content-Type"), "application/x-www-form-urlencoded");
  auto time = lastEntry(service(), "get_time");
  EXPECT_EQ(at(time, "iface"), "json");
  EXPECT_EQ(at(time, "form"), "des");

  Outcome out;
  service().script(ScriptedReply{.op = "up_push_id", .iface = "json", .code = 202});
  ZVTAPIClient::sendTokenWithParamater(NSDictionary::make({{"pushId"_ns, "r"_ns}, {"uid"_ns, "1"_ns}}),
                                       out.recorder());
  waitForOne(out.calls);
  EXPECT_FALSE(out.success);
  EXPECT_EQ(out.message, "上传token失败");
}

TEST_F(ZVTAPIClientTest, StoppedServiceAndStalledReplies) {
  // A stall beyond the time-out ends in the transport failure path, on the virtual clock.
  {
    VirtualClockScope clock;
    service().script(ScriptedReply{.op = "msg", .iface = "enciphered", .stall = true});
    int calls = 0;
    std::string message;
    ZVTAPIClient::getMessageWith(NSDictionary::make({{"id"_ns, "10001"_ns}}),
                                 [&](const std::shared_ptr<NSArray>& m, const id&, const std::shared_ptr<NSString>& msg) {
                                   EXPECT_EQ(m, nullptr);
                                   message = text(msg);
                                   ++calls;
                                 });
    ASSERT_TRUE(runMainLoopUntil([&] { return service().requestCount("msg") == 1; }));
    runMainLoopUntil([] { return false; }, 0.05);
    EXPECT_EQ(calls, 0);
    clock.advanceBy(7.0);
    runMainLoopUntil([] { return false; }, 0.05);
    EXPECT_EQ(calls, 0);
    clock.advanceBy(1.5);
    waitForOne(calls);
    EXPECT_EQ(message, "加载失败");
  }
  service().stop();
  Outcome out;
  successMessage(&ZVTAPIClient::loginWith)(out);
  waitForOne(out.calls);
  EXPECT_EQ(out.message, "登录失败");  // no time stamp
  int calls = 0;
  ZVTAPIClient::getUserInfoWith(nullptr, [&](const std::shared_ptr<NSDictionary>& r, const std::shared_ptr<NSError>& e) {
    EXPECT_EQ(r, nullptr);
    EXPECT_TRUE(e);
    ++calls;
  });
  waitForOne(calls);
  service().start();
}

TEST_F(ZVTAPIClientTest, VersionCheckReadsTheLookupDocument) {
  zvt::test::TempBundle bundle;
  bundle.writeFile("Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
<key>CFBundleShortVersionString</key><string>1.2.0</string>
<key>CFBundleDisplayName</key><string>Zavelto</string>
</dict></plist>)");
  EXPECT_EQ(ZVTAPIClient::checkTheVersionUpate()->count(), 0u);  // offline
  AppDelegate::shared()->setIsConnectNetwork(true);
  auto result = ZVTAPIClient::checkTheVersionUpate();
  EXPECT_EQ(text(result->objectForKey("isUpdate"_ns)), "1");
  EXPECT_EQ(text(result->objectForKey("version"_ns)), "9.9.0");
  EXPECT_EQ(text(result->objectForKey("name"_ns)), "Zavelto");
  EXPECT_NE(text(result->objectForKey("updateUrl"_ns)).find("/wap/help-1.php"), std::string::npos);
}

}  // namespace
}  // namespace zvt::test
