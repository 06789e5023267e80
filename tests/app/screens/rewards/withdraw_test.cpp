// The withdrawal screen through the device against the local service: the road through the
// Alipay binding, the validation of amounts and password, what the service receives, one
// withdrawal at a time, the failures, the review state, the phone offer, the password tip and
// the 集分宝 tutorial; and the page views and tab bar of the five money screens.

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "app/screens/account/AccountScreens.h"
#include "app/screens/account/PasswordTipView.h"
#include "app/screens/account/TZAlipaySetupViewController.h"
#include "app/screens/rewards/DetailViewController.h"
#include "app/screens/rewards/HowToUseAlibabaMoneyViewController.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIAlertView.h"
#include "tests/app/screens/rewards/MoneyTestSupport.h"

namespace zvt::test {
namespace {

class WithdrawTest : public MoneyTest {
 protected:
  void SetUp() override {
    MoneyTest::SetUp();
    // The Alipay binding screen the form opens is the account folder's.
    registerAccountScreens();
    registerRewardsScreens();
  }

  std::shared_ptr<TZWithdrawView> form() const { return formScreen() ? formScreen()->withdraw() : nullptr; }
  std::string accountLine() const { return text(form()->zhifubaoLabel()->text()); }
  std::string balanceLine() const { return text(form()->canWithdrawMoneyLabel()->attributedText()->string()); }
  std::string buttonTitle() const { return text(form()->withdrawButton()->titleForState(UIControlStateNormal)); }
  static bool noAlert() { return ui::AlertPresenter::shared().count() == 0; }
  // Types a case into the form: the kind's segment, the amount, the password.
  void fill(const char* kind, const std::string& amount, const std::string& password) {
    ASSERT_TRUE(device().tapText(kind)) << kind;
    device().wait(0.3);
    form()->clearTextField();
    if (!amount.empty()) {
      ASSERT_TRUE(typeInto(form()->moneyTextField(), amount));
    }
    if (!password.empty()) {
      ASSERT_TRUE(typeInto(form()->passwordTextField(), password));
    }
  }
  void answer(const char* button = "确定") {
    device().tapText(button);
    device().wait(0.5);
  }
  // The decoded outCash requests.
  std::shared_ptr<NSArray> outCashLog() const {
    return as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog("outCash"))));
  }
};

