#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/foundation/Clock.h"

namespace {

// A source of deadlines that records the time at which each of its deadlines was seen due.
class RecordingSource : public zvt::TimeSource {
 public:
  std::vector<int64_t> pending;
  std::vector<std::pair<int64_t, int64_t>> fired;  // (deadline, clock when fired)

  int64_t nextDeadlineAfter(int64_t after) override {
    int64_t best = zvt::kNoDeadline;
    for (int64_t d : pending)
      if (d > after && d < best) best = d;
    return best;
  }
  void timeAdvanced() override {
    int64_t now = Clock::nowNanos();
    for (auto it = pending.begin(); it != pending.end();) {
      if (*it <= now) {
        fired.emplace_back(*it, now);
        it = pending.erase(it);
      } else {
        ++it;
      }
    }
  }
};

struct ClockInstall {
  std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
  ClockInstall() { Clock::setCurrent(clock); }
  ~ClockInstall() { Clock::setCurrent(nullptr); }
};

TEST(RuntimeClock, VirtualClockStandsStillAndAdvancesBothTimes) {
  ClockInstall c;
  EXPECT_TRUE(Clock::current()->isVirtual());
  EXPECT_DOUBLE_EQ(Clock::now(), VirtualClock::kDefaultWallStart);
  int64_t mono = Clock::nowNanos();
  c.clock->advanceBy(1.5);
  EXPECT_EQ(Clock::nowNanos(), mono + 1500000000LL);
  EXPECT_DOUBLE_EQ(Clock::now(), VirtualClock::kDefaultWallStart + 1.5);
  c.clock->advanceBy(-3);  // time never goes back
  EXPECT_EQ(Clock::nowNanos(), mono + 1500000000LL);
  c.clock->setWallTime(1000.0);
  EXPECT_DOUBLE_EQ(Clock::now(), 1000.0);
  EXPECT_EQ(Clock::nowNanos(), mono + 1500000000LL);
}

TEST(RuntimeClock, TenthsAddUpExactly) {
  ClockInstall c;
  int64_t start = Clock::nowNanos();
  for (int i = 0; i < 10; ++i) c.clock->advanceBy(0.1);
  EXPECT_EQ(Clock::nowNanos() - start, 1000000000LL);
}

TEST(RuntimeClock, AdvanceStepsThroughDeadlinesInOrderAtTheirOwnTime) {
  ClockInstall c;
  auto source = std::make_shared<RecordingSource>();
  zvt::registerTimeSource(source);
  int64_t t0 = Clock::nowNanos();
  source->pending = {t0 + 3000, t0 + 1000, t0 + 2000, t0 + 9000};
  c.clock->advanceBy(5e-6);
  zvt::unregisterTimeSource(source.get());
  ASSERT_EQ(source->fired.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(source->fired[i].first, t0 + 1000 * static_cast<int64_t>(i + 1));
    EXPECT_EQ(source->fired[i].second, source->fired[i].first);  // seen at its own deadline
  }
  EXPECT_EQ(Clock::nowNanos(), t0 + 5000);
  EXPECT_EQ(source->pending.size(), 1u);
}

TEST(RuntimeClock, RealClockIsRestoredAndMonotonic) {
  { ClockInstall c; }
  EXPECT_FALSE(Clock::current()->isVirtual());
  int64_t a = Clock::nowNanos();
  int64_t b = Clock::nowNanos();
  EXPECT_LE(a, b);
  EXPECT_GT(Clock::now(), 1.7e9);
}

TEST(RuntimeClock, DeadlinesSaturateInsteadOfOverflowing) {
  EXPECT_EQ(zvt::secondsToNanos(1e300), INT64_MAX);
  EXPECT_EQ(zvt::addSaturating(INT64_MAX - 5, 10), INT64_MAX);
  EXPECT_EQ(zvt::deadlineAfter(1e12), INT64_MAX);
  EXPECT_EQ(zvt::secondsToNanos(0.25), 250000000LL);
}

}  // namespace
