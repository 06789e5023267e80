// The binding screen a first partner login pushes on the login stack, through the device,
// against the local service: the form the service's mode picks, when its finish button takes
// touches, the registrations that join the partner account and log in, and the refusals.

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZBindingViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/uikit/UINavigationController.h"
#include "tests/app/screens/account/AccountTestSupport.h"

namespace {

using zvt::test::AccountScreenTest;

constexpr const char* kPhone = "13800138456";

class BindingScreenTest : public AccountScreenTest {
 protected:
  void SetUp() override {
    AccountScreenTest::SetUp();
    zvt::registerRewardsScreens();  // the red packet a registration shows
  }
  static std::string codeTitle(const std::shared_ptr<TZBindingPhoneView>& form) {
    auto title = form->verticalButton()->currentTitle();
    return title ? title->utf8() : "";
  }
  // The button's title once it reads `expected`, or after 15 s of real time: a tick made on the
  // timer's queue reaches the main queue late on a busy machine, and the virtual clock stands
  // still meanwhile, so waiting cannot carry the count past the expected second.
  static std::string codeTitleShown(const std::shared_ptr<TZBindingPhoneView>& form, const std::string& expected) {
    waitFor([&] { return codeTitle(form) == expected; });
    return codeTitle(form);
  }
  static void settle() { zvt::test::runMainLoopUntil([] { return false; }, 0.05); }
  bool redPacketShows(const std::string& reward) {
    auto open = device().viewWithAccessibilityIdentifier("redpacketOpen");
    if (!open || !device().tapView(open)) return false;
    device().wait(0.5);
    return device().viewWithText(reward) != nullptr;
  }
};

TEST_F(BindingScreenTest, EmailModeLightsFinishWhileBothFieldsHoldTextAndJoinsThePartnerAccount) {
  launch();
  auto screen = openBinding(nullptr);
  ASSERT_TRUE(screen);
  auto form = screen->bindingEmailView();
  ASSERT_TRUE(form) << "no regMethod: the e-mail form";
  EXPECT_TRUE(device().viewWithText("完成注册"));
  for (const char* text : {"输入邮箱", "请设定密码(用于金额提现)", "完 成"}) EXPECT_TRUE(device().viewWithText(text)) << text;
  EXPECT_FALSE(lit(form->finishButton()));
  ASSERT_TRUE(device().tapView(form->finishButton()));
  device().wait(0.5);
  EXPECT_EQ(service_->requestCount("register"), 0) << "grey takes no touches";

  ASSERT_TRUE(typeInto(form->emailTextField(), "tb@zavelto.test"));
  EXPECT_FALSE(lit(form->finishButton()));
  ASSERT_TRUE(typeInto(form->passwordTextField(), "z"));
  EXPECT_TRUE(lit(form->finishButton())) << "the first character that fills both";
  ASSERT_TRUE(device().pressDelete());
  EXPECT_FALSE(lit(form->finishButton())) << "deleting the last character";
  ASSERT_TRUE(device().typeText("zvt654321"));
  EXPECT_TRUE(lit(form->finishButton()));
  EXPECT_TRUE(screen->textFieldShouldClear(form->passwordTextField()));
  EXPECT_FALSE(lit(form->finishButton())) << "grey again after a clear";
  ASSERT_TRUE(device().typeText("x"));
  zvt::test::writeScreenPicture("binding-email");

  // A refusal shows its text and stays.
  service_->script(zvt::test::ScriptedReply{.op = "register", .code = 203, .msg = "用户名已存在"});
  ASSERT_TRUE(device().tapView(form->finishButton()));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("用户名已存在") != nullptr; }));
  dismissAlerts();
  service_->script(zvt::test::ScriptedReply{.op = "register", .code = 202});
  ASSERT_TRUE(device().tapView(form->finishButton()));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("注册失败") != nullptr; })) << "the service's refusal: the default text";
  dismissAlerts();
  EXPECT_FALSE(delegate_->isLogin());

  ASSERT_TRUE(device().tapView(form->finishButton()));
  ASSERT_TRUE(waitFor([&] { return delegate_->isLogin(); }));
  device().wait(1);
  EXPECT_FALSE(presentedStack()) << "the whole login stack closes";
  EXPECT_TRUE(redPacketShows("100Velmo+10集分宝"));
  auto sent = logOf("register");
  ASSERT_EQ(sent->count(), 3u);
  auto last = sent->objectAtIndex(2);
  EXPECT_EQ(at(last, "fields.newVer"), "yes");
  EXPECT_EQ(at(last, "fields.web"), "tb");
  EXPECT_EQ(at(last, "fields.webId"), "TB-OPENID-0001");
  EXPECT_EQ(at(last, "fields.userName"), "tb@zavelto.test");
  EXPECT_NE(at(last, "fields.password"), "(nil)");
  EXPECT_TRUE(pageLogged("绑定手机页"));
}

