#include <gtest/gtest.h>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSValue.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UITextField.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;
using zvt::ui::Device;

namespace {

std::shared_ptr<NSString> str(const char* s) { return NSString::stringWithUTF8String(s); }

// A delegate that logs every call under its name and answers as told.
class FieldDelegate : public NSObject, public UITextFieldDelegate {
 public:
  Log* log = nullptr;
  bool begin = true, end = true, clear = true, ret = true;
  NSUInteger limit = 0;  // 0: no limit
  bool textFieldShouldBeginEditing(const std::shared_ptr<UITextField>& f) override { return note(f, "shouldBegin"), begin; }
  void textFieldDidBeginEditing(const std::shared_ptr<UITextField>& f) override { note(f, "didBegin"); }
  bool textFieldShouldEndEditing(const std::shared_ptr<UITextField>& f) override { return note(f, "shouldEnd"), end; }
  void textFieldDidEndEditing(const std::shared_ptr<UITextField>& f) override { note(f, "didEnd"); }
  bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& f, NSRange range,
                                              const std::shared_ptr<NSString>& string) override {
    note(f, "change(" + std::to_string(range.location) + "," + std::to_string(range.length) + ",\"" + string->utf8() +
                "\")");
    // The length filter the account forms use: the return key always passes, else the text
    // after the edit must stay within the limit.
    if (limit == 0 || string->isEqualToString("\n")) return true;
    return f->text()->stringByReplacingCharactersInRange(range, string)->length() <= limit;
  }
  bool textFieldShouldClear(const std::shared_ptr<UITextField>& f) override { return note(f, "shouldClear"), clear; }
  bool textFieldShouldReturn(const std::shared_ptr<UITextField>& f) override { return note(f, "shouldReturn"), ret; }

 private:
  void note(const std::shared_ptr<UITextField>& f, const std::string& what) {
    if (log) log->add(f->accessibilityIdentifier()->utf8() + "." + what);
  }
};

// Logs the keyboard and editing notifications.
struct NotificationLog {
  explicit NotificationLog(Log* log) {
    auto center = NSNotificationCenter::defaultCenter();
    for (const zvt::StaticString* n : {&UIKeyboardWillShowNotification, &UIKeyboardDidShowNotification,
                                        &UIKeyboardWillHideNotification, &UIKeyboardDidHideNotification,
                                        &UITextFieldTextDidBeginEditingNotification,
                                        &UITextFieldTextDidEndEditingNotification, &UITextFieldTextDidChangeNotification}) {
      const auto& name = n->get();
      std::string short_ = name->utf8();
      for (const char* prefix : {"UIKeyboard", "UITextFieldText"})
        if (short_.rfind(prefix, 0) == 0) short_ = short_.substr(std::string(prefix).size());
      short_ = short_.substr(0, short_.size() - std::string("Notification").size());
      tokens.push_back(center->addObserverForName(name, nullptr, nullptr, [log, short_, this](const std::shared_ptr<NSNotification>& n) {
        log->add(short_);
        if (n->userInfo()) {
          begin = zvt::as<NSValue>(n->userInfo()->objectForKey(UIKeyboardFrameBeginUserInfoKey))->CGRectValue();
          end = zvt::as<NSValue>(n->userInfo()->objectForKey(UIKeyboardFrameEndUserInfoKey))->CGRectValue();
          duration = zvt::as<NSNumber>(n->userInfo()->objectForKey(UIKeyboardAnimationDurationUserInfoKey))->doubleValue();
        }
      }));
    }
  }
  ~NotificationLog() {
    for (auto& t : tokens) NSNotificationCenter::defaultCenter()->removeObserver(t);
  }
  std::vector<id> tokens;
  CGRect begin{}, end{};
  double duration = 0;
};

struct Form {
  explicit Form(Screen& screen, Log* log) {
    delegate->log = log;
    for (int i = 0; i < 2; ++i) {
      auto field = screen.add<UITextField>({{20, 40.0 + 50 * i}, {200, 30}});
      field->setAccessibilityIdentifier(str(i == 0 ? "phone" : "password"));
      field->setPlaceholder(str(i == 0 ? "输入您的手机号" : "设定6~20位密码"));
      field->setDelegate(delegate);
      fields.push_back(field);
    }
    phone = fields[0];
    password = fields[1];
  }
  std::shared_ptr<FieldDelegate> delegate = std::make_shared<FieldDelegate>();
  std::vector<std::shared_ptr<UITextField>> fields;
  std::shared_ptr<UITextField> phone, password;
};

}  // namespace

