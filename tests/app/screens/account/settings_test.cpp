// The settings screen through the device, against the local service: where its rows lead, the
// image cache's size and its clearing, and the local logout with what it leaves behind.

#include <sys/stat.h>

#include <fstream>

#include "app/screens/account/MyAccountViewController.h"
#include "app/screens/account/TZUserInfoView.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/uikit/UIApplication.h"
#include "tests/app/screens/account/AccountTestSupport.h"
#include "ui/images/WIImageCache.h"

namespace {

using zvt::test::AccountScreenTest;

class SettingsScreenTest : public AccountScreenTest {
 protected:
  // Logged in, on the personal centre with the user's header, the avatar arrived.
  std::shared_ptr<UserInfoViewController> loggedInCentre() {
    if (!logInDemoUser()) return nullptr;
    auto centre = showCentre();
    if (!centre) return nullptr;
    auto avatar = centre->headerView()->userIconImageView();
    waitFor([&] { return avatar->image() && avatar->image() != UIImage::imageNamed("userIcon"_ns); });
    return centre;
  }
  // Taps the centre's "设置" row, the list first dragged up from under the tab bar: the settings
  // screen.
  std::shared_ptr<MyAccountViewController> openSettings(const std::shared_ptr<UserInfoViewController>& centre) {
    device().dragView(centre->tableView(), CGPointMake(0, -300), 0.4);
    device().waitUntilStill(centre->tableView());
    if (!device().tapText("设置")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<MyAccountViewController>(topScreen());
  }
  void back() {
    device().tap(CGPointMake(20, 42));
    device().wait(1);
  }
  // Empties the shared image cache's disk and waits until it is empty. The pictures in memory
  // stay: the centre draws its avatar from them again when the test goes back to it, rather
  // than fetching it anew and writing it to the disk whenever it comes, maybe after the clear
  // the test confirms.
  static void emptyImageCache() {
    auto cache = WIImageCache::sharedImageCache();
    cache->clearDisk();
    waitFor([&] { return cache->getSize() == 0; }, 5);
  }
  static std::string cacheText(const std::shared_ptr<MyAccountViewController>& settings) {
    auto label = settings->crashLabel();
    return label && label->text() ? label->text()->utf8() : "(none)";
  }
};

TEST_F(SettingsScreenTest, ItsRowsOpenTheirScreensAndTheReviewPage) {
  launch();
  auto centre = loggedInCentre();
  ASSERT_TRUE(centre);
  auto settings = openSettings(centre);
  ASSERT_TRUE(settings) << topClass();
  EXPECT_TRUE(device().viewWithText("设置"));
  EXPECT_TRUE(delegate_->tabBarController()->tabbarView()->isHidden()) << "no tab bar over the settings";
  for (const char* title : {"个人信息", "修改密码", "去评价", "清除缓存", "关于Zavelto", "退 出"})
    EXPECT_TRUE(device().viewWithText(title)) << title;
  zvt::test::writeScreenPicture("settings");

  struct Case {
    const char* row;
    const char* opens;
    const char* title;
  };
  for (const Case& c : std::vector<Case>{{"个人信息", "TZPersonalViewController", "个人信息"},
                                         {"修改密码", "TZChangePasswordViewController", "修改密码"},
                                         {"关于Zavelto", "AboutZaveltoViewController", "关于Zavelto"}}) {
    SCOPED_TRACE(c.row);
    ASSERT_TRUE(device().tapText(c.row));
    device().wait(1);
    EXPECT_EQ(topClass(), c.opens);
    EXPECT_TRUE(device().viewWithText(c.title));
    topScreen()->navigationController()->popViewControllerAnimated(false);
    device().wait(1);
    ASSERT_EQ(topScreen(), settings);
  }

  auto application = UIApplication::sharedApplication();
  const size_t opened = application->openedURLs().size();
  ASSERT_TRUE(device().tapText("去评价"));
  device().wait(0.5);
  ASSERT_EQ(application->openedURLs().size(), opened + 1);
  EXPECT_EQ(application->openedURLs().back()->absoluteString()->utf8(),
            "itms-apps://itunes.apple.com/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id=" +
                zvt::Configuration::values().appStoreIdentifier);
  EXPECT_EQ(topScreen(), settings);

  back();
  EXPECT_EQ(topScreen(), centre) << "the back item pops";
  EXPECT_TRUE(pageLogged("设置页"));
}

TEST_F(SettingsScreenTest, TheCacheRowShowsTheDiskCachesSizeAndClearsItWhenConfirmed) {
  launch();
  auto centre = loggedInCentre();
  ASSERT_TRUE(centre);
  emptyImageCache();
  auto settings = openSettings(centre);
  ASSERT_TRUE(settings);
  EXPECT_EQ(cacheText(settings), "0.00M");
  EXPECT_TRUE(device().viewWithText("0.00M"));

  // 1.5 MiB on disk, seen when the row is drawn again.
  back();
  {
    auto path = WIImageCache::sharedImageCache()->diskCachePath()->stringByAppendingPathComponent("sample-picture"_ns);
    std::ofstream file(path->utf8(), std::ios::binary);
    file << std::string(1572864, 'x');
  }
  settings = openSettings(centre);
  ASSERT_TRUE(settings) << topClass();
  EXPECT_EQ(cacheText(settings), "1.50M");

  struct Case {
    const char* answer;
    const char* after;
  };
  for (const Case& c : std::vector<Case>{{"取消", "1.50M"}, {"确定", "0.00M"}}) {
    SCOPED_TRACE(c.answer);
    ASSERT_TRUE(device().tapText("清除缓存"));
    device().wait(0.5);
    ASSERT_TRUE(device().viewWithText("确定要清除缓存吗？"));
    ASSERT_TRUE(device().tapText(c.answer));
    device().wait(1);
    EXPECT_EQ(cacheText(settings), c.after);
    EXPECT_TRUE(device().viewWithText(c.after));
  }
  EXPECT_EQ(WIImageCache::sharedImageCache()->getSize(), 0u);
}

TEST_F(SettingsScreenTest, LogoutEndsTheSessionOnTheDeviceOnlyAndKeepsTheStoredAccount) {
  auto delegate = launch();
  auto centre = loggedInCentre();
  ASSERT_TRUE(centre);
  auto defaults = NSUserDefaults::standardUserDefaults();
  auto loginInfo = defaults->dictionaryForKey("loginInfo"_ns);
  auto info = defaults->stringForKey("info"_ns);
  ASSERT_TRUE(loginInfo && info);
  ASSERT_FALSE(sessionCookie().empty());
  auto settings = openSettings(centre);
  ASSERT_TRUE(settings);

  // "取消" changes nothing.
  ASSERT_TRUE(device().tapText("退 出"));
  device().wait(0.5);
  ASSERT_TRUE(device().viewWithText("真的要退出？"));
  ASSERT_TRUE(device().tapText("取消"));
  device().wait(1);
  EXPECT_TRUE(delegate->isLogin());
  EXPECT_EQ(topScreen(), settings);

  ASSERT_TRUE(device().tapText("退 出"));
  device().wait(0.5);
  service_->clearLog();
  ASSERT_TRUE(device().tapText("确定"));
  device().wait(1);
  EXPECT_EQ(service_->requestCount(), 0) << "nothing goes to the service, the centre asks nothing";
  EXPECT_EQ(sessionCookie(), "");
  EXPECT_FALSE(delegate->cookieDic());
  EXPECT_FALSE(delegate->isLogin());
  EXPECT_FALSE(delegate->userInfoDictionary());
  EXPECT_FALSE(defaults->boolForKey("isLogin"_ns));
  EXPECT_TRUE(waitForAlias(""));
  EXPECT_TRUE(defaults->dictionaryForKey("loginInfo"_ns)->isEqual(loginInfo)) << "the account stays stored";
  EXPECT_TRUE(defaults->stringForKey("info"_ns)->isEqual(info));
  EXPECT_EQ(topScreen(), centre) << "the settings popped";
  EXPECT_TRUE(zvt::ui::Device::isVisible(centre->headerView()->loginButton())) << "the centre logged out";
  EXPECT_FALSE(zvt::ui::Device::isVisible(centre->headerView()->infoBGView()));

  auto login = openLoginThroughGate();
  ASSERT_TRUE(login);
  EXPECT_EQ(login->loginView()->userTextField()->text()->utf8(), zvt::test::kServiceTestUserName) << "pre-filled";
  device().tap(CGPointMake(20, 42));
  device().wait(1);

  // The preferences file stays readable by its owner only.
  auto file = NSHomeDirectory()->utf8() + "/Library/Preferences/" + NSBundle::mainBundle()->bundleIdentifier()->utf8() + ".plist";
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0) << file;
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  // A relaunch logs nobody in.
  service_->clearLog();
  TearDown();
  SetUp();
  delegate = launch();
  device().wait(1);
  EXPECT_FALSE(delegate->isLogin());
  EXPECT_EQ(service_->requestCount("login"), 0);
}

TEST_F(SettingsScreenTest, LogoutWithoutASiteCookieStillEndsTheSession) {
  auto delegate = launch();
  auto centre = loggedInCentre();
  ASSERT_TRUE(centre);
  delegate->setCookieDic(nullptr);
  ASSERT_TRUE(openSettings(centre));
  ASSERT_TRUE(device().tapText("退 出"));
  device().wait(0.5);
  ASSERT_TRUE(device().tapText("确定"));
  device().wait(1);
  EXPECT_FALSE(delegate->isLogin());
  EXPECT_FALSE(delegate->userInfoDictionary());
  EXPECT_FALSE(NSUserDefaults::standardUserDefaults()->boolForKey("isLogin"_ns));
  EXPECT_TRUE(waitForAlias(""));
  EXPECT_EQ(topScreen(), centre);
}

TEST_F(SettingsScreenTest, TheUserInformationFormFillsPresentValuesAndItsTipFollowsTheLastOne) {
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, id>> record;
    const char* email;
    const char* qq;
    bool tipShown;
  };
  launch();
  auto form = loadFromNib<TZUserInfoView>();
  ASSERT_TRUE(form);
  form->emailTextField()->setText("kept@example.com"_ns);
  const std::vector<Case> cases = {
      {"all present", {{"email", "a@b.cn"_ns}, {"realname", "张三"_ns}, {"alipay", "a@pay"_ns}, {"qq", NSNumber::numberWithInt(12345)}},
       "a@b.cn", "12345", false},
      {"qq missing decides", {{"email", "c@d.cn"_ns}, {"qq", ""_ns}}, "c@d.cn", "12345", true},
      {"email missing, qq present", {{"email", NSNull::null()}, {"qq", "777"_ns}}, "c@d.cn", "777", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto model = std::make_shared<TZUserInfoModel>();
    for (const auto& [key, value] : c.record) model->setValueForKey(value, NSString::stringWithUTF8String(key));
    form->setUserModel(model);
    EXPECT_EQ(form->userModel(), model);
    EXPECT_EQ(form->emailTextField()->text()->utf8(), c.email);
    EXPECT_EQ(form->QQTextField()->text()->utf8(), c.qq);
    EXPECT_EQ(!form->tipView()->isHidden(), c.tipShown);
    EXPECT_EQ(form->tipViewTopConstraint()->constant(), c.tipShown ? 0 : -30);
  }
  auto kept = form->userModel();
  form->setUserModel(nullptr);
  EXPECT_EQ(form->userModel(), kept) << "nil is ignored";
  form->setKeyboardH(216);
  form->setNeedsUpdateConstraints();
  form->updateConstraintsIfNeeded();
  EXPECT_EQ(form->bgScrollViewBottomConstraint()->constant(), 216);
}

}  // namespace
