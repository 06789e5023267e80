// The personal centre under "我的" through the device, against the local service: the logged-out
// header and the login gate of every entry, the demo user's header after a login, the header's
// reading of the records the service sends, the stretching header and the bar's colour, the
// header that scrolls under the bars and stays there through a logout.

#include <cmath>

#include "app/api/ZVTAPIClient.h"
#include "app/screens/account/UserInfoViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/ui/UIKitCategories.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/uikit/UIApplication.h"
#include "app/ui/UIViewController+NavItem.h"
#include "ui/images/WIImageCache.h"
#include "tests/app/screens/account/AccountTestSupport.h"

namespace {

using zvt::test::AccountScreenTest;

class PersonalCentreTest : public AccountScreenTest {
 protected:
  // Refreshes the header as a "login" post does and waits (in real time) until the header shows
  // what the reply brings.
  bool refresh(const std::function<bool()>& arrived) {
    NSNotificationCenter::defaultCenter()->postNotificationName("login"_ns, nullptr);
    bool ok = waitFor(arrived);
    device().wait(0.5);
    return ok;
  }
  static std::string textOf(const std::shared_ptr<UILabel>& label) {
    return label && label->text() ? label->text()->utf8() : "";
  }
  static bool shown(const std::shared_ptr<UIView>& view) { return view && zvt::ui::Device::isVisible(view); }

