// The account forms whose button lights by their fields, through the device, against the local
// service: each clear button leaves the button lit exactly while the fields it needs hold text,
// and the phone number fields whose 11-character cap refuses a paste leave their button as it
// was.

#include <cctype>
#include <filesystem>
#include <fstream>

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
#include "platform/network/NSURLConnection.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UINavigationController.h"
#include "tests/app/screens/account/PersonalTestSupport.h"
#include "tests/support/ImageFixtures.h"
#include "ui/hud/POProgressHUD.h"

namespace {

using zvt::test::ScriptedReply;

constexpr const char* kPhone = "13800138456";
// Long enough that the second tap, 0.2 s after the first on the virtual clock, always comes
// before the reply, however busy the machine.
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
    delegate_->setRegMethod(regMethod ? NSString::stringWithUTF8String(regMethod) : nullptr);
    auto screen = std::dynamic_pointer_cast<TZRegisterViewController>(zvt::makeScreen("TZRegisterViewController"));
    if (!screen) return nullptr;
    topScreen()->navigationController()->presentViewController(UINavigationController::initWithRootViewController(screen),
                                                                true);
    device().wait(1);
    return screen;
  }
  // The binding screen on the login stack, as a first partner login pushes it.
  std::shared_ptr<TZBindingViewController> openBinding(const char* regMethod) {
    auto login = openLogin();
    if (!login) return nullptr;
    delegate_->setRegMethod(regMethod ? NSString::stringWithUTF8String(regMethod) : nullptr);
    auto screen = std::dynamic_pointer_cast<TZBindingViewController>(zvt::makeScreen("TZBindingViewController"));
    if (!screen) return nullptr;
    screen->setUserInfo(NSDictionary::make({{"web"_ns, "tb"_ns},
                                            {"webId"_ns, "TB-OPENID-0001"_ns},
                                            {"first"_ns, NSNumber::numberWithInt(1)},
                                            {"newVer"_ns, "yes"_ns}}));
    presentedStack()->pushViewController(screen, true);
    device().wait(1);
    return screen;
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
    auto centre = showCentre();
    if (!centre || !device().tapView(centre->headerView()->loginButton())) return nullptr;
    device().wait(1);
    if (!presentedLogin() || !device().tapText("忘记密码?")) return nullptr;
    device().wait(1);
    if (byPhone && !device().tapText("手机号找回")) return nullptr;
    return std::dynamic_pointer_cast<TZRetrievePasswordViewController>(presentedTop());
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
  std::shared_ptr<TZChangePasswordViewController> openChange() {
    launch();
    if (!logInDemoUser()) return nullptr;
    auto centre = showCentre();
    if (!centre) return nullptr;
    device().dragView(centre->tableView(), CGPointMake(0, -300), 0.4);
    device().waitUntilStill(centre->tableView());
    if (!device().tapText("设置")) return nullptr;
    device().wait(1);
    if (!device().tapText("修改密码")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZChangePasswordViewController>(topScreen());
  }
  // As 10004 (no e-mail on file): the personal information's "邮箱" row.
  std::shared_ptr<TZEmailAndQQViewController> openEmailAndQQ() {
    auto centre = launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword);
    if (!openPersonal(centre) || !device().tapText("邮箱")) return nullptr;
    device().wait(1);
    return std::dynamic_pointer_cast<TZEmailAndQQViewController>(topScreen());
  }
  // As 10004 (no account bound): the Alipay screen.
  std::shared_ptr<TZAlipaySetupViewController> openAlipay() {
    if (!launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword)) return nullptr;
    return std::dynamic_pointer_cast<TZAlipaySetupViewController>(push("TZAlipaySetupViewController"));
  }
  // The personal information, opened by the centre's avatar.
  std::shared_ptr<TZPersonalViewController> openPersonal(const std::shared_ptr<UserInfoViewController>& centre) {
    const int asked = service_->requestCount("userInfo&do=my");
    if (!centre || !device().tapView(centre->headerView()->userIconImageView())) return nullptr;
    device().wait(1);
    settleRefresh(asked);
    return std::dynamic_pointer_cast<TZPersonalViewController>(topScreen());
  }

  std::shared_ptr<UIViewController> presentedTop() const {
    auto stack = presentedStack();
    return stack ? stack->topViewController() : nullptr;
  }
  void tapBackItem() {
    device().tap(CGPointMake(20, 42));
    device().wait(1);
  }
  static bool alertShows() { return alertCount() > 0; }
  static bool lit(const std::shared_ptr<UIButton>& button) { return zvt::account::isMainButtonEnabled(button); }

  // What the table of forms below uses.
  std::shared_ptr<AppDelegate> delegate() const { return delegate_; }
  using PersonalScreenTest::device;
  using PersonalScreenTest::presentedStack;
  using PersonalScreenTest::shows;
  using PersonalScreenTest::topScreen;
  using PersonalScreenTest::typeInto;
};

// A test's name made of a table row's name.
std::string testName(const char* name) {
  std::string out;
  for (char c : std::string(name)) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return out;
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
       auto screen = t.openBinding("2");
       auto form = screen ? screen->bindingPhoneView() : nullptr;
       if (!form) return {};
       LitForm::Opened opened{form->finishedButton(),
                              {{form->phoneTextField(), kPhone, true},
                               {form->verticalTextField(), "123456", true},
                               {form->passwordTextField(), "zvt654321", false}},
                              form->phoneTextField()};
       for (const auto& f : opened.fields)
         if (!t.typeInto(f.field, f.text)) return {};
       return opened;
     },
     true},
    {"e-mail binding", "register", "enciphered",
     [](FormSendingTest& t) -> LitForm::Opened {
       auto screen = t.openBinding(nullptr);
       auto form = screen ? screen->bindingEmailView() : nullptr;
       if (!form) return {};
       LitForm::Opened opened{form->finishButton(),
                              {{form->emailTextField(), "tb@zavelto.test", true}, {form->passwordTextField(), "zvt654321", true}},
                              nullptr};
       for (const auto& f : opened.fields)
         if (!t.typeInto(f.field, f.text)) return {};
       return opened;
     }},
    {"phone verification", "binding_phoneNumber", "json",
     [](FormSendingTest& t) -> LitForm::Opened {
       auto screen = t.openVerification();
       auto form = screen ? screen->verticalPhoneView() : nullptr;
       if (!form) return {};
       LitForm::Opened opened{form->finishButton(),
                              {{form->verticalTextField(), "123456", true}, {form->phoneTextField(), kPhone, true}},
                              form->phoneTextField()};
       for (const auto& f : opened.fields)
         if (!t.typeInto(f.field, f.text)) return {};
       return opened;
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
       LitForm::Opened opened{form->finishButton(),
                              {{form->verticalTextField(), "123456", true}, {form->passwordTextField(), "zvt654321", true}},
                              nullptr};
       for (const auto& f : opened.fields)
         if (!t.typeInto(f.field, f.text)) return {};
       return opened;
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
