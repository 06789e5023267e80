// Views: a screen of cells (a cell with an image, two labels and a button, each a view) in a
// container, 400 or 2,000 views in all.
//
//   HitTest/n     UIWindow::hitTest at points spread over the screen
//   Tap/n         a whole tap through the device: touch down and up, hit-testing, delivery
//   LayoutPass/n  every view marked with setNeedsLayout, then the window's layout pass, in which
//                 each cell places its four children
//   Floor*/n      the same work as a plain recursive walk over plain structs of the same tree
//
// Times are wall clock per operation; cpu_us_per_item is the whole process's CPU time per
// operation.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/uikit/Device.h"
#include "bench/support/ProcessCPU.h"
#include "platform/uikit/UIWindow.h"

namespace {

constexpr CGFloat kWidth = 375, kCellHeight = 60;

class Cell : public UIView {
 public:
  void layoutSubviews() override {
    CGRect b = bounds();
    auto children = subviews();
    if (children.size() < 4) return;
    children[0]->setFrame({{8, 8}, {b.size.height - 16, b.size.height - 16}});
    children[1]->setFrame({{b.size.height, 8}, {b.size.width - b.size.height - 80, 20}});
    children[2]->setFrame({{b.size.height, 32}, {b.size.width - b.size.height - 80, 20}});
    children[3]->setFrame({{b.size.width - 72, 14}, {64, 32}});
  }
};

struct Screen {
  std::shared_ptr<UIWindow> window;
  std::vector<std::shared_ptr<UIView>> all;
};

Screen makeScreen(int views) {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  Screen s;
  s.window = UIWindow::make();
  s.window->makeKeyAndVisible();
  auto container = UIView::initWithFrame(s.window->bounds());
  s.window->addSubview(container);
  s.all.push_back(container);
  int cells = (views - 1) / 5;
  for (int i = 0; i < cells; ++i) {
    auto cell = UIView::makeView<Cell>({{0, i * kCellHeight}, {kWidth, kCellHeight}});
    container->addSubview(cell);
    s.all.push_back(cell);
    for (int k = 0; k < 4; ++k) {
      auto child = UIView::make();
      cell->addSubview(child);
      s.all.push_back(child);
    }
  }
  // The screen scrolled to the middle of its content.
  container->setBounds({{0, cells * kCellHeight / 2}, s.window->bounds().size});
  s.window->layoutIfNeeded();
  zvt::ui::Device::shared().settle();
  return s;
}

std::vector<CGPoint> probes() {
  std::vector<CGPoint> points;
  for (int y = 5; y < 667; y += 37)
    for (int x = 5; x < 375; x += 41) points.push_back(CGPointMake(x, y));
  return points;
}

// The floor: the same tree as plain structs.
struct Node {
  CGRect frame;   // in the parent's coordinates
  CGPoint origin; // bounds origin
  bool cell = false;
  const UIView* view = nullptr;
  std::vector<std::unique_ptr<Node>> children;
  bool needsLayout = false;
};

std::unique_ptr<Node> mirror(const std::shared_ptr<UIView>& view) {
  auto node = std::make_unique<Node>();
  node->frame = view->frame();
  node->origin = view->bounds().origin;
  node->cell = dynamic_cast<Cell*>(view.get()) != nullptr;
  node->view = view.get();
  for (const auto& child : view->subviews()) node->children.push_back(mirror(child));
  return node;
}

const Node* hit(const Node& n, CGPoint p) {
  if (p.x < n.origin.x || p.y < n.origin.y || p.x >= n.origin.x + n.frame.size.width ||
      p.y >= n.origin.y + n.frame.size.height)
    return nullptr;
  for (size_t i = n.children.size(); i-- > 0;) {
    const Node& c = *n.children[i];
    CGPoint q{p.x - c.frame.origin.x + c.origin.x, p.y - c.frame.origin.y + c.origin.y};
    if (auto h = hit(c, q)) return h;
  }
  return &n;
}

void mark(Node& n) {
  n.needsLayout = true;
  for (auto& c : n.children) mark(*c);
}

void layout(Node& n) {
  if (n.needsLayout) {
    n.needsLayout = false;
    if (n.cell && n.children.size() >= 4) {
      CGSize b = n.frame.size;
      n.children[0]->frame = {{8, 8}, {b.height - 16, b.height - 16}};
      n.children[1]->frame = {{b.height, 8}, {b.width - b.height - 80, 20}};
      n.children[2]->frame = {{b.height, 32}, {b.width - b.height - 80, 20}};
      n.children[3]->frame = {{b.width - 72, 14}, {64, 32}};
    }
  }
  for (auto& c : n.children) layout(*c);
}

void HitTest(benchmark::State& state) {
  auto s = makeScreen(static_cast<int>(state.range(0)));
  auto points = probes();
  size_t i = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    benchmark::DoNotOptimize(s.window->hitTest(points[i++ % points.size()], nullptr));
  }
  state.counters["views"] = static_cast<double>(s.all.size() + 1);
}

void FloorHitTest(benchmark::State& state) {
  auto s = makeScreen(static_cast<int>(state.range(0)));
  auto root = mirror(s.window);
  auto points = probes();
  for (CGPoint p : points) {
    const Node* floor = hit(*root, p);
    if (!floor || floor->view != s.window->hitTest(p, nullptr).get()) {
      state.SkipWithError("the floor's tree does not hit what the views hit");
      return;
    }
  }
  size_t i = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) benchmark::DoNotOptimize(hit(*root, points[i++ % points.size()]));
}

void Tap(benchmark::State& state) {
  auto s = makeScreen(static_cast<int>(state.range(0)));
  auto points = probes();
  auto& device = zvt::ui::Device::shared();
  size_t i = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    CGPoint p = points[i++ % points.size()];
    auto finger = device.touchDown(p);
    device.touchUp(finger);
  }
}

void LayoutPass(benchmark::State& state) {
  auto s = makeScreen(static_cast<int>(state.range(0)));
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    for (auto& view : s.all) view->setNeedsLayout();
    s.window->layer()->layoutTreeIfNeeded();
  }
}

void FloorLayoutPass(benchmark::State& state) {
  auto s = makeScreen(static_cast<int>(state.range(0)));
  auto root = mirror(s.window);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    mark(*root);
    layout(*root);
    benchmark::ClobberMemory();
  }
}

BENCHMARK(HitTest)->Arg(400)->Arg(2000)->UseRealTime();
BENCHMARK(FloorHitTest)->Arg(400)->Arg(2000)->UseRealTime();
BENCHMARK(Tap)->Arg(400)->Arg(2000)->UseRealTime();
BENCHMARK(LayoutPass)->Arg(400)->Arg(2000)->UseRealTime();
BENCHMARK(FloorLayoutPass)->Arg(400)->Arg(2000)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
