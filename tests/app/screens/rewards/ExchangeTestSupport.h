#pragma once
// The exchange store's screens through the launched shell, logged in as the demo user against
// the local service: its request log read back as dictionaries, its goods scripted, its user
// record set, the store opened on the home tab.

#include <string>
#include <vector>

#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/PointsProductDetailViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/screens/rewards/TZExchangeViewController.h"
#include "app/screens/rewards/WithDrawViewController.h"
#include "tests/app/core/ShellTestSupport.h"

namespace zvt::test {

class ExchangeTest : public ShellTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Replaces fields of the demo user's record on the service ("{"jifen": "600"}"); null stays null.
  void setUser(const std::string& fieldsJSON);
  // Launches with the demo user's stored credentials and waits for the automatic login.
  std::shared_ptr<AppDelegate> launchLoggedIn();
  // Pushes the store on the home tab and waits for its first page.
  std::shared_ptr<TZExchangeViewController> openStore();
  // The "fields" of the logged requests of an operation, oldest first.
  std::vector<std::shared_ptr<NSDictionary>> fieldsOf(const std::string& op) const;
  // fields[key] as text ("" when missing).
  static std::string field(const std::shared_ptr<NSDictionary>& fields, const char* key);
  // The keys of a request's fields but "time" and "code", sorted.
  static std::vector<std::string> orderKeys(const std::shared_ptr<NSDictionary>& fields);
  // Answers the next `times` goods requests with these records (a JSON array) and "end".
  void scriptGoods(const std::string& recordsJSON, int end = 0, int times = 1) const;
  // n goods records {"id": first+i, "title": "商品<i>", "img": <root>/images/<picture(i)>, ...}.
  std::string goodsJSON(int n, int first, const std::string& pictureFormat, const std::string& extra = "") const;
  // Waits (real time) until `count` requests of the operation have been logged.
  bool waitForRequests(const std::string& op, int count);
  // Lets replies arrive and the screen take them (real time for the service, then the clock).
  void settle(double seconds = 1.0) {
    runMainLoopUntil([] { return false; }, 0.3);
    device().wait(seconds);
    runMainLoopUntil([] { return false; }, 0.2);
    device().wait(0.5);
  }
  // Drags the list up until its footer loads, then waits for the page request's answer; false
  // when no request went out (the footer showing no more data).
  bool pullUpList(const std::shared_ptr<UIScrollView>& list, const std::string& op);
  // The store's visible rows.
  static std::vector<std::shared_ptr<PointsProductTableViewCell>> visibleCells(const std::shared_ptr<TZExchangeViewController>& store);
  // Whether a label shows the colour (RGB 0...255).
  static bool hasColour(const std::shared_ptr<UIColor>& colour, double r, double g, double b);
  // Whether an alert shows the message; its "确定".
  bool alertShows(const std::string& message) const;
  void answerAlert();
  // The top screen of the home tab's stack.
  std::shared_ptr<UIViewController> top() const { return topScreen(); }
  std::shared_ptr<UINavigationController> homeStack() const;
};

}  // namespace zvt::test
