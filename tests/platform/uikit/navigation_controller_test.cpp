#include <gtest/gtest.h>

#include <optional>

#include "platform/foundation/NSException.h"
#include "tests/platform/uikit/ControllerTestSupport.h"

using namespace zvt::uitest;

namespace {

using Nav = Recording<UINavigationController>;

std::shared_ptr<Nav> makeNav(const std::string& name, Log* log, zvt::ui::ControllerList controllers) {
  auto nav = Nav::make(name, log);
  nav->setViewControllers(std::move(controllers));
  return nav;
}

// Recorders A, B, C, D that also log their containment calls.
struct Stack {
  Log log;
  std::shared_ptr<Recorder> a = make("A"), b = make("B"), c = make("C"), d = make("D");
  std::shared_ptr<Recorder> make(const std::string& name) {
    auto r = Recorder::make(name, &log);
    r->recordsMoves = true;
    return r;
  }
};

TEST(UIKitNavigationController, TransitionsCallBackInUIKitsOrder) {
  using zvt::ui::ControllerList;
  struct Case {
    const char* what;
    std::function<ControllerList(Stack&)> before;
    std::function<void(UINavigationController&, Stack&, bool animated)> change;
    const char* atStart;  // before the animation's end
    const char* atEnd;
  } cases[] = {
      {"push", [](Stack& s) { return ControllerList{s.a}; },
       [](UINavigationController& nav, Stack& s, bool animated) { nav.pushViewController(s.b, animated); },
       "B.willMove B.didLoad A.willDisappear B.willAppear+toParent",
       "A.didDisappear B.didAppear+toParent B.didMove"},
      {"pop", [](Stack& s) { return ControllerList{s.a, s.b}; },
       [](UINavigationController& nav, Stack& s, bool animated) { EXPECT_EQ(nav.popViewControllerAnimated(animated), s.b); },
       "B.willMove(nil) A.didLoad B.willDisappear+fromParent A.willAppear",
       "B.didDisappear+fromParent A.didAppear B.didMove(nil)"},
      {"pop to root", [](Stack& s) { return ControllerList{s.a, s.b, s.c}; },
       [](UINavigationController& nav, Stack& s, bool animated) {
         EXPECT_EQ(nav.popToRootViewControllerAnimated(animated), (ControllerList{s.b, s.c}));
       },
       "B.willMove(nil) C.willMove(nil) A.didLoad C.willDisappear+fromParent A.willAppear",
       "C.didDisappear+fromParent A.didAppear B.didMove(nil) C.didMove(nil)"},
      {"pop to a controller", [](Stack& s) { return ControllerList{s.a, s.b, s.c}; },
       [](UINavigationController& nav, Stack& s, bool animated) {
         EXPECT_EQ(nav.popToViewController(s.b, animated), (ControllerList{s.c}));
       },
       "C.willMove(nil) B.didLoad C.willDisappear+fromParent B.willAppear",
       "C.didDisappear+fromParent B.didAppear C.didMove(nil)"},
      {"set a new top", [](Stack& s) { return ControllerList{s.a, s.b}; },
       [](UINavigationController& nav, Stack& s, bool animated) { nav.setViewControllers({s.a, s.d}, animated); },
       "B.willMove(nil) D.willMove D.didLoad B.willDisappear+fromParent D.willAppear+toParent",
       "B.didDisappear+fromParent D.didAppear+toParent B.didMove(nil) D.didMove"},
  };
  for (const auto& c : cases)
    for (bool animated : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (animated ? ", animated" : ", at once"));
      Stack s;
      ControllerScreen screen;
      auto nav = UINavigationController::make();
      nav->setViewControllers(c.before(s));
      screen.show(nav);
      s.log.clear();
      std::weak_ptr<UIViewController> popped = s.b;
      c.change(*nav, s, animated);
      if (animated) {
        EXPECT_EQ(s.log.joined(), c.atStart);
        EXPECT_TRUE(nav->isTransitioning());
        screen.clock.advanceBy(0.3);
        EXPECT_TRUE(nav->isTransitioning());
        s.log.clear();
        screen.clock.advanceBy(0.05);
        EXPECT_EQ(s.log.joined(), c.atEnd);
      } else {
        EXPECT_EQ(s.log.joined(), std::string(c.atStart) + " " + c.atEnd);
      }
      EXPECT_FALSE(nav->isTransitioning());
      auto top = nav->topViewController();
      EXPECT_EQ(top->view()->superview()->superview(), nav->view());
      EXPECT_EQ(top->view()->frame(), CGRectMake(0, 0, 320, 480)) << "under the translucent bar";
      screen.device().settle();
      EXPECT_EQ(top->topLayoutGuide()->length(), 64);
      for (auto& vc : {s.a, s.b, s.c, s.d}) {
        bool stacked = std::find(nav->viewControllers().begin(), nav->viewControllers().end(), vc) !=
                       nav->viewControllers().end();
        EXPECT_EQ(vc->navigationController() != nullptr, stacked) << "popped controllers leave at the end";
        if (vc != top) {
          EXPECT_EQ(vc->isViewLoaded() ? vc->view()->window() : nullptr, nullptr);
        }
      }
      if (std::string(c.what) == "pop") {
        s.b.reset();
        EXPECT_TRUE(popped.expired()) << "nothing keeps a popped controller";
      }
    }
}

