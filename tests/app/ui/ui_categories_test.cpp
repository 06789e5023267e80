// The UI categories and the shared views, used as a person uses them: alerts answered by
// tapping their buttons, bar items and placeholders tapped on screen.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ui/SharedViews.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSBundle.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ui/ScreenPictures.h"

namespace {

using zvt::ui::Device;

// A key window on the default screen under a virtual clock, with the application's bundle.
class UITest : public ::testing::Test {
 protected:
  void SetUp() override {
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    window->makeKeyAndVisible();
    device().settle();
  }
  void TearDown() override {
    pictures.writeIfFailed();
    window->setHidden(true);
    device().touchCancelAll();
    device().wait(1);
  }
  static Device& device() { return Device::shared(); }

  zvt::test::VirtualClockScope clock;
  std::shared_ptr<UIWindow> window;
  zvt::test::PicturesOnFailure pictures;
};

// A delegate that logs every message it hears.
class LoggingDelegate : public UIAlertViewDelegate, public NSObject {
 public:
  std::vector<std::string> log;
  bool enable = true;
  void alertViewClickedButtonAtIndex(const std::shared_ptr<UIAlertView>&, NSInteger i) override {
    log.push_back("clicked" + std::to_string(i));
  }
  void willPresentAlertView(const std::shared_ptr<UIAlertView>&) override { log.push_back("willPresent"); }
  void didPresentAlertView(const std::shared_ptr<UIAlertView>&) override { log.push_back("didPresent"); }
  void alertViewWillDismissWithButtonIndex(const std::shared_ptr<UIAlertView>&, NSInteger i) override {
    log.push_back("willDismiss" + std::to_string(i));
  }
  void alertViewDidDismissWithButtonIndex(const std::shared_ptr<UIAlertView>&, NSInteger i) override {
    log.push_back("didDismiss" + std::to_string(i));
  }
  bool alertViewShouldEnableFirstOtherButton(const std::shared_ptr<UIAlertView>&) override {
    log.push_back("shouldEnable");
    return enable;
  }
};

TEST_F(UITest, BlockAlertsAnswerWithTheTappedIndexAndForwardToTheDelegateThatWasThere) {
  struct Case {
    const char* tap;
    bool withDelegate;
    bool delegateGone;   // the previous delegate is destroyed before the tap
    NSInteger expectedIndex;
    std::vector<std::string> delegateHears;
  };
  const std::vector<Case> cases = {
      {"去看看", false, false, 1, {}},
      {"取消", false, false, 0, {}},
      {"去看看", true, false, 1, {"willPresent", "didPresent", "clicked1", "willDismiss1", "didDismiss1"}},
      {"取消", true, true, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.tap) + (c.withDelegate ? " with delegate" : "") + (c.delegateGone ? " (gone)" : ""));
    std::vector<std::string> blocks;
    auto alert = UIAlertView::initWithTitle(nullptr, "有新消息"_ns, nullptr, "取消"_ns, {"去看看"_ns});
    auto previous = std::make_shared<LoggingDelegate>();
    if (c.withDelegate) alert->setDelegate(previous);
    NSInteger tapped = -1;
    setTapBlock(alert, [&](const std::shared_ptr<UIAlertView>&, NSInteger index) {
      tapped = index;
      blocks.push_back("tap");
    });
    setWillPresentBlock(alert, [&](const std::shared_ptr<UIAlertView>&) { blocks.push_back("willPresent"); });
    setDidDismissBlock(alert, [&](const std::shared_ptr<UIAlertView>&, NSInteger) { blocks.push_back("didDismiss"); });
    alert->show();
    device().wait(0.5);
    std::vector<std::string> heard = previous->log;
    if (c.delegateGone) previous.reset();
    ASSERT_TRUE(device().tapText(c.tap));
    device().wait(0.5);
    EXPECT_EQ(tapped, c.expectedIndex);
    EXPECT_EQ(blocks, (std::vector<std::string>{"willPresent", "tap", "didDismiss"}));
    if (previous) {
      auto all = previous->log;
      all.erase(std::remove(all.begin(), all.end(), "shouldEnable"), all.end());
      EXPECT_EQ(all, c.delegateHears);
    } else {
      heard.erase(std::remove(heard.begin(), heard.end(), "shouldEnable"), heard.end());
      EXPECT_EQ(heard, (std::vector<std::string>{"willPresent", "didPresent"})) << "heard until it went";
    }
  }
}

