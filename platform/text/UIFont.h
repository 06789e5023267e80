#pragma once
// Fonts (UIKit's UIFont) over the installed font families, measured through Pango.
//
// The system font is the installed CJK sans family (Noto Sans CJK SC, Debian fonts-noto-cjk);
// the bold system font is its bold face. A name the machine has (a PostScript name such as
// "NotoSansCJKsc-Bold" or a family name such as "DejaVu Serif") gives that font; the names of
// the device's own fonts, which Linux has not, fall back to the nearest installed family
// ("Helvetica...", "PingFang...", ".SF..." to the system family, "IowanOldStyle...",
// "Georgia", "Times..." to Noto Serif CJK SC, "Courier...", "Menlo..." to DejaVu Sans Mono),
// with the weight and slant their style suffix names ("-Bold", "-Medium", "-Italic"); any other
// name falls back to the system family. So a font is always made, also where the device would
// answer nil for a font it lacks.
//
// Metrics are those of the installed font at the size, in points, unhinted: they are exact and
// do not depend on the screen's scale. Fonts are immutable and shared: equal requests give the
// same object.

#include <memory>
#include <string>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

namespace zvt::text {
struct FontFace;
}
typedef struct _PangoFontDescription PangoFontDescription;

class UIFont : public NSObject {
 public:
  // Sizes that are not finite or not above 0 become 12, the size of text without a font.
  static std::shared_ptr<UIFont> systemFontOfSize(CGFloat fontSize);
  static std::shared_ptr<UIFont> boldSystemFontOfSize(CGFloat fontSize);
  static std::shared_ptr<UIFont> italicSystemFontOfSize(CGFloat fontSize);
  // nil only for a nil name; see the top of this file for names the machine lacks.
  static std::shared_ptr<UIFont> fontWithName(const std::shared_ptr<NSString>& fontName, CGFloat fontSize);
  // The device's standard sizes: 14 (system), 17 (labels), 18 (buttons), 12 (small system).
  static CGFloat systemFontSize() { return 14; }
  static CGFloat labelFontSize() { return 17; }
  static CGFloat buttonFontSize() { return 18; }
  static CGFloat smallSystemFontSize() { return 12; }

  // The same face at another size.
  std::shared_ptr<UIFont> fontWithSize(CGFloat fontSize) const;

  CGFloat pointSize() const { return pointSize_; }
  // The name asked for ("HelveticaNeue"), or the PostScript name of the system faces
  // ("NotoSansCJKsc-Regular", "NotoSansCJKsc-Bold").
  std::shared_ptr<NSString> fontName() const { return fontName_; }
  // The installed family that draws the font ("Noto Sans CJK SC").
  std::shared_ptr<NSString> familyName() const;
  // Distances from the baseline in points: ascender above (positive), descender below
  // (negative); the line height is ascender - descender + leading (the font's line gap).
  CGFloat ascender() const { return ascender_; }
  CGFloat descender() const { return descender_; }
  CGFloat leading() const { return leading_; }
  CGFloat lineHeight() const { return ascender_ - descender_ + leading_; }
  CGFloat capHeight() const { return capHeight_; }
  CGFloat xHeight() const { return xHeight_; }

  // Equal fonts: the same face and size.
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  // "<UIFont: 0x...> font-family: \"Noto Sans CJK SC\"; font-weight: bold; font-style: normal; font-size: 16.00pt"
  std::shared_ptr<NSString> description() const override;

  // Ours: the installed face (family, weight, slant) behind the font.
  const std::shared_ptr<const zvt::text::FontFace>& face() const { return face_; }
  bool isBold() const;
  bool isItalic() const;
  // The Pango description of the face at the size (owned by the font).
  const PangoFontDescription* pangoDescription() const { return description_.get(); }

  UIFont(std::shared_ptr<const zvt::text::FontFace> face, CGFloat pointSize, std::shared_ptr<NSString> fontName);

 private:
  std::shared_ptr<const zvt::text::FontFace> face_;
  CGFloat pointSize_;
  std::shared_ptr<NSString> fontName_;
  std::shared_ptr<PangoFontDescription> description_;
  CGFloat ascender_ = 0, descender_ = 0, leading_ = 0, capHeight_ = 0, xHeight_ = 0;
};

namespace zvt::text {
// The families the stand-in relies on and the Debian packages that bring them.
inline constexpr const char* kSystemFontFamily = "Noto Sans CJK SC";
inline constexpr const char* kSerifFontFamily = "Noto Serif CJK SC";
inline constexpr const char* kMonospaceFontFamily = "DejaVu Sans Mono";
// The installed families missing among those the text drawing needs (system regular and bold,
// serif, monospace, and the Latin fallback Noto Sans), each as "family (style): package";
// empty when all are there.
std::string missingFontPackages();
}  // namespace zvt::text