TEST(UIKitNavigationController, ChangesDuringATransitionWaitForIt) {
  Stack s;
  ControllerScreen screen;
  auto nav = UINavigationController::initWithRootViewController(s.a);
  struct Watcher : UINavigationControllerDelegate {
    Log* log;
    void navigationControllerWillShowViewController(const std::shared_ptr<UINavigationController>&,
                                                    const std::shared_ptr<UIViewController>& vc, bool) override {
      log->add("willShow " + std::static_pointer_cast<Recorder>(vc)->name);
    }
    void navigationControllerDidShowViewController(const std::shared_ptr<UINavigationController>&,
                                                   const std::shared_ptr<UIViewController>& vc, bool) override {
      log->add("didShow " + std::static_pointer_cast<Recorder>(vc)->name);
    }
  };
  auto watcher = std::make_shared<Watcher>();
  watcher->log = &s.log;
  nav->setDelegate(watcher);
  screen.show(nav);
  s.log.clear();
  nav->pushViewController(s.b, true);
  nav->pushViewController(s.c, true);
  EXPECT_EQ(nav->viewControllers(), (zvt::ui::ControllerList{s.a, s.b, s.c})) << "the stack changes at once";
  EXPECT_EQ(s.log.joined(), "B.willMove B.didLoad A.willDisappear B.willAppear+toParent willShow B C.willMove");
  s.log.clear();
  screen.clock.advanceBy(0.35);
  EXPECT_EQ(s.log.joined(), "A.didDisappear B.didAppear+toParent B.didMove didShow B C.didLoad B.willDisappear "
                            "C.willAppear+toParent willShow C");
  s.log.clear();
  screen.clock.advanceBy(0.35);
  EXPECT_EQ(s.log.joined(), "B.didDisappear C.didAppear+toParent C.didMove didShow C");

  EXPECT_THROW(nav->pushViewController(s.b, false), NSException) << "pushed twice";
  EXPECT_THROW(nav->pushViewController(nullptr, false), NSException);
  EXPECT_THROW(nav->pushViewController(UINavigationController::make(), false), NSException);
  EXPECT_THROW(nav->popToViewController(s.d, false), NSException) << "not in the stack";
  EXPECT_THROW(nav->navigationBar()->pushNavigationItem(UINavigationItem::make(), false), NSException)
      << "the controller's bar takes its items from the controller";
  EXPECT_EQ(nav->viewControllers().size(), 3u);
}

TEST(UIKitNavigationController, OffScreenChangesCallNoAppearance) {
  Stack s;
  ControllerScreen screen;
  auto nav = UINavigationController::initWithRootViewController(s.a);
  nav->pushViewController(s.b, true);
  nav->popViewControllerAnimated(true);
  EXPECT_EQ(s.log.joined(), "A.willMove A.didMove B.willMove B.didMove B.willMove(nil) B.didMove(nil)");
  EXPECT_FALSE(s.a->isViewLoaded()) << "views load when shown";
  s.log.clear();
  screen.show(nav);
  EXPECT_EQ(s.log.joined(), "A.didLoad A.willAppear A.didAppear");
}

