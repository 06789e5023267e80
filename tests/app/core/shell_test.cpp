// The launched application through the device, against the local service: the launch order and
// the shell, reachability, tabs and the bar, the back item, the life-cycle callbacks.

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UITextField.h"
#include "app/ui/ScreenRegistry.h"
#include "tests/app/core/ShellTestSupport.h"

namespace {

using zvt::test::ShellTest;

bool isOrange(const std::shared_ptr<UIColor>& color) { return color && color->isEqual(TabbarView::selectedTitleColor()); }

TEST_F(ShellTest, LaunchBuildsTheFiveTabShellAndStartsTheClients) {
  auto center = NSNotificationCenter::defaultCenter();
  // The clients' own observers (their queues are worked off at termination) come with their
  // first use: counted before, they are not the delegate's.
  const auto pushBefore = zvt::push::clientState();
  zvt::stat::flush();
  const size_t observersBefore = center->observationCount();
  auto delegate = launch();
  EXPECT_EQ(AppDelegate::shared(), delegate);
  EXPECT_TRUE(delegate->window()->isKeyWindow());
  auto shell = delegate->tabBarController();
  ASSERT_EQ(delegate->window()->rootViewController(), shell);
  const std::vector<std::string> roots = {"HomeViewController", "ProductStoreViewController", "TZNewSearchViewController",
                                          "ThirdProductStoreViewController", "UserInfoViewController"};
  ASSERT_EQ(shell->viewControllers().size(), 5u);
  auto bar = shell->tabbarView();
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    auto navigation = std::dynamic_pointer_cast<UINavigationController>(shell->viewControllers()[i]);
    ASSERT_TRUE(navigation);
    EXPECT_EQ(navigation->viewControllers().front()->className(), roots[i]);
    EXPECT_EQ(bar->btnArray()[i]->tag(), 100001 + static_cast<NSInteger>(i));
    EXPECT_EQ(bar->labelArray()[i]->text()->utf8(), TabbarView::titles()[i]);
    EXPECT_EQ(bar->btnArray()[i]->imageForState(UIControlStateNormal),
              UIImage::imageNamed(NSString::stringWithUTF8String(TabbarView::normalImageNames()[i])));
    EXPECT_EQ(bar->btnArray()[i]->imageForState(UIControlStateSelected),
              UIImage::imageNamed(NSString::stringWithUTF8String(TabbarView::selectImageNames()[i])));
    EXPECT_EQ(bar->btnArray()[i]->isSelected(), i == 0);
    EXPECT_EQ(isOrange(bar->labelArray()[i]->textColor()), i == 0);
  }
  EXPECT_TRUE(shell->tabBar()->isHidden());
  EXPECT_TRUE(device().viewWithText("首页")) << "the home tab's title shows";
  EXPECT_FALSE(bar->isHidden());

