// The feedback screen through the device against the local service: opened from the help
// centre's "意见反馈" row, typed into, sent, refused and dropped, one suggestion at a time.

#include <gtest/gtest.h>

#include "app/api/ZVTAPIClient.h"
#include "app/screens/rewards/FeedbackViewController.h"
#include "app/screens/rewards/HelpViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/uikit/UIKeyboard.h"
#include "tests/app/core/ShellTestSupport.h"

namespace zvt::test {
namespace {

class FeedbackTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    registerRewardsScreens();
    launch();
  }

  static void login() {
    bool done = false, ok = false;
    ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(kServiceTestUserName)},
                                                {"password"_ns, NSString::stringWithUTF8String(kServiceTestUserPassword)}}),
                            [&](bool success, const std::shared_ptr<NSString>&) {
                              ok = success;
                              done = true;
                            });
    ASSERT_TRUE(waitFor([&] { return done; }) && ok);
  }

  std::shared_ptr<UINavigationController> homeStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers().front());
  }

  // The help centre pushed on the home tab as the personal centre pushes it, then its
  // "意见反馈" row tapped.
  std::shared_ptr<FeedbackViewController> open() {
    homeStack()->pushViewController(makeScreen("HelpViewController"), true);
    device().wait(1);
    help_ = std::dynamic_pointer_cast<HelpViewController>(topScreen());
    if (!help_ || !device().tapText("意见反馈")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<FeedbackViewController>(topScreen());
  }

  // Taps into the box and types.
  static void typeInto(const std::shared_ptr<FeedbackViewController>& screen, const std::string& text) {
    ASSERT_TRUE(device().tapView(screen->feedbackView()->feedbackTextView()));
    device().wait(0.5);
    if (!text.empty()) {
      ASSERT_TRUE(device().typeText(text));
    }
  }

  // Taps "提交意见" and lets the reply arrive (nothing arrives when nothing was sent).
  void submit() {
    const auto before = sends();
    ASSERT_TRUE(device().tapText("提交意见"));
    if (waitFor([&] { return sends() > before; }, 2)) {
      waitFor([] { return device().viewWithText("建议已提交，谢谢您的建议") || ui::AlertPresenter::shared().count() > 0; });
    }
    device().wait(0.5);
  }

  size_t sends() const {
    auto log = std::dynamic_pointer_cast<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog("feedback"))));
    return log ? log->count() : 0;
  }
  std::string sentField(const char* key) const {
    auto log = std::dynamic_pointer_cast<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog("feedback"))));
    if (!log || log->count() == 0) return "(none)";
    auto entry = std::dynamic_pointer_cast<NSDictionary>(log->lastObject());
    id value = entry->valueForKeyPath(NSString::stringWithUTF8String(std::string("fields.") + key));
    return value ? NSString::stringWithFormat("%@", value)->utf8() : "(nil)";
  }

  static std::string boxText(const std::shared_ptr<FeedbackViewController>& screen) {
    auto text = screen->feedbackView()->feedbackTextView()->text();
    return text ? text->utf8() : "";
  }
  static bool alertShows(const std::string& message) {
    return ui::AlertPresenter::shared().count() > 0 && device().viewWithText(message) != nullptr;
  }

  std::shared_ptr<HelpViewController> help_;
};

TEST_F(FeedbackTest, LoggedInTextIsSentThankedAndTheScreenCloses) {
  login();
  auto screen = open();
  ASSERT_TRUE(screen);
  EXPECT_EQ(boxText(screen), "请填写您宝贵的建议");
  typeInto(screen, "希望多一些商城");
  writeScreenPicture("feedback-keyboard");
  submit();
  ASSERT_EQ(sends(), 1u);
  EXPECT_EQ(sentField("id"), kServiceTestUserId);
  EXPECT_EQ(sentField("content"), "希望多一些商城");
  EXPECT_TRUE(device().viewWithText("建议已提交，谢谢您的建议"));
  EXPECT_EQ(topScreen(), screen);
  device().wait(2.5);
  EXPECT_EQ(topScreen(), help_) << topClass();
  EXPECT_EQ(help_->tableView()->indexPathForSelectedRow(), nullptr);
}

