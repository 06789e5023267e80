// The exchange order form through the device against the local service: the rows of each kind,
// the quantity, the validation (the price of a large quantity included), the order the service
// receives, one order at a time, the locked fields and the remark, the replies.

#include "app/api/ZVTAPIClient.h"
#include "tests/app/screens/rewards/ExchangeTestSupport.h"

namespace {

using zvt::test::ExchangeTest;
using zvt::test::runMainLoopUntil;
using zvt::test::ScriptedReply;

class ExchangeFormTest : public ExchangeTest {
 protected:
  // Sets fields of the user's record on the service and fetches the record, as screens do.
  void useRecord(const std::string& fieldsJSON) {
    setUser(fieldsJSON);
    int calls = 0;
    ZVTAPIClient::getUserInfoWith(NSDictionary::make({{"id"_ns, NSString::stringWithUTF8String(zvt::test::kServiceTestUserId)}}),
                                  [&](const std::shared_ptr<NSDictionary>&, const std::shared_ptr<NSError>&) { ++calls; });
    ASSERT_TRUE(waitFor([&] { return calls > 0; }));
  }
  std::shared_ptr<WithDrawView> openForm(NSInteger kind, int32_t mode, int32_t price, int32_t productId = 700) {
    auto form = WithDrawViewController::make();
    form->productType = kind;
    form->withDrawtype = mode;
    form->jifenNumber = price;
    form->productId = productId;
    // The detail below it has hidden the tab bar.
    delegate_->tabBarController()->hiddenTabbar();
    homeStack()->pushViewController(form, true);
    device().wait(1);
    return form->withDrawView();
  }
  void tap(const std::shared_ptr<UIView>& view) {
    ASSERT_TRUE(view);
    ASSERT_TRUE(device().tapView(view));
    device().wait(0.5);
  }
  void type(const std::shared_ptr<UIView>& field, const std::string& text) {
    tap(field);
    ASSERT_TRUE(device().typeText(text));
  }
  void plus(int times = 1) {
    for (int i = 0; i < times; ++i) tap(device().viewWithAccessibilityIdentifier("exchangePlus"));
  }
  void minus() { tap(device().viewWithAccessibilityIdentifier("exchangeMinus")); }
  void send() {
    // The button may lie under the keyboard: it goes first.
    device().viewWithAccessibilityIdentifier("exchangeSend")->window()->endEditing(true);
    device().wait(0.5);
    tap(device().viewWithAccessibilityIdentifier("exchangeSend"));
  }
  std::string popBack() {
    homeStack()->popViewControllerAnimated(false);
    device().wait(0.5);
    return "";
  }
};

TEST_F(ExchangeFormTest, EachKindHasItsRowsAndTheQuantityStopsAtZero) {
  launchLoggedIn();
  struct Case {
    NSInteger kind;
    std::vector<const char*> shown;
    std::vector<const char*> absent;
    const char* picture;
  };
  for (const Case& c : std::vector<Case>{
           {1, {"购买数量:", "收货地址:", "姓      名:", "手机号码:", "备      注:", "请填写收货地址", "张三"}, {"Q Q号码:"}, "physical"},
           {3, {"购买数量:", "手机号码:", "Q Q号码:", "备      注:", "13800138000", "10001"}, {"收货地址:", "姓      名:"}, "virtual"},
           {2, {"购买数量:", "备      注:", "请在这填写..."}, {"收货地址:", "手机号码:", "Q Q号码:"}, "coupons"}}) {
    SCOPED_TRACE(c.kind);
    auto form = openForm(c.kind, 2, 100);
    for (const char* text : c.shown) EXPECT_TRUE(device().viewWithText(text)) << text;
    for (const char* text : c.absent) EXPECT_FALSE(device().viewWithText(text)) << text;
    EXPECT_EQ(form->numberLabel()->text()->utf8(), "1");
    EXPECT_TRUE(hasColour(form->numberLabel()->textColor(), 255, 100, 0));
    zvt::test::writeScreenPicture(std::string("ExchangeForm.") + c.picture);
    popBack();
  }

  // From 1: the first minus gives 0, the second is refused.
  auto form = openForm(2, 2, 100);
  minus();
  EXPECT_EQ(form->numberLabel()->text()->utf8(), "0");
  EXPECT_FALSE(alertShows("数量已经为0"));
  minus();
  EXPECT_TRUE(alertShows("数量已经为0"));
  answerAlert();
  EXPECT_EQ(form->numberLabel()->text()->utf8(), "0");
  send();
  EXPECT_TRUE(alertShows("请填写购买数量"));
  zvt::test::writeScreenPicture("ExchangeForm.validation");
  answerAlert();
  EXPECT_EQ(service_->requestCount("exchange"), 0);
}

TEST_F(ExchangeFormTest, ValidationStopsTheOrderWithTheFirstFailure) {
  launchLoggedIn();
  struct Case {
    const char* name;
    const char* record;
    NSInteger kind;
    int32_t mode, price;
    int plusTaps;
    bool typeAddress;
    const char* message;
  };
  for (const Case& c : std::vector<Case>{
           {"virtual goods without QQ", R"({"qq": "", "jifen": "100000"})", 3, 2, 100, 0, false, "请填写QQ号"},
           {"physical goods without address, rich", R"({"jifen": "100000"})", 1, 2, 300, 0, false, "请填写收货地址"},
           {"physical goods without address, poor", R"({"jifen": "0"})", 1, 2, 300, 0, false, "请填写收货地址"},
           {"Velmo 300 x 2 against 500", R"({"jifen": "500"})", 1, 2, 300, 1, true, "Velmo数额不够"},
           {"集分宝 2000000000 x 2 against 1000", R"({"jifenbao": "1000"})", 2, 1, 2000000000, 1, false, "集分宝数额不够"},
       }) {
    SCOPED_TRACE(c.name);
    useRecord(c.record);
    auto form = openForm(c.kind, c.mode, c.price);
    plus(c.plusTaps);
    if (c.typeAddress) type(form->addressTextField(), "北京市海淀区");
    send();
    EXPECT_TRUE(alertShows(c.message)) << c.message;
    answerAlert();
    EXPECT_EQ(service_->requestCount("exchange"), 0);
    popBack();
  }
}

TEST_F(ExchangeFormTest, AnOrderCarriesWhatTheServiceNeedsAndGoesOnceUntilItsReply) {
  launchLoggedIn();
  useRecord(R"({"jifen": "600"})");
  service_->clearLog();
  auto form = openForm(1, 2, 300, 700);
  plus();
  type(form->addressTextField(), "北京市海淀区");
  type(form->remarkTextView(), "请周末送");
  send();
  ASSERT_TRUE(waitFor([&] { return alertShows("兑换请求已发送，请于站内信查看"); }));
  zvt::test::writeScreenPicture("ExchangeForm.sent");
  answerAlert();
  auto orders = fieldsOf("exchange");
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orderKeys(orders[0]), (std::vector<std::string>{"address", "alipay", "content", "goodId", "id", "mobile",
                                                           "mode", "num", "realName"}));
  EXPECT_EQ(field(orders[0], "id"), zvt::test::kServiceTestUserId);
  EXPECT_EQ(field(orders[0], "goodId"), "700");
  EXPECT_EQ(field(orders[0], "mode"), "2");
  EXPECT_EQ(field(orders[0], "num"), "2");
  EXPECT_EQ(field(orders[0], "address"), "北京市海淀区");
  EXPECT_EQ(field(orders[0], "content"), "请周末送");
  EXPECT_EQ(field(orders[0], "realName"), "张三");
  EXPECT_EQ(field(orders[0], "mobile"), zvt::test::kServiceTestUserPhone);
  // The form keeps its values.
  EXPECT_EQ(form->numberLabel()->text()->utf8(), "2");
  EXPECT_EQ(form->addressTextField()->text()->utf8(), "北京市海淀区");
  EXPECT_EQ(form->remarkTextView()->text()->utf8(), "请周末送");
  // The balance went and a site message tells of the order.
  std::shared_ptr<NSDictionary> record;
  ZVTAPIClient::getUserInfoWith(NSDictionary::make({{"id"_ns, NSString::stringWithUTF8String(zvt::test::kServiceTestUserId)}}),
                                [&](const std::shared_ptr<NSDictionary>& got, const std::shared_ptr<NSError>&) { record = got; });
  ASSERT_TRUE(waitFor([&] { return record != nullptr; }));
  EXPECT_EQ(field(record, "jifen"), "0");
  // The notice is among the user's messages, on whichever page the demo messages before it
  // leave it.
  std::string messages;
  bool more = true;
  for (int page = 1; more && page <= 20; ++page) {
    bool done = false;
    more = false;
    ZVTAPIClient::getMessageWith(
        NSDictionary::make({{"id"_ns, NSString::stringWithUTF8String(zvt::test::kServiceTestUserId)},
                            {"number"_ns, NSString::stringWithUTF8String(std::to_string(page))}}),
        [&](const std::shared_ptr<NSArray>& models, const id&, const std::shared_ptr<NSString>&) {
          if (models) {
            for (const id& model : *models) {
              if (id content = model->valueForKey("content"_ns)) messages += NSString::stringWithFormat("%@\n", content)->utf8();
            }
            more = models->count() > 0;
          }
          done = true;
        });
    ASSERT_TRUE(waitFor([&] { return done; }));
  }
  EXPECT_NE(messages.find("× 2"), std::string::npos) << messages;
  popBack();

