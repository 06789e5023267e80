// The daily check-in through the device against the local service, on 10 February 2027 at
// 10:00 in Shanghai: the two signed requests, the credit and its floating reward, the done
// state, today's coin and the stored days; refusals and failures that change nothing; what
// the screen decides on opening from the user's last check-in.

#include <cmath>

#include "app/api/ZVTAPIClient.h"
#include "app/screens/rewards/TZADShow.h"
#include "app/utilities/TovrelUntiles.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSUserDefaults.h"
#include "tests/app/screens/rewards/CheckinTestSupport.h"

namespace {

using zvt::test::CheckinTest;
using zvt::test::momentIn;

std::string text(const std::shared_ptr<UILabel>& label) { return label && label->text() ? label->text()->utf8() : ""; }

std::string keysOf(const id& object) {
  auto dict = zvt::as<NSDictionary>(object);
  if (!dict) return "";
  std::vector<std::string> keys;
  auto all = dict->allKeys();
  for (const id& key : *all) keys.push_back(NSString::stringWithFormat("%@", key)->utf8());
  std::sort(keys.begin(), keys.end());
  std::string out;
  for (const auto& key : keys) out += (out.empty() ? "" : ",") + key;
  return out;
}

std::string field(const std::shared_ptr<NSDictionary>& entry, const char* name) {
  auto fields = zvt::as<NSDictionary>(entry->objectForKey("fields"_ns));
  id value = fields ? fields->objectForKey(NSString::stringWithUTF8String(name)) : nullptr;
  return value ? NSString::stringWithFormat("%@", value)->utf8() : "";
}

bool isActive(const std::shared_ptr<ThecalendarViewController>& screen) {
  auto button = screen->signInButton();
  return !button->isSelected() && button->isUserInteractionEnabled() && button->titleLabel()->text()->isEqualToString("签到");
}

bool isDone(const std::shared_ptr<ThecalendarViewController>& screen) {
  auto button = screen->signInButton();
  return button->isSelected() && !button->isUserInteractionEnabled() && button->currentTitle()->isEqualToString("已签到") &&
         button->backgroundColor()->isEqual(UIColor::colorWithRed(200 / 255.0, 200 / 255.0, 200 / 255.0, 1));
}

// The presented y of the floating reward label (none: -1000).
CGFloat rewardY(const std::shared_ptr<ThecalendarViewController>& screen) {
  auto label = screen->moneyRemarkLabel();
  if (!label || !label->superview()) return -1000;
  return label->layer()->presentationLayer()->frame().origin.y;
}

TEST_F(CheckinTest, ACheckInSendsItsTwoSignedRequestsCreditsTheDayAndFloatsTheReward) {
  auto delegate = launch();
  login();
  auto screen = open();
  ASSERT_TRUE(screen);
  EXPECT_EQ(text(screen->zaveltoMoneyLabel()), "5000");
  EXPECT_EQ(text(screen->aLiLiBaBaMoneyLabel()), "1200");
  EXPECT_TRUE(isActive(screen));
  EXPECT_TRUE(device().viewWithText("2027年02月10日")) << "today in Shanghai";
  zvt::test::writeScreenPicture("checkin-before");

  service_->clearLog();
  service_->script(zvt::test::ScriptedReply{
      .op = "sign", .code = 101, .dataJSON = R"({"jifen":"15","jifenbao":"30","addJifen":"5","addJifenbao":"10"})"});
  tapSignIn(screen);

  // get_time, then sign with exactly its three fields and a signature the service accepts.
  auto times = logOf("get_time"), signs = logOf("sign");
  ASSERT_EQ(times.size(), 1u);
  ASSERT_EQ(signs.size(), 1u);
  EXPECT_LT(zvt::as<NSNumber>(times[0]->objectForKey("seq"_ns))->integerValue(),
            zvt::as<NSNumber>(signs[0]->objectForKey("seq"_ns))->integerValue());
  EXPECT_EQ(NSString::stringWithFormat("%@", times[0]->objectForKey("iface"_ns))->utf8(), "enciphered");
  EXPECT_EQ(keysOf(signs[0]->objectForKey("fields"_ns)), "code,id,time");
  EXPECT_EQ(field(signs[0], "id"), zvt::test::kServiceTestUserId);
  EXPECT_EQ(NSString::stringWithFormat("%@", signs[0]->objectForKey("signature"_ns))->utf8(), "ok");
  EXPECT_EQ(NSString::stringWithFormat("%@", signs[0]->objectForKey("form"_ns))->utf8(), "des");
  auto contentType = NSString::stringWithFormat("%@", zvt::as<NSDictionary>(signs[0]->objectForKey("headers"_ns))->objectForKey("Content-Type"_ns));
  EXPECT_EQ(contentType->utf8(), "application/x-www-form-urlencoded");

  // The reward floats from the moment the reply is handled: it rests at y 30 until 1.2 s,
  // rises to -30 by 1.6 s and is gone at 2.7 s.
  ASSERT_TRUE(waitFor([&] { return screen->moneyRemarkLabel() != nullptr; }, 2));
  const auto repliedAt = static_cast<int64_t>(std::floor(NSDate::date()->timeIntervalSince1970()));
  EXPECT_TRUE(device().viewWithText("+5Velmo +10集分宝"));
  EXPECT_EQ(text(screen->zaveltoMoneyLabel()), "15");
  EXPECT_EQ(text(screen->aLiLiBaBaMoneyLabel()), "30");
  EXPECT_EQ(rewardY(screen), 30);
  device().wait(1.15);
  EXPECT_EQ(rewardY(screen), 30) << "still resting at 1.15 s";
  device().wait(0.25);
  zvt::test::writeScreenPicture("checkin-reward-in-flight");
  const CGFloat rising = rewardY(screen);
  EXPECT_LT(rising, 30);
  EXPECT_GT(rising, -30);
  device().wait(0.25);
  EXPECT_EQ(rewardY(screen), -30) << "risen at 1.65 s";
  device().wait(1.0);
  EXPECT_EQ(rewardY(screen), -30) << "still there at 2.65 s";
  device().wait(0.1);
  EXPECT_EQ(rewardY(screen), -1000) << "gone at 2.75 s";

  // Done: grey "已签到" that takes no tap, today's coin highlighted, the day stored once and
  // the record's check-in time the clock's second.
  EXPECT_TRUE(isDone(screen));
  auto today = cell(screen, 10);
  ASSERT_TRUE(today);
  EXPECT_EQ(imageName(today->cionIcon()), "cion_highlight");
  EXPECT_FALSE(today->extraAwardImageView());
  EXPECT_EQ(storedDays(), "2-10");
  auto record = delegate->userInfoDictionary();
  EXPECT_EQ(NSString::stringWithFormat("%@", record->objectForKey("signtime"_ns))->utf8(),
            std::to_string(repliedAt));
  EXPECT_EQ(NSString::stringWithFormat("%@", record->objectForKey("jifen"_ns))->utf8(), "15");
  zvt::test::writeScreenPicture("checkin-after");
  const CGRect button = screen->signInButton()->convertRectToView(screen->signInButton()->bounds(), nullptr);
  device().tap(CGPointMake(CGRectGetMidX(button), CGRectGetMidY(button)));
  letRepliesArrive();
  EXPECT_EQ(service_->requestCount("get_time"), 1) << "the done button sends nothing";
}

TEST_F(CheckinTest, TheRewardTextNamesOnlyWhatWasCredited) {
  struct Case {
    const char* add;       // "addJifen","addJifenbao" of the reply
    const char* shown;     // the reward label; "" none
    const char* velmo;     // the balance labels afterwards
    const char* jifenbao;
  };
  const std::vector<Case> cases = {
      {R"("addJifen":"5","addJifenbao":"0")", "+5Velmo", "15", "30"},
      {R"("addJifen":0,"addJifenbao":10)", "+10集分宝", "15", "30"},
      {R"("addJifen":"0","addJifenbao":"0")", "", "5000", "1200"},
  };
  launch();
  login();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.add);
    auto record = delegate_->userInfoDictionary();
    record->setObject("0"_ns, "signtime"_ns);
    record->setObject("5000"_ns, "jifen"_ns);
    record->setObject("1200"_ns, "jifenbao"_ns);
    NSUserDefaults::standardUserDefaults()->removeObjectForKey("signData"_ns);
    auto screen = open();
    ASSERT_TRUE(screen);
    service_->script(zvt::test::ScriptedReply{
        .op = "sign", .code = 101, .dataJSON = std::string(R"({"jifen":"15","jifenbao":"30",)") + c.add + "}"});
    tapSignIn(screen);
    device().wait(0.1);
    EXPECT_TRUE(isDone(screen));
    EXPECT_EQ(imageName(cell(screen, 10)->cionIcon()), "cion_highlight");
    EXPECT_EQ(text(screen->zaveltoMoneyLabel()), c.velmo);
    EXPECT_EQ(text(screen->aLiLiBaBaMoneyLabel()), c.jifenbao);
    if (*c.shown) {
      EXPECT_TRUE(device().viewWithText(c.shown));
    } else {
      EXPECT_FALSE(screen->moneyRemarkLabel());
    }
    device().wait(3);
    home();
  }
}

