// Password retrieval through the device, against the local service: from the login screen's
// "忘记密码?" by e-mail (the mail, the tip, the mailbox opened by the system) and by phone (the
// code, the reset screen with its count-down, the new password that logs in), the segments and
// the gating of the phone number, the refusals, and leaving while a reply is on its way.

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZModifyViewController.h"
#include "app/screens/account/TZRetrievePasswordViewController.h"
#include "platform/network/NSURLConnection.h"
#include "platform/uikit/UIApplication.h"
#include "tests/app/screens/account/AccountTestSupport.h"

namespace {

using zvt::test::AccountScreenTest;
using zvt::test::ScriptedReply;

constexpr const char* kPhone = zvt::test::kServiceTestUserPhone;
constexpr const char* kEmail = zvt::test::kServiceTestUserEmail;

class PasswordRetrievalTest : public AccountScreenTest {
 protected:
  // A tap on the form's empty grey under the button: editing ends, the keyboard goes (and comes
  // back of the field's new kind at the next tap into it).
  void endEditing() {
    device().tap(CGPointMake(160, 320));
    device().wait(0.5);
  }
  static size_t openedCount() { return UIApplication::sharedApplication()->openedURLs().size(); }
  static std::string lastOpened() {
    auto urls = UIApplication::sharedApplication()->openedURLs();
    return urls.empty() ? "(none)" : urls.back()->absoluteString()->utf8();
  }
  // Lets the count-down's ticks reach the main queue.
  static void settle() { zvt::test::runMainLoopUntil([] { return false; }, 0.05); }
  static void waitSeconds(double seconds) {
    device().wait(seconds);
    settle();
  }
  static std::string codeTitle(const std::shared_ptr<TZModifyView>& form) {
    auto title = form->verticalButton()->currentTitle();
    return title ? title->utf8() : "";
  }
  // The button's title once it reads `expected`, or after 15 s of real time: a tick made on the
  // timer's queue reaches the main queue late on a busy machine, and the virtual clock stands
  // still meanwhile, so waiting cannot carry the count past the expected second.
  static std::string codeTitleShown(const std::shared_ptr<TZModifyView>& form, const std::string& expected) {
    waitFor([&] { return codeTitle(form) == expected; });
    return codeTitle(form);
  }
  // Phone mode, the number typed and "下一步" tapped: the reset screen once the code is sent.
  std::shared_ptr<TZModifyViewController> askForResetCode(const std::shared_ptr<TZRetrievePasswordViewController>& screen) {
    auto form = screen->retrievePasswordView();
    if (!device().tapText("手机号找回") || !typeInto(form->retrieveTextField(), kPhone)) return nullptr;
    if (!device().tapView(form->nextButton())) return nullptr;
    waitFor([&] {
      settle();
      auto reset = std::dynamic_pointer_cast<TZModifyViewController>(presentedTop());
      return reset && codeTitle(reset->modifyView()) == "60秒后重新获取";
    });
    return std::dynamic_pointer_cast<TZModifyViewController>(presentedTop());
  }
};

TEST_F(PasswordRetrievalTest, ByEmailTheServiceMailsTheAddressAndItsMailboxOpensAfterTheTip) {
  launch();
  auto screen = openRetrieval();
  ASSERT_TRUE(screen) << "the login screen's link pushes the retrieval screen";
  auto form = screen->retrievePasswordView();
  for (const char* text : {"找回密码", "邮箱找回", "手机号找回", "    可选择使用邮箱或手机号找回密码", "输入已注册邮箱", "发送邮件到邮箱"})
    EXPECT_TRUE(device().viewWithText(text)) << text;
  EXPECT_EQ(form->type()->utf8(), "1");
  EXPECT_EQ(form->retrieveTextField()->keyboardType(), UIKeyboardTypeDefault) << "until the first switch";
  EXPECT_TRUE(lit(form->nextButton()));
  zvt::test::writeScreenPicture("retrieve-email");

  ASSERT_TRUE(typeInto(form->retrieveTextField(), kEmail));
  const size_t opened = openedCount();
  ASSERT_TRUE(device().tapText("发送邮件到邮箱"));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("邮件已经发送") != nullptr; }));
  EXPECT_FALSE(form->retrieveTextField()->isFirstResponder()) << "the field gave up the keyboard";
  auto sent = logOf("get_pwd");
  ASSERT_EQ(sent->count(), 1u);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.email"), kEmail);
  device().wait(0.5);
  zvt::test::writeScreenPicture("retrieve-tip");
  device().wait(1.4);
  EXPECT_TRUE(device().viewWithText("邮件已经发送")) << "the tip stays 2.0 s";
  EXPECT_EQ(openedCount(), opened) << "nothing opens before the tip has gone";
  device().wait(0.3);
  ASSERT_EQ(openedCount(), opened + 1);
  EXPECT_EQ(lastOpened(), "http://mail.example.com");
  EXPECT_EQ(presentedTop(), screen) << "the screen stays";

  auto outbox = std::dynamic_pointer_cast<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->mailOutbox())));
  ASSERT_TRUE(outbox);
  ASSERT_EQ(outbox->count(), 1u);
  EXPECT_EQ(at(outbox->objectAtIndex(0), "address"), kEmail);
  tapBack();
  EXPECT_TRUE(std::dynamic_pointer_cast<TZLoginViewController>(presentedTop())) << "the back item pops";
  EXPECT_TRUE(pageLogged("找回密码页"));
}

