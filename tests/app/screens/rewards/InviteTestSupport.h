#pragma once
// The invitation screens through the launched shell, logged in as the demo user against the
// local service (the exchange fixture's launch, log readers and colour check): the invite
// screen opened on the home tab, the lists pulled as a person pulls them.

#include <string>
#include <vector>

#include "app/screens/rewards/HistoryInviteViewController.h"
#include "app/screens/rewards/InviteFriendsViewController.h"
#include "app/screens/rewards/MyWardViewController.h"
#include "tests/app/screens/rewards/ExchangeTestSupport.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace zvt::test {

class InviteTest : public ExchangeTest {
 protected:
  // Pushes the invite screen on the home tab and waits for its two requests to be answered.
  std::shared_ptr<InviteFriendsViewController> openInvite() {
    const int leaderboard = service_->requestCount("get_invitePage_data");
    auto screen = std::dynamic_pointer_cast<InviteFriendsViewController>(makeScreen("InviteFriendsViewController"));
    EXPECT_TRUE(screen) << "the real invite screen is registered";
    if (!screen) return nullptr;
    homeStack()->pushViewController(screen, true);
    device().wait(1);
    EXPECT_TRUE(waitForRequests("get_invitePage_data", leaderboard + 1));
    settle();
    return screen;
  }
  static std::string textOf(const std::shared_ptr<UILabel>& label) {
    return label && label->text() ? label->text()->utf8() : "";
  }
  // The "number" of each logged request of the operation, oldest first.
  std::vector<std::string> askedPages(const std::string& op) const {
    std::vector<std::string> out;
    for (const auto& fields : fieldsOf(op)) out.push_back(field(fields, "number"));
    return out;
  }
  // The logged requests of an operation as dictionaries (fields, signature, form...).
  std::vector<std::shared_ptr<NSDictionary>> entriesOf(const std::string& op) const;
  // Pulls the list down and waits until the page request has been answered and shown.
  void pullDownList(const std::shared_ptr<UITableView>& table, const std::string& op);
  // Whether the view's background is the colour (RGB 0...255).
  static bool hasBackground(const std::shared_ptr<UIView>& view, double r, double g, double b) {
    return view && hasColour(view->backgroundColor(), r, g, b);
  }
  // The page views recorded by the analytics client under the name.
  static int pageViewsOf(const std::string& page);
};

}  // namespace zvt::test