TEST_F(CheckinTest, RefusalsAndFailuresLeaveTheScreenAsItWas) {
  struct Case {
    const char* what;
    zvt::test::ScriptedReply script;
    bool alreadyDone;  // 251: the alert and the done state, balances unchanged
  };
  const std::vector<Case> cases = {
      {"251", {.op = "sign", .code = 251, .msg = "您已签到了"}, true},
      {"202", {.op = "sign", .code = 202, .msg = "签到失败"}, false},
      {"305", {.op = "sign", .code = 305, .msg = "活动已结束"}, false},
      // The URL loader sends a request again when a reused connection closes without a reply,
      // once for each idle connection it holds: every go is dropped, until the case ends.
      {"dropped", {.op = "sign", .drop = true, .sticky = true}, false},
      {"malformed", {.op = "sign", .malformed = true}, false},
      {"no time", {.op = "get_time", .iface = "enciphered", .omitTime = true}, false},
  };
  launch();
  login();
  NSUserDefaults::standardUserDefaults()->setObject(NSArray::make({"2-3"_ns}), "signData"_ns);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    delegate_->userInfoDictionary()->setObject("0"_ns, "signtime"_ns);
    auto screen = open();
    ASSERT_TRUE(screen);
    service_->script(c.script);
    tapSignIn(screen);
    device().wait(0.5);
    EXPECT_EQ(text(screen->zaveltoMoneyLabel()), "5000");
    EXPECT_EQ(text(screen->aLiLiBaBaMoneyLabel()), "1200");
    EXPECT_FALSE(screen->moneyRemarkLabel());
    EXPECT_EQ(storedDays(), "2-3");
    EXPECT_EQ(NSString::stringWithFormat("%@", delegate_->userInfoDictionary()->objectForKey("signtime"_ns))->utf8(), "0");
    if (c.alreadyDone) {
      EXPECT_TRUE(device().viewWithText("您已签到了"));
      EXPECT_TRUE(isDone(screen));
      EXPECT_EQ(imageName(cell(screen, 10)->cionIcon()), "cion_highlight");
      dismissAlerts();
    } else {
      EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u) << "nothing shows";
      EXPECT_TRUE(isActive(screen)) << "still tappable";
      EXPECT_FALSE(cell(screen, 10)->cionIcon());
    }
    service_->clearScripts();
    home();
  }
}