TEST_F(PasswordRetrievalTest, MailRefusalsShowTheirMessageAndAReplyWithoutAddressShowsOnlyTheTip) {
  struct Case {
    const char* what;
    const char* email;
    std::optional<ScriptedReply> script;
    const char* alert;  // nullptr: the tip instead
  };
  const std::vector<Case> cases = {
      {"unknown address", "nobody@example.com", std::nullopt, "邮件发送失败"},
      {"222", kEmail, ScriptedReply{.op = "get_pwd", .code = 222, .msg = "发送太频繁"}, "邮件发送失败"},
      {"203 with its msg", kEmail, ScriptedReply{.op = "get_pwd", .code = 203, .msg = "邮箱未验证"}, "邮箱未验证"},
      {"101 without email_web", kEmail, ScriptedReply{.op = "get_pwd", .code = 101, .dataJSON = "{}"}, nullptr},
      {"101 with no URL", kEmail, ScriptedReply{.op = "get_pwd", .code = 101, .dataJSON = R"({"email_web":"mail box"})"},
       nullptr},
  };
  launch();
  auto screen = openRetrieval();
  ASSERT_TRUE(screen);
  auto form = screen->retrievePasswordView();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.script) service_->script(*c.script);
    form->retrieveTextField()->setText(""_ns);
    ASSERT_TRUE(typeInto(form->retrieveTextField(), c.email));
    const size_t opened = openedCount();
    const int before = service_->requestCount("get_pwd");
    ASSERT_TRUE(device().tapView(form->nextButton()));
    ASSERT_TRUE(waitFor([&] { return service_->requestCount("get_pwd") == before + 1; }));
    const char* expected = c.alert ? c.alert : "邮件已经发送";
    ASSERT_TRUE(waitFor([&] { return device().viewWithText(expected) != nullptr; })) << expected;
    dismissAlerts();
    device().wait(2.5);
    EXPECT_EQ(openedCount(), opened) << "nothing opens";
    EXPECT_EQ(textOf(form->retrieveTextField()), c.email) << "the field keeps its text";
    EXPECT_EQ(presentedTop(), screen);
  }
}

