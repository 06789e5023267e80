#pragma once
// The web screens in the launched shell: the shell's fixture with the shopping screens
// registered and a private X display, screens opened on the home tab's stack as their openers
// open them, and the page of a screen's web view read through its scripts.

#include <string>

#include "app/screens/account/AccountScreens.h"
#include "app/screens/shopping/ShoppingScreens.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/webkit/UIWebView.h"
#include "tests/app/core/ShellTestSupport.h"
#include "tests/support/ui/XvfbDisplay.h"

namespace zvt::test {

class WebScreenTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    ZVT_REQUIRE_DISPLAY();
    registerShoppingScreens();
    // The home tab's root stays the shell's stand-in: the real home screen would load its
    // products and lay its first-run guide over the shell.
    registerStandInScreen({"HomeViewController", "首页", {}});
    // The login screen the pages present.
    registerAccountScreens();
    // The App Store's stand-in is the service under the name "localhost", on the test's port.
    auto values = Configuration::values();
    values.appStoreWebHost = "localhost:" + std::to_string(service_->port());
    Configuration::setValues(values);
  }

  std::shared_ptr<UINavigationController> homeStack() const {
    return std::dynamic_pointer_cast<UINavigationController>(delegate_->tabBarController()->viewControllers().front());
  }

  // What the shell presents (the login screen's stack), or nil.
  std::shared_ptr<UIViewController> presented() const { return delegate_->tabBarController()->presentedViewController(); }

  // A screen of the class with its properties set by key-value coding, pushed on the home
  // tab's stack (animated), as the openers do.
  template <class S>
  std::shared_ptr<S> open(const char* className, const std::vector<std::pair<const char*, id>>& properties) {
    auto screen = makeScreen(className);
    for (const auto& [key, value] : properties) screen->setValueForKey(value, NSString::stringWithUTF8String(key));
    homeStack()->pushViewController(screen, true);
    device().wait(1);
    return std::dynamic_pointer_cast<S>(screen);
  }

  static std::string js(const std::shared_ptr<UIWebView>& web, const std::string& script) {
    auto answer = web->stringByEvaluatingJavaScriptFromString(NSString::stringWithUTF8String(script));
    return answer ? answer->utf8() : "";
  }
  static std::string text(const std::shared_ptr<UIWebView>& web, const std::string& id) {
    return js(web, "(function(){var e=document.getElementById('" + id + "');return e?e.textContent:'';})()");
  }
  // A mark the page carries for tests on an element ("data-<key>"), e.g. the user a shop page
  // credits; "" when there is none.
  static std::string mark(const std::shared_ptr<UIWebView>& web, const std::string& id, const std::string& key) {
    return js(web, "(function(){var e=document.getElementById('" + id + "');return e&&e.dataset['" + key +
                       "']!==undefined?e.dataset['" + key + "']:'';})()");
  }
  // Waits (in real time) until the view shows a page at the path and has stopped loading.
  static bool waitForPage(const std::shared_ptr<UIWebView>& web, const std::string& path, double seconds = 20) {
    return waitFor([&] { return !web->isLoading() && js(web, "location.pathname") == path; }, seconds);
  }
  // Waits until the page has painted, then lets the display pass put it on the screen.
  static void waitForPaint(const std::shared_ptr<UIWebView>& web) {
    const unsigned long before = web->paintCount();
    waitFor([&] { return web->paintCount() > before; }, 5);
    device().wait(0.5);
  }
  // The centre of an element of the page, in window coordinates.
  static CGPoint centreOf(const std::shared_ptr<UIWebView>& web, const std::string& id) {
    const std::string box = "(function(){var b=document.getElementById('" + id + "').getBoundingClientRect();";
    const double x = std::stod(js(web, box + "return b.left+b.width/2})()"));
    const double y = std::stod(js(web, box + "return b.top+b.height/2})()"));
    return web->convertPointToView(CGPointMake(x, y), nullptr);
  }
  // Taps an element of the page with the device.
  static void tapElement(const std::shared_ptr<UIWebView>& web, const std::string& id) { device().tap(centreOf(web, id)); }

  // Taps a bar item of the home stack's navigation bar.
  bool tapBarItem(const std::shared_ptr<UIBarButtonItem>& item) const {
    auto view = item ? homeStack()->navigationBar()->viewForItem(item) : nullptr;
    return view && device().tapView(view);
  }

  // The screen's longer side (L of the web views' heights).
  static CGFloat longerSide() {
    const CGSize size = UIScreen::mainScreen()->bounds().size;
    return std::max(size.width, size.height);
  }
};

}  // namespace zvt::test
