// "信息填写" through the device, against the local service: an e-mail on file is locked and only
// the QQ number is saved; without one both are required in order and saved together; the
// record's empty or null e-mail counts as none; refusals keep the input.

#include "app/screens/account/TZEmailAndQQViewController.h"
#include "app/screens/account/TZPersonalViewController.h"
#include "platform/uikit/UIKeyboard.h"
#include "tests/app/screens/account/PersonalTestSupport.h"

namespace {

using zvt::test::PersonalScreenTest;

class EmailQQTest : public PersonalScreenTest {
 protected:
  // The centre's avatar, then the row titled `title` of the personal information.
  std::shared_ptr<TZEmailAndQQViewController> openFromRow(const std::shared_ptr<UserInfoViewController>& centre,
                                                          const char* title) {
    if (!centre || !device().tapView(centre->headerView()->userIconImageView())) return nullptr;
    device().wait(1);
    settleRefresh(service_->requestCount("userInfo&do=my") - 1);
    if (!device().tapText(title)) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZEmailAndQQViewController>(topScreen());
  }
  // Taps "完成" and whether `tip` then shows.
  bool finishShows(const std::string& tip) {
    if (!device().tapText("完成")) return false;
    bool shown = waitFor([&] { return shows(tip); }, 5);
    device().wait(2.5);  // the tip goes
    return shown;
  }
};

TEST_F(EmailQQTest, WithAnEmailOnFileOnlyTheQQIsCheckedAndSaved) {
  auto centre = launchAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  auto screen = openFromRow(centre, "QQ");
  ASSERT_TRUE(screen) << topClass();
  auto form = screen->emailSetupView();
  EXPECT_TRUE(shows("信息填写"));
  EXPECT_EQ(textOf(form->emailTextField()), zvt::test::kServiceTestUserEmail);
  EXPECT_EQ(textOf(form->QQTextField()), "10001");
  zvt::test::writeScreenPicture("email-qq");

  // The e-mail cannot be changed: a tip, no keyboard.
  ASSERT_TRUE(device().tapView(form->emailTextField()));
  device().wait(0.3);
  EXPECT_TRUE(shows("已填入的邮箱不可修改"));
  EXPECT_FALSE(form->emailTextField()->isFirstResponder());
  EXPECT_FALSE(zvt::ui::Keyboard::shared().isShown());
  device().wait(2.5);

  struct Case {
    const char* qq;
    const char* tip;
  };
  for (const Case& c : std::vector<Case>{{"", "QQ未填写"}, {"01234", "QQ格式不对"}, {"1234", "QQ格式不对"}}) {
    SCOPED_TRACE(c.qq);
    form->QQTextField()->setText(NSString::stringWithUTF8String(c.qq));
    EXPECT_TRUE(finishShows(c.tip));
  }
  EXPECT_EQ(service_->requestCount("update_userinfo"), 0);

  // A refusal keeps the input and shows the service's text.
  service_->script(zvt::test::ScriptedReply{.op = "update_userinfo", .code = 202, .msg = "QQ号已被占用"});
  form->QQTextField()->setText("123456"_ns);
  ASSERT_TRUE(device().tapText("完成"));
  ASSERT_TRUE(waitFor([&] { return shows("QQ号已被占用"); }));
  dismissAlerts();
  EXPECT_EQ(textOf(form->QQTextField()), "123456");
  EXPECT_EQ(topScreen(), screen);

  const int asked = service_->requestCount("userInfo&do=my");
  ASSERT_TRUE(device().tapText("完成"));
  ASSERT_TRUE(waitFor([&] { return topScreen() != screen; }));
  settleRefresh(asked);
  auto sent = logOf("update_userinfo");
  ASSERT_EQ(sent->count(), 2u);
  auto last = sent->objectAtIndex(1);
  EXPECT_EQ(at(last, "fields.id"), zvt::test::kServiceTestUserId);
  EXPECT_EQ(at(last, "fields.qq"), "123456");
  EXPECT_EQ(at(last, "fields.email"), "(nil)") << "the e-mail on file is not sent";
  EXPECT_EQ(at(delegate_->userInfoDictionary(), "qq"), "123456");
  auto personal = std::dynamic_pointer_cast<TZPersonalViewController>(topScreen());
  ASSERT_TRUE(personal);
  waitFor([&] { return shows("123456"); }, 3);
  EXPECT_TRUE(shows("123456")) << "the row shows the saved number";
}

TEST_F(EmailQQTest, WithoutAnEmailBothAreRequiredInOrderAndSavedTogether) {
  struct Case {
    const char* what;
    const char* email;
    const char* qq;
    const char* tip;
  };
  auto centre = launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword);
  auto screen = openFromRow(centre, "邮箱");
  ASSERT_TRUE(screen) << topClass();
  auto form = screen->emailSetupView();
  EXPECT_EQ(textOf(form->emailTextField()), "");
  ASSERT_TRUE(typeInto(form->emailTextField(), "ww@")) << "editable without an e-mail on file";
  for (const Case& c : std::vector<Case>{{"both empty", "", "", "邮箱未填写"},
                                         {"e-mail only", "ww@example.com", "", "QQ未填写"},
                                         {"QQ only", "", "123456", "邮箱未填写"},
                                         {"not an address", "abc", "123456", "邮箱格式不对"},
                                         {"4 digits", "ww@example.com", "1234", "QQ格式不对"},
                                         {"13 digits", "ww@example.com", "1234567890123", "QQ格式不对"},
                                         {"leading 0", "ww@example.com", "012345", "QQ格式不对"}}) {
    SCOPED_TRACE(c.what);
    form->emailTextField()->setText(NSString::stringWithUTF8String(c.email));
    form->QQTextField()->setText(NSString::stringWithUTF8String(c.qq));
    EXPECT_TRUE(finishShows(c.tip));
  }
  EXPECT_EQ(service_->requestCount("update_userinfo"), 0);
  form->emailTextField()->setText("ww@example.com"_ns);
  form->QQTextField()->setText("123456789012"_ns);
  ASSERT_TRUE(device().tapText("完成"));
  ASSERT_TRUE(waitFor([&] { return topScreen() != screen; }));
  auto sent = logOf("update_userinfo");
  ASSERT_EQ(sent->count(), 1u);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.id"), zvt::test::kServiceNewUserId);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.email"), "ww@example.com");
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.qq"), "123456789012");
  EXPECT_EQ(at(delegate_->userInfoDictionary(), "email"), "ww@example.com");
  EXPECT_FALSE(pageLogged("信息填写"));
}

