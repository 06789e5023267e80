// The points product detail through the device: the time left, the stock line, the prices the
// buttons refuse, the form they open, the login they ask for, a picture that does not come.

#include <map>

#include "app/api/ZVTAPIClient.h"
#include "platform/foundation/Clock.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UINavigationBar.h"
#include "tests/app/screens/rewards/ExchangeTestSupport.h"

namespace {

using zvt::test::ExchangeTest;
using zvt::test::runMainLoopUntil;

class ExchangeDetailTest : public ExchangeTest {
 protected:
  // A product record with some fields replaced.
  std::shared_ptr<NSDictionary> product(const std::map<std::string, std::string>& changes = {},
                                        const char* picture = "good1.png") {
    std::map<std::string, std::string> fields = {{"id", "703"},        {"title", "陶瓷马克杯"},
                                                 {"jifen", "0"},       {"jifenbao", "150"},
                                                 {"num", "12"},        {"edate", "4102444800"},
                                                 {"img", service_->rootURL() + "/images/" + picture}};
    for (const auto& [key, value] : changes) fields[key] = value;
    auto record = NSMutableDictionary::dictionary();
    for (const auto& [key, value] : fields)
      record->setObject(NSString::stringWithUTF8String(value), NSString::stringWithUTF8String(key));
    return record;
  }
  std::shared_ptr<PointsProductDetailViewController> openDetail(const std::shared_ptr<NSDictionary>& record,
                                                                NSInteger kind = 1) {
    auto detail = PointsProductDetailViewController::make();
    detail->setProductType(kind);
    detail->setInfoDic(record);
    detail->view();  // built now, at the time the test worked out
    homeStack()->pushViewController(detail, true);
    device().wait(1);
    return detail;
  }
  void tapButton(const char* identifier) {
    ASSERT_TRUE(device().tapView(device().viewWithAccessibilityIdentifier(identifier))) << identifier;
    device().wait(1);
  }
};

TEST_F(ExchangeDetailTest, TheTimeLeftAndTheStockLine) {
  launchLoggedIn();
  struct Case {
    double fromNow;
    const char* shown;  // "" for an empty line
  };
  for (const Case& c : std::vector<Case>{{86400 + 3600 + 60 + 1, "仅剩 1天 1小时 1分钟 1秒"},
                                         {0, "仅剩 0天 0小时 0分钟 0秒"},
                                         {-5, ""}}) {
    SCOPED_TRACE(c.fromNow);
    const long long edate = static_cast<long long>(Clock::now() + c.fromNow);
    auto detail = openDetail(product({{"edate", std::to_string(edate)}}));
    auto label = detail->detailView()->lastTimeLabel();
    waitFor([&] { return detail->detailView()->pointProductImage()->image() != nullptr; }, 5);
    device().wait(0.2);
    EXPECT_EQ(label->text() ? label->text()->utf8() : "", c.shown);
    if (*c.shown) {
      EXPECT_TRUE(device().viewWithText(c.shown));
    }
    if (c.fromNow > 1) zvt::test::writeScreenPicture("ExchangeDetail.timeLeft");
    if (c.fromNow < 0) zvt::test::writeScreenPicture("ExchangeDetail.ended");
    homeStack()->popViewControllerAnimated(false);
    device().wait(0.5);
  }

  auto detail = openDetail(product());
  auto stock = detail->detailView()->storeNumberLabel()->attributedText();
  ASSERT_TRUE(stock);
  EXPECT_EQ(stock->string()->utf8(), "剩余库存:12件");
  EXPECT_TRUE(device().viewWithText("剩余库存:12件"));
  auto colourAt = [&](NSUInteger index) {
    return zvt::as<UIColor>(stock->attribute(NSForegroundColorAttributeName, index, nullptr));
  };
  EXPECT_TRUE(hasColour(colourAt(5), 255, 100, 0));
  EXPECT_TRUE(hasColour(colourAt(6), 255, 100, 0));
  EXPECT_FALSE(hasColour(colourAt(4), 255, 100, 0));
  EXPECT_FALSE(hasColour(colourAt(7), 255, 100, 0)) << "\"件\" keeps the label's colour";
  EXPECT_EQ(detail->detailView()->zaveltoMoneyLabel()->text()->utf8(), "0");
  EXPECT_EQ(detail->detailView()->aLiBaBaMoneyLabel()->text()->utf8(), "150");
}

TEST_F(ExchangeDetailTest, AButtonRefusesAMissingPriceAndOpensTheFormWithTheOther) {
  launchLoggedIn();
  auto detail = openDetail(product(), 1);
  tapButton("exchangeByVelmo");
  EXPECT_TRUE(alertShows("此物品不支持Velmo兑换，抱歉"));
  answerAlert();
  EXPECT_EQ(topScreen(), detail);

  tapButton("exchangeByJifenbao");
  auto form = std::dynamic_pointer_cast<WithDrawViewController>(topScreen());
  ASSERT_TRUE(form);
  EXPECT_TRUE(device().viewWithText("集分宝兑换"));
  EXPECT_EQ(form->withDrawtype, 1);
  EXPECT_EQ(form->jifenNumber, 150);
  EXPECT_EQ(form->productId, 703);
  EXPECT_EQ(form->productType, 1);
  auto back = detail->navigationItem()->backBarButtonItem();
  ASSERT_TRUE(back) << "the form's back button is the detail's back item";
  EXPECT_EQ(back->title() ? back->title()->utf8() : "", "");
}

TEST_F(ExchangeDetailTest, LoggedOutAButtonAsksForTheLoginAndAfterItOpensTheForm) {
  auto delegate = launch();
  ASSERT_FALSE(delegate->isLogin());
  auto detail = openDetail(product({{"jifen", "300"}}), 2);
  tapButton("exchangeByVelmo");
  EXPECT_TRUE(alertShows("请先登录"));
  zvt::test::writeScreenPicture("ExchangeDetail.loginAlert");
  answerAlert();
  device().wait(1);
  EXPECT_TRUE(device().viewWithText("TZLoginViewController")) << "the login screen is presented";
  EXPECT_EQ(topScreen(), detail) << "nothing is pushed";

  // Logged in meanwhile (the login screen's work), then back on the same detail.
  int calls = 0;
  ZVTAPIClient::loginWith(NSDictionary::make({{"userName"_ns, NSString::stringWithUTF8String(zvt::test::kServiceTestUserName)},
                                              {"password"_ns, NSString::stringWithUTF8String(zvt::test::kServiceTestUserPassword)}}),
                          [&](bool, const std::shared_ptr<NSString>&) { ++calls; });
  ASSERT_TRUE(waitFor([&] { return calls > 0; }));
  ASSERT_TRUE(delegate->isLogin());
  detail->dismissViewControllerAnimated(false);
  device().wait(1);
  tapButton("exchangeByVelmo");
  auto form = std::dynamic_pointer_cast<WithDrawViewController>(topScreen());
  ASSERT_TRUE(form);
  EXPECT_EQ(form->withDrawtype, 2);
  EXPECT_EQ(form->jifenNumber, 300);
  EXPECT_TRUE(device().viewWithText("Velmo兑换"));
}

TEST_F(ExchangeDetailTest, APictureThatDoesNotComeLeavesTheAreaEmpty) {
  launchLoggedIn();
  struct Case {
    const char* picture;
    bool shown;
  };
  for (const Case& c : std::vector<Case>{{"good2.png", true}, {"missing7.png", false}}) {
    SCOPED_TRACE(c.picture);
    const int before = service_->requestCount("", "image");
    auto detail = openDetail(product({}, c.picture));
    ASSERT_TRUE(waitForRequests("", before + 1));
    runMainLoopUntil([] { return false; }, 0.5);
    device().wait(0.5);
    EXPECT_EQ(static_cast<bool>(detail->detailView()->pointProductImage()->image()), c.shown);
    homeStack()->popViewControllerAnimated(false);
    device().wait(0.5);
  }
}

}  // namespace
