// Pull-to-refresh on a list as a person uses it: pulling the header down and letting go,
// scrolling to the end until the footer loads, on the virtual clock; the headers' texts and
// frames; the footers' states; pictures of a list mid-pull and while refreshing; on a grid, ends
// that show 0.1 s later and end only their own refresh.

#include <gtest/gtest.h>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSCalendar.h"
#include "platform/foundation/NSTimeZone.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "tests/platform/uikit/UIKitTestSupport.h"
#include "tests/support/TempHome.h"
#include "ui/refresh/PRRefreshBackFooter.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace {

using zvt::uitest::Screen;

std::shared_ptr<NSString> ns(const char* s) { return NSString::stringWithUTF8String(s); }
std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : ""; }

class Rows : public UITableViewDataSource {
 public:
  NSInteger rows = 20;
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return rows; }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& path) override {
    auto cell = table->dequeueReusableCellWithIdentifier("row"_ns);
    if (!cell) cell = UITableViewCell::initWithStyle<UITableViewCell>(UITableViewCellStyleDefault, "row"_ns);
    cell->textLabel()->setText(NSString::stringWithFormat("商品 %ld", static_cast<long>(path->row() + 1)));
    return cell;
  }
};

// A footer that notes the time it began loading.
class TimedFooter : public TZPRRefreshAutoNormalFooter {
 public:
  double beganAt = -1;
  void setState(NSInteger state) override {
    if (state == PRRefreshStateRefreshing && this->state() != state) beganAt = Clock::nowNanos() / 1e9;
    TZPRRefreshAutoNormalFooter::setState(state);
  }
};

double now() { return Clock::nowNanos() / 1e9; }

class PullToRefresh : public ::testing::Test {
 protected:
  void SetUp() override {
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    // A 480-point list just below the status bar (its last 20 points run off the screen).
    table = UITableView::initWithFrame(CGRectMake(0, 20, 320, 480));
    table->setBackgroundColor(UIColor::whiteColor());
    screen.window->setBackgroundColor(UIColor::whiteColor());
    table->setRowHeight(44);
    table->setDataSource(rows);
    screen.window->addSubview(table);
    header = PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>([this] { headerCalls.push_back(now()); });
    footer = PRRefreshFooter::footerWithRefreshingBlock<TimedFooter>([this] { footerCalls.push_back(now()); });
    setPr_header(table, header);
    setPr_footer(table, footer);
    table->reloadData();
    device().settle();
  }
  void TearDown() override {
    // Nothing scheduled may reach the test's records once it has ended.
    if (header) header->setRefreshingBlock(nullptr);
    if (footer) footer->setRefreshingBlock(nullptr);
    table->removeFromSuperview();
    zvt::setMainBundlePath("");
  }
  zvt::ui::Device& device() { return screen.device(); }
  // A finger pulls the list down until its offset reaches `offsetY` and holds there.
  zvt::ui::Device::Finger pullTo(CGFloat offsetY) {
    fingerAt = CGPointMake(160, 100);
    auto finger = device().touchDown(fingerAt);
    moveWhile(finger, 2, [&] { return table->contentOffset().y > offsetY; });
    return finger;
  }
  void moveWhile(zvt::ui::Device::Finger finger, CGFloat step, const std::function<bool()>& condition) {
    for (int i = 0; i < 600 && condition(); ++i) {
      fingerAt.y += step;
      device().wait(1.0 / 60);
      device().touchMove(finger, fingerAt);
    }
  }
  void letGoStill(zvt::ui::Device::Finger finger) {
    device().wait(0.2);
    device().touchUp(finger);
  }

  zvt::test::TempHome home;
  Screen screen;
  std::shared_ptr<Rows> rows = std::make_shared<Rows>();
  std::shared_ptr<UITableView> table;
  std::shared_ptr<PRRefreshNormalHeader> header;
  std::shared_ptr<TimedFooter> footer;
  std::vector<double> headerCalls, footerCalls;
  CGPoint fingerAt{};
};

