// Scrolling a table of 10,000 rows with the device's finger, one step (a 60th of a second of a
// drag at 600 points a second) at a time, on a 375 x 667 screen.
//
//   ScrollStep/rows10000/ours   a touch move through the device: the pan moves the content,
//                               the display pass lays the table out, rows that left go back to
//                               the pool and rows that came into view get cells from it (a
//                               label's text set each time)
//   .../fixed_frames            the floor: the same finger over a plain scroll view holding
//                               10,000 row views (with their labels) at fixed frames, made once:
//                               no layout, no reuse
//   .../ours_constraint_cells   the table step again, with cells laid out by constraints (a title
//                               and a detail pinned inside the content view, an intrinsic width
//                               between them)
//
// The goal: a step under 10% of a 60 Hz frame (1.67 ms). The smoke run scrolls 200 rows.
//
//   RowsInRect/rows1000000/ours, .../linear_scan   see RowsInRectOurs below
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/Device.h"
#include "platform/uikit/NSLayoutAnchor.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIWindow.h"
#include "bench/support/ProcessCPU.h"
#include "bench/support/Smoke.h"

namespace {

const NSInteger kRows = zvt::bench::smokeSize<NSInteger>(10000, 200);
constexpr CGFloat kStep = 10;  // points per step: 600 points a second at 60 steps

std::shared_ptr<NSString> text(NSInteger row) { return NSString::stringWithUTF8String("Row " + std::to_string(row)); }

class RowCell : public UITableViewCell {
 public:
  std::shared_ptr<UILabel> title, detail;
  bool constrained = false;
  void setUp(bool withConstraints) {
    constrained = withConstraints;
    title = UILabel::make();
    detail = UILabel::make();
    detail->setText(NSString::stringWithUTF8String("detail"));
    contentView()->addSubview(title);
    contentView()->addSubview(detail);
    if (!withConstraints) return;
    auto c = contentView();
    for (auto& l : {title, detail}) l->setTranslatesAutoresizingMaskIntoConstraints(false);
    NSLayoutConstraint::activateConstraints(
        {title->leadingAnchor()->constraintEqualToAnchor(c->leadingAnchor(), 15),
         title->centerYAnchor()->constraintEqualToAnchor(c->centerYAnchor()),
         detail->leadingAnchor()->constraintGreaterThanOrEqualToAnchor(title->trailingAnchor(), 8),
         detail->trailingAnchor()->constraintEqualToAnchor(c->trailingAnchor(), -15),
         detail->centerYAnchor()->constraintEqualToAnchor(c->centerYAnchor())});
  }
  void layoutSubviews() override {
    UITableViewCell::layoutSubviews();
    if (constrained) return;
    CGRect b = contentView()->bounds();
    title->setFrame(CGRectMake(15, 0, b.size.width - 100, b.size.height));
    detail->setFrame(CGRectMake(b.size.width - 80, 0, 65, b.size.height));
  }
};

class Rows : public UITableViewDataSource {
 public:
  bool constraints = false;
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return kRows; }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& ip) override {
    static const auto identifier = NSString::stringWithUTF8String("Row");
    auto cell = std::static_pointer_cast<RowCell>(table->dequeueReusableCellWithIdentifier(identifier));
    if (!cell) {
      cell = UITableViewCell::initWithStyle<RowCell>(UITableViewCellStyleDefault, identifier);
      cell->setUp(constraints);
    }
    cell->title->setText(text(ip->row()));
    return cell;
  }
};

// A finger going up the screen in steps, put down again at the bottom when it reaches the top.
class Finger {
 public:
  explicit Finger(const std::shared_ptr<UIScrollView>& view) : view_(view) {}
  void step(benchmark::State& state) {
    auto& device = zvt::ui::Device::shared();
    if (!down_ || y_ < 80) {
      state.PauseTiming();
      if (down_) device.touchUp(finger_);
      // Near the end of the content, start again from the top.
      if (view_->contentOffset().y > view_->maximumContentOffset().y - 1000) view_->setContentOffset(CGPointZero, false);
      y_ = 600;
      finger_ = device.touchDown(CGPointMake(187, y_));
      // Past the pan's hysteresis, so that every timed step scrolls.
      y_ -= 12;
      device.touchMove(finger_, CGPointMake(187, y_));
      down_ = true;
      state.ResumeTiming();
    }
    y_ -= kStep;
    device.touchMove(finger_, CGPointMake(187, y_));
  }
  void lift() {
    if (down_) zvt::ui::Device::shared().touchUp(finger_);
    down_ = false;
  }

