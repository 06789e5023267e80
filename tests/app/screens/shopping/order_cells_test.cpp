// The order rows on their own, from their nibs: a row laid out again keeps one picker, and
// server values of the wrong kind or missing show as nothing rather than "(null)".

#include <gtest/gtest.h>

#include "app/screens/shopping/ShoppingScreens.h"
#include "app/screens/shopping/TZStoreOrderCell.h"
#include "app/screens/shopping/TZTaobaoOrderCell.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNumber.h"
#include "platform/uikit/UIWindow.h"

namespace {

std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : "(nil)"; }

class OrderCells : public ::testing::Test {
 protected:
  void SetUp() override {
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    zvt::registerShoppingScreens();
  }
  // The pickers a row holds: white views at the content view's top level other than the card.
  static size_t pickers(const std::shared_ptr<TZTaobaoOrderCell>& cell) {
    size_t count = 0;
    for (const auto& view : cell->contentView()->subviews()) count += view != cell->bgView() ? 1 : 0;
    return count;
  }
};

TEST_F(OrderCells, ARowLaidOutAgainKeepsOnePickerWithItsTiles) {
  auto cell = loadFromNib<TZTaobaoOrderCell>();
  ASSERT_TRUE(cell);
  auto model = std::make_shared<TZTaobaoOrderModel>();
  model->setValuesForKeysWithDictionary(NSDictionary::make(
      {{"id"_ns, "3000"_ns}, {"trade_id"_ns, "88000000000000"_ns}, {"can_useCoupon"_ns, "1"_ns}, {"jifenbao"_ns, 20_n}}));
  auto coupon = [](NSInteger id, NSInteger type) {
    return NSDictionary::make({{"id"_ns, NSNumber::numberWithInteger(id)}, {"type"_ns, NSNumber::numberWithInteger(type)}});
  };
  cell->setCoupons(NSArray::make({coupon(7, 1), coupon(8, 3), coupon(9, 4)}));
  cell->setTaobaoOrderModel(model);
  for (int i = 0; i < 3; ++i) {
    cell->setNeedsLayout();
    cell->layoutIfNeeded();
  }
  EXPECT_EQ(pickers(cell), 1u);
  auto tiles = cell->rebateView()->subviews();
  ASSERT_EQ(tiles.size(), 3u);
  EXPECT_EQ(std::static_pointer_cast<UIImageView>(tiles[1])->image(), UIImage::imageNamed("coupon2"_ns));
  EXPECT_FALSE(std::static_pointer_cast<UIImageView>(tiles[2])->image()) << "an unknown type shows no picture";
  EXPECT_EQ(tiles[2]->tag(), 9);
  // The jifenbao number is written out.
  EXPECT_EQ(text(cell->jifenbaoLabel()->text()), "回扣20集分宝");
  // A nil model keeps the one shown.
  cell->setTaobaoOrderModel(nullptr);
  EXPECT_EQ(cell->taobaoOrderModel(), model);
}

TEST_F(OrderCells, ValuesOfTheWrongKindShowAsNothing) {
  auto taobao = loadFromNib<TZTaobaoOrderCell>();
  auto model = std::make_shared<TZTaobaoOrderModel>();
  model->setValuesForKeysWithDictionary(
      NSDictionary::make({{"item_title"_ns, NSArray::make({"x"_ns})}, {"can_useCoupon"_ns, "0"_ns}, {"coupon_award"_ns, "3"_ns}}));
  taobao->setTaobaoOrderModel(model);
  EXPECT_EQ(text(taobao->orderTitleLabel()->text()), "");
  EXPECT_EQ(text(taobao->orderNumLabel()->text()), "");
  EXPECT_EQ(text(taobao->jifenbaoLabel()->text()), "回扣集分宝");
  EXPECT_EQ(text(taobao->rebateBtn()->currentTitle()), "额外+3个");

  auto mall = loadFromNib<TZStoreOrderCell>();
  auto order = std::make_shared<TZStoreOrderModel>();
  order->setValuesForKeysWithDictionary(NSDictionary::make({{"jifen"_ns, NSDictionary::make({})}, {"fxje"_ns, 3.5_n}}));
  mall->setStoreOrderModel(order);
  EXPECT_EQ(text(mall->priceLabel()->text()), "￥");
  EXPECT_EQ(text(mall->velmoLabel()->text()), "Velmo");
  EXPECT_EQ(text(mall->moneyLabel()->text()), "回扣收入3.5元");
  EXPECT_EQ(text(mall->numberLabel()->text()), "数量x");
  EXPECT_FALSE(mall->isUserInteractionEnabled()) << "a mall row takes no touches";
}

}  // namespace
