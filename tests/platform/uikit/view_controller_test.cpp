#include <gtest/gtest.h>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "tests/platform/uikit/ControllerTestSupport.h"

using namespace zvt::uitest;

namespace {

struct Pressing : Recorder {
  void pressed() { log->add(name + ".pressed"); }
};

struct LightRecorder : Recorder {
  UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyleLightContent; }
};

TEST(UIKitViewController, TheViewLoadsOnFirstUseAndJoinsTheResponderChain) {
  Log log;
  ControllerScreen screen;
  auto vc = std::make_shared<Pressing>();
  vc->name = "vc";
  vc->log = &log;
  vc->setTitle("首页"_ns);
  EXPECT_FALSE(vc->isViewLoaded()) << "a title does not load the view";
  EXPECT_EQ(vc->navigationItem()->title()->utf8(), "首页");
  EXPECT_EQ(vc->tabBarItem()->title()->utf8(), "首页");
  auto view = vc->view();
  EXPECT_EQ(log.joined(), "vc.didLoad");
  EXPECT_EQ(vc->view(), view) << "loaded once";
  EXPECT_EQ(view->frame(), UIScreen::mainScreen()->bounds());
  EXPECT_EQ(log.joined(), "vc.didLoad");

  struct Custom : UIViewController {
    void loadView() override { setView(UIView::initWithFrame({{0, 0}, {10, 10}})); }
  };
  auto custom = std::make_shared<Custom>();
  EXPECT_EQ(custom->view()->frame().size.width, 10) << "loadView overridden";
  struct Broken : UIViewController {
    void loadView() override {}
  };
  EXPECT_THROW(std::make_shared<Broken>()->view(), NSException) << "a loadView that sets no view";

  screen.show(vc);
  log.clear();
  EXPECT_EQ(view->nextResponder(), vc);
  EXPECT_EQ(vc->nextResponder(), screen.window) << "a window's root answers to the window";
  // A control whose action has no target sends it up the chain: the controller takes it.
  auto control = UIControl::initWithFrame({{20, 100}, {80, 40}});
  control->addTarget(nullptr, &Pressing::pressed, UIControlEventTouchUpInside);
  view->addSubview(control);
  EXPECT_TRUE(screen.device().tapView(control));
  EXPECT_EQ(log.joined(), "vc.pressed");
}

TEST(UIKitViewController, AWindowShowsItsRootAndSwapsRootsWithTheirCallbacks) {
  Log log;
  ControllerScreen screen;
  auto a = Recorder::make("A", &log);
  auto b = Recorder::make("B", &log);
  screen.window->setRootViewController(a);
  EXPECT_FALSE(a->isViewLoaded()) << "a hidden window shows nothing yet";
  screen.window->makeKeyAndVisible();
  EXPECT_EQ(log.joined(), "A.didLoad A.willAppear") << "did-appear waits for the turn's layout";
  screen.device().settle();
  EXPECT_EQ(log.joined(), "A.didLoad A.willAppear A.didAppear");
  EXPECT_EQ(a->view()->superview(), screen.window);
  EXPECT_EQ(a->view()->frame(), screen.window->bounds());
  log.clear();

  screen.window->setRootViewController(b);
  EXPECT_EQ(log.joined(), "A.willDisappear B.didLoad B.willAppear A.didDisappear");
  screen.device().settle();
  EXPECT_EQ(log.lines.back(), "B.didAppear");
  EXPECT_EQ(a->view()->superview(), nullptr);
  EXPECT_EQ(a->rootOfWindow(), nullptr);
  log.clear();

  screen.window->setHidden(true);
  EXPECT_EQ(log.joined(), "B.willDisappear B.didDisappear");
  log.clear();
  screen.window->setHidden(false);
  screen.window->setHidden(true);
  screen.device().settle();
  EXPECT_EQ(log.joined(), "B.willAppear B.willDisappear B.didDisappear")
      << "hidden again before the turn ended: the pending did-appear is dropped";
}