TEST_F(WithdrawTest, WithoutAnAccountTheFieldsSendTheUserToTheBindingScreen) {
  launchLoggedIn();
  struct Case {
    const char* what;
    const char* fields;
  };
  for (const Case& c : {Case{"absent", R"({"$unset": ["alipay"]})"}, Case{"null", R"({"alipay": null})"}}) {
    SCOPED_TRACE(c.what);
    setUser(c.fields);
    auto view = openForm();
    ASSERT_TRUE(view);
    EXPECT_EQ(accountLine(), "! 未绑定支付宝");
    EXPECT_TRUE(hasColour(view->zhifubaoLabel()->textColor(), 255, 110, 40));
    for (auto field : {view->moneyTextField(), view->passwordTextField()}) {
      ASSERT_TRUE(device().tapView(field));
      device().wait(0.5);
      EXPECT_TRUE(alertShows("提现需先填写收款支付宝")) << "提现需先填写收款支付宝";
      EXPECT_TRUE(device().viewWithText("下次"));
      EXPECT_TRUE(device().viewWithText("去填写"));
      EXPECT_FALSE(field->isFirstResponder()) << "no keyboard";
      if (std::string(c.what) == "absent" && field == view->moneyTextField()) writeScreenPicture("withdraw-unbound-alert");
      answer("下次");
      EXPECT_TRUE(noAlert());
    }
    if (std::string(c.what) == "absent") writeScreenPicture("withdraw-unbound");
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }

  // An empty account: the line says so, yet the fields take the keyboard.
  setUser(R"({"alipay": ""})");
  auto view = openForm();
  EXPECT_EQ(accountLine(), "! 未绑定支付宝");
  ASSERT_TRUE(typeInto(view->moneyTextField(), "5"));
  EXPECT_TRUE(noAlert());
  // The scroll view's bottom rises by the keyboard's whole height and comes back with it.
  const CGFloat raised = view->bgScrollViewBottomConstraints();
  EXPECT_GT(raised, 100);
  EXPECT_EQ(raised, std::floor(raised));
  EXPECT_EQ(view->bgScrollView()->frame().size.height, view->bounds().size.height - raised);
  view->window()->endEditing(true);
  device().wait(0.5);
  EXPECT_EQ(view->bgScrollViewBottomConstraints(), 0);
  EXPECT_EQ(view->bgScrollView()->frame().size.height, view->bounds().size.height);
  homeStack()->popToRootViewControllerAnimated(false);
  device().wait(0.5);

  // "去填写" opens the binding screen; once ABC's acct01 is bound there, the form shows it.
  setUser(R"({"$unset": ["alipay"], "realname": ""})");
  view = openForm();
  ASSERT_TRUE(device().tapView(view->moneyTextField()));
  device().wait(0.5);
  answer("去填写");
  device().wait(0.5);
  auto setup = std::dynamic_pointer_cast<TZAlipaySetupViewController>(top());
  ASSERT_TRUE(setup) << topClass();
  auto setupForm = setup->alipaySetupView();
  ASSERT_FALSE(setupForm->isBound());
  ASSERT_TRUE(typeInto(setupForm->alipayAccount(), "acct01"));
  ASSERT_TRUE(typeInto(setupForm->alipayRealName(), "ABC"));
  ASSERT_TRUE(typeInto(setupForm->password(), kServiceTestUserPassword));
  const int reads = service_->requestCount("userInfo&do=my");
  setupForm->window()->endEditing(true);
  device().wait(0.5);
  ASSERT_TRUE(device().tapView(setupForm->completeButton()));
  ASSERT_TRUE(waitFor([&] { return top() != setup; })) << "the binding screen pops on success";
  EXPECT_EQ(service_->requestCount("update_alipay"), 1);
  waitForUserInfo(reads + 1);
  EXPECT_EQ(service_->requestCount("userInfo&do=my"), reads + 1) << "read again on coming back";
  EXPECT_EQ(accountLine(), "*BC/acct01");
  EXPECT_EQ(view->rArrowImageViewRightConstraint(), -7.0);
  writeScreenPicture("withdraw-bound");
}

