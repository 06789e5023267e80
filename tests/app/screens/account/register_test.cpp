// The registration screen through the device, against the local service: the mode the service
// chooses, what each form refuses before sending, the SMS code with its count-down (and the
// ways a count-down used to stop early or never), the registrations that log in and greet with
// the red packet, and where the other buttons lead.

#include <deque>

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZRegisterViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UINavigationController.h"
#include "tests/app/screens/account/AccountTestSupport.h"

namespace {

using zvt::test::AccountScreenTest;

constexpr const char* kNewPhone = "13800138123";

class RegisterScreenTest : public AccountScreenTest {
 protected:
  void SetUp() override {
    AccountScreenTest::SetUp();
    zvt::registerRewardsScreens();  // the red packet a registration shows
  }
  // Opens the red packet over the tab bar; answers whether it shows `reward`.
  bool redPacketShows(const std::string& reward) {
    auto open = device().viewWithAccessibilityIdentifier("redpacketOpen");
    if (!open || !device().tapView(open)) return false;
    device().wait(0.5);
    return device().viewWithText(reward) != nullptr;
  }
  void TearDown() override {
    zvt::account::setAuthCodeRandom(nullptr);
    AccountScreenTest::TearDown();
  }
  // The code button's title as shown (the selected title while counting).
  static std::string codeTitle(const std::shared_ptr<TZRegisterView>& form) {
    auto title = form->verticalButton()->currentTitle();
    return title ? title->utf8() : "";
  }
  // The button's title once it reads `expected`, or after 15 s of real time: a tick made on the
  // timer's queue reaches the main queue late on a busy machine, and the virtual clock stands
  // still meanwhile, so waiting cannot carry the count past the expected second.
  static std::string codeTitleShown(const std::shared_ptr<TZRegisterView>& form, const std::string& expected) {
    waitFor([&] { return codeTitle(form) == expected; });
    return codeTitle(form);
  }
  // Lets the count-down's ticks reach the main queue.
  static void settle() {
    zvt::test::runMainLoopUntil([] { return false; }, 0.05);
  }
  static void waitSeconds(double seconds) {
    device().wait(seconds);
    settle();
  }
  // Types a phone number and asks for a code; answers once the count-down shows.
  bool askForCode(const std::shared_ptr<TZRegisterView>& form, const char* phone) {
    if (!typeInto(form->phoneTextField(), phone)) return false;
    if (!device().tapView(form->verticalButton())) return false;
    return waitFor([&] {
      settle();
      return codeTitle(form) == "60秒后重新获取";
    });
  }
};

TEST_F(RegisterScreenTest, TheServiceModeChoosesTheFormAndThePhoneFormRefusesEmptyFieldsInOrder) {
  struct Case {
    const char* regMethod;
    bool phone;
  };
  launch();
  for (const Case& c : std::vector<Case>{{nullptr, true}, {"2", true}, {"3", true}, {"1", false}}) {
    SCOPED_TRACE(c.regMethod ? c.regMethod : "(none)");
    auto screen = presentRegister(c.regMethod);
    ASSERT_TRUE(screen);
    EXPECT_TRUE(device().viewWithText("注 册"));
    EXPECT_EQ(static_cast<bool>(screen->registerView()), c.phone);
    EXPECT_EQ(static_cast<bool>(screen->originalRegisterView()), !c.phone);
    if (c.phone) {
      auto form = screen->registerView();
      for (const char* text : {"输入您的手机号", "输入短信验证码", "设定6~20位密码", "获取验证码", "合作账号注册"})
        EXPECT_TRUE(device().viewWithText(text)) << text;
      // The alerts come one field at a time, in the form's order.
      struct Step {
        std::shared_ptr<UITextField> field;
        const char* text;
        const char* alert;
      };
      for (const Step& step : {Step{nullptr, "", "请输入手机号"}, Step{form->phoneTextField(), kNewPhone, "请输入验证码"},
                               Step{form->verticalTextField(), "1234", "请输入密码"}}) {
        if (step.field) {
          ASSERT_TRUE(typeInto(step.field, step.text));
        }
        ASSERT_TRUE(device().tapView(form->registerButton()));
        device().wait(0.5);
        EXPECT_TRUE(device().viewWithText(step.alert)) << step.alert;
        dismissAlerts();
      }
      EXPECT_EQ(service_->requestCount("register"), 0) << "nothing is sent";
    }
    tapBack();
    EXPECT_FALSE(presentedStack()) << "opened from the centre, the back item dismisses";
  }
}

TEST_F(RegisterScreenTest, TheCodeCountsDownFromSixtyAndAOneCharacterPasswordGoesOutAsTyped) {
  launch();
  auto screen = presentRegister(nullptr);
  ASSERT_TRUE(screen);
  auto form = screen->registerView();
  ASSERT_TRUE(typeInto(form->phoneTextField(), "1380013812345"));
  EXPECT_EQ(form->phoneTextField()->text()->utf8(), "13800138123") << "capped at 11 while typing";
  device().paste("9");
  EXPECT_EQ(form->phoneTextField()->text()->utf8(), "13800138123") << "a 12th character is refused";
  form->phoneTextField()->setText(""_ns);
  device().paste("138001381234");
  EXPECT_EQ(form->phoneTextField()->text()->utf8(), "") << "a 12-digit paste into the empty field is refused whole";
  device().paste("13800138123");
  EXPECT_EQ(form->phoneTextField()->text()->utf8(), "13800138123") << "an 11-digit paste goes in";

  ASSERT_TRUE(device().tapView(form->verticalButton()));
  device().wait(0.2);
  EXPECT_TRUE(device().viewWithText("获取中...")) << "the tip while the code is asked for";
  ASSERT_TRUE(waitFor([&] {
    settle();
    return codeTitle(form) == "60秒后重新获取";
  }));
  EXPECT_TRUE(form->verticalButton()->isSelected());
  EXPECT_FALSE(form->verticalButton()->isUserInteractionEnabled());
  EXPECT_EQ(at(logOf("get_register_code")->objectAtIndex(0), "fields.phoneNumber"), kNewPhone);
  waitSeconds(1);
  EXPECT_EQ(codeTitleShown(form, "59秒后重新获取"), "59秒后重新获取");
  waitSeconds(29);
  EXPECT_EQ(codeTitleShown(form, "30秒后重新获取"), "30秒后重新获取");
  zvt::test::writeScreenPicture("register-phone-counting");
  waitSeconds(29);
  EXPECT_EQ(codeTitleShown(form, "1秒后重新获取"), "1秒后重新获取");
  EXPECT_FALSE(form->verticalButton()->isUserInteractionEnabled());
  waitSeconds(1);
  EXPECT_EQ(codeTitleShown(form, "重新获取"), "重新获取") << "idle again 60 s after the start";
  EXPECT_FALSE(form->verticalButton()->isSelected());
  EXPECT_TRUE(form->verticalButton()->isUserInteractionEnabled());

  // A one-character password passes the form; the service judges it.
  ASSERT_TRUE(typeInto(form->verticalTextField(), service_->latestSmsCode(kNewPhone, "register")));
  ASSERT_TRUE(typeInto(form->passwordTextField(), "x"));
  ASSERT_TRUE(device().tapView(form->registerButton()));
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("register") == 1; }));
  EXPECT_EQ(at(logOf("register")->objectAtIndex(0), "fields.password"), "x");
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("密码至少6位") != nullptr; }));
  dismissAlerts();
  EXPECT_FALSE(delegate_->isLogin());
}

