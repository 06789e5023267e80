// Scroll views moved by the device's finger on the virtual clock: the physics, the delegate's
// order and what observers hear.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableView.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

namespace {

using zvt::ui::Device;
using zvt::uitest::Log;
using zvt::uitest::Screen;

// Logs the delegate's calls and what observers hear; runs of "scroll" collapse into "scroll+".
class Recorder : public UIScrollViewDelegate, public zvt::ui::ScrollViewObserver {
 public:
  std::vector<std::string> calls;
  std::vector<CGPoint> offsets;  // every offset observers heard, in order
  std::vector<std::pair<CGFloat, CGFloat>> insetTops, heights;
  std::vector<UIGestureRecognizerState> panStates;
  CGPoint velocity{}, target{};
  // Every did scroll, and every change observers heard: the two go together.
  int scrolls = 0, changes = 0;
  std::function<void(UIScrollView&)> onScroll;
  std::function<void(CGPoint*)> changeTarget;

  void add(const std::string& call) {
    if (call == "scroll" && !calls.empty() && (calls.back() == "scroll" || calls.back() == "scroll+")) {
      calls.back() = "scroll+";
      return;
    }
    calls.push_back(call);
  }
  std::string joined() const {
    std::string out;
    for (const auto& c : calls) out += (out.empty() ? "" : " ") + c;
    return out;
  }
  void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& s) override {
    ++scrolls;
    add("scroll");
    if (onScroll) onScroll(*s);
  }
  void scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>&) override { add("willBeginDragging"); }
  void scrollViewWillEndDragging(const std::shared_ptr<UIScrollView>&, CGPoint v, CGPoint* t) override {
    velocity = v;
    if (changeTarget) changeTarget(t);
    target = *t;
    add("willEndDragging");
  }
  void scrollViewDidEndDragging(const std::shared_ptr<UIScrollView>&, bool decelerate) override {
    add(decelerate ? "didEndDragging(decelerate)" : "didEndDragging");
  }
  void scrollViewWillBeginDecelerating(const std::shared_ptr<UIScrollView>&) override { add("willBeginDecelerating"); }
  void scrollViewDidEndDecelerating(const std::shared_ptr<UIScrollView>&) override { add("didEndDecelerating"); }
  void scrollViewDidEndScrollingAnimation(const std::shared_ptr<UIScrollView>&) override {
    add("didEndScrollingAnimation");
  }
  bool scrollViewShouldScrollToTop(const std::shared_ptr<UIScrollView>&) override {
    add("shouldScrollToTop");
    return true;
  }
  void scrollViewDidScrollToTop(const std::shared_ptr<UIScrollView>&) override { add("didScrollToTop"); }

  void scrollViewContentOffsetDidChange(UIScrollView&, CGPoint old, CGPoint now) override {
    if (old != now) ++changes;
    if (offsets.empty() || offsets.back() != old) offsets.push_back(old);
    offsets.push_back(now);
  }
  void scrollViewContentInsetDidChange(UIScrollView&, UIEdgeInsets old, UIEdgeInsets now) override {
    insetTops.emplace_back(old.top, now.top);
  }
  void scrollViewContentSizeDidChange(UIScrollView&, CGSize old, CGSize now) override {
    heights.emplace_back(old.height, now.height);
  }
  void scrollViewPanStateDidChange(UIScrollView&, UIGestureRecognizerState, UIGestureRecognizerState now) override {
    if (panStates.empty() || panStates.back() != now) panStates.push_back(now);
  }
};

struct Scroller {
  explicit Scroller(Screen& screen, CGSize content = CGSizeMake(320, 5000)) {
    view = screen.add<UIScrollView>({{0, 0}, {320, 480}});
    view->setContentSize(content);
    recorder = std::make_shared<Recorder>();
    view->setDelegate(recorder);
    view->addScrollObserver(recorder);
    screen.device().settle();
  }
  std::shared_ptr<UIScrollView> view;
  std::shared_ptr<Recorder> recorder;
};

Device& device() { return Device::shared(); }

