#include "platform/quartzcore/LayerRenderer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>

#include "platform/foundation/NSData.h"
#include "platform/graphics/internal/Blur.h"
#include "platform/graphics/internal/CairoImages.h"

namespace zvt::ca {

namespace {

// A box of device pixels in doubles (x0, y0 inclusive; x1, y1 exclusive).
struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return !(x1 > x0 && y1 > y0); }
  double area() const { return empty() ? 0 : (x1 - x0) * (y1 - y0); }
  Box intersect(const Box& o) const {
    Box b{std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
    return b.empty() ? Box{} : b;
  }
  Box unite(const Box& o) const {
    if (empty()) return o;
    if (o.empty()) return *this;
    return Box{std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
  }
  bool intersects(const Box& o) const { return !intersect(o).empty(); }
  bool contains(const Box& o) const { return o.x0 >= x0 && o.y0 >= y0 && o.x1 <= x1 && o.y1 <= y1; }
  Box grow(double d) const { return empty() ? Box{} : Box{x0 - d, y0 - d, x1 + d, y1 + d}; }
  Box shift(double dx, double dy) const { return empty() ? Box{} : Box{x0 + dx, y0 + dy, x1 + dx, y1 + dy}; }
  // Whole pixels covering the box.
  Box pixels() const {
    if (empty()) return Box{};
    return Box{std::floor(x0), std::floor(y0), std::ceil(x1), std::ceil(y1)};
  }
  friend bool operator==(const Box&, const Box&) = default;
};

constexpr double kHuge = 1e7;
constexpr Box kEverywhere{-kHuge, -kHuge, kHuge, kHuge};

bool finiteTransform(const CGAffineTransform& t) {
  return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
         std::isfinite(t.tx) && std::isfinite(t.ty);
}

bool invertible(const CGAffineTransform& t) {
  double det = t.a * t.d - t.b * t.c;
  return finiteTransform(t) && std::fabs(det) > 1e-12;
}

// The device box of a rectangle of a layer's space mapped by m (points) at the scale.
Box deviceBox(CGRect r, const CGAffineTransform& m, CGFloat scale) {
  if (!(r.size.width > 0 && r.size.height > 0)) return Box{};
  CGPoint corners[4] = {{r.origin.x, r.origin.y},
                        {r.origin.x + r.size.width, r.origin.y},
                        {r.origin.x, r.origin.y + r.size.height},
                        {r.origin.x + r.size.width, r.origin.y + r.size.height}};
  Box b{kHuge, kHuge, -kHuge, -kHuge};
  for (auto& c : corners) {
    CGPoint p = CGPointApplyAffineTransform(c, m);
    b.x0 = std::min(b.x0, p.x * scale), b.x1 = std::max(b.x1, p.x * scale);
    b.y0 = std::min(b.y0, p.y * scale), b.y1 = std::max(b.y1, p.y * scale);
  }
  // Far-away geometry is clamped to what Cairo can address.
  return b.intersect(kEverywhere);
}

bool colorsEqual(const CGColorRef& a, const CGColorRef& b) { return a == b || (a && b && CGColorEqualToColor(a, b)); }

bool visibleColor(const CGColorRef& c) { return c && (c->pattern() || c->alpha() > 0); }

// Whether two presentations draw alike (geometry is compared through the transforms too).
bool sameLook(const LayerProperties& a, const LayerProperties& b) {
  return CGRectEqualToRect(a.bounds, b.bounds) && CGPointEqualToPoint(a.position, b.position) &&
         a.zPosition == b.zPosition && CGPointEqualToPoint(a.anchorPoint, b.anchorPoint) && a.transform == b.transform &&
         a.sublayerTransform == b.sublayerTransform && a.opacity == b.opacity &&
         colorsEqual(a.backgroundColor, b.backgroundColor) && a.borderWidth == b.borderWidth &&
         colorsEqual(a.borderColor, b.borderColor) && a.cornerRadius == b.cornerRadius &&
         a.masksToBounds == b.masksToBounds && colorsEqual(a.shadowColor, b.shadowColor) &&
         CGSizeEqualToSize(a.shadowOffset, b.shadowOffset) && a.shadowRadius == b.shadowRadius &&
         a.shadowOpacity == b.shadowOpacity && a.shadowPath == b.shadowPath && a.contents == b.contents &&
         a.contentsScale == b.contentsScale &&
         (a.contentsGravity == b.contentsGravity ||
          (a.contentsGravity && b.contentsGravity && a.contentsGravity->isEqualToString(b.contentsGravity))) &&
         CGRectEqualToRect(a.contentsRect, b.contentsRect) && CGRectEqualToRect(a.contentsCenter, b.contentsCenter);
}

bool sameTransform(const CGAffineTransform& a, const CGAffineTransform& b) {
  return a.a == b.a && a.b == b.b && a.c == b.c && a.d == b.d && a.tx == b.tx && a.ty == b.ty;
}

bool hasShadow(const LayerProperties& p) {
  return p.shadowOpacity > 0 && p.shadowColor && p.shadowColor->alpha() > 0;
}

// How far a shadow reaches beyond its shape, in device pixels.
double shadowSpread(const LayerProperties& p, CGFloat scale) { return std::max(0.0, p.shadowRadius) * scale * 3 + 1; }

// Ends a group: its pattern in device space (Cairo gives it the matrix in force before the group).
cairo_pattern_t* popGroup(cairo_t* cr) {
  cairo_pattern_t* pattern = cairo_pop_group(cr);
  cairo_matrix_t identity;
  cairo_matrix_init_identity(&identity);
  cairo_pattern_set_matrix(pattern, &identity);
  return pattern;
}

void setMatrix(cairo_t* cr, const CGAffineTransform& m, CGFloat scale) {
  cairo_matrix_t cm;
  cairo_matrix_init(&cm, m.a * scale, m.b * scale, m.c * scale, m.d * scale, m.tx * scale, m.ty * scale);
  cairo_set_matrix(cr, &cm);
}

void roundedRect(cairo_t* cr, CGRect r, double radius) {
  double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
  radius = std::min({radius, w / 2, h / 2});
  if (!(radius > 0)) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
  cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
  cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
  cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void appendPath(cairo_t* cr, const CGPath& path) {
  for (const auto& e : path.elements()) {
    switch (e.type) {
      case kCGPathElementMoveToPoint: cairo_move_to(cr, e.points[0].x, e.points[0].y); break;
      case kCGPathElementAddLineToPoint: cairo_line_to(cr, e.points[0].x, e.points[0].y); break;
      case kCGPathElementAddQuadCurveToPoint: {
        double x0, y0;
        if (cairo_has_current_point(cr)) cairo_get_current_point(cr, &x0, &y0);
        else x0 = e.points[0].x, y0 = e.points[0].y;
        const CGPoint c = e.points[0], p = e.points[1];
        cairo_curve_to(cr, x0 + 2.0 / 3 * (c.x - x0), y0 + 2.0 / 3 * (c.y - y0), p.x + 2.0 / 3 * (c.x - p.x),
                       p.y + 2.0 / 3 * (c.y - p.y), p.x, p.y);
        break;
      }
      case kCGPathElementAddCurveToPoint:
        cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
        break;
      case kCGPathElementCloseSubpath: cairo_close_path(cr); break;
    }
  }
}

// Sets a colour (or a pattern colour tiled from the origin of the current user space) as source.
void setSourceColor(cairo_t* cr, const CGColorRef& color, double alpha) {
  if (color->pattern()) {
    if (cairo_surface_t* tile = zvt::graphics::surfaceOfImage(*color->pattern())) {
      cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile);
      cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
      cairo_matrix_t scale;
      double s = color->patternScale() > 0 ? color->patternScale() : 1;
      cairo_matrix_init_scale(&scale, s, s);
      cairo_pattern_set_matrix(pattern, &scale);
      cairo_set_source(cr, pattern);
      cairo_pattern_destroy(pattern);
      return;
    }
  }
  CGFloat rgba[4] = {0, 0, 0, 1};
  color->getRGBA(rgba);
  cairo_set_source_rgba(cr, rgba[0], rgba[1], rgba[2], rgba[3] * alpha);
}

bool isGravity(const std::shared_ptr<NSString>& g, const zvt::StaticString& name) {
  return g && g->isEqualToString(name);
}

// Where content of `size` points lands in `bounds` under the gravity (top is the top of the
// screen: layers of views have their origin at the top left).
CGRect gravityRect(const std::shared_ptr<NSString>& g, CGSize size, CGRect bounds) {
  const double bx = bounds.origin.x, by = bounds.origin.y, bw = bounds.size.width, bh = bounds.size.height;
  if (!g || isGravity(g, kCAGravityResize)) return bounds;
  if (isGravity(g, kCAGravityResizeAspect) || isGravity(g, kCAGravityResizeAspectFill)) {
    if (!(size.width > 0 && size.height > 0)) return bounds;
    double sx = bw / size.width, sy = bh / size.height;
    double s = isGravity(g, kCAGravityResizeAspect) ? std::min(sx, sy) : std::max(sx, sy);
    double w = size.width * s, h = size.height * s;
    return CGRectMake(bx + (bw - w) / 2, by + (bh - h) / 2, w, h);
  }
  double x = bx + (bw - size.width) / 2, y = by + (bh - size.height) / 2;
  if (isGravity(g, kCAGravityLeft) || isGravity(g, kCAGravityTopLeft) || isGravity(g, kCAGravityBottomLeft)) x = bx;
  if (isGravity(g, kCAGravityRight) || isGravity(g, kCAGravityTopRight) || isGravity(g, kCAGravityBottomRight))
    x = bx + bw - size.width;
  if (isGravity(g, kCAGravityTop) || isGravity(g, kCAGravityTopLeft) || isGravity(g, kCAGravityTopRight)) y = by;
  if (isGravity(g, kCAGravityBottom) || isGravity(g, kCAGravityBottomLeft) || isGravity(g, kCAGravityBottomRight))
    y = by + bh - size.height;
  return CGRectMake(x, y, size.width, size.height);
}

// Draws the source rectangle (image pixels) of `surface` into `dest` (user space). Pixels
// outside the rectangle never bleed in: filtering pads the rectangle's own edge pixels.
void drawImagePart(cairo_t* cr, cairo_surface_t* surface, double sx, double sy, double sw, double sh, CGRect dest,
                   double alpha) {
  if (!(sw > 0 && sh > 0 && dest.size.width > 0 && dest.size.height > 0)) return;
  const bool whole = sx == 0 && sy == 0 && sw == cairo_image_surface_get_width(surface) &&
                     sh == cairo_image_surface_get_height(surface);
  cairo_surface_t* part = whole ? cairo_surface_reference(surface) : cairo_surface_create_for_rectangle(surface, sx, sy, sw, sh);
  cairo_save(cr);
  cairo_rectangle(cr, dest.origin.x, dest.origin.y, dest.size.width, dest.size.height);
  cairo_clip(cr);
  cairo_translate(cr, dest.origin.x, dest.origin.y);
  const double fx = dest.size.width / sw, fy = dest.size.height / sh;
  cairo_scale(cr, fx, fy);
  cairo_set_source_surface(cr, part, 0, 0);
  cairo_pattern_t* pattern = cairo_get_source(cr);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  // Pixels that land on pixels are copied; anything scaled or turned is filtered.
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  const bool exact = m.yx == 0 && m.xy == 0 && std::fabs(std::fabs(m.xx) - 1) < 1e-9 &&
                     std::fabs(std::fabs(m.yy) - 1) < 1e-9 && std::fabs(m.x0 - std::round(m.x0)) < 1e-6 &&
                     std::fabs(m.y0 - std::round(m.y0)) < 1e-6;
  cairo_pattern_set_filter(pattern, exact ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  if (alpha < 1) cairo_paint_with_alpha(cr, alpha);
  else cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(part);
}

struct ImageDraw {
  cairo_surface_t* surface;
  double sx, sy, sw, sh;  // the contentsRect's part, in pixels
};

// contentsCenter: the caps keep their size in points, the middle stretches; caps shrink
// together where the destination is smaller than they are.
void drawNinePart(cairo_t* cr, const ImageDraw& img, CGRect center, double contentsScale, CGRect dest) {
  const double cx = std::clamp(center.origin.x, 0.0, 1.0), cy = std::clamp(center.origin.y, 0.0, 1.0);
  const double cw = std::clamp(center.size.width, 0.0, 1.0 - cx), ch = std::clamp(center.size.height, 0.0, 1.0 - cy);
  const double srcX[4] = {0, cx * img.sw, (cx + cw) * img.sw, img.sw};
  const double srcY[4] = {0, cy * img.sh, (cy + ch) * img.sh, img.sh};
  auto caps = [&](const double* src, double extent) {
    double first = src[1] / contentsScale, last = (src[3] - src[2]) / contentsScale;
    double total = first + last;
    if (total > extent && total > 0) first *= extent / total, last *= extent / total;
    return std::pair{first, last};
  };
  auto [left, right] = caps(srcX, dest.size.width);
  auto [top, bottom] = caps(srcY, dest.size.height);
  const double dstX[4] = {dest.origin.x, dest.origin.x + left, dest.origin.x + dest.size.width - right,
                          dest.origin.x + dest.size.width};
  const double dstY[4] = {dest.origin.y, dest.origin.y + top, dest.origin.y + dest.size.height - bottom,
                          dest.origin.y + dest.size.height};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col)
      drawImagePart(cr, img.surface, img.sx + srcX[col], img.sy + srcY[row], srcX[col + 1] - srcX[col],
                    srcY[row + 1] - srcY[row],
                    CGRectMake(dstX[col], dstY[row], dstX[col + 1] - dstX[col], dstY[row + 1] - dstY[row]), 1);
}

// Where the layer's contents land in its own space (beyond its bounds where the gravity keeps
// or fills a larger size); the null rectangle when nothing is drawn.
CGRect contentsDestination(const LayerProperties& p) {
  if (!p.contents) return CGRectNull;
  const double sw = p.contentsRect.size.width * static_cast<double>(p.contents->width());
  const double sh = p.contentsRect.size.height * static_cast<double>(p.contents->height());
  if (!(sw > 0 && sh > 0)) return CGRectNull;
  const double contentsScale = p.contentsScale > 0 ? p.contentsScale : 1;
  return gravityRect(p.contentsGravity, CGSizeMake(sw / contentsScale, sh / contentsScale), p.bounds);
}

void drawContents(cairo_t* cr, const LayerProperties& p) {
  cairo_surface_t* surface = zvt::graphics::surfaceOfImage(*p.contents);
  if (!surface) return;
  const double iw = static_cast<double>(p.contents->width()), ih = static_cast<double>(p.contents->height());
  const CGRect cr01 = p.contentsRect;
  ImageDraw img{surface, cr01.origin.x * iw, cr01.origin.y * ih, cr01.size.width * iw, cr01.size.height * ih};
  if (!(img.sw > 0 && img.sh > 0)) return;
  const double contentsScale = p.contentsScale > 0 ? p.contentsScale : 1;
  const CGRect dest = contentsDestination(p);
  const bool nine = !CGRectEqualToRect(p.contentsCenter, CGRectMake(0, 0, 1, 1)) &&
                    (!p.contentsGravity || isGravity(p.contentsGravity, kCAGravityResize));
  if (nine) drawNinePart(cr, img, p.contentsCenter, contentsScale, dest);
  else drawImagePart(cr, img.surface, img.sx, img.sy, img.sw, img.sh, dest, 1);
}

// Region of damaged device pixels: a few boxes, merged when that costs little.
class Region {
 public:
  void add(Box b) {
    b = b.pixels().intersect(limit_);
    if (b.empty()) return;
    for (;;) {
      bool merged = false;
      for (size_t i = 0; i < boxes_.size(); ++i) {
        if (boxes_[i].contains(b)) return;
        Box u = boxes_[i].unite(b);
        if (u.area() <= (boxes_[i].area() + b.area()) * 1.25) {
          b = u;
          boxes_.erase(boxes_.begin() + static_cast<std::ptrdiff_t>(i));
          merged = true;
          break;
        }
      }
      if (!merged) break;
    }
    boxes_.push_back(b);
    if (boxes_.size() > 24) {
      Box all;
      for (auto& x : boxes_) all = all.unite(x);
      boxes_ = {all};
    }
  }
  void setLimit(Box limit) { limit_ = limit; }
  bool empty() const { return boxes_.empty(); }
  bool covers(const Box& b) const {
    Box p = b.pixels().intersect(limit_);
    if (p.empty()) return true;
    for (auto& x : boxes_)
      if (x.contains(p)) return true;
    return false;
  }
  bool intersects(const Box& b) const {
    if (b.empty()) return false;
    for (auto& x : boxes_)
      if (x.intersects(b)) return true;
    return false;
  }
  Box bounds() const {
    Box all;
    for (auto& x : boxes_) all = all.unite(x);
    return all;
  }
  const std::vector<Box>& boxes() const { return boxes_; }

 private:
  Box limit_ = kEverywhere;
  std::vector<Box> boxes_;
};

}  // namespace

// One layer as the last frame drew it, with the records of its sublayers in drawing order.
// A subtree none of whose layers changed since that frame (its tree's change epoch is older)
// and whose superlayer hands down the same place, opacity and clip is taken as it is, without
// a look at its layers; a layer that did not change itself has only the sublayers whose trees
// changed looked at. One changed layer costs the way down to it and its damage.
struct Rec {
  CALayer* layer = nullptr;
  uint64_t identity = 0;
  // What the superlayer handed down.
  CGAffineTransform parentM{};
  double inheritedAlpha = 1;
  Box clip = kEverywhere;         // the masks of the ancestors
  const CALayer* prev = nullptr;  // the sibling before it in drawing order (nil for the first)
  bool visible = false;           // hidden, transparent or flattened layers draw nothing
  bool animated = false;          // the layer has animations
  bool animatedTree = false;      // the layer or a descendant has
  bool shadowTree = false;        // the layer or a descendant casts the shadow of its whole tree
  // What the layer draws: its model, or its presentation at the frame's time while it animates.
  LayerProperties p;
  CGAffineTransform m{};       // the layer's space to the surface's points
  CGAffineTransform childM{};  // the sublayers' superlayer space to the surface's points
  double childAlpha = 1;
  Box childClip;
  Box own;     // what the layer itself covers (its bounds and own shadow), clipped
  Box tree;    // own and every descendant's
  Box shadow;  // the reach of a shadow that follows the layer's whole tree
  std::shared_ptr<CATransition> transition;
  double transitionProgress = -1;
  std::vector<std::unique_ptr<Rec>> children;
};

struct Capture {
  cairo_surface_t* pixels = nullptr;  // the target's pixels under the layer before it began
  uint64_t generation = 0;
};

// Brings the records of a frame up to date with the layers, gathering the damage.
struct LayerRenderer::Frame {
  CGFloat scale = 1;
  CFTimeInterval time = 0;
  Region* damage = nullptr;  // nil: a picture drawn whole, nothing compared
  // Records are taken unexamined when their tree's change epoch is older than this one (the
  // epoch of the frame that made them); 0 looks at every layer.
  uint64_t drawnEpoch = 0;
  std::vector<const Rec*> transitions;
  size_t examined = 0;

