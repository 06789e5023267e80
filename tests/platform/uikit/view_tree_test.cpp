#include <gtest/gtest.h>

#include <numbers>

#include "platform/foundation/NSException.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

std::string names(const std::vector<std::shared_ptr<UIView>>& views) {
  std::string out;
  for (const auto& v : views) out += std::to_string(v->tag());
  return out;
}

TEST(UIKitViewTree, SubviewOrderKeepsLayersInStep) {
  auto root = UIView::make();
  std::vector<std::shared_ptr<UIView>> v;
  for (int i = 0; i < 5; ++i) {
    v.push_back(UIView::make());
    v.back()->setTag(i);
  }
  struct Case {
    const char* what;
    std::function<void()> change;
    const char* order;
  } cases[] = {
      {"add", [&] { for (int i : {0, 1, 2}) root->addSubview(v[i]); }, "012"},
      {"insert at an index", [&] { root->insertSubview(v[3], 1); }, "0312"},
      {"insert beyond the end appends", [&] { root->insertSubview(v[4], 99); }, "03124"},
      {"above a sibling", [&] { root->insertSubviewAboveSubview(v[0], v[2]); }, "31204"},
      {"below a sibling", [&] { root->insertSubviewBelowSubview(v[4], v[3]); }, "43120"},
      {"to the front", [&] { root->bringSubviewToFront(v[4]); }, "31204"},
      {"to the back", [&] { root->sendSubviewToBack(v[0]); }, "03124"},
      {"exchange", [&] { root->exchangeSubviewAtIndex(0, 3); }, "23104"},
      {"adding a subview again brings it to the front", [&] { root->addSubview(v[2]); }, "31042"},
      {"remove", [&] { v[1]->removeFromSuperview(); }, "3042"},
  };
  for (const auto& c : cases) {
    c.change();
    EXPECT_EQ(names(root->subviews()), c.order) << c.what;
    std::string layers;
    for (const auto& l : root->layer()->sublayers())
      for (const auto& s : root->subviews())
        if (s->layer() == l) layers += std::to_string(s->tag());
    EXPECT_EQ(layers, c.order) << c.what << ": layers";
  }
  EXPECT_FALSE(v[1]->superview());
  EXPECT_EQ(v[3]->superview(), root);
  EXPECT_EQ(root->viewWithTag(4), v[4]);
  v[4]->addSubview(v[1]);
  EXPECT_EQ(root->viewWithTag(1), v[1]) << "depth first";
  EXPECT_TRUE(v[1]->isDescendantOfView(root));
  EXPECT_THROW(v[1]->addSubview(root), NSException);
}

class Hooked : public UIView {
 public:
  Log* log = nullptr;
  std::string name;
  void willMoveToSuperview(const std::shared_ptr<UIView>& s) override { note(s ? "willSuper" : "willSuper(nil)"); }
  void didMoveToSuperview() override { note("didSuper"); }
  void willMoveToWindow(const std::shared_ptr<UIWindow>& w) override { note(w ? "willWindow" : "willWindow(nil)"); }
  void didMoveToWindow() override { note(window() ? "didWindow" : "didWindow(nil)"); }
  void didAddSubview(const std::shared_ptr<UIView>&) override { note("didAdd"); }
  void willRemoveSubview(const std::shared_ptr<UIView>&) override { note("willRemove"); }
  bool canBecomeFirstResponder() const override { return true; }

 private:
  void note(const char* what) { log->add(name + "." + what); }
};

TEST(UIKitViewTree, MovesBetweenSuperviewsAndWindowsCallTheHooksInOrder) {
  Screen screen;
  Log log;
  auto make = [&](const char* name) {
    auto v = UIView::makeView<Hooked>();
    v->log = &log;
    v->name = name;
    return v;
  };
  auto parent = make("parent");
  auto child = make("child");
  auto grandchild = make("grandchild");
  child->addSubview(grandchild);
  log.clear();
  parent->addSubview(child);
  EXPECT_EQ(log.joined(), "child.willSuper child.didSuper parent.didAdd") << "no window involved";
  log.clear();
  screen.window->addSubview(parent);
  EXPECT_EQ(log.joined(),
            "parent.willSuper parent.willWindow child.willWindow grandchild.willWindow parent.didWindow "
            "child.didWindow grandchild.didWindow parent.didSuper");
  EXPECT_EQ(grandchild->window(), screen.window);
  EXPECT_TRUE(grandchild->becomeFirstResponder());
  log.clear();
  child->removeFromSuperview();
  EXPECT_EQ(log.joined(),
            "child.willSuper(nil) child.willWindow(nil) grandchild.willWindow(nil) parent.willRemove "
            "child.didWindow(nil) grandchild.didWindow(nil) child.didSuper");
  EXPECT_FALSE(grandchild->window());
  EXPECT_FALSE(grandchild->isFirstResponder()) << "a first responder leaving the window resigns";
  EXPECT_FALSE(child->becomeFirstResponder()) << "outside a window";
  screen.window->addSubview(child);
  ASSERT_TRUE(grandchild->becomeFirstResponder());
  EXPECT_FALSE(parent->endEditing(false)) << "not in its tree";
  EXPECT_TRUE(child->endEditing(true));
  EXPECT_FALSE(UIResponder::currentFirstResponder());
}