TEST_F(UITest, TheFirstOtherButtonIsEnabledByTheBlockThenThePreviousDelegateThenYes) {
  auto previous = std::make_shared<LoggingDelegate>();
  previous->enable = false;
  auto alert = UIAlertView::initWithTitle(nullptr, "x"_ns, previous, "取消"_ns, {"好"_ns});
  setCancelBlock(alert, [](const std::shared_ptr<UIAlertView>&) {});
  EXPECT_FALSE(alert->delegate()->alertViewShouldEnableFirstOtherButton(alert)) << "the previous delegate answers";
  setShouldEnableFirstOtherButtonBlock(alert, [](const std::shared_ptr<UIAlertView>&) { return true; });
  previous->log.clear();
  EXPECT_TRUE(alert->delegate()->alertViewShouldEnableFirstOtherButton(alert));
  EXPECT_TRUE(previous->log.empty()) << "the block alone answers";
  auto plain = UIAlertView::initWithTitle(nullptr, "x"_ns, nullptr, "取消"_ns, {"好"_ns});
  setCancelBlock(plain, [](const std::shared_ptr<UIAlertView>&) {});
  EXPECT_TRUE(plain->delegate()->alertViewShouldEnableFirstOtherButton(plain));
  EXPECT_TRUE(tapBlock(plain) == nullptr && cancelBlock(plain) != nullptr);
}

TEST(LimitLength, FiltersEditsByTheirUTF16Length) {
  struct Case {
    const char* text;
    NSRange range;
    const char* replacement;
    NSInteger limit;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {"1380013800", {10, 0}, "0", 11, true},     // reaches the limit
      {"13800138000", {11, 0}, "1", 11, false},   // one beyond
      {"138", {3, 0}, "00138000999", 11, false},  // a paste that would pass the limit is refused whole
      {"13800138000", {11, 0}, "\n", 11, true},   // return is always accepted
      {"13800138000", {10, 1}, "", 11, true},     // deleting
      {"红包", {2, 0}, "😀", 3, false},            // a surrogate pair counts two units
      {"红包", {2, 0}, "😀", 4, true},
      {"", {0, 0}, "a", 0, false},               // limit 0: does the edit leave the field empty?
      {"a", {0, 1}, "", 0, true},
      {"abc", {2, 5}, "x", 11, false},           // a range beyond the text is refused, not raised
      {"abc", {9, 0}, "x", 11, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " + " + c.replacement);
    EXPECT_EQ(limitLengthWithExpectLength(nullptr, c.limit, NSString::stringWithUTF8String(c.text), c.range,
                                          NSString::stringWithUTF8String(c.replacement)),
              c.allowed);
  }
}

// A screen in a navigation controller on the window, whose bar items the device taps.
TEST_F(UITest, BarItemsRunTheirSidesBlockAndANewImageItemWithoutABlockRunsNothing) {
  auto screen = UIViewController::make();
  auto navigation = UINavigationController::initWithRootViewController(screen);
  window->setRootViewController(navigation);
  device().wait(0.5);
  std::vector<std::string> ran;
  auto image = UIImage::imageNamed("whiteReturn"_ns);
  ASSERT_TRUE(image);
  configNavigationLeftItemWith(screen, image, [&] { ran.push_back("left"); });
  configNavigationRightString(screen, "保存"_ns, UIFont::systemFontOfSize(15), [&] { ran.push_back("right"); });
  device().settle();
  EXPECT_EQ(screen->navigationItem()->leftBarButtonItem()->image()->renderingMode(), UIImageRenderingModeAlwaysOriginal);
  ASSERT_TRUE(device().tapText("保存"));
  device().tap(CGPointMake(20, 42));  // the left item, at the bar's leading edge
  EXPECT_EQ(ran, (std::vector<std::string>{"right", "left"}));

  // A new image item on the left without a block: its tap must not run the old action.
  configNavigationItemWith(screen, image, kNavItemLeft, nullptr, nullptr, nullptr);
  device().settle();
  device().tap(CGPointMake(20, 42));
  EXPECT_EQ(ran.size(), 2u);
  // A text item given no block keeps the side's block.
  configNavigationRightString(screen, "完成"_ns, UIFont::systemFontOfSize(15), nullptr);
  device().settle();
  ASSERT_TRUE(device().tapText("完成"));
  EXPECT_EQ(ran.back(), "right");
}