TEST_F(WithdrawTest, AmountsAndPasswordAreCheckedBeforeAnythingIsSent) {
  launchLoggedIn();
  // No withdrawal under review (the demo's 集分宝 one settled): both segments check what is typed.
  setUser(R"({"jifenbao": "1200", "money": "88.50", "tbtxstatus": "0"})");
  openForm();
  struct Case {
    const char* kind;
    const char* amount;
    const char* password;
    const char* message;
  };
  const char* pw = kServiceTestUserPassword;
  for (const Case& c : std::vector<Case>{
           {"集分宝", "", pw, "请填写提现数额"},
           {"集分宝", "0", pw, "请填写正确的数额"},
           {"集分宝", "1000000000", pw, "请填写正确的数额"},
           {"集分宝", "3.9", pw, "请填写正确的数额"},
           {"集分宝", "12abc", pw, "请填写正确的数额"},
           {"集分宝", "999999999", pw, "您的集分宝数额不够"},
           {"集分宝", "1201", pw, "您的集分宝数额不够"},
           {"集分宝", "1200", "", "请填写Zavelto登录密码"},
           {"现金", "", pw, "请填写提现数额"},
           {"现金", "0", pw, "请填写正确的数额"},
           {"现金", "0.009", pw, "请填写正确的数额"},
           {"现金", "12abc", pw, "请填写正确的数额"},
           {"现金", "1.2.3", pw, "请填写正确的数额"},
           // Cash goes in fen: a third place, or a point without digits on both sides, is no
           // amount the service takes.
           {"现金", "0.015", pw, "请填写正确的数额"},
           {"现金", "1.500", pw, "请填写正确的数额"},
           {"现金", "5.", pw, "请填写正确的数额"},
           {"现金", ".5", pw, "请填写正确的数额"},
           {"现金", "1000000000", pw, "请填写正确的数额"},
           {"现金", "0.01", "", "请填写Zavelto登录密码"},
           {"现金", "88.51", pw, "您的余额不够"},
           {"现金", "88.50", "", "请填写Zavelto登录密码"},
       }) {
    SCOPED_TRACE(std::string(c.kind) + " '" + c.amount + "' '" + c.password + "'");
    fill(c.kind, c.amount, c.password);
    tapWithdraw();
    EXPECT_TRUE(alertShows(c.message)) << c.message;
    if (std::string(c.amount) == "3.9") writeScreenPicture("withdraw-alert");
    answer();
  }
  EXPECT_EQ(service_->requestCount("outCash"), 0);

  // A 集分宝 balance with decimals counts (and shows) its whole part; cash compares exactly.
  setUser(R"({"jifenbao": "12.50", "money": "1234567.88"})");
  homeStack()->popToRootViewControllerAnimated(false);
  device().wait(0.5);
  openForm();
  EXPECT_EQ(balanceLine(), "当前账户有12个集分宝");
  auto balance = form()->canWithdrawMoneyLabel()->attributedText();
  NSRange range{0, 0};
  auto attributes = balance->attributesAtIndex(5, &range);
  EXPECT_EQ(range.location, 5u);
  EXPECT_EQ(range.length, 2u);
  EXPECT_TRUE(hasColour(as<UIColor>(attributes->objectForKey(NSForegroundColorAttributeName)), 255, 110, 40));
  auto font = as<UIFont>(attributes->objectForKey(NSFontAttributeName));
  ASSERT_TRUE(font);
  EXPECT_TRUE(font->isBold());
  EXPECT_EQ(font->pointSize(), 15);
  for (const Case& c : std::vector<Case>{{"集分宝", "13", pw, "您的集分宝数额不够"},
                                         {"集分宝", "12", "", "请填写Zavelto登录密码"},
                                         {"现金", "1234567.89", pw, "您的余额不够"},
                                         {"现金", "1234567.88", "", "请填写Zavelto登录密码"}}) {
    SCOPED_TRACE(std::string(c.kind) + " " + c.amount);
    fill(c.kind, c.amount, c.password);
    tapWithdraw();
    EXPECT_TRUE(alertShows(c.message)) << c.message;
    answer();
  }
  EXPECT_EQ(service_->requestCount("outCash"), 0);
}