TEST_F(RegisterScreenTest, AWrongCodeEndsTheCountDownAtOnceAndTheRightOneLogsInWithTheRedPacket) {
  launch();
  auto screen = presentRegister("2");
  ASSERT_TRUE(screen);
  auto form = screen->registerView();
  ASSERT_TRUE(askForCode(form, kNewPhone));
  waitSeconds(5);
  const std::string code = service_->latestSmsCode(kNewPhone, "register");
  ASSERT_FALSE(code.empty());
  ASSERT_TRUE(typeInto(form->verticalTextField(), code == "000000" ? "111111" : "000000"));
  ASSERT_TRUE(typeInto(form->passwordTextField(), "zvt654321"));
  ASSERT_TRUE(device().tapView(form->registerButton()));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("验证码错误") != nullptr; }));
  settle();
  EXPECT_EQ(codeTitleShown(form, "重新获取"), "重新获取") << "a 304 ends the count-down at once";
  EXPECT_TRUE(form->verticalButton()->isUserInteractionEnabled());
  zvt::test::writeScreenPicture("register-phone-wrong-code");
  dismissAlerts();
  waitSeconds(3);
  EXPECT_EQ(codeTitleShown(form, "重新获取"), "重新获取") << "no late tick brings the count back";
  EXPECT_TRUE(form->verticalButton()->isUserInteractionEnabled());

  // The right code (a new one) registers and logs in; the red packet greets over the tab bar.
  ASSERT_TRUE(askForCode(form, ""));
  form->verticalTextField()->setText(""_ns);
  ASSERT_TRUE(typeInto(form->verticalTextField(), service_->latestSmsCode(kNewPhone, "register")));
  ASSERT_TRUE(device().tapView(form->registerButton()));
  ASSERT_TRUE(waitFor([&] { return delegate_->isLogin(); }));
  device().wait(1);
  EXPECT_FALSE(presentedStack()) << "the stack closes";
  EXPECT_TRUE(redPacketShows("100Velmo+10集分宝")) << "the red packet";
  zvt::test::writeScreenPicture("register-red-packet");
  auto sent = logOf("register");
  ASSERT_EQ(sent->count(), 2u);
  for (const char* key : {"phoneNumber", "verifyCode", "password"})
    EXPECT_NE(at(sent->objectAtIndex(1), (std::string("fields.") + key).c_str()), "(nil)") << key;
  EXPECT_EQ(at(NSUserDefaults::standardUserDefaults()->dictionaryForKey("loginInfo"_ns), "userName"), kNewPhone);
  EXPECT_TRUE(pageLogged("注册页"));
}