  void addDamage(const Box& b) {
    if (damage) damage->add(b);
  }

  bool untouched(const Rec& r, const CALayer& layer) const {
    return drawnEpoch && layer.treeChangeEpoch() < drawnEpoch && !r.animatedTree;
  }

  bool sameInputs(const Rec& r, const CGAffineTransform& parentM, double inheritedAlpha, const Box& clip) const {
    return sameTransform(r.parentM, parentM) && r.inheritedAlpha == inheritedAlpha && r.clip == clip;
  }

  // The record of `layer` brought up to date from its record of the last frame (nil when it
  // had none). Sets `changed` when anything of the subtree draws differently (a shadow that
  // follows the tree above follows it).
  std::unique_ptr<Rec> refresh(std::unique_ptr<Rec> r, CALayer& layer, const CGAffineTransform& parentM,
                               double inheritedAlpha, const Box& clip, const CALayer* prev, bool ownSpace,
                               bool& changed) {
    if (r && r->identity != layer.identity()) {
      addDamage(r->tree);
      changed = true;
      r.reset();
    }
    const bool inputs = r && sameInputs(*r, parentM, inheritedAlpha, clip);
    if (inputs && untouched(*r, layer)) {
      if (r->prev != prev) {
        addDamage(r->tree);
        r->prev = prev;
        changed = true;
      }
      return r;
    }
    if (inputs && r->visible && drawnEpoch && layer.changeEpoch() < drawnEpoch && !r->animated && r->prev == prev) {
      refreshSublayers(*r, changed);
      return r;
    }
    ++examined;
    const bool animations = layer.hasAnimations();
    LayerProperties presentation;
    if (animations) presentation = layer.presentationPropertiesAt(time);
    const LayerProperties& p = animations ? presentation : layer.properties();
    CGAffineTransform m{};
    bool visible = !p.hidden && p.opacity > 0;
    if (visible) {
      m = ownSpace ? CGAffineTransformMakeTranslation(-p.bounds.origin.x, -p.bounds.origin.y)
                   : CGAffineTransformConcat(p.transformToSuperlayer(), parentM);
      visible = invertible(m);
    }
    const bool added = !r;
    if (added) {
      r = std::make_unique<Rec>();
      r->layer = &layer;
      r->identity = layer.identity();
    }
    r->parentM = parentM;
    r->inheritedAlpha = inheritedAlpha;
    r->clip = clip;
    r->animated = animations;
    if (!visible) {
      // Kept (without sublayers) so that its superlayer's records follow the list of sublayers.
      if (r->visible) {
        addDamage(r->tree);
        changed = true;
      }
      r->visible = false;
      r->prev = prev;
      r->own = r->tree = r->shadow = Box{};
      r->children.clear();
      r->transition = nullptr;
      r->transitionProgress = -1;
      r->animatedTree = animations;
      r->shadowTree = false;
      r->p = LayerProperties{};
      return r;
    }
    CGAffineTransform childM = m;
    if (!CATransform3DIsIdentity(p.sublayerTransform)) {
      CGPoint anchor = CGPointMake(p.bounds.origin.x + p.anchorPoint.x * p.bounds.size.width,
                                   p.bounds.origin.y + p.anchorPoint.y * p.bounds.size.height);
      CGAffineTransform s = CGAffineTransformMakeTranslation(-anchor.x, -anchor.y);
      s = CGAffineTransformConcat(s, CATransform3DGetAffineTransform(p.sublayerTransform));
      s = CGAffineTransformConcat(s, CGAffineTransformMakeTranslation(anchor.x, anchor.y));
      childM = CGAffineTransformConcat(s, m);
      if (!invertible(childM)) childM = m;
    }
    const Box bounds = deviceBox(p.bounds, m, scale);
    Box own = bounds;
    // Contents kept at their size or filling the layer may reach beyond an unmasked layer.
    if (p.contents && !p.masksToBounds) {
      const CGRect contents = contentsDestination(p);
      if (!CGRectIsNull(contents)) own = own.unite(deviceBox(contents, m, scale));
    }
    if (hasShadow(p) && p.shadowPath) {
      Box shape = deviceBox(CGPathGetBoundingBox(p.shadowPath), m, scale);
      own = own.unite(shape.shift(p.shadowOffset.width * scale, p.shadowOffset.height * scale)
                          .grow(shadowSpread(p, scale)));
    }
    own = own.intersect(clip);
    std::shared_ptr<CATransition> transition;
    double transitionProgress = -1;
    if (animations) {
      for (const auto& key : layer.animationKeys()) {
        auto candidate = std::dynamic_pointer_cast<CATransition>(layer.animationForKey(key));
        if (!candidate) continue;
        auto progress = candidate->progressAt(time - candidate->beginTime());
        if (!progress) continue;
        transition = candidate;
        transitionProgress = candidate->startProgress() +
                             (candidate->endProgress() - candidate->startProgress()) * *progress;
      }
    }

    const bool appeared = !r->visible;
    const bool lookChanged = appeared || !sameLook(r->p, p);
    const bool selfChanged = lookChanged || !sameTransform(r->m, m) || !(r->own == own) ||
                             r->transitionProgress != transitionProgress || !inputs;
    if (selfChanged) {
      if (!appeared) addDamage(r->own);
      addDamage(own);
    }
    if (lookChanged) r->p = p;
    const bool moved = !appeared && r->prev != prev;
    const Box oldTree = r->tree, oldShadow = r->shadow;
    r->visible = true;
    r->prev = prev;
    r->m = m;
    r->childM = childM;
    r->childAlpha = inheritedAlpha * r->p.opacity;
    r->childClip = r->p.masksToBounds ? clip.intersect(bounds) : clip;
    r->own = own;
    r->transition = std::move(transition);
    r->transitionProgress = transitionProgress;

    // The sublayers, matched with their records by identity (in the same order, mostly).
    std::vector<std::unique_ptr<Rec>> old = std::move(r->children);
    r->children.clear();
    const auto& sublayers = layer.sublayers();
    std::vector<CALayer*> order;
    order.reserve(sublayers.size());
    for (const auto& child : sublayers) order.push_back(child.get());
    if (!std::all_of(order.begin(), order.end(), [](CALayer* l) { return l->zPosition() == 0; }))
      std::stable_sort(order.begin(), order.end(), [](CALayer* a, CALayer* b) { return a->zPosition() < b->zPosition(); });
    bool childrenChanged = false;
    size_t cursor = 0;
    std::unordered_map<const CALayer*, size_t> index;
    const CALayer* previous = nullptr;
    for (CALayer* child : order) {
      while (cursor < old.size() && !old[cursor]) ++cursor;
      std::unique_ptr<Rec> match;
      if (cursor < old.size() && old[cursor]->layer == child) {
        match = std::move(old[cursor++]);
      } else if (!old.empty()) {
        if (index.empty())
          for (size_t i = 0; i < old.size(); ++i)
            if (old[i]) index.emplace(old[i]->layer, i);
        if (auto it = index.find(child); it != index.end() && old[it->second]) match = std::move(old[it->second]);
      }
      r->children.push_back(
          refresh(std::move(match), *child, childM, r->childAlpha, r->childClip, previous, false, childrenChanged));
      previous = child;
    }
    for (const auto& gone : old)
      if (gone) {
        addDamage(gone->tree);
        childrenChanged = true;
      }
    finish(*r, selfChanged || childrenChanged, moved, oldTree, oldShadow, changed);
    return r;
  }

