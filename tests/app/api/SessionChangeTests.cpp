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

}  // namespace
}  // namespace zvt::test