TEST_F(RegisterScreenTest, ADoubleTapWhileTheCodeIsOutSendsOneRequestAndRunsOneCountDown) {
  launch();
  auto screen = presentRegister(nullptr);
  ASSERT_TRUE(screen);
  auto form = screen->registerView();
  service_->script(zvt::test::ScriptedReply{.op = "get_register_code", .delayMs = 3000});
  ASSERT_TRUE(typeInto(form->phoneTextField(), kNewPhone));
  ASSERT_TRUE(device().tapView(form->verticalButton()));
  device().wait(2.5);
  EXPECT_FALSE(device().viewWithText("获取中...")) << "the tip is gone after 2 s";
  ASSERT_TRUE(device().tapView(form->verticalButton()));
  ASSERT_TRUE(waitFor([&] {
    settle();
    return codeTitle(form) == "60秒后重新获取";
  }));
  zvt::test::runMainLoopUntil([] { return false; }, 0.5);
  EXPECT_EQ(service_->requestCount("get_register_code"), 1) << "the second tap sent nothing";
  auto timer = form->mytimer();
  waitSeconds(10);
  EXPECT_EQ(codeTitleShown(form, "50秒后重新获取"), "50秒后重新获取");
  EXPECT_EQ(form->mytimer(), timer) << "one count-down";
}

