#include "tests/app/screens/rewards/ExchangeTestSupport.h"

#include <algorithm>
#include <cmath>

#include "app/ui/ScreenRegistry.h"
#include "app/utilities/ZVTPublicTools.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/uikit/UIAlertView.h"
#include "ui/refresh/PRRefreshFooter.h"

namespace zvt::test {

void ExchangeTest::SetUp() {
  ShellTest::SetUp();
  registerRewardsScreens();
  // The login screen belongs to the account folder: a stand-in shows where it is presented.
  registerStandInScreen({"TZLoginViewController", "登录", {}});
}

void ExchangeTest::TearDown() {
  // Picture tasks still downloading finish before the screens and the service go.
  runMainLoopUntil([] { return PointsProductTableViewCell::pictureTasksInFlight() == 0; }, 30);
  setRedpacketPresenter(nullptr);
  ShellTest::TearDown();
}

void ExchangeTest::setUser(const std::string& fieldsJSON) {
  std::string body = fieldsJSON;
  body.insert(1, std::string("\"id\": \"") + kServiceTestUserId + "\"" + (fieldsJSON.size() > 2 ? ", " : ""));
  service_->setUserFields(body);
}

std::shared_ptr<AppDelegate> ExchangeTest::launchLoggedIn() {
  storeCredentials();
  auto delegate = launch();
  EXPECT_TRUE(waitFor([&] { return delegate->isLogin() && delegate->userInfoDictionary(); }));
  device().wait(0.5);
  return delegate;
}

std::shared_ptr<UINavigationController> ExchangeTest::homeStack() const {
  return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->selectedViewController());
}

std::shared_ptr<TZExchangeViewController> ExchangeTest::openStore() {
  const int asked = service_->requestCount("exchange_goods");
  auto store = std::dynamic_pointer_cast<TZExchangeViewController>(makeScreen("TZExchangeViewController"));
  EXPECT_TRUE(store) << "the real store is registered";
  if (!store) return nullptr;
  homeStack()->pushViewController(store, true);
  device().wait(1);
  EXPECT_TRUE(waitForRequests("exchange_goods", asked + 1));
  waitFor([&] { return store->dataArray()->count() > 0 || store->tipView() != nullptr; }, 5);
  device().wait(0.5);
  return store;
}

std::vector<std::shared_ptr<NSDictionary>> ExchangeTest::fieldsOf(const std::string& op) const {
  std::vector<std::shared_ptr<NSDictionary>> out;
  auto entries = as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(op))));
  if (!entries) return out;
  for (const id& entry : *entries) {
    if (auto fields = as<NSDictionary>(as<NSDictionary>(entry)->objectForKey("fields"_ns))) out.push_back(fields);
  }
  return out;
}

std::string ExchangeTest::field(const std::shared_ptr<NSDictionary>& fields, const char* key) {
  id value = fields ? fields->objectForKey(NSString::stringWithUTF8String(key)) : nullptr;
  return value ? NSString::stringWithFormat("%@", value)->utf8() : "";
}

std::vector<std::string> ExchangeTest::orderKeys(const std::shared_ptr<NSDictionary>& fields) {
  std::vector<std::string> keys;
  if (!fields) return keys;
  for (const id& key : *fields) {
    auto text = as<NSString>(key)->utf8();
    if (text != "time" && text != "code") keys.push_back(text);
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

void ExchangeTest::scriptGoods(const std::string& recordsJSON, int end, int times) const {
  service_->script(ScriptedReply{.op = "exchange_goods",
                                 .iface = "enciphered",
                                 .code = 101,
                                 .dataJSON = recordsJSON,
                                 .extraJSON = "{\"end\": " + std::to_string(end) + "}",
                                 .times = times});
}

std::string ExchangeTest::goodsJSON(int n, int first, const std::string& pictureFormat, const std::string& extra) const {
  std::string out = "[";
  for (int i = 0; i < n; ++i) {
    char picture[128];
    std::snprintf(picture, sizeof picture, pictureFormat.c_str(), first + i);
    if (i) out += ",";
    out += "{\"id\": \"" + std::to_string(first + i) + "\", \"title\": \"商品" + std::to_string(first + i) +
           "\", \"img\": \"" + service_->rootURL() + "/images/" + picture +
           "\", \"jifen\": \"100\", \"jifenbao\": \"50\", \"num\": \"5\", \"edate\": \"4102444800\"" + extra + "}";
  }
  return out + "]";
}

bool ExchangeTest::waitForRequests(const std::string& op, int count) {
  return waitFor([&] { return service_->requestCount(op) >= count; });
}

bool ExchangeTest::pullUpList(const std::shared_ptr<UIScrollView>& list, const std::string& op) {
  const int asked = service_->requestCount(op);
  auto footer = pr_footer(list);
  for (int i = 0; i < 8 && !footer->isRefreshing() && service_->requestCount(op) == asked; ++i) {
    device().dragView(list, CGPointMake(0, -700), 0.3);
    device().wait(0.1);
  }
  device().wait(0.6);  // the footer calls back half a second after it began
  if (!waitFor([&] { return service_->requestCount(op) > asked; }, 3)) return false;
  runMainLoopUntil([] { return false; }, 0.3);
  settle();
  runMainLoopUntil([&] { return !footer->isRefreshing(); }, 5);
  device().wait(0.5);
  return true;
}

std::vector<std::shared_ptr<PointsProductTableViewCell>> ExchangeTest::visibleCells(
    const std::shared_ptr<TZExchangeViewController>& store) {
  std::vector<std::shared_ptr<PointsProductTableViewCell>> out;
  for (const auto& cell : store->tableView()->visibleCells()) {
    if (auto row = std::dynamic_pointer_cast<PointsProductTableViewCell>(cell)) out.push_back(row);
  }
  return out;
}

bool ExchangeTest::hasColour(const std::shared_ptr<UIColor>& colour, double r, double g, double b) {
  CGFloat red = 0, green = 0, blue = 0, alpha = 0;
  if (!colour || !colour->getRed(&red, &green, &blue, &alpha)) return false;
  auto near = [](CGFloat x, double want) { return std::abs(x * 255 - want) < 0.5; };
  return near(red, r) && near(green, g) && near(blue, b);
}

bool ExchangeTest::alertShows(const std::string& message) const {
  return ui::AlertPresenter::shared().count() > 0 && device().viewWithText(message);
}

void ExchangeTest::answerAlert() {
  device().tapText("确定");
  device().wait(0.5);
}

}  // namespace zvt::test
