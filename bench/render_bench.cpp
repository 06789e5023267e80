// Rendering a screen: a 375 x 667 point window at scale 2 (750 x 1334 device pixels) of a
// typical layout: a title bar with its title, a two-column grid of 20 product cells (a rounded
// white card holding the product's picture, a two-line title, a price and a rounded "购买"
// button) scrolled to its top, and a tab bar of five buttons with glyphs and titles, under the
// status bar.
//
//   render/full_frame/ours        the screen renderer draws everything (its record of the last
//                                 frame forgotten first): the walk of the layer tree, then every
//                                 pixel
//   render/full_frame/cairo       the floor: the same primitives (fills, rounded fills, the
//                                 same images: pictures and the labels' backing stores, the
//                                 same clips) drawn by a hand-written loop straight into Cairo
//   render/one_cell/ours          one visible cell's button changes colour: the display pass and
//                                 the screen renderer's frame, which redraws the damaged pixels
//   render/one_cell/cairo         the floor of that: the cell's rectangle clipped and redrawn
//   render/one_cell_text/ours     one visible cell's price changes: the label draws its backing
//                                 store again (text through Pango), then the frame
//
// Everything is made before the timed loops (views, backing stores, pictures, the floor's list of
// primitives). Before timing, the floor's picture is compared with ours (they must agree but for
// anti-aliasing). Times are wall clock per frame; cpu_us_per_item is the process's CPU time.
// One frame of each case is a function of its own for callgrind: measuredFullFrame,
// measuredFloorFrame (both floors), measuredChange (both one-cell cases).
#include <benchmark/benchmark.h>

#include <cairo.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/ProcessCPU.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/DisplayCycle.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIWindow.h"

namespace {

constexpr CGFloat kWidth = 375, kHeight = 667, kScale = 2;
constexpr CGFloat kBar = 64, kTabs = 49, kGap = 8;
constexpr CGFloat kCellWidth = (kWidth - 3 * kGap) / 2, kCellHeight = 236, kPicture = 160;

std::shared_ptr<UIColor> rgb(int r, int g, int b) { return UIColor::colorWithRed(r / 255.0, g / 255.0, b / 255.0, 1); }
std::shared_ptr<NSString> ns(const std::string& s) { return NSString::stringWithUTF8String(s.c_str()); }

// A product picture at the screen's scale: a gradient with a disc.
std::shared_ptr<UIImage> picture(int seed) {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(kCellWidth, kPicture), true, kScale);
  auto c = UIGraphicsGetCurrentContext();
  for (int y = 0; y < kPicture; y += 4) {
    CGContextSetRGBFillColor(c, 0.9, 0.6 + 0.002 * y, 0.4 + 0.05 * (seed % 7), 1);
    CGContextFillRect(c, CGRectMake(0, y, kCellWidth, 4));
  }
  CGContextSetRGBFillColor(c, 1, 1, 1, 0.8);
  CGContextFillEllipseInRect(c, CGRectMake(40, 30, 95, 95));
  auto image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return image;
}

std::shared_ptr<UIImage> glyph(bool filled) {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(25, 25), false, kScale);
  auto c = UIGraphicsGetCurrentContext();
  CGContextSetRGBStrokeColor(c, 0.57, 0.57, 0.57, 1);
  CGContextSetRGBFillColor(c, 1, 0.43, 0.16, 1);
  CGContextAddEllipseInRect(c, CGRectMake(2, 2, 21, 21));
  if (filled) CGContextFillPath(c);
  else CGContextStrokePath(c);
  auto image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return image;
}

std::shared_ptr<UILabel> label(const std::string& text, CGRect frame, CGFloat size, const std::shared_ptr<UIColor>& color,
                               int lines = 1) {
  auto l = UILabel::initWithFrame(frame);
  l->setText(ns(text));
  l->setFont(UIFont::systemFontOfSize(size));
  l->setTextColor(color);
  l->setNumberOfLines(lines);
  return l;
}

struct Scene {
  std::shared_ptr<UIWindow> window;
  std::vector<std::shared_ptr<UIView>> cells;
  std::vector<std::shared_ptr<UIButton>> buttons;
  std::vector<std::shared_ptr<UILabel>> prices;
};

