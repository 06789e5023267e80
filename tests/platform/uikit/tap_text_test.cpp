// Tapping by text as a person means it: of the views showing a text, the one the finger can reach
// there, a control before a text that only shows, the whole text before a part, and a clear
// refusal when what shows the text lies under something that takes the touch.
#include <gtest/gtest.h>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

std::shared_ptr<NSString> str(const std::string& s) { return NSString::stringWithUTF8String(s); }

// One row reading "设置" (or what `text` says), selected rows logged as "row".
class OneRow : public UITableViewDataSource, public UITableViewDelegate {
 public:
  explicit OneRow(Log* l) : log(l) {}
  Log* log;
  std::string text = "设置";
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return 1; }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& ip) override {
    auto cell = table->dequeueReusableCellWithIdentifier(str("Row"), ip);
    cell->textLabel()->setText(str(text));
    return cell;
  }
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&, const std::shared_ptr<NSIndexPath>&) override {
    log->add("row");
  }
};

// A scene on the 320 x 480 screen whose controls log their names when they act.
struct Scene {
  Screen& screen;
  Log& log;
  std::vector<std::shared_ptr<void>> held;

  std::shared_ptr<UIButton> button(const char* name, const char* title, CGRect frame,
                                   const std::shared_ptr<UIView>& parent = nullptr) {
    auto target = std::make_shared<Target>(&log);
    target->name = name;
    held.push_back(target);
    auto b = screen.add<UIButton>(frame, parent);
    if (title) b->setTitle(str(title), UIControlStateNormal);
    b->addTarget(target, &Target::pressed, UIControlEventTouchUpInside);
    return b;
  }
  std::shared_ptr<UILabel> label(const char* text, CGRect frame, const std::shared_ptr<UIView>& parent = nullptr) {
    auto l = screen.add<UILabel>(frame, parent);
    l->setText(str(text));
    return l;
  }
  // A box taking taps through a recogniser, with its caption inside.
  void tile(const char* name, const char* text, CGRect frame) {
    auto target = std::make_shared<Target>(&log);
    target->name = name;
    held.push_back(target);
    auto box = screen.add(frame);
    box->addGestureRecognizer(UIGestureRecognizer::make<UITapGestureRecognizer>(target, &Target::gesture));
    label(text, {{10, 10}, {frame.size.width - 20, 20}}, box);
  }
  // A list whose one row reads `text`, filling the frame.
  std::shared_ptr<UITableView> list(CGRect frame, const char* text = "设置") {
    auto rows = std::make_shared<OneRow>(&log);
    rows->text = text;
    held.push_back(rows);
    auto table = UITableView::initWithFrame(frame);
    table->registerClass<UITableViewCell>(str("Row"));
    table->setDataSource(rows);
    table->setDelegate(rows);
    screen.window->addSubview(table);
    return table;
  }
  // Tab buttons along the bottom, in front of everything so far.
  void bottomBar() {
    auto bar = screen.add({{0, 431}, {320, 49}});
    button("home", "首页", {{0, 0}, {106, 49}}, bar);
    button("rebate", "淘宝回扣", {{106, 0}, {214, 49}}, bar);
  }
};

