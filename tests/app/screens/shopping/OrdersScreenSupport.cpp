#include "tests/app/screens/shopping/OrdersScreenSupport.h"

#include <algorithm>
#include <cmath>

#include "app/api/ZVTAPIClient.h"
#include "app/core/UIViewController+TZSkip.h"
#include "app/models/TZHeaderInfoModel.h"
#include "app/screens/shopping/ShoppingScreens.h"
#include "tests/support/ui/ScreenPictures.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace zvt::test {

void OrdersScreenTest::SetUp() {
  ShellTest::SetUp();
  registerShoppingScreens();
  // The home tab's root stays the shell's stand-in: the real home screen would load its
  // products and lay its first-run guide over the shell.
  registerStandInScreen({"HomeViewController", "首页", {}});
  // The product page shows a web page (tested under a display of its own): a stand-in keeps
  // what the orders screen sets on it.
  registerStandInScreen({"WebDetailViewController", "商品详情", {"goodsId", "taoBao_goodsId", "isProductPush"}});
}

void OrdersScreenTest::TearDown() {
  ShellTest::TearDown();
  ui::Device::useScreen(ui::kScreen375x667);
}

void OrdersScreenTest::loginAs(const char* user, const char* password) {
  int calls = 0;
  bool ok = false;
  ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(user)},
                                              {"password"_ns, NSString::stringWithUTF8String(password)}}),
                          [&](bool success, const std::shared_ptr<NSString>&) {
                            ok = success;
                            ++calls;
                          });
  ASSERT_TRUE(waitFor([&] { return calls > 0; }));
  ASSERT_TRUE(ok) << user;
  ASSERT_TRUE(delegate_->isLogin());
}

void OrdersScreenTest::openFromHomeItem() {
  auto item = std::make_shared<TZHeaderInfoModel>();
  item->local = "1"_ns;
  item->link = "8"_ns;
  item->name = "回扣订单"_ns;
  const int before = requests("order");
  clickAction(topScreen(), item);
  device().wait(0.5);
  ASSERT_TRUE(orders()) << "top: " << topClass();
  waitForRequests("order", before + 1);
}

void OrdersScreenTest::openAs(const char* user, const char* password, const ui::ScreenModel& screen) {
  screen_ = screen;
  ui::Device::useScreen(screen);
  launch();
  ASSERT_NO_FATAL_FAILURE(loginAs(user, password));
  service_->clearLog();
  ASSERT_NO_FATAL_FAILURE(openFromHomeItem());
}

std::shared_ptr<TZOrderViewController> OrdersScreenTest::orders() const {
  return std::dynamic_pointer_cast<TZOrderViewController>(topScreen());
}

std::shared_ptr<TZTaobaoOrderCell> OrdersScreenTest::taobaoCell(NSInteger row) const {
  return std::dynamic_pointer_cast<TZTaobaoOrderCell>(table()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)));
}

std::shared_ptr<TZStoreOrderCell> OrdersScreenTest::storeCell(NSInteger row) const {
  return std::dynamic_pointer_cast<TZStoreOrderCell>(table()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)));
}

CGFloat OrdersScreenTest::rowHeight(NSInteger row) const {
  return table()->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)).size.height;
}

std::shared_ptr<TZTaobaoOrderCell> OrdersScreenTest::showRow(NSInteger row) {
  auto list = table();
  auto path = NSIndexPath::indexPathForRow(row, 0);
  for (int i = 0; i < 30; ++i) {
    // The whole row (its card and an open picker) in the visible part of the list.
    const CGRect rect = list->rectForRowAtIndexPath(path);
    const CGFloat shownTop = list->contentOffset().y + list->contentInset().top;
    const CGFloat shownBottom = list->contentOffset().y + list->bounds().size.height;
    auto cell = taobaoCell(row);
    if (cell && rect.origin.y >= shownTop - 0.5 && CGRectGetMaxY(rect) <= shownBottom + 0.5) return cell;
    // Move the row's top to the top of the visible part, a screenful at most at a time.
    const CGFloat delta = std::clamp(rect.origin.y - shownTop, -300.0, 300.0);
    if (std::abs(delta) < 0.5) return cell;  // taller than the list, or at its end
    device().dragView(list, CGPointMake(0, -delta), 0.4);
    device().waitUntilStill(list);
  }
  return nullptr;
}

