// The account forms, through the device, against the local service: each form that sends keeps
// one request at a time (a second quick tap while the reply is held back sends nothing) and
// every end of the exchange (a refusal, a cut connection, a success where the screen stays)
// lets the next tap send, the avatar's uploads included; a success that closes its screen lets
// nothing more go and closes that screen only, and only while it is shown: a user who goes back,
// a swipe back taken back, a screen a notification pushes or shows over it, or a login presented
// over the shell as the success comes keep what took its place; each form that
// lights its button by its fields keeps it lit exactly while the fields it needs hold text,
// through the clear buttons and the pastes that a number's 11-character cap refuses.

#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "app/screens/account/AccountForm.h"
#include "app/screens/account/TZAlipaySetupViewController.h"
#include "app/screens/account/TZBindingViewController.h"
#include "app/screens/account/TZChangePasswordViewController.h"
#include "app/screens/account/TZEmailAndQQViewController.h"
#include "app/screens/account/TZModifyViewController.h"
#include "app/screens/account/TZPersonalViewController.h"
#include "app/screens/account/TZRegisterViewController.h"
#include "app/screens/account/TZRetrievePasswordViewController.h"
#include "app/screens/account/TZVerticalPhoneViewController.h"
#include "app/screens/rewards/RewardsScreens.h"
#include "app/ui/ParentsViewController.h"
#include "platform/network/NSURLConnection.h"
#include "platform/uikit/UIAlertController.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UINavigationController.h"
#include "tests/app/screens/account/PersonalTestSupport.h"
#include "tests/support/ImageFixtures.h"
#include "ui/hud/POProgressHUD.h"

namespace {

using zvt::test::ScriptedReply;

constexpr const char* kPhone = "13800138456";
// Long enough that a second tap 0.2 s after the first (on the virtual clock: a few turns of the
// run loop in real time) comes before the reply on a busy machine too.
constexpr int kHeldBackMs = 1500;

class FormSendingTest : public zvt::test::PersonalScreenTest {
 public:
  void SetUp() override {
    PersonalScreenTest::SetUp();
    zvt::registerRewardsScreens();  // the red packet a registration shows
  }