  // The analytics client was started with the app key and the batch policy, then given the
  // bundle's version, then the crash switch; the "OnlineConfigUpdatedNotification" observer is there but no "remote" one.
  zvt::stat::flush();
  auto records = zvt::stat::recordedEntries();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(NSString::stringWithFormat("%@", records.front()->objectForKey("kind"_ns))->utf8(), "launch");
  EXPECT_EQ(NSString::stringWithFormat("%@", records.front()->objectForKey("appKey"_ns))->utf8(),
            zvt::Configuration::analyticsAppKey()->utf8());
  EXPECT_EQ(NSString::stringWithFormat("%@", records.front()->objectForKey("policy"_ns))->utf8(), "1");
  EXPECT_FALSE(records.front()->objectForKey("appVersion"_ns)) << "the version is set after the start";
  StatAgent::event("probe"_ns);
  zvt::stat::flush();
  EXPECT_EQ(NSString::stringWithFormat("%@", zvt::stat::recordedEntries().back()->objectForKey("appVersion"_ns))->utf8(),
            NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleShortVersionString"_ns)->description()->utf8());
  EXPECT_TRUE(zvt::stat::crashReportEnabled());
  EXPECT_EQ(center->observationCount(), observersBefore + 1);
  // The push client was registered for badge, sound and alert and set up, both off the main
  // thread (they reach storage, and the launch must not wait for them).
  waitFor([&] {
    auto state = zvt::push::clientState();
    return state.registrationCount > pushBefore.registrationCount && state.setupCount > pushBefore.setupCount;
  }, 5);
  auto push = zvt::push::clientState();
  EXPECT_TRUE(push.started);
  EXPECT_EQ(push.notificationTypes, 7u);
  EXPECT_EQ(push.registrationCount, pushBefore.registrationCount + 1);
  EXPECT_EQ(push.setupCount, pushBefore.setupCount + 1);
  EXPECT_EQ(push.registrationsOnMainThread, pushBefore.registrationsOnMainThread) << "registered on the main thread";
  EXPECT_EQ(push.setupsOnMainThread, pushBefore.setupsOnMainThread) << "set up on the main thread";

  // A launch payload adds the "remote" observer; the first resignation takes both away.
  auto application = UIApplication::sharedApplication();
  application->resignActive();
  EXPECT_EQ(center->observationCount(), observersBefore);
}

// A test that ends with answers still on their way and things on screen hands the next one an
// empty screen of the standard phone: each answer came while the application still lived, and
// the alert, the keyboard, a window of the test's own and the smaller screen it chose are gone.
TEST_F(ShellTest, WhatATestLeavesBehindIsSettledBeforeTheNextBegins) {
  const AppDelegate* launched = launch().get();
  struct Answer {
    const char* client;
    bool came = false;
    bool withApplication = false;
  };
  Answer json{"json"}, enciphered{"enciphered"};
  auto record = [launched](Answer& answer) {
    answer.came = true;
    answer.withApplication = AppDelegate::shared().get() == launched;
  };
  service_->script(zvt::test::ScriptedReply{.op = "get_coupon", .delayMs = 3000});
  service_->script(zvt::test::ScriptedReply{.op = "feedback", .delayMs = 3000});
  APIClient::getCouponsWithParameter(NSDictionary::make({{"uid"_ns, "10001"_ns}, {"tradeId"_ns, "1"_ns}}),
                                     [&](bool, const id&, const std::shared_ptr<NSString>&) { record(json); });
  ZVTAPIClient::submitFeedbackWith(NSDictionary::make({{"id"_ns, "10001"_ns}, {"content"_ns, "留下"_ns}}),
                                   [&](bool, const std::shared_ptr<NSString>&) { record(enciphered); });
  auto field = UITextField::initWithFrame(CGRectMake(20, 100, 200, 30));
  delegate_->window()->addSubview(field);
  ASSERT_TRUE(field->becomeFirstResponder());
  zvt::ui::Device::useScreen(zvt::ui::kScreen320x480);
  auto own = UIWindow::initWithFrame(CGRectMake(0, 0, 100, 100));
  own->makeKeyAndVisible();
  showWithTitle(nullptr, "留下的提示"_ns);
  device().wait(0.5);
  ASSERT_EQ(zvt::ui::AlertPresenter::shared().count(), 1u);
  ASSERT_TRUE(field->isFirstResponder());

  TearDown();
  for (const Answer* answer : {&json, &enciphered}) {
    SCOPED_TRACE(answer->client);
    EXPECT_TRUE(answer->came);
    EXPECT_TRUE(answer->withApplication) << "answered before the application went";
  }
  EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u);
  EXPECT_FALSE(UIResponder::currentFirstResponder());
  EXPECT_FALSE(zvt::ui::Keyboard::shared().isShown());
  for (const auto& window : UIApplication::sharedApplication()->windows()) EXPECT_TRUE(window->isHidden());
  EXPECT_TRUE(CGRectEqualToRect(UIScreen::mainScreen()->bounds(), CGRectMake(0, 0, 375, 667)));
  EXPECT_EQ(UIScreen::mainScreen()->scale(), 2);
  SetUp();
}