void OrdersScreenTest::waitForRequests(const char* op, int count) {
  // What sends the request may itself wait for an animation on the virtual clock: let a little
  // virtual time pass between short real-time waits (never near a request's time-out).
  for (int step = 0; step < 20 && requests(op) < count; ++step) {
    if (waitFor([&] { return requests(op) >= count; }, 0.1)) break;
    device().wait(0.1);
  }
  ASSERT_TRUE(waitFor([&] { return requests(op) >= count; })) << op << " " << requests(op) << " of " << count;
  settleReplies();
}

void OrdersScreenTest::settleReplies() {
  // The reply is read on the main run loop in real time; the controls then end their
  // animations on the virtual clock.
  auto screen = orders();
  waitFor(
      [&] {
        if (!screen) return true;
        auto header = pr_header(screen->tableView());
        auto footer = pr_footer(screen->tableView());
        return !screen->isLoading() && !(header && header->state() == PRRefreshStateRefreshing) &&
               !(footer && footer->state() == PRRefreshStateRefreshing);
      },
      10);
  device().wait(0.6);
}

bool OrdersScreenTest::pullUp() {
  const int before = requests("order");
  auto list = table();
  auto footer = pr_footer(list);
  // Until the footer has begun (the reply may even be back by the time the list rests).
  auto begun = [&] {
    return footer->state() == PRRefreshStateRefreshing || orders()->isLoading() || requests("order") > before;
  };
  dragToEndUntil(list, begun);
  // The footer calls back half a second after it began.
  device().wait(0.6);
  if (!waitFor([&] { return requests("order") > before; }, 3)) return false;
  settleReplies();
  return true;
}

void OrdersScreenTest::pullDownToRefresh() {
  const int before = requests("order");
  auto list = table();
  for (int i = 0; i < 30 && list->contentOffset().y + list->contentInset().top > 1; ++i) {
    device().dragView(list, CGPointMake(0, 400), 0.3);
    device().waitUntilStill(list);
  }
  device().pullDown(list, 150);
  waitForRequests("order", before + 1);
}

void OrdersScreenTest::switchTo(const char* segment) {
  const int before = requests("order");
  ASSERT_TRUE(device().tapText(segment)) << segment;
  device().wait(0.5);
  // A list never loaded asks for its first page now.
  waitFor([&] { return requests("order") > before; }, 1);
  settleReplies();
}

nlohmann::json OrdersScreenTest::requestLog(const char* op, const char* iface) const {
  return nlohmann::json::parse(service_->requestLog(op, iface));
}

nlohmann::json OrdersScreenTest::lastRequest(const char* op) const {
  auto log = requestLog(op);
  return log.empty() ? nlohmann::json() : log.back();
}

std::string OrdersScreenTest::rgbOf(const std::shared_ptr<UIColor>& color) {
  if (!color) return "";
  CGFloat r = 0, g = 0, b = 0, a = 0;
  if (!color->getRed(&r, &g, &b, &a)) return "?";
  return std::to_string(std::lround(r * 255)) + "," + std::to_string(std::lround(g * 255)) + "," +
         std::to_string(std::lround(b * 255));
}

std::string OrdersScreenTest::runAt(const std::shared_ptr<NSAttributedString>& text, NSUInteger from) {
  if (!text || from >= text->length()) return "(none)";
  NSRange range{0, 0};
  auto attributes = text->attributesAtIndex(from, &range);
  auto font = attributes ? std::dynamic_pointer_cast<UIFont>(attributes->objectForKey(NSFontAttributeName)) : nullptr;
  auto color =
      attributes ? std::dynamic_pointer_cast<UIColor>(attributes->objectForKey(NSForegroundColorAttributeName)) : nullptr;
  std::string out = font ? std::to_string(std::lround(font->pointSize())) + (font->isBold() ? "b" : "") : "-";
  return out + " " + (color ? rgbOf(color) : "-") + " " + std::to_string(range.location) + "+" +
         std::to_string(range.length);
}

std::string OrdersScreenTest::picture(const std::string& name) const {
  return writeScreenPicture(std::string("orders-") + screen_.name + "-" + name);
}

}  // namespace zvt::test