Scene makeScene() {
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  Scene s;
  s.window = UIWindow::make();
  s.window->setBackgroundColor(rgb(242, 242, 242));
  auto bar = UIView::initWithFrame(CGRectMake(0, 0, kWidth, kBar));
  bar->setBackgroundColor(rgb(255, 85, 20));
  auto title = label("Zavelto", CGRectMake(80, 20, kWidth - 160, 44), 19, UIColor::whiteColor());
  title->setTextAlignment(NSTextAlignmentCenter);
  bar->addSubview(title);
  s.window->addSubview(bar);
  auto grid = UIView::initWithFrame(CGRectMake(0, kBar, kWidth, kHeight - kBar - kTabs));
  grid->setClipsToBounds(true);
  s.window->addSubview(grid);
  for (int i = 0; i < 20; ++i) {
    const CGFloat x = kGap + (i % 2) * (kCellWidth + kGap), y = kGap + (i / 2) * (kCellHeight + kGap);
    auto cell = UIView::initWithFrame(CGRectMake(x, y, kCellWidth, kCellHeight));
    cell->setBackgroundColor(UIColor::whiteColor());
    cell->layer()->setCornerRadius(6);
    cell->setClipsToBounds(true);
    auto image = UIImageView::initWithImage(picture(i));
    image->setFrame(CGRectMake(0, 0, kCellWidth, kPicture));
    cell->addSubview(image);
    cell->addSubview(label("精选好物第" + std::to_string(i + 1) + "号 纯棉短袖T恤男夏季新款 包邮",
                           CGRectMake(8, kPicture + 4, kCellWidth - 16, 36), 13, rgb(51, 51, 51), 2));
    auto price = label("¥" + std::to_string(19 + i) + ".90", CGRectMake(8, kPicture + 44, 80, 24), 15, rgb(255, 85, 20));
    cell->addSubview(price);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(kCellWidth - 58, kPicture + 44, 50, 24));
    button->setTitle(ns("购买"), UIControlStateNormal);
    button->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    button->setBackgroundColor(rgb(255, 110, 40));
    button->layer()->setCornerRadius(12);
    cell->addSubview(button);
    grid->addSubview(cell);
    s.cells.push_back(cell);
    s.buttons.push_back(button);
    s.prices.push_back(price);
  }
  auto tabs = UIView::initWithFrame(CGRectMake(0, kHeight - kTabs, kWidth, kTabs));
  tabs->setBackgroundColor(rgb(250, 250, 250));
  auto hairline = UIView::initWithFrame(CGRectMake(0, 0, kWidth, 0.5));
  hairline->setBackgroundColor(rgb(178, 178, 178));
  tabs->addSubview(hairline);
  const char* titles[] = {"首页", "超精选", "淘宝回扣", "商城回扣", "我的"};
  for (int i = 0; i < 5; ++i) {
    auto icon = UIImageView::initWithImage(glyph(i == 0));
    icon->setFrame(CGRectMake(i * 75 + 25, 4, 25, 25));
    tabs->addSubview(icon);
    auto t = label(titles[i], CGRectMake(i * 75, 31, 75, 14), 10, i == 0 ? rgb(255, 110, 40) : rgb(146, 146, 146));
    t->setTextAlignment(NSTextAlignmentCenter);
    tabs->addSubview(t);
  }
  s.window->addSubview(tabs);
  s.window->makeKeyAndVisible();
  zvt::ui::Device::shared().settle();
  return s;
}

// --- The floor: a flat list of the same primitives, drawn by hand ------------------------------

struct Op {
  enum Kind { kFill, kImage, kClip, kUnclip } kind;
  CGRect rect;           // device pixels
  double radius = 0;     // device pixels, for fills and clips
  double r = 0, g = 0, b = 0, a = 1;
  cairo_surface_t* image = nullptr;
};