TEST_F(BindingScreenTest, PhoneModeLightsFinishOnPhoneAndCodeAndCapsTheNumberAtEleven) {
  launch();
  auto screen = openBinding("2");
  ASSERT_TRUE(screen);
  auto form = screen->bindingPhoneView();
  ASSERT_TRUE(form);
  EXPECT_TRUE(device().viewWithText("验证手机"));
  EXPECT_TRUE(device().viewWithText("    为了资金安全，请绑定手机号，设置提现密码"));
  EXPECT_FALSE(lit(form->finishedButton()));
  EXPECT_FALSE(form->finishedButton()->isUserInteractionEnabled()) << "untappable at creation";

  // An empty number asks for one.
  ASSERT_TRUE(device().tapView(form->verticalButton()));
  device().wait(0.5);
  EXPECT_TRUE(device().viewWithText("请输入手机号码"));
  dismissAlerts();
  EXPECT_EQ(service_->requestCount("get_register_code"), 0);

  ASSERT_TRUE(typeInto(form->phoneTextField(), kPhone));
  ASSERT_TRUE(device().typeText("7"));
  EXPECT_EQ(form->phoneTextField()->text()->utf8(), kPhone) << "a 12th digit is refused";
  form->phoneTextField()->setText(""_ns);
  device().paste("138001384567");
  EXPECT_EQ(form->phoneTextField()->text()->utf8(), "") << "a 12-digit paste is refused whole";
  device().paste(kPhone);
  EXPECT_FALSE(lit(form->finishedButton())) << "the code is still empty";
  ASSERT_TRUE(typeInto(form->verticalTextField(), "1"));
  EXPECT_TRUE(lit(form->finishedButton())) << "the first code digit lights it";
  ASSERT_TRUE(device().pressDelete());
  EXPECT_FALSE(lit(form->finishedButton())) << "deleting the last code digit darkens it";
  ASSERT_TRUE(device().typeText("1"));
  ASSERT_TRUE(device().tapView(form->phoneTextField()));
  for (int i = 0; i < 11; ++i) ASSERT_TRUE(device().pressDelete());
  EXPECT_FALSE(lit(form->finishedButton())) << "deleting the last phone digit darkens it";
  ASSERT_TRUE(device().typeText(kPhone));
  EXPECT_TRUE(lit(form->finishedButton()));
}

TEST_F(BindingScreenTest, PhoneModeCountsDownRefusesAWrongCodeThenBindsAndLogsIn) {
  launch();
  auto screen = openBinding("2");
  ASSERT_TRUE(screen);
  auto form = screen->bindingPhoneView();
  ASSERT_TRUE(typeInto(form->phoneTextField(), kPhone));
  ASSERT_TRUE(device().tapView(form->verticalButton()));
  device().wait(0.2);
  EXPECT_TRUE(device().viewWithText("获取中..."));
  ASSERT_TRUE(waitFor([&] {
    settle();
    return codeTitle(form) == "60秒后重新获取";
  }));
  device().wait(1);
  EXPECT_EQ(codeTitleShown(form, "59秒后重新获取"), "59秒后重新获取");
  device().wait(29);
  EXPECT_EQ(codeTitleShown(form, "30秒后重新获取"), "30秒后重新获取");
  zvt::test::writeScreenPicture("binding-phone-counting");
  device().wait(30);
  EXPECT_EQ(codeTitleShown(form, "重新获取"), "重新获取") << "tappable again at 60 s";
  EXPECT_TRUE(form->verticalButton()->isUserInteractionEnabled());

  ASSERT_TRUE(device().tapView(form->verticalButton()));
  ASSERT_TRUE(waitFor([&] {
    settle();
    return codeTitle(form) == "60秒后重新获取";
  }));
  const std::string code = service_->latestSmsCode(kPhone, "register");
  ASSERT_TRUE(typeInto(form->verticalTextField(), code == "000000" ? "111111" : "000000"));
  ASSERT_TRUE(typeInto(form->passwordTextField(), "zvt654321"));
  ASSERT_TRUE(device().tapView(form->finishedButton()));
  ASSERT_TRUE(waitFor([&] { return device().viewWithText("验证码错误") != nullptr; }));
  settle();
  EXPECT_EQ(codeTitle(form), "重新获取") << "a 304 ends the count-down at once";
  dismissAlerts();

  form->verticalTextField()->setText(""_ns);
  ASSERT_TRUE(typeInto(form->verticalTextField(), service_->latestSmsCode(kPhone, "register")));
  ASSERT_TRUE(device().tapView(form->finishedButton()));
  ASSERT_TRUE(waitFor([&] { return delegate_->isLogin(); }));
  device().wait(1);
  EXPECT_FALSE(presentedStack());
  EXPECT_TRUE(redPacketShows("100Velmo+10集分宝"));
  auto last = logOf("register")->objectAtIndex(1);
  EXPECT_EQ(at(last, "fields.web"), "tb");
  EXPECT_EQ(at(last, "fields.webId"), "TB-OPENID-0001");
  EXPECT_EQ(at(last, "fields.phoneNumber"), kPhone);
  EXPECT_TRUE(pageLogged("绑定手机页"));
}

TEST_F(BindingScreenTest, PoppingMidCountCrashesNothingAndTheCountRunsOut) {
  launch();
  auto screen = openBinding("2");
  ASSERT_TRUE(screen);
  std::weak_ptr<TZBindingPhoneView> form = screen->bindingPhoneView();
  ASSERT_TRUE(typeInto(form.lock()->phoneTextField(), kPhone));
  ASSERT_TRUE(device().tapView(form.lock()->verticalButton()));
  ASSERT_TRUE(waitFor([&] {
    settle();
    return codeTitle(form.lock()) == "60秒后重新获取";
  }));
  screen.reset();
  device().tap(CGPointMake(20, 42));  // the back item pops
  device().wait(1);
  EXPECT_TRUE(presentedLogin());
  EXPECT_EQ(presentedStack()->viewControllers().size(), 1u);
  EXPECT_FALSE(delegate_->isLogin()) << "going back leaves the user logged out";
  EXPECT_TRUE(form.lock()) << "the count-down keeps its form";
  device().wait(61);
  waitFor([&] { return form.expired(); });
  EXPECT_TRUE(form.expired()) << "and lets it go once it has run out";
}

}  // namespace