 private:
  std::shared_ptr<UIScrollView> view_;
  zvt::ui::Device::Finger finger_ = 0;
  CGFloat y_ = 0;
  bool down_ = false;
};

std::shared_ptr<UIWindow> makeWindow() {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  auto window = UIWindow::make();
  window->makeKeyAndVisible();
  return window;
}

void runTable(benchmark::State& state, bool constraints) {
  auto window = makeWindow();
  auto table = UITableView::initWithFrame(window->bounds());
  auto rows = std::make_shared<Rows>();
  rows->constraints = constraints;
  table->setDataSource(rows);
  window->addSubview(table);
  zvt::ui::Device::shared().settle();
  Finger finger(table);
  {
    // Process CPU includes the paused finger resets (one in about 50 steps).
    zvt::bench::ProcessCPUCounter cpu(state);
    for (auto _ : state) finger.step(state);
  }
  finger.lift();
  state.counters["cells"] = static_cast<double>(table->visibleCells().size());
  window->setHidden(true);
}

void TableStep(benchmark::State& state) { runTable(state, false); }
void ConstraintCellStep(benchmark::State& state) { runTable(state, true); }

void FixedFramesStep(benchmark::State& state) {
  auto window = makeWindow();
  auto scroll = UIScrollView::initWithFrame(window->bounds());
  scroll->setContentSize(CGSizeMake(375, kRows * 44.0));
  for (NSInteger row = 0; row < kRows; ++row) {
    auto view = UIView::initWithFrame(CGRectMake(0, row * 44.0, 375, 44));
    auto title = UILabel::initWithFrame(CGRectMake(15, 0, 275, 44));
    title->setText(text(row));
    auto detail = UILabel::initWithFrame(CGRectMake(295, 0, 65, 44));
    detail->setText(NSString::stringWithUTF8String("detail"));
    view->addSubview(title);
    view->addSubview(detail);
    scroll->addSubview(view);
  }
  window->addSubview(scroll);
  zvt::ui::Device::shared().settle();
  Finger finger(scroll);
  {
    // Process CPU includes the paused finger resets (one in about 50 steps).
    zvt::bench::ProcessCPUCounter cpu(state);
    for (auto _ : state) finger.step(state);
  }
  finger.lift();
  window->setHidden(true);
}

// Named <work>/<table>/<side>, so that the table script pairs our steps with the floor.
// The rows a screen's rectangle crosses in a table of 1,000,000 rows of 44 points, at a place
// deep in the list (indexPathsForRowsInRect): the table's search of its sorted row tops, beside
// the floor of a scan over every row's top in a plain vector (what the table did before).
class ManyRows : public Rows {
 public:
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return 1000000; }
};

void RowsInRectOurs(benchmark::State& state) {
  auto window = makeWindow();
  auto table = UITableView::initWithFrame(window->bounds());
  auto rows = std::make_shared<ManyRows>();
  table->setDataSource(rows);
  table->reloadData();
  const CGRect rect = CGRectMake(0, 44.0 * 700000 + 10, 375, 667);
  size_t found = 0;
  for (auto _ : state) {
    auto paths = table->indexPathsForRowsInRect(rect);
    found = paths.size();
    benchmark::DoNotOptimize(paths);
  }
  state.counters["rows"] = static_cast<double>(found);
  if (found != 16) state.SkipWithError("expected the 16 rows the rectangle crosses");
  window->setHidden(true);
}

void RowsInRectLinearScan(benchmark::State& state) {
  std::vector<CGFloat> tops(1000001);
  for (size_t i = 0; i < tops.size(); ++i) tops[i] = 44.0 * static_cast<CGFloat>(i);
  const CGRect rect = CGRectMake(0, 44.0 * 700000 + 10, 375, 667);
  size_t found = 0;
  for (auto _ : state) {
    std::vector<std::shared_ptr<NSIndexPath>> paths;
    for (size_t r = 0; r + 1 < tops.size(); ++r)
      if (tops[r] < CGRectGetMaxY(rect) && tops[r + 1] > rect.origin.y)
        paths.push_back(NSIndexPath::indexPathForRow(static_cast<NSInteger>(r), 0));
    found = paths.size();
    benchmark::DoNotOptimize(paths);
  }
  state.counters["rows"] = static_cast<double>(found);
}

BENCHMARK(RowsInRectOurs)->Name("RowsInRect/rows1000000/ours")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RowsInRectLinearScan)->Name("RowsInRect/rows1000000/linear_scan")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(TableStep)->Name("ScrollStep/rows10000/ours")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(ConstraintCellStep)->Name("ScrollStep/rows10000/ours_constraint_cells")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(FixedFramesStep)->Name("ScrollStep/rows10000/fixed_frames")->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