cairo_surface_t* surfaceOf(const CGImageRef& image, std::vector<cairo_surface_t*>& keep) {
  // The image's bytes are premultiplied ARGB32 (host order) as contexts make them.
  auto data = image->pixelData();
  const int w = static_cast<int>(image->width()), h = static_cast<int>(image->height());
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_surface_flush(s);
  unsigned char* dst = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < h; ++y)
    std::memcpy(dst + y * stride, data->bytes() + y * image->bytesPerRow(), static_cast<size_t>(w) * 4);
  cairo_surface_mark_dirty(s);
  keep.push_back(s);
  return s;
}

void addColor(Op& op, const std::shared_ptr<UIColor>& color) {
  CGFloat rgba[4];
  color->CGColor()->getRGBA(rgba);
  op.r = rgba[0], op.g = rgba[1], op.b = rgba[2], op.a = rgba[3];
}

// Walks the views once (not timed) and writes down what each draws, in device pixels.
void collect(const std::shared_ptr<UIView>& view, std::vector<Op>& ops, std::vector<cairo_surface_t*>& keep) {
  if (view->isHidden()) return;
  CGAffineTransform t = view->transformToScreen();
  CGRect r = CGRectApplyAffineTransform(view->bounds(), t);
  r = CGRectMake(r.origin.x * kScale, r.origin.y * kScale, r.size.width * kScale, r.size.height * kScale);
  const double radius = view->layer()->cornerRadius() * kScale;
  if (view->backgroundColor() && view->backgroundColor()->CGColor()->alpha() > 0) {
    Op fill{Op::kFill, r, radius};
    addColor(fill, view->backgroundColor());
    ops.push_back(fill);
  }
  if (auto contents = view->layer()->contents()) ops.push_back(Op{Op::kImage, r, 0, 0, 0, 0, 1, surfaceOf(contents, keep)});
  if (view->clipsToBounds()) ops.push_back(Op{Op::kClip, r, radius});
  for (const auto& child : view->subviews()) collect(child, ops, keep);
  if (view->clipsToBounds()) ops.push_back(Op{Op::kUnclip, r});
}

