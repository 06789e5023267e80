// What pull-to-refresh adds to every scroll step: a table of 1,000 rows on a 375 x 667 screen
// scrolled by the device's finger one step at a time (a 60th of a second of a drag at 600
// points a second: the pan moves the content, the display pass lays the table out and reuses
// cells), with a normal header and an automatic footer attached (both hear every offset change
// and every pan state) beside the same table without them. Tables, data sources and controls
// are made before the timed loop; putting the finger down again at the top is not timed.
//
// The goal: the controls add under 10% to a step.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/support/FingerSteps.h"
#include "bench/support/ProcessCPU.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UIWindow.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

namespace {

constexpr NSInteger kRows = 1000;
constexpr CGFloat kStep = 10;

class Rows : public UITableViewDataSource {
 public:
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return kRows; }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& ip) override {
    static const auto identifier = NSString::stringWithUTF8String("Row");
    auto cell = table->dequeueReusableCellWithIdentifier(identifier);
    if (!cell) cell = UITableViewCell::initWithStyle<UITableViewCell>(UITableViewCellStyleDefault, identifier);
    cell->textLabel()->setText(NSString::stringWithUTF8String("Row " + std::to_string(ip->row())));
    return cell;
  }
};

void runSteps(benchmark::State& state, bool controls) {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  auto window = UIWindow::make();
  window->makeKeyAndVisible();
  auto table = UITableView::initWithFrame(window->bounds());
  auto rows = std::make_shared<Rows>();
  table->setDataSource(rows);
  window->addSubview(table);
  if (controls) {
    setPr_header(table, PRRefreshHeader::headerWithRefreshingBlock<TZPRRefreshNormalHeader>([] {}));
    setPr_footer(table, PRRefreshFooter::footerWithRefreshingBlock<TZPRRefreshAutoNormalFooter>([] {}));
  }
  table->reloadData();
  zvt::ui::Device::shared().settle();
  zvt::bench::fingerSteps(state, kStep, false, [&] {
    // Near the end, start again from the top (the footer never comes into view).
    if (table->contentOffset().y > table->maximumContentOffset().y - 1000) table->setContentOffset(CGPointZero, false);
  });
  window->setHidden(true);
}

void WithControls(benchmark::State& state) { runSteps(state, true); }
void WithoutControls(benchmark::State& state) { runSteps(state, false); }

BENCHMARK(WithControls)->Name("refresh/scroll_step/ours_header_footer")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(WithoutControls)->Name("refresh/scroll_step/table_alone")->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