TEST_F(CheckinTest, TapsWhileACheckInIsOnItsWaySendNothingAndItsEndLetsTheButtonSendAgain) {
  launch();
  login();
  auto screen = open();
  ASSERT_TRUE(screen);
  const CGRect frame = screen->signInButton()->convertRectToView(screen->signInButton()->bounds(), nullptr);
  const CGPoint button = CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame));
  const int times = service_->requestCount("get_time");
  const int signs = service_->requestCount("sign");

  // A time request that comes late and without a time: the second tap sends nothing, the
  // failure lets the next tap go.
  service_->script(
      zvt::test::ScriptedReply{.op = "get_time", .iface = "enciphered", .delayMs = 600, .omitTime = true, .times = 2});
  device().tap(button);
  device().tap(button);
  letRepliesArrive(1.2);
  EXPECT_EQ(service_->requestCount("get_time"), times + 1);
  EXPECT_EQ(service_->requestCount("sign"), signs);
  EXPECT_TRUE(isActive(screen));
  service_->clearScripts();

  // A check-in whose time and sign replies both come late, tapped again during each: one
  // exchange, the service's credit shown, and no "您已签到了" over it.
  const int timesBefore = service_->requestCount("get_time");
  service_->script(zvt::test::ScriptedReply{.op = "get_time", .iface = "enciphered", .delayMs = 600});
  service_->script(zvt::test::ScriptedReply{.op = "sign", .delayMs = 600});
  device().tap(button);
  device().tap(button);
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("sign") > signs; }, 5));
  device().tap(button);
  letRepliesArrive(1.5);
  device().wait(0.1);
  EXPECT_EQ(service_->requestCount("get_time"), timesBefore + 1);
  EXPECT_EQ(service_->requestCount("sign"), signs + 1);
  EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u) << "no alert over the reward";
  EXPECT_TRUE(isDone(screen));
  EXPECT_TRUE(device().viewWithText("+10Velmo +1集分宝"));
  EXPECT_EQ(text(screen->zaveltoMoneyLabel()), "5010");
  EXPECT_EQ(text(screen->aLiLiBaBaMoneyLabel()), "1201");
  dismissAlerts();
}