TEST_F(WithdrawTest, ASuccessfulWithdrawalSendsWhatWasCheckedAndPutsTheKindUnderReview) {
  launchLoggedIn();
  delegate_->setEvaluateDic(NSDictionary::make({{"open"_ns, NSNumber::numberWithInteger(1)}, {"tips"_ns, "给个好评吧"_ns}}));
  setUser(R"({"jifenbao": "1200", "money": "88.50", "txstatus": "0", "tbtxstatus": "0"})");
  auto view = openForm();
  EXPECT_EQ(buttonTitle(), "提 现");
  EXPECT_TRUE(hasColour(view->withdrawButton()->backgroundColor(), 255, 110, 40));

  struct Case {
    const char* kind;
    const char* amount;
    std::vector<std::string> keys;
    const char* amountKey;
    const char* type;
    const char* lineAfter;
  };
  for (const Case& c : {Case{"集分宝", "100", {"ddpassword", "id", "jifenbao", "remark", "type"}, "jifenbao", "1", "当前账户有1100个集分宝"},
                        Case{"现金", "8.5", {"ddpassword", "id", "money", "remark", "type"}, "money", "2", "当前账户有80.00元"}}) {
    SCOPED_TRACE(c.kind);
    fill(c.kind, c.amount, kServiceTestUserPassword);
    const int reads = service_->requestCount("userInfo&do=my");
    const int sent = service_->requestCount("outCash");
    tapWithdraw();
    ASSERT_TRUE(waitFor([&] { return alertShows("提现申请成功，将在1个工作日内到账"); }));
    EXPECT_EQ(service_->requestCount("outCash"), sent + 1);
    auto entry = as<NSDictionary>(outCashLog()->lastObject());
    EXPECT_EQ(text(NSString::stringWithFormat("%@", entry->objectForKey("signature"_ns))), "ok");
    auto fields = fieldsOf("outCash").back();
    EXPECT_EQ(orderKeys(fields), c.keys);
    EXPECT_EQ(field(fields, "id"), kServiceTestUserId);
    EXPECT_EQ(field(fields, "ddpassword"), kServiceTestUserPassword);
    EXPECT_EQ(field(fields, "type"), c.type);
    EXPECT_EQ(field(fields, c.amountKey), c.amount);
    EXPECT_EQ(field(fields, "remark"), "");
    // Without waiting for the tap: the fields are empty and the record is read again.
    EXPECT_EQ(text(view->moneyTextField()->text()), "");
    EXPECT_EQ(text(view->passwordTextField()->text()), "");
    waitForUserInfo(reads + 1);
    EXPECT_EQ(balanceLine(), c.lineAfter) << "the line of the kind selected";
    EXPECT_EQ(buttonTitle(), "提现审核中");
    EXPECT_TRUE(hasColour(view->withdrawButton()->backgroundColor(), 194, 194, 194));
    EXPECT_FALSE(view->withdrawButton()->isEnabled());
    if (std::string(c.type) == "1") writeScreenPicture("withdraw-success-alert");
    answer();
    // "确定" asks for the rating.
    ASSERT_TRUE(waitFor([&] { return alertShows("给个好评吧"); }, 2)) ;
    answer("下次吧");
    if (std::string(c.type) == "1") {
      writeScreenPicture("withdraw-under-review");
      // The grey button takes no tap.
      device().tapView(view->withdrawButton());
      device().wait(0.5);
      EXPECT_TRUE(noAlert());
    }
  }
  EXPECT_EQ(service_->requestCount("outCash"), 2);
}

TEST_F(WithdrawTest, OneWithdrawalAtATimeAndFailuresKeepWhatWasTyped) {
  launchLoggedIn();
  setUser(R"({"money": "88.50", "txstatus": "0"})");
  openForm();

  // Two taps within one slow reply send one withdrawal; a tap after the reply sends the next.
  fill("现金", "5", "wrong-password");
  service_->script(ScriptedReply{.op = "outCash", .delayMs = 1500});
  tapWithdraw();
  tapWithdraw();
  EXPECT_TRUE(formScreen()->isSending());
  ASSERT_TRUE(waitFor([&] { return alertShows("提现失败"); }));
  EXPECT_EQ(service_->requestCount("outCash"), 1);
  answer();
  tapWithdraw();
  ASSERT_TRUE(waitFor([&] { return alertShows("提现失败"); }));
  EXPECT_EQ(service_->requestCount("outCash"), 2);
  answer();

  struct Case {
    const char* what;
    ScriptedReply reply;
    const char* message;
  };
  for (const Case& c : {Case{"201", ScriptedReply{.op = "outCash", .code = 201, .msg = "失败"}, "提现失败"},
                        // A dropped connection is a failed withdrawal too (sticky: the loader
                        // tries again over every connection it keeps open).
                        Case{"cut", ScriptedReply{.op = "outCash", .drop = true, .sticky = true}, "提现失败"},
                        Case{"305", ScriptedReply{.op = "outCash", .code = 305, .msg = "X"}, "X"}}) {
    SCOPED_TRACE(c.what);
    service_->clearScripts();
    service_->script(c.reply);
    fill("现金", "6.5", kServiceTestUserPassword);
    tapWithdraw();
    ASSERT_TRUE(waitFor([&] { return !noAlert(); }));
    EXPECT_TRUE(alertShows(c.message)) << c.message;
    service_->clearScripts();
    answer();
    EXPECT_EQ(text(form()->moneyTextField()->text()), "6.5");
    EXPECT_EQ(text(form()->passwordTextField()->text()), kServiceTestUserPassword);
    EXPECT_FALSE(formScreen()->isSending());
  }
  service_->clearScripts();

  // Cash under review: its segment shows the grey button, the 集分宝 segment the live one.
  setUser(R"({"txstatus": "1", "tbtxstatus": "0"})");
  homeStack()->popToRootViewControllerAnimated(false);
  device().wait(0.5);
  openForm();
  EXPECT_EQ(buttonTitle(), "提 现");
  ASSERT_TRUE(device().tapText("现金"));
  device().wait(0.3);
  EXPECT_EQ(buttonTitle(), "提现审核中");
  EXPECT_FALSE(form()->withdrawButton()->isEnabled());
  ASSERT_TRUE(device().tapText("集分宝"));
  device().wait(0.3);
  EXPECT_EQ(buttonTitle(), "提 现");
  EXPECT_TRUE(form()->withdrawButton()->isEnabled());
}