TEST(UIKitViewGeometry, FrameBoundsCenterAndTransform) {
  auto view = UIView::initWithFrame({{10, 20}, {100, 50}});
  EXPECT_EQ(view->center(), CGPointMake(60, 45));
  EXPECT_EQ(view->bounds(), CGRectMake(0, 0, 100, 50));
  view->setTransform(CGAffineTransformMakeScale(2, 2));
  EXPECT_EQ(view->frame(), CGRectMake(-40, -5, 200, 100)) << "the transform is kept apart from bounds and center";
  EXPECT_EQ(view->bounds().size, CGSizeMake(100, 50));
  view->setTransform(CGAffineTransformIdentity);
  view->setBounds({{5, 5}, {40, 40}});
  EXPECT_EQ(view->frame(), CGRectMake(40, 25, 40, 40)) << "the bounds grow around the center";
  auto root = UIView::make();
  root->addSubview(view);
  auto child = UIView::initWithFrame({{0, 0}, {10, 10}});
  view->addSubview(child);
  EXPECT_EQ(child->convertPointToView({0, 0}, root), CGPointMake(35, 20)) << "the bounds origin shifts the content";
  view->sizeToFit();
  EXPECT_EQ(view->frame(), CGRectMake(40, 25, 40, 40)) << "a plain view keeps its size";
  EXPECT_EQ(view->intrinsicContentSize(), CGSizeMake(UIViewNoIntrinsicMetric, UIViewNoIntrinsicMetric));

  // Windows on the screen: points convert through the screen.
  Screen screen;
  auto other = UIWindow::initWithFrame({{0, 100}, {320, 200}});
  auto a = screen.add({{10, 10}, {20, 20}});
  auto b = UIView::initWithFrame({{5, 5}, {20, 20}});
  other->addSubview(b);
  b->setTransform(CGAffineTransformMakeRotation(std::numbers::pi));
  CGPoint p = a->convertPointToView({0, 0}, b);
  EXPECT_NEAR(p.x, 15, 1e-9);
  EXPECT_NEAR(p.y, 115, 1e-9);
  EXPECT_EQ(screen.window->convertPointToWindow({0, 150}, other), CGPointMake(0, 50));
}

TEST(UIKitViewGeometry, AutoresizingMasksFollowTheSuperview) {
  using M = UIViewAutoresizing;
  struct Case {
    const char* what;
    M mask;
    CGRect want;
  } cases[] = {
      {"none", UIViewAutoresizingNone, {{20, 10}, {60, 20}}},
      {"flexible width", UIViewAutoresizingFlexibleWidth, {{20, 10}, {160, 20}}},
      {"flexible left margin", UIViewAutoresizingFlexibleLeftMargin, {{120, 10}, {60, 20}}},
      {"flexible right margin", UIViewAutoresizingFlexibleRightMargin, {{20, 10}, {60, 20}}},
      {"both margins share by size", UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin,
       {{70, 10}, {60, 20}}},
      {"width and right margin", UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleRightMargin,
       {{20, 10}, {135, 20}}},
      {"flexible height and bottom", UIViewAutoresizingFlexibleHeight | UIViewAutoresizingFlexibleBottomMargin,
       {{20, 10}, {60, 45}}},
      {"all", static_cast<M>(63), {{40, 20}, {120, 40}}},
  };
  for (const auto& c : cases) {
    auto parent = UIView::initWithFrame({{0, 0}, {100, 50}});
    auto child = UIView::initWithFrame({{20, 10}, {60, 20}});
    child->setAutoresizingMask(c.mask);
    parent->addSubview(child);
    parent->setFrame({{0, 0}, {200, 100}});
    EXPECT_EQ(child->frame(), c.want) << c.what << ": " << NSStringFromCGRect(child->frame())->utf8();
  }
  auto parent = UIView::initWithFrame({{0, 0}, {100, 50}});
  auto child = UIView::initWithFrame({{20, 10}, {60, 20}});
  child->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  parent->addSubview(child);
  parent->setAutoresizesSubviews(false);
  parent->setBounds({{0, 0}, {200, 50}});
  EXPECT_EQ(child->frame().size.width, 60) << "autoresizesSubviews off";
}

TEST(UIKitViewLook, TintInheritanceAndProperties) {
  struct Tinted : UIView {
    int changes = 0;
    void tintColorDidChange() override { ++changes; }
  };
  auto parent = UIView::make();
  auto inherits = UIView::makeView<Tinted>();
  auto own = UIView::makeView<Tinted>();
  parent->addSubview(inherits);
  parent->addSubview(own);
  own->setTintColor(UIColor::redColor());
  own->changes = 0;
  CGFloat r, g, b, a;
  inherits->tintColor()->getRed(&r, &g, &b, &a);
  EXPECT_NEAR(g, 122 / 255.0, 1e-9) << "the system blue";
  parent->setTintColor(UIColor::greenColor());
  EXPECT_TRUE(inherits->tintColor()->isEqual(UIColor::greenColor()));
  EXPECT_EQ(inherits->changes, 1);
  EXPECT_EQ(own->changes, 0) << "a view with its own tint is not told";
  parent->setAlpha(2);
  EXPECT_EQ(parent->alpha(), 1) << "clamped";
  parent->setBackgroundColor(UIColor::whiteColor());
  EXPECT_TRUE(CGColorEqualToColor(parent->layer()->backgroundColor(), UIColor::whiteColor()->CGColor()));
  parent->setClipsToBounds(true);
  EXPECT_TRUE(parent->layer()->masksToBounds());
  parent->setContentMode(UIViewContentModeRedraw);
  EXPECT_TRUE(parent->layer()->needsDisplayOnBoundsChange());
  EXPECT_NE(parent->description()->utf8().find("frame = (0 0; 0 0)"), std::string::npos);
}

TEST(UIKitMainThreadDeathTest, OffTheMainThreadStopsWithTheCall) {
#ifdef NDEBUG
  GTEST_SKIP() << "checked in debug builds only";
#endif
  auto view = UIView::make();
  EXPECT_DEATH(std::thread([&] { view->setFrame({{0, 0}, {1, 1}}); }).join(),
               "UIView::setFrame called off the main thread");
}

}  // namespace
