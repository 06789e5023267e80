#include "platform/text/internal/Pango.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

PangoText::PangoText(const std::string& utf8) : source_(utf8) {
  // Lone surrogates are kept as ED A0..BF xx; nothing else starts with ED and a byte >= A0.
  const char* p = utf8.data();
  const char* end = p + utf8.size();
  while ((p = static_cast<const char*>(std::memchr(p, '\xED', static_cast<size_t>(end - p))))) {
    if (end - p >= 3 && static_cast<unsigned char>(p[1]) >= 0xA0) {
      if (fixed_.empty()) fixed_ = utf8;
      const size_t at = static_cast<size_t>(p - utf8.data());
      fixed_[at] = static_cast<char>(0xEF);
      fixed_[at + 1] = static_cast<char>(0xBF);
      fixed_[at + 2] = static_cast<char>(0xBD);
    }
    ++p;
  }
}

void UnitCursor::step() {
  const auto b = static_cast<unsigned char>(text_[byte_]);
  const size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  byte_ = std::min(text_.size(), byte_ + len);
  unit_ += len == 4 ? 2 : 1;
}

uint32_t UnitCursor::byteAt(NSUInteger unit) {
  while (unit_ < unit && byte_ < text_.size()) step();
  return static_cast<uint32_t>(byte_);
}

NSUInteger UnitCursor::unitAt(size_t byte) {
  while (byte_ < byte && byte_ < text_.size()) step();
  return unit_;
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

// The system face is a CJK one, whose middle dot (U+00B7) is as wide as a Chinese character:
// right between names written in Chinese ("迈克尔·杰克逊"), but a gap in Latin text ("12.5% · 淘宝",
// "A·B"). A dot that follows Latin text (the last character before it that is not a space is
// below the CJK ranges) is set in the Latin face instead, at the same size and weight.
void latinMiddleDots(const std::string& utf8, PangoAttrList* list) {
  for (size_t at = utf8.find("\xC2\xB7"); at != std::string::npos; at = utf8.find("\xC2\xB7", at + 2)) {
    size_t before = at;
    while (before > 0 && utf8[before - 1] == ' ') --before;
    if (before == 0) continue;
    // The code point that ends at `before`.
    size_t lead = before - 1;
    while (lead > 0 && (static_cast<unsigned char>(utf8[lead]) & 0xC0) == 0x80) --lead;
    const gunichar previous = g_utf8_get_char_validated(utf8.c_str() + lead, static_cast<gssize>(before - lead));
    if (previous == static_cast<gunichar>(-1) || previous == static_cast<gunichar>(-2) || previous >= 0x2E80) continue;
    insert(list, pango_attr_family_new("Noto Sans"), static_cast<uint32_t>(at), static_cast<uint32_t>(at + 2));
  }
}

}  // namespace

PangoAttrList* pangoAttributes(const NSAttributedString& text, const std::shared_ptr<UIFont>& defaultFont,
                               bool colorsAsSource) {
  PangoAttrList* list = pango_attr_list_new();
  const bool ascii = text.string()->isASCII();
  UnitCursor cursor(text.string()->utf8());
  NSUInteger unit = 0;
  uint32_t start = 0;
  for (const auto& run : text.runs()) {
    unit += run.length;
    const uint32_t end = ascii ? static_cast<uint32_t>(unit) : cursor.byteAt(unit);
    if (start >= end) continue;
    const auto& attrs = run.attributes;

    auto* font = dynamic_cast<UIFont*>(attrs->objectForKey(NSFontAttributeName).get());
    if (!font) font = defaultFont.get();
    insert(list, pango_attr_font_desc_new(font->pangoDescription()), start, end);

    guint16 c[4];
    if (!colorsAsSource) {
      rgba16(zvt::as<UIColor>(attrs->objectForKey(NSForegroundColorAttributeName)), c);
      insert(list, pango_attr_foreground_new(c[0], c[1], c[2]), start, end);
      insert(list, pango_attr_foreground_alpha_new(c[3]), start, end);
    }

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
    start = end;
  }
  if (!ascii) latinMiddleDots(text.string()->utf8(), list);
  return list;
}

}  // namespace zvt::text
