// "收款支付宝" and the password tip through the device, against the local service: the face the
// session's record picks, the order of the emptiness checks, the login password judged by the
// service, the binding that replaces the record (also when the user has left meanwhile), the
// read-only face afterwards, and the tip laid over the screen on phones of three widths.

#include "app/screens/account/PasswordTipView.h"
#include "app/screens/account/TZAlipaySetupViewController.h"
#include "platform/uikit/UIKeyboard.h"
#include "tests/app/screens/account/PersonalTestSupport.h"

namespace {

using zvt::test::PersonalScreenTest;

class AlipayScreenTest : public PersonalScreenTest {
 protected:
  std::shared_ptr<TZAlipaySetupViewController> openAlipay() {
    return std::dynamic_pointer_cast<TZAlipaySetupViewController>(push("TZAlipaySetupViewController"));
  }
  std::string recordValue(const char* key) const { return at(delegate_->userInfoDictionary(), key); }
  // Taps "完成" and returns the alert's text once one shows ("" when none does).
  bool finishShows(const std::shared_ptr<TZAlipaySetupView>& form, const std::string& message) {
    if (!device().tapView(form->completeButton())) return false;
    bool shown = waitFor([&] { return shows(message); }, 5);
    device().wait(0.5);
    return shown;
  }
  std::shared_ptr<PasswordTipView> shownTip(const std::shared_ptr<UIViewController>& screen) const {
    for (const auto& sub : screen->view()->subviews())
      if (auto tip = std::dynamic_pointer_cast<PasswordTipView>(sub)) return tip;
    return nullptr;
  }
};

TEST_F(AlipayScreenTest, TheRecordsAlipayPicksTheFaceOnceAtCreation) {
  struct Case {
    const char* what;
    const char* fields;  // nullptr: the seeded record ("alipay" absent)
    bool bound;
  };
  ASSERT_TRUE(launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword));
  for (const Case& c : std::vector<Case>{{"absent", nullptr, false},
                                         {"null", R"({"id":"10004","alipay":null})", false},
                                         {"empty", R"({"id":"10004","alipay":""})", false},
                                         {"a text", R"({"id":"10004","alipay":"ww@alipay.example.com","realname":null})", true}}) {
    SCOPED_TRACE(c.what);
    if (c.fields) setUser(c.fields);
    ASSERT_TRUE(logInNewUser());  // the record of the session follows the service's
    auto screen = openAlipay();
    ASSERT_TRUE(screen);
    auto form = screen->alipaySetupView();
    EXPECT_EQ(form->isBound(), c.bound);
    EXPECT_TRUE(shows("收款支付宝"));
    if (c.bound) {
      EXPECT_FALSE(form->completeButton());
      EXPECT_FALSE(shows("完成"));
      EXPECT_EQ(textOf(form->alipayAccount()), "ww@alipay.example.com");
      EXPECT_EQ(textOf(form->alipayRealName()), "") << "a null name shows an empty field";
    } else {
      EXPECT_TRUE(shows("请填写您的支付宝用于收款"));
      EXPECT_TRUE(shows("输入Zavelto密码保存信息"));
    }
    tapBack();
  }
  EXPECT_EQ(service_->requestCount("update_alipay"), 0);
}

