#include "tests/app/screens/rewards/MoneyTestSupport.h"

#include <algorithm>

#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace zvt::test {

std::shared_ptr<UIViewController> MoneyTest::push(const char* name) {
  auto screen = makeScreen(name);
  EXPECT_TRUE(screen) << name;
  if (!screen) return nullptr;
  homeStack()->pushViewController(screen, true);
  device().wait(1);
  return screen;
}

std::shared_ptr<MyAssetsViewController> MoneyTest::openMenu() {
  return std::dynamic_pointer_cast<MyAssetsViewController>(push("MyAssetsViewController"));
}

std::shared_ptr<TZAssetsViewController> MoneyTest::openList(const char* row) {
  const int before = service_->requestCount("getUserDetailed");
  EXPECT_TRUE(device().tapText(row)) << row;
  device().wait(1);
  waitForRecords(before + 1);
  return list();
}

void MoneyTest::waitForRecords(int count) {
  for (int step = 0; step < 20 && service_->requestCount("getUserDetailed") < count; ++step) {
    if (waitFor([&] { return service_->requestCount("getUserDetailed") >= count; }, 0.1)) break;
    device().wait(0.1);
  }
  EXPECT_TRUE(waitFor([&] { return service_->requestCount("getUserDetailed") >= count; }));
  auto screen = list();
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

bool MoneyTest::pullUp() {
  const int before = service_->requestCount("getUserDetailed");
  auto table = list()->tableView();
  auto footer = pr_footer(table);
  auto begun = [&] {
    return footer->state() == PRRefreshStateRefreshing || list()->isLoading() ||
           service_->requestCount("getUserDetailed") > before;
  };
  dragToEndUntil(table, begun);
  device().wait(0.6);
  if (!waitFor([&] { return service_->requestCount("getUserDetailed") > before; }, 3)) return false;
  waitForRecords(before + 1);
  return true;
}

void MoneyTest::pullDown() {
  const int before = service_->requestCount("getUserDetailed");
  auto table = list()->tableView();
  for (int i = 0; i < 40 && table->contentOffset().y + table->contentInset().top > 1; ++i) {
    device().dragView(table, CGPointMake(0, 400), 0.3);
    device().waitUntilStill(table);
  }
  device().pullDown(table, 150);
  waitForRecords(before + 1);
}

std::vector<std::string> MoneyTest::recordRequests() const {
  std::vector<std::string> out;
  for (const auto& fields : fieldsOf("getUserDetailed")) out.push_back(field(fields, "number") + "/" + field(fields, "do"));
  return out;
}

std::string MoneyTest::tipTitle() const {
  auto screen = list();
  auto tip = screen ? screen->noMessageTipView() : nullptr;
  if (!tip || !tip->superview() || tip->isHidden()) return "";
  auto label = tip->noMessageLabel();
  return label && label->attributedText() ? text(label->attributedText()->string()) : text(label ? label->text() : nullptr);
}

std::shared_ptr<TZWithdrawView> MoneyTest::openForm() {
  const int before = service_->requestCount("userInfo&do=my");
  auto screen = std::dynamic_pointer_cast<EarnMoneyViewController>(push("EarnMoneyViewController"));
  EXPECT_TRUE(screen) << topClass();
  if (!screen) return nullptr;
  waitForUserInfo(before + 1);
  return screen->withdraw();
}

void MoneyTest::waitForUserInfo(int count) {
  EXPECT_TRUE(waitFor([&] { return service_->requestCount("userInfo&do=my") >= count; }));
  // The reply is read on the main run loop, then handed to the form through the main queue.
  waitFor([] { return false; }, 0.3);
  device().wait(0.5);
  waitFor([] { return false; }, 0.1);
  device().wait(0.5);
}

bool MoneyTest::typeInto(const std::shared_ptr<UITextField>& field, const std::string& typed) {
  if (!device().tapView(field)) return false;
  device().wait(0.5);
  if (!field->isFirstResponder()) return false;
  return device().typeText(typed);
}

void MoneyTest::tapWithdraw() {
  auto form = formScreen()->withdraw();
  form->window()->endEditing(true);
  device().wait(0.5);
  device().tapView(form->withdrawButton());
  device().wait(0.5);
}

}  // namespace zvt::test
