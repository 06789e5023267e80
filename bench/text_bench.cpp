// Measuring label texts the way labels do (an attributed string in the system font within a
// width): the same label again and again against a plain hash-map lookup of its size by text,
// and new labels (first measurement, the cache missing) against Pango called directly with the
// same font, width and measuring set-up.
//
// Times are wall clock per measurement; cpu_us_per_item is the whole process's CPU time per
// measurement.
#include <benchmark/benchmark.h>
#include <pango/pangocairo.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/graphics/UIColor.h"
#include "bench/support/ProcessCPU.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/text/TextLayout.h"
#include "platform/text/UIFont.h"

namespace {

using zvt::text::TextLayout;
using zvt::text::TextLayoutOptions;

constexpr CGFloat kWidth = 160;

// Texts like the application's labels: Chinese with numbers and some Latin.
std::vector<std::string> labelTexts(size_t count) {
  static const char* parts[] = {"回扣", "集分宝", "我的订单", "Velmo", "到手价", "元", "剩余库存", "件", "邀请好友",
                                "天猫", "淘宝", "返利", "签到", "商品", "优惠券"};
  std::vector<std::string> out;
  uint32_t x = 12345;
  for (size_t i = 0; i < count; ++i) {
    std::string text;
    for (int k = 0; k < 4; ++k) {
      x = x * 1103515245u + 12345u;
      text += parts[(x >> 16) % 15];
    }
    text += std::to_string(i);
    out.push_back(text);
  }
  return out;
}

std::shared_ptr<NSDictionary> labelAttributes() {
  static auto attrs = NSDictionary::make(
      {{NSFontAttributeName, UIFont::systemFontOfSize(14)}, {NSForegroundColorAttributeName, UIColor::darkGrayColor()}});
  return attrs;
}

TextLayoutOptions labelOptions() {
  TextLayoutOptions o;
  o.width = kWidth;
  o.numberOfLines = 2;
  o.lineBreakMode = NSLineBreakByTruncatingTail;
  return o;
}

void Repeated_HashMapLookup(benchmark::State& state) {
  auto texts = labelTexts(200);
  std::unordered_map<std::string, CGSize> sizes;
  for (const auto& t : texts) sizes[t] = CGSizeMake(1, 2);
  const std::string key = texts[17];
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto found = sizes.find(key);
    benchmark::DoNotOptimize(found->second);
  }
}

void Repeated_LabelMeasurement(benchmark::State& state) {
  auto texts = labelTexts(200);
  std::vector<std::shared_ptr<NSAttributedString>> labels;
  for (const auto& t : texts) labels.push_back(NSAttributedString::initWithString(NSString::stringWithUTF8String(t), labelAttributes()));
  const auto options = labelOptions();
  zvt::text::clearLayoutCache();  // entries of earlier runs hold equal labels of other objects
  for (const auto& l : labels) TextLayout::sizeOf(l, options);
  const auto& label = labels[17];
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) benchmark::DoNotOptimize(TextLayout::sizeOf(label, options));
}

void Repeated_SizeWithAttributes(benchmark::State& state) {
  auto text = NSString::stringWithUTF8String(labelTexts(18)[17]);
  auto attrs = labelAttributes();
  sizeWithAttributes(text, attrs);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) benchmark::DoNotOptimize(sizeWithAttributes(text, attrs));
}

// New labels each time: texts made beforehand, the cache emptied between rounds.
void First_LabelMeasurement(benchmark::State& state) {
  auto texts = labelTexts(2000);
  std::vector<std::shared_ptr<NSAttributedString>> labels;
  for (const auto& t : texts) labels.push_back(NSAttributedString::initWithString(NSString::stringWithUTF8String(t), labelAttributes()));
  const auto options = labelOptions();
  size_t i = 0;
  zvt::text::clearLayoutCache();
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    benchmark::DoNotOptimize(TextLayout::sizeOf(labels[i], options));
    if (++i == labels.size()) {
      state.PauseTiming();
      zvt::text::clearLayoutCache();
      i = 0;
      state.ResumeTiming();
    }
  }
}

void First_RawPango(benchmark::State& state) {
  auto texts = labelTexts(2000);
  PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
  pango_cairo_context_set_resolution(context, 72.0);
  cairo_font_options_t* fo = cairo_font_options_create();
  cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(context, fo);
  cairo_font_options_destroy(fo);
  pango_context_set_round_glyph_positions(context, FALSE);
  pango_context_set_language(context, pango_language_from_string("zh-cn"));
  PangoFontDescription* font = pango_font_description_from_string("Noto Sans CJK SC");
  pango_font_description_set_absolute_size(font, 14 * PANGO_SCALE);
  size_t i = 0;
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, texts[i].data(), static_cast<int>(texts[i].size()));
    pango_layout_set_width(layout, static_cast<int>(kWidth * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    benchmark::DoNotOptimize(w + h);
    g_object_unref(layout);
    if (++i == texts.size()) i = 0;
  }
  pango_font_description_free(font);
  g_object_unref(context);
}


BENCHMARK(Repeated_HashMapLookup)->UseRealTime();
BENCHMARK(Repeated_LabelMeasurement)->UseRealTime();
BENCHMARK(Repeated_SizeWithAttributes)->UseRealTime();
BENCHMARK(First_RawPango)->UseRealTime();
BENCHMARK(First_LabelMeasurement)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