TEST_F(CheckinTest, OpeningDecidesFromTheLastCheckInOnTodaysDateInTheDevicesZone) {
  struct Case {
    const char* what;
    NSTimeInterval signtime;
    bool done;
  };
  const std::vector<Case> cases = {
      {"today at 08:00", momentIn("Asia/Shanghai", 2027, 2, 10, 8), true},
      {"today at 00:30 (the 9th in UTC)", momentIn("Asia/Shanghai", 2027, 2, 10, 0, 30), true},
      {"yesterday at 23:30", momentIn("Asia/Shanghai", 2027, 2, 9, 23, 30), false},
      {"the same date a year before", momentIn("Asia/Shanghai", 2026, 2, 10, 10), false},
      {"never", 0, false},
  };
  launch();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NSUserDefaults::standardUserDefaults()->removeObjectForKey("signData"_ns);
    setUserFields(R"({"signtime": ")" + std::to_string(static_cast<int64_t>(c.signtime)) + R"("})");
    login();
    auto screen = open();
    ASSERT_TRUE(screen);
    EXPECT_EQ(isDone(screen), c.done);
    EXPECT_EQ(isActive(screen), !c.done);
    EXPECT_EQ(storedDays(), c.done ? "2-10" : "(none)") << "a check-in found on opening is stored";
    EXPECT_EQ(imageName(cell(screen, 10)->cionIcon()), c.done ? "cion_highlight" : "");
    home();
  }
}

TEST_F(CheckinTest, AFirstCheckInAddsToTheDevicesHistoryOnce) {
  launch();
  setUserFields(R"({"signtime": "0"})");
  login();
  NSUserDefaults::standardUserDefaults()->setObject(NSArray::make({"2-3"_ns, "2-5"_ns}), "signData"_ns);
  auto screen = open();
  ASSERT_TRUE(screen);
  tapSignIn(screen);
  device().wait(0.5);
  EXPECT_TRUE(isDone(screen));
  EXPECT_EQ(storedDays(), "2-3,2-5,2-10");
  for (NSInteger day : {3, 5, 10}) {
    SCOPED_TRACE(day);
    EXPECT_EQ(imageName(cell(screen, day)->cionIcon()), day == 10 ? "cion_highlight" : "cion_normal");
  }
  EXPECT_FALSE(cell(screen, 4)->cionIcon());
  home();

  // Opened again the same day: done from the record, and the day is not stored twice.
  screen = open();
  EXPECT_TRUE(isDone(screen));
  EXPECT_EQ(storedDays(), "2-3,2-5,2-10");
  EXPECT_EQ(cell(screen, 10)->subviews().size(), 2u) << "the day number and one coin";
}

// A person tapping "签到" means the button, not the bar's title reading the same.
TEST_F(CheckinTest, TheTextSignInTapsTheButtonRatherThanTheTitle) {
  launch();
  setUserFields(R"({"signtime": "0"})");
  login();
  auto screen = open();
  ASSERT_TRUE(screen);
  ASSERT_TRUE(isActive(screen));
  ASSERT_GE(device().viewsWithText("签到").size(), 2u) << "the title and the button";
  const int signs = service_->requestCount("sign");
  ASSERT_TRUE(device().tapText("签到"));
  EXPECT_TRUE(waitFor([&] { return service_->requestCount("sign") > signs; }, 5));
  letRepliesArrive();
  device().wait(0.5);
  EXPECT_TRUE(isDone(screen));
  home();
}