TEST(UIKitScrollView, PullingPastTheTopStretchesByTheRubberBandAndSpringsBack) {
  Screen screen;
  Scroller s(screen);
  auto& d = device();
  auto finger = d.touchDown(CGPointMake(160, 100));
  for (int i = 1; i <= 30; ++i) {
    d.wait(1.0 / 60);
    d.touchMove(finger, CGPointMake(160, 100 + 2 * i));
  }
  // 60 points of pull on a 480-point view.
  EXPECT_NEAR(s.view->contentOffset().y, -zvt::ui::rubberBandDistance(60, 480), 1e-9);
  EXPECT_NEAR(s.view->contentOffset().y, -(1 - 1 / (60 * 0.55 / 480 + 1)) * 480, 1e-9);
  EXPECT_TRUE(s.view->isDragging());
  d.wait(0.2);
  d.touchUp(finger);
  EXPECT_TRUE(s.view->isDecelerating());
  EXPECT_EQ(s.recorder->target, CGPointZero) << "it will rest at the top";
  d.wait(1.0);
  EXPECT_EQ(s.view->contentOffset(), CGPointZero);
  EXPECT_FALSE(s.view->isDecelerating());
  EXPECT_EQ(s.recorder->joined(),
            "willBeginDragging scroll+ willEndDragging didEndDragging(decelerate) willBeginDecelerating scroll+ "
            "didEndDecelerating");
  // The way back never overshoots the top.
  for (const auto& o : s.recorder->offsets) EXPECT_LE(o.y, 0);
  EXPECT_EQ(s.recorder->changes, s.recorder->scrolls);
  EXPECT_EQ(s.recorder->offsets.back(), CGPointZero);
}

