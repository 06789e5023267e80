#include "platform/text/TextLayout.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <unordered_map>

#include "platform/graphics/UIColor.h"
#include "platform/text/NSShadow.h"
#include "platform/text/UIFont.h"
#include "platform/text/internal/Pango.h"

namespace zvt::text {

namespace {

const void* currentThreadMarker() {
  thread_local char marker;
  return &marker;
}

bool finitePositive(CGFloat v) { return std::isfinite(v) && v > 0; }

bool truncating(NSLineBreakMode mode) {
  return mode == NSLineBreakByTruncatingHead || mode == NSLineBreakByTruncatingMiddle ||
         mode == NSLineBreakByTruncatingTail;
}

PangoEllipsizeMode ellipsizeFor(NSLineBreakMode mode) {
  switch (mode) {
    case NSLineBreakByTruncatingHead: return PANGO_ELLIPSIZE_START;
    case NSLineBreakByTruncatingMiddle: return PANGO_ELLIPSIZE_MIDDLE;
    default: return PANGO_ELLIPSIZE_END;
  }
}

std::shared_ptr<NSParagraphStyle> paragraphStyleOf(const NSAttributedString& text) {
  if (text.runs().empty()) return NSParagraphStyle::defaultParagraphStyle();
  auto style = zvt::as<NSParagraphStyle>(text.runs().front().attributes->objectForKey(NSParagraphStyleAttributeName));
  return style ? style : NSParagraphStyle::defaultParagraphStyle();
}

std::shared_ptr<UIFont> firstFont(const NSAttributedString& text) {
  if (!text.runs().empty()) {
    if (auto font = zvt::as<UIFont>(text.runs().front().attributes->objectForKey(NSFontAttributeName))) return font;
  }
  return UIFont::systemFontOfSize(12);
}

}  // namespace

TextLayout::TextLayout(std::shared_ptr<NSAttributedString> text, const TextLayoutOptions& options)
    : text_(std::move(text)), options_(options) {}

TextLayout::~TextLayout() {
  if (layout_) g_object_unref(layout_);
}

PangoLayout* TextLayout::createPangoLayout(const std::string& utf8) const {
  PangoLayout* layout = pango_layout_new(threadContext());
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  static const std::shared_ptr<UIFont> defaultFont = UIFont::systemFontOfSize(12);
  PangoAttrList* attrs = pangoAttributes(*text_, defaultFont, colorsAsSource_);
  pango_layout_set_attributes(layout, attrs);
  pango_attr_list_unref(attrs);

  auto style = paragraphStyleOf(*text_);
  double spacing = style->lineSpacing();
  if (options_.usesFontLeading) spacing += firstFont(*text_)->leading();
  if (spacing != 0) pango_layout_set_spacing(layout, toPango(spacing));
  if (style->firstLineHeadIndent() != style->headIndent()) {
    pango_layout_set_indent(layout, toPango(style->firstLineHeadIndent() - style->headIndent()));
  }
  switch (alignment_) {
    case NSTextAlignmentCenter: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
    case NSTextAlignmentRight: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
    case NSTextAlignmentJustified: pango_layout_set_justify(layout, TRUE); break;
    default: break;
  }
  pango_layout_set_wrap(layout, static_cast<PangoWrapMode>(wrap_));
  pango_layout_set_width(layout, pangoWidth_);
  if (ellipsize_ != PANGO_ELLIPSIZE_NONE) pango_layout_set_ellipsize(layout, static_cast<PangoEllipsizeMode>(ellipsize_));
  if (pangoHeight_ != -1) pango_layout_set_height(layout, pangoHeight_);
  return layout;
}

PangoLayout* TextLayout::copyPangoLayout() const {
  const bool home = layoutThread_ == currentThreadMarker();
  if (layout_ && home) return static_cast<PangoLayout*>(g_object_ref(layout_));
  PangoText prepared(text_->string()->utf8());
  PangoLayout* layout = createPangoLayout(prepared.utf8());
  // Text drawn once is likely drawn again: its thread keeps the layout.
  if (home) layout_ = static_cast<PangoLayout*>(g_object_ref(layout));
  return layout;
}

void TextLayout::build() {
  auto style = paragraphStyleOf(*text_);
  lineBreakMode_ = options_.lineBreakMode.value_or(style->lineBreakMode());
  alignment_ = options_.alignment.value_or(style->alignment());
  if (text_->length() == 0) return;

  const CGFloat width = finitePositive(options_.width) ? options_.width : 0;
  // Indents narrow the lines: the head indent on the leading side (the first line's own indent
  // is Pango's indent relative to it), the tail indent on the trailing side.
  const CGFloat head = style->headIndent(), tail = style->tailIndent();
  int wrapWidth = -1;
  if (width > 0) {
    CGFloat end = tail > 0 ? std::min(tail, width) : width + tail;
    wrapWidth = std::max(1, toPango(end - head));
  }
  wrap_ = lineBreakMode_ == NSLineBreakByCharWrapping ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR;
  ellipsize_ = PANGO_ELLIPSIZE_NONE;
  pangoHeight_ = -1;
  pangoWidth_ = wrapWidth;
  const bool oneLinePerParagraph =
      (options_.paragraphsAreSingleLines && (truncating(lineBreakMode_) || lineBreakMode_ == NSLineBreakByClipping)) ||
      (options_.numberOfLines == 1 && lineBreakMode_ == NSLineBreakByClipping);
  if (oneLinePerParagraph) {
    if (truncating(lineBreakMode_) && wrapWidth > 0) {
      ellipsize_ = ellipsizeFor(lineBreakMode_);  // height -1: each paragraph one line
    } else {
      pangoWidth_ = -1;  // not wrapped; cut at the edge when drawn
    }
  }

  // Text in one colour is drawn in it; only text of several colours carries them in the layout.
  {
    id first;
    bool uniform = true;
    for (size_t i = 0; i < text_->runs().size(); ++i) {
      id color = text_->runs()[i].attributes->objectForKey(NSForegroundColorAttributeName);
      if (i == 0) {
        first = color;
      } else if (!zvt::objectsEqual(first, color)) {
        uniform = false;
        break;
      }
    }
    colorsAsSource_ = uniform;
    if (auto color = zvt::as<UIColor>(first); color && color->CGColor()) color->CGColor()->getRGBA(color_);
  }
  PangoText prepared(text_->string()->utf8());
  layout_ = createPangoLayout(prepared.utf8());
  layoutThread_ = currentThreadMarker();

  struct Extent {
    PangoRectangle logical;
    int baseline;
    int start, length;
    int origin;  // the line's own origin, which its logical box is relative to
  };
  auto collect = [this]() {
    std::vector<Extent> out;
    PangoLayoutIter* it = pango_layout_get_iter(layout_);
    do {
      Extent e{};
      pango_layout_iter_get_line_extents(it, nullptr, &e.logical);
      e.baseline = pango_layout_iter_get_baseline(it);
      PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
      e.start = line->start_index;
      e.length = line->length;
      PangoRectangle own;
      pango_layout_line_get_extents(line, nullptr, &own);
      e.origin = e.logical.x - own.x;
      out.push_back(e);
    } while (pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
    return out;
  };
  std::vector<Extent> extents = collect();

  // How many lines are kept: the number allowed, then those whose bottom fits the height.
  size_t keep = extents.size();
  if (options_.numberOfLines > 0) keep = std::min(keep, static_cast<size_t>(options_.numberOfLines));
  if (finitePositive(options_.height)) {
    const int limit = toPango(options_.height);
    size_t fit = 1;
    while (fit < keep && extents[fit].logical.y + extents[fit].logical.height <= limit) ++fit;
    keep = std::min(keep, fit);
  }
  if (keep < extents.size()) {
    truncated_ = true;
    const bool labelTruncation = truncating(lineBreakMode_) && options_.numberOfLines > 0 &&
                                 keep == static_cast<size_t>(options_.numberOfLines);
    if ((labelTruncation || options_.truncatesLastVisibleLine) && pangoWidth_ > 0) {
      // Let Pango end the last kept line with an ellipsis: limit the height to that line's
      // bottom, which Pango fills up with the rest of the paragraph.
      const auto& last = extents[keep - 1];
      const int oldHeight = pangoHeight_, oldEllipsize = ellipsize_;
      pangoHeight_ = last.logical.y + last.logical.height + 1;
      ellipsize_ = ellipsizeFor(truncating(lineBreakMode_) ? lineBreakMode_ : NSLineBreakByTruncatingTail);
      pango_layout_set_ellipsize(layout_, static_cast<PangoEllipsizeMode>(ellipsize_));
      pango_layout_set_height(layout_, pangoHeight_);
      auto again = collect();
      if (again.size() == keep) {
        extents = std::move(again);
      } else {
        pangoHeight_ = oldHeight;
        ellipsize_ = oldEllipsize;
        pango_layout_set_ellipsize(layout_, static_cast<PangoEllipsizeMode>(ellipsize_));
        pango_layout_set_height(layout_, pangoHeight_);
        extents = collect();
      }
    }
  }
  if (pango_layout_is_ellipsized(layout_)) truncated_ = true;

  // The lines' ranges in UTF-16 units (their byte offsets only grow).
  const bool ascii = text_->string()->isASCII();
  UnitCursor cursor(text_->string()->utf8());
  auto unitOf = [&](int byte) -> NSUInteger { return ascii ? static_cast<NSUInteger>(byte) : cursor.unitAt(byte); };

  double widest = 0;
  lines_.clear();
  for (size_t i = 0; i < std::min(keep, extents.size()); ++i) {
    const auto& e = extents[i];
    TextLine line;
    line.rect = CGRectMake(fromPango(e.logical.x) + head, fromPango(e.logical.y), fromPango(e.logical.width),
                           fromPango(e.logical.height));
    line.baseline = fromPango(e.baseline);
    NSUInteger u0 = unitOf(e.start), u1 = unitOf(e.start + e.length);
    line.range = NSMakeRange(u0, u1 - u0);
    widest = std::max(widest, fromPango(e.logical.width));
    lines_.push_back(line);
    lineOrigins_.push_back(fromPango(e.origin) + head);
  }
  if (!lines_.empty()) {
    const auto& last = lines_.back().rect;
    size_ = CGSizeMake(widest, last.origin.y + last.size.height);
  }
  if (pangoWidth_ < 0 && width > 0 && widest > width) truncated_ = true;
  alignmentWidth_ = width > 0 ? width : widest;
  // Measuring keeps the figures only; drawing makes the layout again (see copyPangoLayout).
  g_object_unref(layout_);
  layout_ = nullptr;
}

void TextLayout::drawInRect(const CGContextRef& context, CGRect rect) const {
  if (!context || lines_.empty()) return;
  // A rectangle without a width (drawing at a point) is as wide as the layout.
  if (!(rect.size.width > 0) || !std::isfinite(rect.size.width)) rect.size.width = alignmentWidth_;
  // Lines were aligned within the layout's width; move them to align within the rectangle's.
  double dx = 0;
  const double spare = rect.size.width - alignmentWidth_;
  if (alignment_ == NSTextAlignmentCenter) dx = spare / 2;
  if (alignment_ == NSTextAlignmentRight) dx = spare;
  bool cut = false;
  for (const auto& line : lines_) {
    if (line.rect.origin.x + dx < -0.01 || line.rect.origin.x + line.rect.size.width + dx > rect.size.width + 0.01) {
      cut = true;
    }
  }
  std::shared_ptr<NSShadow> shadow;
  for (const auto& run : text_->runs()) {
    if ((shadow = zvt::as<NSShadow>(run.attributes->objectForKey(NSShadowAttributeName)))) break;
  }
  const bool shadowed = shadow && shadow->shadowColor();
  if (shadowed) {
    CGContextSaveGState(context);
    CGContextSetShadowWithColor(context, shadow->shadowOffset(), shadow->shadowBlurRadius(),
                                shadow->shadowColor()->CGColor());
  }
  // What the text may cover: its lines, with room for glyphs reaching past their boxes.
  const double slack = size_.height + 4;
  CGRect bounds = CGRectMake(rect.origin.x + std::min(0.0, dx) - slack, rect.origin.y - slack,
                             std::max(rect.size.width, size_.width) + std::fabs(dx) + 2 * slack, size_.height + 2 * slack);
  if (cut) bounds = CGRectIntersection(bounds, CGRectMake(rect.origin.x, bounds.origin.y, rect.size.width, bounds.size.height));
  PangoLayout* layout = copyPangoLayout();
  context->drawWithCairo(bounds, false, [&](cairo_t* cr, double) {
    if (cut) {
      cairo_rectangle(cr, rect.origin.x, bounds.origin.y, rect.size.width, bounds.size.height);
      cairo_clip(cr);
    }
    cairo_set_source_rgba(cr, color_[0], color_[1], color_[2], colorsAsSource_ ? color_[3] : 1.0);
    for (size_t i = 0; i < lines_.size(); ++i) {
      PangoLayoutLine* line = pango_layout_get_line_readonly(layout, static_cast<int>(i));
      if (!line) break;
      cairo_move_to(cr, rect.origin.x + dx + lineOrigins_[i], rect.origin.y + lines_[i].baseline);
      pango_cairo_show_layout_line(cr, line);
    }
  });
  g_object_unref(layout);
  if (shadowed) CGContextRestoreGState(context);
}

// --- The cache of laid-out strings (one per thread).

namespace {

size_t hashOptions(const TextLayoutOptions& o) {
  auto h = [](double d) { return std::bit_cast<uint64_t>(d + 0.0); };  // +0.0: -0 hashes as 0
  size_t v = h(o.width) * 1000003u ^ h(o.height) * 10007u ^ static_cast<size_t>(o.numberOfLines) * 131u;
  v ^= (o.lineBreakMode ? static_cast<size_t>(*o.lineBreakMode) + 1 : 0) << 3;
  v ^= (o.alignment ? static_cast<size_t>(*o.alignment) + 1 : 0) << 7;
  v ^= (o.paragraphsAreSingleLines ? 1u : 0u) | (o.truncatesLastVisibleLine ? 2u : 0u) | (o.usesFontLeading ? 4u : 0u);
  return v;
}

// A lookup borrows the caller's string (no reference is taken); an entry owns its string.
struct CacheKey {
  size_t hash;
  const NSAttributedString* text;
  TextLayoutOptions options;
  std::shared_ptr<NSAttributedString> owner;
};

struct KeyHash {
  size_t operator()(const CacheKey& k) const { return k.hash; }
};

struct KeyEqual {
  bool operator()(const CacheKey& a, const CacheKey& b) const {
    if (a.hash != b.hash || !(a.options == b.options)) return false;
    return a.text == b.text || a.text->hasSameContent(*b.text);
  }
};

// Two generations: lookups see both, new layouts go to the young one; when it is full the old
// one is dropped and the young one takes its place, so what is used stays and the rest goes.
class LayoutCache {
 public:
  static constexpr size_t kGeneration = 2048;
  using Map = std::unordered_map<CacheKey, std::shared_ptr<const TextLayout>, KeyHash, KeyEqual>;

  const std::shared_ptr<const TextLayout>* find(const CacheKey& key) {
    auto found = young_.find(key);
    if (found != young_.end()) return &found->second;
    auto aged = old_.find(key);
    if (aged == old_.end()) return nullptr;
    // The entry moves with its own key: the lookup's key only borrows the caller's string.
    auto entry = old_.extract(aged);
    makeRoom();
    return &young_.insert(std::move(entry)).position->second;
  }

  const std::shared_ptr<const TextLayout>& insert(const CacheKey& key, std::shared_ptr<const TextLayout> layout) {
    makeRoom();
    return young_.emplace(key, std::move(layout)).first->second;
  }

  size_t size() const { return young_.size() + old_.size(); }

  void makeRoom() {
    if (young_.size() < kGeneration) return;
    old_ = std::move(young_);
    young_ = Map();
  }
  void clear() {
    young_.clear();
    old_.clear();
  }

 private:
  Map young_, old_;
};

LayoutCache& threadCache() {
  thread_local LayoutCache cache;
  return cache;
}

const std::shared_ptr<NSAttributedString>& emptyText() {
  static const std::shared_ptr<NSAttributedString> empty =
      std::make_shared<NSAttributedString>(NSString::string(), std::shared_ptr<NSDictionary>());
  return empty;
}

const std::shared_ptr<const TextLayout>& cachedLayout(const std::shared_ptr<NSAttributedString>& given,
                                                      const TextLayoutOptions& options) {
  const auto& text = given ? given : emptyText();
  CacheKey key{text->contentHash() ^ hashOptions(options), text.get(), options, nullptr};
  auto& cache = threadCache();
  if (auto found = cache.find(key)) return *found;
  // A mutable string may change after this: the cache keeps a snapshot.
  key.owner = text->isMutable() ? text->copy() : text;
  key.text = key.owner.get();
  return cache.insert(key, TextLayout::makeUncached(key.owner, options));
}

}  // namespace

std::shared_ptr<const TextLayout> TextLayout::makeUncached(const std::shared_ptr<NSAttributedString>& text,
                                                           const TextLayoutOptions& options) {
  std::shared_ptr<TextLayout> layout(new TextLayout(text ? text->copy() : emptyText(), options));
  layout->build();
  return layout;
}

std::shared_ptr<const TextLayout> TextLayout::layout(const std::shared_ptr<NSAttributedString>& text,
                                                     const TextLayoutOptions& options) {
  return cachedLayout(text, options);
}

std::shared_ptr<const TextLayout> TextLayout::layout(const std::shared_ptr<NSString>& text,
                                                     const std::shared_ptr<NSDictionary>& attributes,
                                                     const TextLayoutOptions& options) {
  if (!text) return cachedLayout(nullptr, options);
  return cachedLayout(std::make_shared<NSAttributedString>(text, attributes), options);
}

CGSize TextLayout::sizeOf(const std::shared_ptr<NSAttributedString>& text, const TextLayoutOptions& options) {
  return cachedLayout(text, options)->size();
}

size_t layoutCacheSize() { return threadCache().size(); }
void clearLayoutCache() { threadCache().clear(); }

}  // namespace zvt::text