TEST_F(ShellTest, TheSystemDeliversTheDeviceTokenAndTheRegistrationReachesTheServiceAfterALogin) {
  storeCredentials();
  auto delegate = launch();
  // The push client asked the system to register; the token came back to the delegate on a
  // later turn, and the delegate kept the push client's registration id.
  ASSERT_TRUE(waitFor([&] { return delegate->PushRegisterID() && delegate->PushRegisterID()->length() > 0; }, 5));
  EXPECT_TRUE(UIApplication::sharedApplication()->isRegisteredForRemoteNotifications());
  auto kept = NSData::dataWithContentsOfFile(NSString::stringWithFormat("%@/Library/DeviceToken", NSHomeDirectory()));
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->length(), 32u);
  auto state = zvt::push::clientState();
  ASSERT_TRUE(state.deviceToken);
  std::string hex;
  for (size_t i = 0; i < kept->length(); ++i) hex += std::string(NSString::stringWithFormat("%02x", kept->bytes()[i])->utf8());
  EXPECT_EQ(state.deviceToken->utf8(), hex) << "the token kept in the sandbox is the one registered";
  const std::string registrationID = delegate->PushRegisterID()->utf8();

  // The login's alias answer uploads the registration id with the user's id.
  ASSERT_TRUE(waitFor([&] { return delegate->isLogin() && service_->requestCount("up_push_id") > 0; }));
  EXPECT_NE(service_->requestLog("up_push_id").find(registrationID), std::string::npos) << service_->requestLog("up_push_id");

  // Registering again delivers the same token: it belongs to the installation.
  UIApplication::sharedApplication()->registerForRemoteNotifications();
  device().wait(0.5);
  EXPECT_EQ(zvt::push::clientState().deviceToken->utf8(), hex);
  EXPECT_EQ(delegate->PushRegisterID()->utf8(), registrationID);
}

TEST_F(ShellTest, LosingTheNetworkLogsOutOfTheRunningSessionAndItsReturnLogsInAgain) {
  storeCredentials();
  std::vector<std::string> posts;
  auto observer = std::make_shared<NSObject>();
  auto center = NSNotificationCenter::defaultCenter();
  for (const char* name : {"login", "logout"}) {
    center->addObserver(observer, [&posts](const std::shared_ptr<NSNotification>& n) { posts.push_back(n->name()->utf8()); },
                        NSString::stringWithUTF8String(name), nullptr);
  }
  // Online at launch: the stored credentials log in at the service.
  auto delegate = launch();
  ASSERT_TRUE(waitFor([&] { return delegate->isLogin(); }));
  EXPECT_EQ(posts, std::vector<std::string>{"login"});

  // Offline: out of the running session, the stored login kept, the user told.
  reachability_->changeFlags(0);
  ASSERT_TRUE(waitFor([&] { return !delegate->isConnectNetwork(); }));
  device().wait(0.5);
  EXPECT_FALSE(delegate->isLogin());
  EXPECT_EQ(posts, (std::vector<std::string>{"login", "logout"}));
  EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->boolForKey("isLogin"_ns)) << "the stored login stays";
  ASSERT_TRUE(device().viewWithText("温馨提醒"));
  ASSERT_TRUE(device().viewWithText("当前没有网络，请检查您的网络"));
  ASSERT_TRUE(device().tapText("确定"));
  device().wait(0.5);
  EXPECT_FALSE(device().viewWithText("温馨提醒"));
  waitFor([] { return zvt::push::clientState().alias && zvt::push::clientState().alias->length() == 0; }, 5);
  EXPECT_EQ(zvt::push::clientState().alias ? zvt::push::clientState().alias->utf8() : "(nil)", "") << "the alias cleared";

  // Back online: logged in again from the stored credentials.
  reachability_->changeFlags(zvt::test::kReachable);
  ASSERT_TRUE(waitFor([&] { return delegate->isLogin(); }));
  EXPECT_TRUE(delegate->isConnectNetwork());
  EXPECT_EQ(service_->requestCount("login"), 2);
  EXPECT_EQ(posts, (std::vector<std::string>{"login", "logout", "login"}));
  center->removeObserver(observer);
}

