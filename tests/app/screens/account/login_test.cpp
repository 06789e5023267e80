// The login screen through the device, against the local service: what the form starts with,
// what it refuses before sending, the keyboard, the refusals of the service, the demo user's
// login and where each button leads.

#include "app/ui/ScreenRegistry.h"
#include "app/utilities/TovrelUntiles.h"
#include "platform/uikit/UIKeyboard.h"
#include "tests/app/screens/account/AccountTestSupport.h"

namespace {

using zvt::test::AccountScreenTest;

class LoginScreenTest : public AccountScreenTest {
 protected:
  std::shared_ptr<TZLoginView> form() const { return presentedLogin() ? presentedLogin()->loginView() : nullptr; }
};

TEST_F(LoginScreenTest, TheAccountFieldStartsWithTheStoredNameAndNeverWithThePassword) {
  struct Case {
    const char* stored;  // nullptr: no "loginInfo" at all
    const char* shown;
  };
  launch();
  bool pictured = false;
  for (const Case& c : std::vector<Case>{{nullptr, ""}, {"", ""}, {"zvttest", "zvttest"}}) {
    SCOPED_TRACE(c.stored ? c.stored : "(none)");
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (c.stored) {
      defaults->setObject(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(c.stored)},
                                              {"password"_ns, "zvt123456"_ns}}),
                          "loginInfo"_ns);
    } else {
      defaults->removeObjectForKey("loginInfo"_ns);
    }
    auto login = openLoginThroughGate();
    ASSERT_TRUE(login) << "the gate presents the login screen at the root of a new stack";
    EXPECT_EQ(presentedStack()->viewControllers().size(), 1u);
    EXPECT_TRUE(device().viewWithText("登录")) << "its title";
    EXPECT_EQ(login->loginView()->userTextField()->text()->utf8(), c.shown);
    EXPECT_EQ(login->loginView()->passwordTextField()->text()->length(), 0u);
    EXPECT_EQ(static_cast<bool>(device().viewWithText("邮箱/用户名/手机号")), std::string(c.shown).empty());
    EXPECT_TRUE(device().viewWithText("请输入密码(6-20位数字或字母)"));
    for (const char* text : {"登 录", "忘记密码?", "没有账号？", "10秒快速注册", "合作账号登录"})
      EXPECT_TRUE(device().viewWithText(text)) << text;
    if (!pictured) {
      zvt::test::writeScreenPicture("login-empty");
      pictured = true;
    }
    tapBack();
    EXPECT_FALSE(presentedStack()) << "the back item dismisses the stack";
  }
}

TEST_F(LoginScreenTest, EmptyFieldsAreRefusedOnTheDeviceAndAnAccountOfBlanksGoesOutAsTyped) {
  struct Case {
    const char* account;
    const char* password;
    const char* alert;
    const char* notShown;
  };
  launch();
  for (const Case& c : std::vector<Case>{{"", "", "请输入账号", "请输入密码"},
                                         {"", "abc123", "请输入账号", "请输入密码"},
                                         {"zvttest", "", "请输入密码", "请输入账号"}}) {
    SCOPED_TRACE(std::string(c.account) + "/" + c.password);
    ASSERT_TRUE(openLoginThroughGate());
    ASSERT_TRUE(typeInto(form()->userTextField(), c.account));
    ASSERT_TRUE(typeInto(form()->passwordTextField(), c.password));
    ASSERT_TRUE(device().tapText("登 录"));
    device().wait(0.5);
    EXPECT_TRUE(device().viewWithText(c.alert));
    EXPECT_FALSE(device().viewWithText(c.notShown));
    dismissAlerts();
    EXPECT_TRUE(presentedLogin()) << "the screen stays";
    EXPECT_EQ(service_->requestCount("login"), 0) << "nothing is sent";
    tapBack();
  }

  ASSERT_TRUE(openLoginThroughGate());
  ASSERT_TRUE(typeInto(form()->userTextField(), "   "));
  ASSERT_TRUE(typeInto(form()->passwordTextField(), "abc123"));
  ASSERT_TRUE(device().tapText("登 录"));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("登录失败") != nullptr; }));
  auto sent = logOf("login");
  ASSERT_EQ(sent->count(), 1u);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.userName"), "   ") << "not trimmed";
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.password"), "abc123");
}