  // --- the ways in
  // The login screen through the gate (logged out).
  std::shared_ptr<TZLoginViewController> openLogin() {
    launch();
    return openLoginThroughGate();
  }
  // The registration screen as the personal centre presents it, in the service's mode.
  std::shared_ptr<TZRegisterViewController> openRegister(const char* regMethod) {
    launch();
    return presentRegister(regMethod);
  }
  // The registration screen pushed by the login screen's "10秒快速注册", in the service's mode.
  std::shared_ptr<TZRegisterViewController> openRegisterFromLogin(const char* regMethod) {
    launch();
    delegate_->setRegMethod(NSString::stringWithUTF8String(regMethod));
    if (!openLoginThroughGate() || !device().tapText("10秒快速注册")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZRegisterViewController>(presentedTop());
  }
  // The login screen pushed by the e-mail registration's "已有账号？去登录".
  std::shared_ptr<TZLoginViewController> openLoginFromRegister() {
    if (!openRegister("1") || !device().tapText("已有账号？去登录")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZLoginViewController>(presentedTop());
  }
  // Taps a form's code button and answers the code the service texted for `purpose`, once the
  // reply has started the count-down (which takes the button) and the tip over the form has gone.
  std::string askForCode(const std::shared_ptr<UIView>& button, const char* purpose) {
    if (!device().tapView(button)) return "";
    waitFor([&] { return !smsCode(kPhone, purpose).empty() && !button->isUserInteractionEnabled(); });
    device().wait(1);
    return smsCode(kPhone, purpose);
  }
  // A notification that arrives while the application runs, answered with "去看看": its route
  // pushes a screen on the shown tab's stack ("6": the stroll screen) or shows a tab ("10").
  void followNotification(const char* route) {
    UIApplication::sharedApplication()->receiveRemoteNotification(std::dynamic_pointer_cast<NSDictionary>(
        objectFromJSONString(*NSString::stringWithUTF8String(std::string(R"({"aps":{"alert":"来看看"},"content_type":")") +
                                                             route + "\"}"))));
    device().wait(0.3);
    ASSERT_TRUE(device().tapText("去看看"));
  }
  // The binding screen on the login stack, as a first partner login pushes it.
  std::shared_ptr<TZBindingViewController> launchBinding(const char* regMethod) {
    launch();
    return openBinding(regMethod);
  }
  // As 10004, phone registration: the personal information's phone row.
  std::shared_ptr<TZVerticalPhoneViewController> openVerification() {
    auto centre = launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword);
    delegate_->setRegMethod("2"_ns);
    if (!openPersonal(centre) || !device().tapText("未验证手机号")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZVerticalPhoneViewController>(topScreen());
  }
  // Logged out: "我的" → the header's login button → "忘记密码?", in e-mail or phone mode.
  std::shared_ptr<TZRetrievePasswordViewController> openRetrieval(bool byPhone) {
    launch();
    auto screen = PersonalScreenTest::openRetrieval();
    if (!screen || (byPhone && !device().tapText("手机号找回"))) return nullptr;
    return screen;
  }
  // The retrieval by phone that the service has texted a code for: the reset screen.
  std::shared_ptr<TZModifyViewController> openReset() {
    auto retrieval = openRetrieval(true);
    if (!retrieval || !typeInto(retrieval->retrievePasswordView()->retrieveTextField(), zvt::test::kServiceTestUserPhone) ||
        !device().tapText("下一步")) {
      return nullptr;
    }
    waitFor([&] { return std::dynamic_pointer_cast<TZModifyViewController>(presentedTop()) != nullptr; });
    device().wait(1);
    return std::dynamic_pointer_cast<TZModifyViewController>(presentedTop());
  }
  // As the demo user: "我的" → "设置" → "修改密码".
  std::shared_ptr<TZChangePasswordViewController> launchChange() {
    launch();
    return openChange();
  }
  // As 10004 (no e-mail on file): the personal information's "邮箱" row.
  std::shared_ptr<TZEmailAndQQViewController> openEmailAndQQ() {
    auto centre = launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword);
    if (!openPersonal(centre) || !device().tapText("邮箱")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZEmailAndQQViewController>(topScreen());
  }
  // As 10004 (no account bound): the personal information's "绑定支付宝" row.
  std::shared_ptr<TZAlipaySetupViewController> openAlipay() {
    auto centre = launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword);
    if (!openPersonal(centre) || !device().tapText("绑定支付宝")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZAlipaySetupViewController>(topScreen());
  }
  static bool alertShows() { return alertCount() > 0; }
  // The newest code the service texted to a number for `purpose`.
  static std::string smsCode(const char* phone, const char* purpose) { return service_->latestSmsCode(phone, purpose); }

  // What the table of forms below uses.
  std::shared_ptr<AppDelegate> delegate() const { return delegate_; }
  using PersonalScreenTest::device;
  using PersonalScreenTest::dismissAlerts;
  using PersonalScreenTest::presentedStack;
  using PersonalScreenTest::shows;
  using PersonalScreenTest::topScreen;
  using PersonalScreenTest::lit;
  using PersonalScreenTest::presentedTop;
  using PersonalScreenTest::tapBack;
  using PersonalScreenTest::textOf;
  using PersonalScreenTest::typeInto;
};

// A test's name made of a table row's name.
std::string testName(const char* name) {
  std::string out;
  for (char c : std::string(name)) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return out;
}

// --- One request at a time, form by form ----------------------------------------------------

// A form filled in and ready to send: its screen and the button that sends.
struct Filled {
  std::shared_ptr<UIViewController> screen;
  std::shared_ptr<UIView> button;
};

struct SendingForm {
  const char* name;
  const char* op;
  const char* iface;
  // Opens the screen with its fields filled in.
  std::function<Filled(FormSendingTest&)> open;
  // With the real reply: what shows that it succeeded (nil: not tried here).
  std::function<bool(FormSendingTest&, const Filled&)> succeeded;
  // For a screen that stays after a success: back to the form, ready to send again (nil: the
  // screen has gone).
  std::function<void(FormSendingTest&, const Filled&)> backToForm;
  // A success that closes the screen: by a pop, a pop to the root or the dismissal of the stack
  // presented over the shell, taking this screen (and its stack) only.
  enum class Close { kNotTried, kPop, kPopToRoot, kDismiss } close = Close::kNotTried;
  bool leftWhileHeld = false;  // back tapped while the success is held: it lands during the pop
  int successCode = 0;         // in place of the service's own reply, which would refuse the form
  bool toldInAlert = false;    // the success is told in an alert, answered once the close is over
};

std::ostream& operator<<(std::ostream& out, const SendingForm& form) { return out << form.name; }

class FormsSendOneRequestAtATime : public FormSendingTest, public ::testing::WithParamInterface<SendingForm> {
 protected:
  int sent() const { return service_->requestCount(GetParam().op, GetParam().iface); }
  ScriptedReply script() const { return ScriptedReply{.op = GetParam().op, .iface = GetParam().iface}; }
  // Two taps 0.2 s apart, as an impatient thumb makes them.
  void tapTwice(const std::shared_ptr<UIView>& button) {
    ASSERT_TRUE(device().tapView(button));
    device().wait(0.2);
    device().tapView(button);
  }
  // Waits for the alert that ends a failed exchange and answers it.
  void answerFailure() {
    ASSERT_TRUE(waitFor(alertShows)) << "the failure is told";
    device().wait(0.3);
    dismissAlerts();
  }
};

TEST_P(FormsSendOneRequestAtATime, ASecondTapOnItsWaySendsNothingAndEveryEndLetsTheNextTapSend) {
  const SendingForm& form = GetParam();
  Filled filled = form.open(*this);
  ASSERT_TRUE(filled.screen && filled.button) << topClass();

  // A refusal held back: the second tap goes to the button and sends nothing.
  auto refusal = script();
  refusal.code = 202;
  refusal.msg = "请稍后再试";
  auto heldBack = refusal;
  heldBack.delayMs = kHeldBackMs;
  service_->script(heldBack);
  tapTwice(filled.button);
  answerFailure();
  zvt::test::runMainLoopUntil([] { return false; }, 0.3);
  EXPECT_EQ(sent(), 1) << "one request while the first was on its way";

  // After the refusal a tap sends; this one's connection is cut.
  auto cut = script();
  cut.drop = true;
  cut.sticky = true;
  service_->script(cut);
  ASSERT_TRUE(device().tapView(filled.button));
  answerFailure();
  service_->clearScripts();
  const int afterCut = sent();
  EXPECT_GT(afterCut, 1) << "the refusal let the next tap send";

  // After the cut connection a tap sends.
  service_->script(refusal);
  ASSERT_TRUE(device().tapView(filled.button));
  answerFailure();
  EXPECT_EQ(sent(), afterCut + 1) << "the failure let the next tap send";

  if (!form.succeeded) return;
  // The success, held at the service: still one request, and it is not spoiled by a second.
  auto stack = filled.screen->navigationController()->viewControllers();
  auto shell = topScreen()->navigationController();
  const auto shellStack = shell->viewControllers();
  const bool overShell = filled.screen->navigationController() != shell;
  auto success = script();
  if (form.successCode) success.code = form.successCode;
  success.hold = "success";
  service_->script(success);
  tapTwice(filled.button);
  auto spinner = POProgressHUD::HUDForView(filled.screen->view());
  if (form.leftWhileHeld) device().tap(CGPointMake(20, 42));  // back: its pop runs 0.35 s
  service_->release("success");
  ASSERT_TRUE(waitFor([&] { return !(spinner && spinner->isShowing()) && form.succeeded(*this, filled); }))
      << "the success shows";
  zvt::test::runMainLoopUntil([] { return false; }, 0.3);
  EXPECT_EQ(sent(), afterCut + 2) << "one request while the first was on its way";
  EXPECT_EQ(alertCount(), form.toldInAlert ? 1u : 0u) << "no refusal of a second request over the success";

  if (form.close != SendingForm::Close::kNotTried) {
    // A tap 0.1 s after the success sends nothing: a tip leaves the button under the finger (a
    // pop or a dismissal takes it away at once; the table of leavings below taps those forms
    // once they show again).
    device().wait(0.1);
    device().tapView(filled.button);
    zvt::test::runMainLoopUntil([] { return false; }, 0.3);
    EXPECT_EQ(sent(), afterCut + 2) << "nothing sent after the success";
    device().wait(3);
    if (form.toldInAlert) dismissAlerts();
    if (form.close == SendingForm::Close::kDismiss) {
      EXPECT_FALSE(presentedStack()) << "the stack over the shell closed: " << topClass();
    } else {
      stack.resize(form.close == SendingForm::Close::kPop ? stack.size() - 1 : 1);
      EXPECT_TRUE(stack.front()->navigationController()->viewControllers() == stack) << "only it closed: " << topClass();
    }
    if (overShell) {
      EXPECT_TRUE(shell->viewControllers() == shellStack) << "the shell's stack stays";
    }
  }
  if (!form.backToForm) return;
  form.backToForm(*this, filled);
  service_->script(refusal);
  ASSERT_TRUE(device().tapView(filled.button));
  answerFailure();
  EXPECT_EQ(sent(), afterCut + 3) << "the success let the next tap send";
}

// The e-mail registration's picture code, read off the form and typed back.
std::string pictureCode(const std::shared_ptr<TZOriginalRegisterView>& form) {
  auto code = form->authCodeView() ? form->authCodeView()->authCodeStr() : nullptr;
  return code ? code->utf8() : "";
}

// The login and registration forms filled in, wherever they were opened from.
Filled filledLogin(FormSendingTest& t, const std::shared_ptr<TZLoginViewController>& screen) {
  auto form = screen ? screen->loginView() : nullptr;
  if (!form || !t.typeInto(form->userTextField(), zvt::test::kServiceTestUserName) ||
      !t.typeInto(form->passwordTextField(), zvt::test::kServiceTestUserPassword))
    return {};
  return {screen, form->loginButton()};
}
Filled filledPhoneRegistration(FormSendingTest& t, const std::shared_ptr<TZRegisterViewController>& screen) {
  auto form = screen ? screen->registerView() : nullptr;
  if (!form || !t.typeInto(form->phoneTextField(), kPhone) ||
      !t.typeInto(form->verticalTextField(), t.askForCode(form->verticalButton(), "register")) ||
      !t.typeInto(form->passwordTextField(), "zvt654321"))
    return {};
  return {screen, form->registerButton()};
}
Filled filledEmailRegistration(FormSendingTest& t, const std::shared_ptr<TZRegisterViewController>& screen) {
  auto form = screen ? screen->originalRegisterView() : nullptr;
  if (!form || !t.typeInto(form->emailTextField(), "new@zavelto.test") || !t.typeInto(form->passwordTextField(), "abcdef") ||
      !t.typeInto(form->againPasswordTextField(), "abcdef") || !t.typeInto(form->verticalTextField(), pictureCode(form)))
    return {};
  return {screen, form->registerButton()};
}

const SendingForm kSendingForms[] = {
    {"login", "login", "enciphered",
     [](FormSendingTest& t) { return filledLogin(t, t.openLogin()); },
     [](FormSendingTest& t, const Filled&) { return t.delegate()->isLogin(); }, nullptr, SendingForm::Close::kDismiss},
    {"phone registration", "register", "json",
     [](FormSendingTest& t) { return filledPhoneRegistration(t, t.openRegister(nullptr)); },
     [](FormSendingTest& t, const Filled&) { return t.delegate()->isLogin(); }, nullptr, SendingForm::Close::kDismiss},
    {"e-mail registration", "register", "enciphered",
     [](FormSendingTest& t) { return filledEmailRegistration(t, t.openRegister("1")); },
     [](FormSendingTest& t, const Filled&) { return t.delegate()->isLogin(); }, nullptr, SendingForm::Close::kDismiss},
    {"phone binding", "register", "json",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.launchBinding("2");
       auto form = screen ? screen->bindingPhoneView() : nullptr;
       if (!form || !t.typeInto(form->phoneTextField(), kPhone) ||
           !t.typeInto(form->verticalTextField(), t.askForCode(form->verticalButton(), "register")) ||
           !t.typeInto(form->passwordTextField(), "zvt654321"))
         return {};
       return {screen, form->finishedButton()};
     },
     [](FormSendingTest& t, const Filled&) { return t.delegate()->isLogin(); }, nullptr, SendingForm::Close::kDismiss},
    {"e-mail binding", "register", "enciphered",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.launchBinding(nullptr);
       auto form = screen ? screen->bindingEmailView() : nullptr;
       if (!form || !t.typeInto(form->emailTextField(), "tb@zavelto.test") ||
           !t.typeInto(form->passwordTextField(), "zvt654321"))
         return {};
       return {screen, form->finishButton()};
     },
     [](FormSendingTest& t, const Filled&) { return t.delegate()->isLogin(); }, nullptr, SendingForm::Close::kDismiss},
    {"phone verification", "binding_phoneNumber", "json",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.openVerification();
       auto form = screen ? screen->verticalPhoneView() : nullptr;
       if (!form || !t.typeInto(form->phoneTextField(), kPhone) || !t.typeInto(form->verticalTextField(), "123456"))
         return {};
       return {screen, form->finishButton()};
     },
     [](FormSendingTest&, const Filled&) { return FormSendingTest::shows("绑定成功"); }, nullptr,
     SendingForm::Close::kPop, false, 101},
    {"retrieval by e-mail", "get_pwd", "enciphered",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.openRetrieval(false);
       auto form = screen ? screen->retrievePasswordView() : nullptr;
       if (!form || !t.typeInto(form->retrieveTextField(), zvt::test::kServiceTestUserEmail)) return {};
       return {screen, form->nextButton()};
     },
     [](FormSendingTest&, const Filled&) { return FormSendingTest::shows("邮件已经发送"); },
     [](FormSendingTest&, const Filled&) { FormSendingTest::device().wait(2.5); }},
    {"retrieval by phone", "get_forgot_pwd_code", "json",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.openRetrieval(true);
       auto form = screen ? screen->retrievePasswordView() : nullptr;
       if (!form || !t.typeInto(form->retrieveTextField(), zvt::test::kServiceTestUserPhone)) return {};
       return {screen, form->nextButton()};
     },
     [](FormSendingTest& t, const Filled&) { return std::dynamic_pointer_cast<TZModifyViewController>(t.presentedTop()) != nullptr; },
     [](FormSendingTest& t, const Filled& filled) {
       t.device().wait(1);
       t.tapBack();
       ASSERT_EQ(t.presentedTop(), filled.screen);
     }},
    {"reset", "forgot_pwd_reset", "json",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.openReset();
       auto form = screen ? screen->modifyView() : nullptr;
       if (!form || !t.typeInto(form->verticalTextField(), FormSendingTest::smsCode(zvt::test::kServiceTestUserPhone, "forgot")) ||
           !t.typeInto(form->passwordTextField(), "zvt654321"))
         return {};
       return {screen, form->finishButton()};
     },
     [](FormSendingTest&, const Filled&) { return FormSendingTest::shows("密码重置成功"); }, nullptr,
     SendingForm::Close::kPopToRoot, false, 0, true},
    {"password change", "userInfo&do=pwd", "enciphered",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.launchChange();
       if (!screen || !t.typeInto(screen->originalPassword(), zvt::test::kServiceTestUserPassword) ||
           !t.typeInto(screen->password(), "zvt654321") || !t.typeInto(screen->againPassword(), "zvt654321"))
         return {};
       return {screen, screen->sureButton()};
     },
     [](FormSendingTest&, const Filled&) { return FormSendingTest::shows("密码修改成功"); }, nullptr,
     SendingForm::Close::kPopToRoot},
    {"e-mail and QQ", "update_userinfo", "json",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.openEmailAndQQ();
       auto form = screen ? screen->emailSetupView() : nullptr;
       if (!form || !t.typeInto(form->emailTextField(), "ww@zavelto.test") || !t.typeInto(form->QQTextField(), "123456"))
         return {};
       return {screen, form->completeButton()};
     },
     [](FormSendingTest& t, const Filled& filled) { return t.topScreen() != filled.screen; }, nullptr,
     SendingForm::Close::kPop, true},
    {"Alipay", "update_alipay", "json",
     [](FormSendingTest& t) -> Filled {
       auto screen = t.openAlipay();
       auto form = screen ? screen->alipaySetupView() : nullptr;
       if (!form || !t.typeInto(form->alipayAccount(), "acct01") || !t.typeInto(form->alipayRealName(), "王五") ||
           !t.typeInto(form->password(), zvt::test::kServiceNewUserPassword))
         return {};
       return {screen, form->completeButton()};
     },
     [](FormSendingTest& t, const Filled& filled) { return t.topScreen() != filled.screen; }, nullptr,
     SendingForm::Close::kPop, true},
};

