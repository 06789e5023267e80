// The home header's carousel on the virtual clock: auto-advance every 3 s with the jump back
// from the copy of the first picture, dragging stopping and restarting the timer, a single
// picture that only moves once dragged, taps on pages and their copies, and the timer ending
// with the carousel, also when the carousel goes away with the view that holds it.

#include <gtest/gtest.h>

#include <cmath>

#include "app/screens/shopping/OrvakAdRoll.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "tests/platform/uikit/UIKitTestSupport.h"
#include "tests/support/MainLoop.h"

namespace {

using zvt::as;
using zvt::uitest::Screen;

double now() { return Clock::nowNanos() / 1e9; }

// Records the pages reported (each change once, with its time) and the entries tapped.
class Listener : public OrvakAdRollDelegate {
 public:
  struct Report {
    int page, total;
    double at;
  };
  std::vector<Report> pages;
  std::vector<std::string> clicked;
  void currentPage(int page, int total) override {
    if (pages.empty() || pages.back().page != page) pages.push_back({page, total, now()});
  }
  void didClick(const std::shared_ptr<NSDictionary>& entry) override {
    clicked.push_back(entry ? as<NSString>(entry->objectForKey("info"_ns))->utf8() : "nil");
  }
};

const char* const kPictures[] = {"placeholder_HomeProduct", "soldOut", "newProductIcon"};

class Carousel : public ::testing::Test {
 protected:
  void SetUp() override { zvt::setMainBundlePath(ZVT_BUNDLE_ROOT); }
  // A carousel across the top of the screen with `count` local pictures, entry i's info "i".
  std::shared_ptr<OrvakAdRoll> build(int count, const std::shared_ptr<UIView>& parent = nullptr) {
    start = now();
    roll = screen.add<OrvakAdRoll>(CGRectMake(0, 20, 320, 128), parent);
    roll->setOrvakAdDelegate(listener);
    std::vector<id> entries;
    for (int i = 0; i < count; ++i) {
      entries.push_back(NSDictionary::dictionaryWithPairs(
          {{"pic"_ns, UIImage::imageNamed(NSString::stringWithUTF8String(kPictures[i % 3]))},
           {"isLoc"_ns, NSNumber::numberWithBool(true)},
           {"info"_ns, NSString::stringWithUTF8String(std::to_string(i))}}));
    }
    roll->setPics(NSArray::arrayWithObjects(entries));
    roll->upDate();
    Screen::device().settle();
    return roll;
  }
  // The reports as "page@seconds after the build" (seconds rounded down).
  std::vector<std::string> reports() const {
    std::vector<std::string> out;
    for (const auto& r : listener->pages)
      out.push_back(std::to_string(r.page) + "/" + std::to_string(r.total) + "@" +
                    std::to_string(static_cast<int>(std::floor(r.at - start + 1e-6))));
    return out;
  }
  Screen screen;
  std::shared_ptr<Listener> listener = std::make_shared<Listener>();
  std::shared_ptr<OrvakAdRoll> roll;
  double start = 0;
};

TEST_F(Carousel, ThreePicturesAdvanceEveryThreeSecondsAndWrap) {
  build(3);
  // Copy of 3, 1, 2, 3, copy of 1; opening on picture 1.
  EXPECT_EQ(roll->pics()->count(), 5u);
  EXPECT_EQ(roll->subviews().size() >= 5, true);
  EXPECT_EQ(roll->contentSize(), CGSizeMake(1600, 128));
  EXPECT_EQ(roll->contentOffset().x, 320);
  ASSERT_TRUE(roll->scrollTimer());
  Screen::device().wait(9.9);
  EXPECT_EQ(reports(), (std::vector<std::string>{"0/3@0", "1/3@3", "2/3@6", "0/3@9"}));
  // After the wrap the carousel stands on picture 1 itself, not on its copy.
  EXPECT_EQ(roll->contentOffset().x, 320);
  Screen::device().wait(3);
  EXPECT_EQ(listener->pages.back().page, 1);
}

TEST_F(Carousel, DraggingStopsTheTimerAndTheEndOfTheDragRestartsIt) {
  build(3);
  Screen::device().wait(1);
  auto finger = Screen::device().touchDown(CGPointMake(250, 80));
  Screen::device().touchMove(finger, CGPointMake(230, 80));
  Screen::device().touchMove(finger, CGPointMake(200, 80));
  EXPECT_FALSE(roll->scrollTimer()) << "no timer while the finger is down";
  Screen::device().wait(4);  // held well past the old timer's turn
  EXPECT_EQ(listener->pages.back().page, 0);
  Screen::device().touchMove(finger, CGPointMake(160, 80));
  double released = now();
  Screen::device().touchUp(finger);
  ASSERT_TRUE(roll->scrollTimer());
  Screen::device().waitUntilStill(roll);
  EXPECT_EQ(listener->pages.back().page, 0) << "a short drag springs back";
  Screen::device().wait(released + 3.5 - now());
  EXPECT_EQ(listener->pages.back().page, 1);
  EXPECT_GE(listener->pages.back().at, released + 3);

  // Dragging right from picture 1 shows the copy of picture 3 and lands on picture 3.
  Screen::device().wait(3);  // to picture 3
  Screen::device().wait(3);  // back round to picture 1
  ASSERT_EQ(listener->pages.back().page, 0);
  Screen::device().swipePage(roll, -1);
  EXPECT_EQ(listener->pages.back().page, 2);
  EXPECT_EQ(roll->contentOffset().x, 960);
}

TEST_F(Carousel, OnePictureMovesOnlyOnceDragged) {
  build(1);
  EXPECT_EQ(roll->pics()->count(), 3u);
  EXPECT_FALSE(roll->scrollTimer());
  Screen::device().wait(10);
  EXPECT_EQ(reports(), (std::vector<std::string>{"0/1@0"}));
  Screen::device().swipePage(roll, +1);
  EXPECT_EQ(roll->contentOffset().x, 320) << "the copy jumps back to the picture";
  ASSERT_TRUE(roll->scrollTimer());
  Screen::device().wait(3.5);
  EXPECT_EQ(roll->contentOffset().x, 320);
  EXPECT_EQ(listener->pages.back().page, 0);
}

TEST_F(Carousel, TapsReportTheirEntryCopiesIncluded) {
  build(3);
  EXPECT_TRUE(Screen::device().tapView(roll));
  // On the way from picture 3 to the copy of picture 1, the copy's part on the right is tapped.
  Screen::device().wait(9.02 - (now() - start));
  auto copyOfFirst = roll->pic();
  ASSERT_EQ(copyOfFirst->tag(), 4);
  EXPECT_TRUE(Screen::device().tapView(copyOfFirst));
  EXPECT_EQ(listener->clicked, (std::vector<std::string>{"0", "0"}));
}

TEST_F(Carousel, TimerEndsWhenTheCarouselLeavesOrGoesAway) {
  build(3);
  auto timer = roll->scrollTimer();
  ASSERT_TRUE(timer);
  roll->removeFromSuperview();
  EXPECT_FALSE(timer->isValid());
  EXPECT_FALSE(roll->scrollTimer());

  listener->pages.clear();
  build(3);
  timer = roll->scrollTimer();
  std::weak_ptr<OrvakAdRoll> weak = roll;
  roll->removeFromSuperview();
  roll.reset();
  EXPECT_TRUE(weak.expired()) << "the timer keeps no carousel alive";
  Screen::device().wait(7);
  EXPECT_EQ(listener->pages.size(), 1u);

  // Gone with the header that holds it, never taken off it: only the timer could keep it now.
  listener->pages.clear();
  auto header = screen.add(CGRectMake(0, 0, 320, 200));
  build(3, header);
  weak = roll;
  roll.reset();
  header->removeFromSuperview();
  header.reset();
  EXPECT_TRUE(weak.expired()) << "the timer holds the carousel weakly";
  Screen::device().wait(7);
  EXPECT_EQ(listener->pages.size(), 1u) << "no page turns after it has gone";
}

}  // namespace