TEST_F(UITest, TheWhiteAndThemeBarStylesShowTheirTitlesInBlackAndWhite) {
  auto screen = UIViewController::make();
  screen->setTitle("我的订单"_ns);
  auto navigation = UINavigationController::initWithRootViewController(screen);
  window->setRootViewController(navigation);
  device().wait(0.5);
  struct Case {
    const char* style;
    void (*apply)(const std::shared_ptr<UIViewController>&);
    std::shared_ptr<UIColor> title;
    std::shared_ptr<UIColor> tint;
  } cases[] = {
      {"white", configWhiteNavigationBarStyle, UIColor::blackColor(), UIColor::whiteColor()},
      {"theme", configDefaultNavigationBarStyle, UIColor::whiteColor(), zvt::themeBarColor()},
      {"white again", configWhiteNavigationBarStyle, UIColor::blackColor(), UIColor::whiteColor()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    c.apply(screen);
    device().settle();
    auto bar = navigation->navigationBar();
    EXPECT_TRUE(bar->barTintColor()->isEqual(c.tint));
    auto shown = std::dynamic_pointer_cast<UILabel>(device().viewWithText("我的订单"));
    ASSERT_TRUE(shown);
    // What the bar's title draws: its text's own attributes.
    auto drawn = shown->attributedText()->attributesAtIndex(0, nullptr);
    auto colour = zvt::as<UIColor>(drawn->objectForKey(NSForegroundColorAttributeName));
    ASSERT_TRUE(colour);
    EXPECT_TRUE(colour->isEqual(c.title)) << colour->description()->utf8();
    auto font = zvt::as<UIFont>(drawn->objectForKey(NSFontAttributeName));
    ASSERT_TRUE(font);
    EXPECT_EQ(font->pointSize(), 19);
  }
}

TEST_F(UITest, ThePlaceholderButtonsHiddenFlagHoldsWithoutATitle) {
  zvt::registerSharedViewNibs();
  auto tip = loadFromNib<TZNoMessageTipView>();
  ASSERT_TRUE(tip);
  window->addSubview(tip);
  tip->fillViewWithImage(nullptr, nullptr, "去逛逛"_ns, false);
  device().settle();
  EXPECT_TRUE(device().viewWithText("去逛逛"));
  // No new title: the flag alone hides and shows the button again.
  const bool flags[] = {true, false, true};
  for (bool hide : flags) {
    tip->fillViewWithImage(nullptr, nullptr, nullptr, hide);
    device().settle();
    EXPECT_EQ(tip->noMessageButton()->isHidden(), hide);
    EXPECT_EQ(device().viewWithText("去逛逛") == nullptr, hide);
  }
  tip->removeFromSuperview();
}

// The rounded image's corners by their pixels: clear outside the rounding, opaque inside.
TEST(CornerRadius, RadiiAreClampedAndTheCornersAreClear) {
  UIScreen::mainScreen()->setScale(2);
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(40, 20), true, 2);
  UIColor::redColor()->setFill();
  CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 40, 20));
  auto square = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  struct Case {
    CGFloat radius;
    bool cornerClear;      // the corner pixel (0, 0)
    bool edgeMiddleClear;  // a pixel on the top edge 9 points in: clear only for a radius of 10
  };
  const std::vector<Case> cases = {{-5, false, false}, {0, false, false}, {4, true, false}, {100, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.radius);
    auto rounded = cutImageWithCornerRadius(square, c.radius);
    ASSERT_TRUE(rounded);
    EXPECT_EQ(rounded->size().width, 40);
    EXPECT_EQ(rounded->scale(), 2);
    // Draw the result into a context of known layout and read alphas.
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(40, 20), false, 2);
    rounded->drawInRect(CGRectMake(0, 0, 40, 20));
    auto context = UIGraphicsGetCurrentContext();
    auto alphaAt = [&](int x, int y) {
      const auto* row = static_cast<const uint8_t*>(CGBitmapContextGetData(context)) + y * CGBitmapContextGetBytesPerRow(context);
      return row[x * 4 + 3];
    };
    EXPECT_EQ(alphaAt(0, 0) == 0, c.cornerClear);
    EXPECT_EQ(alphaAt(4, 0) == 0, c.edgeMiddleClear);
    EXPECT_EQ(alphaAt(40, 20), 255) << "the middle stays";
    UIGraphicsEndImageContext();
  }
}

TEST_F(UITest, ThePlaceholderViewsButtonRetriesOrReportsByItsTitle) {
  zvt::registerSharedViewNibs();
  struct Case {
    const char* buttonTitle;
    const char* expected;
  };
  for (const Case& c : std::vector<Case>{{"点击重试", "retry"}, {"去逛逛", "myBlock"}}) {
    auto tip = loadFromNib<TZNoMessageTipView>();
    ASSERT_TRUE(tip);
    EXPECT_EQ(tip->noMessageButton()->layer()->properties().borderWidth, 1) << "awakeFromNib bordered the button";
    tip->fillViewWithImage(UIImage::imageNamed("noSignal"_ns),
                           NSAttributedString::initWithString("亲，您的手机网络不顺畅哦~"_ns),
                           NSString::stringWithUTF8String(c.buttonTitle), false);
    tip->fillViewWithImage(nullptr, nullptr, nullptr, false);  // nil leaves everything
    std::string ran;
    tip->setRefreshBlock([&](const id&) { ran = "retry"; });
    tip->setMyBlock([&](const id&) { ran = "myBlock"; });
    window->addSubview(tip);
    device().settle();
    ASSERT_TRUE(device().tapText(c.buttonTitle));
    EXPECT_EQ(ran, c.expected);
    EXPECT_TRUE(device().viewWithText("亲，您的手机网络不顺畅哦~"));
    tip->removeFromSuperview();
  }
}

}  // namespace
