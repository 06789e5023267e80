// "验证手机号" through the device, against the local service, on the virtual clock: the finish
// button's gating by the number's and the code's lengths, the code request that counts down
// before its reply and stops at a refusal, and the binding with the code from the SMS outbox
// that the personal information then shows.

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZPersonalViewController.h"
#include "app/screens/account/TZVerticalPhoneViewController.h"
#include "tests/app/screens/account/PersonalTestSupport.h"

namespace {

using zvt::test::PersonalScreenTest;

constexpr const char* kPhone = "13912345678";

class PhoneVerificationTest : public PersonalScreenTest {
 protected:
  // As 10004 with phone registration: the personal information, then its phone row.
  std::shared_ptr<TZVerticalPhoneViewController> openFromPersonal() {
    auto centre = launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword);
    delegate_->setRegMethod("2"_ns);
    if (!centre || !device().tapView(centre->headerView()->userIconImageView())) return nullptr;
    device().wait(1);
    settleRefresh(service_->requestCount("userInfo&do=my") - 1);
    personal_ = std::dynamic_pointer_cast<TZPersonalViewController>(topScreen());
    if (!device().tapText("未验证手机号")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZVerticalPhoneViewController>(topScreen());
  }
  static void settle() { zvt::test::runMainLoopUntil([] { return false; }, 0.05); }
  static std::string codeTitle(const std::shared_ptr<TZVertialPhoneView>& form) {
    auto title = form->verticalButton()->currentTitle();
    return title ? title->utf8() : "";
  }

  std::shared_ptr<TZPersonalViewController> personal_;
};

TEST_F(PhoneVerificationTest, TheFinishButtonLightsOnlyForElevenDigitsAndACode) {
  auto screen = openFromPersonal();
  ASSERT_TRUE(screen) << topClass();
  auto form = screen->verticalPhoneView();
  EXPECT_TRUE(shows("验证手机号"));
  EXPECT_TRUE(shows("验证后手机号也可用于登录"));
  EXPECT_FALSE(lit(form->finishButton()));
  ASSERT_TRUE(device().tapView(form->finishButton()));
  device().wait(0.5);
  EXPECT_EQ(service_->requestCount("binding_phoneNumber"), 0) << "grey takes no touches from creation";

  ASSERT_TRUE(typeInto(form->verticalTextField(), "1234"));
  EXPECT_FALSE(lit(form->finishButton())) << "a code without a number";
  ASSERT_TRUE(typeInto(form->phoneTextField(), "1391234567"));
  EXPECT_FALSE(lit(form->finishButton())) << "ten digits with a code stay dark";
  ASSERT_TRUE(device().typeText("8"));
  EXPECT_TRUE(lit(form->finishButton())) << "the 11th digit lights it";
  ASSERT_TRUE(device().typeText("9"));
  EXPECT_EQ(textOf(form->phoneTextField()), kPhone) << "a 12th digit is refused";
  ASSERT_TRUE(device().tapView(form->verticalTextField()));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(device().pressDelete());
  EXPECT_TRUE(lit(form->finishButton()));
  ASSERT_TRUE(device().pressDelete());
  EXPECT_FALSE(lit(form->finishButton())) << "deleting the last code digit darkens it";
  ASSERT_TRUE(device().typeText("5"));
  EXPECT_TRUE(lit(form->finishButton())) << "the first code digit lights it";
  EXPECT_TRUE(screen->textFieldShouldClear(form->verticalTextField()));
  EXPECT_FALSE(lit(form->finishButton())) << "a clear darkens it";
  EXPECT_FALSE(form->finishButton()->isUserInteractionEnabled());
}

TEST_F(PhoneVerificationTest, TheCodeIsCountedDownBeforeItsReplyAndARefusalStopsIt) {
  auto screen = openFromPersonal();
  ASSERT_TRUE(screen) << topClass();
  auto form = screen->verticalPhoneView();

  // No number: asked for, nothing sent.
  ASSERT_TRUE(device().tapView(form->verticalButton()));
  device().wait(0.5);
  EXPECT_TRUE(shows("请输入手机号"));
  dismissAlerts();
  EXPECT_EQ(service_->requestCount("get_binding_phoneNumber_code"), 0);

  // A refused request: the count-down shows at once and ends with the reply, then its text.
  ASSERT_TRUE(typeInto(form->phoneTextField(), zvt::test::kServiceTestUserPhone));
  // The reply is held back long enough for the first tick to cross from the timer's queue on a
  // busy machine.
  service_->script(zvt::test::ScriptedReply{.op = "get_binding_phoneNumber_code", .delayMs = 3000});
  ASSERT_TRUE(device().tapView(form->verticalButton()));
  EXPECT_TRUE(waitFor([&] {
    settle();
    return codeTitle(form) == "60秒后重新获取";
  }, 2.5)) << "before the reply";
  EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u) << "the reply is still out";
  zvt::test::writeScreenPicture("phone-verification-counting");
  ASSERT_TRUE(waitFor([&] { return codeTitle(form) == "重新获取"; }));
  ASSERT_TRUE(waitFor([&] { return shows("该手机号已被绑定"); })) << "the service's text";
  dismissAlerts();
  EXPECT_TRUE(form->verticalButton()->isUserInteractionEnabled());

