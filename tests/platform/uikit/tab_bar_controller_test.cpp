#include <gtest/gtest.h>

#include "platform/uikit/UITabBarController.h"
#include "tests/platform/uikit/ControllerTestSupport.h"

using namespace zvt::uitest;

namespace {

struct Watcher : UITabBarControllerDelegate {
  Log* log;
  std::string refuse;
  static std::string titleOf(const std::shared_ptr<UIViewController>& vc) { return vc->tabBarItem()->title()->utf8(); }
  bool tabBarControllerShouldSelectViewController(const std::shared_ptr<UITabBarController>&,
                                                  const std::shared_ptr<UIViewController>& vc) override {
    log->add("shouldSelect " + titleOf(vc));
    return titleOf(vc) != refuse;
  }
  void tabBarControllerDidSelectViewController(const std::shared_ptr<UITabBarController>&,
                                               const std::shared_ptr<UIViewController>& vc) override {
    log->add("didSelect " + titleOf(vc));
  }
};

std::shared_ptr<Recorder> tab(const std::string& name, const char* title, Log* log) {
  auto r = Recorder::make(name, log);
  r->setTitle(NSString::stringWithUTF8String(title));
  return r;
}

TEST(UIKitTabBarController, TabsSwitchByTheirItemsWithTheirCallbacks) {
  Log log;
  ControllerScreen screen;
  auto home = tab("home", "首页", &log), pick = tab("pick", "超精选", &log), me = tab("me", "我的", &log);
  auto tabs = UITabBarController::make();
  tabs->setViewControllers({home, pick, me});
  auto watcher = std::make_shared<Watcher>();
  watcher->log = &log;
  watcher->refuse = "超精选";
  tabs->setDelegate(watcher);
  screen.show(tabs);
  EXPECT_EQ(log.joined(), "home.didLoad home.willAppear home.didAppear") << "only the selected tab loads";
  EXPECT_EQ(tabs->tabBar()->frame(), CGRectMake(0, 431, 320, 49));
  EXPECT_EQ(home->bottomLayoutGuide()->length(), 49) << "the translucent bar lies over the tab";
  log.clear();

  auto& device = screen.device();
  struct Step {
    std::function<void()> act;
    const char* want;
    NSUInteger selected;
  } steps[] = {
      {[&] { EXPECT_TRUE(device.tapText("我的")); },
       "shouldSelect 我的 me.didLoad home.willDisappear me.willAppear home.didDisappear me.didAppear didSelect 我的", 2},
      {[&] { device.tapText("超精选"); }, "shouldSelect 超精选", 2},
      {[&] { device.tapText("我的"); }, "shouldSelect 我的 didSelect 我的", 2},
      {[&] { tabs->setSelectedIndex(0); }, "me.willDisappear home.willAppear me.didDisappear home.didAppear", 0},
      {[&] { tabs->setSelectedIndex(7); }, "", 0},
  };
  for (const auto& step : steps) {
    step.act();
    EXPECT_EQ(log.joined(), step.want);
    EXPECT_EQ(tabs->selectedIndex(), step.selected);
    EXPECT_EQ(tabs->tabBar()->selectedItem(), tabs->viewControllers()[step.selected]->tabBarItem());
    log.clear();
  }
  EXPECT_EQ(me->view()->window(), nullptr);
  EXPECT_EQ(me->tabBarController(), tabs);
}

TEST(UIKitTabBarController, PushedScreensCanHideTheBar) {
  ControllerScreen screen;
  auto root = UIViewController::make();
  root->setTitle("根"_ns);
  auto nav = UINavigationController::initWithRootViewController(root);
  nav->setTitle("首页"_ns);
  auto other = UINavigationController::initWithRootViewController(UIViewController::make());
  other->setTitle("我的"_ns);
  auto tabs = UITabBarController::make();
  tabs->setViewControllers({nav, other});
  screen.show(tabs);
  auto bar = tabs->tabBar();
  EXPECT_EQ(root->bottomLayoutGuide()->length(), 49);

  auto detail = UIViewController::make();
  detail->setHidesBottomBarWhenPushed(true);
  nav->pushViewController(detail, true);
  EXPECT_EQ(bar->frame().origin.y, 480) << "the model at once; it slides with the push";
  screen.clock.advanceBy(UINavigationController::kTransitionDuration);
  screen.device().settle();
  EXPECT_FALSE(zvt::ui::Device::isVisible(bar));
  EXPECT_EQ(detail->bottomLayoutGuide()->length(), 0);
  EXPECT_EQ(screen.device().viewWithText("我的"), nullptr);

  // Tapping the selected tab pops its stack to the root (seen once the bar is back).
  nav->popViewControllerAnimated(false);
  screen.device().settle();
  EXPECT_EQ(bar->frame().origin.y, 431);
  nav->pushViewController(UIViewController::make(), false);
  ASSERT_TRUE(screen.device().tapText("首页"));
  screen.device().wait(UINavigationController::kTransitionDuration);
  EXPECT_EQ(nav->topViewController(), root);
  EXPECT_EQ(tabs->selectedViewController(), nav);

  // A hidden bar (the shell shows one of its own) covers nothing.
  bar->setHidden(true);
  root->view()->setNeedsLayout();
  screen.device().settle();
  EXPECT_EQ(root->bottomLayoutGuide()->length(), 0);
}

TEST(UIKitTabBarController, TabsChangeWhileOffScreen) {
  Log log;
  ControllerScreen screen;
  auto a = tab("a", "一", &log), b = tab("b", "二", &log), c = tab("c", "三", &log);
  auto tabs = UITabBarController::make();
  tabs->setViewControllers({a, b});
  tabs->setSelectedIndex(1);
  tabs->setViewControllers({c, b});
  EXPECT_EQ(tabs->selectedViewController(), b) << "the selected tab stays";
  EXPECT_EQ(a->parentViewController(), nullptr);
  tabs->setViewControllers({c});
  EXPECT_EQ(tabs->selectedIndex(), 0u);
  tabs->setViewControllers({});
  EXPECT_EQ(tabs->selectedIndex(), NSNotFound);
  tabs->setViewControllers({a, c});
  EXPECT_EQ(log.joined(), "") << "nothing loads off screen";
  screen.show(tabs);
  EXPECT_EQ(log.joined(), "a.didLoad a.willAppear a.didAppear");
  std::vector<std::string> titles;
  for (auto& item : tabs->tabBar()->items()) titles.push_back(item->title()->utf8());
  EXPECT_EQ(titles, (std::vector<std::string>{"一", "三"}));
}

}  // namespace