TEST_F(PasswordRetrievalTest, SegmentsEmptyTheFieldAndPhoneModeLightsTheButtonOnlyForElevenDigits) {
  launch();
  auto screen = openRetrieval();
  ASSERT_TRUE(screen);
  auto form = screen->retrievePasswordView();
  auto field = form->retrieveTextField();
  auto button = form->nextButton();
  ASSERT_TRUE(typeInto(field, "someone@"));

  ASSERT_TRUE(device().tapText("手机号找回"));
  device().wait(0.5);
  EXPECT_EQ(textOf(field), "") << "the switch empties the field";
  EXPECT_EQ(form->type()->utf8(), "2");
  EXPECT_EQ(field->keyboardType(), UIKeyboardTypePhonePad);
  for (const char* text : {"下一步", "输入已注册手机号"}) EXPECT_TRUE(device().viewWithText(text)) << text;
  EXPECT_FALSE(lit(button)) << "grey and taking no touches";
  zvt::test::writeScreenPicture("retrieve-phone");
  device().tapView(button);
  device().wait(1);
  EXPECT_EQ(service_->requestCount("get_forgot_pwd_code"), 0) << "a tap on grey sends nothing";

  ASSERT_TRUE(typeInto(field, "1380013800"));
  EXPECT_FALSE(lit(button)) << "ten digits";
  ASSERT_TRUE(device().typeText("0"));
  EXPECT_TRUE(lit(button)) << "the eleventh digit";
  device().typeText("9");
  EXPECT_EQ(textOf(field), kPhone) << "a twelfth digit is refused";
  EXPECT_TRUE(lit(button));
  ASSERT_TRUE(device().pressDelete());
  EXPECT_FALSE(lit(button)) << "a deletion greys it";
  ASSERT_TRUE(device().typeText("0"));
  ASSERT_TRUE(device().tapView(field->clearButton()));
  device().wait(0.2);
  EXPECT_EQ(textOf(field), "");
  EXPECT_FALSE(lit(button)) << "the clear button greys it";
  device().paste("138001380001");
  EXPECT_EQ(textOf(field), "") << "a paste of twelve is refused whole";
  EXPECT_FALSE(lit(button)) << "and lights nothing";

  ASSERT_TRUE(typeInto(field, "138"));
  ASSERT_TRUE(device().tapText("邮箱找回"));
  device().wait(0.5);
  EXPECT_EQ(textOf(field), "") << "back to e-mail: empty again";
  EXPECT_EQ(form->type()->utf8(), "1");
  EXPECT_EQ(field->keyboardType(), UIKeyboardTypeEmailAddress);
  EXPECT_TRUE(device().viewWithText("发送邮件到邮箱"));
  EXPECT_TRUE(lit(button)) << "orange and taking touches";
  endEditing();
  ASSERT_TRUE(typeInto(field, "a@b.cn"));
  ASSERT_TRUE(device().tapView(field->clearButton()));
  device().wait(0.2);
  EXPECT_TRUE(lit(button)) << "a clear in e-mail mode leaves it lit";
  ASSERT_TRUE(device().tapView(button));
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("get_pwd") == 1; })) << "and it still sends";
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("邮件发送失败") != nullptr; }));
  dismissAlerts();
  EXPECT_EQ(at(logOf("get_pwd")->objectAtIndex(0), "fields.email"), "") << "sent as typed, empty";

  ASSERT_TRUE(typeInto(field, "x"));
  ASSERT_TRUE(device().tapText("手机号找回"));
  device().wait(0.5);
  EXPECT_EQ(textOf(field), "");
  ASSERT_TRUE(typeInto(field, "1"));
  ASSERT_TRUE(device().tapText("邮箱找回"));
  device().wait(0.5);
  EXPECT_EQ(textOf(field), "") << "every switch empties it";
}