TEST_F(RegisterScreenTest, ASecondStartLeavesOneTimerAndAnEndBeforeAnyStartChangesNothing) {
  launch();
  auto screen = presentRegister(nullptr);
  ASSERT_TRUE(screen);
  auto form = screen->registerView();
  form->endCountDown();
  settle();
  EXPECT_FALSE(form->mytimer());
  EXPECT_EQ(codeTitleShown(form, "获取验证码"), "获取验证码");
  EXPECT_TRUE(form->verticalButton()->isUserInteractionEnabled());

  form->startCountDown();
  waitSeconds(20);
  auto first = form->mytimer();
  form->startCountDown();
  settle();
  EXPECT_TRUE(dispatch_source_testcancel(first)) << "the earlier timer is cancelled";
  EXPECT_EQ(codeTitleShown(form, "60秒后重新获取"), "60秒后重新获取");
  waitSeconds(45);
  EXPECT_EQ(codeTitleShown(form, "15秒后重新获取"), "15秒后重新获取") << "the old timer's end never cuts this one short";
  EXPECT_FALSE(form->verticalButton()->isUserInteractionEnabled());
  waitSeconds(15);
  EXPECT_EQ(codeTitleShown(form, "重新获取"), "重新获取") << "idle 60 s after the last start";

  // The next count-down runs its full 60 s, even when it starts before the restoration of an
  // end that came just before it has reached the button.
  form->startCountDown();
  waitSeconds(5);
  form->endCountDown();
  form->startCountDown();
  settle();
  EXPECT_TRUE(form->verticalButton()->isSelected()) << "the stale restoration is dropped";
  EXPECT_FALSE(form->verticalButton()->isUserInteractionEnabled());
  waitSeconds(59);
  EXPECT_EQ(codeTitleShown(form, "1秒后重新获取"), "1秒后重新获取");
  waitSeconds(1);
  EXPECT_EQ(codeTitleShown(form, "重新获取"), "重新获取");
}

TEST_F(RegisterScreenTest, PushedFromTheLoginScreenSuccessClosesTheLoginScreenToo) {
  launch();
  delegate_->setRegMethod("2"_ns);
  auto login = openLoginThroughGate();
  ASSERT_TRUE(login);
  ASSERT_TRUE(device().tapText("10秒快速注册"));
  device().wait(1);
  auto screen = std::dynamic_pointer_cast<TZRegisterViewController>(presentedStack()->topViewController());
  ASSERT_TRUE(screen);
  EXPECT_TRUE(screen->isFromLogin());
  auto form = screen->registerView();
  ASSERT_TRUE(askForCode(form, kNewPhone));
  ASSERT_TRUE(typeInto(form->verticalTextField(), service_->latestSmsCode(kNewPhone, "register")));
  ASSERT_TRUE(typeInto(form->passwordTextField(), "zvt654321"));
  ASSERT_TRUE(device().pressReturn()) << "return in the password field registers";
  ASSERT_TRUE(waitFor([&] { return delegate_->isLogin(); }));
  device().wait(1);
  EXPECT_FALSE(presentedStack()) << "the login screen closed with it";
}

// --- e-mail mode

class EmailRegisterTest : public RegisterScreenTest {
 protected:
  static bool isMainButtonEnabledNow(const std::shared_ptr<TZOriginalRegisterView>& form) {
    return zvt::account::isMainButtonEnabled(form->registerButton());
  }
  // Scripts the picture code's characters: the four indexes, then "0"s.
  static void scriptCode(std::vector<uint32_t> indexes) {
    auto queue = std::make_shared<std::deque<uint32_t>>(indexes.begin(), indexes.end());
    zvt::account::setAuthCodeRandom([queue](zvt::account::AuthCodeRandomUse use) -> uint32_t {
      if (use != zvt::account::AuthCodeRandomUse::character) return 200;  // a light background, near offsets
      if (queue->empty()) return 0;
      uint32_t next = queue->front();
      queue->pop_front();
      return next;
    });
  }
  // Fills the four fields (replacing what they hold).
  void fill(const std::shared_ptr<TZOriginalRegisterView>& form, const std::string& email, const std::string& password,
            const std::string& again, const std::string& code) {
    for (const auto& [field, text] : std::vector<std::pair<std::shared_ptr<UITextField>, std::string>>{
             {form->emailTextField(), email},
             {form->passwordTextField(), password},
             {form->againPasswordTextField(), again},
             {form->verticalTextField(), code}}) {
      field->setText(""_ns);
      ASSERT_TRUE(typeInto(field, text));
    }
  }
};