INSTANTIATE_TEST_SUITE_P(Forms, FormsSendOneRequestAtATime, ::testing::ValuesIn(kSendingForms),
                         [](const ::testing::TestParamInfo<SendingForm>& info) { return testName(info.param.name); });

// --- Leaving while the success comes -------------------------------------------------------

// What the user (or the application) does while a closing form's success comes, and when.
struct Leaving {
  const char* name;
  const char* form;  // its row in the table above
  enum class Move {
    kBack,           // the bar's back item: the pop takes 0.35 s
    kSwipeBack,      // a finger from the left edge begins to pop the form, then takes it back
    kPushedOver,     // a notification's "去看看" pushes the stroll screen over the form
    kOtherTab,       // a notification's "去看看" shows the search tab: the form's stack leaves the window
    kPresentedOver,  // a gated entry presents the login screen over the shell: that takes 0.4 s
  } move;
  // This long after the success shows, so that its tip ends during the move; negative: while
  // the reply is held, so that it lands during the move.
  double after;
  // Another way in than the form's own (nil: the form's own).
  std::function<Filled(FormSendingTest&)> open = nullptr;
};

std::ostream& operator<<(std::ostream& out, const Leaving& leaving) { return out << leaving.name; }

const SendingForm& sendingForm(const char* name) {
  for (const SendingForm& form : kSendingForms)
    if (std::string(form.name) == name) return form;
  throw std::invalid_argument(name);
}