  // The alpha (0-255) of the bar's background image.
  static int barAlpha(const std::shared_ptr<UINavigationController>& navigation) {
    auto image = navigation->navigationBar()->backgroundImageForBarMetrics(UIBarMetricsDefault);
    if (!image) return -1;
    auto context = CGBitmapContextCreate(nullptr, 1, 1, 8, 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
    CGContextDrawImage(context, CGRectMake(0, 0, 1, 1), image->CGImage());
    return static_cast<int>(static_cast<const uint8_t*>(CGBitmapContextGetData(context))[3]);
  }
};

using zvt::ui::Device;

TEST_F(PersonalCentreTest, LoggedOutTheHeaderOffersLoginAndEveryGatedEntryOpensTheLoginScreen) {
  launch();
  auto centre = showCentre();
  ASSERT_TRUE(centre) << topClass();
  auto header = centre->headerView();
  EXPECT_TRUE(shown(header->loginButton()));
  EXPECT_TRUE(shown(header->registerButton()));
  EXPECT_FALSE(shown(header->userNameLabel()));
  EXPECT_FALSE(shown(header->shoppingCarButton()));
  EXPECT_FALSE(shown(header->couponBtn()));
  EXPECT_FALSE(shown(header->infoBGView()));
  EXPECT_EQ(service_->requestCount("userInfo&do=my"), 0) << "nothing is asked for a logged-out user";
  zvt::test::writeScreenPicture("centre-logged-out");

  struct Entry {
    const char* what;
    std::function<void()> tap;
    const char* opens;  // nullptr: the login screen, presented
    bool presented;
  };
  auto table = centre->tableView();
  // A row by its title, the list first dragged up so that no row lies under the tab bar.
  auto row = [&](NSInteger section, NSInteger item) {
    return [&, section, item] {
      device().dragView(table, CGPointMake(0, -300), 0.4);
      device().waitUntilStill(table);
      ASSERT_TRUE(device().tapText(centre->sectionArray()[static_cast<size_t>(section)][static_cast<size_t>(item)].title));
    };
  };
  const CGFloat width = centre->view()->bounds().size.width;
  std::vector<Entry> entries = {
      {"我要提现", row(0, 0), nullptr, true},
      {"我要兑换", row(0, 1), nullptr, true},
      {"邀请好友", row(0, 2), nullptr, true},
      {"回扣订单", row(1, 0), nullptr, true},
      {"资产明细", row(1, 1), nullptr, true},
      {"站内信", row(1, 2), nullptr, true},
      {"设置", row(2, 1), nullptr, true},
      {"check-in", [&] { device().tap(CGPointMake(width - 22, 42)); }, nullptr, true},
      {"avatar", [&] { device().tapView(header->userIconImageView()); }, nullptr, true},
      {"帮助中心", row(2, 0), "HelpViewController", false},
      {"我要赚钱", row(0, 3), "TZMakeMoneyViewController", false},
      {"service", [&] { device().tap(CGPointMake(22, 42)); }, "TZServerQQViewController", false},
      {"register", [&] { device().tapView(header->registerButton()); }, "TZRegisterViewController", true},
      {"login", [&] { device().tapView(header->loginButton()); }, nullptr, true},
  };
  for (const Entry& e : entries) {
    SCOPED_TRACE(e.what);
    table->setContentOffset(CGPointMake(0, -0.645 * width + 1));
    device().wait(0.5);
    e.tap();
    device().wait(1);
    if (e.presented) {
      auto stack = presentedStack();
      ASSERT_TRUE(stack);
      ASSERT_EQ(stack->viewControllers().size(), 1u) << "at the root of a new navigation controller";
      EXPECT_EQ(stack->viewControllers().front()->className(), e.opens ? e.opens : "TZLoginViewController");
      if (!e.opens) {
        device().tap(CGPointMake(20, 42));  // "grayReturn"
      } else {
        stack->dismissViewControllerAnimated(false);
      }
      device().wait(1);
      EXPECT_FALSE(presentedStack()) << "dismissed";
      EXPECT_EQ(topScreen(), centre);
    } else {
      EXPECT_FALSE(presentedStack());
      EXPECT_EQ(topClass(), e.opens);
      topScreen()->navigationController()->popViewControllerAnimated(false);
      device().wait(1);
    }
  }
  EXPECT_EQ(service_->requestCount("userInfo&do=my"), 0);
}

TEST_F(PersonalCentreTest, TheDemoUsersLoginFromTheHeaderShowsNameBalancesAndTheCoupon) {
  auto delegate = launch();
  auto centre = showCentre();
  ASSERT_TRUE(centre);
  ASSERT_TRUE(device().tapView(centre->headerView()->loginButton()));
  device().wait(1);
  ASSERT_TRUE(presentedLogin());
  ASSERT_TRUE(typeInto(presentedLogin()->loginView()->userTextField(), zvt::test::kServiceTestUserName));
  ASSERT_TRUE(typeInto(presentedLogin()->loginView()->passwordTextField(), zvt::test::kServiceTestUserPassword));
  ASSERT_TRUE(device().tapText("登 录"));
  ASSERT_TRUE(waitFor([&] { return delegate->isLogin(); }));
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("userInfo&do=my") == 1; }));
  auto header = centre->headerView();
  ASSERT_TRUE(waitFor([&] { return textOf(header->userNameLabel()) == "zvttest"; }));
  device().wait(1);
  EXPECT_FALSE(presentedStack());
  EXPECT_EQ(at(logOf("userInfo&do=my")->objectAtIndex(0), "fields.id"), zvt::test::kServiceTestUserId);

  EXPECT_TRUE(shown(header->userNameLabel()));
  EXPECT_FALSE(shown(header->loginButton()));
  EXPECT_EQ(textOf(header->userMoneyLabel()), "88.50\n余额");
  EXPECT_EQ(textOf(header->userJiFenBaoLabel()), "1200\n集分宝");
  EXPECT_EQ(textOf(header->userVelmoLabel()), "5000\nVelmo");
  auto money = header->userMoneyLabel()->attributedText();
  NSRange valueRange{};
  auto attributes = money->attributesAtIndex(0, &valueRange);
  auto colour = std::dynamic_pointer_cast<UIColor>(attributes->objectForKey(NSForegroundColorAttributeName));
  ASSERT_TRUE(colour);
  EXPECT_TRUE(colour->isEqual(UIColor::colorWithRed(1.0, 145 / 255.0, 56 / 255.0, 1)));
  EXPECT_EQ(valueRange.length, 5u) << "the value only";
  auto font = std::dynamic_pointer_cast<UIFont>(attributes->objectForKey(NSFontAttributeName));
  ASSERT_TRUE(font);
  EXPECT_EQ(font->pointSize(), 20);
  EXPECT_TRUE(font->isBold());
  EXPECT_TRUE(shown(header->couponBtn()));
  EXPECT_TRUE(shown(header->shoppingCarButton()));
  ASSERT_TRUE(waitFor([&] { return header->userIconImageView()->image() != UIImage::imageNamed("userIcon"_ns); }))
      << "the avatar arrives";
  zvt::test::writeScreenPicture("centre-logged-in");

  // The cart button pushes the cart page under its title.
  ASSERT_TRUE(device().tapView(header->shoppingCarButton()));
  device().wait(1);
  EXPECT_EQ(topClass(), "TZPublicViewController");
  EXPECT_EQ(topValue("webTitle"), "我的购物车");
  EXPECT_EQ(topValue("webUrl"), zvt::Configuration::taobaoCartURLString()->utf8());
  topScreen()->navigationController()->popViewControllerAnimated(false);
  device().wait(1);
  EXPECT_TRUE(pageLogged("个人中心页")) << "begun and ended when the cart page covered it";
}