TEST_F(PullToRefresh, PullingTheHeaderPastItsHeightAndLettingGoRefreshes) {
  // Above the content, out of sight at rest.
  EXPECT_EQ(text(header->stateLabel()->text()), "下拉可以刷新");
  EXPECT_EQ(text(header->lastUpdatedTimeLabel()->text()), "最后更新：无记录");
  EXPECT_EQ(header->frame().origin.y, -54);
  auto finger = pullTo(-60);
  EXPECT_LE(table->contentOffset().y, -60);
  EXPECT_EQ(header->state(), PRRefreshStatePulling);
  EXPECT_TRUE(device().viewWithText("松开立即刷新"));
  device().wait(0.3);  // held: the arrow has turned
  zvt::test::writeScreenPicture("refresh-table-mid-pull");

  letGoStill(finger);
  // The content starts back at the next frame: the header opens from there.
  for (int i = 0; i < 10 && header->state() != PRRefreshStateRefreshing; ++i) device().wait(1.0 / 60);
  ASSERT_EQ(header->state(), PRRefreshStateRefreshing);
  double released = now();
  device().wait(0.24);
  EXPECT_TRUE(headerCalls.empty());
  device().wait(0.02);
  ASSERT_EQ(headerCalls.size(), 1u);
  EXPECT_NEAR(headerCalls[0] - released, 0.25, 1e-6);
  EXPECT_EQ(table->contentInset().top, 54);
  EXPECT_EQ(table->contentOffset().y, -54);
  EXPECT_TRUE(device().viewWithText("正在刷新数据中..."));
  zvt::test::writeScreenPicture("refresh-table-refreshing");

  header->endRefreshing();
  ASSERT_TRUE(header->lastUpdatedTime());
  // The header closes over 0.4 s (the content slides up as a person sees it); then the arrow
  // is back in place of the spinner.
  EXPECT_EQ(table->contentInset().top, 0);
  device().wait(0.2);
  CGFloat shown = table->layer()->presentationLayer()->bounds().origin.y;
  EXPECT_GT(shown, -54);
  EXPECT_LT(shown, 0);
  device().wait(0.19);
  EXPECT_TRUE(header->arrowView()->isHidden());
  EXPECT_TRUE(header->loadingView()->isAnimating());
  device().wait(0.02);
  EXPECT_FALSE(header->arrowView()->isHidden());
  EXPECT_FALSE(header->loadingView()->isAnimating());
  EXPECT_EQ(header->pullingPercent(), 0);
  EXPECT_EQ(table->contentOffset().y, 0);
  EXPECT_EQ(text(header->lastUpdatedTimeLabel()->text()).rfind("最后更新：今天 ", 0), 0u);
  device().wait(1);
  EXPECT_EQ(headerCalls.size(), 1u);
}

TEST_F(PullToRefresh, APullThatEndsBeforeTheThresholdDoesNotRefresh) {
  auto finger = pullTo(-70);
  EXPECT_EQ(header->state(), PRRefreshStatePulling);
  // Back above the threshold while still dragging.
  moveWhile(finger, -2, [&] { return table->contentOffset().y < -30; });
  EXPECT_EQ(header->state(), PRRefreshStateIdle);
  letGoStill(finger);
  device().waitUntilStill(table);
  EXPECT_EQ(header->state(), PRRefreshStateIdle);
  EXPECT_TRUE(headerCalls.empty());
  EXPECT_LT(header->pullingPercent(), 1);
  EXPECT_EQ(table->contentInset().top, 0);
  // endRefreshing on an idle header stores nothing.
  header->endRefreshing();
  EXPECT_FALSE(header->lastUpdatedTime());
}

TEST_F(PullToRefresh, ARefreshEndedWhileTheFingerPullsLeavesThePullToTheFinger) {
  // A list's earlier load ends (endRefreshing on both controls) while a person is pulling.
  auto finger = pullTo(-70);
  ASSERT_EQ(header->state(), PRRefreshStatePulling);
  header->endRefreshing();
  footer->endRefreshing();
  EXPECT_EQ(header->state(), PRRefreshStatePulling);
  EXPECT_TRUE(device().viewWithText("松开立即刷新"));
  EXPECT_FALSE(header->lastUpdatedTime()) << "no refresh has ended";
  letGoStill(finger);
  device().wait(0.5);
  EXPECT_EQ(header->state(), PRRefreshStateRefreshing);
  EXPECT_EQ(headerCalls.size(), 1u) << "letting go refreshes";
}