class LeavingWhileTheSuccessComes : public FormSendingTest, public ::testing::WithParamInterface<Leaving> {
 protected:
  const SendingForm& form() const { return sendingForm(GetParam().form); }
  int sent() const { return service_->requestCount(form().op, form().iface); }
  // The move; what it puts on the form's stack.
  std::shared_ptr<UIViewController> move() {
    switch (GetParam().move) {
      case Leaving::Move::kBack:
        device().tap(CGPointMake(20, 42));
        break;
      case Leaving::Move::kSwipeBack:
        // A slow 60 points, the finger kept down: the pop follows it.
        finger_ = device().touchDown(CGPointMake(5, 300));
        for (int step = 1; step <= 30; ++step) {
          device().wait(1.0 / 60);
          device().touchMove(*finger_, CGPointMake(5 + 2 * step, 300));
        }
        break;
      case Leaving::Move::kPushedOver:
        followNotification("6");
        device().wait(0.5);
        return topScreen();
      case Leaving::Move::kOtherTab:
        followNotification("10");
        break;
      case Leaving::Move::kPresentedOver:
        zvt::presentLoginScreen(topScreen());
        break;
    }
    return nullptr;
  }
  // Takes the finger of a swipe back to the edge and lifts it: the pop is cancelled.
  void takeTheSwipeBack() {
    for (int step = 29; step >= 0; --step) {
      device().wait(1.0 / 60);
      device().touchMove(*finger_, CGPointMake(5 + 2 * step, 300));
    }
    device().touchUp(*finger_);
    finger_.reset();
  }