TEST_F(CheckinTest, OpeningAsksForTheShareAwardHidesTheTabBarAndLogsThePage) {
  auto delegate = launch();
  login();
  service_->clearLog();
  auto screen = open();
  ASSERT_TRUE(screen);
  auto shares = logOf("shareAwardInfo");
  ASSERT_EQ(shares.size(), 1u);
  EXPECT_EQ(keysOf(shares[0]->objectForKey("fields"_ns)), "code,id,time");
  EXPECT_EQ(NSString::stringWithFormat("%@", shares[0]->objectForKey("signature"_ns))->utf8(), "ok");
  EXPECT_EQ(logOf("get_time").size(), 1u);
  EXPECT_TRUE(delegate->tabBarController()->tabbarView()->isHidden());
  EXPECT_EQ(screen->title()->utf8(), "签到");
  home();
  zvt::stat::flush();
  int pages = 0;
  for (const auto& record : zvt::stat::recordedEntries()) {
    auto page = zvt::as<NSString>(record->objectForKey("page"_ns));
    if (page && page->isEqualToString("签到页面")) ++pages;
  }
  EXPECT_EQ(pages, 1) << "the page began and ended once";
}

// On a machine in UTC, whose zone the device and the service beside it share: the day the
// calendar offers is the one the service takes, and the record it files is stamped on the day
// the calendar stars. (Counting China's days, the service refused the morning after a check-in
// at 20:00, 04:00 in China, and stamped one at 18:35 with the next day.)
class CheckinInUtcTest : public CheckinTest {
 protected:
  static void SetUpTestSuite() { startServiceIn("UTC"); }
};

TEST_F(CheckinInUtcTest, TheDayTheCalendarOffersIsTheDayTheServiceTakesAndStamps) {
  struct Case {
    const char* what;
    NSTimeInterval last, now;
    NSInteger today;
    const char* stamp;  // of the income record the check-in files
  };
  const std::vector<Case> cases = {
      {"10:00 after a check-in at 20:00 the day before", momentIn("UTC", 2026, 12, 8, 20), momentIn("UTC", 2026, 12, 9, 10), 9,
       "2026-12-09 10:00:00"},
      {"18:35 (02:35 the next day in China)", momentIn("UTC", 2026, 12, 9, 10), momentIn("UTC", 2026, 12, 10, 18, 35), 10,
       "2026-12-10 18:35:00"},
  };
  auto delegate = launch();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setClock(c.now, "UTC");
    setUserFields(R"({"signtime": ")" + std::to_string(static_cast<int64_t>(c.last)) + R"("})");
    login();
    auto screen = open();
    ASSERT_TRUE(screen);
    ASSERT_TRUE(isActive(screen)) << "the last check-in was the day before";
    tapSignIn(screen);
    device().wait(0.5);
    EXPECT_FALSE(device().viewWithText("您已签到了"));
    EXPECT_TRUE(isDone(screen));
    EXPECT_EQ(imageName(cell(screen, c.today)->cionIcon()), "cion_highlight");
    // The advert the check-in brings, closed.
    device().wait(0.6);
    for (const auto& view : delegate->tabBarController()->view()->subviews())
      if (auto show = std::dynamic_pointer_cast<TZADShow>(view)) {
        ASSERT_TRUE(device().tapView(show->closeButton()));
      }
    device().wait(0.6);
    // The income list opens with the record of this check-in, on the starred day.
    const int asked = service_->requestCount("getUserDetailed");
    topScreen()->navigationController()->pushViewController(zvt::makeScreen("MyAssetsViewController"), false);
    device().wait(1);
    ASSERT_TRUE(device().tapText("收入明细"));
    device().wait(1);
    ASSERT_TRUE(waitFor([&] { return service_->requestCount("getUserDetailed") > asked; }, 5));
    letRepliesArrive();
    device().wait(0.5);
    EXPECT_TRUE(device().viewWithText(c.stamp)) << c.stamp;
    home();
  }
}

}  // namespace