TEST_F(EmailRegisterTest, TheFormRefusesBeforeSendingAndAWrongPictureCodeDrawsANewOne) {
  launch();
  scriptCode({10, 11, 12, 61});  // "ABCz"
  auto screen = presentRegister("1");
  ASSERT_TRUE(screen);
  auto form = screen->originalRegisterView();
  ASSERT_TRUE(form);
  EXPECT_EQ(form->authCodeView()->authCodeStr()->utf8(), "ABCz") << "index 61 is the last entry, \"z\"";
  struct Case {
    const char* email;
    const char* password;
    const char* again;
    const char* code;
    const char* alert;
  };
  bool pictured = false;
  for (const Case& c : std::vector<Case>{
           {"not-an-email", "abcdef", "abcdef", "ABCz", "邮箱格式不对"},
           {"new@zavelto.test", "abcde", "abcde", "ABCz", "密码长度不符合标准"},
           {"new@zavelto.test", "abcdefghijklmnopqrstu", "abcdefghijklmnopqrstu", "ABCz", "密码长度不符合标准"},
           {"new@zavelto.test", "abcdef", "abcdeg", "XXXX", "确认密码不对"},
           {"new@zavelto.test", "abcdef", "abcdef", "XXXX", "验证码不对"},
       }) {
    SCOPED_TRACE(c.alert);
    scriptCode({10, 11, 12, 61});
    form->authCodeView()->getAuthCode();
    fill(form, c.email, c.password, c.again, c.code);
    ASSERT_TRUE(isMainButtonEnabledNow(form));
    scriptCode({1, 2, 3, 4});
    ASSERT_TRUE(device().tapView(form->registerButton()));
    device().wait(0.5);
    EXPECT_TRUE(device().viewWithText(c.alert));
    if (!pictured) {
      zvt::test::writeScreenPicture("register-email-alert");
      pictured = true;
    }
    const bool redrawn = std::string(c.alert) == "验证码不对";
    EXPECT_EQ(form->authCodeView()->authCodeStr()->utf8(), redrawn ? "1234" : "ABCz");
    dismissAlerts();
  }
  EXPECT_EQ(service_->requestCount("register"), 0) << "nothing is sent";
}

TEST_F(EmailRegisterTest, TheCodeInTheOtherCasePassesAndOnlyNameAndPasswordAreSent) {
  launch();
  scriptCode({10, 36, 5, 61});  // "Aa5z"
  auto screen = presentRegister("1");
  ASSERT_TRUE(screen);
  auto form = screen->originalRegisterView();
  fill(form, "new@zavelto.test", "abcdef", "abcdef", "aA5Z");
  ASSERT_TRUE(device().tapView(form->registerButton()));
  ASSERT_TRUE(waitFor([&] { return delegate_->isLogin(); }));
  device().wait(1);
  EXPECT_FALSE(presentedStack());
  EXPECT_TRUE(redPacketShows("100Velmo+10集分宝")) << "the red packet";
  auto sent = logOf("register");
  ASSERT_EQ(sent->count(), 1u);
  EXPECT_EQ(at(sent->objectAtIndex(0), "fields.userName"), "new@zavelto.test");
  EXPECT_NE(at(sent->objectAtIndex(0), "fields.password"), "(nil)");
  auto fields = std::dynamic_pointer_cast<NSDictionary>(
      std::dynamic_pointer_cast<NSDictionary>(sent->objectAtIndex(0))->objectForKey("fields"_ns));
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->count(), 4u) << "userName, password and the signature's time and code: no confirmation, no picture code";
}

