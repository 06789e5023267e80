#pragma once
// The search screens' tests: the launched application (the shell's fixture) with the shopping
// screens registered, a private display for the pages the searches open, and readers of the
// service's request log and of the analytics records.

#include <map>
#include <string>
#include <vector>

#include "analytics/StatAgent.h"
#include "app/screens/shopping/ShoppingScreens.h"
#include "app/ui/ScreenRegistry.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/UIScreen.h"
#include "tests/app/core/ShellTestSupport.h"
#include "tests/support/ui/XvfbDisplay.h"

namespace zvt::test {

using Fields = std::map<std::string, std::string>;

class SearchScreenTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    screen_ = UIScreen::mainScreen()->bounds().size;
    scale_ = UIScreen::mainScreen()->scale();
    // The pages a search opens are web pages: they need a display once they are real.
    privateDisplay();
    // Every shopping screen as built (other tests of this program register stand-ins).
    registerShoppingScreens();
  }

  void TearDown() override {
    ShellTest::TearDown();
    ui::Device::useScreen(screen_, scale_);
  }

  // The decoded fields of every logged request of the operation (or path), oldest first; values
  // as text.
  std::vector<Fields> logged(const std::string& op) const {
    std::vector<Fields> out;
    auto log = as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(op))));
    if (!log) return out;
    for (NSUInteger i = 0; i < log->count(); ++i) {
      auto entry = as<NSDictionary>(log->objectAtIndex(i));
      auto fields = entry ? as<NSDictionary>(entry->objectForKey("fields"_ns)) : nullptr;
      Fields row;
      auto keys = fields ? fields->allKeys() : NSArray::array();
      for (const id& key : *keys)
          row[as<NSString>(key)->utf8()] = NSString::stringWithFormat("%@", fields->objectForKey(key))->utf8();
      out.push_back(row);
    }
    return out;
  }
  // The last request's fields (none when there was none).
  Fields last(const std::string& op) const {
    auto all = logged(op);
    return all.empty() ? Fields{} : all.back();
  }
  size_t count(const std::string& op) const { return static_cast<size_t>(service_->requestCount(op)); }

  // The analytics events logged so far, in order, and the page views ended.
  static std::vector<std::string> records(const char* kind, const char* key) {
    stat::flush();
    std::vector<std::string> out;
    for (auto& record : stat::recordedEntries()) {
      auto k = as<NSString>(record->objectForKey("kind"_ns));
      if (k && k->utf8() == kind) out.push_back(NSString::stringWithFormat("%@", record->objectForKey(NSString::stringWithUTF8String(key)))->utf8());
    }
    return out;
  }
  static size_t eventCount(const std::string& id) {
    size_t n = 0;
    for (auto& e : records("event", "id")) n += e == id;
    return n;
  }
  static size_t pageCount(const std::string& page) {
    size_t n = 0;
    for (auto& e : records("page", "page")) n += e == page;
    return n;
  }

  // Launches the application and opens the malls tab, whose root stays out of the way (the
  // home screen lists products and shows its first-run guide; the mall screen loads its
  // categories and shows its own guide, so a stand-in takes its place here).
  void launchOnQuietTab() {
    registerStandInScreen({"ThirdProductStoreViewController", "商城回扣", {"isPush"}});
    NSUserDefaults::standardUserDefaults()->setBool(true, "isBeforeEnter"_ns);
    launch();
    // The home screen reads the configuration when it loads: that request is done before a
    // test counts or scripts its own.
    waitFor([&] { return count("get_ios_config") >= 1; }, 5);
    runMainLoopUntil([] { return false; }, 0.2);
    delegate_->tabBarController()->setSelectedWithIndex(3);
    device().wait(0.5);
  }

  // The top screen's navigation stack.
  std::shared_ptr<UINavigationController> navigation() const { return topScreen()->navigationController(); }
  // Pushes a screen made by class name with its properties, as the screens that open it do.
  std::shared_ptr<UIViewController> pushScreen(const std::string& name, const std::vector<std::pair<const char*, id>>& values) {
    auto screen = makeScreen(name);
    for (auto& [key, value] : values) screen->setValueForKey(value, NSString::stringWithUTF8String(key));
    navigation()->pushViewController(screen, true);
    device().wait(1);
    return screen;
  }
  // Whether the pushed page is a placeholder (its real class not built yet).
  static bool isPlaceholder(const std::shared_ptr<UIViewController>& screen) {
    return std::dynamic_pointer_cast<PlaceholderScreen>(screen) != nullptr;
  }
  std::string value(const std::shared_ptr<UIViewController>& screen, const char* key) const {
    id v = screen->valueForKey(NSString::stringWithUTF8String(key));
    return v ? NSString::stringWithFormat("%@", v)->utf8() : "";
  }
  // Waits (real time) for the service's replies and lets the screen settle.
  bool settleUntil(const std::function<bool()>& done, double seconds = 10) {
    bool ok = waitFor(done, seconds);
    device().wait(0.5);
    return ok;
  }
  void logIn() {
    auto record = NSMutableDictionary::dictionary();
    record->setObject(NSString::stringWithUTF8String(kServiceTestUserId), "id"_ns);
    delegate_->setIsLogin(true);
    delegate_->setUserInfoDictionary(record);
  }
  void picture(const std::string& name) { writeScreenPicture(name); }

 private:
  CGSize screen_{};
  CGFloat scale_ = 2;
};

}  // namespace zvt::test