  std::optional<zvt::ui::Device::Finger> finger_;
};

// The form closes only while it is the screen shown: whatever took its place stays, and a tap
// on the form once it shows again sends nothing more.
TEST_P(LeavingWhileTheSuccessComes, WhatTookTheFormsPlaceStays) {
  const Leaving& leaving = GetParam();
  Filled filled = (leaving.open ? leaving.open : form().open)(*this);
  ASSERT_TRUE(filled.screen && filled.button) << topClass();
  auto holder = filled.screen->navigationController();
  const bool presented = holder == presentedStack();
  auto expected = holder->viewControllers();

  auto success = ScriptedReply{.op = form().op, .iface = form().iface, .hold = "success"};
  if (form().successCode) success.code = form().successCode;
  service_->script(success);
  const int before = sent();
  ASSERT_TRUE(device().tapView(filled.button));
  ASSERT_TRUE(waitFor([&] { return sent() > before; })) << "the request is held at the service";
  auto spinner = POProgressHUD::HUDForView(filled.screen->view());
  std::shared_ptr<UIViewController> pushed;
  if (leaving.after < 0) pushed = move();
  service_->release("success");
  ASSERT_TRUE(waitFor([&] { return !(spinner && spinner->isShowing()) && form().succeeded(*this, filled); }))
      << "the success shows";
  if (leaving.after >= 0) {
    device().wait(leaving.after);
    pushed = move();
  }
  device().wait(3);
  if (finger_) takeTheSwipeBack();
  device().wait(1);
  dismissAlerts();

  if (leaving.move == Leaving::Move::kBack) expected.pop_back();
  if (pushed) expected.push_back(pushed);
  EXPECT_TRUE(holder->viewControllers() == expected) << "the form's stack as the user left it: " << topClass();
  if (presented) {
    EXPECT_EQ(presentedStack(), holder) << "still presented over the shell";
  }
  if (pushed) {
    ASSERT_NE(pushed, filled.screen);
    tapBack();
  } else if (leaving.move != Leaving::Move::kSwipeBack) {
    return;
  }
  // Back on the form, its button sends nothing more.
  ASSERT_EQ(holder->topViewController(), filled.screen) << topClass();
  EXPECT_TRUE(device().tapView(filled.button)) << "the button is under the finger";
  zvt::test::runMainLoopUntil([] { return false; }, 0.3);
  EXPECT_EQ(sent(), before + 1) << "nothing sent after the success";
}

