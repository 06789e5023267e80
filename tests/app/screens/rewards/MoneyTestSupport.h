#pragma once
// The withdrawal form and the asset records through the launched shell, logged in as the demo
// user against the local service: the screens pushed on the home tab as the personal centre
// pushes them, the lists pulled and waited for, the form's fields typed into.

#include <string>

#include "app/screens/rewards/AssetsViewControllers.h"
#include "app/screens/rewards/EarnMoneyViewController.h"
#include "tests/app/screens/rewards/ExchangeTestSupport.h"

namespace zvt::test {

class MoneyTest : public ExchangeTest {
 protected:
  // Pushes a screen made by name on the home tab and lets it appear.
  std::shared_ptr<UIViewController> push(const char* name);

  // --- the records
  // The menu, pushed.
  std::shared_ptr<MyAssetsViewController> openMenu();
  // Taps the menu's row and waits for the list's first page.
  std::shared_ptr<TZAssetsViewController> openList(const char* row);
  std::shared_ptr<TZAssetsViewController> list() const { return std::dynamic_pointer_cast<TZAssetsViewController>(top()); }
  NSInteger rows() const { return list()->tableView()->numberOfRowsInSection(0); }
  // Waits (real time) for `count` record requests and for the list to have handled the replies.
  void waitForRecords(int count);
  // Pulls the list up until its footer loads and waits for that reply; false when none went.
  bool pullUp();
  // Pulls the list down past its header and waits for the reply.
  void pullDown();
  // The "number" and "do" of the record requests, oldest first ("1/in", ...).
  std::vector<std::string> recordRequests() const;
  // The tip view's title, "" when none is shown.
  std::string tipTitle() const;

  // --- the form
  // Pushes the withdrawal screen and waits for its first user record.
  std::shared_ptr<TZWithdrawView> openForm();
  std::shared_ptr<EarnMoneyViewController> formScreen() const {
    return std::dynamic_pointer_cast<EarnMoneyViewController>(top());
  }
  // Waits (real time) until `count` user-record requests have been answered and shown.
  void waitForUserInfo(int count);
  // Taps a field and types into it (false when it took no keyboard).
  bool typeInto(const std::shared_ptr<UITextField>& field, const std::string& text);
  // Closes the keyboard and taps the withdraw button.
  void tapWithdraw();

  static std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : ""; }
};

}  // namespace zvt::test
