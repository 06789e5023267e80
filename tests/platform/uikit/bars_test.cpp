#include <gtest/gtest.h>

#include "platform/uikit/UITextField.h"
#include "tests/platform/uikit/ControllerTestSupport.h"

using namespace zvt::uitest;

namespace {

struct Pressed : UIResponder {
  Log* log;
  std::shared_ptr<UIBarButtonItem> lastSender;
  void save(const std::shared_ptr<UIBarButtonItem>& sender) {
    lastSender = sender;
    log->add("save");
  }
  void close() { log->add("close"); }
};

std::shared_ptr<UIViewController> titled(const char* title) {
  auto vc = UIViewController::make();
  if (title) vc->setTitle(NSString::stringWithUTF8String(title));
  return vc;
}

TEST(UIKitNavigationBar, ItemsAreTappedByWhatTheyShow) {
  Log log;
  ControllerScreen screen;
  auto home = titled("首页");
  auto detail = titled("详情");
  auto nav = UINavigationController::initWithRootViewController(home);
  screen.show(nav);
  auto target = std::make_shared<Pressed>();
  target->log = &log;
  auto save = UIBarButtonItem::initWithTitle("保存"_ns, UIBarButtonItemStyleDone, target, &Pressed::save);
  detail->navigationItem()->setRightBarButtonItem(save);
  nav->pushViewController(detail, false);
  auto& device = screen.device();
  device.settle();

  EXPECT_NE(device.viewWithText("详情"), nullptr) << "the title";
  EXPECT_EQ(device.viewWithText("首页"), nav->navigationBar()->backButtonView()) << "the back button names home";
  ASSERT_TRUE(device.tapText("保存"));
  EXPECT_EQ(log.joined(), "save");
  EXPECT_EQ(target->lastSender, save) << "the item is the sender";

  save->setEnabled(false);
  device.settle();
  device.tapText("保存");
  EXPECT_EQ(log.joined(), "save") << "a disabled item sends nothing";

  // A custom view is tapped as itself; an item without a target goes up the responder chain.
  auto custom = UIControl::initWithFrame(CGRectMake(0, 0, 30, 30));
  custom->addTarget(target, &Pressed::close, UIControlEventTouchUpInside);
  detail->navigationItem()->setRightBarButtonItems(
      {UIBarButtonItem::initWithCustomView(custom), UIBarButtonItem::initWithTitle("编辑"_ns, UIBarButtonItemStylePlain,
                                                                                  nullptr, &Pressed::save)});
  device.settle();
  EXPECT_TRUE(device.tapView(custom));
  EXPECT_EQ(log.lines.back(), "close");
  EXPECT_EQ(custom->frame().origin.y, 7) << "centred in the 44-point bar";
  EXPECT_EQ(CGRectGetMaxX(custom->convertRectToView(custom->bounds(), nullptr)), 320 - 8) << "8 points from the edge";
  device.tapText("编辑");
  EXPECT_EQ(log.lines.back(), "close") << "nobody on the chain takes save";

  ASSERT_TRUE(device.tapText("首页"));
  device.wait(UINavigationController::kTransitionDuration);
  EXPECT_EQ(nav->topViewController(), home) << "the back button pops";
  auto title = device.viewWithText("首页");
  ASSERT_NE(title, nullptr);
  EXPECT_NEAR(CGRectGetMidX(title->convertRectToView(title->bounds(), nullptr)), 160, 1) << "the title is centred";
}

TEST(UIKitNavigationBar, TheBackButtonShowsWhatFits) {
  struct Case {
    const char* what;
    const char* below;  // the title of the screen below
    std::function<void(UIViewController& below, UIViewController& top)> setUp;
    std::vector<std::string> shows;  // what the bar shows, besides the top's title "T"
    bool backButton;
  } cases[] = {
      {"the title below", "首页", [](auto&, auto&) {}, {"首页"}, true},
      {"no title below", nullptr, [](auto&, auto&) {}, {"返回"}, true},
      {"a long title", "一个非常非常非常非常非常非常长的标题", [](auto&, auto&) {}, {"返回"}, true},
      {"the back item's title", "首页", [](UIViewController& below, auto&) {
         below.navigationItem()->setBackBarButtonItem(
             UIBarButtonItem::initWithTitle("回去"_ns, UIBarButtonItemStylePlain, nullptr, SEL()));
       }, {"回去"}, true},
      {"an empty back item: the chevron alone", "首页", [](UIViewController& below, auto&) {
         below.navigationItem()->setBackBarButtonItem(
             UIBarButtonItem::initWithTitle(""_ns, UIBarButtonItemStylePlain, nullptr, SEL()));
       }, {}, true},
      {"hidden back button", "首页", [](auto&, UIViewController& top) {
         top.navigationItem()->setHidesBackButton(true);
       }, {}, false},
      {"a left item replaces it", "首页", [](auto&, UIViewController& top) {
         top.navigationItem()->setLeftBarButtonItem(
             UIBarButtonItem::initWithTitle("关闭"_ns, UIBarButtonItemStylePlain, nullptr, SEL()));
       }, {"关闭"}, false},
      {"unless it supplements it", "首页", [](auto&, UIViewController& top) {
         top.navigationItem()->setLeftBarButtonItem(
             UIBarButtonItem::initWithTitle("关闭"_ns, UIBarButtonItemStylePlain, nullptr, SEL()));
         top.navigationItem()->setLeftItemsSupplementBackButton(true);
       }, {"首页", "关闭"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ControllerScreen screen;
    auto below = titled(c.below);
    auto top = titled("T");
    c.setUp(*below, *top);
    auto nav = UINavigationController::make();
    nav->setViewControllers({below, top});
    screen.show(nav);
    auto bar = nav->navigationBar();
    EXPECT_EQ(bar->backButtonView() != nullptr, c.backButton);
    std::vector<std::string> shown;
    for (auto& text : screen.device().visibleTexts())
      if (text != "T") shown.push_back(text);
    std::sort(shown.begin(), shown.end());
    auto want = c.shows;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(shown, want);
  }
}

TEST(UIKitNavigationBar, LooksAndTheBackgroundHandle) {
  ControllerScreen screen;
  auto nav = UINavigationController::initWithRootViewController(titled("首页"));
  screen.show(nav);
  auto bar = nav->navigationBar();
  auto background = bar->backgroundView();
  ASSERT_EQ(background->superview(), bar);
  bar->setBarTintColor(UIColor::colorWithRed(1, 85 / 255.0, 20 / 255.0, 1));
  EXPECT_TRUE(zvt::objectsEqual(background->backgroundColor(), bar->barTintColor()));
  EXPECT_TRUE(bar->isTranslucent());

  // The white style: an opaque 1 x 1 image makes the bar opaque and the shadow image shows.
  auto image = [](CGFloat white, CGFloat alpha) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(1, 1), false, 0);
    UIColor::colorWithWhite(white, alpha)->setFill();
    CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 1, 1));
    auto made = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return made;
  };
  bar->setBackgroundImage(image(1, 1), UIBarMetricsDefault);
  EXPECT_FALSE(bar->isTranslucent());
  bar->setBackgroundImage(image(1, 0.5), UIBarMetricsDefault);
  EXPECT_TRUE(bar->isTranslucent()) << "an image with see-through pixels";
  bar->setTranslucent(false);
  EXPECT_FALSE(bar->isTranslucent()) << "set explicitly";

  // Hiding the background (as the bar transitions do) leaves the items.
  background->setHidden(true);
  screen.device().settle();
  EXPECT_NE(screen.device().viewWithText("首页"), nullptr);
  EXPECT_FALSE(zvt::ui::Device::isVisible(background));
}

}  // namespace

namespace {

TEST(UIKitNavigationBar, AnEditingTitleViewKeepsTheKeyboardWhenTheBarChanges) {
  ControllerScreen screen;
  auto home = titled("首页");
  auto nav = UINavigationController::initWithRootViewController(home);
  screen.show(nav);
  auto field = UITextField::initWithFrame(CGRectMake(0, 0, 200, 30));
  home->navigationItem()->setTitleView(field);
  auto& device = screen.device();
  device.settle();
  ASSERT_TRUE(field->becomeFirstResponder());
  // A change of the bar's look rebuilds its item views; the title view stays where it is.
  nav->navigationBar()->setTintColor(UIColor::redColor());
  nav->navigationBar()->setBarStyle(UIBarStyleBlack);
  device.settle();
  EXPECT_TRUE(field->isFirstResponder());
  EXPECT_EQ(field->superview(), nav->navigationBar());
  // Another title takes the place of the view.
  home->navigationItem()->setTitleView(nullptr);
  home->setTitle("首页"_ns);
  device.settle();
  EXPECT_FALSE(field->superview());
  EXPECT_FALSE(field->isFirstResponder());
}

}  // namespace
