// The exchange store's list on a 375 x 667 screen: 200 products in the store's cells, each
// row's height measured by filling a cell, as the store does.
//
//   exchange/scroll_step/picture_tasks   a touch move through the device (a 60th of a second of
//                                        a drag at 600 points a second), then what the main
//                                        queue has ready (the pictures handed back); every fill
//                                        starts a picture task on a global queue that downloads
//                                        the picture from the loopback zavelto-service, encodes
//                                        it as PNG and writes it to Documents/image
//   exchange/scroll_step/no_tasks        the floor: the same table whose cells start no task
//   exchange/reload/...                  reloadData of the 200 rows and the layout after it
//                                        (every height measured fills a cell and starts a task;
//                                        a fill shows the stored picture file, read and decoded)
//
// The goal: a step's main-thread time (the CPU column) under one 60 Hz frame (16.7 ms).
// The smoke run lists 20 products.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/screens/rewards/PointsProductTableViewCell.h"
#include "bench/support/FingerSteps.h"
#include "bench/support/ProcessCPU.h"
#include "bench/support/Smoke.h"
#include "platform/foundation/NSBundle.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempHome.h"

namespace {

const NSInteger kProducts = zvt::bench::smokeSize<NSInteger>(200, 20);
constexpr CGFloat kStep = 10;

// The store's rows: the same cell, filled for the row and for its height.
class Store : public UITableViewDataSource, public UITableViewDelegate {
 public:
  explicit Store(const std::string& root) {
    for (NSInteger i = 0; i < kProducts; ++i) {
      auto record = NSMutableDictionary::dictionary();
      auto text = [](const std::string& s) { return NSString::stringWithUTF8String(s); };
      record->setObject(text(std::to_string(1000 + i)), text("id"));
      record->setObject(text("兑换商品 " + std::to_string(i)), text("title"));
      record->setObject(text(root + "/images/good" + std::to_string(i % 40) + ".png"), text("img"));
      record->setObject(text(std::to_string(100 + i)), text("jifen"));
      record->setObject(text(std::to_string(50 + i)), text("jifenbao"));
      record->setObject(text(std::to_string(i % 7)), text("num"));
      records.push_back(record);
    }
  }
  std::shared_ptr<PointsProductTableViewCell> filled(const std::shared_ptr<UITableView>& table, NSInteger row) {
    static const auto identifier = NSString::stringWithUTF8String("cellID");
    auto cell = std::dynamic_pointer_cast<PointsProductTableViewCell>(table->dequeueReusableCellWithIdentifier(identifier));
    if (!cell) cell = PointsProductTableViewCell::initWithReuseIdentifier(identifier);
    cell->setProductDictionary(records[static_cast<size_t>(row)]);
    cell->initTheCellWithDataDictionary(records[static_cast<size_t>(row)]);
    return cell;
  }
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return kProducts; }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& ip) override {
    return filled(table, ip->row());
  }
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                           const std::shared_ptr<NSIndexPath>& ip) override {
    return filled(table, ip->row())->frame().size.height;
  }
  std::vector<std::shared_ptr<NSDictionary>> records;
};

struct Setting {
  zvt::test::TempHome home;
  zvt::test::ServiceProcess service;
  Setting() { zvt::setMainBundlePath(ZVT_BUNDLE_ROOT); }
};

Setting& setting() {
  static Setting made;
  return made;
}

struct Scene {
  std::shared_ptr<UIWindow> window;
  std::shared_ptr<UITableView> table;
  std::shared_ptr<Store> store;
  explicit Scene(bool tasks) {
    PointsProductTableViewCell::setPictureTasksEnabled(tasks);
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    window = UIWindow::make();
    window->makeKeyAndVisible();
    table = UITableView::initWithFrame(window->bounds());
    table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    store = std::make_shared<Store>(setting().service.rootURL());
    table->setDataSource(store);
    table->setDelegate(store);
    window->addSubview(table);
    table->reloadData();
    zvt::ui::Device::shared().settle();
  }
  ~Scene() {
    window->setHidden(true);
    // The tasks still on their way finish before the next run (and before the process ends).
    zvt::test::runMainLoopUntil([] { return PointsProductTableViewCell::pictureTasksInFlight() == 0; }, 60);
    zvt::test::drainMainLoop();
    PointsProductTableViewCell::setPictureTasksEnabled(true);
  }
};

void scrollSteps(benchmark::State& state, bool tasks) {
  setting();
  Scene scene(tasks);
  zvt::bench::tableScrollSteps(state, scene.table, kStep);
}

void reloads(benchmark::State& state, bool tasks) {
  setting();
  Scene scene(tasks);
  zvt::bench::tableReloads(state, scene.table);
}

void StepWithTasks(benchmark::State& state) { scrollSteps(state, true); }
void StepWithoutTasks(benchmark::State& state) { scrollSteps(state, false); }
void ReloadWithTasks(benchmark::State& state) { reloads(state, true); }
void ReloadWithoutTasks(benchmark::State& state) { reloads(state, false); }

BENCHMARK(StepWithTasks)->Name("exchange/scroll_step/picture_tasks")->Unit(benchmark::kMicrosecond);
BENCHMARK(StepWithoutTasks)->Name("exchange/scroll_step/no_tasks")->Unit(benchmark::kMicrosecond);
BENCHMARK(ReloadWithTasks)->Name("exchange/reload/picture_tasks")->Unit(benchmark::kMicrosecond);
BENCHMARK(ReloadWithoutTasks)->Name("exchange/reload/no_tasks")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