TEST_F(PullToRefresh, ScrollingToTheEndLoadsTheNextPageHalfASecondLater) {
  EXPECT_EQ(table->contentInset().bottom, 44);
  EXPECT_EQ(footer->frame().origin.y, 880);
  // Halfway down nothing loads; at the end the whole footer comes into view and it loads.
  device().dragView(table, CGPointMake(0, -200), 0.3);
  device().waitUntilStill(table);
  EXPECT_EQ(footer->state(), PRRefreshStateIdle);
  device().dragView(table, CGPointMake(0, -400), 0.4);
  ASSERT_EQ(footer->state(), PRRefreshStateRefreshing);
  EXPECT_TRUE(device().viewWithText("正在加载更多的数据..."));
  device().wait(1);
  ASSERT_EQ(footerCalls.size(), 1u);
  EXPECT_NEAR(footerCalls[0] - footer->beganAt, 0.5, 1e-6);
  footer->endRefreshing();
  EXPECT_EQ(footer->state(), PRRefreshStateIdle);

  footer->endRefreshingWithNoMoreData();
  EXPECT_TRUE(device().viewWithText("已经全部加载完毕"));
  device().dragView(table, CGPointMake(0, 300), 0.3);
  device().dragView(table, CGPointMake(0, -400), 0.3);
  device().tapText("已经全部加载完毕");
  device().wait(1);
  EXPECT_EQ(footer->state(), PRRefreshStateNoMoreData);
  EXPECT_EQ(footerCalls.size(), 1u);
  // Set back to idle, it loads again.
  footer->setState(PRRefreshStateIdle);
  EXPECT_TRUE(device().tapText("点击或上拉加载更多"));
  device().wait(0.6);
  EXPECT_EQ(footerCalls.size(), 2u);
}

TEST_F(PullToRefresh, AnEmptyListHidesTheFooterAndTakesItsInsetBack) {
  struct Step {
    NSInteger rows;
    bool hidden;
    CGFloat insetBottom;
  } steps[] = {{0, true, 0}, {0, true, 0}, {20, false, 44}, {5, false, 44}, {0, true, 0}};
  for (const auto& s : steps) {
    rows->rows = s.rows;
    table->reloadData();
    EXPECT_EQ(footer->isHidden(), s.hidden) << s.rows;
    EXPECT_EQ(table->contentInset().bottom, s.insetBottom) << s.rows;
  }
  // Short content: lifting the finger after a drag that leaves it in place loads.
  rows->rows = 3;
  table->reloadData();
  device().dragView(table, CGPointMake(0, -40), 0.2);
  device().wait(0.6);
  EXPECT_EQ(footerCalls.size(), 1u);
}