// The demo user as seeded: what the withdrawal list shows under review, the form shows so, kind
// by kind (the list once had three 集分宝 withdrawals under review while the form took a fourth).
TEST_F(WithdrawTest, TheFormWaitsForTheKindTheWithdrawalListShowsUnderReview) {
  launchLoggedIn();
  openMenu();
  ASSERT_TRUE(openList("提现明细"));
  ASSERT_TRUE(pullUp()) << "the second page";
  std::map<std::string, int> underReview;  // type -> withdrawals under review
  for (NSUInteger i = 0; i < list()->dataAray()->count(); ++i) {
    auto withdrawal = as<TZWithdrawModel>(list()->dataAray()->objectAtIndex(i));
    if (text(as<NSString>(withdrawal->status)) == "审核中") ++underReview[text(as<NSString>(withdrawal->type))];
  }
  EXPECT_EQ(underReview, (std::map<std::string, int>{{"1", 1}})) << "one of 集分宝, the newest";
  homeStack()->popToRootViewControllerAnimated(false);
  device().wait(0.5);
  auto view = openForm();
  ASSERT_TRUE(view);
  for (const auto& [kind, type] : {std::pair{"集分宝", "1"}, std::pair{"现金", "2"}}) {
    SCOPED_TRACE(kind);
    ASSERT_TRUE(device().tapText(kind));
    device().wait(0.3);
    EXPECT_EQ(buttonTitle(), underReview.count(type) ? "提现审核中" : "提 现");
    EXPECT_EQ(view->withdrawButton()->isEnabled(), !underReview.count(type));
  }
}