TEST_F(LoginScreenTest, TheKeyboardLiftsTheFormAndReturnGoesOnToThePasswordThenLogsIn) {
  launch();
  ASSERT_TRUE(openLoginThroughGate());
  auto scroll = form()->bgScrollView();
  const CGFloat full = scroll->frame().size.height;
  EXPECT_EQ(full, form()->bounds().size.height) << "the scroll view fills the form";

  ASSERT_TRUE(typeInto(form()->userTextField(), ""));
  device().wait(0.5);
  EXPECT_EQ(form()->keyboardH(), zvt::ui::Keyboard::kHeight);
  EXPECT_EQ(scroll->frame().size.height, full - zvt::ui::Keyboard::kHeight) << "its bottom rises by the keyboard";
  zvt::test::writeScreenPicture("login-keyboard");

  ASSERT_TRUE(device().pressReturn());
  device().wait(0.5);
  EXPECT_TRUE(form()->passwordTextField()->isFirstResponder()) << "return in the account field";
  EXPECT_EQ(service_->requestCount("login"), 0);

  // Return in the password field logs in without the emptiness check.
  ASSERT_TRUE(device().pressReturn());
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("login") == 1; }));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("登录失败") != nullptr; }));
  EXPECT_FALSE(device().viewWithText("请输入账号"));
  auto sent = logOf("login")->objectAtIndex(0);
  EXPECT_EQ(at(sent, "fields.userName"), "");
  EXPECT_EQ(at(sent, "fields.password"), "");
  dismissAlerts();
  device().wait(0.5);
  EXPECT_EQ(form()->keyboardH(), 0) << "the login sent the keyboard away";
  EXPECT_EQ(scroll->frame().size.height, full) << "hiding restores the height";
}

TEST_F(LoginScreenTest, RefusalsShowTheirTextAndLeaveTheFormAndTheSessionLoggedOut) {
  struct Case {
    std::optional<zvt::test::ScriptedReply> script;
    const char* password;
    const char* alert;
  };
  auto delegate = launch();
  bool pictured = false;
  for (const Case& c : std::vector<Case>{
           {std::nullopt, "wrong-password", "登录失败"},
           {zvt::test::ScriptedReply{.op = "login", .code = 203, .msg = "账号已冻结"}, "zvt123456", "账号已冻结"},
       }) {
    SCOPED_TRACE(c.alert);
    if (c.script) service_->script(*c.script);
    ASSERT_TRUE(openLoginThroughGate());
    ASSERT_TRUE(typeInto(form()->userTextField(), "zvttest"));
    ASSERT_TRUE(typeInto(form()->passwordTextField(), c.password));
    ASSERT_TRUE(device().tapText("登 录"));
    ASSERT_TRUE(waitFor([&] { return device().viewWithText(c.alert) != nullptr; }));
    if (!pictured) {
      device().wait(0.5);
      zvt::test::writeScreenPicture("login-alert");
      pictured = true;
    }
    dismissAlerts();
    EXPECT_TRUE(presentedLogin()) << "the screen stays";
    EXPECT_EQ(form()->userTextField()->text()->utf8(), "zvttest");
    EXPECT_EQ(form()->passwordTextField()->text()->utf8(), c.password);
    EXPECT_FALSE(delegate->isLogin());
    EXPECT_FALSE(delegate->userInfoDictionary());
    EXPECT_TRUE(waitForAlias(""));
    tapBack();
  }
}