// How each setting changes what starts a load: (setting, drag up in points, loads).
TEST_F(PullToRefresh, FooterSettingsDecideWhatStartsALoad) {
  struct Case {
    const char* name;
    std::function<void(PRRefreshAutoFooter&)> set;
    CGFloat drag;
    bool loads;
  } cases[] = {
      {"default: a short scroll does not load", [](PRRefreshAutoFooter&) {}, -150, false},
      {"-20 footer heights: any scroll up loads",
       [](PRRefreshAutoFooter& f) { f.setTriggerAutomaticallyRefreshPercent(-20); }, -150, true},
      {"no automatic refresh: only the end of the content loads",
       [](PRRefreshAutoFooter& f) {
         f.setTriggerAutomaticallyRefreshPercent(-20);
         f.setAutomaticallyRefresh(false);
       },
       -150, false},
      {"hidden: nothing loads",
       [](PRRefreshAutoFooter& f) {
         f.setTriggerAutomaticallyRefreshPercent(-20);
         f.setHidden(true);
       },
       -150, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    table->setContentOffset(CGPointZero, false);
    footer->setHidden(false);
    footer->setState(PRRefreshStateIdle);
    footer->setTriggerAutomaticallyRefreshPercent(1);
    footer->setAutomaticallyRefresh(true);
    c.set(*footer);
    device().dragView(table, CGPointMake(0, c.drag), 0.3);
    EXPECT_EQ(footer->state() == PRRefreshStateRefreshing, c.loads);
    device().waitUntilStill(table);
  }
  // Hiding twice, or showing a shown footer, changes no inset.
  footer->setHidden(false);
  footer->setHidden(false);
  EXPECT_EQ(table->contentInset().bottom, 44);
  footer->setHidden(true);
  footer->setHidden(true);
  EXPECT_EQ(table->contentInset().bottom, 0);
}

TEST_F(PullToRefresh, AHiddenFooterIsIdleAgainWhateverItShowedBefore) {
  struct Case {
    const char* what;
    std::function<void()> hide;
  } cases[] = {
      {"hidden by the screen", [this] { footer->setHidden(true); }},
      {"hidden by an empty reload", [this] {
         rows->rows = 0;
         table->reloadData();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    rows->rows = 20;
    table->reloadData();
    footer->setHidden(false);
    for (NSInteger shown : {PRRefreshStateNoMoreData, PRRefreshStateRefreshing}) {
      footer->setHidden(false);
      footer->setState(shown);
      c.hide();
      EXPECT_TRUE(footer->isHidden());
      EXPECT_EQ(footer->state(), PRRefreshStateIdle) << shown;
      EXPECT_EQ(table->contentInset().bottom, 0) << shown;
      rows->rows = 20;
      table->reloadData();
    }
  }
  device().wait(1);
}

TEST_F(PullToRefresh, TheAutomaticFooterDoesNotLoadWhileTheListScrollsBackDown) {
  // Loading as early as the screens ask for it: any move up loads, a move down never does.
  table->setContentOffset(CGPointMake(0, 300), false);
  device().settle();
  footer->setTriggerAutomaticallyRefreshPercent(-20);
  EXPECT_EQ(footer->state(), PRRefreshStateIdle);
  device().dragView(table, CGPointMake(0, 150), 0.4);
  EXPECT_EQ(footer->state(), PRRefreshStateIdle) << "scrolling back towards the top";
  device().waitUntilStill(table);
  EXPECT_EQ(footer->state(), PRRefreshStateIdle);
  device().dragView(table, CGPointMake(0, -60), 0.3);
  EXPECT_EQ(footer->state(), PRRefreshStateRefreshing) << "scrolling on towards the end";
  device().wait(1);
  EXPECT_EQ(footerCalls.size(), 1u);
}

TEST_F(PullToRefresh, AnOpenHeaderTakesAtMostItsHeightOverTheOriginalInset) {
  table->setContentInset(UIEdgeInsetsMake(10, 0, 44, 0));
  table->setContentOffset(CGPointMake(0, -10), false);  // a scroll lets the header see the new inset
  header->beginRefreshing();
  device().wait(0.5);
  ASSERT_EQ(header->state(), PRRefreshStateRefreshing);
  EXPECT_EQ(table->contentInset().top, 64);
  // Pulled on further while open: the inset stays at the header's height over the original.
  auto finger = pullTo(-140);
  EXPECT_LE(table->contentOffset().y, -140);
  EXPECT_EQ(table->contentInset().top, 64);
  letGoStill(finger);
  device().waitUntilStill(table);
  EXPECT_EQ(table->contentInset().top, 64);
  // Scrolled up, the inset shrinks towards the original, never below it.
  table->setContentOffset(CGPointMake(0, 200), false);
  EXPECT_EQ(table->contentInset().top, 10);
  table->setContentOffset(CGPointMake(0, -30), false);
  EXPECT_EQ(table->contentInset().top, 30);
  header->endRefreshing();
  device().wait(0.5);
  EXPECT_EQ(table->contentInset().top, 10);
}

TEST_F(PullToRefresh, WithoutItsTitleTheSpinnerMovesToTheCentre) {
  footer->setRefreshingTitleHidden(true);
  footer->beginRefreshing();
  footer->setNeedsLayout();
  footer->layoutIfNeeded();
  EXPECT_EQ(text(footer->stateLabel()->text()), "");
  EXPECT_EQ(footer->loadingView()->center().x, 160);
  footer->setRefreshingTitleHidden(false);
  footer->setNeedsLayout();
  footer->layoutIfNeeded();
  EXPECT_EQ(footer->loadingView()->center().x, 60);
}

// The delayed callback belongs to the load that began it: ended, or taken off the list, the
// footer does not call back.
TEST_F(PullToRefresh, AFooterCallsBackOnlyWhileItsLoadIsStillGoing) {
  footer->beginRefreshing();
  device().wait(0.2);
  footer->endRefreshing();
  device().wait(0.5);
  EXPECT_TRUE(footerCalls.empty());

  footer->beginRefreshing();
  device().wait(0.2);
  footer->removeFromSuperview();
  device().wait(0.5);
  EXPECT_TRUE(footerCalls.empty());
}

// A footer taken off its list disarms the reload hook it set and forgets the list; the slots
// read nil once their controls are gone.
TEST_F(PullToRefresh, RemovedControlsLeaveNothingBehind) {
  std::weak_ptr<TimedFooter> weakFooter = footer;
  footer->removeFromSuperview();
  EXPECT_FALSE(table->reloadDataBlock());
  EXPECT_FALSE(footer->scrollView());
  EXPECT_EQ(table->contentInset().bottom, 0);
  rows->rows = 0;
  table->reloadData();
  EXPECT_FALSE(footer->isHidden());
  footer.reset();
  EXPECT_TRUE(weakFooter.expired());
  EXPECT_FALSE(pr_footer(table));

  header->removeFromSuperview();
  header.reset();
  EXPECT_FALSE(pr_header(table));
}

TEST_F(PullToRefresh, HeaderSlotReplacesAndControlsIgnoreWhatTheyShouldNot) {
  auto second = PRRefreshHeader::headerWithRefreshingBlock<TZPRRefreshNormalHeader>(nullptr);
  setPr_header(table, second);
  EXPECT_FALSE(header->superview());
  EXPECT_EQ(table->subviews().front(), second);
  setPr_header(table, second);
  EXPECT_EQ(pr_header(table), second);
  // No interaction: the pull is not followed.
  second->setUserInteractionEnabled(false);
  auto finger = pullTo(-80);
  EXPECT_EQ(second->state(), PRRefreshStateIdle);
  device().touchUp(finger);
  device().waitUntilStill(table);
  // Not in a window: will refresh until drawn.
  auto loose = PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>(nullptr);
  loose->beginRefreshing();
  EXPECT_EQ(loose->state(), PRRefreshStateWillRefresh);
  EXPECT_TRUE(loose->isRefreshing());
  int calls = 0;
  setPr_header(table, PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>([&] { ++calls; }));
  pr_header(table)->beginRefreshing();
  device().wait(0.3);
  EXPECT_EQ(calls, 1);
}

TEST_F(PullToRefresh, TheAnimatedHeaderFollowsThePullWithItsFrames) {
  auto gif = PRRefreshHeader::headerWithRefreshingBlock<TZPRRefreshGifHeader>(nullptr);
  setPr_header(table, gif);
  device().settle();
  ASSERT_TRUE(gif->imagesForState(PRRefreshStateIdle));
  ASSERT_EQ(gif->imagesForState(PRRefreshStateIdle)->size(), 34u);
  struct Case {
    double percent;
    const char* frame;
  } cases[] = {{0.5, "dropdown_anim__00017"}, {0.0, "dropdown_anim__0000"}, {-1, "dropdown_anim__0000"},
               {0.99, "dropdown_anim__00033"}, {3.0, "dropdown_anim__00033"}};
  for (const auto& c : cases) {
    gif->setPullingPercent(c.percent);
    EXPECT_EQ(gif->gifView()->image(), UIImage::imageNamed(ns(c.frame))) << c.percent;
  }
  EXPECT_EQ(gif->gifView()->contentMode(), UIViewContentModeCenter);
  gif->setState(PRRefreshStateRefreshing);
  EXPECT_TRUE(gif->gifView()->isAnimating());
  EXPECT_EQ(gif->gifView()->animationDuration(), 0.6);
}

// The back footer: pulled up past its height below the content and let go, it is held in view
// by the bottom inset until the load ends.
TEST_F(PullToRefresh, TheBackFooterIsPulledUpLikeAHeaderTurnedOver) {
  int calls = 0;
  auto back = PRRefreshFooter::footerWithRefreshingBlock<PRRefreshBackNormalFooter>([&] { ++calls; });
  setPr_footer(table, back);
  EXPECT_EQ(table->contentInset().bottom, 0) << "the automatic footer took its inset away";
  EXPECT_EQ(back->frame().origin.y, 880);
  table->setContentOffset(CGPointMake(0, 400), false);
  fingerAt = CGPointMake(160, 400);
  auto finger = device().touchDown(fingerAt);
  moveWhile(finger, -2, [&] { return table->contentOffset().y < 450; });
  EXPECT_EQ(back->state(), PRRefreshStatePulling);
  EXPECT_TRUE(device().viewWithText("松开立即加载更多"));
  letGoStill(finger);
  for (int i = 0; i < 10 && back->state() != PRRefreshStateRefreshing; ++i) device().wait(1.0 / 60);
  ASSERT_EQ(back->state(), PRRefreshStateRefreshing);
  device().wait(0.26);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(table->contentInset().bottom, 44);
  EXPECT_EQ(table->contentOffset().y, 444);
  EXPECT_EQ(back->lastRefreshCount(), 20);
  back->endRefreshing();
  device().wait(0.41);
  EXPECT_EQ(table->contentInset().bottom, 0);
  EXPECT_EQ(back->state(), PRRefreshStateIdle);
  back->setRefreshingBlock(nullptr);
}

TEST(RefreshHeaderTimes, LastUpdatedTextsUnderAFixedClockAndZone) {
  zvt::test::TempHome home;
  NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName("Asia/Shanghai"_ns));
  // 2026-12-07 10:30 in Shanghai.
  const double today = 1796610600;
  zvt::test::VirtualClockScope clock(today);
  auto header = PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>(nullptr);
  auto defaults = NSUserDefaults::standardUserDefaults();
  struct Case {
    double at;
    const char* shown;
  } cases[] = {{today - 2 * 3600 - 25 * 60, "最后更新：今天 08:05"},
               {today - 86400, "最后更新：12-06 10:30"},
               {today - 30 * 86400 + 0, "最后更新：11-07 10:30"},
               {today - 365 * 86400, "最后更新：2025-12-07 10:30"},
               {-1, "最后更新：无记录"}};
  for (const auto& c : cases) {
    auto key = "TimesTestKey"_ns;
    if (c.at < 0)
      defaults->removeObjectForKey(key);
    else
      defaults->setObject(NSDate::dateWithTimeIntervalSince1970(c.at), key);
    header->setLastUpdatedTimeKey(key);
    EXPECT_EQ(text(header->lastUpdatedTimeLabel()->text()), c.shown);
  }
  header->setLastUpdatedTimeText([](const std::shared_ptr<NSDate>& d) { return ns(d ? "有" : "无"); });
  header->setLastUpdatedTimeKey("TimesTestKey"_ns);
  EXPECT_EQ(text(header->lastUpdatedTimeLabel()->text()), "无");
  NSTimeZone::setDefaultTimeZone(nullptr);
}

TEST(RefreshTexts, TitlesByState) {
  auto header = PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>(nullptr);
  auto footer = PRRefreshFooter::footerWithRefreshingBlock<PRRefreshAutoNormalFooter>(nullptr);
  struct Case {
    NSInteger state;
    const char* header;
    const char* footer;
  } cases[] = {{PRRefreshStateIdle, "下拉可以刷新", "点击或上拉加载更多"},
               {PRRefreshStatePulling, "松开立即刷新", ""},
               {PRRefreshStateRefreshing, "正在刷新数据中...", "正在加载更多的数据..."},
               {PRRefreshStateNoMoreData, "", "已经全部加载完毕"}};
  for (const auto& c : cases) {
    header->setState(c.state);
    footer->setState(c.state);
    EXPECT_EQ(text(header->stateLabel()->text()), c.header) << c.state;
    EXPECT_EQ(text(footer->stateLabel()->text()), c.footer) << c.state;
  }
  header->setTitle(ns(""), PRRefreshStateNoMoreData);
  header->setTitle(nullptr, PRRefreshStateNoMoreData);
  EXPECT_EQ(text(header->titleForState(PRRefreshStateNoMoreData)), "");
  footer->setRefreshingTitleHidden(true);
  footer->setState(PRRefreshStateRefreshing);
  EXPECT_EQ(text(footer->stateLabel()->text()), "");
}

}  // namespace

namespace {

// The header refreshes only when let go pulled past its whole height (54 points); a pull that
// ends anywhere short of that springs back without a refresh, however close it came.
TEST_F(PullToRefresh, OnlyAPullPastTheWholeHeaderRefreshes) {
  const struct {
    CGFloat pulledTo;
    bool refreshes;
  } cases[] = {{-20, false}, {-40, false}, {-47, false}, {-53, false}, {-56, true}, {-70, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pulledTo);
    headerCalls.clear();
    auto finger = pullTo(c.pulledTo);
    const CGFloat offset = table->contentOffset().y;
    ASSERT_LE(offset, c.pulledTo);
    ASSERT_GT(offset, c.pulledTo - 1) << "held where the case says";
    EXPECT_EQ(header->state(), c.refreshes ? PRRefreshStatePulling : PRRefreshStateIdle);
    EXPECT_EQ(text(header->stateLabel()->text()), c.refreshes ? "松开立即刷新" : "下拉可以刷新");
    letGoStill(finger);
    device().wait(1);
    EXPECT_EQ(headerCalls.size(), c.refreshes ? 1u : 0u);
    EXPECT_EQ(header->isRefreshing(), c.refreshes);
    header->endRefreshing();
    device().wait(1);
    device().waitUntilStill(table);
    ASSERT_EQ(header->state(), PRRefreshStateIdle);
    ASSERT_EQ(table->contentOffset().y, 0);
  }
}

}  // namespace

namespace {

class Items : public UICollectionViewDataSource {
 public:
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>&, NSInteger) override {
    return 20;
  }
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& view, const std::shared_ptr<NSIndexPath>& path) override {
    return view->dequeueReusableCellWithReuseIdentifier("item"_ns, path);
  }
};