TEST(UIKitViewController, PresentingAndDismissingCallBackInUIKitsOrder) {
  struct Case {
    bool animated;
    UIModalTransitionStyle style;
  } cases[] = {{true, UIModalTransitionStyleCoverVertical},
               {true, UIModalTransitionStyleCrossDissolve},
               {false, UIModalTransitionStyleCoverVertical}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.animated ? "animated " : "at once ") + std::to_string(c.style));
    Log log;
    ControllerScreen screen;
    auto root = Recorder::make("root", &log);
    auto presented = std::make_shared<LightRecorder>();
    presented->name = "P";
    presented->log = &log;
    presented->setModalTransitionStyle(c.style);
    screen.show(root);
    log.clear();

    root->presentViewController(presented, c.animated, [&] { log.add("presented"); });
    EXPECT_EQ(log.joined(), c.animated ? "P.didLoad root.willDisappear P.willAppear+presented"
                                       : "P.didLoad root.willDisappear P.willAppear+presented "
                                         "root.didDisappear P.didAppear+presented presented");
    EXPECT_EQ(root->presentedViewController(), presented);
    EXPECT_EQ(presented->presentingViewController(), root);
    if (c.animated) {
      auto coordinator = presented->transitionCoordinator();
      ASSERT_TRUE(coordinator);
      EXPECT_EQ(coordinator->viewControllerForKey(UITransitionContextToViewControllerKey), presented);
      EXPECT_EQ(coordinator->viewControllerForKey(UITransitionContextFromViewControllerKey), root);
      coordinator->animateAlongsideTransition(nullptr, [&](const auto& context) {
        log.add(context->isCancelled() ? "alongside.cancelled" : "alongside.done");
      });
      screen.clock.advanceBy(0.2);
      auto view = presented->view();
      if (c.style == UIModalTransitionStyleCrossDissolve)
        EXPECT_EQ(view->alpha(), 1) << "the model is at the end at once";
      else
        EXPECT_EQ(view->frame().origin.y, 0);
      EXPECT_NE(root->view()->window(), nullptr) << "still under the sliding view";
      log.clear();
      screen.clock.advanceBy(0.2);
      EXPECT_EQ(log.joined(), "alongside.done root.didDisappear P.didAppear+presented presented");
    }
    EXPECT_EQ(presented->transitionCoordinator(), nullptr);
    EXPECT_EQ(root->view()->window(), nullptr) << "a full-screen presentation takes the presenter's view away";
    EXPECT_EQ(presented->view()->window(), screen.window);
    EXPECT_EQ(presented->nextResponder()->nextResponder(), screen.window);
    EXPECT_EQ(UIApplication::sharedApplication()->statusBarStyle(), UIStatusBarStyleLightContent);
    log.clear();

    presented->dismissViewControllerAnimated(c.animated, [&] { log.add("dismissed"); });
    if (c.animated) {
      EXPECT_EQ(log.joined(), "P.willDisappear+dismissed root.willAppear");
      screen.clock.advanceBy(0.4);
    }
    EXPECT_EQ(log.joined(), "P.willDisappear+dismissed root.willAppear P.didDisappear+dismissed root.didAppear "
                            "dismissed");
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_EQ(presented->presentingViewController(), nullptr);
    EXPECT_EQ(presented->view()->window(), nullptr);
    EXPECT_EQ(root->view()->superview(), screen.window);
    EXPECT_EQ(root->view()->frame(), screen.window->bounds());
    EXPECT_EQ(screen.window->subviews().size(), 1u) << "no container left behind";
    EXPECT_EQ(UIApplication::sharedApplication()->statusBarStyle(), UIStatusBarStyleDefault);
  }
}

TEST(UIKitViewController, PresentationsUIKitRefusesAreLoggedAndIgnored) {
  Log log;
  ControllerScreen screen;
  auto root = Recorder::make("root", &log);
  screen.show(root);
  auto first = Recorder::make("first", &log);
  auto second = Recorder::make("second", &log);
  zvt::LogCapture capture;

  root->presentViewController(first, true);
  root->presentViewController(second, false);
  EXPECT_TRUE(capture.contains("while a presentation is in progress!"));
  first->dismissViewControllerAnimated(false);
  EXPECT_TRUE(capture.contains("Warning: Attempt to dismiss from view controller <"));
  EXPECT_TRUE(capture.contains("while a presentation or dismiss is in progress!"));
  screen.clock.advanceBy(0.4);
  ASSERT_EQ(root->presentedViewController(), first);

  capture.clear();
  bool called = false;
  root->presentViewController(second, false, [&] { called = true; });
  auto lines = capture.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Warning: Attempt to present " + second->description()->utf8() + " on " +
                          root->description()->utf8() + " which is already presenting " +
                          first->description()->utf8());
  EXPECT_FALSE(called);
  EXPECT_EQ(second->presentingViewController(), nullptr);

  capture.clear();
  auto offscreen = Recorder::make("offscreen", &log);
  offscreen->presentViewController(second, false);
  EXPECT_TRUE(capture.contains("whose view is not in the window hierarchy!"));

  EXPECT_THROW(first->presentViewController(nullptr, false), NSException);
  EXPECT_THROW(first->presentViewController(root, false), NSException) << "an active controller";
}

