// The check-in screen's month grid at both screen widths and in two time zones, the 09:00
// reminder on the virtual clock, the advert a check-in brings over the shell, and the
// promotion button the server's configuration asks for.

#include "app/screens/rewards/TZADShow.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UILocalNotification.h"
#include "tests/app/screens/rewards/CheckinTestSupport.h"
#include "ui/images/WIImageCache.h"

namespace {

using zvt::test::CheckinTest;
using zvt::test::momentIn;

// --- the grid, at 375 and 320 points

class CalendarGridTest : public CheckinTest, public ::testing::WithParamInterface<zvt::ui::ScreenModel> {
 protected:
  void SetUp() override {
    zvt::ui::Device::useScreen(GetParam());
    CheckinTest::SetUp();
  }
  void TearDown() override {
    CheckinTest::TearDown();
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  }
};

TEST_P(CalendarGridTest, MonthsStandInTheirWeeksWithTheirMarks) {
  struct Case {
    const char* what;
    const char* zone;
    int year, month, day;
    NSInteger firstColumn, rows, days;
    const char* picture;
  };
  const std::vector<Case> cases = {
      {"February 2026: 28 days from a Sunday", "Asia/Shanghai", 2026, 2, 10, 0, 4, 28, "calendar-february"},
      {"August 2026: 31 days from a Saturday", "Asia/Shanghai", 2026, 8, 15, 6, 6, 31, "calendar-six-rows"},
      {"August 2026 west of GMT", "America/Los_Angeles", 2026, 8, 15, 6, 6, 31, ""},
      {"February 2028: 29 days from a Tuesday", "America/Los_Angeles", 2028, 2, 1, 2, 5, 29, ""},
  };
  const CGFloat W = GetParam().points.width;
  const CGFloat CW = W == 375 ? 54 : 46, CH = W == 375 ? 43 : 35;
  auto delegate = launch();
  delegate->setIsLogin(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(static_cast<int>(W)));
    setClock(momentIn(c.zone, c.year, c.month, c.day, 10), c.zone);
    // 10 February checked in (in some year); an entry of another month marks nothing here.
    NSUserDefaults::standardUserDefaults()->setObject(NSArray::make({"2-10"_ns, "3-9"_ns}), "signData"_ns);
    auto screen = open();
    ASSERT_TRUE(screen);
    auto grid = screen->sampleView();
    EXPECT_EQ(grid->firstColumn(), c.firstColumn);
    EXPECT_EQ(grid->monthLength(), c.days);
    EXPECT_EQ(grid->frame(), CGRectMake(0, 160, W, c.rows * CH + 20));
    int bare = 0;
    for (const auto& view : grid->subviews())
      if (auto cell = std::dynamic_pointer_cast<DateViewModel>(view); cell && cell->tag() == 0) ++bare;
    EXPECT_EQ(bare, c.rows * 7 - c.days) << "blank cells before the 1st and after the last day";
    EXPECT_EQ(cell(screen, 1)->frame(), CGRectMake(c.firstColumn * CW, 20, CW, CH));
    const NSInteger last = c.days - 1 + c.firstColumn;
    EXPECT_EQ(cell(screen, c.days)->frame(), CGRectMake((last % 7) * CW, 20 + (last / 7) * CH, CW, CH));
    EXPECT_TRUE(device().viewWithText(std::to_string(c.days)));
    for (NSInteger day = 1; day <= c.days; ++day) {
      SCOPED_TRACE(day);
      const bool february = c.month == 2;
      const bool checkedIn = february && day == 10;
      EXPECT_EQ(imageName(cell(screen, day)->extraAwardImageView()), february && day >= 8 && day <= 14 && !checkedIn ? "singInExtra" : "");
      EXPECT_EQ(imageName(cell(screen, day)->cionIcon()),
                checkedIn ? (c.day == 10 ? "cion_highlight" : "cion_normal") : "");
    }
    if (*c.picture) zvt::test::writeScreenPicture(std::string(c.picture) + "-" + std::to_string(static_cast<int>(W)));
    home();
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, CalendarGridTest, ::testing::Values(zvt::ui::kScreen375x667, zvt::ui::kScreen320x568),
                         [](const auto& info) { return std::string(info.param.name).substr(0, 3); });

// --- the reminder

std::shared_ptr<UILocalNotification> onlyReminder() {
  auto scheduled = UIApplication::sharedApplication()->scheduledLocalNotifications();
  return scheduled.size() == 1 ? scheduled.front() : nullptr;
}

TEST_F(CheckinTest, TheReminderAlertsDailyAtNineOnTheDevicesClock) {
  auto delegate = launch();
  delegate->setIsLogin(true);
  auto application = UIApplication::sharedApplication();
  auto screen = open();
  ASSERT_TRUE(screen);
  auto defaults = NSUserDefaults::standardUserDefaults();
  EXPECT_EQ(screen->remindButton()->currentBackgroundImage(), UIImage::imageNamed("signInRemindBtn_normal"_ns));
  ASSERT_TRUE(device().tapView(device().viewWithAccessibilityIdentifier("signInRemind")));
  device().wait(0.1);
  auto reminder = onlyReminder();
  ASSERT_TRUE(reminder);
  EXPECT_EQ(reminder->alertBody()->utf8(), "亲，快点来签到吧");
  EXPECT_EQ(reminder->applicationIconBadgeNumber(), 1);
  EXPECT_EQ(reminder->repeatInterval(), NSCalendarUnitDay);
  EXPECT_TRUE(reminder->timeZone()->isEqual(NSTimeZone::timeZoneWithName("Asia/Shanghai"_ns)));
  EXPECT_TRUE(reminder->userInfo()->isEqual(NSDictionary::make({{"key"_ns, "pushNotification"_ns}})));
  const NSTimeInterval nine = momentIn("Asia/Shanghai", 2027, 2, 11, 9);
  EXPECT_EQ(reminder->fireDate()->timeIntervalSince1970(), nine) << "the next 09:00, tomorrow";
  EXPECT_TRUE(defaults->boolForKey("isRemind"_ns));
  EXPECT_EQ(screen->remindButton()->currentBackgroundImage(), UIImage::imageNamed("signInRemindBtn_highlight"_ns));
  zvt::test::writeScreenPicture("checkin-reminder-on");

  application->setApplicationIconBadgeNumber(3);
  device().wait(nine - NSDate::date()->timeIntervalSince1970() - 1);
  EXPECT_FALSE(device().viewWithText("亲，快点来签到吧")) << "nothing before 09:00";
  device().wait(2);
  EXPECT_TRUE(device().viewWithText("亲，快点来签到吧"));
  EXPECT_EQ(application->applicationIconBadgeNumber(), 0);
  dismissAlerts();

  // Off: the reminder goes and the choice is stored; on again: still exactly one.
  ASSERT_TRUE(device().tapView(device().viewWithAccessibilityIdentifier("signInRemind")));
  device().wait(0.1);
  EXPECT_TRUE(application->scheduledLocalNotifications().empty());
  EXPECT_FALSE(defaults->boolForKey("isRemind"_ns));
  EXPECT_EQ(screen->remindButton()->currentBackgroundImage(), UIImage::imageNamed("signInRemindBtn_normal"_ns));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(device().tapView(device().viewWithAccessibilityIdentifier("signInRemind")));
    device().wait(0.1);
  }
  EXPECT_TRUE(onlyReminder());