TEST_F(PasswordRetrievalTest, ByPhoneTheTextedCodeAndANewPasswordResetItAndOnlyTheNewOneLogsIn) {
  auto delegate = launch();
  auto screen = openRetrieval();
  ASSERT_TRUE(screen);
  auto reset = askForResetCode(screen);
  ASSERT_TRUE(reset) << "the reset screen is pushed once the code is sent";
  auto sent = logOf("get_forgot_pwd_code");
  ASSERT_EQ(sent->count(), 1u);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.phoneNumber"), kPhone);
  EXPECT_EQ(reset->phone()->utf8(), kPhone);
  auto form = reset->modifyView();
  for (const char* text : {"重置密码", "输入短信验证码", "设定6~20位密码", "完 成"}) EXPECT_TRUE(device().viewWithText(text)) << text;
  EXPECT_EQ(codeTitle(form), "60秒后重新获取") << "counting from the moment the screen shows";
  EXPECT_FALSE(form->verticalButton()->isUserInteractionEnabled());
  device().wait(0.5);
  device().tapView(form->verticalButton());
  waitSeconds(1);
  EXPECT_EQ(service_->requestCount("get_forgot_pwd_code"), 1) << "the counting button takes no tap";

  // "完 成" follows both fields, through every edit and clear.
  auto finish = form->finishButton();
  EXPECT_FALSE(lit(finish));
  device().tapView(finish);
  device().wait(0.5);
  EXPECT_EQ(service_->requestCount("forgot_pwd_reset"), 0) << "grey from creation takes no touches";
  const std::string code = service_->latestSmsCode(kPhone, "forgot");
  ASSERT_FALSE(code.empty());
  ASSERT_TRUE(typeInto(form->verticalTextField(), code));
  EXPECT_FALSE(lit(finish)) << "one field";
  ASSERT_TRUE(typeInto(form->passwordTextField(), "n"));
  EXPECT_TRUE(lit(finish)) << "the first character of the second field";
  ASSERT_TRUE(device().pressDelete());
  EXPECT_FALSE(lit(finish)) << "deleting the last character";
  ASSERT_TRUE(device().typeText("newpass1"));
  EXPECT_TRUE(lit(finish));
  ASSERT_TRUE(device().tapView(form->verticalTextField()));
  ASSERT_TRUE(device().tapView(form->verticalTextField()->clearButton()));
  device().wait(0.2);
  EXPECT_FALSE(lit(finish)) << "a clear greys it";
  ASSERT_TRUE(device().typeText(code));
  EXPECT_TRUE(lit(finish));
  zvt::test::writeScreenPicture("reset-lit");

  ASSERT_TRUE(device().tapView(finish));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("密码重置成功") != nullptr; }));
  auto fields = logOf("forgot_pwd_reset")->objectAtIndex(0);
  EXPECT_EQ(at(fields, "fields.phoneNumber"), kPhone);
  EXPECT_EQ(at(fields, "fields.verifyCode"), code);
  EXPECT_EQ(at(fields, "fields.password"), "newpass1");
  dismissAlerts();
  device().wait(1);
  auto login = std::dynamic_pointer_cast<TZLoginViewController>(presentedTop());
  ASSERT_TRUE(login) << "popped to the login screen";
  EXPECT_EQ(presentedStack()->viewControllers().size(), 1u);

  struct Attempt {
    const char* password;
    bool logsIn;
  };
  for (const Attempt& a : {Attempt{zvt::test::kServiceTestUserPassword, false}, Attempt{"newpass1", true}}) {
    SCOPED_TRACE(a.password);
    login->loginView()->userTextField()->setText(""_ns);
    login->loginView()->passwordTextField()->setText(""_ns);
    ASSERT_TRUE(typeInto(login->loginView()->userTextField(), kPhone));
    ASSERT_TRUE(typeInto(login->loginView()->passwordTextField(), a.password));
    const int before = service_->requestCount("login");
    ASSERT_TRUE(device().tapText("登 录"));
    ASSERT_TRUE(waitFor([&] { return service_->requestCount("login") == before + 1; }));
    if (a.logsIn) {
      EXPECT_TRUE(waitFor([&] { return delegate->isLogin(); }));
    } else {
      EXPECT_TRUE(waitFor([&] { return device().viewWithText("登录失败") != nullptr; }));
      EXPECT_FALSE(delegate->isLogin()) << "the old password no longer logs in";
      dismissAlerts();
    }
  }
  EXPECT_TRUE(pageLogged("找回密码页"));
  EXPECT_TRUE(pageLogged("重置密码页"));
}

