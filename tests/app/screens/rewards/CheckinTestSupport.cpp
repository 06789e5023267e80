#include "tests/app/screens/rewards/CheckinTestSupport.h"

#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "platform/network/NSURLConnection.h"
#include "app/core/UIViewController+TZSkip.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/utilities/ZVTPublicTools.h"
#include "foundation/json/JSONDecoder.h"
#include <cstdlib>

#include "platform/foundation/NSCalendar.h"
#include "platform/foundation/NSUserDefaults.h"

namespace zvt::test {

NSTimeInterval momentIn(const char* zone, int year, int month, int day, int hour, int minute, int second) {
  auto calendar = NSCalendar::calendarWithIdentifier(NSCalendarIdentifierGregorian);
  calendar->setTimeZone(NSTimeZone::timeZoneWithName(NSString::stringWithUTF8String(zone)));
  auto parts = NSDateComponents::make();
  parts->setYear(year);
  parts->setMonth(month);
  parts->setDay(day);
  parts->setHour(hour);
  parts->setMinute(minute);
  parts->setSecond(second);
  return calendar->dateFromComponents(parts)->timeIntervalSince1970();
}

void CheckinTest::startServiceIn(const char* zone) {
  service_ = std::make_unique<ServiceProcess>(ServiceProcess::Options{.environment = {std::string("TZ=") + zone}});
}

NSTimeInterval CheckinTest::februaryTenth() { return momentIn("Asia/Shanghai", 2027, 2, 10, 10); }

void CheckinTest::SetUp() {
  ShellTest::SetUp();
  savedZone_ = NSTimeZone::defaultTimeZone();
  if (const char* tz = getenv("TZ")) savedTZ_ = tz;
  zvt::registerRewardsScreens();
  // The web pages the screen opens live in the shopping folder, which these tests do not link.
  zvt::test::registerStandInScreen({"TZPublicViewController", "", {"webTitle", "webUrl"}, "webTitle"});
  zvt::test::registerStandInScreen({"ActivityZoneViewController", "活动专区",
                                    {"activityZoneUrl", "activityZoneName", "isShare", "infoModel"},
                                    "activityZoneName"});
  setClock(februaryTenth());
}

void CheckinTest::TearDown() {
  ShellTest::TearDown();
  zvt::setRedpacketPresenter(nullptr);
  NSTimeZone::setDefaultTimeZone(savedZone_);
  if (savedTZ_) {
    setenv("TZ", savedTZ_->c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  NSTimeZone::resetSystemTimeZone();
}

void CheckinTest::setClock(NSTimeInterval moment, const char* zone) {
  // The device's zone is both the system's and the default one, as on a phone.
  setenv("TZ", zone, 1);
  NSTimeZone::resetSystemTimeZone();
  NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NSString::stringWithUTF8String(zone)));
  clock_.clock().setWallTime(moment);
  service_->configure(R"({"fixed_time": ")" + std::to_string(static_cast<int64_t>(moment)) + R"("})");
}

void CheckinTest::setUserFields(const std::string& fieldsJSON) {
  service_->setUserFields(R"({"id": ")" + std::string(kServiceTestUserId) + R"(", )" + fieldsJSON.substr(1));
}

void CheckinTest::login() {
  bool done = false, ok = false;
  ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(kServiceTestUserName)},
                                              {"password"_ns, NSString::stringWithUTF8String(kServiceTestUserPassword)}}),
                          [&](bool success, const auto&) {
                            ok = success;
                            done = true;
                          });
  ASSERT_TRUE(waitFor([&] { return done; }));
  ASSERT_TRUE(ok);
  // A login hands the push registration to the service (its own time stamp, then up_push_id):
  // let that finish, so that the screen's requests and the connections it finds are its own.
  auto registration = AppDelegate::shared() ? AppDelegate::shared()->PushRegisterID() : nullptr;
  if (registration && registration->length() > 0) {
    ASSERT_TRUE(waitFor([&] {
      return service_->requestCount("up_push_id") >= 1 && zvt::urlConnectionLoadsInFlight() == 0;
    }));
  }
}

std::shared_ptr<ThecalendarViewController> CheckinTest::open() {
  const int shares = service_->requestCount("shareAwardInfo");
  auto item = zvt::modelFromRecord<TZHeaderInfoModel>(NSDictionary::make({{"local"_ns, "1"_ns}, {"link"_ns, "2"_ns}}));
  clickAction(topScreen(), item);
  device().wait(0.5);
  waitFor([&] { return service_->requestCount("shareAwardInfo") > shares; }, 5);
  letRepliesArrive();
  device().wait(0.5);
  return std::dynamic_pointer_cast<ThecalendarViewController>(topScreen());
}

void CheckinTest::home() {
  for (const auto& stack : delegate_->tabBarController()->viewControllers())
    std::static_pointer_cast<UINavigationController>(stack)->popToRootViewControllerAnimated(false);
  device().wait(1);
}

void CheckinTest::letRepliesArrive(double seconds) { runMainLoopUntil([] { return false; }, seconds); }

void CheckinTest::tapSignIn(const std::shared_ptr<ThecalendarViewController>& screen) {
  const int signs = service_->requestCount("sign");
  const int times = service_->requestCount("get_time");
  ASSERT_TRUE(screen);
  ASSERT_TRUE(device().tapView(screen->signInButton()));
  // The time request first; the sign request only when the time stamp came.
  waitFor([&] { return service_->requestCount("get_time") > times; }, 5);
  waitFor([&] { return service_->requestCount("sign") > signs; }, 1);
  letRepliesArrive();
}

std::vector<std::shared_ptr<NSDictionary>> CheckinTest::logOf(const std::string& op) const {
  std::vector<std::shared_ptr<NSDictionary>> out;
  auto entries = zvt::as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(op))));
  if (!entries) return out;
  for (const id& entry : *entries)
    if (auto dict = zvt::as<NSDictionary>(entry)) out.push_back(dict);
  return out;
}

std::string CheckinTest::storedDays() {
  auto days = zvt::as<NSArray>(NSUserDefaults::standardUserDefaults()->objectForKey("signData"_ns));
  if (!days) return "(none)";
  std::string out;
  for (const id& day : *days) out += (out.empty() ? "" : ",") + NSString::stringWithFormat("%@", day)->utf8();
  return out;
}

std::shared_ptr<DateViewModel> CheckinTest::cell(const std::shared_ptr<ThecalendarViewController>& screen, NSInteger day) {
  if (!screen || !screen->sampleView()) return nullptr;
  for (const auto& view : screen->sampleView()->subviews())
    if (auto cell = std::dynamic_pointer_cast<DateViewModel>(view); cell && cell->tag() == day) return cell;
  return nullptr;
}

std::string CheckinTest::imageName(const std::shared_ptr<UIImageView>& view) {
  if (!view || !view->image()) return "";
  for (const char* name : {"cion_normal", "cion_highlight", "singInExtra", "placeholder_HomeProduct"})
    if (view->image() == UIImage::imageNamed(NSString::stringWithUTF8String(name))) return name;
  return "(other)";
}

}  // namespace zvt::test