// A pan from the left edge of the screen pops the top screen as the finger goes.
TEST(UIKitNavigationController, TheEdgePanPopsInteractively) {
  struct Case {
    const char* what;
    CGPoint from, to;
    NSTimeInterval duration;
    const char* during;
    const char* atEnd;
    size_t stacked;
  } cases[] = {
      {"past half way", {5, 200}, {250, 200}, 0.8, "B.willMove(nil) B.willDisappear+fromParent A.willAppear",
       "B.didDisappear+fromParent A.didAppear B.didMove(nil)", 1},
      {"not far enough", {5, 200}, {80, 200}, 0.8, "B.willMove(nil) B.willDisappear+fromParent A.willAppear",
       "A.willDisappear A.didDisappear B.willAppear B.didAppear B.didMove", 2},
      {"a fling", {5, 200}, {100, 200}, 0.1, "B.willMove(nil) B.willDisappear+fromParent A.willAppear",
       "B.didDisappear+fromParent A.didAppear B.didMove(nil)", 1},
      {"from the middle", {160, 200}, {300, 200}, 0.8, "", "", 2},
      {"to the left", {5, 200}, {5, 50}, 0.8, "", "", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Stack s;
    ControllerScreen screen;
    auto nav = UINavigationController::initWithRootViewController(s.a);
    screen.show(nav);
    nav->pushViewController(s.b, false);
    s.log.clear();
    auto& device = screen.device();
    // The drag, by hand: down, moves at 60 a second, a look half way, up.
    auto finger = device.touchDown(c.from);
    int steps = std::max(2, int(c.duration * 60));
    for (int i = 1; i <= steps; ++i) {
      CGFloat t = CGFloat(i) / steps;
      device.wait(c.duration / steps);
      device.touchMove(finger, CGPointMake(c.from.x + (c.to.x - c.from.x) * t, c.from.y + (c.to.y - c.from.y) * t));
      if (i == steps / 2 && *c.during) {
        CGFloat x = s.b->view()->frame().origin.x;
        EXPECT_NEAR(x, (c.to.x - c.from.x) * t - UIPanGestureRecognizer::kHysteresis, 12)
            << "the popped view follows the finger";
      }
    }
    EXPECT_EQ(s.log.joined(), c.during);
    s.log.clear();
    device.touchUp(finger);
    device.wait(UINavigationController::kTransitionDuration);
    EXPECT_EQ(s.log.joined(), c.atEnd);
    EXPECT_EQ(nav->viewControllers().size(), c.stacked);
    EXPECT_FALSE(nav->isTransitioning());
    auto top = nav->topViewController();
    EXPECT_EQ(top->view()->frame().origin.x, 0);
    EXPECT_EQ(top->view()->window(), screen.window);
    EXPECT_EQ(nav->navigationBar()->topItem(), top->navigationItem());
  }
}

TEST(UIKitNavigationController, TheEdgePanNeedsSomethingToPop) {
  Log log;
  ControllerScreen screen;
  auto a = Recorder::make("A", &log);
  auto nav = UINavigationController::initWithRootViewController(a);
  screen.show(nav);
  log.clear();
  screen.device().drag({5, 200}, {300, 200}, 0.5);
  EXPECT_EQ(log.joined(), "") << "a root screen does not move";
  auto b = Recorder::make("B", &log);
  nav->pushViewController(b, true);
  EXPECT_FALSE(nav->beginInteractivePop()) << "not during a transition";
  EXPECT_FALSE(nav->interactivePopGestureRecognizer()->delegate()->gestureRecognizerShouldBegin(
      nav->interactivePopGestureRecognizer()));
}

// The login flow: a navigation stack presented over the tabs, dismissed from its second screen.
TEST(UIKitNavigationController, APresentedStackDismissedFromItsSecondScreen) {
  Log log;
  ControllerScreen screen;
  auto home = Recorder::make("home", &log);
  auto root = makeNav("rootNav", &log, {home});
  screen.show(root);
  auto login = Recorder::make("login", &log);
  auto presented = makeNav("N", &log, {login});
  log.clear();
  home->presentViewController(presented, true);
  EXPECT_EQ(log.joined(), "N.didLoad rootNav.willDisappear home.willDisappear login.didLoad N.willAppear+presented "
                          "login.willAppear");
  screen.clock.advanceBy(0.4);
  EXPECT_EQ(presented->presentingViewController(), root) << "the presenter is the root of the home screen's tree";
  auto registration = Recorder::make("register", &log);
  presented->pushViewController(registration, true);
  screen.clock.advanceBy(0.35);
  log.clear();

  registration->dismissViewControllerAnimated(true);
  EXPECT_EQ(log.joined(), "N.willDisappear+dismissed register.willDisappear rootNav.willAppear home.willAppear");
  log.clear();
  screen.clock.advanceBy(0.4);
  EXPECT_EQ(log.joined(), "N.didDisappear+dismissed register.didDisappear rootNav.didAppear home.didAppear");
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(registration->navigationController(), presented) << "dismissed, not popped";
  EXPECT_EQ(home->view()->window(), screen.window);
}

TEST(UIKitNavigationController, HooksWrapThePushAndThePopsLikeExchangedMethods) {
  Stack s;
  ControllerScreen screen;
  auto nav = UINavigationController::initWithRootViewController(s.a);
  screen.show(nav);
  auto& hooks = zvt::ui::controllerHooks();
  // As on the device: the back swipe exchanged the push first, the bar transition second.
  auto backSwipe = hooks.pushViewController.install([&](UINavigationController&, const auto&, bool, const auto& next) {
    s.log.add("backSwipe");
    next();
  });
  auto barTransition = hooks.pushViewController.install([&](UINavigationController& n, const auto& vc, bool,
                                                             const auto& next) {
    s.log.add("barTransition top=" + std::static_pointer_cast<Recorder>(n.topViewController())->name + " pushing=" +
              std::static_pointer_cast<Recorder>(vc)->name);
    next();
  });
  auto pop = hooks.popViewController.install([&](UINavigationController&, bool, const auto& next) {
    s.log.add("popHook");
    auto popped = next();
    s.log.add("popped " + std::static_pointer_cast<Recorder>(popped)->name);
    return popped;
  });
  auto popToRoot = hooks.popToRootViewController.install([&](UINavigationController&, bool, const auto& next) {
    s.log.add("popToRootHook");
    return next();
  });
  s.log.clear();
  nav->pushViewController(s.b, false);
  EXPECT_EQ(s.log.lines[0], "barTransition top=A pushing=B");
  EXPECT_EQ(s.log.lines[1], "backSwipe");
  EXPECT_EQ(s.log.lines[2], "B.willMove");
  s.log.clear();
  EXPECT_EQ(nav->popViewControllerAnimated(false), s.b);
  EXPECT_EQ(s.log.lines.front(), "popHook");
  EXPECT_EQ(s.log.lines.back(), "popped B");
  s.log.clear();
  nav->popToRootViewControllerAnimated(false);
  EXPECT_EQ(s.log.joined(), "popToRootHook") << "nothing to pop, but the hook runs";
  for (auto token : {backSwipe, barTransition}) hooks.pushViewController.remove(token);
  hooks.popViewController.remove(pop);
  hooks.popToRootViewController.remove(popToRoot);
}

// A white bar background of one opaque pixel.
std::shared_ptr<UIImage> opaqueBarImage() {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(1, 1), false, 0);
  UIColor::whiteColor()->setFill();
  CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 1, 1));
  auto image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return image;
}