TEST(UIKitDeviceTapText, ChoosesWhatAPersonMeansAndSaysWhyWhenItCannot) {
  struct Case {
    const char* what;
    std::function<void(Scene&)> build;
    const char* tap;
    bool tapped;
    const char* acted;  // the log after the tap
    const char* why;    // when refused
  } cases[] = {
      {"a button before a title reading the same, the title in front",
       [](Scene& s) {
         s.button("sign", "签到", {{100, 300}, {120, 40}});
         s.label("签到", {{0, 20}, {320, 44}});
       },
       "签到", true, "sign.pressed", ""},
      {"the whole text before a part, the part in front",
       [](Scene& s) {
         s.tile("tile", "签到", {{0, 100}, {320, 60}});
         s.button("signed", "已签到", {{100, 300}, {120, 40}});
       },
       "签到", true, "tile.ended", ""},
      {"a part when nothing shows the whole text",
       [](Scene& s) { s.button("more", "点击或上拉加载更多", {{0, 300}, {320, 40}}); },
       "加载更多", true, "more.pressed", ""},
      {"a row under the tab bar is not tapped through it",
       [](Scene& s) {
         s.list({{0, 420}, {320, 60}});
         s.bottomBar();
       },
       "设置", false, "", "\"设置\" is covered by the UIButton showing \"淘宝回扣\""},
      {"of two rows, the one clear of the tab bar",
       [](Scene& s) {
         s.button("top", "设置", {{0, 20}, {320, 44}});
         s.list({{0, 420}, {320, 60}});
         s.bottomBar();
       },
       "设置", true, "top.pressed", ""},
      {"a covered button rather than a title reading the same",
       [](Scene& s) {
         s.label("签到", {{0, 20}, {320, 44}});
         s.button("sign", "签到", {{0, 435}, {320, 40}});
         s.bottomBar();
       },
       "签到", false, "", "\"签到\" is covered by the UIButton showing \"淘宝回扣\""},
      {"a caption drawn over its button is the button",
       [](Scene& s) {
         s.button("shop", nullptr, {{0, 300}, {320, 60}});
         s.label("去购物", {{0, 300}, {320, 60}});
         s.label("去购物", {{0, 20}, {320, 44}});
       },
       "去购物", true, "shop.pressed", ""},
      {"a view with a tap recogniser before a label",
       [](Scene& s) {
         s.tile("tile", "领红包", {{0, 300}, {320, 60}});
         s.label("领红包", {{0, 20}, {320, 44}});
       },
       "领红包", true, "tile.ended", ""},
      {"a selectable row before a label",
       [](Scene& s) {
         s.list({{0, 200}, {320, 100}}, "帮助");
         s.label("帮助", {{0, 20}, {320, 44}});
       },
       "帮助", true, "row", ""},
      {"under a see-through layer that takes no touches",
       [](Scene& s) {
         s.button("ok", "确定", {{100, 300}, {120, 40}});
         s.screen.add({{0, 0}, {320, 480}})->setUserInteractionEnabled(false);
       },
       "确定", true, "ok.pressed", ""},
      {"a button in a box that takes no touches",
       [](Scene& s) {
         auto box = s.screen.add({{0, 250}, {320, 200}});
         box->setUserInteractionEnabled(false);
         s.button("ok", "确定", {{100, 50}, {120, 40}}, box);
       },
       "确定", false, "", "\"确定\" takes no touches where it shows"},
      {"nothing shows it", [](Scene& s) { s.label("签到", {{0, 20}, {320, 44}}); }, "领取", false, "",
       "nothing visible shows \"领取\" to tap"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Screen screen;
    Log log;
    Scene scene{screen, log, {}};
    c.build(scene);
    screen.device().settle();
    std::string why;
    EXPECT_EQ(screen.device().tapText(c.tap, &why), c.tapped);
    EXPECT_EQ(log.joined(), c.acted);
    EXPECT_EQ(why, c.why);
  }
}

// Tapping a view the device found: reached only when nothing in front takes the touch.
TEST(UIKitDeviceTapText, ALabelUnderABarIsNotReached) {
  Screen screen;
  Log log;
  Scene scene{screen, log, {}};
  auto covered = scene.label("设置", {{0, 440}, {320, 40}});
  scene.bottomBar();
  auto clear = scene.label("我的", {{0, 20}, {320, 44}});
  screen.device().settle();
  EXPECT_FALSE(screen.device().tapView(covered));
  EXPECT_EQ(log.joined(), "rebate.pressed") << "the finger lands on the bar";
  EXPECT_TRUE(screen.device().tapView(clear));
}

}  // namespace
