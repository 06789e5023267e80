#pragma once
// The rebate orders screen as a person reaches it: the application launched against the local
// service, a user logged in through the client, the screen opened by the home item code 8; and
// what a person does on it (pull, switch lists, bring a row into view, tap its coupon button)
// with the requests the service saw.

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "app/screens/shopping/TZOrderViewController.h"
#include "platform/uikit/Device.h"
#include "tests/app/core/ShellTestSupport.h"

namespace zvt::test {

class OrdersScreenTest : public ShellTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Launches on the screen model, logs in through the client and opens the orders screen from
  // the home tab's item code 8; waits for the first page.
  void openAs(const char* user, const char* password, const ui::ScreenModel& screen = ui::kScreen320x568);
  void loginAs(const char* user, const char* password);
  // The home item code 8 from the home tab's top screen.
  void openFromHomeItem();

  std::shared_ptr<TZOrderViewController> orders() const;
  std::shared_ptr<UITableView> table() const { return orders()->tableView(); }
  NSInteger rows() const { return table()->numberOfRowsInSection(0); }
  std::shared_ptr<TZTaobaoOrderCell> taobaoCell(NSInteger row) const;
  std::shared_ptr<TZStoreOrderCell> storeCell(NSInteger row) const;
  CGFloat rowHeight(NSInteger row) const;
  // Drags the list until the row's card is wholly on screen; its cell.
  std::shared_ptr<TZTaobaoOrderCell> showRow(NSInteger row);

  // Pulls the list up until its footer loads and waits for that reply; false when no request went.
  bool pullUp();
  // Pulls the list down past its header and waits for the reply.
  void pullDownToRefresh();
  // Taps a segment of the bar's control and waits for what it asked for.
  void switchTo(const char* segment);
  // Waits (real time) until the service saw `count` requests of the operation and the screen
  // has handled what came back.
  void waitForRequests(const char* op, int count);
  void settleReplies();

  int requests(const char* op) const { return service_->requestCount(op); }
  // The decoded requests of an operation, oldest first.
  nlohmann::json requestLog(const char* op, const char* iface = "") const;
  nlohmann::json lastRequest(const char* op) const;

  static std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : ""; }
  // "R,G,B" of a colour (0...255), "" for nil.
  static std::string rgbOf(const std::shared_ptr<UIColor>& color);
  // Characters from `from` of the attributed text coloured "R,G,B" and set in the font: a
  // description "<font points><b if bold> <R,G,B> <location>+<length>" of the run there.
  static std::string runAt(const std::shared_ptr<NSAttributedString>& text, NSUInteger from);
  std::string picture(const std::string& name) const;

  ui::ScreenModel screen_ = ui::kScreen320x568;
};

}  // namespace zvt::test
