#include "platform/text/internal/Pango.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIColor.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"

namespace zvt::text {

FontFace::~FontFace() = default;

PangoFontDescription* FontFace::description(CGFloat pointSize) const {
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, family.c_str());
  pango_font_description_set_weight(d, static_cast<PangoWeight>(weight));
  pango_font_description_set_style(d, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  // At 72 dots per inch a device unit is a point; the absolute size keeps fractional sizes.
  pango_font_description_set_absolute_size(d, pointSize * PANGO_SCALE);
  return d;
}

namespace {

struct ThreadContext {
  PangoContext* context = nullptr;
  ~ThreadContext() {
    if (context) g_object_unref(context);
  }
};

}  // namespace

PangoContext* threadContext() {
  thread_local ThreadContext holder;
  if (!holder.context) {
    // Pango's default Cairo font map is one per thread, so layouts of different threads never
    // share font caches.
    PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    pango_cairo_context_set_resolution(context, 72.0);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context, FALSE);
    pango_context_set_language(context, pango_language_from_string("zh-cn"));
    holder.context = context;
  }
  return holder.context;
}

int toPango(double points) {
  if (!std::isfinite(points)) return 0;
  double units = std::round(points * PANGO_SCALE);
  return static_cast<int>(std::clamp(units, -1e9, 1e9));
}

uint32_t PangoText::boundaryByte(NSUInteger unit) const {
  if (byteOfUnit.empty()) return 0;
  return byteOfUnit[std::min<size_t>(unit, byteOfUnit.size() - 1)];
}

PangoText preparePangoText(const std::string& utf8, NSUInteger utf16Length) {
  PangoText out;
  out.utf8 = utf8;
  out.byteOfUnit.reserve(utf16Length + 1);
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    len = std::min(len, n - i);
    out.byteOfUnit.push_back(static_cast<uint32_t>(i));
    if (len == 4) {
      // A character outside the basic plane is two UTF-16 units; a boundary at its second unit
      // moves to the character's end.
      out.byteOfUnit.push_back(static_cast<uint32_t>(i + 4));
    } else if (len == 3 && b == 0xED && static_cast<unsigned char>(utf8[i + 1]) >= 0xA0) {
      // A lone surrogate: not UTF-8 Pango accepts. U+FFFD has the same length.
      out.utf8[i] = static_cast<char>(0xEF);
      out.utf8[i + 1] = static_cast<char>(0xBF);
      out.utf8[i + 2] = static_cast<char>(0xBD);
    }
    i += len;
  }
  out.byteOfUnit.push_back(static_cast<uint32_t>(n));
  return out;
}

namespace {

void rgba16(const std::shared_ptr<UIColor>& color, guint16 out[4]) {
  CGFloat c[4] = {0, 0, 0, 1};
  if (color && color->CGColor()) color->CGColor()->getRGBA(c);
  for (int k = 0; k < 4; ++k) out[k] = static_cast<guint16>(std::lround(std::clamp(c[k], 0.0, 1.0) * 65535));
  // Pango reads an alpha of 0 as "not set" (opaque): the faintest value stands for clear.
  if (out[3] == 0) out[3] = 1;
}

void insert(PangoAttrList* list, PangoAttribute* attr, uint32_t start, uint32_t end) {
  attr->start_index = start;
  attr->end_index = end;
  pango_attr_list_insert(list, attr);
}

}  // namespace

PangoAttrList* pangoAttributes(const NSAttributedString& text, const PangoText& prepared,
                               const std::shared_ptr<UIFont>& defaultFont) {
  PangoAttrList* list = pango_attr_list_new();
  NSUInteger unit = 0;
  for (const auto& run : text.runs()) {
    const uint32_t start = prepared.boundaryByte(unit);
    const uint32_t end = prepared.boundaryByte(unit + run.length);
    unit += run.length;
    if (start >= end) continue;
    const auto& attrs = run.attributes;

    auto font = zvt::as<UIFont>(attrs->objectForKey(NSFontAttributeName));
    if (!font) font = defaultFont;
    PangoFontDescription* description = font->face()->description(font->pointSize());
    insert(list, pango_attr_font_desc_new(description), start, end);
    pango_font_description_free(description);

    guint16 c[4];
    rgba16(zvt::as<UIColor>(attrs->objectForKey(NSForegroundColorAttributeName)), c);
    insert(list, pango_attr_foreground_new(c[0], c[1], c[2]), start, end);
    insert(list, pango_attr_foreground_alpha_new(c[3]), start, end);

    if (auto background = zvt::as<UIColor>(attrs->objectForKey(NSBackgroundColorAttributeName))) {
      rgba16(background, c);
      insert(list, pango_attr_background_new(c[0], c[1], c[2]), start, end);
      insert(list, pango_attr_background_alpha_new(c[3]), start, end);
    }
    if (auto underline = zvt::as<NSNumber>(attrs->objectForKey(NSUnderlineStyleAttributeName))) {
      NSInteger style = underline->integerValue() & 0xFF;
      if (style != NSUnderlineStyleNone) {
        insert(list, pango_attr_underline_new(style == NSUnderlineStyleDouble ? PANGO_UNDERLINE_DOUBLE : PANGO_UNDERLINE_SINGLE),
               start, end);
        if (auto color = zvt::as<UIColor>(attrs->objectForKey(NSUnderlineColorAttributeName))) {
          rgba16(color, c);
          insert(list, pango_attr_underline_color_new(c[0], c[1], c[2]), start, end);
        }
      }
    }
    if (auto strike = zvt::as<NSNumber>(attrs->objectForKey(NSStrikethroughStyleAttributeName))) {
      if ((strike->integerValue() & 0xFF) != NSUnderlineStyleNone) {
        insert(list, pango_attr_strikethrough_new(TRUE), start, end);
        if (auto color = zvt::as<UIColor>(attrs->objectForKey(NSStrikethroughColorAttributeName))) {
          rgba16(color, c);
          insert(list, pango_attr_strikethrough_color_new(c[0], c[1], c[2]), start, end);
        }
      }
    }
    if (auto kern = zvt::as<NSNumber>(attrs->objectForKey(NSKernAttributeName))) {
      double points = kern->doubleValue();
      if (points != 0) insert(list, pango_attr_letter_spacing_new(toPango(points)), start, end);
    }
    if (auto offset = zvt::as<NSNumber>(attrs->objectForKey(NSBaselineOffsetAttributeName))) {
      double points = offset->doubleValue();
      if (points != 0) insert(list, pango_attr_rise_new(toPango(points)), start, end);
    }
  }
  return list;
}

}  // namespace zvt::text

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps its configuration and font lists for the life of the process and never frees
// them, which the leak checker of sanitizer builds would report at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif
