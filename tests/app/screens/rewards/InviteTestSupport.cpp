#include "tests/app/screens/rewards/InviteTestSupport.h"

#include "analytics/StatAgent.h"
#include "foundation/json/JSONDecoder.h"

namespace zvt::test {

std::vector<std::shared_ptr<NSDictionary>> InviteTest::entriesOf(const std::string& op) const {
  std::vector<std::shared_ptr<NSDictionary>> out;
  auto entries = as<NSArray>(objectFromJSONString(*NSString::stringWithUTF8String(service_->requestLog(op))));
  if (!entries) return out;
  for (const id& entry : *entries) {
    if (auto record = as<NSDictionary>(entry)) out.push_back(record);
  }
  return out;
}

void InviteTest::pullDownList(const std::shared_ptr<UITableView>& table, const std::string& op) {
  const int asked = service_->requestCount(op);
  device().waitUntilStill(table);
  // Back to the top of the list first, as a person pulls down from there.
  for (int i = 0; i < 10 && table->contentOffset().y > -table->contentInset().top + 1; ++i) {
    device().dragView(table, CGPointMake(0, 600), 0.3);
    device().waitUntilStill(table);
  }
  device().pullDown(table, 200);
  device().wait(0.5);
  waitForRequests(op, asked + 1);
  settle();
  runMainLoopUntil([&] { return !pr_header(table)->isRefreshing(); }, 5);
  device().wait(0.5);
}

int InviteTest::pageViewsOf(const std::string& page) {
  zvt::stat::flush();
  int pages = 0;
  for (const auto& record : zvt::stat::recordedEntries()) {
    auto name = as<NSString>(record->objectForKey("page"_ns));
    if (name && name->utf8() == page) ++pages;
  }
  return pages;
}

}  // namespace zvt::test
