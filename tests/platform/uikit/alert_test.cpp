#include <gtest/gtest.h>

#include "platform/foundation/NSException.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UITextField.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;
using zvt::ui::Device;

namespace {

std::shared_ptr<NSString> str(const char* s) { return NSString::stringWithUTF8String(s); }

class AlertDelegate : public NSObject, public UIAlertViewDelegate {
 public:
  Log* log = nullptr;
  bool enableFirstOther = true;
  void alertViewClickedButtonAtIndex(const std::shared_ptr<UIAlertView>&, NSInteger i) override {
    log->add("clicked(" + std::to_string(i) + ")");
  }
  void willPresentAlertView(const std::shared_ptr<UIAlertView>&) override { log->add("willPresent"); }
  void didPresentAlertView(const std::shared_ptr<UIAlertView>&) override { log->add("didPresent"); }
  void alertViewWillDismissWithButtonIndex(const std::shared_ptr<UIAlertView>&, NSInteger i) override {
    log->add("willDismiss(" + std::to_string(i) + ")");
  }
  void alertViewDidDismissWithButtonIndex(const std::shared_ptr<UIAlertView>&, NSInteger i) override {
    log->add("didDismiss(" + std::to_string(i) + ")");
  }
  bool alertViewShouldEnableFirstOtherButton(const std::shared_ptr<UIAlertView>& alert) override {
    if (alert->alertViewStyle() == UIAlertViewStyleDefault) return true;
    return alert->textFieldAtIndex(0)->text()->length() > 0;
  }
};

std::shared_ptr<UIView> button(const char* title) {
  auto view = Device::shared().viewWithText(title);
  return std::dynamic_pointer_cast<UIButton>(view) ? view : nullptr;
}

CGRect onScreen(const std::shared_ptr<UIView>& view) { return Device::visibleRect(view); }

}  // namespace

TEST(UIKitAlertView, IsFoundReadAndAnsweredByButtonTitle) {
  Screen screen;
  Log log;
  auto target = std::make_shared<Target>(&log);
  auto beneath = screen.add<UIButton>({{0, 0}, {320, 480}});
  beneath->addTarget(target, &Target::pressed, UIControlEventTouchUpInside);
  auto delegate = std::make_shared<AlertDelegate>();
  delegate->log = &log;
  UIAlertView::initWithTitle(str("温馨提醒"), str("当前没有网络，请检查您的网络"), delegate, str("取消"),
                             {str("去看看")})
      ->show();
  auto& device = screen.device();
  EXPECT_EQ(log.joined(), "willPresent");
  EXPECT_TRUE(device.viewWithText("温馨提醒"));
  EXPECT_TRUE(device.viewWithText("当前没有网络，请检查您的网络"));
  device.wait(0.3);
  EXPECT_EQ(log.joined(), "willPresent didPresent");
  log.clear();
  device.tap({10, 10});
  EXPECT_EQ(log.joined(), "") << "the alert keeps taps from the screen beneath";
  EXPECT_TRUE(device.tapText("去看看"));
  EXPECT_EQ(log.joined(), "clicked(1) willDismiss(1)");
  EXPECT_FALSE(device.viewWithText("温馨提醒")) << "gone from sight at once";
  device.wait(0.3);
  EXPECT_EQ(log.joined(), "clicked(1) willDismiss(1) didDismiss(1)");
  log.clear();
  device.tap({10, 10});
  EXPECT_EQ(log.joined(), "target.pressed");
}