  // A layer that did not change itself, in the same place: only its sublayers whose trees
  // changed are looked at. Untouched sublayers have no animations, so what the looked-at ones
  // say of animations is the layer's; its extent is measured again only when a looked-at
  // sublayer's extent may have shaped it.
  void refreshSublayers(Rec& r, bool& changed) {
    bool childrenChanged = false, remeasure = false, animatedTree = false;
    Box grown = r.tree;
    for (auto& child : r.children) {
      CALayer& layer = *child->layer;
      if (untouched(*child, layer)) continue;
      const Box before = child->tree;
      const bool shadowTree = child->shadowTree;
      const CALayer* prev = child->prev;
      child = refresh(std::move(child), layer, r.childM, r.childAlpha, r.childClip, prev, false, childrenChanged);
      animatedTree = animatedTree || child->animatedTree;
      if (before == child->tree && shadowTree == child->shadowTree) continue;
      // A box strictly inside the extent did not shape it: the new one is added.
      const bool inside = before.empty() || (before.x0 > r.tree.x0 && before.y0 > r.tree.y0 && before.x1 < r.tree.x1 &&
                                             before.y1 < r.tree.y1);
      if (inside && shadowTree == child->shadowTree) grown = grown.unite(child->tree);
      else remeasure = true;
    }
    const bool treeShadow = !r.shadow.empty();
    if (remeasure || (treeShadow && (childrenChanged || !(grown == r.tree)))) {
      finish(r, childrenChanged, false, r.tree, r.shadow, changed);
      return;
    }
    r.tree = grown;
    r.animatedTree = animatedTree;
    changed = changed || childrenChanged;
  }

