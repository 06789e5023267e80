// The two product cells of the grids on a 320-point screen: where their parts lie, what they
// show for products whose values come as texts, numbers or something unexpected, and what a
// reused cell shows for the next product.

#include <gtest/gtest.h>

#include <type_traits>

#include "app/screens/shopping/TZHomeCell.h"
#include "app/screens/shopping/TZHomeHKCell.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "tests/app/screens/shopping/ShoppingTestSupport.h"
#include "tests/platform/uikit/UIKitTestSupport.h"
#include "tests/support/MainLoop.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/images/WIImageCache.h"
#include "ui/images/WIWebImageManager.h"

namespace {

using zvt::uitest::Screen;

std::string text(const std::shared_ptr<UILabel>& label) { return label->text() ? label->text()->utf8() : "<nil>"; }

std::shared_ptr<TZProductModel> product(id price, id rebate, id isNew = "0"_ns, id soldOut = "0"_ns) {
  auto p = std::make_shared<TZProductModel>();
  p->pic_url = NSString::stringWithUTF8String(zvt::test::serviceURL("/images/product3.png"));
  p->title = "纯棉短袖T恤男夏季新款"_ns;
  p->promotion_price = price;
  p->fan_string = rebate;
  p->is_new = isNew;
  p->is_sold_out = soldOut;
  return p;
}

// A grid cell of a 320-point screen: (320 - 18) / 2 wide, 48 points more high.
constexpr CGRect kCellFrame = {{6, 20}, {151, 199}};

class ProductCells : public ::testing::Test {
 protected:
  void SetUp() override { zvt::setMainBundlePath(ZVT_BUNDLE_ROOT); }
  // No test ends with a picture still loading.
  void TearDown() override {
    EXPECT_TRUE(zvt::test::runMainLoopUntil([&] { return loadsEnded(); }));
  }
  bool loadsEnded() {
    for (const auto& view : pictures)
      if (view->image() == UIImage::imageNamed("placeholder_HomeProduct"_ns)) return false;
    return true;
  }
  std::vector<std::shared_ptr<UIImageView>> pictures;
  template <class Cell>
  std::shared_ptr<Cell> cell() {
    // Side by side as in the grid.
    CGRect frame = kCellFrame;
    if (std::is_same_v<Cell, TZHomeHKCell>) frame.origin.x += 151 + 5;
    auto c = screen.add<Cell>(frame);
    pictures.push_back(c->productImageView);
    c->layoutIfNeeded();
    return c;
  }
  Screen screen;
};

TEST_F(ProductCells, PartsLieWhereTheGridShowsThem) {
  auto home = cell<TZHomeCell>();
  home->setProductModel(product("12.9"_ns, NSNumber::numberWithDouble(1.5)));
  home->layoutIfNeeded();
  auto hk = cell<TZHomeHKCell>();
  hk->setProductModel(product("12.9"_ns, "返1.50元"_ns));
  hk->layoutIfNeeded();
  struct Case {
    const char* what;
    std::shared_ptr<UIView> view;
    CGRect frame;
  };
  const Case cases[] = {
      {"picture", home->productImageView, CGRectMake(0, 0, 151, 153)},
      {"new mark", home->zvt_new_Icon, CGRectMake(0, 0, 22.5, 14.5)},
      {"sold-out mark", home->soldOutIcon, CGRectMake(36.5, 37.5, 78, 78)},
      // The badge's centre 10 right of the cell's centre, 3 below the title.
      {"badge", home->fanTextLabel, CGRectMake(77.5, 153 + 5 + home->productTitleLabel->frame().size.height + 3, 16, 16)},
      {"HK picture", hk->productImageView, CGRectMake(0, 0, 151, 153)},
      {"HK sold-out mark", hk->soldOutIcon, CGRectMake(36.5, 37.5, 78, 78)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.view->frame(), c.frame) << c.what;

  EXPECT_EQ(home->productTitleLabel->frame().origin.y, 158);
  EXPECT_EQ(home->priceLabel->frame().origin.x, 0);
  EXPECT_EQ(CGRectGetMaxX(home->priceLabel->frame()), 77.5 - 5);
  EXPECT_EQ(CGRectGetMidY(home->priceLabel->frame()), CGRectGetMidY(home->fanTextLabel->frame()));
  EXPECT_EQ(home->promotionPriceLabel->frame().origin.x, 77.5 + 16 + 5);
  EXPECT_EQ(CGRectGetMaxX(home->promotionPriceLabel->frame()), 151);

  // The price takes half the cell; the 44 x 16 badge 5 right of it, whatever its text's width.
  EXPECT_EQ(hk->priceLabel->frame().size.width, 75.5);
  EXPECT_EQ(hk->priceLabel->frame().origin.y, 158 + hk->productTitleLabel->frame().size.height + 5);
  EXPECT_EQ(hk->fan_stringLabel->frame(),
            CGRectMake(80.5, CGRectGetMidY(hk->priceLabel->frame()) - 8, 44, 16));
  // Title, price and badge share the 46 points below the picture: the text badge ends inside
  // the cell and sits at most the 2 points lower than its number neighbour's that the cells'
  // gaps below the title (5 and 3) give.
  EXPECT_LE(CGRectGetMaxY(hk->priceLabel->frame()), 199);
  EXPECT_LE(CGRectGetMaxY(hk->fan_stringLabel->frame()), 199);
  EXPECT_LE(hk->fan_stringLabel->frame().origin.y - home->fanTextLabel->frame().origin.y, 2);
  hk->setProductModel(product("12.9"_ns, "返利最高可达123.45元哦"_ns, "1"_ns, "1"_ns));
  hk->layoutIfNeeded();
  EXPECT_EQ(hk->fan_stringLabel->frame().size.width, 44);
  screen.window->setBackgroundColor(UIColor::colorWithWhite(242 / 255.0, 1));
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return loadsEnded(); }));
  Screen::device().settle();
  zvt::test::writeScreenPicture("product_cells");
}