TEST(UIKitAlertView, ButtonsNumberedInOrderAndLaidOutAsOnTheDevice) {
  struct Case {
    const char* what;
    const char* cancel;
    std::vector<const char*> others;
    const char* tap;
    NSInteger index;
    bool sideBySide;
  } cases[] = {
      {"cancel and one other: side by side, cancel left", "下次吧", {"鼓励一下"}, "鼓励一下", 1, true},
      {"two others without cancel", nullptr, {"拍照", "从相册选择"}, "拍照", 0, true},
      {"three buttons stack, cancel last", "取消", {"拍照", "从相册选择"}, "从相册选择", 2, false},
      {"a single button", "确定", {}, "确定", 0, false},
  };
  for (const auto& c : cases) {
    Screen screen;
    Log log;
    auto delegate = std::make_shared<AlertDelegate>();
    delegate->log = &log;
    std::vector<std::shared_ptr<NSString>> others;
    for (const char* o : c.others) others.push_back(str(o));
    auto alert = UIAlertView::initWithTitle(nullptr, str("message"), delegate, c.cancel ? str(c.cancel) : nullptr, others);
    EXPECT_EQ(alert->numberOfButtons(), static_cast<NSInteger>(c.others.size() + (c.cancel ? 1 : 0))) << c.what;
    EXPECT_EQ(alert->cancelButtonIndex(), c.cancel ? 0 : -1) << c.what;
    alert->show();
    screen.device().settle();
    std::vector<CGRect> frames;
    for (NSInteger i = 0; i < alert->numberOfButtons(); ++i) {
      auto b = button(alert->buttonTitleAtIndex(i)->utf8().c_str());
      ASSERT_TRUE(b) << c.what;
      frames.push_back(onScreen(b));
    }
    if (c.sideBySide) {
      EXPECT_EQ(frames[0].origin.y, frames[1].origin.y) << c.what;
      EXPECT_LT(frames[0].origin.x, frames[1].origin.x) << c.what;
    } else if (frames.size() > 1) {
      for (size_t i = 1; i < frames.size(); ++i) EXPECT_LT(frames[i].origin.y, frames[0].origin.y) << c.what;
    }
    EXPECT_TRUE(screen.device().tapText(c.tap)) << c.what;
    EXPECT_EQ(log.lines.back(), "willDismiss(" + std::to_string(c.index) + ")") << c.what;
    screen.device().wait(0.3);
  }
}

TEST(UIKitAlertView, NewerAlertsShowInFrontOfOlderOnes) {
  Screen screen;
  auto& device = screen.device();
  auto first = UIAlertView::initWithTitle(str("第一"), nullptr, nullptr, str("好"));
  auto second = UIAlertView::initWithTitle(str("第二"), nullptr, nullptr, str("行"));
  first->show();
  second->show();
  device.settle();
  EXPECT_FALSE(device.viewWithText("第一"));
  EXPECT_TRUE(device.viewWithText("第二"));
  EXPECT_FALSE(device.tapText("好"));
  EXPECT_TRUE(device.tapText("行"));
  device.wait(0.3);
  EXPECT_TRUE(device.viewWithText("第一"));
  EXPECT_FALSE(second->isVisible());
  first->dismissWithClickedButtonIndex(0, false);
  device.settle();
  EXPECT_FALSE(device.viewWithText("第一"));
  EXPECT_EQ(UIApplication::sharedApplication()->keyWindow(), screen.window);
}

TEST(UIKitAlertView, TheKeyboardStepsAsideAndTextInputAlertsTakeIt) {
  Screen screen;
  Log log;
  auto field = screen.add<UITextField>({{20, 40}, {200, 30}});
  auto& device = screen.device();
  auto& keyboard = zvt::ui::Keyboard::shared();
  device.tapView(field);
  ASSERT_TRUE(keyboard.isShown());
  auto plain = UIAlertView::initWithTitle(str("请输入要搜索的宝贝"), nullptr, nullptr, str("确定"));
  plain->show();
  EXPECT_FALSE(keyboard.isShown());
  EXPECT_TRUE(field->isFirstResponder());
  EXPECT_FALSE(device.typeText("1")) << "no keyboard to type on";
  device.tapText("确定");
  EXPECT_TRUE(keyboard.isShown());
  device.wait(0.3);

  auto delegate = std::make_shared<AlertDelegate>();
  delegate->log = &log;
  auto input = UIAlertView::initWithTitle(str("兑换"), nullptr, delegate, str("取消"), {str("确定")});
  input->setAlertViewStyle(UIAlertViewStylePlainTextInput);
  EXPECT_THROW(input->textFieldAtIndex(1), NSException);
  input->show();
  ASSERT_TRUE(input->textFieldAtIndex(0)->isFirstResponder());
  EXPECT_TRUE(keyboard.isShown());
  auto ok = std::dynamic_pointer_cast<UIButton>(button("确定"));
  ASSERT_TRUE(ok);
  EXPECT_FALSE(ok->isEnabled()) << "asked when shown";
  device.typeText("42");
  EXPECT_TRUE(ok->isEnabled()) << "asked after each edit";
  EXPECT_EQ(input->textFieldAtIndex(0)->text()->utf8(), "42");
  EXPECT_GT(onScreen(ok).origin.y + 44, 0);
  EXPECT_LE(CGRectGetMaxY(onScreen(ok)), keyboard.frame().origin.y) << "the alert stands above the keyboard";
  device.tapText("确定");
  EXPECT_FALSE(keyboard.isShown());
  EXPECT_FALSE(input->textFieldAtIndex(0)->isFirstResponder());
}