// The forms that the table's ways in show at the root of their stack, pushed where the user
// can go back from them.
Filled loginFromRegistration(FormSendingTest& t) { return filledLogin(t, t.openLoginFromRegister()); }
Filled phoneRegistrationFromLogin(FormSendingTest& t) {
  return filledPhoneRegistration(t, t.openRegisterFromLogin("2"));
}
Filled emailRegistrationFromLogin(FormSendingTest& t) {
  return filledEmailRegistration(t, t.openRegisterFromLogin("1"));
}

const Leaving kLeavings[] = {
    {"phone verification, back as its tip ends", "phone verification", Leaving::Move::kBack, 1.85},
    {"phone verification, the search tab shown as its tip ends", "phone verification", Leaving::Move::kOtherTab, 1.0},
    {"phone verification, the login presented as its tip ends", "phone verification", Leaving::Move::kPresentedOver, 1.85},
    {"password change, back as its tip ends", "password change", Leaving::Move::kBack, 0.85},
    {"login from the registration, back", "login", Leaving::Move::kBack, -1, loginFromRegistration},
    {"login from the registration, a swipe back taken back", "login", Leaving::Move::kSwipeBack, -1,
     loginFromRegistration},
    {"phone registration from the login, back", "phone registration", Leaving::Move::kBack, -1,
     phoneRegistrationFromLogin},
    {"phone registration from the login, a swipe back taken back", "phone registration", Leaving::Move::kSwipeBack, -1,
     phoneRegistrationFromLogin},
    {"e-mail registration from the login, back", "e-mail registration", Leaving::Move::kBack, -1,
     emailRegistrationFromLogin},
    {"e-mail registration from the login, a swipe back taken back", "e-mail registration", Leaving::Move::kSwipeBack, -1,
     emailRegistrationFromLogin},
    {"phone binding, back", "phone binding", Leaving::Move::kBack, -1},
    {"e-mail binding, back", "e-mail binding", Leaving::Move::kBack, -1},
    {"reset, back", "reset", Leaving::Move::kBack, -1},
    {"phone binding, a swipe back taken back", "phone binding", Leaving::Move::kSwipeBack, -1},
    {"e-mail binding, a swipe back taken back", "e-mail binding", Leaving::Move::kSwipeBack, -1},
    {"reset, a swipe back taken back", "reset", Leaving::Move::kSwipeBack, -1},
    {"e-mail and QQ, a screen pushed over it", "e-mail and QQ", Leaving::Move::kPushedOver, -1},
    {"Alipay, a screen pushed over it", "Alipay", Leaving::Move::kPushedOver, -1},
};

INSTANTIATE_TEST_SUITE_P(Forms, LeavingWhileTheSuccessComes, ::testing::ValuesIn(kLeavings),
                         [](const ::testing::TestParamInfo<Leaving>& info) { return testName(info.param.name); });

// --- The avatar -----------------------------------------------------------------------------

