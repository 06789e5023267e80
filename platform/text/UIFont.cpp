#include "platform/text/UIFont.h"

#include <fontconfig/fontconfig.h>
#include <hb-ot.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "platform/text/internal/Pango.h"

using zvt::text::FontFace;

namespace {

std::mutex& registryMutex() {
  static std::mutex mutex;
  return mutex;
}

// One face object per family, weight and slant.
std::shared_ptr<const FontFace> internFace(const std::string& family, int weight, bool italic,
                                           const std::string& postscriptName) {
  static std::map<std::tuple<std::string, int, bool>, std::shared_ptr<const FontFace>> faces;
  auto key = std::make_tuple(family, weight, italic);
  auto found = faces.find(key);
  if (found != faces.end()) return found->second;
  auto face = std::make_shared<FontFace>();
  face->family = family;
  face->weight = weight;
  face->italic = italic;
  face->postscriptName = postscriptName;
  faces.emplace(key, face);
  return face;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

struct InstalledFont {
  std::string family;
  std::string postscriptName;
  int weight = 400;
  bool italic = false;
};

// Fonts of the machine whose `object` (FC_POSTSCRIPT_NAME or FC_FAMILY) is `value`.
std::vector<InstalledFont> listFonts(const char* object, const std::string& value) {
  std::vector<InstalledFont> out;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, object, reinterpret_cast<const FcChar8*>(value.c_str()));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_POSTSCRIPT_NAME, FC_WEIGHT, FC_SLANT, nullptr);
  FcFontSet* set = FcFontList(nullptr, pattern, objects);
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      InstalledFont font;
      FcChar8* text = nullptr;
      if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &text) == FcResultMatch) font.family = reinterpret_cast<char*>(text);
      if (FcPatternGetString(set->fonts[i], FC_POSTSCRIPT_NAME, 0, &text) == FcResultMatch) {
        font.postscriptName = reinterpret_cast<char*>(text);
      }
      int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
      FcPatternGetInteger(set->fonts[i], FC_WEIGHT, 0, &weight);
      FcPatternGetInteger(set->fonts[i], FC_SLANT, 0, &slant);
      font.weight = FcWeightToOpenType(weight);
      font.italic = slant != FC_SLANT_ROMAN;
      out.push_back(font);
    }
    FcFontSetDestroy(set);
  }
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return out;
}

// The PostScript name of an installed face, or a made-up one in the same style.
std::string postscriptNameOf(const std::string& family, int weight) {
  for (const auto& font : listFonts(FC_FAMILY, family)) {
    if (!font.italic && std::abs(font.weight - weight) <= 100 && !font.postscriptName.empty()) return font.postscriptName;
  }
  std::string name = family;
  name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
  return name + (weight >= 600 ? "-Bold" : "-Regular");
}

std::shared_ptr<const FontFace> systemFace(int weight, bool italic) {
  static const std::string regular = postscriptNameOf(zvt::text::kSystemFontFamily, 400);
  static const std::string bold = postscriptNameOf(zvt::text::kSystemFontFamily, 700);
  return internFace(zvt::text::kSystemFontFamily, weight, italic, weight >= 600 ? bold : regular);
}

// Weight and slant from the style part of a device font name ("HelveticaNeue-BoldItalic").
void styleOfName(const std::string& name, int& weight, bool& italic) {
  auto dash = name.rfind('-');
  std::string style = lower(dash == std::string::npos ? std::string() : name.substr(dash + 1));
  weight = 400;
  italic = style.find("italic") != std::string::npos || style.find("oblique") != std::string::npos;
  struct Word {
    const char* text;
    int weight;
  };
  static const Word words[] = {{"ultralight", 200}, {"extralight", 200}, {"thin", 100}, {"light", 300},
                               {"medium", 500},     {"semibold", 600},   {"demibold", 600}, {"extrabold", 800},
                               {"heavy", 800},      {"black", 900},      {"bold", 700}};
  for (const auto& w : words) {
    if (style.find(w.text) != std::string::npos) {
      weight = w.weight;
      break;
    }
  }
}