  // The tree's extent and shadow from the sublayers' records, and the damage of the shadow.
  void finish(Rec& r, bool subtreeChanged, bool moved, Box oldTree, Box oldShadow, bool& changed) {
    Box tree = r.own;
    bool animatedTree = r.animated, shadowTree = false;
    for (const auto& child : r.children) {
      tree = tree.unite(child->tree);
      animatedTree = animatedTree || child->animatedTree;
      shadowTree = shadowTree || child->shadowTree;
    }
    const bool treeShadow = hasShadow(r.p) && !r.p.shadowPath;
    r.shadow = Box{};
    if (treeShadow) {
      r.shadow = tree.shift(r.p.shadowOffset.width * scale, r.p.shadowOffset.height * scale).grow(shadowSpread(r.p, scale));
      tree = tree.unite(r.shadow.intersect(r.clip));
    }
    r.tree = tree;
    r.animatedTree = animatedTree;
    r.shadowTree = shadowTree || treeShadow;
    // A shadow of the whole tree follows whatever the tree draws.
    if (subtreeChanged || !(oldShadow == r.shadow)) {
      addDamage(oldShadow);
      addDamage(r.shadow);
    }
    if (moved) {
      addDamage(oldTree);
      addDamage(r.tree);
    }
    if (r.transition) {
      addDamage(r.tree);
      transitions.push_back(&r);
    }
    changed = changed || subtreeChanged || moved;
  }
};

namespace {

// The shadow of a damaged pixel falls from pixels of its layer's tree that may lie outside the
// damage, and their shadows from others: a shadow whose reach is damaged is redrawn whole.
bool growShadows(const Rec& r, Region& damage) {
  if (!r.shadowTree) return false;
  bool grew = false;
  if (!r.shadow.empty() && damage.intersects(r.shadow) && !damage.covers(r.tree)) {
    damage.add(r.tree);
    grew = true;
  }
  for (const auto& child : r.children) grew = growShadows(*child, damage) || grew;
  return grew;
}

struct Painter {
  cairo_t* cr;
  CGFloat scale;
  const Region* damage;
  std::unordered_map<const CAAnimation*, cairo_surface_t*> befores;
  size_t drawn = 0;