TEST_F(AlipayScreenTest, EmptyFieldsAreNamedInOrderAndTheServiceJudgesThePassword) {
  ASSERT_TRUE(launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword));
  auto screen = openAlipay();
  ASSERT_TRUE(screen);
  auto form = screen->alipaySetupView();
  ASSERT_FALSE(form->isBound());
  zvt::test::writeScreenPicture("alipay-input");

  // The first empty field is named, and only that one.
  ASSERT_TRUE(finishShows(form, "请填写支付宝账号"));
  EXPECT_EQ(alertCount(), 1u) << "only the first empty field";
  dismissAlerts();
  ASSERT_TRUE(typeInto(form->password(), "x"));
  ASSERT_TRUE(finishShows(form, "请填写支付宝账号")) << "the account before the password";
  dismissAlerts();
  ASSERT_TRUE(typeInto(form->alipayAccount(), "ww@alipay.example.com"));
  ASSERT_TRUE(finishShows(form, "请填写支付宝认证姓名"));
  dismissAlerts();
  ASSERT_TRUE(typeInto(form->alipayRealName(), " "));
  form->password()->setText(""_ns);
  ASSERT_TRUE(finishShows(form, "请填写密码")) << "a blank name passes";
  dismissAlerts();
  EXPECT_EQ(service_->requestCount("update_alipay"), 0);

  // A wrong password: the service's text, the input kept. While the keyboard shows, the form
  // keeps its height free.
  ASSERT_TRUE(typeInto(form->password(), "wrong"));
  EXPECT_EQ(form->keyBoardH(), zvt::ui::Keyboard::shared().frame().size.height);
  EXPECT_GT(form->keyBoardH(), 0);
  ASSERT_TRUE(finishShows(form, "登录密码错误"));
  EXPECT_EQ(form->keyBoardH(), 0) << "the keyboard went down for the request";
  dismissAlerts();
  EXPECT_EQ(textOf(form->alipayAccount()), "ww@alipay.example.com");
  EXPECT_EQ(textOf(form->alipayRealName()), " ");
  EXPECT_EQ(textOf(form->password()), "wrong");
  EXPECT_EQ(topScreen(), screen);

  // A refusal without a text: an alert with none.
  service_->script(zvt::test::ScriptedReply{.op = "update_alipay", .code = 202});
  ASSERT_TRUE(device().tapView(form->completeButton()));
  ASSERT_TRUE(waitFor([&] { return alertCount() == 1; }, 5));
  dismissAlerts();

  // The right one: sent as typed, the record replaced, the screen gone.
  form->alipayRealName()->setText(" 王五 "_ns);
  form->password()->setText(NSString::stringWithUTF8String(zvt::test::kServiceNewUserPassword));
  ASSERT_TRUE(device().tapView(form->completeButton()));
  ASSERT_TRUE(waitFor([&] { return topScreen() != screen; }));
  device().wait(1);
  EXPECT_EQ(alertCount(), 0u) << "no word on success";
  auto sent = logOf("update_alipay");
  ASSERT_EQ(sent->count(), 3u) << "the wrong password, the refusal without a text, the right one";
  auto last = sent->objectAtIndex(2);
  EXPECT_EQ(at(last, "fields.id"), zvt::test::kServiceNewUserId);
  EXPECT_EQ(at(last, "fields.alipay"), "ww@alipay.example.com");
  EXPECT_EQ(at(last, "fields.realname"), " 王五 ");
  EXPECT_EQ(at(last, "fields.password"), zvt::test::kServiceNewUserPassword);
  EXPECT_EQ(recordValue("alipay"), "ww@alipay.example.com");

  // Opened again: the bound face, nothing that sends.
  auto again = openAlipay();
  ASSERT_TRUE(again);
  auto bound = again->alipaySetupView();
  ASSERT_TRUE(bound->isBound());
  EXPECT_EQ(textOf(bound->alipayAccount()), "ww@alipay.example.com");
  EXPECT_EQ(textOf(bound->alipayRealName()), " 王五 ");
  EXPECT_TRUE(shows("提示：支付宝信息暂时不支持在线修改，如您需修改可联系客服帮您修改"));
  EXPECT_FALSE(bound->password());
  ASSERT_TRUE(device().tapView(bound->alipayAccount()));
  device().wait(0.5);
  EXPECT_FALSE(bound->alipayAccount()->isFirstResponder()) << "the bound account takes no touches";
  zvt::test::writeScreenPicture("alipay-bound");
}

TEST_F(AlipayScreenTest, LeavingDuringTheRequestStillReplacesTheRecordOnSuccess) {
  ASSERT_TRUE(launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword));
  auto screen = openAlipay();
  ASSERT_TRUE(screen);
  auto form = screen->alipaySetupView();
  form->alipayAccount()->setText("13912345678"_ns);
  form->alipayRealName()->setText("王五"_ns);
  form->password()->setText(NSString::stringWithUTF8String(zvt::test::kServiceNewUserPassword));
  service_->script(zvt::test::ScriptedReply{.op = "update_alipay", .delayMs = 1500});
  ASSERT_TRUE(device().tapView(form->completeButton()));
  device().wait(0.2);
  // The centre's own refresh is refused meanwhile: the new record can only come from the binding.
  service_->script(zvt::test::ScriptedReply{.op = "userInfo", .code = 202, .sticky = true});
  tapBack();
  EXPECT_NE(topScreen(), screen) << "left while the request runs";
  ASSERT_TRUE(waitFor([&] { return recordValue("alipay") == "13912345678"; }));
  service_->clearScripts();
  device().wait(1);
  EXPECT_EQ(alertCount(), 0u);
  EXPECT_EQ(topClass(), "UserInfoViewController");
}

