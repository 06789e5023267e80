#pragma once
// The check-in screen's tests: the launched shell against the local service, the device's
// clock fixed at a moment of a time zone and the service's clock at the same moment, a user
// logged in, and the screen opened the way the home screen's item opens it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/screens/rewards/ThecalendarViewController.h"
#include "platform/foundation/NSTimeZone.h"
#include "tests/app/core/ShellTestSupport.h"

namespace zvt::test {

// Unix seconds of a wall-clock moment in a zone ("Asia/Shanghai").
NSTimeInterval momentIn(const char* zone, int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

class CheckinTest : public ShellTest {
 protected:
  // The service counts check-in days and stamps its records in the zone of the machine it runs
  // on, which the device beside it shares (as run.sh starts them): Shanghai's, as setClock's.
  static void SetUpTestSuite() { startServiceIn("Asia/Shanghai"); }
  static void startServiceIn(const char* zone);

  // 10 February 2027, 10:00 in Shanghai.
  static NSTimeInterval februaryTenth();

  void SetUp() override;
  void TearDown() override;

  // The device's zone and wall clock, and the service's clock, at `moment` (the service keeps
  // the zone it was started in).
  void setClock(NSTimeInterval moment, const char* zone = "Asia/Shanghai");
  // The service's record of the test user gets these fields (JSON object text without "id").
  void setUserFields(const std::string& fieldsJSON);
  // Logs the test user in through the enciphered client, as the login screen does.
  void login();
  // Opens the check-in screen through the item router (in-app code 2) on the current tab and
  // lets its opening requests arrive.
  std::shared_ptr<ThecalendarViewController> open();
  // Back to the tab's root, without animation.
  void home();
  // Lets replies on their way arrive (real time; the virtual clock stands still meanwhile).
  void letRepliesArrive(double seconds = 0.5);
  // Taps the "签到" button (the bar's title reads the same) and waits until the service has seen the sign request and its reply is handled.
  void tapSignIn(const std::shared_ptr<ThecalendarViewController>& screen);

  // The service's log entries of an operation (decoded), oldest first.
  std::vector<std::shared_ptr<NSDictionary>> logOf(const std::string& op) const;
  // The stored "signData" as "a,b,c".
  static std::string storedDays();
  // The day cell of the screen's grid with that tag.
  static std::shared_ptr<DateViewModel> cell(const std::shared_ptr<ThecalendarViewController>& screen, NSInteger day);
  // The name of the image an image view shows ("" for none).
  static std::string imageName(const std::shared_ptr<UIImageView>& view);

 private:
  std::shared_ptr<NSTimeZone> savedZone_;
  std::optional<std::string> savedTZ_;
};

}  // namespace zvt::test