TEST_F(PersonalCentreTest, TheHeaderReadsTheServicesRecordsByTheirKind) {
  struct Case {
    const char* what;
    const char* dataJSON;  // nullptr: a reply without a record
    const char* money;
    const char* jifenbao;
    const char* velmo;
    bool coupon;
    bool loggedIn;  // the logged-in header
  };
  auto delegate = launch();
  ASSERT_TRUE(logInDemoUser());
  auto centre = showCentre();
  ASSERT_TRUE(centre);
  auto header = centre->headerView();
  // The refresh of the centre's appearance first.
  ASSERT_TRUE(waitFor([&] { return textOf(header->userNameLabel()) == "zvttest"; }));
  const std::vector<Case> cases = {
      {"texts", R"({"id":"10001","ddusername":"zvttest","money":"88.50","jifen":"5000","jifenbao":"12.5","show_coupon":1})",
       "88.50\n余额", "12\n集分宝", "5000\nVelmo", true, true},
      {"numbers", R"({"id":"10001","ddusername":"zvttest","money":88.5,"jifen":5000,"jifenbao":7,"show_coupon":0})",
       "88.5\n余额", "7\n集分宝", "5000\nVelmo", false, true},
      {"missing", R"({"id":"10001","money":null})", "\n余额", "0\n集分宝", "\nVelmo", false, true},
      {"not numeric", R"({"id":"10001","money":"1","jifen":"2","jifenbao":"abc","show_coupon":"1"})", "1\n余额",
       "0\n集分宝", "2\nVelmo", false, true},
      {"no record", nullptr, "", "", "", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zvt::test::ScriptedReply reply{.op = "userInfo"};
    if (c.dataJSON) {
      reply.code = 101;
      reply.dataJSON = c.dataJSON;
    } else {
      reply.code = 201;
      reply.msg = "用户不存在";
    }
    service_->script(reply);
    const int asked = service_->requestCount("userInfo&do=my");
    ASSERT_TRUE(refresh([&] {
      if (service_->requestCount("userInfo&do=my") == asked) return false;
      if (!c.loggedIn) return shown(header->loginButton());
      return textOf(header->userMoneyLabel()) == c.money && textOf(header->userJiFenBaoLabel()) == c.jifenbao &&
             textOf(header->userVelmoLabel()) == c.velmo;
    }));
    EXPECT_TRUE(delegate->isLogin());
    EXPECT_EQ(shown(header->infoBGView()), c.loggedIn);
    EXPECT_EQ(shown(header->loginButton()), !c.loggedIn);
    EXPECT_EQ(shown(header->couponBtn()), c.coupon);
    if (c.loggedIn) {
      EXPECT_EQ(textOf(header->userMoneyLabel()), c.money);
      EXPECT_EQ(textOf(header->userJiFenBaoLabel()), c.jifenbao);
      EXPECT_EQ(textOf(header->userVelmoLabel()), c.velmo);
      EXPECT_EQ(textOf(header->userNameLabel()), std::string(c.dataJSON).find("ddusername") != std::string::npos ? "zvttest" : "");
      for (const auto& label : {header->userMoneyLabel(), header->userJiFenBaoLabel(), header->userVelmoLabel(), header->userNameLabel()})
        EXPECT_EQ(textOf(label).find("null"), std::string::npos);
    }
  }

  // After haveNotLogin the coupon stays hidden until the next fill; a nil record changes nothing.
  ASSERT_TRUE(refresh([&] { return shown(header->couponBtn()); })) << "the demo user's record allows it";
  header->haveNotLogin();
  header->haveLogin();
  EXPECT_FALSE(shown(header->couponBtn()));
  const std::string before = textOf(header->userMoneyLabel());
  auto avatar = header->userIconImageView()->image();
  header->fillViewWith(nullptr, false);
  EXPECT_EQ(textOf(header->userMoneyLabel()), before);
  EXPECT_EQ(header->userIconImageView()->image(), avatar);
  EXPECT_FALSE(shown(header->couponBtn()));

  // Logged in without a record (its "data" could not be deciphered): the request goes without an
  // "id", the service finds no user, the header shows the logged-out state.
  delegate->setUserInfoDictionary(nullptr);
  const int asked = service_->requestCount("userInfo&do=my");
  ASSERT_TRUE(refresh([&] { return service_->requestCount("userInfo&do=my") > asked && shown(header->loginButton()); }));
  auto sent = logOf("userInfo&do=my");
  EXPECT_EQ(at(sent->lastObject(), "fields.id"), "(nil)");

  // Blocks nobody set do nothing.
  auto bare = loadFromNib<TZPersonalHeaderView>();
  ASSERT_TRUE(bare);
  bare->couponAction(nullptr);
  bare->iconTapAction();
}

TEST_F(PersonalCentreTest, AFillThatRefreshesTheAvatarFetchesItAgainBehindAnUnchangedAddress) {
  launch();
  ASSERT_TRUE(logInDemoUser());
  auto centre = showCentre();
  ASSERT_TRUE(centre);
  auto header = centre->headerView();
  auto avatarView = header->userIconImageView();
  auto placeholder = UIImage::imageNamed("userIcon"_ns);
  ASSERT_TRUE(waitFor([&] { return avatarView->image() && avatarView->image() != placeholder; }));
  auto model = zvt::modelFromRecord<TZUserInfoModel>(delegate_->userInfoDictionary());
  auto address = std::dynamic_pointer_cast<NSString>(model->avatar);
  ASSERT_TRUE(address);
  // A picture from before, cached under the same address.
  auto stale = imageWithColor(UIColor::redColor());
  WIImageCache::sharedImageCache()->storeImage(stale, address);

  header->fillViewWith(model, false);
  ASSERT_TRUE(waitFor([&] { return avatarView->image() == stale; })) << "the cache answers";
  const int fetched = service_->requestCount("/images/avatar.png");
  header->fillViewWith(model, true);
  ASSERT_TRUE(waitFor([&] { return avatarView->image() != stale && avatarView->image() != placeholder; }))
      << "dropped from the cache and loaded again";
  EXPECT_EQ(service_->requestCount("/images/avatar.png"), fetched + 1);
}

TEST_F(PersonalCentreTest, PullingStretchesTheBackgroundAndScrollingColoursTheBar) {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  launch();
  auto centre = showCentre();
  ASSERT_TRUE(centre);
  auto table = centre->tableView();
  auto navigation = centre->navigationController();
  const CGFloat h = 0.645 * 375;
  ASSERT_DOUBLE_EQ(h, 241.875);
  EXPECT_DOUBLE_EQ(table->contentOffset().y, -h + 1) << "starts a point below the header's top";

  table->setContentOffset(CGPointMake(0, -341.875));
  auto frame = centre->backgroundImageView()->frame();
  EXPECT_DOUBLE_EQ(frame.origin.x, -50);
  EXPECT_DOUBLE_EQ(frame.origin.y, -341.875);
  EXPECT_DOUBLE_EQ(frame.size.width, 475);
  EXPECT_DOUBLE_EQ(frame.size.height, 341.875);

  struct Case {
    CGFloat offset;
    double alpha;
  };
  for (const Case& c : std::vector<Case>{{-181.4, 0.5}, {-120.9, 0.99}, {0, 0.99}, {200, 0.99}}) {
    SCOPED_TRACE(c.offset);
    table->setContentOffset(CGPointMake(0, c.offset));
    EXPECT_NEAR(barAlpha(navigation), c.alpha * 255, 1.0);
  }
  EXPECT_TRUE(navigation->navigationBar()->isTranslucent()) << "never opaque";
  table->setContentOffset(CGPointMake(0, -60));
  device().wait(0.5);
  zvt::test::writeScreenPicture("centre-scrolled");

  // A finger pulling the list down: the picture grows with it.
  table->setContentOffset(CGPointMake(0, -h + 1));
  device().wait(0.5);
  auto finger = device().touchDown(CGPointMake(187, 400));
  for (int step = 1; step <= 20; ++step) {
    device().touchMove(finger, CGPointMake(187, 400 + step * 10));
    device().wait(1.0 / 60);
  }
  EXPECT_LT(table->contentOffset().y, -h);
  EXPECT_GT(centre->backgroundImageView()->frame().size.width, 375);
  zvt::test::writeScreenPicture("centre-pulled");
  device().touchUp(finger);
  device().waitUntilStill(table);

  // "toLogin" presents the login screen; "logout" flips the header without a request.
  NSNotificationCenter::defaultCenter()->postNotificationName("toLogin"_ns, nullptr);
  device().wait(1);
  ASSERT_TRUE(presentedLogin());
  device().tap(CGPointMake(20, 42));
  device().wait(1);
  ASSERT_TRUE(logInDemoUser());
  ASSERT_TRUE(refresh([&] { return shown(centre->headerView()->infoBGView()); }));
  const int requests = service_->requestCount("userInfo&do=my");
  delegate_->setIsLogin(false);
  NSNotificationCenter::defaultCenter()->postNotificationName("logout"_ns, nullptr);
  device().wait(1);
  EXPECT_FALSE(shown(centre->headerView()->infoBGView()));
  EXPECT_TRUE(shown(centre->headerView()->loginButton()));
  EXPECT_EQ(service_->requestCount("userInfo&do=my"), requests);
}

// The header belongs to the list: scrolled, it slides under the bar (still part clear over it)
// and under the status bar, and a logout changes its face where it is.
TEST_F(PersonalCentreTest, ScrolledTheHeaderSlidesUnderTheBarsAndALogoutLeavesItThere) {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  launch();
  ASSERT_TRUE(logInDemoUser());
  auto centre = showCentre();
  ASSERT_TRUE(centre);
  auto header = centre->headerView();
  ASSERT_TRUE(refresh([&] { return shown(header->infoBGView()); }));
  auto table = centre->tableView();
  auto onScreen = [](const std::shared_ptr<UIView>& view) { return view->convertRectToView(view->bounds(), nullptr); };
  const CGFloat restingOffset = table->contentOffset().y;
  const CGRect restingAvatar = onScreen(header->userIconImageView());
  ASSERT_GE(restingAvatar.origin.y, 20) << "clear of the status bar at rest";

  device().dragView(table, CGPointMake(0, -80), 1.0);
  device().waitUntilStill(table);
  const CGFloat scrolled = table->contentOffset().y - restingOffset;
  ASSERT_GT(scrolled, restingAvatar.origin.y - 20) << "far enough to reach the status bar";
  const CGRect avatar = onScreen(header->userIconImageView());
  EXPECT_NEAR(avatar.origin.y, restingAvatar.origin.y - scrolled, 0.5) << "moves with the list";
  EXPECT_LT(avatar.origin.y, 20) << "under the status bar";
  const int alpha = barAlpha(centre->navigationController());
  EXPECT_GT(alpha, 0);
  EXPECT_LT(alpha, 0.99 * 255) << "the bar is still part clear over the header";
  zvt::test::writeScreenPicture("centre-header-under-the-bars");

  delegate_->setIsLogin(false);
  NSNotificationCenter::defaultCenter()->postNotificationName("logout"_ns, nullptr);
  device().wait(1);
  EXPECT_TRUE(shown(header->loginButton()));
  EXPECT_DOUBLE_EQ(table->contentOffset().y, restingOffset + scrolled) << "the list stays where it was";
  EXPECT_NEAR(onScreen(header->userIconImageView()).origin.y, avatar.origin.y, 0.5);
}

TEST_F(PersonalCentreTest, AnAlertAnsweredWithItsSecondButtonDialsCustomerService) {
  launch();
  auto centre = showCentre();
  ASSERT_TRUE(centre);
  auto application = UIApplication::sharedApplication();
  const size_t before = application->openedURLs().size();
  centre->alertViewClickedButtonAtIndex(nullptr, 0);
  EXPECT_EQ(application->openedURLs().size(), before);
  centre->alertViewClickedButtonAtIndex(nullptr, 1);
  ASSERT_EQ(application->openedURLs().size(), before + 1);
  EXPECT_EQ(application->openedURLs().back()->absoluteString()->utf8(),
            "tel://" + zvt::Configuration::values().customerServiceTelephone);
}

}  // namespace

