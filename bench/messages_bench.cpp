// The site messages' list on a 375 x 667 screen: 1,000 messages in the screen's cells (the
// TZMessageCell card), titles of one, two and three lines in turn.
//
//   messages/reload/sizing_cell      reloadData and the layout after it, every row's height
//                                    measured on the sizing cell (its content's fitting height)
//   messages/reload/remembered       the same, heights remembered per message and table width
//                                    as the screen keeps them (TZMessageHeights), after a first
//                                    reload measured them
//   messages/reload/fixed_heights    the floor: the same cells at one fixed row height
//   messages/scroll_step/...         a touch move through the device (a 60th of a second of a
//                                    drag at 600 points a second) in each of the three lists
//
// Goals: a scroll step under one 60 Hz frame (16.7 ms) on one core, a reload under 100 ms.
// The smoke run lists 30 messages.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "app/screens/rewards/RewardsScreens.h"
#include "app/screens/rewards/TZMessageViewController.h"
#include "app/ui/UIKitCategories.h"
#include "bench/support/FingerSteps.h"
#include "bench/support/ProcessCPU.h"
#include "bench/support/Smoke.h"
#include "platform/foundation/NSBundle.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TempHome.h"

namespace {

const NSInteger kMessages = zvt::bench::smokeSize<NSInteger>(1000, 30);
constexpr CGFloat kStep = 10;
constexpr CGFloat kFixedHeight = 100;

enum class Heights { sizingCell, remembered, fixed };

const char* const kTitles[] = {
    "返利到账通知",
    "您在淘宝购买的商品返利已经到账，请在我的资产中查看明细",
    "提现申请已处理完毕，款项将在一至三个工作日内到达您绑定的支付宝账户，如有疑问请联系在线客服",
};

// The screen's rows: cells dequeued from the nib and given their model.
class Messages : public UITableViewDataSource, public UITableViewDelegate {
 public:
  explicit Messages(Heights heights) : heights_(heights) {
    for (NSInteger i = 0; i < kMessages; ++i) {
      auto model = std::make_shared<TZMessageModel>();
      model->title = NSString::stringWithUTF8String(std::string(kTitles[i % 3]) + " " + std::to_string(i));
      model->addtime = NSString::stringWithUTF8String("2026-07-01 18:00:00");
      model->content = NSString::stringWithUTF8String("<p>站内信</p>");
      models_.push_back(model);
    }
  }
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return kMessages; }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& ip) override {
    static const auto identifier = NSString::stringWithUTF8String("TZMessageCell");
    auto cell = table->dequeueReusableCellWithIdentifier(identifier, ip);
    if (auto message = std::dynamic_pointer_cast<TZMessageCell>(cell)) {
      message->setMessageModel(models_[static_cast<size_t>(ip->row())]);
    }
    return cell;
  }
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                           const std::shared_ptr<NSIndexPath>& ip) override {
    const auto& model = models_[static_cast<size_t>(ip->row())];
    const CGFloat width = table->bounds().size.width;
    switch (heights_) {
      case Heights::sizingCell: return TZMessageCell::getCellHeightWith(model, width);
      case Heights::remembered: return remembered_.heightOf(model, width);
      case Heights::fixed: return kFixedHeight;
    }
    return kFixedHeight;
  }

 private:
  Heights heights_;
  std::vector<std::shared_ptr<TZMessageModel>> models_;
  TZMessageHeights remembered_;
};

struct Setting {
  zvt::test::TempHome home;
  Setting() {
    zvt::setMainBundlePath(ZVT_BUNDLE_ROOT);
    zvt::registerRewardsScreens();
  }
};

Setting& setting() {
  static Setting made;
  return made;
}

struct Scene {
  std::shared_ptr<UIWindow> window;
  std::shared_ptr<UITableView> table;
  std::shared_ptr<Messages> messages;
  explicit Scene(Heights heights) {
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
    window = UIWindow::make();
    window->makeKeyAndVisible();
    table = UITableView::initWithFrame(window->bounds(), UITableViewStylePlain);
    table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    table->registerNib(registerNib<TZMessageCell>(), NSString::stringWithUTF8String("TZMessageCell"));
    messages = std::make_shared<Messages>(heights);
    table->setDataSource(messages);
    table->setDelegate(messages);
    window->addSubview(table);
    table->reloadData();
    zvt::ui::Device::shared().settle();
  }
  ~Scene() {
    window->setHidden(true);
    zvt::test::drainMainLoop();
  }
};

void scrollSteps(benchmark::State& state, Heights heights) {
  setting();
  Scene scene(heights);
  zvt::bench::tableScrollSteps(state, scene.table, kStep);
}

void reloads(benchmark::State& state, Heights heights) {
  setting();
  Scene scene(heights);
  zvt::bench::tableReloads(state, scene.table);
}

void ReloadSizingCell(benchmark::State& state) { reloads(state, Heights::sizingCell); }
void ReloadRemembered(benchmark::State& state) { reloads(state, Heights::remembered); }
void ReloadFixed(benchmark::State& state) { reloads(state, Heights::fixed); }
void StepSizingCell(benchmark::State& state) { scrollSteps(state, Heights::sizingCell); }
void StepRemembered(benchmark::State& state) { scrollSteps(state, Heights::remembered); }
void StepFixed(benchmark::State& state) { scrollSteps(state, Heights::fixed); }

BENCHMARK(ReloadSizingCell)->Name("messages/reload/sizing_cell")->Unit(benchmark::kMillisecond);
BENCHMARK(ReloadRemembered)->Name("messages/reload/remembered")->Unit(benchmark::kMillisecond);
BENCHMARK(ReloadFixed)->Name("messages/reload/fixed_heights")->Unit(benchmark::kMillisecond);
BENCHMARK(StepSizingCell)->Name("messages/scroll_step/sizing_cell")->Unit(benchmark::kMicrosecond);
BENCHMARK(StepRemembered)->Name("messages/scroll_step/remembered")->Unit(benchmark::kMicrosecond);
BENCHMARK(StepFixed)->Name("messages/scroll_step/fixed_heights")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