std::shared_ptr<const FontFace> faceForName(const std::string& name) {
  // Installed fonts first, by PostScript name, then by family.
  auto byPostscript = listFonts(FC_POSTSCRIPT_NAME, name);
  if (!byPostscript.empty()) {
    const auto& f = byPostscript.front();
    return internFace(f.family, f.weight, f.italic, f.postscriptName);
  }
  auto byFamily = listFonts(FC_FAMILY, name);
  if (!byFamily.empty()) {
    std::string family = byFamily.front().family;
    // fontconfig matches families ignoring case: the installed spelling is kept.
    return internFace(family, 400, false, postscriptNameOf(family, 400));
  }
  // The device's families, which Linux has not: the nearest installed one.
  int weight = 400;
  bool italic = false;
  styleOfName(name, weight, italic);
  const std::string l = lower(name);
  auto startsWith = [&](const char* prefix) { return l.rfind(prefix, 0) == 0; };
  for (const char* serif : {"iowanoldstyle", "georgia", "times", "palatino", "baskerville", "didot", "hoefler",
                            "songti", "stsong", "bodoni", "charter", "cochin", "superclarendon"}) {
    if (startsWith(serif)) return internFace(zvt::text::kSerifFontFamily, weight, italic, "");
  }
  for (const char* mono : {"courier", "menlo", "monaco", "sfmono", "americantypewriter"}) {
    if (startsWith(mono)) return internFace(zvt::text::kMonospaceFontFamily, weight, italic, "");
  }
  return systemFace(weight, italic);
}

CGFloat saneSize(CGFloat size) { return std::isfinite(size) && size > 0 ? size : 12.0; }

std::shared_ptr<UIFont> fontFor(const std::shared_ptr<const FontFace>& face, CGFloat size,
                                const std::shared_ptr<NSString>& name) {
  static std::unordered_map<std::string, std::shared_ptr<UIFont>> fonts;
  std::string key = name->utf8();
  key.push_back('\0');
  key.append(reinterpret_cast<const char*>(&size), sizeof size);
  key.push_back(static_cast<char>(face->weight / 100));
  key.push_back(face->italic ? 'i' : 'r');
  key += face->family;
  {
    std::lock_guard<std::mutex> lock(registryMutex());
    auto found = fonts.find(key);
    if (found != fonts.end()) return found->second;
  }
  auto font = std::make_shared<UIFont>(face, size, name);
  std::lock_guard<std::mutex> lock(registryMutex());
  return fonts.emplace(key, font).first->second;
}

std::shared_ptr<UIFont> systemFont(CGFloat size, int weight, bool italic) {
  std::shared_ptr<const FontFace> face;
  {
    std::lock_guard<std::mutex> lock(registryMutex());
    face = systemFace(weight, italic);
  }
  std::string name = face->postscriptName;
  if (italic) name += "Italic";
  return fontFor(face, saneSize(size), NSString::stringWithUTF8String(name));
}

}  // namespace

UIFont::UIFont(std::shared_ptr<const FontFace> face, CGFloat pointSize, std::shared_ptr<NSString> fontName)
    : face_(std::move(face)), pointSize_(pointSize), fontName_(std::move(fontName)) {
  PangoContext* context = zvt::text::threadContext();
  description_.reset(face_->description(pointSize_), pango_font_description_free);
  PangoFont* font = pango_context_load_font(context, description_.get());
  if (!font) return;
  PangoFontMetrics* metrics = pango_font_get_metrics(font, nullptr);
  const double ascent = zvt::text::fromPango(pango_font_metrics_get_ascent(metrics));
  const double descent = zvt::text::fromPango(pango_font_metrics_get_descent(metrics));
  const double height = zvt::text::fromPango(pango_font_metrics_get_height(metrics));
  pango_font_metrics_unref(metrics);
  ascender_ = ascent;
  descender_ = -descent;
  leading_ = std::max(0.0, height - ascent - descent);
  // Cap and x heights from the font's OS/2 table (estimated by HarfBuzz where it has none).
  if (hb_font_t* scaled = pango_font_get_hb_font(font)) {
    hb_face_t* hbFace = hb_font_get_face(scaled);
    const unsigned upem = hb_face_get_upem(hbFace);
    hb_font_t* unscaled = hb_font_create(hbFace);
    hb_position_t cap = 0, x = 0;
    hb_ot_metrics_get_position_with_fallback(unscaled, HB_OT_METRICS_TAG_CAP_HEIGHT, &cap);
    hb_ot_metrics_get_position_with_fallback(unscaled, HB_OT_METRICS_TAG_X_HEIGHT, &x);
    hb_font_destroy(unscaled);
    if (upem > 0) {
      capHeight_ = pointSize_ * cap / upem;
      xHeight_ = pointSize_ * x / upem;
    }
  }
  g_object_unref(font);
}