TEST_F(ProductCells, ShowPricesRebatesAndMarks) {
  struct Case {
    const char* what;
    id price, rebate, isNew, soldOut;
    const char* priceText;
    const char* rebateText;  // the home cell's amount
    bool newShown, soldOutShown;
  };
  auto num = [](double v) -> id { return NSNumber::numberWithDouble(v); };
  const Case cases[] = {
      {"texts", "12.9"_ns, "1.5"_ns, "1"_ns, "0"_ns, "￥12.90", "1.50", true, false},
      {"numbers", num(19.9), num(1.5), num(0), num(1), "￥19.90", "1.50", false, true},
      {"rounding", "12.345"_ns, num(2.345), num(2), num(3), "￥12.35", "2.35", true, true},
      {"absent", nullptr, nullptr, nullptr, nullptr, "￥0.00", "0.00", false, false},
      {"wrong kinds", NSArray::array(), NSNull::null(), NSArray::array(), NSNull::null(), "￥0.00", "0.00", false, false},
  };
  auto home = cell<TZHomeCell>();
  auto hk = cell<TZHomeHKCell>();
  for (const auto& c : cases) {
    home->setProductModel(product(c.price, c.rebate, c.isNew, c.soldOut));
    EXPECT_EQ(text(home->priceLabel), c.priceText) << c.what;
    EXPECT_EQ(text(home->promotionPriceLabel), c.rebateText) << c.what;
    EXPECT_EQ(text(home->fanTextLabel), "返") << c.what;
    EXPECT_EQ(!home->zvt_new_Icon->isHidden(), c.newShown) << c.what;
    EXPECT_EQ(!home->soldOutIcon->isHidden(), c.soldOutShown) << c.what;
    hk->setProductModel(product(c.price, c.rebate, c.isNew, c.soldOut));
    EXPECT_EQ(text(hk->priceLabel), c.priceText) << c.what;
    EXPECT_EQ(!hk->zvt_new_Icon->isHidden(), c.newShown) << c.what;
    EXPECT_EQ(!hk->soldOutIcon->isHidden(), c.soldOutShown) << c.what;
  }
}

TEST_F(ProductCells, RebateTextAndTitleShownAsReceivedNeverNull) {
  auto hk = cell<TZHomeHKCell>();
  hk->setProductModel(product("9.9"_ns, "返1.5元"_ns));
  EXPECT_EQ(text(hk->fan_stringLabel), "返1.5元");
  EXPECT_EQ(text(hk->productTitleLabel), "纯棉短袖T恤男夏季新款");
  auto odd = product("9.9"_ns, NSNull::null());
  odd->title = NSNull::null();
  hk->setProductModel(odd);
  EXPECT_EQ(text(hk->fan_stringLabel), "<nil>");
  EXPECT_EQ(text(hk->productTitleLabel), "<nil>");
}

TEST_F(ProductCells, PictureIsTheProductsVariantWhateverItsTextEndsIn) {
  // Pictures that an earlier run of the test left in the shared cache would show at once.
  auto cache = WIWebImageManager::sharedManager()->imageCache();
  cache->clearMemory();
  bool cleared = false;
  cache->clearDiskOnCompletion([&] { cleared = true; });
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return cleared; }));
  auto home = cell<TZHomeCell>();
  auto hk = cell<TZHomeHKCell>();
  for (std::string pic : {"/images/product3.jpg", "/images/product4", "/images/product5.png"}) {
    pic = zvt::test::serviceURL(pic);
    auto p = product("1"_ns, "1"_ns);
    p->pic_url = NSString::stringWithUTF8String(pic);
    home->setProductModel(p);
    hk->setProductModel(p);
    EXPECT_EQ(wi_imageURL(home->productImageView)->absoluteString()->utf8(), std::string(pic) + "_300x300.jpg");
    EXPECT_EQ(wi_imageURL(hk->productImageView)->absoluteString()->utf8(), std::string(pic) + "_300x300.jpg");
  }
  // The placeholder shows until the picture arrives, then the 300 x 300 picture.
  EXPECT_EQ(home->productImageView->image(), UIImage::imageNamed("placeholder_HomeProduct"_ns));
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return loadsEnded(); }));
  EXPECT_EQ(home->productImageView->image()->CGImage()->width(), 300u);
}

TEST_F(ProductCells, NilProductChangesNothingAndReuseClearsTheMarks) {
  auto home = cell<TZHomeCell>();
  auto first = product("5"_ns, "1"_ns, "1"_ns, "1"_ns);
  home->setProductModel(first);
  home->setProductModel(nullptr);
  EXPECT_EQ(home->productModel(), first);
  EXPECT_FALSE(home->zvt_new_Icon->isHidden());
  home->setProductModel(product("6"_ns, "2"_ns));
  EXPECT_TRUE(home->zvt_new_Icon->isHidden());
  EXPECT_TRUE(home->soldOutIcon->isHidden());
  EXPECT_EQ(text(home->priceLabel), "￥6.00");
}

}  // namespace