TEST(UIKitNavigationController, ViewsLieUnderTheBarOrBelowIt) {
  struct Case {
    const char* what;
    std::function<void(UINavigationController&, UIViewController&)> setUp;
    CGRect frame;
    CGFloat topGuide;
  } cases[] = {
      {"translucent bar", [](auto&, auto&) {}, {{0, 0}, {320, 480}}, 64},
      {"opaque background image", [&](UINavigationController& n, auto&) {
         n.navigationBar()->setBackgroundImage(opaqueBarImage(), UIBarMetricsDefault);
       }, {{0, 64}, {320, 416}}, 0},
      {"opaque image, opaque bars included", [&](UINavigationController& n, UIViewController& vc) {
         n.navigationBar()->setBackgroundImage(opaqueBarImage(), UIBarMetricsDefault);
         vc.setExtendedLayoutIncludesOpaqueBars(true);
       }, {{0, 0}, {320, 480}}, 64},
      {"not translucent", [](UINavigationController& n, auto&) { n.navigationBar()->setTranslucent(false); },
       {{0, 64}, {320, 416}}, 0},
      {"no extended edges", [](auto&, UIViewController& vc) { vc.setEdgesForExtendedLayout(UIRectEdgeNone); },
       {{0, 64}, {320, 416}}, 0},
      {"bar hidden", [](UINavigationController& n, auto&) { n.setNavigationBarHidden(true); },
       {{0, 0}, {320, 480}}, 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ControllerScreen screen;
    auto vc = UIViewController::make();
    auto nav = UINavigationController::initWithRootViewController(vc);
    c.setUp(*nav, *vc);
    screen.show(nav);
    EXPECT_EQ(vc->view()->frame(), c.frame);
    EXPECT_EQ(vc->topLayoutGuide()->length(), c.topGuide);
    EXPECT_EQ(nav->navigationBar()->frame(), CGRectMake(0, nav->isNavigationBarHidden() ? -44 : 20, 320, 44));
    EXPECT_EQ(nav->navigationBar()->backgroundView()->frame(), CGRectMake(0, -20, 320, 64))
        << "the background reaches up behind the status bar";
  }
}

// A screen that sets the bar's background as it is about to appear (nil: none, so translucent).
struct BarImageScreen : UIViewController {
  std::shared_ptr<UIImage> image;
  static std::shared_ptr<BarImageScreen> make(std::shared_ptr<UIImage> image) {
    auto screen = std::make_shared<BarImageScreen>();
    screen->image = std::move(image);
    return screen;
  }
  void viewWillAppear(bool animated) override {
    UIViewController::viewWillAppear(animated);
    navigationController()->navigationBar()->setBackgroundImage(image, UIBarMetricsDefault);
  }
};

// The bar's translucency follows the image the incoming screen sets in viewWillAppear; the
// incoming view lies where it will stay from the first frame of the transition, not where the
// outgoing screen's bar would have put it (it would slide in 64 points off, then jump).
TEST(UIKitNavigationController, TheIncomingViewHasItsFinalFrameFromTheFirstFrame) {
  const CGRect underTheBar{{0, 0}, {320, 480}}, belowTheBar{{0, 64}, {320, 416}};
  struct Case {
    const char* what;
    bool rootOpaque, topOpaque;
    bool pop;  // else push
    bool interactive;
    CGRect frame;
  } cases[] = {
      {"push: translucent to opaque", false, true, false, false, belowTheBar},
      {"push: opaque to translucent", true, false, false, false, underTheBar},
      {"pop: opaque to translucent", false, true, true, false, underTheBar},
      {"pop: translucent to opaque", true, false, true, false, belowTheBar},
      {"edge pan: opaque to translucent", false, true, true, true, underTheBar},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ControllerScreen screen;
    auto root = BarImageScreen::make(c.rootOpaque ? opaqueBarImage() : nullptr);
    auto top = BarImageScreen::make(c.topOpaque ? opaqueBarImage() : nullptr);
    auto nav = UINavigationController::initWithRootViewController(root);
    screen.show(nav);
    if (c.pop) nav->pushViewController(top, false);
    screen.device().settle();
    auto incoming = c.pop ? root : top;

    std::optional<zvt::ui::Device::Finger> finger;
    if (!c.pop) {
      nav->pushViewController(top, true);
    } else if (!c.interactive) {
      nav->popViewControllerAnimated(true);
    } else {
      finger = screen.device().touchDown({5, 200});
      for (CGFloat x : {20, 40, 60}) {
        screen.device().wait(1.0 / 60);
        screen.device().touchMove(*finger, {x, 200});
      }
    }
    ASSERT_TRUE(nav->isTransitioning());
    screen.device().wait(1.0 / 60);  // the first frame
    auto shown = incoming->view()->layer()->presentationLayer()->frame();
    EXPECT_EQ(incoming->view()->frame().origin.y, c.frame.origin.y);
    EXPECT_EQ(incoming->view()->frame().size, c.frame.size);
    EXPECT_EQ(shown.origin.y, c.frame.origin.y);
    EXPECT_EQ(shown.size, c.frame.size);
    EXPECT_LT(shown.origin.x, c.pop ? 0 : 320) << "still sliding in";
    EXPECT_GT(shown.origin.x, c.pop ? -320 : 0) << "still sliding in";

    if (finger) screen.device().touchUp(*finger);
    screen.device().wait(UINavigationController::kTransitionDuration);
    ASSERT_FALSE(nav->isTransitioning());
    ASSERT_EQ(nav->topViewController(), incoming);
    EXPECT_EQ(incoming->view()->frame(), c.frame);
    EXPECT_EQ(incoming->view()->layer()->presentationLayer()->frame(), c.frame);
  }
}

TEST(UIKitNavigationController, TheBarHidesWithAnimationAndTheGuidesFollow) {
  ControllerScreen screen;
  auto vc = UIViewController::make();
  auto nav = UINavigationController::initWithRootViewController(vc);
  screen.show(nav);
  auto bar = nav->navigationBar();
  nav->setNavigationBarHidden(true, true);
  EXPECT_TRUE(nav->isNavigationBarHidden()) << "the model at once";
  EXPECT_FALSE(bar->isHidden()) << "still sliding away";
  screen.clock.advanceBy(UINavigationControllerHideShowBarDuration);
  EXPECT_TRUE(bar->isHidden());
  EXPECT_EQ(vc->topLayoutGuide()->length(), 20);
  nav->setNavigationBarHidden(false, true);
  EXPECT_FALSE(bar->isHidden());
  screen.clock.advanceBy(UINavigationControllerHideShowBarDuration);
  EXPECT_EQ(vc->topLayoutGuide()->length(), 64);

  // Inside a push the bar goes with the transition.
  auto next = UIViewController::make();
  nav->pushViewController(next, true);
  nav->setNavigationBarHidden(true, true);
  screen.clock.advanceBy(UINavigationControllerHideShowBarDuration);
  EXPECT_FALSE(bar->isHidden()) << "the transition is not over";
  screen.clock.advanceBy(UINavigationController::kTransitionDuration - UINavigationControllerHideShowBarDuration);
  EXPECT_TRUE(bar->isHidden());
}

TEST(UIKitNavigationController, TheStatusBarFollowsTheBarStyle) {
  ControllerScreen screen;
  struct Light : UIViewController {
    UIStatusBarStyle preferredStatusBarStyle() const override { return UIStatusBarStyleLightContent; }
  };
  auto vc = std::make_shared<Light>();
  auto nav = UINavigationController::initWithRootViewController(vc);
  screen.show(nav);
  auto app = UIApplication::sharedApplication();
  EXPECT_EQ(app->statusBarStyle(), UIStatusBarStyleDefault) << "a navigation controller asks its bar, not its top";
  nav->navigationBar()->setBarStyle(UIBarStyleBlack);
  EXPECT_EQ(app->statusBarStyle(), UIStatusBarStyleLightContent);
  nav->navigationBar()->setBarStyle(UIBarStyleDefault);
  nav->setNavigationBarHidden(true);
  nav->setNeedsStatusBarAppearanceUpdate();
  EXPECT_EQ(app->statusBarStyle(), UIStatusBarStyleLightContent) << "without the bar, the top decides";
}

}  // namespace