std::shared_ptr<UIFont> UIFont::systemFontOfSize(CGFloat fontSize) { return systemFont(fontSize, 400, false); }
std::shared_ptr<UIFont> UIFont::boldSystemFontOfSize(CGFloat fontSize) { return systemFont(fontSize, 700, false); }
std::shared_ptr<UIFont> UIFont::italicSystemFontOfSize(CGFloat fontSize) { return systemFont(fontSize, 400, true); }

std::shared_ptr<UIFont> UIFont::fontWithName(const std::shared_ptr<NSString>& fontName, CGFloat fontSize) {
  if (!fontName) return nullptr;
  std::shared_ptr<const FontFace> face;
  {
    static std::unordered_map<std::string, std::shared_ptr<const FontFace>> byName;
    std::lock_guard<std::mutex> lock(registryMutex());
    auto found = byName.find(fontName->utf8());
    if (found != byName.end()) {
      face = found->second;
    } else {
      face = faceForName(fontName->utf8());
      byName.emplace(fontName->utf8(), face);
    }
  }
  return fontFor(face, saneSize(fontSize), fontName);
}

std::shared_ptr<UIFont> UIFont::fontWithSize(CGFloat fontSize) const {
  return fontFor(face_, saneSize(fontSize), fontName_);
}

std::shared_ptr<NSString> UIFont::familyName() const { return NSString::stringWithUTF8String(face_->family); }

bool UIFont::isBold() const { return face_->weight >= 600; }
bool UIFont::isItalic() const { return face_->italic; }

bool UIFont::isEqual(const id& other) const {
  auto o = zvt::as<UIFont>(other);
  if (!o) return false;
  if (o.get() == this) return true;
  return (face_ == o->face_ || *face_ == *o->face_) && pointSize_ == o->pointSize_ &&
         fontName_->isEqualToString(o->fontName_);
}

NSUInteger UIFont::hash() const {
  return std::hash<std::string>{}(face_->family) ^ std::hash<double>{}(pointSize_) * 31 ^
         static_cast<NSUInteger>(face_->weight) * 7 ^ (face_->italic ? 1u : 0u);
}

std::shared_ptr<NSString> UIFont::description() const {
  return NSString::stringWithFormat(
      "<UIFont: %p> font-family: \"%s\"; font-weight: %s; font-style: %s; font-size: %.2fpt",
      static_cast<const void*>(this), face_->family, isBold() ? "bold" : "normal", isItalic() ? "italic" : "normal",
      pointSize_);
}

namespace zvt::text {

std::string missingFontPackages() {
  struct Need {
    const char* family;
    int weight;
    const char* package;
  };
  static const Need needs[] = {{kSystemFontFamily, 400, "fonts-noto-cjk"},
                               {kSystemFontFamily, 700, "fonts-noto-cjk"},
                               {kSerifFontFamily, 400, "fonts-noto-cjk"},
                               {kMonospaceFontFamily, 400, "fonts-dejavu-core"},
                               {"Noto Sans", 400, "fonts-noto-core"}};
  std::string missing;
  for (const auto& need : needs) {
    bool found = false;
    for (const auto& font : listFonts(FC_FAMILY, need.family)) {
      if (!font.italic && std::abs(font.weight - need.weight) <= 100) found = true;
    }
    if (!found) {
      if (!missing.empty()) missing += "; ";
      missing += std::string(need.family) + (need.weight >= 600 ? " (bold)" : " (regular)") + ": " + need.package;
    }
  }
  return missing;
}

}  // namespace zvt::text