TEST_F(EmailRegisterTest, TheRegisterButtonLightsOnlyWithTheKeystrokeAfterTheThresholds) {
  launch();
  scriptCode({10, 11, 12, 13});
  auto screen = presentRegister("1");
  auto form = screen->originalRegisterView();
  ASSERT_TRUE(form);
  EXPECT_FALSE(isMainButtonEnabledNow(form)) << "grey at first";
  ASSERT_TRUE(typeInto(form->emailTextField(), "a@b.cn"));
  ASSERT_TRUE(typeInto(form->passwordTextField(), "abcde"));
  ASSERT_TRUE(typeInto(form->againPasswordTextField(), "abcde"));
  ASSERT_TRUE(typeInto(form->verticalTextField(), "ABC"));
  EXPECT_FALSE(isMainButtonEnabledNow(form)) << "the texts before the last keystroke were short";
  ASSERT_TRUE(device().typeText("D"));
  EXPECT_TRUE(isMainButtonEnabledNow(form));
  // The clear button greys it again.
  EXPECT_TRUE(screen->textFieldShouldClear(form->verticalTextField()));
  EXPECT_FALSE(isMainButtonEnabledNow(form));
}

TEST_F(EmailRegisterTest, HaveAnAccountPushesALoginThatPopsBackOrPopsWhenOpenedFromTheLogin) {
  launch();
  auto screen = presentRegister("1");
  ASSERT_TRUE(screen);
  ASSERT_TRUE(device().tapText("已有账号？去登录"));
  device().wait(1);
  auto login = std::dynamic_pointer_cast<TZLoginViewController>(presentedStack()->topViewController());
  ASSERT_TRUE(login);
  EXPECT_TRUE(login->isFromRegister());
  ASSERT_TRUE(device().tapText("10秒快速注册"));
  device().wait(1);
  EXPECT_EQ(presentedStack()->topViewController(), screen) << "its register button pops back";
  EXPECT_EQ(presentedStack()->viewControllers().size(), 1u);
  tapBack();

  delegate_->setRegMethod("1"_ns);
  ASSERT_TRUE(openLoginThroughGate());
  ASSERT_TRUE(device().tapText("10秒快速注册"));
  device().wait(1);
  ASSERT_TRUE(device().tapText("已有账号？去登录"));
  device().wait(1);
  EXPECT_EQ(presentedStack()->viewControllers().size(), 1u) << "opened from the login screen, it pops";
  EXPECT_TRUE(presentedLogin());
}

TEST_F(EmailRegisterTest, ThePictureCodeDrawsAtAnySizeAndATapDrawsANewCode) {
  launch();
  scriptCode({1, 2, 3, 4});
  auto screen = presentRegister("1");
  auto code = screen->originalRegisterView()->authCodeView();
  ASSERT_TRUE(code);
  zvt::account::setAuthCodeRandom(nullptr);
  for (CGSize size : {code->bounds().size, CGSizeMake(1, 1), CGSizeMake(10, 10), CGSizeMake(0, 0)}) {
    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(std::max<CGFloat>(size.width, 1), std::max<CGFloat>(size.height, 1)),
                                           false, 1);
    code->drawRect(CGRectMake(0, 0, size.width, size.height));
    EXPECT_TRUE(UIGraphicsGetImageFromCurrentImageContext());
    UIGraphicsEndImageContext();
  }
  scriptCode(std::vector<uint32_t>(16, 5));
  ASSERT_TRUE(device().tapView(code));
  device().wait(0.5);
  EXPECT_EQ(code->authCodeStr()->utf8(), "5555") << "a tap draws a new code";
}

TEST_F(EmailRegisterTest, TheSinaButtonDoesNothingAndThePartnerButtonsOpenTheirLogins) {
  launch();
  auto screen = presentRegister("1");
  ASSERT_TRUE(screen);
  auto sina = screen->originalRegisterView()->viewWithTag(3);
  ASSERT_TRUE(sina);
  ASSERT_TRUE(device().tapView(sina));
  device().wait(1);
  EXPECT_EQ(presentedStack()->viewControllers().size(), 1u) << "Sina does nothing";
}

}  // namespace