void rounded(cairo_t* cr, const CGRect& r, double radius) {
  if (radius <= 0) {
    cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
    return;
  }
  const double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void drawFloor(cairo_surface_t* target, const std::vector<Op>& ops, const CGRect* only) {
  cairo_t* cr = cairo_create(target);
  if (only) {
    cairo_rectangle(cr, only->origin.x, only->origin.y, only->size.width, only->size.height);
    cairo_clip(cr);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  for (const Op& op : ops) {
    if (only && op.kind != Op::kUnclip && !CGRectIntersectsRect(op.rect, *only)) {
      if (op.kind == Op::kClip) cairo_save(cr);  // keep the save/restore pairs
      continue;
    }
    switch (op.kind) {
      case Op::kFill:
        rounded(cr, op.rect, op.radius);
        cairo_set_source_rgba(cr, op.r, op.g, op.b, op.a);
        cairo_fill(cr);
        break;
      case Op::kImage:
        cairo_set_source_surface(cr, op.image, op.rect.origin.x, op.rect.origin.y);
        cairo_paint(cr);
        break;
      case Op::kClip:
        cairo_save(cr);
        rounded(cr, op.rect, op.radius);
        cairo_clip(cr);
        break;
      case Op::kUnclip: cairo_restore(cr); break;
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(target);
}

struct Bench {
  Scene scene;
  std::vector<Op> ops;
  std::vector<cairo_surface_t*> keep;
  Bench() : scene(makeScene()) {
    for (const auto& view : scene.window->subviews()) collect(view, ops, keep);
    // The floor's window background first.
    Op back{Op::kFill, CGRectMake(0, 0, kWidth * kScale, kHeight * kScale)};
    addColor(back, scene.window->backgroundColor());
    ops.insert(ops.begin(), back);
  }
  ~Bench() {
    for (auto* s : keep) cairo_surface_destroy(s);
  }
};

// How far the floor's picture is from ours (mean absolute difference per channel) outside the
// status bar, which the floor does not draw.
double difference(cairo_surface_t* a, cairo_surface_t* b) {
  const int w = cairo_image_surface_get_width(a), h = cairo_image_surface_get_height(a);
  const unsigned char *pa = cairo_image_surface_get_data(a), *pb = cairo_image_surface_get_data(b);
  const int stride = cairo_image_surface_get_stride(a);
  double sum = 0;
  long count = 0;
  for (int y = static_cast<int>(kBar * kScale); y < h; ++y)
    for (int x = 0; x < w * 4; ++x) sum += std::abs(pa[y * stride + x] - pb[y * stride + x]), ++count;
  return sum / static_cast<double>(count);
}

// One timed frame of each case, in a function of its own that callgrind counts alone.
[[gnu::noinline]] size_t measuredFullFrame(zvt::ui::ScreenRenderer& renderer) {
  renderer.invalidate();
  return renderer.render().size();
}

[[gnu::noinline]] void measuredFloorFrame(cairo_surface_t* target, const std::vector<Op>& ops, const CGRect* only) {
  drawFloor(target, ops, only);
}

[[gnu::noinline]] size_t measuredChange(zvt::ui::ScreenRenderer& renderer, const std::function<void()>& change) {
  change();
  zvt::ui::runDisplayPass();
  return renderer.render().size();
}

void FullFrameOurs(benchmark::State& state) {
  Bench bench;
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  renderer.render();
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) benchmark::DoNotOptimize(measuredFullFrame(renderer));
  state.counters["layers_drawn"] = static_cast<double>(renderer.lastDrawnLayerCount());
}

void FullFrameCairo(benchmark::State& state) {
  Bench bench;
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  renderer.invalidate();
  renderer.render();
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 750, 1334);
  drawFloor(target, bench.ops, nullptr);
  const double diff = difference(target, renderer.surface());
  state.counters["mean_diff_vs_ours"] = diff;
  if (diff > 2) {
    state.SkipWithError("the floor does not draw what the renderer draws");
    cairo_surface_destroy(target);
    return;
  }
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) measuredFloorFrame(target, bench.ops, nullptr);
  cairo_surface_destroy(target);
}

void OneCellOurs(benchmark::State& state) {
  Bench bench;
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  renderer.invalidate();
  renderer.render();
  auto button = bench.scene.buttons[3];
  auto colors = std::vector{UIColor::blueColor(), UIColor::colorWithRed(1, 110 / 255.0, 40 / 255.0, 1)};
  size_t i = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  const std::function<void()> change = [&] {
    UIView::performWithoutAnimation([&] { button->setBackgroundColor(colors[i++ % 2]); });
  };
  for (auto _ : state) benchmark::DoNotOptimize(measuredChange(renderer, change));
  state.counters["layers_drawn"] = static_cast<double>(renderer.lastDrawnLayerCount());
}

void OneCellCairo(benchmark::State& state) {
  Bench bench;
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 750, 1334);
  drawFloor(target, bench.ops, nullptr);
  CGRect cell = CGRectApplyAffineTransform(bench.scene.cells[3]->bounds(), bench.scene.cells[3]->transformToScreen());
  cell = CGRectMake(cell.origin.x * kScale, cell.origin.y * kScale, cell.size.width * kScale, cell.size.height * kScale);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) measuredFloorFrame(target, bench.ops, &cell);
  cairo_surface_destroy(target);
}

void OneCellTextOurs(benchmark::State& state) {
  Bench bench;
  auto& renderer = zvt::ui::ScreenRenderer::shared();
  renderer.invalidate();
  renderer.render();
  auto price = bench.scene.prices[3];
  size_t i = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  const std::function<void()> change = [&] { price->setText(ns(i++ % 2 ? "¥22.90" : "¥21.50")); };
  for (auto _ : state) benchmark::DoNotOptimize(measuredChange(renderer, change));
}

BENCHMARK(FullFrameOurs)->Name("render/full_frame/ours")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(FullFrameCairo)->Name("render/full_frame/cairo")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(OneCellOurs)->Name("render/one_cell/ours")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(OneCellCairo)->Name("render/one_cell/cairo")->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(OneCellTextOurs)->Name("render/one_cell_text/ours")->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
