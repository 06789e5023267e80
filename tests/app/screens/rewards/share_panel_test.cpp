// The share panel laid over the shell as an owner would: its five targets in order with their
// separators, a tap reported once through myBlock while the panel stays, and the backdrop
// keeping taps away from what lies under it; the share list's cell with its remark label.

#include <gtest/gtest.h>

#include "app/screens/rewards/RewardsScreens.h"
#include "app/screens/rewards/ShareView.h"
#include "tests/app/core/ShellTestSupport.h"

namespace zvt::test {
namespace {

class SharePanelTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    registerRewardsScreens();
    launch();
    const CGRect bounds = delegate_->tabBarController()->view()->bounds();
    panel_ = UIView::makeView<ShareView>(bounds);
    panel_->setMyBlock([this](const id& sender) { taps_.push_back(std::dynamic_pointer_cast<UIButton>(sender)); });
    delegate_->tabBarController()->view()->addSubview(panel_);
    delegate_->tabBarController()->view()->bringSubviewToFront(panel_);
    device().wait(0.5);
  }

  std::shared_ptr<ShareView> panel_;
  std::vector<std::shared_ptr<UIButton>> taps_;
};

TEST_F(SharePanelTest, FiveTargetsInOrderWithASeparatorBetweenEach) {
  const char* const titles[] = {"分享给微信好友", "分享给QQ好友", "分享至微信朋友圈", "分享至QQ空间", "分享至新浪微博"};
  const char* const icons[] = {"inviteWechatIcon", "inviteQQFriendIcon", "shareFriendsIcon", "shareQQSpaceIcon", "shareSinaIcon"};
  const CGFloat W = 375;
  std::vector<std::shared_ptr<UIButton>> buttons;
  int separators = 0;
  for (const auto& view : panel_->shareView()->subviews()) {
    if (auto button = std::dynamic_pointer_cast<UIButton>(view)) {
      buttons.push_back(button);
    } else if (view->frame().size.height == 1) {
      ++separators;
      // Each line lies under the button before it, clear of the next one.
      ASSERT_FALSE(buttons.empty());
      EXPECT_NEAR(view->frame().origin.y, CGRectGetMaxY(buttons.back()->frame()) + 0.015 * W, 0.01);
    }
  }
  ASSERT_EQ(buttons.size(), 5u);
  EXPECT_EQ(separators, 4);
  for (size_t i = 0; i < buttons.size(); ++i) {
    SCOPED_TRACE(titles[i]);
    EXPECT_EQ(buttons[i]->tag(), 100 + static_cast<NSInteger>(i));
    EXPECT_EQ(buttons[i]->titleForState(UIControlStateNormal)->utf8(), titles[i]);
    EXPECT_EQ(buttons[i]->imageForState(UIControlStateNormal), UIImage::imageNamed(NSString::stringWithUTF8String(icons[i])));
    EXPECT_NE(buttons[i]->imageForState(UIControlStateNormal), nullptr);
    EXPECT_NEAR(buttons[i]->frame().origin.y, 0.07 * W + static_cast<CGFloat>(i) * 0.18 * W, 0.01);
  }
  EXPECT_EQ(panel_->shareView()->frame(), CGRectMake(0.1 * W, 0.2 * W, 0.8 * W, W));
  writeScreenPicture("share-panel");
}

TEST_F(SharePanelTest, ATapReachesTheOwnerOnceAndThePanelStays) {
  struct Case {
    const char* title;
    NSInteger tag;
  };
  for (const Case& c : {Case{"分享至QQ空间", 103}, Case{"分享给微信好友", 100}, Case{"分享至新浪微博", 104}}) {
    SCOPED_TRACE(c.title);
    taps_.clear();
    ASSERT_TRUE(device().tapText(c.title));
    device().wait(0.5);
    ASSERT_EQ(taps_.size(), 1u);
    EXPECT_EQ(taps_.front()->tag(), c.tag);
    EXPECT_TRUE(panel_->superview());
    EXPECT_TRUE(device().viewWithText(c.title));
  }
  // The backdrop takes a tap meant for the tab bar under it, and nothing is reported.
  taps_.clear();
  const std::string before = topClass();
  auto tab = device().viewWithText("我的");
  ASSERT_TRUE(tab);
  device().tapView(tab);
  device().wait(0.5);
  EXPECT_TRUE(taps_.empty());
  EXPECT_EQ(delegate_->tabBarController()->selectedIndex(), 0u);
  EXPECT_EQ(topClass(), before);
  EXPECT_TRUE(panel_->superview());
}

TEST(ShareCellTest, TheRemarkSitsOnTheRightAndTheCellNeverShowsSelected) {
  auto cell = ThirdPartySharingTableViewCell::initWithReuseIdentifier("share"_ns);
  ASSERT_TRUE(cell->remarkLabel());
  EXPECT_EQ(cell->remarkLabel()->frame(), CGRectMake(375 - 160 - 20, 10, 160, 30));
  EXPECT_EQ(cell->remarkLabel()->superview(), cell->contentView());
  EXPECT_FALSE(cell->background());
  EXPECT_EQ(cell->selectionStyle(), UITableViewCellSelectionStyleGray);
  cell->setSelected(true, false);
  EXPECT_FALSE(cell->isSelected());
}

}  // namespace
}  // namespace zvt::test
