// Every page of the service the application opens (activities and their rules, the help pages,
// the coupon page, the shop pages, the reset page, the offer wall it plays for its provider),
// logged out and logged in, laid out in the application's web view on the narrowest phone, 320
// points wide: read from the page's own layout, no text leaves its element's box or the page's
// width, and no two texts overlap.
//
// With ZVT_PAGE_PICTURES set, the walk is also made at 375 and 414 points and a picture of each
// page is written (into the pictures folder) for a person to look at.

#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "app/screens/rewards/TZWebWallViewController.h"
#include "platform/uikit/Snapshot.h"
#include "tests/app/screens/rewards/web/RewardsWebTestSupport.h"

namespace zvt::test {
namespace {

using nlohmann::json;

// Run in the page: what of its text leaves its box or the page, or lies over other text, as a
// JSON array of sentences (empty when the page is laid out soundly). A text is each non-blank
// text node, in as many boxes as it has lines; it stays within the element holding it and each
// element around that one.
constexpr const char* kLayoutCheck = R"JS((function(){
  var slack = 1, width = document.documentElement.clientWidth, found = [], texts = [];
  function box(r) { return '[' + Math.round(r.left) + ',' + Math.round(r.top) + ' ' + Math.round(r.width) + 'x' + Math.round(r.height) + ']'; }
  function within(r, b) { return r.left >= b.left - slack && r.right <= b.right + slack && r.top >= b.top - slack && r.bottom <= b.bottom + slack; }
  function rectsOf(node, from, to) {
    var range = document.createRange();
    range.setStart(node, from); range.setEnd(node, to);
    return Array.prototype.filter.call(range.getClientRects(), function(r) { return r.width > 0 && r.height > 0; });
  }
  // The characters of a text whose boxes fail the test, for a sentence a person can find.
  function charactersWhere(node, fails) {
    var out = '';
    for (var i = 0; i < node.nodeValue.length; ++i) {
      if (rectsOf(node, i, i + 1).some(fails)) out += node.nodeValue[i];
    }
    return out.trim();
  }
  var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (var node = walker.nextNode(); node; node = walker.nextNode()) {
    var words = node.nodeValue.trim(), holder = node.parentElement;
    if (!words || /^(SCRIPT|STYLE)$/.test(holder.tagName)) continue;
    var style = getComputedStyle(holder);
    if (style.display == 'none' || style.visibility == 'hidden') continue;
    var rects = rectsOf(node, 0, node.nodeValue.length);
    // Its element's box, and each box that holds that one (a float dropped below its row leaves
    // the row's box, not its own).
    for (var around = holder; around && around !== document.documentElement; around = around.parentElement) {
      var own = around.getBoundingClientRect();
      var name = '<' + around.tagName.toLowerCase() + (around.id ? '#' + around.id : '') + (around.className ? '.' + around.className : '') + '>';
      var outside = function(r) { return !within(r, own); };
      if (rects.some(outside)) {
        found.push('"' + charactersWhere(node, outside) + '" of "' + words + '" leaves ' + (around === holder ? 'its ' : 'the ') + name + ' ' + box(own));
        break;
      }
    }
    if (rects.some(function(r) { return r.left < -slack || r.right > width + slack; }))
      found.push('"' + words + '" leaves the page, ' + width + ' wide');
    rects.forEach(function(r) { texts.push({node: node, rect: r, words: words}); });
  }
  for (var i = 0; i < texts.length; ++i) {
    for (var j = i + 1; j < texts.length; ++j) {
      var a = texts[i], b = texts[j];
      if (a.node === b.node) continue;
      var across = Math.min(a.rect.right, b.rect.right) - Math.max(a.rect.left, b.rect.left);
      var down = Math.min(a.rect.bottom, b.rect.bottom) - Math.max(a.rect.top, b.rect.top);
      if (across > slack && down > slack) found.push('"' + a.words + '" ' + box(a.rect) + ' lies over "' + b.words + '" ' + box(b.rect));
    }
  }
  if (document.documentElement.scrollWidth > width + slack)
    found.push('the page is ' + document.documentElement.scrollWidth + ' wide in a view ' + width + ' wide');
  return JSON.stringify({texts: texts.length, faults: found});
})())JS";

class ServicePagesLayoutTest : public RewardsWebTest {
 protected:
  // The pages, by the address the application opens each at; `november` pins the service's
  // clock inside the Double Eleven days, whose activity page then offers what it offers only then.
  struct Page {
    std::string target;
    bool november = false;
  };