namespace {

// Logged in, the centre's "邀请好友" and "站内信" rows push the real screens of the rewards folder.
TEST_F(PersonalCentreTest, LoggedInTheInviteAndMessageRowsOpenTheirScreens) {
  zvt::registerRewardsScreens();
  storeCredentials();
  auto delegate = launch();
  ASSERT_TRUE(waitFor([&] { return delegate->isLogin() && delegate->userInfoDictionary(); }));
  device().wait(0.5);
  auto centre = showCentre();
  ASSERT_TRUE(centre);
  struct Row {
    const char* title;
    const char* screen;
    const char* screenTitle;
  };
  for (const Row& row : {Row{"邀请好友", "InviteFriendsViewController", "邀请有奖"}, Row{"站内信", "TZMessageViewController", "站内信"}}) {
    SCOPED_TRACE(row.title);
    device().dragView(centre->tableView(), CGPointMake(0, -300), 0.4);
    device().waitUntilStill(centre->tableView());
    ASSERT_TRUE(device().tapText(row.title));
    device().wait(1);
    waitFor([] { return false; }, 0.5);
    device().wait(0.5);
    EXPECT_EQ(topClass(), row.screen);
    EXPECT_TRUE(device().viewWithText(row.screenTitle));
    EXPECT_FALSE(presentedStack()) << "no login screen";
    device().tap(CGPointMake(20, 42));  // "grayReturn"
    device().wait(1);
    EXPECT_EQ(topScreen(), centre);
  }
}

}  // namespace

