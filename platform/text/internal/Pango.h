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

// Text prepared for Pango: valid UTF-8 (lone surrogates become U+FFFD, which keeps the byte
// offsets) and the UTF-8 offset of every UTF-16 index (size length + 1).
struct PangoText {
  std::string utf8;
  std::vector<uint32_t> byteOfUnit;
  // The byte offset where the character holding UTF-16 index `unit` ends its first unit: an
  // index inside a surrogate pair moves to the end of the pair, so a run boundary never splits
  // a character (a character takes the attributes of its first unit).
  uint32_t boundaryByte(NSUInteger unit) const;
};
PangoText preparePangoText(const std::string& utf8, NSUInteger utf16Length);

// The attributes of the string as a Pango list (fonts, colours, underline, strike-through,
// kern); text without a font is set in `defaultFont`.
PangoAttrList* pangoAttributes(const NSAttributedString& text, const PangoText& prepared,
                               const std::shared_ptr<UIFont>& defaultFont);

}  // namespace zvt::text