TEST_F(WithdrawTest, ThePhoneOfferThePasswordTipAndTheTutorial) {
  launchLoggedIn();
  delegate_->setIsShowBinding(true);
  delegate_->setBindingText("验证手机号，提现免审核"_ns);
  struct Case {
    const char* what;
    const char* fields;
    bool offered;
  };
  for (const Case& c : {Case{"no phone", R"({"phoneNumber": null})", true}, Case{"a bound phone", R"({"phoneNumber": "13800138000"})", false}}) {
    SCOPED_TRACE(c.what);
    setUser(c.fields);
    auto view = openForm();
    device().wait(1.2);  // the offer slides in over a second
    auto phone = view->verticalPhoneButton();
    EXPECT_EQ(!phone->isHidden(), c.offered);
    EXPECT_EQ(device().viewWithText("验证手机号，提现免审核") != nullptr, c.offered);
    if (c.offered) {
      EXPECT_EQ(view->verticalPhoneButtonTopConstraints(), 0.0);
      ASSERT_TRUE(device().tapText("验证手机号，提现免审核"));
      device().wait(1);
      EXPECT_EQ(topClass(), "TZVerticalPhoneViewController");
    } else {
      EXPECT_EQ(view->verticalPhoneButtonTopConstraints(), -30.0);
    }
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }

  // The hint button lays the password tip over the form.
  auto view = openForm();
  ASSERT_TRUE(device().tapView(view->passwordHintButton()));
  device().wait(0.5);
  auto tip = std::dynamic_pointer_cast<PasswordTipView>(formScreen()->view()->subviews().back());
  ASSERT_TRUE(tip);
  EXPECT_EQ(tip->frame(), formScreen()->view()->bounds());
  writeScreenPicture("withdraw-password-tip");
  device().tapView(tip->closeButton());
  device().wait(0.5);

  // The how-to button opens the tutorial: the picture at the screen's width, scrolled to its end.
  ASSERT_TRUE(device().tapView(view->questionButton()));
  device().wait(1);
  auto tutorial = std::dynamic_pointer_cast<HowToUseAlibabaMoneyViewController>(top());
  ASSERT_TRUE(tutorial) << topClass();
  EXPECT_EQ(text(tutorial->title()), "集分宝");
  const CGSize picture = UIImage::imageNamed("alipay_course"_ns)->size();
  const CGFloat width = std::min(UIScreen::mainScreen()->bounds().size.width, UIScreen::mainScreen()->bounds().size.height);
  const CGSize shown = tutorial->courseView()->frame().size;
  EXPECT_EQ(shown.width, width);
  EXPECT_NEAR(shown.height, picture.height * width / picture.width, 1e-9);
  EXPECT_EQ(tutorial->scrollView()->contentSize(), shown);
  auto scroll = tutorial->scrollView();
  ASSERT_GT(shown.height, scroll->bounds().size.height) << "taller than the screen";
  writeScreenPicture("withdraw-tutorial");
  for (int i = 0; i < 8; ++i) {
    device().dragView(scroll, CGPointMake(0, -500), 0.3);
    device().waitUntilStill(scroll);
  }
  EXPECT_NEAR(scroll->contentOffset().y, shown.height - scroll->bounds().size.height, 0.5) << "stops at the end";
  writeScreenPicture("withdraw-tutorial-end");
}

TEST_F(WithdrawTest, EachMoneyScreenLogsItsPageAndHidesOrLeavesTheTabBar) {
  launchLoggedIn();
  struct Case {
    const char* screen;
    const char* page;
    bool hidesTabbar;
  };
  auto shell = delegate_->tabBarController();
  for (const Case& c : {Case{"EarnMoneyViewController", "我要提现页", true}, Case{"HowToUseAlibabaMoneyViewController", "集分宝用法页", true},
                        Case{"MyAssetsViewController", "资产明细页", true}, Case{"TZAssetsViewController", "明细页", false},
                        Case{"DetailViewController", "明细详细情况页", true}}) {
    SCOPED_TRACE(c.screen);
    shell->showTabbar();
    device().wait(0.6);
    ASSERT_FALSE(shell->tabbarView()->isHidden());
    std::shared_ptr<UIViewController> screen;
    if (std::string(c.screen) == "HowToUseAlibabaMoneyViewController") {
      screen = HowToUseAlibabaMoneyViewController::make();
    } else {
      screen = makeScreen(c.screen);
      if (std::string(c.screen) == "TZAssetsViewController") {
        screen->setValueForKey("in"_ns, "flag"_ns);
        screen->setValueForKey("收入明细"_ns, "assetsTitle"_ns);
      }
    }
    ASSERT_TRUE(screen);
    homeStack()->pushViewController(screen, true);
    device().wait(1);
    waitFor([] { return false; }, 0.3);
    device().wait(0.6);
    EXPECT_EQ(shell->tabbarView()->isHidden(), c.hidesTabbar);
    stat::flush();
    auto pages = [&] {
      stat::flush();
      int count = 0;
      for (const auto& entry : stat::recordedEntries()) {
        auto page = as<NSString>(entry->objectForKey("page"_ns));
        if (page && page->utf8() == c.page) ++count;
      }
      return count;
    };
    EXPECT_EQ(pages(), 0) << "the view ends when the screen is left";
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
    EXPECT_EQ(pages(), 1);
  }
}

}  // namespace
}  // namespace zvt::test