  // Paints the alpha of `pattern` (device space) blurred and offset in the colour.
  void paintShadow(cairo_pattern_t* shapeSource, Box shape, const LayerProperties& p, double alpha,
                   const std::function<void(cairo_t*)>& drawShape) {
    const double dx = p.shadowOffset.width * scale, dy = p.shadowOffset.height * scale;
    const double spread = shadowSpread(p, scale);
    // The part of the shape whose shadow can reach the damaged pixels.
    Box need = damage->bounds().shift(-dx, -dy).grow(2 * spread);
    Box area = shape.grow(spread).intersect(need).pixels();
    if (area.empty()) return;
    const int w = static_cast<int>(area.x1 - area.x0), h = static_cast<int>(area.y1 - area.y0);
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(mask);
      return;
    }
    cairo_t* mcr = cairo_create(mask);
    cairo_translate(mcr, -area.x0, -area.y0);
    if (shapeSource) {
      cairo_set_source(mcr, shapeSource);
      cairo_paint(mcr);
    } else {
      drawShape(mcr);
    }
    cairo_destroy(mcr);
    cairo_surface_flush(mask);
    zvt::graphics::blurAlpha(cairo_image_surface_get_data(mask), w, h, cairo_image_surface_get_stride(mask),
                             std::max(0.0, p.shadowRadius) * scale);
    cairo_surface_mark_dirty(mask);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    CGFloat rgba[4] = {0, 0, 0, 1};
    p.shadowColor->getRGBA(rgba);
    cairo_set_source_rgba(cr, rgba[0], rgba[1], rgba[2], rgba[3] * p.shadowOpacity * alpha);
    cairo_mask_surface(cr, mask, area.x0 + dx, area.y0 + dy);
    cairo_restore(cr);
    cairo_surface_destroy(mask);
  }