TEST_F(AlipayScreenTest, ThePasswordTipCoversTheScreenUntilItsButtonOnEveryWidth) {
  for (CGFloat width : {320.0, 375.0, 414.0}) {
    SCOPED_TRACE(width);
    const CGFloat height = width == 320 ? 568 : width == 375 ? 667 : 736;
    UIScreen::mainScreen()->setBounds(CGRectMake(0, 0, width, height));
    ASSERT_TRUE(launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword));
    auto screen = openAlipay();
    ASSERT_TRUE(screen);
    auto form = screen->alipaySetupView();
    ASSERT_TRUE(typeInto(form->alipayAccount(), "kept"));
    device().tap(CGPointMake(width / 2, 64 + 25));  // a tap on the heading ends editing
    device().wait(0.5);
    ASSERT_FALSE(form->alipayAccount()->isFirstResponder());
    ASSERT_TRUE(device().tapView(form->questionButton()));
    device().wait(0.5);
    auto tip = shownTip(screen);
    ASSERT_TRUE(tip);
    EXPECT_EQ(screen->view()->subviews().back(), tip) << "on top of the screen's view";
    EXPECT_TRUE(CGRectEqualToRect(tip->frame(), screen->view()->bounds()));
    auto card = tip->cardView();
    EXPECT_DOUBLE_EQ(card->frame().size.width, 0.9 * width);
    EXPECT_DOUBLE_EQ(card->frame().size.height, CGRectGetMaxY(tip->secondParagraph()->frame()) + 70);
    EXPECT_DOUBLE_EQ(tip->closeButton()->frame().size.height, 49);
    EXPECT_DOUBLE_EQ(CGRectGetMaxY(tip->closeButton()->frame()), card->frame().size.height);
    EXPECT_NEAR(CGRectGetMidY(card->frame()), CGRectGetMidY(tip->bounds()), 0.5);
    EXPECT_LE(CGRectGetMaxX(tip->firstParagraph()->frame()), card->frame().size.width - 10);
    EXPECT_TRUE(shows("知道了"));
    if (width != 375) zvt::test::writeScreenPicture("password-tip-" + std::to_string(static_cast<int>(width)));

    // The backdrop and the card's text take the taps and do nothing.
    device().tap(CGPointMake(width / 2, tip->frame().origin.y + 80));
    device().wait(0.3);
    ASSERT_TRUE(device().tapView(tip->firstParagraph()));
    device().wait(0.3);
    ASSERT_TRUE(device().tapView(tip->secondParagraph()));
    device().wait(0.3);
    EXPECT_TRUE(tip->superview()) << "still shown";
    EXPECT_EQ(textOf(form->alipayAccount()), "kept");
    ASSERT_TRUE(device().tapText("知道了"));
    device().wait(0.3);
    EXPECT_FALSE(tip->superview()) << "closed by its button";
    EXPECT_EQ(textOf(form->alipayAccount()), "kept");
    ASSERT_TRUE(typeInto(form->alipayRealName(), "ok")) << "the form is usable again";
    EXPECT_EQ(textOf(form->alipayRealName()), "ok");
    device().tap(CGPointMake(width / 2, 64 + 25));
    device().wait(0.5);

    // The bar above stays usable: its back item leaves, the tip with the screen.
    ASSERT_TRUE(device().tapView(form->questionButton()));
    device().wait(0.5);
    ASSERT_TRUE(shownTip(screen));
    tapBack();
    EXPECT_NE(topScreen(), screen);
    EXPECT_EQ(service_->requestCount("update_alipay"), 0);
    TearDown();
    SetUp();
  }
}

}  // namespace