  // A reminder delivered while the choice reads NO shows nothing.
  defaults->setBool(false, "isRemind"_ns);
  device().wait(24 * 3600);
  EXPECT_FALSE(device().viewWithText("亲，快点来签到吧"));
  application->cancelAllLocalNotifications();
}

// --- the advert

std::shared_ptr<TZADShow> advertOn(const std::shared_ptr<AppDelegate>& delegate) {
  for (const auto& view : delegate->tabBarController()->view()->subviews())
    if (auto show = std::dynamic_pointer_cast<TZADShow>(view)) return show;
  return nullptr;
}

TEST_F(CheckinTest, TheAdvertCoversTheShellFetchedAfreshAndItsPictureOpensTheLink) {
  auto delegate = launch();
  login();
  auto screen = open();
  ASSERT_TRUE(screen);
  const std::string pic = service_->rootURL() + "/images/adsign_520x520.png";
  const std::string link = service_->rootURL() + "/wap/activity.php?id=8";
  // A picture already cached under the advert's address.
  auto cached = UIImage::imageNamed("placeholder_AD"_ns);
  WIImageCache::sharedImageCache()->storeImage(cached, NSString::stringWithUTF8String(pic), false);
  auto pictureRequests = [&] {
    int n = 0;
    for (const auto& entry : logOf(""))
      if (NSString::stringWithFormat("%@", entry->objectForKey("target"_ns))->utf8().find("adsign") != std::string::npos) ++n;
    return n;
  };
  tapSignIn(screen);
  auto show = advertOn(delegate);
  ASSERT_TRUE(show) << "the service's check-in brings its advert";
  const CGFloat H = delegate->tabBarController()->view()->bounds().size.height;
  EXPECT_EQ(show->layer()->presentationLayer()->frame().origin.y, -H);
  device().wait(0.25);
  const CGFloat sliding = show->layer()->presentationLayer()->frame().origin.y;
  EXPECT_GT(sliding, -H);
  EXPECT_LT(sliding, 0);
  device().wait(0.3);
  EXPECT_EQ(show->layer()->presentationLayer()->frame().origin.y, 0);
  EXPECT_EQ(delegate->tabBarController()->view()->subviews().back(), show) << "in front of the tab bar";
  ASSERT_TRUE(waitFor([&] { return pictureRequests() == 1; }, 5)) << "fetched afresh though cached";
  ASSERT_TRUE(waitFor([&] {
    device().settle();
    return show->imageView()->image() && show->imageView()->image() != cached &&
           show->imageView()->image() != UIImage::imageNamed("placeholder_HomeProduct"_ns);
  }));
  EXPECT_EQ(show->imageView()->frame().size.width, 0.7 * 375);
  zvt::test::writeScreenPicture("checkin-advert");

  ASSERT_TRUE(device().tapView(show->imageView()));
  device().wait(0.1);
  EXPECT_EQ(topClass(), "ActivityZoneViewController") << "the link opens at once";
  EXPECT_EQ(topValue("activityZoneUrl"), link);
  device().wait(0.5);
  EXPECT_FALSE(show->superview()) << "faded out and gone";
  EXPECT_FALSE(advertOn(delegate));
}