TEST_F(FeedbackTest, AVisitorSendsIdSix) {
  auto screen = open();
  ASSERT_TRUE(screen);
  typeInto(screen, "ok");
  submit();
  EXPECT_EQ(sentField("id"), "6");
  EXPECT_EQ(sentField("content"), "ok");
}

TEST_F(FeedbackTest, FailuresShowTheAlertAndKeepTheText) {
  struct Case {
    const char* name;
    std::string typed;
    std::optional<ScriptedReply> script;
  };
  const Case cases[] = {
      {"blanks refused by the service", "   ", std::nullopt},
      {"code 500", "建议A", ScriptedReply{.op = "feedback", .code = 500, .msg = "服务器错误"}},
      {"code 202", "建议B", ScriptedReply{.op = "feedback", .code = 202, .msg = "内容不能为空"}},
      // A request cut on a kept-alive connection is sent again, once for each idle connection
      // the loader holds and then over a new one: every go is cut, until the case ends.
      {"dropped connection", "建议C", ScriptedReply{.op = "feedback", .drop = true, .sticky = true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.script) service_->script(*c.script);
    auto screen = open();
    ASSERT_TRUE(screen);
    typeInto(screen, c.typed);
    const size_t before = sends();
    submit();
    EXPECT_GT(sends(), before) << "the text is sent";
    EXPECT_TRUE(alertShows("提交失败"));
    service_->clearScripts();
    dismissAlerts();
    EXPECT_EQ(topScreen(), screen);
    EXPECT_EQ(boxText(screen), c.typed);
    homeStack()->popToRootViewControllerAnimated(false);
    device().wait(0.5);
  }
}

TEST_F(FeedbackTest, ASecondTapWhileASuggestionIsOnItsWaySendsNothingAndEveryEndLetsTheNextGo) {
  auto screen = open();
  ASSERT_TRUE(screen);
  typeInto(screen, "建议D");
  auto button = screen->feedbackView()->submitButton();
  // Long enough that the second tap, 0.2 s after the first on the virtual clock, always comes
  // before the reply.
  constexpr int kHeldBackMs = 1500;
  auto answered = [&] {
    const bool told = waitFor([] { return ui::AlertPresenter::shared().count() > 0; });
    device().wait(0.3);
    dismissAlerts();
    return told;
  };
  struct End {
    const char* what;
    ScriptedReply reply;
    bool twice;  // tapped twice 0.2 s apart while the reply is held back
  };
  const End ends[] = {
      {"a refusal held back", {.op = "feedback", .code = 202, .msg = "稍后再试", .delayMs = kHeldBackMs}, true},
      {"a cut connection", {.op = "feedback", .drop = true, .sticky = true}, false},
      {"a refusal", {.op = "feedback", .code = 202, .msg = "稍后再试"}, false},
  };
  // Each tap after the first case's shows that the end before it let the button send.
  for (const End& end : ends) {
    SCOPED_TRACE(end.what);
    const size_t before = sends();
    service_->script(end.reply);
    ASSERT_TRUE(device().tapView(button));
    if (end.twice) {
      device().wait(0.2);
      device().tapView(button);
    }
    EXPECT_TRUE(answered()) << "the failure is told";
    service_->clearScripts();
    if (end.twice) {
      EXPECT_EQ(sends(), before + 1) << "one suggestion while the first was on its way";
    } else {
      EXPECT_GT(sends(), before) << "the end before let the tap send";
    }
  }

  // The service's own reply held back: one suggestion, thanked, and no refusal of a second.
  const size_t before = sends();
  service_->script(ScriptedReply{.op = "feedback", .delayMs = kHeldBackMs});
  ASSERT_TRUE(device().tapView(button));
  device().wait(0.2);
  device().tapView(button);
  ASSERT_TRUE(waitFor([] { return device().viewWithText("建议已提交，谢谢您的建议") != nullptr; }));
  runMainLoopUntil([] { return false; }, 0.3);
  EXPECT_EQ(sends(), before + 1);
  EXPECT_EQ(ui::AlertPresenter::shared().count(), 0u);

  // A tap 0.1 s after the success, while the tip fades in, sends nothing; the tip's end closes
  // this screen only.
  device().wait(0.1);
  device().tapView(button);
  runMainLoopUntil([] { return false; }, 0.3);
  EXPECT_EQ(sends(), before + 1) << "nothing sent after the success";
  device().wait(3);
  EXPECT_EQ(topScreen(), help_) << topClass();
}

// Back tapped 1.85 s into the 2 s thanks: the tip ends during the pop and closes nothing more,
// the help centre stays.
TEST_F(FeedbackTest, BackTappedAsTheThanksEndLeavesTheHelpCentreShown) {
  auto screen = open();
  ASSERT_TRUE(screen);
  typeInto(screen, "建议E");
  service_->script(ScriptedReply{.op = "feedback", .hold = "thanks"});
  ASSERT_TRUE(device().tapView(screen->feedbackView()->submitButton()));
  ASSERT_TRUE(waitFor([&] { return sends() == 1; }));
  service_->release("thanks");
  ASSERT_TRUE(waitFor([] { return device().viewWithText("建议已提交，谢谢您的建议") != nullptr; }));
  device().wait(1.85);
  device().tap(CGPointMake(20, 42));  // the back item: its pop runs 0.35 s
  device().wait(3);
  EXPECT_EQ(topScreen(), help_) << topClass();
}

TEST_F(FeedbackTest, ThePromptOrAnEmptyBoxSendsNothing) {
  auto screen = open();
  ASSERT_TRUE(screen);
  submit();  // the untouched prompt
  EXPECT_EQ(sends(), 0u);
  EXPECT_EQ(ui::AlertPresenter::shared().count(), 0u);
  typeInto(screen, "");  // the prompt goes, nothing typed
  EXPECT_EQ(boxText(screen), "");
  submit();
  EXPECT_EQ(sends(), 0u);
  EXPECT_EQ(ui::AlertPresenter::shared().count(), 0u);
  EXPECT_FALSE(device().viewWithText("建议已提交，谢谢您的建议"));
  EXPECT_EQ(topScreen(), screen);
}

TEST_F(FeedbackTest, TypedTextSurvivesLeavingAndReenteringTheBox) {
  auto screen = open();
  ASSERT_TRUE(screen);
  typeInto(screen, "第一句");
  // A tap on the form's background ends editing.
  device().tap(CGPointMake(8, 300));
  device().wait(0.5);
  EXPECT_FALSE(screen->feedbackView()->feedbackTextView()->isFirstResponder());
  typeInto(screen, "第二句");
  EXPECT_EQ(boxText(screen), "第一句第二句");
}

TEST_F(FeedbackTest, TheKeyboardLiftsTheScrollViewsBottom) {
  auto screen = open();
  ASSERT_TRUE(screen);
  auto form = screen->feedbackView();
  auto scroll = form->bgScrollView();
  const CGFloat full = CGRectGetMaxY(scroll->frame());
  EXPECT_EQ(full, form->bounds().size.height);
  typeInto(screen, "");
  EXPECT_TRUE(form->isUpdateConstraints);
  EXPECT_EQ(form->keyboardH, 216);
  EXPECT_EQ(CGRectGetMaxY(scroll->frame()), full - 216);
  device().tap(CGPointMake(8, 300));
  device().wait(0.5);
  EXPECT_FALSE(form->isUpdateConstraints);
  EXPECT_EQ(form->keyboardH, 0);
  EXPECT_EQ(CGRectGetMaxY(scroll->frame()), full);
}

}  // namespace
}  // namespace zvt::test