TEST_F(EmailQQTest, AnEmptyOrNullEmailCountsAsNone) {
  auto centre = launchAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  for (const char* email : {R"("")", "null"}) {
    SCOPED_TRACE(email);
    setUser(std::string(R"({"id":"10001","email":)") + email + "}");
    auto screen = openFromRow(centre, "邮箱");
    ASSERT_TRUE(screen) << topClass();
    auto form = screen->emailSetupView();
    EXPECT_EQ(textOf(form->emailTextField()), "");
    ASSERT_TRUE(typeInto(form->emailTextField(), "a")) << "editable";
    EXPECT_TRUE(form->emailTextField()->isFirstResponder());
    form->emailTextField()->setText(""_ns);
    EXPECT_TRUE(finishShows("邮箱未填写")) << "both are required";
    tapBack();
    tapBack();
    settleRefresh(service_->requestCount("userInfo&do=my") - 1);
  }
}

TEST_F(EmailQQTest, WithoutAUserIdTheRequestGoesWithoutOneAndTheRefusalIsShown) {
  auto centre = launchAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  auto screen = openFromRow(centre, "QQ");
  ASSERT_TRUE(screen) << topClass();
  delegate_->userInfoDictionary()->removeObjectForKey("id"_ns);
  screen->emailSetupView()->QQTextField()->setText("123456"_ns);
  ASSERT_TRUE(device().tapText("完成"));
  ASSERT_TRUE(waitFor([&] { return zvt::ui::AlertPresenter::shared().count() > 0; }));
  auto sent = logOf("update_userinfo");
  ASSERT_EQ(sent->count(), 1u);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.id"), "(nil)");
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.qq"), "123456");
  device().wait(0.5);
  EXPECT_TRUE(shows("无权操作其他用户的数据")) << "the service's refusal";
  zvt::test::writeScreenPicture("email-qq-no-id");
  dismissAlerts();
  EXPECT_EQ(topScreen(), screen) << "the input stays";
  EXPECT_EQ(textOf(screen->emailSetupView()->QQTextField()), "123456");
}

}  // namespace
