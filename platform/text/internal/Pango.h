#pragma once
// The Pango side of the text stand-in: one measuring context per thread (Pango's Cairo font map
// is per thread), faces as Pango font descriptions, and the conversion of attributed strings
// into Pango text and attributes.

#include <pango/pangocairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class NSAttributedString;
class UIFont;

namespace zvt::text {

// An installed face: a family with a weight (100...900) and a slant.
struct FontFace {
  std::string family;
  int weight = 400;
  bool italic = false;
  std::string postscriptName;  // of the installed face, when fontconfig knows it

  ~FontFace();
  // A new description of the face at the size (points), owned by the caller.
  PangoFontDescription* description(CGFloat pointSize) const;
  bool operator==(const FontFace& o) const { return family == o.family && weight == o.weight && italic == o.italic; }
};

// This thread's measuring context: 72 dots per inch (one point, one unit), no hinting and
// unrounded glyph positions, so that sizes do not depend on the device scale, and Chinese as
// the language, so that fallback fonts do not depend on the process's locale.
PangoContext* threadContext();

inline double fromPango(int units) { return static_cast<double>(units) / PANGO_SCALE; }
int toPango(double points);

// Valid UTF-8 for Pango: the string's own bytes, or a copy in which lone surrogates became
// U+FFFD (which keeps every byte offset).
class PangoText {
 public:
  explicit PangoText(const std::string& utf8);
  const std::string& utf8() const { return fixed_.empty() ? source_ : fixed_; }

 private:
  const std::string& source_;
  std::string fixed_;
};

// Walks UTF-8 text forwards converting between UTF-16 indexes and byte offsets (both only
// growing between calls).
class UnitCursor {
 public:
  explicit UnitCursor(const std::string& utf8) : text_(utf8) {}
  // The byte offset of the character boundary at the index; an index inside a surrogate pair
  // moves to the end of the pair, so a run boundary never splits a character (a character
  // takes the attributes of its first unit).
  uint32_t byteAt(NSUInteger unit);
  // The UTF-16 index of the character starting at (or containing) the byte offset.
  NSUInteger unitAt(size_t byte);

 private:
  void step();
  const std::string& text_;
  size_t byte_ = 0;
  NSUInteger unit_ = 0;
};

// The attributes of the string as a Pango list (fonts, colours, underline, strike-through,
// kern, baseline offset); text without a font is set in `defaultFont`. With `colorsAsSource`
// the foreground colours are left out: the caller draws in the one colour of all the text.
PangoAttrList* pangoAttributes(const NSAttributedString& text, const std::shared_ptr<UIFont>& defaultFont,
                               bool colorsAsSource);

}  // namespace zvt::text