  // Accepted: the count-down runs on; the outbox's code binds the number.
  form->phoneTextField()->setText(""_ns);
  ASSERT_TRUE(typeInto(form->phoneTextField(), kPhone));
  ASSERT_TRUE(device().tapView(form->verticalButton()));
  ASSERT_TRUE(waitFor([&] { return !service_->latestSmsCode(kPhone, "binding").empty(); }));
  device().wait(5);
  EXPECT_TRUE(waitFor([&] {
    settle();
    return codeTitle(form) == "55秒后重新获取";
  })) << codeTitle(form);
  EXPECT_EQ(service_->requestCount("get_binding_phoneNumber_code"), 2);

  // A wrong code: the service's text, the screen stays.
  ASSERT_TRUE(typeInto(form->verticalTextField(), "000000"));
  ASSERT_TRUE(device().tapView(form->finishButton()));
  ASSERT_TRUE(waitFor([&] { return zvt::ui::AlertPresenter::shared().count() > 0; }));
  dismissAlerts();
  EXPECT_EQ(topScreen(), screen);

  form->verticalTextField()->setText(""_ns);
  ASSERT_TRUE(typeInto(form->verticalTextField(), service_->latestSmsCode(kPhone, "binding")));
  ASSERT_TRUE(device().tapView(form->finishButton()));
  ASSERT_TRUE(waitFor([&] { return shows("绑定成功"); }));
  auto sent = logOf("binding_phoneNumber");
  ASSERT_EQ(sent->count(), 2u);
  auto last = sent->objectAtIndex(1);
  EXPECT_EQ(at(last, "fields.phoneNumber"), kPhone);
  EXPECT_EQ(at(last, "fields.verifyCode"), service_->latestSmsCode(kPhone, "binding"));
  EXPECT_EQ(at(last, "fields.uid"), zvt::test::kServiceNewUserId);
  device().wait(1.5);
  EXPECT_EQ(topScreen(), screen) << "the tip shows for 2 s first";
  const int asked = service_->requestCount("userInfo&do=my");
  device().wait(1);
  EXPECT_EQ(topScreen(), personal_) << "then the screen pops";
  settleRefresh(asked);
  waitFor([&] { return shows("139****5678"); }, 3);
  EXPECT_TRUE(shows("139****5678")) << "the personal information's refresh shows the number";
  EXPECT_TRUE(pageLogged("验证手机页"));
  EXPECT_TRUE(pageLogged("个人信息页面"));
  EXPECT_FALSE(pageLogged("收款支付宝"));
}

}  // namespace
