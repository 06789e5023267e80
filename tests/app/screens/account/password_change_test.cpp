// The password change through the device, against the local service: opened from the
// settings, the 20-character cap of its fields, the rules it checks before sending, the
// keyboard, the refusals, and the change that ends the session in memory and sends the user to
// log in again with the new password.

#include "app/screens/account/MyAccountViewController.h"
#include "app/screens/account/TZChangePasswordViewController.h"
#include "platform/uikit/UIKeyboard.h"
#include "tests/app/screens/account/AccountTestSupport.h"

namespace {

using zvt::test::AccountScreenTest;
using zvt::test::ScriptedReply;

constexpr const char* kOld = zvt::test::kServiceTestUserPassword;

class PasswordChangeTest : public AccountScreenTest {
 protected:
  // Empties the three fields and types the texts into them.
  bool fill(const std::shared_ptr<TZChangePasswordViewController>& screen, const std::string& old,
            const std::string& fresh, const std::string& again) {
    for (const auto& field : {screen->originalPassword(), screen->password(), screen->againPassword()})
      field->setText(""_ns);
    return typeInto(screen->originalPassword(), old) && typeInto(screen->password(), fresh) &&
           typeInto(screen->againPassword(), again);
  }
  int changeRequests() const { return service_->requestCount("userInfo&do=pwd"); }
};

TEST_F(PasswordChangeTest, EachFieldTakesTwentyCharactersAndTheRulesRefuseBeforeSending) {
  launch();
  auto screen = openChange();
  ASSERT_TRUE(screen) << topClass();
  for (const char* text : {"修改密码", "原密码", "新密码", "确认密码", "确认修改"})
    EXPECT_TRUE(device().viewWithText(text)) << text;

  for (const auto& field : {screen->originalPassword(), screen->password(), screen->againPassword()}) {
    SCOPED_TRACE(field->placeholder()->utf8());
    EXPECT_EQ(field->keyboardType(), UIKeyboardTypeASCIICapable);
    ASSERT_TRUE(typeInto(field, "abcdefghij0123456789"));
    device().typeText("x");
    EXPECT_EQ(textOf(field).size(), 20u) << "a 21st character is refused";
    ASSERT_TRUE(device().pressDelete());
    ASSERT_TRUE(device().pressDelete());
    EXPECT_EQ(textOf(field).size(), 18u) << "deleting always works";
    device().paste("xyz");
    EXPECT_EQ(textOf(field), "abcdefghij01234567") << "a paste past 20 is refused whole";
    device().paste("xy");
    EXPECT_EQ(textOf(field).size(), 20u) << "up to 20 it goes in";
  }

  struct Case {
    const char* old;
    const char* fresh;
    const char* again;
    const char* alert;
  };
  const std::vector<Case> cases = {
      {"12345", "abcdef", "abcdef", "原登录密码格式错误"},
      {"12345", "abc", "a", "原登录密码格式错误"},
      {"zvt123456", "abcde", "abcdef", "新密码格式错误"},
      {"zvt123456", "abcdef", "abcde", "确认密码不正确"},
      {"zvt123456", "", "", "新密码格式错误"},
      {"zvt123456", "abcdef", "ABCDEF", "确认密码不对"},
  };
  bool pictured = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alert);
    ASSERT_TRUE(fill(screen, c.old, c.fresh, c.again));
    ASSERT_TRUE(device().tapText("确认修改"));
    device().wait(0.5);
    EXPECT_TRUE(device().viewWithText(c.alert));
    if (!pictured) {
      zvt::test::writeScreenPicture("change-alert");
      pictured = true;
    }
    dismissAlerts();
    EXPECT_EQ(topScreen(), screen);
  }
  device().wait(1);
  EXPECT_EQ(changeRequests(), 0) << "none sends";
}

TEST_F(PasswordChangeTest, TheScrollViewEndsOnTheKeyboard) {
  launch();
  auto screen = openChange();
  ASSERT_TRUE(screen);
  auto bottom = screen->scrollViewBottomConstraints();
  ASSERT_TRUE(bottom);
  const CGFloat full = screen->bgScrollView()->frame().size.height;
  EXPECT_EQ(full, screen->view()->bounds().size.height) << "the scroll view fills the view";

  ASSERT_TRUE(typeInto(screen->password(), "abc"));
  device().wait(0.5);
  EXPECT_EQ(screen->keyboardH(), zvt::ui::Keyboard::kHeight);
  EXPECT_EQ(bottom->constant(), 103) << "216 less the bars";
  EXPECT_EQ(screen->bgScrollView()->frame().size.height, full - zvt::ui::Keyboard::kHeight);
  zvt::test::writeScreenPicture("change-keyboard");

  device().tap(CGPointMake(160, 330));  // the grey under the button
  device().wait(0.5);
  EXPECT_FALSE(screen->password()->isFirstResponder()) << "a tap on the form ends editing";
  EXPECT_EQ(screen->keyboardH(), 0);
  EXPECT_EQ(bottom->constant(), -113);
  EXPECT_EQ(screen->bgScrollView()->frame().size.height, full);
}