  // A virtual good with the remark untouched; two taps within one delayed reply send one order,
  // a tap after the reply a second.
  useRecord(R"({"jifen": "100000", "qq": ""})");
  service_->clearLog();
  form = openForm(3, 2, 100, 702);
  type(form->QQTextField(), "123456");
  service_->script(ScriptedReply{.op = "exchange", .iface = "enciphered", .delayMs = 1500});
  send();
  tap(device().viewWithAccessibilityIdentifier("exchangeSend"));
  ASSERT_TRUE(waitFor([&] { return alertShows("兑换请求已发送，请于站内信查看"); }));
  runMainLoopUntil([] { return false; }, 0.5);
  EXPECT_EQ(service_->requestCount("exchange"), 1) << "one order while the first is on its way";
  answerAlert();
  auto virtualOrder = fieldsOf("exchange").at(0);
  EXPECT_EQ(field(virtualOrder, "qq"), "123456");
  EXPECT_EQ(field(virtualOrder, "content"), "") << "an untouched remark is sent empty";
  EXPECT_FALSE(virtualOrder->objectForKey("address"_ns));
  send();
  ASSERT_TRUE(waitFor([&] { return alertShows("兑换请求已发送，请于站内信查看"); }));
  answerAlert();
  EXPECT_EQ(service_->requestCount("exchange"), 2) << "a deliberate new order after the reply goes";
  popBack();