namespace {

// The list scrolled so that the "设置" row lies under the tab bar: tapping "设置" does not tap
// the tab over it (the finger would land on "淘宝回扣") but says so; dragged clear, it opens.
TEST_F(PersonalCentreTest, ARowUnderTheTabBarIsNotTappedThroughTheTabOverIt) {
  auto delegate = launch();
  auto centre = showCentre();
  ASSERT_TRUE(centre);
  auto table = centre->tableView();
  auto bar = delegate->tabBarController()->tabbarView();
  auto settingsRow = [&] {
    return table->convertRectToView(table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 2)), nullptr);
  };
  const CGRect tabs = bar->convertRectToView(bar->bounds(), nullptr);
  // A finger moves the list until the row's middle lies behind the bar.
  device().dragView(table, CGPointMake(0, CGRectGetMidY(tabs) - CGRectGetMidY(settingsRow())), 0.6);
  device().waitUntilStill(table);
  ASSERT_TRUE(CGRectContainsPoint(tabs, CGPointMake(CGRectGetMidX(settingsRow()), CGRectGetMidY(settingsRow()))))
      << "row " << NSStringFromCGRect(settingsRow())->utf8() << ", bar " << NSStringFromCGRect(tabs)->utf8();
  ASSERT_TRUE(device().viewWithText("设置")) << "on screen, under the bar";

  std::string why;
  EXPECT_FALSE(device().tapText("设置", &why));
  EXPECT_EQ(why, "\"设置\" is covered by the UIButton showing \"淘宝回扣\"");
  device().wait(1);
  EXPECT_EQ(topScreen(), centre) << "no tab was tapped";
  EXPECT_FALSE(presentedStack());

  device().dragView(table, CGPointMake(0, -300), 0.4);
  device().waitUntilStill(table);
  ASSERT_TRUE(device().tapText("设置"));
  device().wait(1);
  EXPECT_TRUE(presentedLogin()) << "logged out, the row asks for a login";
  device().tap(CGPointMake(20, 42));  // "grayReturn"
  device().wait(1);
}

}  // namespace
