// The red packet a registration shows, through the device: it covers the shell, only its open
// button reacts until it is opened, then it shows the reward and goes on close or a backdrop tap.

#include "app/api/APIClient.h"
#include "app/screens/rewards/RedpacketView.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/utilities/ZVTPublicTools.h"
#include "tests/app/core/ShellTestSupport.h"

namespace {

class RedPacketScreenTest : public zvt::test::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    zvt::registerRewardsScreens();
  }
  void TearDown() override {
    zvt::setRedpacketPresenter(nullptr);
    ShellTest::TearDown();
  }

  // Registers a new phone account through the JSON client, as the binding form does.
  void registerAccount(const std::string& phone) {
    int calls = 0;
    APIClient::getVerificationCodeWithParameter(NSDictionary::make({{"phoneNumber"_ns, NSString::stringWithUTF8String(phone)}}),
                                                [&](bool, const std::shared_ptr<NSString>&) { ++calls; });
    ASSERT_TRUE(waitFor([&] { return calls > 0; }));
    auto code = service_->latestSmsCode(phone, "register");
    ASSERT_FALSE(code.empty());
    bool ok = false;
    calls = 0;
    APIClient::registerWithParameter(
        NSDictionary::make({{"phoneNumber"_ns, NSString::stringWithUTF8String(phone)},
                            {"verifyCode"_ns, NSString::stringWithUTF8String(code)}, {"password"_ns, "secret12"_ns}}),
        [&](bool success, NSInteger, const std::shared_ptr<NSString>&) {
          ok = success;
          ++calls;
        });
    ASSERT_TRUE(waitFor([&] { return calls > 0; }));
    ASSERT_TRUE(ok);
    device().wait(0.5);
  }

  std::shared_ptr<RedpacketView> packet() {
    auto packets = device().viewsOfClass<RedpacketView>();
    return packets.empty() ? nullptr : packets.front();
  }
};

TEST_F(RedPacketScreenTest, ARegistrationShowsThePacketOverTheShellUntilItIsOpenedAndClosed) {
  struct Case {
    const char* phone;
    bool closeByBackdrop;  // else by the close button
  };
  auto delegate = launch();
  showRedpacket(UIViewController::make(), "5Velmo+0集分宝"_ns);
  device().wait(0.5);
  EXPECT_FALSE(packet()) << "a screen outside a tab bar controller shows nothing";
  for (const Case& c : std::vector<Case>{{"13912340001", true}, {"13912340002", false}}) {
    SCOPED_TRACE(c.phone);
    registerAccount(c.phone);
    auto shown = packet();
    ASSERT_TRUE(shown) << "the registration shows the red packet";
    EXPECT_EQ(shown->superview(), delegate->tabBarController()->view());
    EXPECT_EQ(shown->superview()->subviews().back(), shown) << "in front of the tab bar";
    EXPECT_FALSE(device().viewWithAccessibilityIdentifier("redpacketClose"));

    // Before opening, the backdrop and the packet take taps without effect.
    device().tap(CGPointMake(30, 60));
    device().tap(CGPointMake(187, 200));
    device().wait(0.5);
    ASSERT_EQ(packet(), shown);
    EXPECT_TRUE(device().viewWithAccessibilityIdentifier("redpacketOpen"));

    ASSERT_TRUE(device().tapView(device().viewWithAccessibilityIdentifier("redpacketOpen")));
    device().wait(0.5);
    auto record = delegate->userInfoDictionary();
    auto balance = [&](const char* key) {
      return NSString::stringWithFormat("%@", record->objectForKey(NSString::stringWithUTF8String(key)))->integerValue();
    };
    const std::string reward = std::to_string(balance("jifen")) + "Velmo+" + std::to_string(balance("jifenbao")) + "集分宝";
    EXPECT_TRUE(device().viewWithText(reward)) << reward;
    EXPECT_FALSE(device().viewWithAccessibilityIdentifier("redpacketOpen")) << "the open button is gone";
    auto close = device().viewWithAccessibilityIdentifier("redpacketClose");
    ASSERT_TRUE(close);
    if (c.closeByBackdrop) {
      device().tap(CGPointMake(30, 60));
    } else {
      ASSERT_TRUE(device().tapView(close));
    }
    device().wait(0.5);
    EXPECT_FALSE(packet());
    EXPECT_FALSE(shown->superview());
  }
}

}  // namespace