  // What came before a transition and what the layer draws now, mixed at the progress.
  cairo_pattern_t* composeTransition(const Rec& n, cairo_pattern_t* now) {
    auto it = befores.find(n.transition.get());
    if (it == befores.end() || !it->second) return now;
    cairo_surface_t* before = it->second;
    double ox = 0, oy = 0;
    cairo_surface_get_device_offset(before, &ox, &oy);
    const Box box{-ox, -oy, -ox + cairo_image_surface_get_width(before), -oy + cairo_image_surface_get_height(before)};
    const double p = std::clamp(n.transitionProgress, 0.0, 1.0);
    const auto& type = n.transition->type();
    const auto& subtype = n.transition->subtype();
    double dirX = -1, dirY = 0;  // where the new content comes from
    if (subtype && subtype->isEqualToString(kCATransitionFromRight)) dirX = 1, dirY = 0;
    if (subtype && subtype->isEqualToString(kCATransitionFromTop)) dirX = 0, dirY = -1;
    if (subtype && subtype->isEqualToString(kCATransitionFromBottom)) dirX = 0, dirY = 1;
    const double w = box.x1 - box.x0, h = box.y1 - box.y0;
    cairo_identity_matrix(cr);
    cairo_push_group(cr);
    cairo_rectangle(cr, box.x0, box.y0, w, h);
    cairo_clip(cr);
    auto paintBefore = [&](double dx, double dy) {
      cairo_set_source_surface(cr, before, dx, dy);
      cairo_paint(cr);
    };
    auto paintNow = [&](double dx, double dy, double alpha) {
      cairo_save(cr);
      cairo_translate(cr, dx, dy);
      cairo_set_source(cr, now);
      cairo_paint_with_alpha(cr, alpha);
      cairo_restore(cr);
    };
    const double inX = dirX * (1 - p) * w, inY = dirY * (1 - p) * h;
    const double outX = -dirX * p * w, outY = -dirY * p * h;
    if (type && type->isEqualToString(kCATransitionPush)) {
      paintBefore(outX, outY);
      paintNow(inX, inY, 1);
    } else if (type && type->isEqualToString(kCATransitionMoveIn)) {
      paintBefore(0, 0);
      paintNow(inX, inY, 1);
    } else if (type && type->isEqualToString(kCATransitionReveal)) {
      paintNow(0, 0, 1);
      paintBefore(outX, outY);
    } else {
      paintBefore(0, 0);
      paintNow(0, 0, p);
    }
    cairo_pattern_t* mixed = popGroup(cr);
    cairo_pattern_destroy(now);
    return mixed;
  }