// A grid as the product store shows one, with a header and a back footer: on a collection view
// an end shows 0.1 s later, and it ends only the refresh it was asked for.
class GridRefresh : public ::testing::Test {
 protected:
  struct Grid {
    std::shared_ptr<UICollectionView> view;
    std::shared_ptr<PRRefreshNormalHeader> header;
    std::shared_ptr<PRRefreshBackNormalFooter> footer;
    std::shared_ptr<Items> items = std::make_shared<Items>();
    int calls = 0;
    explicit Grid(const Screen& screen) {
      auto layout = UICollectionViewFlowLayout::make();
      layout->setItemSize(CGSizeMake(150, 150));
      view = UICollectionView::initWithFrame(CGRectMake(0, 20, 320, 480), layout);
      view->registerClass<UICollectionViewCell>("item"_ns);
      view->setDataSource(items);
      screen.window->addSubview(view);
      header = PRRefreshHeader::headerWithRefreshingBlock<PRRefreshNormalHeader>([this] { ++calls; });
      footer = PRRefreshFooter::footerWithRefreshingBlock<PRRefreshBackNormalFooter>([this] { ++calls; });
      setPr_header(view, header);
      setPr_footer(view, footer);
      view->reloadData();
      Screen::device().settle();
    }
    ~Grid() {
      header->setRefreshingBlock(nullptr);
      footer->setRefreshingBlock(nullptr);
      view->removeFromSuperview();
    }
  };