TEST(UIKitViewController, DismissingFromInsideAPresentedTree) {
  Log log;
  ControllerScreen screen;
  auto root = Recorder::make("root", &log);
  screen.show(root);
  // P holds C as a child; C presents Q, which lands on P's tree root.
  auto p = Recorder::make("P", &log);
  auto c = Recorder::make("C", &log);
  auto q = Recorder::make("Q", &log);
  p->addChildViewController(c);
  p->view()->addSubview(c->view());
  c->didMoveToParentViewController(p);
  root->presentViewController(p, false);
  c->presentViewController(q, false);
  EXPECT_EQ(q->presentingViewController(), p);
  EXPECT_EQ(c->presentedViewController(), q) << "a child reads what its tree presents";
  log.clear();

  c->dismissViewControllerAnimated(false);
  EXPECT_EQ(log.joined(), "Q.willDisappear+dismissed P.willAppear C.willAppear Q.didDisappear+dismissed "
                          "P.didAppear C.didAppear")
      << "C's tree presents Q: Q goes";
  log.clear();
  c->dismissViewControllerAnimated(false);
  EXPECT_EQ(log.joined(), "P.willDisappear+dismissed C.willDisappear root.willAppear "
                          "P.didDisappear+dismissed C.didDisappear root.didAppear")
      << "nothing presented any more: C stands in P, and P goes";

  // Dismissing a stack of presentations from its bottom takes all of them; the covered middle
  // one is not called.
  root->presentViewController(p, false);
  p->presentViewController(q, false);
  log.clear();
  root->dismissViewControllerAnimated(true);
  screen.clock.advanceBy(0.4);
  EXPECT_EQ(log.joined(), "Q.willDisappear+dismissed root.willAppear Q.didDisappear+dismissed root.didAppear");
  EXPECT_EQ(p->presentedViewController(), nullptr);
  EXPECT_EQ(screen.window->subviews().size(), 1u);
}

TEST(UIKitViewController, ChildrenAppearWithTheirViewsAndTheirParent) {
  Log log;
  ControllerScreen screen;
  auto parent = Recorder::make("parent", &log);
  auto child = Recorder::make("child", &log);
  child->recordsMoves = true;
  screen.show(parent);
  log.clear();

  parent->addChildViewController(child);
  parent->view()->addSubview(child->view());
  child->didMoveToParentViewController(parent);
  EXPECT_EQ(log.joined(), "child.willMove child.didLoad child.willAppear child.didAppear child.didMove");
  EXPECT_EQ(child->parentViewController(), parent);
  log.clear();

  screen.window->setHidden(true);
  EXPECT_EQ(log.joined(), "parent.willDisappear child.willDisappear parent.didDisappear child.didDisappear");
  screen.window->setHidden(false);
  screen.device().settle();
  log.clear();

  child->willMoveToParentViewController(nullptr);
  child->view()->removeFromSuperview();
  child->removeFromParentViewController();
  EXPECT_EQ(log.joined(), "child.willMove(nil) child.willDisappear child.didDisappear child.didMove(nil)");
  EXPECT_TRUE(parent->childViewControllers().empty());
}

TEST(UIKitViewController, HooksRunWhereTheBaseImplementationRuns) {
  Log log;
  ControllerScreen screen;
  auto& hooks = zvt::ui::controllerHooks();
  // As two exchanges would: the later wraps the earlier, the system's own runs innermost.
  auto first = hooks.viewWillAppear.install([&](UIViewController&, bool, const auto& next) {
    next();
    log.add("first.after");
  });
  auto second = hooks.viewWillAppear.install([&](UIViewController&, bool, const auto& next) {
    log.add("second.before");
    next();
  });
  auto layout = hooks.viewWillLayoutSubviews.install([&](UIViewController& vc, const auto& next) {
    log.add(static_cast<Recorder&>(vc).name + ".layoutHook");
    next();
  });
  auto vc = Recorder::make("vc", &log);
  screen.show(vc);
  hooks.viewWillAppear.remove(first);
  hooks.viewWillAppear.remove(second);
  hooks.viewWillLayoutSubviews.remove(layout);
  EXPECT_EQ(log.joined(), "vc.didLoad second.before first.after vc.willAppear vc.layoutHook vc.didAppear")
      << "the subclass's call to the base reaches the hooks; layout comes before did-appear";

  struct Skipping : Recorder {
    void viewWillAppear(bool) override {}
  };
  log.clear();
  hooks.viewWillAppear.install([&](UIViewController&, bool, const auto& next) {
    log.add("hook");
    next();
  });
  auto skipping = std::make_shared<Skipping>();
  screen.window->setRootViewController(skipping);
  hooks.viewWillAppear = {};
  EXPECT_EQ(log.joined(), "vc.willDisappear vc.didDisappear") << "no call to the base, no hook";
}

TEST(UIKitViewController, LayoutGuidesMeasureTheStatusBarOverTheView) {
  ControllerScreen screen;
  auto vc = UIViewController::make();
  screen.show(vc);
  EXPECT_EQ(vc->topLayoutGuide()->length(), 20);
  EXPECT_EQ(vc->bottomLayoutGuide()->length(), 0);
  EXPECT_EQ(vc->topLayoutGuide()->frame(), CGRectMake(0, 0, 320, 20));
  auto app = UIApplication::sharedApplication();
  struct Hiding : UIViewController {
    bool prefersStatusBarHidden() const override { return true; }
  };
  auto hiding = std::make_shared<Hiding>();
  screen.window->setRootViewController(hiding);
  screen.device().settle();
  EXPECT_TRUE(app->isStatusBarHidden());
  EXPECT_EQ(hiding->topLayoutGuide()->length(), 0);
  screen.window->setRootViewController(vc);
  screen.device().settle();
  EXPECT_FALSE(app->isStatusBarHidden());
}

}  // namespace