  // A record without a name: the typed one goes; values the record lacks go empty.
  useRecord(R"({"jifen": "100000", "realname": "", "alipay": null})");
  service_->clearLog();
  form = openForm(1, 2, 300, 700);
  type(form->nameTextField(), "王五");
  type(form->addressTextField(), "上海");
  send();
  ASSERT_TRUE(waitFor([&] { return alertShows("兑换请求已发送，请于站内信查看"); }));
  answerAlert();
  auto named = fieldsOf("exchange").at(0);
  EXPECT_EQ(field(named, "realName"), "王五");
  EXPECT_EQ(field(named, "alipay"), "");
}

TEST_F(ExchangeFormTest, TheUsersOwnNameNumberAndQQAreAskedForWhenMissingAndLockedWhenOnFile) {
  launchLoggedIn();
  struct Case {
    const char* what;
    const char* record;  // fields of the user's record
    NSInteger kind;
    const char* field;   // "name", "namePhone", "phone", "qq", "address"
    const char* alert;   // "": the field takes the keyboard
  };
  for (const Case& c : std::vector<Case>{
           {"name on file", R"({"realname": "张三"})", 1, "name", "姓名不能修改"},
           {"name empty", R"({"realname": ""})", 1, "name", ""},
           {"no mobile", R"({"mobile": ""})", 1, "namePhone", "请到个人信息完善手机资料"},
           {"null mobile", R"({"mobile": null})", 3, "phone", "请到个人信息完善手机资料"},
           {"null QQ", R"({"qq": null})", 3, "qq", "请到个人信息完善QQ资料"},
           {"QQ on file", R"({"qq": "10001"})", 3, "qq", "QQ号码不能修改"},
           {"address", R"({"realname": "张三"})", 1, "address", ""},
       }) {
    SCOPED_TRACE(c.what);
    useRecord(c.record);
    auto form = openForm(c.kind, 2, 100);
    ASSERT_TRUE(form);
    const std::string which = c.field;
    auto field = which == "name"        ? form->nameTextField()
                 : which == "namePhone" ? form->namePhoneTextField()
                 : which == "phone"     ? form->phoneTextField()
                 : which == "qq"        ? form->QQTextField()
                                        : form->addressTextField();
    tap(field);
    if (*c.alert) {
      EXPECT_TRUE(alertShows(c.alert)) << c.alert;
      EXPECT_FALSE(field->isFirstResponder()) << "refused";
      answerAlert();
    } else {
      EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u);
      EXPECT_TRUE(field->isFirstResponder());
    }
    popBack();
  }
}

TEST_F(ExchangeFormTest, LockedFieldsTheRemarkAndTheRepliesShown) {
  launchLoggedIn();
  useRecord(R"({"realname": null, "qq": ""})");
  auto form = openForm(1, 2, 100);
  tap(form->nameTextField());
  EXPECT_TRUE(alertShows("请到个人信息完善姓名资料"));
  answerAlert();
  EXPECT_FALSE(form->nameTextField()->isFirstResponder());
  tap(form->namePhoneTextField());
  EXPECT_TRUE(alertShows("手机号码不能修改"));
  answerAlert();

  // A remark typed, left and touched again stays.
  type(form->remarkTextView(), "放门卫");
  tap(form->addressTextField());
  tap(form->remarkTextView());
  EXPECT_EQ(form->remarkTextView()->text()->utf8(), "放门卫");
  popBack();

  form = openForm(3, 2, 100);
  EXPECT_EQ(form->phoneTextField()->text()->utf8(), zvt::test::kServiceTestUserPhone);
  type(form->QQTextField(), "778899");
  EXPECT_EQ(form->QQTextField()->text()->utf8(), "778899") << "an empty QQ can be typed in";
  tap(form->phoneTextField());
  EXPECT_TRUE(alertShows("手机号码不能修改"));
  answerAlert();

  struct Reply {
    ScriptedReply script;
    const char* shown;
  };
  for (const Reply& r : std::vector<Reply>{
           {ScriptedReply{.op = "exchange", .iface = "enciphered", .code = 202, .msg = "库存不足"}, "兑换失败"},
           {ScriptedReply{.op = "exchange", .iface = "enciphered", .code = 305, .msg = "X"}, "X"}}) {
    SCOPED_TRACE(r.shown);
    service_->script(r.script);
    send();
    ASSERT_TRUE(waitFor([&] { return alertShows(r.shown); }));
    answerAlert();
  }
}

}  // namespace