TEST(UIKitScrollView, WhatAPullAtTheTopMoves) {
  // A 60-point pull down at the top, held: short content bounces only when told to (an empty
  // table does, so that a list can be refreshed before it has rows), and nothing moves a view
  // that does not scroll or bounce.
  struct Case {
    const char* name;
    bool table;
    CGFloat contentHeight;
    bool alwaysBounceVertical, bounces, scrollEnabled;
    bool stretches, drags;
  };
  const Case cases[] = {
      {"long content", false, 5000, false, true, true, true, true},
      {"short content told to bounce", false, 100, true, true, true, true, true},
      {"short content", false, 100, false, true, true, false, false},
      {"without bouncing", false, 5000, false, false, true, false, true},
      {"scrolling disabled", false, 5000, false, true, false, false, false},
      {"an empty table", true, 0, false, true, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Screen screen;
    std::shared_ptr<UIScrollView> view;
    if (c.table) {
      view = UITableView::initWithFrame(CGRectMake(0, 0, 320, 480));
      screen.window->addSubview(view);
    } else {
      view = screen.add<UIScrollView>({{0, 0}, {320, 480}});
      view->setContentSize(CGSizeMake(320, c.contentHeight));
      view->setAlwaysBounceVertical(c.alwaysBounceVertical);
    }
    view->setBounces(c.bounces);
    view->setScrollEnabled(c.scrollEnabled);
    auto recorder = std::make_shared<Recorder>();
    view->setDelegate(recorder);
    screen.device().settle();
    auto& d = device();
    auto finger = d.touchDown(CGPointMake(160, 100));
    for (int i = 1; i <= 30; ++i) {
      d.wait(1.0 / 60);
      d.touchMove(finger, CGPointMake(160, 100 + 2 * i));
    }
    EXPECT_NEAR(view->contentOffset().y, c.stretches ? -zvt::ui::rubberBandDistance(60, 480) : 0, 1e-9);
    EXPECT_EQ(view->isDragging(), c.drags);
    d.touchUp(finger);
    d.waitUntilStill(view);
    EXPECT_EQ(view->contentOffset(), CGPointZero);
    EXPECT_EQ(!recorder->calls.empty() && recorder->calls.front() == "willBeginDragging", c.drags)
        << recorder->joined();
  }
}

TEST(UIKitScrollView, AFlingDeceleratesToTheOffsetTheRatePredicts) {
  struct Case {
    const char* name;
    UIScrollViewDecelerationRate rate;
  };
  for (const Case& c : {Case{"normal", UIScrollViewDecelerationRateNormal}, Case{"fast", UIScrollViewDecelerationRateFast}}) {
    SCOPED_TRACE(c.name);
    Screen screen;
    Scroller s(screen);
    s.view->setDecelerationRate(c.rate);
    // 300 points up in 0.25 s: 1,200 points a second when the finger lifts.
    device().dragView(s.view, CGPointMake(0, -300), 0.25, Device::Release::Fling);
    EXPECT_NEAR(s.recorder->velocity.y, 1.2, 1e-6) << "points per millisecond";
    double predicted = 300 + 1.2 * c.rate / (1 - c.rate);
    EXPECT_NEAR(s.recorder->target.y, predicted, 0.5);
    device().waitUntilStill(s.view);
    EXPECT_NEAR(s.view->contentOffset().y, predicted, 0.5) << "within a pixel";
    EXPECT_EQ(s.view->contentOffset().y, s.recorder->target.y);
    EXPECT_EQ(s.recorder->changes, s.recorder->scrolls);
    EXPECT_EQ(s.recorder->offsets.back(), s.view->contentOffset());
    EXPECT_EQ(s.recorder->joined(),
              "willBeginDragging scroll+ willEndDragging didEndDragging(decelerate) willBeginDecelerating scroll+ "
              "didEndDecelerating");
  }
}

TEST(UIKitScrollView, FlingsStopAtTheEdgesWithTheirInsets) {
  struct Case {
    const char* name;
    bool bounces;
    CGFloat dy;
  };
  const Case cases[] = {
      {"into the bottom, bouncing back", true, -600},
      {"into the bottom, stopping", false, -600},
      {"into the top inset, bouncing back", true, 600},
      {"into the top inset, stopping", false, 600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Screen screen;
    Scroller s(screen, CGSizeMake(320, 1000));
    s.view->setBounces(c.bounces);
    s.view->setContentInset(UIEdgeInsetsMake(64, 0, 49, 0));
    s.view->setContentOffset(CGPointMake(0, 300));
    device().dragView(s.view, CGPointMake(0, c.dy), 0.2, Device::Release::Fling);
    CGFloat edge = c.dy < 0 ? 1000 + 49 - 480 : -64;
    EXPECT_EQ(s.recorder->target.y, edge);
    device().waitUntilStill(s.view);
    EXPECT_EQ(s.view->contentOffset().y, edge);
    CGFloat furthest = c.dy < 0 ? -1e9 : 1e9;
    for (const auto& o : s.recorder->offsets) furthest = c.dy < 0 ? std::max(furthest, o.y) : std::min(furthest, o.y);
    if (c.bounces)
      EXPECT_NE(furthest, edge) << "it went past the edge before coming back";
    else
      EXPECT_EQ(furthest, edge) << "it never went past the edge";
  }
}

TEST(UIKitScrollView, PagingSnapsToPages) {
  Screen screen;
  Scroller s(screen, CGSizeMake(4 * 320, 480));
  s.view->setPagingEnabled(true);
  auto& d = device();
  struct Step {
    const char* name;
    int swipe;        // a page flick left (1) or right (-1), or none
    CGFloat drag;     // else a slow drag by this many points
    CGFloat page;     // where it rests
  };
  const Step steps[] = {
      {"a flick turns the page", 1, 0, 320},  {"and the next", 1, 0, 640},
      {"to the last page", 1, 0, 960},        {"the last page stays", 1, 0, 960},
      {"a flick back", -1, 0, 640},           {"a short slow drag goes back to the nearest page", 0, -100, 640},
      {"a long slow drag reaches the next", 0, 200, 320},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.swipe != 0) {
      d.swipePage(s.view, step.swipe);
    } else {
      d.dragView(s.view, CGPointMake(step.drag, 0), 1.0);
      d.waitUntilStill(s.view);
    }
    EXPECT_EQ(s.view->contentOffset(), CGPointMake(step.page, 0));
    EXPECT_EQ(s.recorder->calls.back(), "didEndDecelerating");
  }
}

TEST(UIKitScrollView, TheDelegateMayChooseTheTarget) {
  Screen screen;
  Scroller s(screen);
  s.recorder->changeTarget = [](CGPoint* t) { t->y = std::round(t->y / 100) * 100; };
  device().dragView(s.view, CGPointMake(0, -250), 0.25, Device::Release::Fling);
  device().waitUntilStill(s.view);
  EXPECT_EQ(s.view->contentOffset().y, s.recorder->target.y);
  EXPECT_EQ(std::fmod(s.view->contentOffset().y, 100), 0);
}

TEST(UIKitScrollView, ProgrammaticScrollsAndScrollToTop) {
  Screen screen;
  Scroller s(screen);
  s.view->setContentOffset(CGPointMake(0, 800), true);
  EXPECT_EQ(s.view->contentOffset().y, 0) << "animated: it starts where it is";
  device().wait(0.5);
  EXPECT_EQ(s.view->contentOffset().y, 800);
  EXPECT_EQ(s.recorder->joined(), "scroll+ didEndScrollingAnimation");
  EXPECT_GT(s.recorder->offsets.size(), 10u) << "observers hear every step";
  s.recorder->calls.clear();
  EXPECT_TRUE(device().tapStatusBar());
  device().wait(0.5);
  EXPECT_EQ(s.view->contentOffset().y, 0);
  EXPECT_EQ(s.recorder->joined(), "shouldScrollToTop scroll+ didScrollToTop");
  EXPECT_EQ(s.recorder->changes, s.recorder->scrolls);
  EXPECT_EQ(s.recorder->offsets.back(), CGPointZero);
  // A second scroll view that scrolls to top: the status bar moves neither.
  auto other = screen.add<UIScrollView>({{0, 0}, {100, 100}});
  s.view->setContentOffset(CGPointMake(0, 100));
  EXPECT_FALSE(device().tapStatusBar());
  other->setScrollsToTop(false);
  EXPECT_TRUE(device().tapStatusBar());
  // setContentOffset without animation stops a deceleration.
  device().dragView(s.view, CGPointMake(0, -300), 0.25, Device::Release::Fling);
  s.recorder->calls.clear();
  s.view->setContentOffset(CGPointMake(0, 42), false);
  device().wait(1);
  EXPECT_EQ(s.view->contentOffset().y, 42);
  EXPECT_FALSE(s.view->isDecelerating());
  EXPECT_EQ(s.recorder->joined(), "scroll");
}

TEST(UIKitScrollView, ObserversHearEverySetWithOldAndNewValues) {
  Screen screen;
  Scroller s(screen);
  auto& r = *s.recorder;
  r.offsets.clear();
  s.view->setContentOffset(CGPointMake(0, 10));
  s.view->setContentOffset(CGPointMake(0, 10));
  // Two notifications: (0, 0) to (0, 10), then (0, 10) to (0, 10).
  EXPECT_EQ(r.offsets, (std::vector<CGPoint>{{0, 0}, {0, 10}, {0, 10}})) << "a set to the same value too";
  EXPECT_EQ(r.joined(), "scroll") << "did scroll only for a change";
  // Inside an animation block: observers hear the new values at once; the layer animates.
  UIView::animateWithDuration(0.25, [&] {
    s.view->setContentInset(UIEdgeInsetsMake(54, 0, 0, 0));
    s.view->setContentOffset(CGPointMake(0, -54));
  });
  EXPECT_EQ(r.insetTops.back(), (std::pair<CGFloat, CGFloat>{0, 54}));
  EXPECT_EQ(r.offsets.back(), CGPointMake(0, -54));
  EXPECT_NE(s.view->layer()->animationForKey(NSString::stringWithUTF8String("bounds")), nullptr);
  // Less inset with nothing moving the content brings the offset back into range.
  s.view->setContentInset(UIEdgeInsetsZero);
  EXPECT_EQ(s.view->contentOffset(), CGPointZero);
  s.view->setContentSize(CGSizeMake(320, 700));
  s.view->setContentOffset(CGPointMake(0, 220));
  s.view->setContentSize(CGSizeMake(320, 600));
  EXPECT_EQ(s.view->contentOffset(), CGPointMake(0, 120));
  EXPECT_EQ(r.heights.back(), (std::pair<CGFloat, CGFloat>{700, 600}));
  // The pan's states, as a drag goes (once the animation that keeps touches away is over).
  device().wait(0.3);
  r.panStates.clear();
  device().dragView(s.view, CGPointMake(0, -50), 0.2);
  EXPECT_EQ(r.panStates, (std::vector<UIGestureRecognizerState>{
                             UIGestureRecognizerStateBegan, UIGestureRecognizerStateChanged,
                             UIGestureRecognizerStateEnded, UIGestureRecognizerStatePossible}));
}

TEST(UIKitScrollView, DidScrollMayMoveTheContentAgain) {
  Screen screen;
  Scroller s(screen);
  // Never above the top: the delegate puts it back from inside did scroll.
  s.recorder->onScroll = [](UIScrollView& v) {
    if (v.contentOffset().y < 0) v.setContentOffset(CGPointZero);
  };
  device().pullDown(s.view, 80);
  device().waitUntilStill(s.view);
  EXPECT_EQ(s.view->contentOffset(), CGPointZero);
  for (size_t i = 1; i < s.recorder->offsets.size(); ++i) {
    // Whenever it went above the top, the next value heard is the top again.
    if (s.recorder->offsets[i - 1].y < 0) {
      EXPECT_EQ(s.recorder->offsets[i], CGPointZero);
    }
  }
}

TEST(UIKitScrollView, NestedScrollViewsShareTheFingerByDirection) {
  Screen screen;
  auto pager = screen.add<UIScrollView>({{0, 0}, {320, 480}});
  pager->setContentSize(CGSizeMake(640, 480));
  pager->setPagingEnabled(true);
  auto list = UIView::makeView<UIScrollView>(CGRectMake(0, 0, 320, 480));
  list->setContentSize(CGSizeMake(320, 2000));
  pager->addSubview(list);
  auto& d = device();
  d.dragView(list, CGPointMake(0, -100), 0.3);
  d.waitUntilStill(list);
  EXPECT_EQ(list->contentOffset(), CGPointMake(0, 100));
  EXPECT_EQ(pager->contentOffset(), CGPointZero);
  d.swipePage(pager, 1);
  EXPECT_EQ(pager->contentOffset(), CGPointMake(320, 0));
  EXPECT_EQ(list->contentOffset(), CGPointMake(0, 100));
  // A finger on moving content stops it.
  d.swipePage(pager, -1);
  d.dragView(list, CGPointMake(0, -200), 0.2, Device::Release::Fling);
  d.wait(0.1);
  EXPECT_TRUE(list->isDecelerating());
  auto finger = d.touchDown(CGPointMake(160, 240));
  CGPoint stopped = list->contentOffset();
  EXPECT_FALSE(list->isDecelerating());
  EXPECT_TRUE(list->isTracking());
  d.wait(0.5);
  d.touchUp(finger);
  EXPECT_EQ(list->contentOffset(), stopped);
  EXPECT_FALSE(list->isTracking());
}

TEST(UIKitScrollView, ContentGrowingUnderABounceAtTheEndLeavesTheOffsetWhereItIs) {
  Screen screen;
  auto list = screen.add<UIScrollView>({{0, 0}, {320, 480}});
  list->setContentSize(CGSizeMake(320, 1000));
  auto& d = device();
  d.dragView(list, CGPointMake(0, -700), 0.3);  // past the end; it springs back once let go
  d.wait(0.05);
  ASSERT_TRUE(list->isDecelerating());
  const CGFloat during = list->contentOffset().y;
  EXPECT_GT(during, 520);
  list->setContentSize(CGSizeMake(320, 2000));  // the next page arrives
  d.waitUntilStill(list);
  EXPECT_LE(list->contentOffset().y, during) << "no pull towards the new end";
  EXPECT_GE(list->contentOffset().y, 520);
  // Content that shrinks under a bounce is still followed to its new end.
  d.dragView(list, CGPointMake(0, -3000), 0.3);
  d.wait(0.05);
  list->setContentSize(CGSizeMake(320, 1200));
  d.waitUntilStill(list);
  EXPECT_NEAR(list->contentOffset().y, 720, 0.5);
}

TEST(UIKitScrollView, AFingerLiftedFromATapInsideIsNoLongerTracked) {
  // A tap recogniser on content: its action may do nothing, or bring up an alert (a window
  // above, which takes the key from the scroll view's window) before the finger's end reaches
  // the scroll view. Either way the scroll view tracks no finger once it has lifted.
  for (bool alert : {false, true}) {
    Screen screen;
    Log log;
    Scroller s(screen);
    auto row = UIView::initWithFrame(CGRectMake(0, 100, 320, 44));
    s.view->addSubview(row);
    struct Tapped : UIResponder {
      bool alert = false;
      Log* log = nullptr;
      void tapped(const std::shared_ptr<UIGestureRecognizer>&) {
        log->add("tapped");
        if (alert)
          UIAlertView::initWithTitle(NSString::stringWithUTF8String("提示"), nullptr, nullptr,
                                     NSString::stringWithUTF8String("确定"), {})
              ->show();
      }
    };
    auto target = std::make_shared<Tapped>();
    target->alert = alert;
    target->log = &log;
    row->addGestureRecognizer(UIGestureRecognizer::make<UITapGestureRecognizer>(target, &Tapped::tapped));
    auto& d = device();
    d.tap(CGPointMake(160, 120));
    EXPECT_EQ(log.joined(), "tapped") << (alert ? "with an alert" : "without");
    EXPECT_FALSE(s.view->isTracking()) << (alert ? "with an alert" : "without");
    if (alert) d.tapView(d.viewWithText("确定"));
  }
}

}  // namespace