  zvt::test::TempHome home;
  Screen screen;
};

TEST_F(GridRefresh, AnEndShowsLaterAndEndsOnlyTheRefreshItWasAskedFor) {
  using Step = std::function<void(PRRefreshComponent&)>;
  const Step end = [](PRRefreshComponent& c) { c.endRefreshing(); };
  const Step begin = [](PRRefreshComponent& c) { c.beginRefreshing(); };
  const Step noMore = [](PRRefreshComponent& c) { static_cast<PRRefreshFooter&>(c).noticeNoMoreData(); };
  const NSInteger R = PRRefreshStateRefreshing, I = PRRefreshStateIdle, N = PRRefreshStateNoMoreData;
  // Each case: the control, whether a refresh runs when it starts, the calls 0.05 s apart, the
  // state 0.04 s after the last call (an end asked last still waits) and 1 s after it, and the
  // callbacks the calls brought.
  const struct Case {
    const char* what;
    bool footer;
    bool running;
    std::vector<Step> steps;
    NSInteger waiting, settled;
    int calls;
  } cases[] = {
      {"header: an end shows 0.1 s later", false, true, {end}, R, I, 0},
      {"header: end, then begin: the new refresh stays", false, true, {end, begin}, R, R, 1},
      {"header: end, begin, end: the second end closes it", false, true, {end, begin, end}, R, I, 1},
      {"header: begin, then end", false, false, {begin, end}, R, I, 1},
      {"header: end twice", false, true, {end, end}, R, I, 0},
      {"footer: an end shows 0.1 s later", true, true, {end}, R, I, 0},
      {"footer: end, then begin: the new refresh stays", true, true, {end, begin}, R, R, 1},
      {"footer: end, begin, end: the second end closes it", true, true, {end, begin, end}, R, I, 1},
      {"footer: begin, then end", true, false, {begin, end}, R, I, 1},
      {"footer: end twice", true, true, {end, end}, R, I, 0},
      {"footer: no more data shows 0.1 s later", true, true, {noMore}, R, N, 0},
      {"footer: end, then no more data", true, true, {end, noMore}, R, N, 0},
      {"footer: no more data, then begin", true, true, {noMore, begin}, R, R, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Grid grid(screen);
    PRRefreshComponent& control = c.footer ? static_cast<PRRefreshComponent&>(*grid.footer) : *grid.header;
    auto spinner = c.footer ? grid.footer->loadingView() : grid.header->loadingView();
    if (c.running) {
      control.beginRefreshing();
      screen.device().wait(1);
      ASSERT_EQ(grid.calls, 1);
      grid.calls = 0;
    }
    for (size_t i = 0; i < c.steps.size(); ++i) {
      if (i > 0) screen.device().wait(0.05);
      c.steps[i](control);
    }
    screen.device().wait(0.04);
    EXPECT_EQ(control.state(), c.waiting);
    screen.device().wait(0.96);
    EXPECT_EQ(control.state(), c.settled);
    EXPECT_EQ(grid.calls, c.calls);
    // What shows follows the state: a refresh that stays is open with its spinner turning.
    const bool open = c.settled == R;
    EXPECT_EQ(spinner->isAnimating(), open);
    if (open) {
      EXPECT_EQ(spinner->alpha(), 1.0);
      EXPECT_EQ(control.pullingPercent(), 1.0);
    }
    if (c.footer)
      EXPECT_EQ(grid.view->contentInset().bottom > 0, open);
    else
      EXPECT_EQ(grid.view->contentInset().top, open ? 54 : 0);
  }
}

// A person has the grid pulled a little when a load's end is asked, and pulls on quickly past
// the header's height: whether let go within the delay or held past it, that end does not
// take the refresh the release begins.
TEST_F(GridRefresh, APullWhileAnEndWaitsRefreshesWhenLetGo) {
  const struct {
    const char* what;
    double held;
  } cases[] = {{"let go within the delay", 0}, {"held past the delay", 0.2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Grid grid(screen);
    CGPoint at = CGPointMake(160, 100);
    auto finger = screen.device().touchDown(at);
    auto pull = [&](CGFloat step, CGFloat offsetY) {
      for (int i = 0; i < 600 && grid.view->contentOffset().y > offsetY; ++i) {
        at.y += step;
        screen.device().wait(1.0 / 60);
        screen.device().touchMove(finger, at);
      }
    };
    pull(2, -30);
    ASSERT_EQ(grid.header->state(), PRRefreshStateIdle);
    grid.header->endRefreshing();
    grid.footer->endRefreshing();
    const double asked = now();
    pull(30, -70);
    screen.device().wait(c.held);
    ASSERT_EQ(grid.header->state(), PRRefreshStatePulling);
    screen.device().touchUp(finger);
    for (int i = 0; i < 5 && grid.header->state() != PRRefreshStateRefreshing; ++i)
      screen.device().wait(1.0 / 60);
    ASSERT_EQ(grid.header->state(), PRRefreshStateRefreshing);
    ASSERT_EQ(now() - asked < 0.1, c.held == 0);
    screen.device().wait(1);
    EXPECT_EQ(grid.header->state(), PRRefreshStateRefreshing);
    EXPECT_EQ(grid.calls, 1);
    // Asked to begin while it runs (as a screen does when its list is chosen again), it goes on:
    // the end from before has no say any more.
    grid.header->beginRefreshing();
    screen.device().wait(1);
    EXPECT_EQ(grid.header->state(), PRRefreshStateRefreshing);
    EXPECT_EQ(grid.calls, 1);
    EXPECT_TRUE(grid.header->loadingView()->isAnimating());
    EXPECT_TRUE(screen.device().viewWithText("正在刷新数据中..."));
  }
}

// An automatic footer's load ended and begun again before the first callback was due: the
// callback comes once, 0.5 s after the load that is going on began.
TEST_F(PullToRefresh, AFooterBegunAgainBeforeItsCallbackCallsBackOnceForTheNewLoad) {
  footer->beginRefreshing();
  device().wait(0.2);
  footer->endRefreshing();
  device().wait(0.1);
  footer->beginRefreshing();
  const double began = now();
  device().wait(1);
  ASSERT_EQ(footerCalls.size(), 1u);
  EXPECT_NEAR(footerCalls[0] - began, 0.5, 1e-6);
}

}  // namespace