TEST(UIKitTextField, APhoneFieldCappedAtElevenKeepsEleven) {
  Screen screen;
  Log log;
  Form form(screen, &log);
  form.delegate->limit = 11;
  form.phone->setKeyboardType(UIKeyboardTypePhonePad);
  auto& device = screen.device();
  ASSERT_TRUE(device.tapText("输入您的手机号"));
  ASSERT_TRUE(form.phone->isFirstResponder());
  log.clear();
  EXPECT_TRUE(device.typeText("13800138000"));
  EXPECT_EQ(log.lines.size(), 11u) << "asked once per character";
  EXPECT_EQ(log.lines.front(), "phone.change(0,0,\"1\")");
  EXPECT_EQ(log.lines.back(), "phone.change(10,0,\"0\")");
  EXPECT_TRUE(device.typeText("1"));
  EXPECT_EQ(form.phone->text()->utf8(), "13800138000");
  EXPECT_TRUE(device.paste("99"));
  EXPECT_EQ(form.phone->text()->utf8(), "13800138000") << "a paste past the limit is refused whole";
  EXPECT_TRUE(device.pressDelete());
  EXPECT_TRUE(device.paste("9"));
  EXPECT_EQ(form.phone->text()->utf8(), "13800138009");
  EXPECT_EQ(device.viewWithText("13800138009"), form.phone);
  // A phone pad has digits and no letters, nor a return key.
  EXPECT_FALSE(device.typeText("a"));
  EXPECT_FALSE(device.pressReturn());
}

TEST(UIKitTextField, EditingCallbacksAndNotificationsComeInUIKitsOrder) {
  Screen screen;
  Log log;
  NotificationLog notes(&log);
  Form form(screen, &log);
  auto& device = screen.device();
  device.tapView(form.phone);
  EXPECT_EQ(log.joined(), "phone.shouldBegin phone.didBegin DidBeginEditing WillShow");
  log.clear();
  device.wait(0.3);
  EXPECT_EQ(log.joined(), "DidShow");
  log.clear();
  device.typeText("1");
  EXPECT_EQ(log.joined(), "phone.change(0,0,\"1\") DidChange");
  log.clear();
  // Moving to the next field: the keyboard stays and is announced again.
  device.tapView(form.password);
  EXPECT_EQ(log.joined(),
            "password.shouldBegin phone.shouldEnd phone.didEnd DidEndEditing password.didBegin DidBeginEditing WillShow");
  EXPECT_EQ(notes.begin, notes.end);
  device.wait(0.3);
  EXPECT_EQ(log.lines.back(), "DidShow");
  log.clear();
  form.delegate->end = false;
  EXPECT_FALSE(form.password->resignFirstResponder());
  EXPECT_TRUE(form.password->isFirstResponder());
  form.delegate->end = true;
  log.clear();
  // Ending editing by force (a tap on the form) does not ask.
  screen.window->endEditing(true);
  EXPECT_EQ(log.joined(), "password.didEnd DidEndEditing WillHide");
  EXPECT_FALSE(zvt::ui::Keyboard::shared().isShown());
}

TEST(UIKitTextField, ADelegateRefusingToBeginShowsNoKeyboard) {
  Screen screen;
  Log log;
  NotificationLog notes(&log);
  Form form(screen, &log);
  form.delegate->begin = false;
  auto& device = screen.device();
  device.tapView(form.phone);
  device.wait(0.5);
  EXPECT_EQ(log.joined(), "phone.shouldBegin");
  EXPECT_FALSE(form.phone->isFirstResponder());
  EXPECT_FALSE(zvt::ui::Keyboard::shared().isShown());
  EXPECT_FALSE(device.typeText("1"));
}

TEST(UIKitTextField, ReturnAsksShouldReturnAndEndsOnExitOnlyForListeners) {
  Screen screen;
  Log log;
  Form form(screen, &log);
  auto target = std::make_shared<Target>(&log);
  auto& device = screen.device();
  struct Case {
    const char* what;
    bool answer, listener;
    const char* want;
    bool stillEditing;
  } cases[] = {
      {"NO keeps editing", false, true, "phone.shouldReturn", true},
      {"YES without a listener keeps editing", true, false, "phone.shouldReturn", true},
      {"YES with a listener ends", true, true, "phone.shouldReturn target.pressed phone.shouldEnd phone.didEnd", false},
  };
  for (const auto& c : cases) {
    form.delegate->ret = c.answer;
    form.phone->removeTarget(nullptr, nullptr, UIControlEventAllEvents);
    if (c.listener) form.phone->addTarget(target, &Target::pressed, UIControlEventEditingDidEndOnExit);
    ASSERT_TRUE(form.phone->becomeFirstResponder());
    log.clear();
    EXPECT_TRUE(device.pressReturn()) << c.what;
    EXPECT_EQ(log.joined(), c.want) << c.what;
    EXPECT_EQ(form.phone->isEditing(), c.stillEditing) << c.what;
    EXPECT_EQ(form.phone->text()->length(), 0u) << c.what;
  }
}