  void paintBody(const Rec& n) {
    const LayerProperties& p = n.p;
    const double radius = std::max(0.0, p.cornerRadius);
    setMatrix(cr, n.m, scale);
    if (damage->intersects(n.own)) {
      ++drawn;
      if (visibleColor(p.backgroundColor)) {
        roundedRect(cr, p.bounds, radius);
        setSourceColor(cr, p.backgroundColor, 1);
        cairo_fill(cr);
      }
      if (p.contents) {
        cairo_save(cr);
        if (p.masksToBounds) {
          roundedRect(cr, p.bounds, radius);
          cairo_clip(cr);
        }
        drawContents(cr, p);
        cairo_restore(cr);
      }
    }
    if (!n.children.empty()) {
      cairo_save(cr);
      if (p.masksToBounds) {
        roundedRect(cr, p.bounds, radius);
        cairo_clip(cr);
      }
      for (const auto& child : n.children) paint(*child);
      cairo_restore(cr);
    }
    if (p.borderWidth > 0 && visibleColor(p.borderColor) && damage->intersects(n.own)) {
      setMatrix(cr, n.m, scale);
      const double bw = p.borderWidth;
      cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
      roundedRect(cr, p.bounds, radius);
      CGRect inner = CGRectInset(p.bounds, bw, bw);
      if (inner.size.width > 0 && inner.size.height > 0) roundedRect(cr, inner, std::max(0.0, radius - bw));
      setSourceColor(cr, p.borderColor, 1);
      cairo_fill(cr);
      cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    }
  }

  void paint(const Rec& n) {
    if (!damage->intersects(n.tree)) return;
    const LayerProperties& p = n.p;
    const bool shadow = hasShadow(p);
    const bool treeShadow = shadow && !p.shadowPath;
    const bool transition = n.transition && befores.count(n.transition.get()) && befores[n.transition.get()];
    const bool group = p.opacity < 1 || treeShadow || transition;
    cairo_save(cr);
    if (shadow && p.shadowPath) {
      CGAffineTransform m = n.m;
      paintShadow(nullptr, deviceBox(CGPathGetBoundingBox(p.shadowPath), n.m, scale), p, p.opacity, [&](cairo_t* mcr) {
        cairo_save(mcr);
        cairo_matrix_t cm;
        cairo_get_matrix(mcr, &cm);
        cairo_matrix_t lm;
        cairo_matrix_init(&lm, m.a * scale, m.b * scale, m.c * scale, m.d * scale, m.tx * scale, m.ty * scale);
        cairo_matrix_multiply(&lm, &lm, &cm);
        cairo_set_matrix(mcr, &lm);
        appendPath(mcr, *p.shadowPath);
        cairo_restore(mcr);
        cairo_set_source_rgba(mcr, 0, 0, 0, 1);
        cairo_fill(mcr);
      });
    }
    if (!group) {
      paintBody(n);
      cairo_restore(cr);
      return;
    }
    cairo_push_group(cr);
    paintBody(n);
    cairo_pattern_t* pattern = popGroup(cr);
    if (transition) pattern = composeTransition(n, pattern);
    cairo_identity_matrix(cr);
    if (treeShadow) paintShadow(pattern, n.tree, p, p.opacity, nullptr);
    cairo_set_source(cr, pattern);
    cairo_paint_with_alpha(cr, std::min(1.0, p.opacity));
    cairo_pattern_destroy(pattern);
    cairo_restore(cr);
  }
};

cairo_surface_t* copyPixels(cairo_surface_t* target, Box box) {
  box = box.pixels().intersect(Box{0, 0, static_cast<double>(cairo_image_surface_get_width(target)),
                                   static_cast<double>(cairo_image_surface_get_height(target))});
  if (box.empty()) return nullptr;
  const int w = static_cast<int>(box.x1 - box.x0), h = static_cast<int>(box.y1 - box.y0);
  cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(copy);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, target, -box.x0, -box.y0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_set_device_offset(copy, -box.x0, -box.y0);
  return copy;
}

}  // namespace

struct LayerRenderer::State {
  cairo_surface_t* lastSurface = nullptr;
  int lastWidth = 0, lastHeight = 0;
  CGFloat lastScale = 0;
  bool invalid = true;
  uint64_t generation = 0;
  uint64_t drawnEpoch = 0;  // the change epoch the records were made in
  std::vector<std::unique_ptr<Rec>> roots;
  std::unordered_map<const CAAnimation*, Capture> captures;

  ~State() {
    for (auto& [animation, capture] : captures)
      if (capture.pixels) cairo_surface_destroy(capture.pixels);
  }
};

LayerRenderer::LayerRenderer() : state_(std::make_unique<State>()) {}

LayerRenderer::~LayerRenderer() = default;

