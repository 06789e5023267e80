#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/models/TZHeaderInfoModel.h"
#include "app/models/TZMessageModel.h"
#include "app/models/TZProductModel.h"
#include "app/models/TZRefundModel.h"
#include "app/models/TZSearchResultModel.h"
#include "app/models/TZStoreOrderModel.h"
#include "app/models/TZTaobaoOrderModel.h"
#include "app/models/TZUserInfoModel.h"
#include "app/models/TZWithdrawModel.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/Foundation.h"

namespace {

std::shared_ptr<NSDictionary> record(const char* json) {
  auto object = objectFromJSONString(*NSString::stringWithUTF8String(json));
  auto dict = zvt::as<NSDictionary>(object);
  EXPECT_TRUE(dict) << json;
  return dict;
}

std::string textOf(const id& value) { return value ? value->description()->utf8() : "(nil)"; }

TEST(Models, ProductRecordFillsKnownKeysCopiesIdAndDropsTheRest) {
  auto product = zvt::modelFromRecord<TZProductModel>(
      record(R"({"id":"17","title":"abc","fxje":1.5,"price":12,"unknown":"x","nick":null,"pic_url":"http://p/1.png"})"));
  EXPECT_EQ(textOf(product->zvtProductID), "17");
  EXPECT_EQ(textOf(product->title), "abc");
  EXPECT_EQ(product->valueForKey("id"_ns), nullptr);
  EXPECT_EQ(product->valueForKey("unknown"_ns), nullptr);
  EXPECT_EQ(product->nick, nullptr);  // JSON null arrives as nil
  // A number where a text is declared stays a number.
  EXPECT_TRUE(zvt::isKind<NSNumber>(product->price));
  EXPECT_TRUE(zvt::isKind<NSNumber>(product->valueForKey("fxje"_ns)));
  EXPECT_EQ(textOf(product->valueForKey("pic_url"_ns)), "http://p/1.png");
}

TEST(Models, OnlyThreeModelsKeepTheId) {
  auto user = zvt::modelFromRecord<TZUserInfoModel>(record(R"({"id":10001,"ddusername":"zvttest","show_coupon":1})"));
  EXPECT_EQ(textOf(user->userId), "10001");
  EXPECT_TRUE(zvt::isKind<NSNumber>(user->userId));
  auto order = zvt::modelFromRecord<TZTaobaoOrderModel>(record(R"({"id":"9","coupons":{"a":1},"jifenbao":3})"));
  EXPECT_EQ(textOf(order->orderID), "9");
  EXPECT_TRUE(zvt::isKind<NSDictionary>(order->coupons));
  auto message = zvt::modelFromRecord<TZMessageModel>(record(R"({"id":"5","title":"t","content":"c"})"));
  EXPECT_EQ(message->valueForKey("id"_ns), nullptr);
  EXPECT_EQ(textOf(message->title), "t");
  auto store = zvt::modelFromRecord<TZStoreOrderModel>(record(R"({"id":"5","mall_name":"京东"})"));
  EXPECT_EQ(textOf(store->mall_name), "京东");
  EXPECT_EQ(store->valueForKey("id"_ns), nullptr);
  // A record without "id" leaves the copy unset; a later nil "id" clears it.
  auto product = zvt::modelFromRecord<TZProductModel>(record(R"({"title":"x"})"));
  EXPECT_EQ(product->zvtProductID, nullptr);
  product->setValueForKey("3"_ns, "id"_ns);
  EXPECT_EQ(textOf(product->zvtProductID), "3");
  product->setValuesForKeysWithDictionary(record(R"({"id":null})"));
  EXPECT_EQ(product->zvtProductID, nullptr);
}

TEST(Models, PropertyTablesKeepDeclarationOrder) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(TZHeaderInfoModel::classTable()->propertyNames(),
            (Names{"link", "isShare", "local", "name", "pic", "shareText", "shareTitle", "icon", "subName"}));
  EXPECT_EQ(TZMessageModel::classTable()->propertyNames(), (Names{"content", "title", "addtime", "end"}));
  EXPECT_EQ(TZWithdrawModel::classTable()->propertyNames(), (Names{"account", "type", "money", "status", "addtime"}));
  EXPECT_EQ(TZRefundModel::classTable()->propertyNames(),
            (Names{"title", "content", "money", "jifenbao", "jifen", "addtime"}));
  EXPECT_EQ(TZSearchResultModel::classTable()->propertyNames().front(), "num_iid");
  auto product = TZProductModel::classTable()->propertyNames();
  ASSERT_EQ(product.size(), 15u);
  EXPECT_EQ(product[3], "zvtProductID");
  EXPECT_EQ(product.back(), "zhe_num");
  auto user = TZUserInfoModel::classTable()->propertyNames();
  ASSERT_EQ(user.size(), 22u);
  EXPECT_EQ(user.front(), "userId");
  EXPECT_EQ(user.back(), "show_coupon");
  auto order = TZTaobaoOrderModel::classTable()->propertyNames();
  ASSERT_EQ(order.size(), 13u);
  EXPECT_EQ(order.front(), "orderID");
  EXPECT_EQ(order.back(), "coupons");
  EXPECT_EQ(TZStoreOrderModel::classTable()->propertyNames().size(), 9u);
}

TEST(Models, HeaderItemRoundTripsThroughKeyValueCoding) {
  auto item = zvt::modelFromRecord<TZHeaderInfoModel>(
      record(R"({"link":"3","isShare":"1","local":1,"name":"签到","pic":"http://x/p.png","extra":[1,2]})"));
  auto values = item->dictionaryWithValuesForKeys(NSArray::make({"link"_ns, "local"_ns, "icon"_ns}));
  EXPECT_EQ(textOf(values->objectForKey("link"_ns)), "3");
  EXPECT_TRUE(zvt::isKind<NSNumber>(values->objectForKey("local"_ns)));
  EXPECT_TRUE(zvt::isKind<NSNull>(values->objectForKey("icon"_ns)));
  auto copy = std::make_shared<TZHeaderInfoModel>();
  copy->setValuesForKeysWithDictionary(item->dictionaryWithValuesForKeys(NSArray::make({"name"_ns, "pic"_ns})));
  EXPECT_EQ(textOf(copy->name), "签到");
  EXPECT_EQ(zvt::modelFromRecord<TZHeaderInfoModel>(nullptr)->link, nullptr);
}

}  // namespace