TEST_F(PasswordChangeTest, RefusalsOfTheServiceShowTheirMessageAndKeepTheScreen) {
  struct Case {
    const char* what;
    const char* old;
    std::optional<ScriptedReply> script;
    const char* alert;
  };
  const std::vector<Case> cases = {
      {"wrong old password", "wrong-old", std::nullopt, "密码修改失败"},
      {"data 0", kOld, ScriptedReply{.op = "userInfo&do=pwd", .code = 101, .dataJSON = "0"}, "密码修改失败"},
      {"203 with its msg", kOld, ScriptedReply{.op = "userInfo&do=pwd", .code = 203, .msg = "操作太频繁"}, "操作太频繁"},
  };
  auto delegate = launch();
  auto screen = openChange();
  ASSERT_TRUE(screen);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.script) service_->script(*c.script);
    ASSERT_TRUE(fill(screen, c.old, "newpass1", "newpass1"));
    const int before = changeRequests();
    ASSERT_TRUE(device().tapText("确认修改"));
    ASSERT_TRUE(waitFor([&] { return changeRequests() == before + 1; }));
    ASSERT_TRUE(waitFor([&] { return device().viewWithText(c.alert) != nullptr; }));
    dismissAlerts();
    device().wait(1.5);
    EXPECT_EQ(topScreen(), screen) << "the screen stays";
    EXPECT_EQ(textOf(screen->password()), "newpass1") << "the fields keep their texts";
    EXPECT_TRUE(delegate->isLogin());
  }
  auto stored = NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns);
  ASSERT_TRUE(stored);
  EXPECT_EQ(at(stored, "password"), kOld) << "nothing stored";
}

TEST_F(PasswordChangeTest, AChangeEndsTheSessionInMemoryAndTheNewPasswordLogsIn) {
  auto delegate = launch();
  auto screen = openChange();
  ASSERT_TRUE(screen);
  auto centre = std::dynamic_pointer_cast<UserInfoViewController>(topScreen()->navigationController()->viewControllers().front());
  ASSERT_TRUE(centre);
  ASSERT_TRUE(fill(screen, kOld, "newpass1", "newpass1"));
  ASSERT_TRUE(device().tapText("确认修改"));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("密码修改成功") != nullptr; }));
  auto sent = logOf("userInfo&do=pwd");
  ASSERT_EQ(sent->count(), 1u);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.id"), zvt::test::kServiceTestUserId);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.old_pwd"), kOld);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.ddpwd"), "newpass1");
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.pwd_confirm"), "newpass1");
  device().wait(0.8);
  EXPECT_TRUE(device().viewWithText("密码修改成功")) << "the tip shows 1.0 s";
  EXPECT_TRUE(delegate->isLogin()) << "the session ends once the tip has gone";
  EXPECT_EQ(topScreen(), screen);

  device().wait(1.5);
  auto defaults = NSUserDefaults::standardUserDefaults();
  EXPECT_EQ(at(defaults->dictionaryForKey("loginInfo"_ns), "password"), "newpass1");
  EXPECT_FALSE(delegate->isLogin());
  EXPECT_FALSE(delegate->userInfoDictionary());
  EXPECT_TRUE(defaults->boolForKey("isLogin"_ns)) << "the stored flag stays";
  EXPECT_EQ(topScreen(), centre) << "popped to the personal centre";
  auto login = presentedLogin();
  ASSERT_TRUE(login) << "with the login screen presented over it";
  EXPECT_TRUE(pageLogged("修改密码页"));

  login->loginView()->userTextField()->setText(""_ns);
  ASSERT_TRUE(typeInto(login->loginView()->userTextField(), zvt::test::kServiceTestUserName));
  ASSERT_TRUE(typeInto(login->loginView()->passwordTextField(), "newpass1"));
  ASSERT_TRUE(device().tapText("登 录"));
  EXPECT_TRUE(waitFor([&] { return delegate->isLogin(); })) << "the new password logs in";
}

}  // namespace