TEST_F(LoginScreenTest, TheDemoUserLogsInThroughTheKeyboardAndTheStackCloses) {
  auto delegate = launch();
  ASSERT_TRUE(openLoginThroughGate());
  ASSERT_TRUE(typeInto(form()->userTextField(), zvt::test::kServiceTestUserName));
  ASSERT_TRUE(typeInto(form()->passwordTextField(), zvt::test::kServiceTestUserPassword));
  zvt::test::writeScreenPicture("login-filled");
  ASSERT_TRUE(device().tapText("登 录"));
  ASSERT_TRUE(waitFor([&] { return delegate->isLogin(); }));
  device().wait(1);
  EXPECT_FALSE(presentedStack()) << "success dismisses the stack";

  auto sent = logOf("login");
  ASSERT_EQ(sent->count(), 1u);
  auto fields = std::dynamic_pointer_cast<NSDictionary>(std::dynamic_pointer_cast<NSDictionary>(sent->objectAtIndex(0))->objectForKey("fields"_ns));
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->count(), 4u) << "userName, password and the signature's time and code";
  EXPECT_EQ(at(fields, "userName"), "zvttest");
  EXPECT_EQ(at(fields, "password"), "zvt123456");
  EXPECT_EQ(at(sent->objectAtIndex(0), "signature"), "ok");

  EXPECT_EQ(at(delegate->userInfoDictionary(), "id"), zvt::test::kServiceTestUserId);
  auto defaults = NSUserDefaults::standardUserDefaults();
  EXPECT_TRUE(defaults->boolForKey("isLogin"_ns));
  auto loginInfo = defaults->dictionaryForKey("loginInfo"_ns);
  ASSERT_TRUE(loginInfo);
  EXPECT_EQ(loginInfo->count(), 2u);
  EXPECT_EQ(at(loginInfo, "userName"), "zvttest");
  EXPECT_EQ(at(loginInfo, "password"), "zvt123456");
  auto info = defaults->stringForKey("info"_ns);
  ASSERT_TRUE(info) << "the reply's data text";
  auto record = std::dynamic_pointer_cast<NSDictionary>(objectFromJSONString(*TovrelUntiles::decryptUseDES(info)));
  EXPECT_EQ(at(record, "id"), zvt::test::kServiceTestUserId) << "kept enciphered as received";
  EXPECT_FALSE(sessionCookie().empty()) << "the site cookie for the root";
  EXPECT_EQ(sessionCookie(), at(delegate->cookieDic(), "value"));
  EXPECT_TRUE(waitForAlias(zvt::test::kServiceTestUserId));
  EXPECT_TRUE(pageLogged("登录页"));
}

TEST_F(LoginScreenTest, ItsButtonsOpenTheirScreensAndFromRegistrationItStepsBack) {
  struct Case {
    NSInteger tag;
    const char* opens;
  };
  launch();
  ASSERT_TRUE(openLoginThroughGate());
  auto stack = presentedStack();
  for (const Case& c : std::vector<Case>{{1, "TZRetrievePasswordViewController"},
                                         {2, "TZRegisterViewController"},
                                         {4, "QQWebViewController"},
                                         {5, "TaoBaoWebViewLoginController"}}) {
    SCOPED_TRACE(c.opens);
    ASSERT_TRUE(device().tapView(form()->viewWithTag(c.tag)));
    device().wait(1);
    ASSERT_EQ(stack->viewControllers().size(), 2u);
    auto opened = stack->topViewController();
    EXPECT_EQ(opened->className(), c.opens);
    if (c.tag == 2) {
      EXPECT_EQ(opened->valueForKey("isFromLogin"_ns)->description()->utf8(), "1");
    }
    stack->popViewControllerAnimated(false);
    device().wait(0.5);
  }
  auto sina = form()->viewWithTag(3);
  ASSERT_TRUE(sina);
  EXPECT_TRUE(sina->isHidden());
  EXPECT_FALSE(device().tapView(sina)) << "the hidden Sina button takes no tap";
  device().wait(1);
  EXPECT_EQ(stack->viewControllers().size(), 1u);

  // Pushed by the registration screen: the register button and the back item return there.
  for (bool byBackItem : {false, true}) {
    SCOPED_TRACE(byBackItem ? "back item" : "register button");
    auto again = zvt::makeScreen("TZLoginViewController");
    again->setValueForKey(NSNumber::numberWithBool(true), "isFromRegister"_ns);
    stack->pushViewController(again, false);
    device().wait(1);
    if (byBackItem) {
      tapBack();
    } else {
      ASSERT_TRUE(device().tapText("10秒快速注册"));
      device().wait(1);
    }
    EXPECT_EQ(stack->viewControllers().size(), 1u) << "popped, not a second registration";
    EXPECT_EQ(presentedStack(), stack) << "the stack stays presented";
  }
}

}  // namespace