TEST_F(CheckinTest, TheAdvertsCloseButtonAndAdvertsWithoutPictureOrContent) {
  struct Case {
    const char* what;
    const char* advert;  // "popUpAds" of a scripted 101
    bool shows;
    bool picture;
  };
  const std::vector<Case> cases = {
      {"closed", R"({"pic":"{pic}","link":"{link}","local":"0","name":"签到有礼"})", true, true},
      {"without a picture", R"({"link":"{link}","local":"0","name":"签到有礼"})", true, false},
      {"empty", R"({})", false, false},
  };
  auto delegate = launch();
  login();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string advert = c.advert;
    for (auto [key, value] : {std::pair<std::string, std::string>{"{pic}", service_->rootURL() + "/images/adclose.png"},
                              {"{link}", service_->rootURL() + "/wap/activity.php?id=3"}}) {
      if (auto at = advert.find(key); at != std::string::npos) advert.replace(at, key.size(), value);
    }
    delegate->userInfoDictionary()->setObject("0"_ns, "signtime"_ns);
    auto screen = open();
    ASSERT_TRUE(screen);
    service_->script(zvt::test::ScriptedReply{.op = "sign",
                                              .code = 101,
                                              .dataJSON = R"({"jifen":"15","jifenbao":"30","addJifen":"5","addJifenbao":"10"})",
                                              .extraJSON = R"({"popUpAds":)" + advert + "}"});
    tapSignIn(screen);
    device().wait(0.6);
    auto show = advertOn(delegate);
    ASSERT_EQ(show != nullptr, c.shows);
    if (!show) {
      home();
      continue;
    }
    if (c.picture) {
      EXPECT_TRUE(waitFor([&] {
        device().settle();
        return show->imageView()->image() != nullptr;
      }));
    } else {
      letRepliesArrive();
      device().settle();
      EXPECT_FALSE(show->imageView()->image()) << "no picture and no placeholder";
    }
    EXPECT_TRUE(zvt::ui::Device::isVisible(show->backgroundView()));
    ASSERT_TRUE(device().tapView(show->closeButton()));
    device().wait(0.25);
    const CGFloat H = delegate->tabBarController()->view()->bounds().size.height;
    const CGFloat falling = show->layer()->presentationLayer()->frame().origin.y;
    EXPECT_GT(falling, 0);
    EXPECT_LT(falling, H);
    device().wait(0.3);
    EXPECT_FALSE(show->superview());
    EXPECT_EQ(topClass(), "ThecalendarViewController") << "closing opens nothing";
    home();
  }
}

// --- the promotion button

TEST_F(CheckinTest, ThePromotionButtonFollowsTheServersEntry) {
  struct Case {
    const char* what;
    std::shared_ptr<NSDictionary> page;
    bool promotion;
  };
  const std::string link = "http://127.0.0.1:1/wap/activity.php?id=9";
  const std::vector<Case> cases = {
      {"name and link", NSDictionary::make({{"name"_ns, "签到攻略"_ns}, {"link"_ns, NSString::stringWithUTF8String(link)}}), true},
      {"local 0", NSDictionary::make({{"name"_ns, "签到攻略"_ns}, {"link"_ns, "x"_ns}, {"local"_ns, "0"_ns}}), true},
      {"local 1", NSDictionary::make({{"name"_ns, "签到攻略"_ns}, {"link"_ns, "x"_ns}, {"local"_ns, NSNumber::numberWithInt(1)}}), false},
      {"none", nullptr, false},
  };
  auto delegate = launch();
  login();
  const CGFloat W = 375;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    delegate->setSignPageDic(c.page);
    auto screen = open();
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->signInButton()->frame(), CGRectMake(c.promotion ? W / 4 - 50 : (W - 110) / 2, 60, 110, 38));
    EXPECT_EQ(device().viewWithText("签到攻略") != nullptr, c.promotion);
    if (c.promotion) {
      EXPECT_EQ(screen->promotionButton()->frame(), CGRectMake(3 * W / 4 - 50, 60, 110, 38));
    }
    if (c.promotion && c.page->count() == 2) {
      zvt::test::writeScreenPicture("checkin-promotion");
      ASSERT_TRUE(device().tapText("签到攻略"));
      device().wait(1);
      EXPECT_EQ(topClass(), "TZPublicViewController");
      EXPECT_EQ(topValue("webTitle"), "签到攻略");
      EXPECT_EQ(topValue("webUrl"), link);
    }
    home();
  }
}

}  // namespace
