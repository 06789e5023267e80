// Replies that arrive after the session changed hands: a logout while a login is on its way,
// and a user record asked for by one user that comes back after a logout or a new login.
#include <gtest/gtest.h>

#include <functional>

#include "app/api/APIClient.h"
#include "app/api/ZVTAPIClient.h"
#include "app/api/ZVTLoginSession.h"
#include "app/core/AppDelegate.h"
#include "platform/foundation/Foundation.h"
#include "tests/app/api/ApiTestSupport.h"

namespace zvt::test {
namespace {

class SessionChangeTest : public ClientTest {
 protected:
  // Waits until the login that is on its way has installed its session or failed.
  void waitForTheLoginsAnswer() {
    ASSERT_TRUE(runMainLoopUntil([&] { return installs_.size() + fails_.size() > 0; }, 15)) << "no answer";
    drainMainLoop();
  }

  static void storeLogin(const std::shared_ptr<NSDictionary>& loginInfo) {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setBool(true, "isLogin"_ns);
    defaults->setObject(loginInfo, "loginInfo"_ns);
  }
};

// The network comes back (automatic login) or the user logs in, and the user logs out before
// the server has answered: the logout stands, in memory and in what the next start replays.
TEST_F(SessionChangeTest, ALogoutWhileALoginIsOnItsWayStands) {
  struct Case {
    const char* name;
    std::function<void()> start;
  };
  bool loginSucceeded = true;
  const Case cases[] = {
      {"automatic password login",
       [] {
         storeLogin(NSDictionary::make({{"userName"_ns, str(kServiceTestUserName)},
                                        {"password"_ns, str(kServiceTestUserPassword)}}));
         ZVTAPIClient::autoLogin();
       }},
      {"automatic partner login",
       [] {
         storeLogin(NSDictionary::make({{"web"_ns, str(kServicePartnerWeb)}, {"webId"_ns, str(kServicePartnerWebId)}}));
         ZVTAPIClient::autoLogin();
       }},
      {"password login",
       [&loginSucceeded] {
         ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, str(kServiceTestUserName)},
                                                     {"password"_ns, str(kServiceTestUserPassword)}}),
                                 [&loginSucceeded](bool success, const std::shared_ptr<NSString>&) {
                                   loginSucceeded = success;
                                 });
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    installs_.clear();
    fails_.clear();
    c.start();
    ZVTLoginSession::logout();
    waitForTheLoginsAnswer();
    EXPECT_TRUE(installs_.empty());
    auto delegate = AppDelegate::shared();
    EXPECT_FALSE(delegate->isLogin());
    EXPECT_TRUE(delegate->userInfoDictionary() == nullptr);
    EXPECT_FALSE(NSUserDefaults::standardUserDefaults()->boolForKey("isLogin"_ns));
  }
  EXPECT_FALSE(loginSucceeded);

  // Without a logout in between the same login installs its session.
  installs_.clear();
  fails_.clear();
  cases[0].start();
  waitForTheLoginsAnswer();
  EXPECT_EQ(installs_.size(), 1u);
  EXPECT_TRUE(AppDelegate::shared()->isLogin());
}