// Taps on the row reach it while a picture goes up: only the screen's own guard keeps the
// sheet from opening again meanwhile.
TEST_F(FormSendingTest, EveryEndOfAnUploadLetsTheAvatarRowSendAnotherPicture) {
  std::filesystem::create_directories(zvt::ui::photoLibraryDirectory());
  zvt::test::PNGRecipe recipe;
  recipe.width = recipe.height = 40;
  recipe.rows.assign(40 * 40 * 3, 120);
  {
    auto bytes = zvt::test::makePNG(recipe);
    std::ofstream(zvt::ui::photoLibraryDirectory() + "/IMG_0001.PNG", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  auto screen = openPersonal(launchAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword));
  ASSERT_TRUE(screen) << topClass();
  auto uploads = [] { return service_->requestCount("avatar"); };

  struct End {
    const char* what;
    ScriptedReply reply;
  };
  // Each pick shows that the end before it let the row open the sheet again.
  for (const End& end : {End{"refused", {.op = "avatar", .code = 202, .msg = "上传失败"}},
                         End{"cut", {.op = "avatar", .drop = true, .sticky = true}},
                         End{"accepted after the row was tapped", {.op = "avatar", .hold = "upload"}},
                         End{"accepted", {.op = "avatar"}},
                         End{"refused after the success", {.op = "avatar", .code = 202, .msg = "上传失败"}}}) {
    SCOPED_TRACE(end.what);
    const int before = uploads();
    service_->script(end.reply);
    // A refresh landing between a finger's down and up would reload the row under it.
    ASSERT_TRUE(waitFor([] { return zvt::urlConnectionLoadsInFlight() == 0; }));
    device().wait(0.3);
    ASSERT_TRUE(device().tapText("头像"));
    device().wait(0.5);
    ASSERT_TRUE(device().tapText("从相册选择")) << "the sheet opens";
    device().wait(1);
    ASSERT_TRUE(device().tapView(device().viewWithAccessibilityIdentifier("IMG_0001.PNG")));
    device().wait(0.5);
    ASSERT_TRUE(device().tapText("选取"));
    if (!end.reply.hold.empty()) {
      // From 0.1 s after "选取", 18 taps over 2 s while the upload is held at the service.
      ASSERT_TRUE(waitFor([&] { return uploads() > before; }));
      int reached = 0, sheetAt = -1;
      for (int i = 0; i < 18 && sheetAt < 0; ++i) {
        device().wait(0.06);
        reached += device().tapText("头像");
        if (std::dynamic_pointer_cast<UIAlertController>(screen->presentedViewController())) sheetAt = i;
      }
      service_->release(end.reply.hold);
      ASSERT_EQ(sheetAt, -1) << "a sheet opened during the upload";
      EXPECT_GT(reached, 0) << "taps reach the row during the upload";
    }
    ASSERT_TRUE(waitFor([&] { return uploads() > before && !POProgressHUD::HUDForView(screen->view()); }));
    service_->clearScripts();
    device().wait(1);
  }
}

// --- The button follows the fields ----------------------------------------------------------

// A form whose button lights by its fields: the fields it needs (and one it does not), each with
// a text to type into it.
struct LitForm {
  const char* name;
  const char* op;
  const char* iface;
  struct Field {
    std::shared_ptr<UITextField> field;
    std::string text;
    bool needed;  // the button is dark while this field is empty
  };
  struct Opened {
    std::shared_ptr<UIButton> button;
    std::vector<Field> fields;
    std::shared_ptr<UITextField> number;  // the field capped at 11 characters, if any
  };
  std::function<Opened(FormSendingTest&)> open;
  bool capped = false;  // the form has a number capped at 11 characters
};

std::ostream& operator<<(std::ostream& out, const LitForm& form) { return out << form.name; }

// The opened form with each of its fields typed in; empty when a field takes no typing.
LitForm::Opened typedIn(FormSendingTest& t, LitForm::Opened opened) {
  for (const auto& f : opened.fields)
    if (!t.typeInto(f.field, f.text)) return {};
  return opened;
}

class ButtonsFollowTheirFields : public FormSendingTest, public ::testing::WithParamInterface<LitForm> {
 protected:
  int sent() const { return service_->requestCount(GetParam().op, GetParam().iface); }
  // Taps the dark button and lets what it might send arrive: nothing must.
  void tapDarkButton(const std::shared_ptr<UIButton>& button) {
    const int before = sent();
    device().tapView(button);
    zvt::test::runMainLoopUntil([] { return false; }, 0.5);
    EXPECT_EQ(sent(), before) << "a dark button sends nothing";
    dismissAlerts();
  }
};

TEST_P(ButtonsFollowTheirFields, TheClearButtonOfEachFieldLeavesItLitExactlyWhileTheNeededFieldsHoldText) {
  auto opened = GetParam().open(*this);
  ASSERT_TRUE(opened.button) << topClass();
  for (const auto& f : opened.fields) {
    SCOPED_TRACE(textOf(f.field) + " / " + f.field->placeholder()->utf8());
    ASSERT_TRUE(typeInto(f.field, ""));
    ASSERT_TRUE(lit(opened.button)) << "every field filled";
    ASSERT_TRUE(device().tapView(f.field->clearButton()));
    device().wait(0.2);
    EXPECT_EQ(textOf(f.field), "");
    EXPECT_EQ(lit(opened.button), !f.needed);
    if (f.needed) tapDarkButton(opened.button);
    ASSERT_TRUE(typeInto(f.field, f.text));
    EXPECT_TRUE(lit(opened.button)) << "typed again";
  }
}

using NumbersCapKeepsTheButton = ButtonsFollowTheirFields;

TEST_P(NumbersCapKeepsTheButton, APasteTheCapRefusesLeavesTheButtonAsItWas) {
  auto opened = GetParam().open(*this);
  ASSERT_TRUE(opened.button) << topClass();
  auto number = opened.number;
  ASSERT_TRUE(number);
  // Everything but the number: dark, and a refused paste into the empty number lights nothing.
  ASSERT_TRUE(typeInto(number, ""));
  ASSERT_TRUE(device().tapView(number->clearButton()));
  device().wait(0.2);
  ASSERT_FALSE(lit(opened.button));
  device().paste("138001384567");
  EXPECT_EQ(textOf(number), "") << "twelve digits are refused whole";
  EXPECT_FALSE(lit(opened.button)) << "and light nothing";
  tapDarkButton(opened.button);
  // Eleven go in and light it; one more is refused and leaves it lit.
  ASSERT_TRUE(typeInto(number, ""));
  device().paste(kPhone);
  EXPECT_EQ(textOf(number), kPhone);
  EXPECT_TRUE(lit(opened.button));
  device().paste("1");
  EXPECT_EQ(textOf(number), kPhone) << "a twelfth digit is refused";
  EXPECT_TRUE(lit(opened.button)) << "and leaves it lit";
}

const LitForm kLitForms[] = {
    {"phone binding", "register", "json",
     [](FormSendingTest& t) -> LitForm::Opened {
       auto screen = t.launchBinding("2");
       auto form = screen ? screen->bindingPhoneView() : nullptr;
       if (!form) return {};
       return typedIn(t, {form->finishedButton(),
                          {{form->phoneTextField(), kPhone, true},
                           {form->verticalTextField(), "123456", true},
                           {form->passwordTextField(), "zvt654321", false}},
                          form->phoneTextField()});
     },
     true},
    {"e-mail binding", "register", "enciphered",
     [](FormSendingTest& t) -> LitForm::Opened {
       auto screen = t.launchBinding(nullptr);
       auto form = screen ? screen->bindingEmailView() : nullptr;
       if (!form) return {};
       return typedIn(t, {form->finishButton(),
                          {{form->emailTextField(), "tb@zavelto.test", true}, {form->passwordTextField(), "zvt654321", true}},
                          nullptr});
     }},
    {"phone verification", "binding_phoneNumber", "json",
     [](FormSendingTest& t) -> LitForm::Opened {
       auto screen = t.openVerification();
       auto form = screen ? screen->verticalPhoneView() : nullptr;
       if (!form) return {};
       return typedIn(t, {form->finishButton(),
                          {{form->verticalTextField(), "123456", true}, {form->phoneTextField(), kPhone, true}},
                          form->phoneTextField()});
     },
     true},
    {"retrieval by phone", "get_forgot_pwd_code", "json",
     [](FormSendingTest& t) -> LitForm::Opened {
       auto screen = t.openRetrieval(true);
       auto form = screen ? screen->retrievePasswordView() : nullptr;
       if (!form || !t.typeInto(form->retrieveTextField(), kPhone)) return {};
       return {form->nextButton(), {{form->retrieveTextField(), kPhone, true}}, form->retrieveTextField()};
     },
     true},
    {"reset", "forgot_pwd_reset", "json",
     [](FormSendingTest& t) -> LitForm::Opened {
       auto screen = t.openReset();
       auto form = screen ? screen->modifyView() : nullptr;
       if (!form) return {};
       return typedIn(t, {form->finishButton(),
                          {{form->verticalTextField(), "123456", true}, {form->passwordTextField(), "zvt654321", true}},
                          nullptr});
     }},
};

INSTANTIATE_TEST_SUITE_P(Forms, ButtonsFollowTheirFields, ::testing::ValuesIn(kLitForms),
                         [](const ::testing::TestParamInfo<LitForm>& info) { return testName(info.param.name); });

// The forms among them with a number capped at 11 characters.
std::vector<LitForm> cappedForms() {
  std::vector<LitForm> capped;
  for (const LitForm& form : kLitForms)
    if (form.capped) capped.push_back(form);
  return capped;
}

INSTANTIATE_TEST_SUITE_P(Forms, NumbersCapKeepsTheButton, ::testing::ValuesIn(cappedForms()),
                         [](const ::testing::TestParamInfo<LitForm>& info) { return testName(info.param.name); });

}  // namespace