TEST_F(ShellTest, TabsSwitchByTapAndFromCodeAndTheBarFollowsPushesAndPops) {
  auto delegate = launch();
  auto shell = delegate->tabBarController();
  auto bar = shell->tabbarView();
  auto checkSelected = [&](size_t index) {
    EXPECT_EQ(shell->selectedIndex(), index);
    for (size_t k = 0; k < 5; ++k) {
      EXPECT_EQ(bar->btnArray()[k]->isSelected(), k == index) << k;
      EXPECT_EQ(isOrange(bar->labelArray()[k]->textColor()), k == index) << k;
    }
  };
  ASSERT_TRUE(device().tapText("商城回扣"));
  device().wait(0.5);
  checkSelected(3);
  EXPECT_EQ(topClass(), "ThirdProductStoreViewController");
  shell->setSelectedWithIndex(2);
  device().wait(0.5);
  checkSelected(2);
  EXPECT_EQ(topClass(), "TZNewSearchViewController");
  EXPECT_TRUE(device().viewWithText("淘宝回扣"));

  // Hide, then show before the hiding has ended: the bar ends visible.
  shell->hiddenTabbar();
  device().wait(0.2);
  shell->showTabbar();
  device().wait(1);
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->frame().origin.y, shell->view()->bounds().size.height - 49);

  // The back item: none on the root; a pushed screen gets it, hides the bar, and its tap pops.
  EXPECT_FALSE(topScreen()->navigationItem()->leftBarButtonItem());
  auto pushed = zvt::makeScreen("TZStrollViewController");
  topScreen()->navigationController()->pushViewController(pushed, true);
  device().wait(1);
  ASSERT_EQ(topScreen(), pushed);
  EXPECT_TRUE(pushed->navigationItem()->leftBarButtonItem());
  EXPECT_TRUE(bar->isHidden());
  device().tap(CGPointMake(20, 42));
  device().wait(1);
  EXPECT_EQ(topClass(), "TZNewSearchViewController");
  EXPECT_FALSE(bar->isHidden()) << "the root shows the bar again";
}

TEST_F(ShellTest, LifeCycleLocalNotificationsAndTheURLScheme) {
  auto delegate = launch();
  auto application = UIApplication::sharedApplication();
  application->setApplicationIconBadgeNumber(5);
  application->enterBackground();
  application->enterForeground();
  EXPECT_EQ(application->applicationIconBadgeNumber(), 0);
  EXPECT_EQ(zvt::push::clientState().badgeReports.back(), 0);

  auto reminder = UILocalNotification::make();
  reminder->setAlertBody("该签到啦"_ns);
  for (int remind : {0, 1}) {
    SCOPED_TRACE(remind);
    NSUserDefaults::standardUserDefaults()->setInteger(remind, "isRemind"_ns);
    application->setApplicationIconBadgeNumber(3);
    application->receiveLocalNotification(reminder);
    device().wait(0.5);
    EXPECT_EQ(static_cast<bool>(device().viewWithText("该签到啦")), remind == 1);
    EXPECT_EQ(application->applicationIconBadgeNumber(), remind == 1 ? 0 : 3);
    dismissAlerts();
  }
  struct Case {
    const char* url;
    bool answer;
  };
  for (const Case& c : std::vector<Case>{{"tzzvt://open", true}, {"TZZVT://open", false}, {"http://x", false}}) {
    EXPECT_EQ(application->openURLFromApplication(NSURL::URLWithString(NSString::stringWithUTF8String(c.url)), nullptr),
              c.answer)
        << c.url;
  }
}

}  // namespace