// A user record asked for by one user comes back after that user logged out, or after another
// user logged in: it goes neither back into the logged-out session nor into the other user's.
TEST_F(SessionChangeTest, ARecordComesBackOnlyToTheUserWhoAskedForIt) {
  static const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 0x0d, 'I', 'H', 'D', 'R'};
  struct Case {
    const char* name;
    // Starts the call; `done` is set when its completion has run, `applied` when the
    // completion was handed the record (or the avatar) as this session's.
    std::function<void(int& done, bool& applied)> start;
  };
  auto asked = [] { return NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}, {"qq"_ns, "13579"_ns}}); };
  const Case cases[] = {
      {"own record",
       [&](int& done, bool& applied) {
         ZVTAPIClient::getUserInfoWith(asked(), [&](const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSError>&) {
           applied = record != nullptr;
           ++done;
         });
       }},
      {"enciphered profile update",
       [&](int& done, bool& applied) {
         ZVTAPIClient::changeUserInfoWith(asked(), [&](const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSString>&) {
           applied = record != nullptr;
           ++done;
         });
       }},
      {"profile update",
       [&](int& done, bool& applied) {
         APIClient::updateUserinfoWithParameter(
             asked(), [&](bool ok, const std::shared_ptr<NSDictionary>&, const std::shared_ptr<NSString>&) {
               applied = ok;
               ++done;
             });
       }},
      {"Alipay binding",
       [&](int& done, bool& applied) {
         APIClient::bindingAlipayWithParameter(
             NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}, {"alipay"_ns, "a@alipay.example.com"_ns},
                                 {"realname"_ns, str("张三")}, {"password"_ns, str(kServiceTestUserPassword)}}),
             [&](bool ok, const std::shared_ptr<NSDictionary>&, const std::shared_ptr<NSString>&) {
               applied = ok;
               ++done;
             });
       }},
      {"avatar",
       [&](int& done, bool& applied) {
         ZVTAPIClient::sendUserIconWith(NSData::dataWithBytes(png, sizeof png), [&](const id& avatar, const std::shared_ptr<NSError>&) {
           applied = avatar != nullptr;
           ++done;
         });
       }},
  };
  // The service answers for the first user whatever session the request carries by then.
  const std::string firstRecord = std::string(R"({"id": ")") + kServiceTestUserId + R"(", "ddusername": ")" +
                                  kServiceTestUserName + R"(", "qq": "13579"})";
  for (const char* op : {"userInfo", "update_userinfo", "update_alipay"}) {
    service().script(ScriptedReply{.op = op, .code = 101, .dataJSON = firstRecord, .sticky = true});
  }
  service().script(ScriptedReply{.op = "avatar", .code = 101, .dataJSON = R"({"avatar": "/uploads/a.png"})", .sticky = true});
  auto other = NSDictionary::make({{"id"_ns, "10003"_ns}, {"ddusername"_ns, str(kServiceOtherUserName)}, {"qq"_ns, "24680"_ns}});
  for (const auto& c : cases) {
    for (bool anotherUser : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (anotherUser ? ", then another user" : ", then logged out"));
      AppDelegate::setShared(nullptr);
      ZVTSessionInstall first;
      first.record = NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}, {"ddusername"_ns, str(kServiceTestUserName)}});
      ZVTLoginSession::install(first);
      int done = 0;
      bool applied = false;
      c.start(done, applied);
      ZVTLoginSession::logout();
      if (anotherUser) {
        ZVTSessionInstall second;
        second.record = other;
        ZVTLoginSession::install(second);
      }
      waitForOne(done);
      auto record = AppDelegate::shared()->userInfoDictionary();
      if (anotherUser) {
        ASSERT_TRUE(record);
        EXPECT_TRUE(record->isEqualToDictionary(other)) << text(record);
      } else {
        EXPECT_TRUE(record == nullptr) << text(record);
      }
      if (std::string(c.name) == "avatar") {
        EXPECT_TRUE(applied);  // the picture did reach the user who chose it
        EXPECT_EQ(at(lastEntry(service(), "avatar"), "fields.id"), kServiceTestUserId);
      } else {
        EXPECT_FALSE(applied);
      }
    }
  }

  // The session's own user gets the record.
  AppDelegate::setShared(nullptr);
  ZVTSessionInstall first;
  first.record = NSDictionary::make({{"id"_ns, str(kServiceTestUserId)}});
  ZVTLoginSession::install(first);
  int done = 0;
  bool applied = false;
  cases[0].start(done, applied);
  waitForOne(done);
  EXPECT_TRUE(applied);
  EXPECT_EQ(text(AppDelegate::shared()->userInfoDictionary()->objectForKey("ddusername"_ns)), kServiceTestUserName);
}

// A password change whose reply comes back after another user has logged in leaves that
// user's stored credentials as they are (the next start replays them).
TEST_F(SessionChangeTest, APasswordChangeRewritesOnlyTheCredentialsOfItsUser) {
  service().script(ScriptedReply{.op = "userInfo&do=pwd", .code = 101, .dataJSON = "1", .encipher = false, .sticky = true});
  auto change = [](int& calls, bool& ok) {
    ZVTAPIClient::changePasswordWith(NSDictionary::make({{"id"_ns, str(kServiceTestUserId)},
                                                         {"old_pwd"_ns, str(kServiceTestUserPassword)},
                                                         {"ddpwd"_ns, "changed99"_ns}, {"pwd_confirm"_ns, "changed99"_ns}}),
                                     [&calls, &ok](bool success, const std::shared_ptr<NSString>&) {
                                       ok = success;
                                       ++calls;
                                     });
  };
  auto install = [](const char* userId, const char* name, const char* password) {
    ZVTSessionInstall session;
    session.record = NSDictionary::make({{"id"_ns, str(userId)}});
    session.loginInfo = NSDictionary::make({{"userName"_ns, str(name)}, {"password"_ns, str(password)}});
    ZVTLoginSession::install(session);
  };
  auto storedPassword = [] {
    auto loginInfo = NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns);
    return text(loginInfo ? loginInfo->objectForKey("password"_ns) : nullptr);
  };

  install(kServiceTestUserId, kServiceTestUserName, kServiceTestUserPassword);
  int calls = 0;
  bool ok = false;
  change(calls, ok);
  ZVTLoginSession::logout();
  install("10003", kServiceOtherUserName, kServiceOtherUserPassword);
  waitForOne(calls);
  EXPECT_TRUE(ok);  // the first user's password did change
  EXPECT_EQ(storedPassword(), kServiceOtherUserPassword);

  // The user's own change is stored for the next start.
  AppDelegate::setShared(nullptr);
  install(kServiceTestUserId, kServiceTestUserName, kServiceTestUserPassword);
  calls = 0;
  change(calls, ok);
  waitForOne(calls);
  EXPECT_TRUE(ok);
  EXPECT_EQ(storedPassword(), "changed99");
}

}  // namespace
}  // namespace zvt::test