void LayerRenderer::invalidate() { state_->invalid = true; }

std::vector<PixelRect> LayerRenderer::renderFrame(cairo_surface_t* surface, CGFloat scale,
                                                  const std::vector<Root>& roots, CFTimeInterval time,
                                                  const CGColorRef& backdrop) {
  if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE || !(scale > 0)) return {};
  const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
  State& st = *state_;
  const bool full = st.invalid || surface != st.lastSurface || width != st.lastWidth || height != st.lastHeight ||
                    scale != st.lastScale;
  const uint64_t generation = ++st.generation;
  // Changes from here on are the next frame's.
  const uint64_t epoch = zvt::ca::beginChangeEpoch();

  const Box whole{0, 0, static_cast<double>(width), static_cast<double>(height)};
  Region damage;
  damage.setLimit(whole);
  if (full) damage.add(whole);
  Frame frame;
  frame.scale = scale;
  frame.time = time;
  frame.damage = &damage;
  // A full frame looks at every layer again (the scale or the place may differ).
  frame.drawnEpoch = full ? 0 : st.drawnEpoch;
  std::vector<std::unique_ptr<Rec>> old = std::move(st.roots);
  st.roots.clear();
  const CALayer* previous = nullptr;
  bool changed = false;
  for (const auto& root : roots) {
    if (!root.layer) continue;
    std::unique_ptr<Rec> match;
    for (auto& candidate : old)
      if (candidate && candidate->layer == root.layer.get()) {
        match = std::move(candidate);
        break;
      }
    st.roots.push_back(
        frame.refresh(std::move(match), *root.layer, root.placement, 1, kEverywhere, previous, false, changed));
    previous = root.layer.get();
  }
  for (const auto& gone : old)
    if (gone) damage.add(gone->tree);
  st.drawnEpoch = epoch;
  lastExamined_ = frame.examined;

  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& root : st.roots) grew = growShadows(*root, damage) || grew;
  }

  // Transitions: what was shown under the layer when each began.
  Painter painter{nullptr, scale, &damage, {}, 0};
  for (const Rec* r : frame.transitions) {
    auto& capture = st.captures[r->transition.get()];
    if (capture.generation == 0 && !full) capture.pixels = copyPixels(surface, r->tree);
    capture.generation = generation;
    painter.befores[r->transition.get()] = capture.pixels;
  }
  for (auto it = st.captures.begin(); it != st.captures.end();) {
    if (it->second.generation != generation) {
      if (it->second.pixels) cairo_surface_destroy(it->second.pixels);
      it = st.captures.erase(it);
    } else {
      ++it;
    }
  }

  st.lastSurface = surface;
  st.lastWidth = width, st.lastHeight = height;
  st.lastScale = scale;
  st.invalid = false;
  lastDrawn_ = 0;
  lastAnimated_ = std::any_of(st.roots.begin(), st.roots.end(), [](const auto& r) { return r->animatedTree; });
  if (damage.empty()) return {};

  cairo_t* cr = cairo_create(surface);
  for (const Box& b : damage.boxes()) cairo_rectangle(cr, b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0);
  cairo_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (backdrop && !backdrop->pattern()) {
    CGFloat rgba[4];
    backdrop->getRGBA(rgba);
    cairo_set_source_rgba(cr, rgba[0], rgba[1], rgba[2], rgba[3]);
  } else {
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
  }
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  painter.cr = cr;
  for (const auto& root : st.roots) painter.paint(*root);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  lastDrawn_ = painter.drawn;

  std::vector<PixelRect> out;
  for (const Box& b : damage.boxes())
    out.push_back(PixelRect{static_cast<int>(b.x0), static_cast<int>(b.y0), static_cast<int>(b.x1 - b.x0),
                            static_cast<int>(b.y1 - b.y0)});
  return out;
}

CGImageRef LayerRenderer::imageOfLayer(CALayer& layer, CGFloat scale, CFTimeInterval time) {
  const CGRect bounds = layer.properties().bounds;
  if (!(scale > 0) || !(bounds.size.width > 0 && bounds.size.height > 0)) return nullptr;
  const double pw = std::ceil(bounds.size.width * scale - 1e-6), ph = std::ceil(bounds.size.height * scale - 1e-6);
  if (!(pw >= 1 && ph >= 1 && pw < 32768 && ph < 32768)) return nullptr;
  const int w = static_cast<int>(pw), h = static_cast<int>(ph);
  if (!zvt::imageSizeAllowed(static_cast<size_t>(w), static_cast<size_t>(h))) return nullptr;
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, w);
  std::vector<uint8_t> bytes(static_cast<size_t>(stride) * static_cast<size_t>(h), 0);
  cairo_surface_t* target = cairo_image_surface_create_for_data(bytes.data(), CAIRO_FORMAT_ARGB32, w, h, stride);
  Frame frame;
  frame.scale = scale;
  frame.time = time;
  bool changed = false;
  auto record = frame.refresh(nullptr, layer, CGAffineTransformIdentity, 1, kEverywhere, nullptr, true, changed);
  Region damage;
  damage.add(Box{0, 0, static_cast<double>(w), static_cast<double>(h)});
  if (record) {
    cairo_t* cr = cairo_create(target);
    Painter painter{cr, scale, &damage, {}, 0};
    painter.paint(*record);
    cairo_destroy(cr);
  }
  cairo_surface_flush(target);
  cairo_surface_destroy(target);
  auto data = NSData::dataWithVector(std::move(bytes));
  return CGImageCreate(static_cast<size_t>(w), static_cast<size_t>(h), 8, 32, static_cast<size_t>(stride),
                       CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
                       CGDataProviderCreateWithCFData(data), nullptr, false, kCGRenderingIntentDefault);
}

}  // namespace zvt::ca