TEST_F(PasswordRetrievalTest, AWrongCodeKeepsTheFieldsAndANewCodeCountsAgainOrEndsAtOnceWhenRefused) {
  launch();
  auto screen = openRetrieval();
  ASSERT_TRUE(screen);
  auto reset = askForResetCode(screen);
  ASSERT_TRUE(reset);
  device().wait(0.5);
  auto form = reset->modifyView();
  ASSERT_TRUE(typeInto(form->verticalTextField(), "000000"));
  ASSERT_TRUE(typeInto(form->passwordTextField(), "newpass1"));
  ASSERT_TRUE(device().tapView(form->finishButton()));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("验证码错误") != nullptr; }));
  dismissAlerts();
  EXPECT_EQ(textOf(form->verticalTextField()), "000000");
  EXPECT_EQ(textOf(form->passwordTextField()), "newpass1");
  EXPECT_EQ(presentedTop(), reset);

  EXPECT_NE(codeTitle(form).find("秒后重新获取"), std::string::npos) << "still counting";
  zvt::test::writeScreenPicture("reset-counting");
  waitSeconds(60);
  ASSERT_EQ(codeTitleShown(form, "重新获取"), "重新获取") << "idle 60 s after the screen showed";
  ASSERT_TRUE(device().tapText("重新获取"));
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("get_forgot_pwd_code") == 2; }));
  EXPECT_EQ(at(logOf("get_forgot_pwd_code")->objectAtIndex(1), "fields.phoneNumber"), kPhone);
  // The first tick comes from the timer's queue: until it lands the button shows the selected
  // title of the last count-down.
  EXPECT_TRUE(waitFor([&] {
    settle();
    return codeTitle(form) == "60秒后重新获取";
  })) << "counting again";
  // The count began when the reply came, and the clock has stood still since the tap sent the
  // request: its ticks are due whole seconds from now, so the wait below ends inside the last
  // second. (Stepping until the title changes would overshoot by every step taken while a due
  // tick was still on its way to the main queue.)
  waitSeconds(1);
  ASSERT_EQ(codeTitleShown(form, "59秒后重新获取"), "59秒后重新获取");
  waitSeconds(58.2);
  ASSERT_EQ(codeTitleShown(form, "1秒后重新获取"), "1秒后重新获取");
  device().tapView(form->verticalButton());
  settle();
  EXPECT_EQ(service_->requestCount("get_forgot_pwd_code"), 2) << "no tap goes through for 60 s";
  waitSeconds(1);
  ASSERT_EQ(codeTitleShown(form, "重新获取"), "重新获取");

  service_->script(ScriptedReply{.op = "get_forgot_pwd_code", .code = 203, .msg = "今日获取次数已用完"});
  ASSERT_TRUE(device().tapText("重新获取"));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("今日获取次数已用完") != nullptr; }))
      << "the refusal is told in an alert";
  settle();
  EXPECT_EQ(codeTitle(form), "重新获取") << "the count-down ended at once";
  EXPECT_TRUE(form->verticalButton()->isUserInteractionEnabled());
  EXPECT_FALSE(form->verticalButton()->isSelected());
  dismissAlerts();
}

TEST_F(PasswordRetrievalTest, LeavingWhileTheCodeIsOnItsWayPushesNothingLateButStillTellsARefusal) {
  struct Case {
    const char* what;
    ScriptedReply reply;
    const char* alert;
    bool duringPop = false;  // the reply lands while the pop still animates
  };
  const std::vector<Case> cases = {
      {"late success", ScriptedReply{.op = "get_forgot_pwd_code", .delayMs = 1500}, nullptr},
      {"late refusal", ScriptedReply{.op = "get_forgot_pwd_code", .code = 202, .msg = "该手机号未注册", .delayMs = 1500},
       "该手机号未注册"},
      {"success during the pop", ScriptedReply{.op = "get_forgot_pwd_code", .hold = "code"}, nullptr, true},
  };
  launch();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto screen = openRetrieval();
    ASSERT_TRUE(screen);
    service_->script(c.reply);
    auto form = screen->retrievePasswordView();
    const int before = service_->requestCount("get_forgot_pwd_code");
    ASSERT_TRUE(device().tapText("手机号找回"));
    ASSERT_TRUE(typeInto(form->retrieveTextField(), kPhone));
    ASSERT_TRUE(device().tapView(form->nextButton()));
    device().wait(0.1);
    if (c.duringPop) {
      device().tap(CGPointMake(20, 42));  // back: its pop runs 0.35 s
      service_->release("code");
      ASSERT_TRUE(waitFor([] { return zvt::urlConnectionLoadsInFlight() == 0; })) << "the reply lands";
      device().wait(1);
    } else {
      tapBack();
    }
    auto login = std::dynamic_pointer_cast<TZLoginViewController>(presentedTop());
    ASSERT_TRUE(login) << "popped while the reply is held back";
    ASSERT_TRUE(waitFor([&] { return service_->requestCount("get_forgot_pwd_code") == before + 1; }));
    if (c.alert) {
      EXPECT_TRUE(waitFor([&] { return device().viewWithText(c.alert) != nullptr; }));
    } else {
      waitFor([] { return false; }, 2.5);
    }
    device().wait(1);
    EXPECT_EQ(presentedTop(), login) << "nothing pushed";
    EXPECT_EQ(presentedStack()->viewControllers().size(), 1u);
    dismissAlerts();
    tapBack();
    ASSERT_FALSE(presentedStack());
  }
}

}  // namespace
