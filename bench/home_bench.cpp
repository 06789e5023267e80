// The home screen's product grid on a 375 x 667 screen: 240 products in the grid's two cell
// classes (every other product with a text rebate), chosen per product as the home screen does.
//
//   home/scroll_step/remote_images   a touch move through the device (a 60th of a second of a
//                                    drag at 600 points a second), then what the main queue has
//                                    ready; each cell that comes into view asks for its picture
//                                    ("<pic_url>_300x300.jpg") from the loopback zavelto-service
//                                    through the image cache and downloader
//   home/scroll_step/no_images       the floor: the same grid whose products name no picture (the
//                                    cells keep their placeholder)
//
// The goal: a step's main-thread time (the CPU column) under one 60 Hz frame (16.7 ms).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/models/TZProductModel.h"
#include "app/screens/shopping/HomePageView.h"
#include "app/screens/shopping/TZHomeCell.h"
#include "app/screens/shopping/TZHomeHKCell.h"
#include "bench/support/FingerSteps.h"
#include "bench/support/ProcessCPU.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempHome.h"
#include "ui/images/WIWebImageManager.h"

namespace {

constexpr NSInteger kProducts = 240;
constexpr CGFloat kStep = 10;

// The grid's data source as the home screen's: the cell class by the kind of the rebate.
class Grid : public UICollectionViewDataSource, public UICollectionViewDelegateFlowLayout {
 public:
  Grid(const std::string& root, bool pictures) {
    for (NSInteger i = 0; i < kProducts; ++i) {
      auto p = std::make_shared<TZProductModel>();
      p->zvtProductID = NSString::stringWithUTF8String(std::to_string(1000 + i));
      p->title = NSString::stringWithUTF8String("推荐商品 " + std::to_string(i));
      p->promotion_price = NSNumber::numberWithDouble(9.9 + i);
      if (i % 2) {
        p->fan_string = NSString::stringWithUTF8String("返" + std::to_string(i % 9) + ".50元");
      } else {
        p->fan_string = NSNumber::numberWithDouble(1.5 + i % 7);
      }
      p->is_new = NSNumber::numberWithInt(i % 5 == 0);
      p->is_sold_out = NSNumber::numberWithInt(i % 13 == 0);
      if (pictures) p->pic_url = NSString::stringWithUTF8String(root + "/images/product" + std::to_string(i % 40) + ".jpg");
      products.push_back(p);
    }
  }
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>&, NSInteger) override {
    return kProducts;
  }
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& grid, const std::shared_ptr<NSIndexPath>& ip) override {
    auto product = products[static_cast<size_t>(ip->row())];
    const bool text = std::dynamic_pointer_cast<NSString>(product->fan_string) != nullptr;
    auto cell = std::dynamic_pointer_cast<zvt::shopping::ProductCell>(
        grid->dequeueReusableCellWithReuseIdentifier(text ? NSString::stringWithUTF8String("TZHomeHKCell")
                                                          : NSString::stringWithUTF8String("TZHomeCell"),
                                                     ip));
    if (cell) cell->setProductModel(product);
    return cell;
  }
  std::vector<std::shared_ptr<TZProductModel>> products;
};

struct Setting {
  zvt::test::TempHome home;
  zvt::test::ServiceProcess service;
  Setting() {
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    NSUserDefaults::standardUserDefaults()->setBool(true, NSString::stringWithUTF8String("isBeforeEnter"));
  }
};

Setting& setting() {
  static Setting made;
  return made;
}

struct Scene {
  std::shared_ptr<UIWindow> window;
  std::shared_ptr<HomePageView> page;
  std::shared_ptr<Grid> grid;
  explicit Scene(bool pictures) {
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    window = UIWindow::make();
    window->makeKeyAndVisible();
    page = UIView::makeView<HomePageView>(window->bounds());
    grid = std::make_shared<Grid>(setting().service.rootURL(), pictures);
    page->homePageCollectionView->setDataSource(grid);
    page->homePageCollectionView->setDelegate(grid);
    window->addSubview(page);
    page->homePageCollectionView->reloadData();
    zvt::ui::Device::shared().settle();
  }
  ~Scene() {
    window->setHidden(true);
    // The pictures still on their way arrive before the next run (and before the process ends).
    zvt::test::runMainLoopUntil([] { return !WIWebImageManager::sharedManager()->isRunning(); }, 60);
    zvt::test::drainMainLoop();
  }
};

void scrollSteps(benchmark::State& state, bool pictures) {
  setting();
  Scene scene(pictures);
  zvt::bench::fingerSteps(state, kStep, true, [&] {
    auto grid = scene.page->homePageCollectionView;
    // Through all 240 products, then from the top again.
    if (grid->contentOffset().y > grid->contentSize().height - grid->bounds().size.height - 700)
      grid->setContentOffset(CGPointZero, false);
  });
}

void StepWithImages(benchmark::State& state) { scrollSteps(state, true); }
void StepWithoutImages(benchmark::State& state) { scrollSteps(state, false); }

BENCHMARK(StepWithImages)->Name("home/scroll_step/remote_images")->Unit(benchmark::kMicrosecond);
BENCHMARK(StepWithoutImages)->Name("home/scroll_step/no_images")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
