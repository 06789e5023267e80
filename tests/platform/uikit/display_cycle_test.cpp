#include <gtest/gtest.h>

#include "platform/foundation/NSTimer.h"
#include "platform/uikit/DisplayCycle.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

class Counting : public UIView {
 public:
  Log* log = nullptr;
  std::string name;
  int layouts = 0, draws = 0;
  void layoutSubviews() override {
    UIView::layoutSubviews();
    ++layouts;
    if (log) log->add(name + ".layout");
  }
  void drawRect(CGRect) override {
    ++draws;
    if (log) log->add(name + ".draw");
  }
};

class Plain : public UIView {
 public:
  int layouts = 0;
  void layoutSubviews() override { ++layouts; }
};

TEST(UIKitDisplayCycle, LayoutAndDisplayOncePerTurnParentsFirst) {
  Screen screen;
  Log log;
  auto parent = screen.add<Counting>({{0, 0}, {100, 100}});
  auto child = screen.add<Counting>({{0, 0}, {30, 20}}, parent);
  parent->name = "parent";
  child->name = "child";
  parent->log = child->log = &log;
  screen.device().settle();
  EXPECT_EQ(log.joined(), "parent.layout child.layout parent.draw child.draw") << "new views are laid out and drawn";
  log.clear();
  for (int i = 0; i < 3; ++i) {
    child->setNeedsLayout();
    parent->setNeedsLayout();
    child->setNeedsDisplay();
    child->setFrame({{0, 0}, {30.0 + i, 20}});
  }
  EXPECT_EQ(log.joined(), "") << "nothing happens before the turn ends";
  uint64_t passes = zvt::ui::displayPassCount();
  screen.device().settle();
  EXPECT_EQ(log.joined(), "parent.layout child.layout child.draw") << "one layout and one drawing per view";
  EXPECT_EQ(zvt::ui::displayPassCount(), passes + 1);
  log.clear();
  screen.device().settle();
  EXPECT_EQ(log.joined(), "") << "nothing asked, nothing done";

  // A timer that fires as the virtual clock moves is a turn of its own.
  auto timer = NSTimer::scheduledTimerWithTimeInterval(1, false, [&](const auto&) { child->setNeedsLayout(); });
  screen.clock.advanceBy(1);
  EXPECT_EQ(log.joined(), "child.layout");
}

TEST(UIKitDisplayCycle, ViewsOutsideAWindowOnDemandAndBackingStores) {
  Screen screen;
  auto loose = UIView::makeView<Counting>(CGRectMake(0, 0, 30, 20));
  auto inner = UIView::makeView<Plain>(CGRectMake(0, 0, 10, 10));
  loose->addSubview(inner);
  screen.device().settle();
  EXPECT_EQ(loose->layouts, 0) << "outside a window";
  loose->layoutIfNeeded();
  EXPECT_EQ(loose->layouts, 1);
  EXPECT_EQ(inner->layouts, 1);
  loose->layoutIfNeeded();
  EXPECT_EQ(loose->layouts, 1);

  screen.window->addSubview(loose);
  screen.device().settle();
  EXPECT_EQ(loose->draws, 1);
  ASSERT_TRUE(loose->layer()->contents());
  EXPECT_EQ(loose->layer()->contents()->width(), 60u) << "at the screen's scale";
  EXPECT_EQ(loose->layer()->contents()->height(), 40u);
  auto kept = loose->layer()->contents();
  loose->setFrame({{10, 10}, {30, 20}});
  screen.device().settle();
  EXPECT_EQ(loose->layer()->contents(), kept) << "kept until setNeedsDisplay";
  loose->setNeedsDisplay();
  screen.device().settle();
  EXPECT_EQ(loose->draws, 2);
  EXPECT_NE(loose->layer()->contents(), kept);
  inner->setNeedsDisplay();
  screen.device().settle();
  EXPECT_FALSE(inner->layer()->contents()) << "a view without drawRect has no backing store";
  EXPECT_FALSE(inner->drawsContent());
  EXPECT_TRUE(loose->drawsContent());
}

TEST(UIKitDisplayCycle, HooksForConstraintsAndControllers) {
  Screen screen;
  Log log;
  auto& hooks = zvt::ui::displayCycleHooks();
  auto saved = hooks;
  hooks.updateConstraints = [&](UIView& root) { log.add(&root == screen.window.get() ? "constraints(window)" : "constraints"); };
  hooks.layoutFromEngine = [&](UIView&) { log.add("engine"); };
  struct Controller : zvt::ui::ViewDelegate, UIResponder {
    Log* log;
    std::shared_ptr<UIResponder> responderForView() override { return std::static_pointer_cast<UIResponder>(self()); }
    void viewWillLayoutSubviewsOfView() override { log->add("willLayout"); }
    void viewDidLayoutSubviewsOfView() override { log->add("didLayout"); }
  };
  auto controller = std::make_shared<Controller>();
  controller->log = &log;
  auto view = screen.add<Counting>({{0, 0}, {10, 10}});
  view->log = &log;
  view->name = "view";
  view->setViewDelegate(controller);
  screen.device().settle();
  log.clear();
  view->setNeedsLayout();
  screen.device().settle();
  EXPECT_EQ(log.joined(), "constraints(window) willLayout engine view.layout didLayout");
  EXPECT_EQ(view->nextResponder(), controller);
  log.clear();
  auto loose = UIView::make();
  loose->setNeedsLayout();
  loose->layoutIfNeeded();
  EXPECT_EQ(log.joined(), "constraints engine") << "layoutIfNeeded updates constraints first";
  hooks = saved;
}

}  // namespace