TEST(UIKitTextField, TheClearButtonAsksAndClears) {
  Screen screen;
  Log log;
  NotificationLog notes(&log);
  Form form(screen, &log);
  form.phone->setClearButtonMode(UITextFieldViewModeWhileEditing);
  auto& device = screen.device();
  form.phone->setText(str("138"));
  EXPECT_FALSE(Device::isVisible(form.phone->clearButton())) << "only while editing";
  device.tapView(form.phone);
  ASSERT_TRUE(Device::isVisible(form.phone->clearButton()));
  form.delegate->clear = false;
  log.clear();
  EXPECT_TRUE(device.tapView(form.phone->clearButton()));
  EXPECT_EQ(log.joined(), "phone.shouldClear");
  EXPECT_EQ(form.phone->text()->utf8(), "138");
  form.delegate->clear = true;
  log.clear();
  device.tapView(form.phone->clearButton());
  EXPECT_EQ(log.joined(), "phone.shouldClear DidChange");
  EXPECT_EQ(form.phone->text()->length(), 0u);
  EXPECT_TRUE(form.phone->isFirstResponder());
  EXPECT_FALSE(Device::isVisible(form.phone->clearButton())) << "nothing left to clear";
  EXPECT_EQ(device.viewWithText("输入您的手机号"), form.phone) << "the placeholder shows again";
}

TEST(UIKitKeyboard, FramesFollowTheScreenSize) {
  for (const auto& model : zvt::ui::kScreenModels) {
    Screen screen;
    Device::useScreen(model);
    screen.window->setFrame(UIScreen::mainScreen()->bounds());
    Log log;
    NotificationLog notes(&log);
    auto field = screen.add<UITextField>({{20, 40}, {200, 30}});
    const CGFloat w = model.points.width, h = model.points.height;
    screen.device().tapView(field);
    EXPECT_EQ(log.joined(), "DidBeginEditing WillShow") << model.name;
    EXPECT_EQ(notes.begin, CGRectMake(0, h, w, 216)) << model.name;
    EXPECT_EQ(notes.end, CGRectMake(0, h - 216, w, 216)) << model.name;
    EXPECT_EQ(notes.duration, 0.25);
    field->resignFirstResponder();
    EXPECT_EQ(notes.begin, CGRectMake(0, h - 216, w, 216)) << model.name;
    EXPECT_EQ(notes.end, CGRectMake(0, h, w, 216)) << model.name;
    screen.device().wait(0.3);
    EXPECT_EQ(log.lines.back(), "DidHide") << model.name;
  }
}

TEST(UIKitKeyboard, CoversWhatLiesBelowAndLeavesTapsOnFieldsToThem) {
  Screen screen;  // 320 x 480: the keyboard covers y 264 to 480
  Log log;
  Form form(screen, &log);
  auto target = std::make_shared<Target>(&log);
  auto button = screen.add<UIButton>({{20, 400}, {200, 40}});
  button->setTitle(str("完 成"), UIControlStateNormal);
  button->addTarget(target, &Target::pressed, UIControlEventTouchUpInside);
  // A tap anywhere on the form ends editing, as the account forms do.
  struct Ender : Target {
    using Target::Target;
    std::shared_ptr<UIView> form;
    void hide() { form->endEditing(true); }
  };
  auto hider = std::make_shared<Ender>(&log);
  hider->form = screen.window;
  screen.window->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(hider, &Ender::hide));
  auto& device = screen.device();
  device.tapView(form.phone);
  ASSERT_TRUE(form.phone->isFirstResponder()) << "the field's own tap is not the form's";
  log.clear();
  EXPECT_FALSE(device.tapView(button)) << "under the keyboard";
  EXPECT_EQ(log.joined(), "");
  device.tap({300, 200});
  EXPECT_FALSE(form.phone->isFirstResponder());
  device.wait(0.3);
  EXPECT_TRUE(device.tapView(button));
  EXPECT_EQ(log.lines.back(), "target.pressed");
}

TEST(UIKitTextField, SecureFieldsShowDotsAndReplaceOldTextAtTheFirstEdit) {
  Screen screen;
  Log log;
  Form form(screen, &log);
  form.password->setSecureTextEntry(true);
  auto& device = screen.device();
  device.tapView(form.password);
  device.typeText("abc");
  EXPECT_EQ(form.password->text()->utf8(), "abc");
  EXPECT_TRUE(device.viewWithText("•••"));
  EXPECT_FALSE(device.viewWithText("abc"));
  device.tapView(form.phone);
  device.tapView(form.password);
  log.clear();
  device.typeText("x");
  EXPECT_EQ(log.joined(), "password.change(0,3,\"x\")");
  EXPECT_EQ(form.password->text()->utf8(), "x");
}