// What the toolkit's back swipe builds on these hooks: a pan anywhere on the screen that drives
// the controller's interactive pop, and the bar hidden per screen as each is about to appear.
TEST(UIKitNavigationController, AFullScreenSwipeBuiltOnThePublicHandles) {
  struct SwipeDelegate : UIGestureRecognizerDelegate {
    std::weak_ptr<UINavigationController> nav;
    bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& r) override {
      auto n = nav.lock();
      auto pan = std::static_pointer_cast<UIPanGestureRecognizer>(r);
      return n && n->viewControllers().size() > 1 && !n->isTransitioning() &&
             pan->translationInView(r->view()).x > 0;
    }
  };
  Log log;
  ControllerScreen screen;
  auto a = Recorder::make("A", &log), b = Recorder::make("B", &log);
  auto nav = UINavigationController::initWithRootViewController(a);
  screen.show(nav);
  auto system = nav->interactivePopGestureRecognizer();
  auto pan = UIPanGestureRecognizer::initWithTarget(nav, &UINavigationController::handleNavigationTransition);
  auto swipeDelegate = std::make_shared<SwipeDelegate>();
  swipeDelegate->nav = nav;
  pan->setDelegate(swipeDelegate);
  pan->setMaximumNumberOfTouches(1);
  system->view()->addGestureRecognizer(pan);
  system->setEnabled(false);
  // B prefers no bar: hidden as it is about to appear, with the transition's animation.
  auto hook = zvt::ui::controllerHooks().viewWillAppear.install([&](UIViewController& vc, bool animated, const auto& next) {
    next();
    if (auto n = vc.navigationController()) n->setNavigationBarHidden(&vc == b.get(), animated);
  });
  nav->pushViewController(b, true);
  EXPECT_TRUE(nav->isNavigationBarHidden());
  screen.clock.advanceBy(UINavigationController::kTransitionDuration);
  EXPECT_TRUE(nav->navigationBar()->isHidden());
  log.clear();

  screen.device().drag({160, 300}, {40, 300}, 0.4);
  EXPECT_EQ(log.joined(), "") << "a move to the left does not begin";
  screen.device().drag({160, 300}, {320, 300}, 0.4);
  screen.device().wait(UINavigationController::kTransitionDuration);
  EXPECT_EQ(log.joined(), "B.willDisappear+fromParent A.willAppear B.didDisappear+fromParent A.didAppear")
      << "from the middle of the screen";
  EXPECT_FALSE(nav->isNavigationBarHidden());
  EXPECT_FALSE(nav->navigationBar()->isHidden());
  zvt::ui::controllerHooks().viewWillAppear.remove(hook);
}