  std::vector<Page> pages() const {
    // The activities the home configuration links to, the check-in's advert (8), the earn-money
    // grid's (21, 22) and an ended one; each with its rules.
    std::set<int> activities = {1, 2, 3, 4, 8, 9, 21, 22, 999};
    const json config = json::parse(service_->request("GET", "/api/client.php?m=get_ios_config").body, nullptr, false);
    const std::regex activity(".*/wap/activity\\.php\\?id=([0-9]+)");
    for (const auto& [list, items] : config.items()) {
      if (!items.is_array()) continue;
      for (const json& item : items) {
        std::smatch m;
        const std::string link = item.is_object() ? item.value("link", "") : "";
        if (std::regex_match(link, m, activity)) activities.insert(std::stoi(m[1]));
      }
    }
    std::vector<Page> out;
    for (int id : activities) {
      out.push_back({"/wap/activity.php?id=" + std::to_string(id)});
      out.push_back({"/shop/detail.html?activity=" + std::to_string(id)});
    }
    out.push_back({"/wap/activity.php?id=1", true});
    for (const char* page : {"/wap/help-1.php", "/wap/help-2.php", "/wap/help-3.php", "/wap/help-4.php", "/wap/help-ios-ads.html",
                             "/wap/reset.php", "/wap/coupon.php"})
      out.push_back({page});
    // A good of the own search, as the product page of a click link shows it, and one gone.
    const json goods = json::parse(service_->request("GET", "/api/search_tbk_v3.php?keyword=" + percentEncode("连衣裙")).body, nullptr, false);
    const std::string iid = goods.is_array() && !goods.empty() ? goods[0].value("num_iid", "") : "";
    EXPECT_FALSE(iid.empty());
    for (const std::string& page :
         {"/item.php?iid=" + iid + "&id=0&uid=10001", std::string("/item.php?iid=1&id=0&uid=0"), "/shop/detail.html?iid=" + iid,
          std::string("/shop/mall.php?id=60&uid=10001"), std::string("/shop/mall.php?id=60&uid=0"), std::string("/shop/cart.html"),
          "/search.html?pid=mm_10001_0_0&q=" + percentEncode("连衣裙") + "&unid=10001",
          "/search.html?pid=mm_10001_0_0&q=" + percentEncode("没有这种宝贝") + "&unid=0"})
      out.push_back({page});
    return out;
  }

  // Loads each page in the view and answers what the check found on it, page by page; with a
  // name, writes a picture of the view showing each page.
  std::vector<std::string> walk(const std::shared_ptr<UIWebView>& web, const std::string& who, const std::string& pictures,
                                const std::vector<Page>& more = {}) {
    std::vector<std::string> faults;
    std::vector<Page> all = pages();
    all.insert(all.end(), more.begin(), more.end());
    for (const Page& page : all) {
      SCOPED_TRACE(page.target);
      // 6 November 2026, noon UTC: within the Double Eleven days in every zone; else the clock.
      service_->configure(page.november ? R"({"fixed_time": "1793966400"})" : R"({"fixed_time": null})");
      web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(NSString::stringWithUTF8String(service_->rootURL() + page.target))));
      EXPECT_TRUE(waitFor([&] { return !web->isLoading() && js(web, "location.pathname + location.search") == page.target; }, 20));
      const json seen = json::parse(js(web, kLayoutCheck), nullptr, false);
      if (!seen.is_object()) {
        faults.push_back(page.target + " " + who + ": the check did not run");
        continue;
      }
      EXPECT_GT(seen["texts"].get<int>(), 0) << "the page shows text";
      if (page.target == "/wap/coupon.php") {
        EXPECT_EQ(js(web, "document.getElementById('owner') ? 'in' : 'out'"), who == "logged-in" ? "in" : "out") << "the walk's session";
      }
      for (const json& fault : seen["faults"])
        faults.push_back(page.target + (page.november ? " (in November)" : "") + " " + who + ": " + fault.get<std::string>());
      if (!pictures.empty()) {
        waitForPaint(web);
        std::shared_ptr<NSError> error;
        const std::string slug = std::regex_replace(page.target + (page.november ? "-november" : ""), std::regex("[^A-Za-z0-9-]+"), "_");
        EXPECT_TRUE(ui::writeSnapshot(web, picturesFolder() + "/" + pictures + "-" + who + slug + ".png", &error));
      }
    }
    service_->configure(R"({"fixed_time": null})");
    return faults;
  }
};

TEST_F(ServicePagesLayoutTest, NoTextLeavesItsBoxOrCoversAnotherAt320Points) {
  ui::Device::useScreen(ui::kScreen320x568);
  launch();
  // The width of the narrowest phone; with pictures asked for, those of the others too.
  std::vector<CGFloat> widths = {320};
  const bool pictures = std::getenv("ZVT_PAGE_PICTURES") != nullptr;
  if (pictures) widths = {320, 375, 414};
  std::vector<std::string> faults;
  for (const char* who : {"logged-out", "logged-in"}) {
    // Logged in, the offer wall too, which the service plays for its provider: its address
    // carries a token of the user.
    std::vector<Page> more;
    if (std::string(who) == "logged-in") {
      ASSERT_TRUE(logInDemoUser());  // the site cookie goes to the web views
      auto wall = TZWebWallViewController::make()->webWallUrl();
      ASSERT_TRUE(wall);
      more.push_back({wall->absoluteString()->utf8().substr(service_->rootURL().size())});
    }
    for (CGFloat width : widths) {
      auto web = UIWebView::initWithFrame(CGRectMake(0, 20, width, 548));
      delegate_->window()->addSubview(web);
      const std::string name = pictures ? "page-" + std::to_string(static_cast<int>(width)) : "";
      for (auto& fault : walk(web, who, name, more)) faults.push_back(fault);
      web->removeFromSuperview();
    }
  }
  std::string all;
  for (const auto& fault : faults) all += "\n  " + fault;
  EXPECT_TRUE(faults.empty()) << faults.size() << " faults:" << all;
}

}  // namespace
}  // namespace zvt::test
