#pragma once
// Laid-out text: an attributed string set in lines within a width, a height and a number of
// lines, with a line break mode, ready to be measured and drawn. Labels, buttons, text fields
// and UIKit's string drawing all go through it.
//
// Layouts are made by Pango and kept in a cache per thread, keyed by the text, its attributes
// and the options: asking again for the same layout (the same label measured in every layout
// pass) costs about one hash lookup. A layout belongs to the thread that made it (Pango's font
// map is per thread); the cache gives each thread its own.
//
// All figures are in points and fractional: the exact advances of the installed fonts at the
// sizes asked for, independent of the screen's scale.

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGContext.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSParagraphStyle.h"

typedef struct _PangoLayout PangoLayout;

namespace zvt::text {

struct TextLayoutOptions {
  // Lines wrap within this width; 0 (or not finite) means no wrapping: lines break only at line
  // separators.
  CGFloat width = 0;
  // Lines whose bottom lies below this height are left out, though the first line always
  // stays; 0 (or not finite) means no limit.
  CGFloat height = 0;
  // At most this many lines; 0 means no limit.
  NSInteger numberOfLines = 0;
  // How lines break and how the last line kept ends when text is left over: the wrapping modes
  // break at words (falling back to characters for a word longer than the width) or at
  // characters, clipping keeps whole lines (a single line is not wrapped but cut at the edge
  // when drawn), and the truncating modes end the last line with an ellipsis at its head,
  // middle or tail. Unset: the mode of the text's paragraph style.
  std::optional<NSLineBreakMode> lineBreakMode;
  // UIKit's string drawing: a paragraph whose style clips or truncates is one line by itself
  // (truncated within the width), however many lines are allowed.
  bool paragraphsAreSingleLines = false;
  // The last line kept under the height limit ends with an ellipsis when text follows.
  bool truncatesLastVisibleLine = false;
  // Lines are spaced by the fonts' leading as well.
  bool usesFontLeading = false;
  // Unset: the alignment of the paragraph style.
  std::optional<NSTextAlignment> alignment;

  friend bool operator==(const TextLayoutOptions&, const TextLayoutOptions&) = default;
};

struct TextLine {
  // The line's box in the layout: x from the alignment within the layout's width, y from the
  // top of the first line; height = the line's ascent + descent.
  CGRect rect;
  CGFloat baseline = 0;  // from the top of the layout
  NSRange range;         // the UTF-16 units laid out on the line (an ellipsis stands for some)
};

class TextLayout {
 public:
  // The layout from this thread's cache, made now when missing. Nil text lays out as empty.
  static std::shared_ptr<const TextLayout> layout(const std::shared_ptr<NSAttributedString>& text,
                                                  const TextLayoutOptions& options);
  // A plain string with attributes for all of it (nil: none).
  static std::shared_ptr<const TextLayout> layout(const std::shared_ptr<NSString>& text,
                                                  const std::shared_ptr<NSDictionary>& attributes,
                                                  const TextLayoutOptions& options);
  // The size alone, through the same cache (no layout handle is copied out).
  static CGSize sizeOf(const std::shared_ptr<NSAttributedString>& text, const TextLayoutOptions& options);
  // A layout made now, outside the cache.
  static std::shared_ptr<const TextLayout> makeUncached(const std::shared_ptr<NSAttributedString>& text,
                                                        const TextLayoutOptions& options);

  // The widest kept line's width and the height from the top of the first kept line to the
  // bottom of the last; zero for empty text.
  CGSize size() const { return size_; }
  NSUInteger lineCount() const { return lines_.size(); }
  const std::vector<TextLine>& lines() const { return lines_; }
  // Text was left out: lines dropped, an ellipsis put in, or a single line wider than the width.
  bool isTruncated() const { return truncated_; }
  // Baselines of the first and last kept lines, from the top (0 for empty text).
  CGFloat firstBaseline() const { return lines_.empty() ? 0 : lines_.front().baseline; }
  CGFloat lastBaseline() const { return lines_.empty() ? 0 : lines_.back().baseline; }
  // The ascent of the first line (what UIKit's baseline-origin measurement reports as -y).
  CGFloat firstLineAscent() const { return lines_.empty() ? 0 : lines_.front().baseline; }
  // The width the lines are aligned in: the wrapping width, or the widest line without one.
  CGFloat alignmentWidth() const { return alignmentWidth_; }
  NSTextAlignment alignment() const { return alignment_; }
  NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
  const std::shared_ptr<NSAttributedString>& text() const { return text_; }
  const TextLayoutOptions& options() const { return options_; }

  // Draws the kept lines into the context, whose user space is taken as UIKit's (origin top
  // left, y down): the first line's top at the rectangle's top, each line aligned within the
  // rectangle's width (a rectangle without a width is as wide as the layout). Lines running
  // past the rectangle's sides (a clipped single line) are cut at them; nothing is cut
  // vertically. The text's colours, underlines and background colours are drawn, and the first
  // NSShadow of the text shadows all of it. The context's alpha, blend mode and clip apply.
  // Nothing happens for a nil context.
  void drawInRect(const CGContextRef& context, CGRect rect) const;

  ~TextLayout();
  TextLayout(const TextLayout&) = delete;
  TextLayout& operator=(const TextLayout&) = delete;

  // Internal (the drawing code): a new reference to a Pango layout of the text usable on the
  // calling thread (the layout's own on the thread that made it, a fresh one elsewhere); the
  // caller releases it with g_object_unref. Only its first lineCount() lines are shown.
  PangoLayout* copyPangoLayout() const;

 private:
  TextLayout(std::shared_ptr<NSAttributedString> text, const TextLayoutOptions& options);
  void build();
  PangoLayout* createPangoLayout(const std::string& utf8) const;

  std::shared_ptr<NSAttributedString> text_;
  TextLayoutOptions options_;
  NSLineBreakMode lineBreakMode_ = NSLineBreakByWordWrapping;
  NSTextAlignment alignment_ = NSTextAlignmentNatural;
  CGSize size_ = CGSizeZero;
  CGFloat alignmentWidth_ = 0;
  std::vector<TextLine> lines_;
  std::vector<CGFloat> lineOrigins_;  // x of each line's Pango origin in the layout
  bool truncated_ = false;
  // How the Pango layout was finally set up, to make it again on another thread.
  int pangoWidth_ = -1, pangoHeight_ = -1;
  int wrap_ = 0, ellipsize_ = 0;
  // Text of one colour is drawn in it as the source (the layout carries no colours).
  bool colorsAsSource_ = false;
  CGFloat color_[4] = {0, 0, 0, 1};
  // The Pango layout, kept once the text is drawn (measuring alone keeps only the figures).
  mutable PangoLayout* layout_ = nullptr;
  const void* layoutThread_ = nullptr;
};

// This thread's layout cache: how many layouts it holds, and emptying it (benchmarks, tests).
size_t layoutCacheSize();
void clearLayoutCache();

}  // namespace zvt::text
