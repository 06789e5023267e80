#include "platform/graphics/CGPath.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The distance of a cubic's control points that best follows a quarter circle of radius 1.
constexpr double kQuarterKappa = 0.5522847498307936;

CGPoint apply(CGPoint p, const CGAffineTransform* t) { return t ? CGPointApplyAffineTransform(p, *t) : p; }

// One cubic per at most a quarter turn, from angle a0 over `sweep`.
void arcCurves(CGPath& path, CGFloat cx, CGFloat cy, CGFloat r, double a0, double sweep, const CGAffineTransform* t) {
  const int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (kPi / 2) - 1e-9)));
  const double step = sweep / pieces;
  const double k = 4.0 / 3.0 * std::tan(step / 4) * r;
  double a = a0;
  for (int i = 0; i < pieces; ++i) {
    double b = a + step;
    CGPoint p0{cx + r * std::cos(a), cy + r * std::sin(a)};
    CGPoint p3{cx + r * std::cos(b), cy + r * std::sin(b)};
    CGPoint c1{p0.x - k * std::sin(a), p0.y + k * std::cos(a)};
    CGPoint c2{p3.x + k * std::sin(b), p3.y - k * std::cos(b)};
    path.curveTo(apply(c1, t), apply(c2, t), apply(p3, t));
    a = b;
  }
}

bool finite(CGPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

CGPath::CGPath(std::vector<Element> elements) {
  for (const auto& e : elements) {
    switch (e.type) {
      case kCGPathElementMoveToPoint: moveTo(e.points[0]); break;
      case kCGPathElementAddLineToPoint: lineTo(e.points[0]); break;
      case kCGPathElementAddQuadCurveToPoint: quadTo(e.points[0], e.points[1]); break;
      case kCGPathElementAddCurveToPoint: curveTo(e.points[0], e.points[1], e.points[2]); break;
      case kCGPathElementCloseSubpath: close(); break;
    }
  }
}

void CGPath::push(CGPathElementType type, std::initializer_list<CGPoint> points) {
  Element e{type, {}};
  size_t i = 0;
  for (const auto& p : points) e.points[i++] = p;
  elements_.push_back(e);
}

void CGPath::moveTo(CGPoint p) {
  if (!finite(p)) return;
  // Consecutive moves: only the last one counts.
  if (!elements_.empty() && elements_.back().type == kCGPathElementMoveToPoint) {
    elements_.back().points[0] = p;
  } else {
    push(kCGPathElementMoveToPoint, {p});
  }
  current_ = subpathStart_ = p;
}

void CGPath::lineTo(CGPoint p) {
  if (!finite(p)) return;
  if (elements_.empty()) return moveTo(p);
  push(kCGPathElementAddLineToPoint, {p});
  current_ = p;
}

void CGPath::quadTo(CGPoint control, CGPoint end) {
  if (!finite(control) || !finite(end)) return;
  if (elements_.empty()) moveTo(control);
  push(kCGPathElementAddQuadCurveToPoint, {control, end});
  current_ = end;
}

void CGPath::curveTo(CGPoint control1, CGPoint control2, CGPoint end) {
  if (!finite(control1) || !finite(control2) || !finite(end)) return;
  if (elements_.empty()) moveTo(control1);
  push(kCGPathElementAddCurveToPoint, {control1, control2, end});
  current_ = end;
}

void CGPath::close() {
  if (elements_.empty() || elements_.back().type == kCGPathElementCloseSubpath) return;
  push(kCGPathElementCloseSubpath, {});
  current_ = subpathStart_;
}

void CGPath::clear() {
  elements_.clear();
  current_ = subpathStart_ = CGPointZero;
}

void CGPath::addArc(CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise,
                    const CGAffineTransform* t) {
  if (!std::isfinite(startAngle) || !std::isfinite(endAngle)) return;
  double sweep = endAngle - startAngle;
  // Counter-clockwise (increasing angles) from start to end, wrapping round: at most one turn.
  if (!clockwise) {
    if (sweep < 0) sweep = std::fmod(sweep, 2 * kPi) + 2 * kPi;
    sweep = std::min(sweep, 2 * kPi);
  } else {
    if (sweep > 0) sweep = std::fmod(sweep, 2 * kPi) - 2 * kPi;
    sweep = std::max(sweep, -2 * kPi);
  }
  addRelativeArc(x, y, radius, startAngle, sweep, t);
}

void CGPath::addRelativeArc(CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat delta,
                            const CGAffineTransform* t) {
  if (!std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(delta)) return;
  radius = std::fabs(radius);
  CGPoint start = apply(CGPoint{x + radius * std::cos(startAngle), y + radius * std::sin(startAngle)}, t);
  if (elements_.empty()) {
    moveTo(start);
  } else {
    lineTo(start);
  }
  if (delta == 0 || radius == 0) return;
  arcCurves(*this, x, y, radius, startAngle, std::clamp(delta, -2 * kPi, 2 * kPi), t);
}

void CGPath::addArcToPoint(CGPoint p1, CGPoint p2, CGFloat radius, const CGAffineTransform* t) {
  if (!finite(p1) || !finite(p2) || !std::isfinite(radius)) return;
  if (elements_.empty()) return moveTo(apply(p1, t));
  // Work in the caller's space: the current point mapped back.
  CGPoint p0 = current_;
  if (t) p0 = CGPointApplyAffineTransform(p0, CGAffineTransformInvert(*t));
  const double ux = p0.x - p1.x, uy = p0.y - p1.y, vx = p2.x - p1.x, vy = p2.y - p1.y;
  const double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
  const double cross = ux * vy - uy * vx;
  if (radius <= 0 || lu == 0 || lv == 0 || std::fabs(cross) < 1e-12 * lu * lv) return lineTo(apply(p1, t));
  // The angle at p1 between the two lines, and the tangent points at `d` from p1.
  const double cosTheta = std::clamp((ux * vx + uy * vy) / (lu * lv), -1.0, 1.0);
  const double theta = std::acos(cosTheta);
  const double d = radius / std::tan(theta / 2);
  CGPoint t0{p1.x + ux / lu * d, p1.y + uy / lu * d};
  CGPoint t1{p1.x + vx / lv * d, p1.y + vy / lv * d};
  // The centre lies along the bisector at radius / sin(theta / 2).
  double bx = ux / lu + vx / lv, by = uy / lu + vy / lv;
  const double lb = std::hypot(bx, by);
  const double h = radius / std::sin(theta / 2);
  CGPoint c{p1.x + bx / lb * h, p1.y + by / lb * h};
  const double a0 = std::atan2(t0.y - c.y, t0.x - c.x), a1 = std::atan2(t1.y - c.y, t1.x - c.x);
  double sweep = a1 - a0;
  // The short way round, in the direction the corner turns.
  while (sweep > kPi) sweep -= 2 * kPi;
  while (sweep < -kPi) sweep += 2 * kPi;
  lineTo(apply(t0, t));
  arcCurves(*this, c.x, c.y, radius, a0, sweep, t);
}

void CGPath::addRect(CGRect rect, const CGAffineTransform* t) {
  const CGFloat x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
  moveTo(apply({x, y}, t));
  lineTo(apply({x + w, y}, t));
  lineTo(apply({x + w, y + h}, t));
  lineTo(apply({x, y + h}, t));
  close();
}

void CGPath::addEllipse(CGRect rect, const CGAffineTransform* t, bool increasingAngles) {
  rect = CGRectStandardize(rect);
  const double rx = rect.size.width / 2, ry = rect.size.height / 2;
  const double cx = rect.origin.x + rx, cy = rect.origin.y + ry;
  const double kx = rx * kQuarterKappa;
  // From the right-most point; CoreGraphics' ellipses turn towards decreasing angles, UIKit's
  // ovals the other way.
  const double ky = (increasingAngles ? 1 : -1) * ry * kQuarterKappa, sy = increasingAngles ? ry : -ry;
  moveTo(apply({cx + rx, cy}, t));
  curveTo(apply({cx + rx, cy + ky}, t), apply({cx + kx, cy + sy}, t), apply({cx, cy + sy}, t));
  curveTo(apply({cx - kx, cy + sy}, t), apply({cx - rx, cy + ky}, t), apply({cx - rx, cy}, t));
  curveTo(apply({cx - rx, cy - ky}, t), apply({cx - kx, cy - sy}, t), apply({cx, cy - sy}, t));
  curveTo(apply({cx + kx, cy - sy}, t), apply({cx + rx, cy - ky}, t), apply({cx + rx, cy}, t));
  close();
}

void CGPath::addRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight, const CGAffineTransform* t) {
  rect = CGRectStandardize(rect);
  const double w = rect.size.width, h = rect.size.height;
  const double rx = std::clamp(std::isfinite(cornerWidth) ? cornerWidth : 0.0, 0.0, w / 2);
  const double ry = std::clamp(std::isfinite(cornerHeight) ? cornerHeight : 0.0, 0.0, h / 2);
  if (rx == 0 || ry == 0) return addRect(rect, t);
  const double x0 = rect.origin.x, y0 = rect.origin.y, x1 = x0 + w, y1 = y0 + h;
  const double kx = rx * kQuarterKappa, ky = ry * kQuarterKappa;
  moveTo(apply({x0 + rx, y0}, t));
  lineTo(apply({x1 - rx, y0}, t));
  curveTo(apply({x1 - rx + kx, y0}, t), apply({x1, y0 + ry - ky}, t), apply({x1, y0 + ry}, t));
  lineTo(apply({x1, y1 - ry}, t));
  curveTo(apply({x1, y1 - ry + ky}, t), apply({x1 - rx + kx, y1}, t), apply({x1 - rx, y1}, t));
  lineTo(apply({x0 + rx, y1}, t));
  curveTo(apply({x0 + rx - kx, y1}, t), apply({x0, y1 - ry + ky}, t), apply({x0, y1 - ry}, t));
  lineTo(apply({x0, y0 + ry}, t));
  curveTo(apply({x0, y0 + ry - ky}, t), apply({x0 + rx - kx, y0}, t), apply({x0 + rx, y0}, t));
  close();
}

void CGPath::addPath(const CGPath& other, const CGAffineTransform* t) {
  const auto elements = other.elements_;  // `other` may be this path
  for (const auto& e : elements) {
    Element m = t ? zvt::graphics::transformElement(e, *t) : e;
    switch (m.type) {
      case kCGPathElementMoveToPoint: moveTo(m.points[0]); break;
      case kCGPathElementAddLineToPoint: lineTo(m.points[0]); break;
      case kCGPathElementAddQuadCurveToPoint: quadTo(m.points[0], m.points[1]); break;
      case kCGPathElementAddCurveToPoint: curveTo(m.points[0], m.points[1], m.points[2]); break;
      case kCGPathElementCloseSubpath: close(); break;
    }
  }
}

bool CGPath::isEqual(const id& other) const {
  auto o = zvt::as<CGPath>(other);
  if (!o || o->elements_.size() != elements_.size()) return false;
  for (size_t i = 0; i < elements_.size(); ++i) {
    const auto &a = elements_[i], &b = o->elements_[i];
    if (a.type != b.type) return false;
    for (int k = 0; k < 3; ++k) {
      if (!(a.points[k] == b.points[k])) return false;
    }
  }
  return true;
}

id CGPath::copyWithZone() const { return std::make_shared<CGPath>(elements_); }
id CGPath::mutableCopyWithZone() const { return std::make_shared<CGMutablePath>(elements_); }
id CGMutablePath::copyWithZone() const { return std::make_shared<CGPath>(elements()); }

namespace zvt::graphics {
CGPath::Element transformElement(const CGPath::Element& e, const CGAffineTransform& t) {
  CGPath::Element out = e;
  for (auto& p : out.points) p = CGPointApplyAffineTransform(p, t);
  return out;
}
}  // namespace zvt::graphics

// --- The C functions.

CGMutablePathRef CGPathCreateMutable() { return std::make_shared<CGMutablePath>(); }

CGPathRef CGPathCreateCopy(const CGPathRef& path) {
  return path ? std::make_shared<CGPath>(path->elements()) : nullptr;
}

CGPathRef CGPathCreateCopyByTransformingPath(const CGPathRef& path, const CGAffineTransform* transform) {
  if (!path) return nullptr;
  auto copy = std::make_shared<CGPath>();
  copy->addPath(*path, transform);
  return copy;
}

CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path) {
  return path ? std::make_shared<CGMutablePath>(path->elements()) : nullptr;
}

CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* transform) {
  auto path = std::make_shared<CGPath>();
  path->addRect(rect, transform);
  return path;
}

CGPathRef CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* transform) {
  auto path = std::make_shared<CGPath>();
  path->addEllipse(rect, transform);
  return path;
}

CGPathRef CGPathCreateWithRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight,
                                      const CGAffineTransform* transform) {
  auto path = std::make_shared<CGPath>();
  path->addRoundedRect(rect, cornerWidth, cornerHeight, transform);
  return path;
}

void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
  if (path) path->moveTo(apply({x, y}, m));
}
void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
  if (path) path->lineTo(apply({x, y}, m));
}
void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cpx, CGFloat cpy,
                               CGFloat x, CGFloat y) {
  if (path) path->quadTo(apply({cpx, cpy}, m), apply({x, y}, m));
}
void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cp1x, CGFloat cp1y,
                           CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y) {
  if (path) path->curveTo(apply({cp1x, cp1y}, m), apply({cp2x, cp2y}, m), apply({x, y}, m));
}
void CGPathCloseSubpath(const CGMutablePathRef& path) {
  if (path) path->close();
}
void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect) {
  if (path) path->addRect(rect, m);
}
void CGPathAddRects(const CGMutablePathRef& path, const CGAffineTransform* m, const CGRect* rects, size_t count) {
  if (!path || !rects) return;
  for (size_t i = 0; i < count; ++i) path->addRect(rects[i], m);
}
void CGPathAddLines(const CGMutablePathRef& path, const CGAffineTransform* m, const CGPoint* points, size_t count) {
  if (!path || !points || count == 0) return;
  path->moveTo(apply(points[0], m));
  for (size_t i = 1; i < count; ++i) path->lineTo(apply(points[i], m));
}
void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect) {
  if (path) path->addEllipse(rect, m);
}
void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect, CGFloat cornerWidth,
                          CGFloat cornerHeight) {
  if (path) path->addRoundedRect(rect, cornerWidth, cornerHeight, m);
}
void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat radius,
                  CGFloat startAngle, CGFloat endAngle, bool clockwise) {
  if (path) path->addArc(x, y, radius, startAngle, endAngle, clockwise, m);
}
void CGPathAddRelativeArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y,
                          CGFloat radius, CGFloat startAngle, CGFloat delta) {
  if (path) path->addRelativeArc(x, y, radius, startAngle, delta, m);
}
void CGPathAddArcToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x1, CGFloat y1, CGFloat x2,
                         CGFloat y2, CGFloat radius) {
  if (path) path->addArcToPoint({x1, y1}, {x2, y2}, radius, m);
}
void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* m, const CGPathRef& path2) {
  if (path && path2) path->addPath(*path2, m);
}

bool CGPathIsEmpty(const CGPathRef& path) { return !path || path->isEmpty(); }

bool CGPathEqualToPath(const CGPathRef& a, const CGPathRef& b) {
  if (a == b) return true;
  return a && b && a->isEqual(b);
}

bool CGPathIsRect(const CGPathRef& path, CGRect* rect) {
  if (!path) return false;
  const auto& e = path->elements();
  if (e.size() != 5 || e[0].type != kCGPathElementMoveToPoint || e[4].type != kCGPathElementCloseSubpath) return false;
  for (int i = 1; i < 4; ++i) {
    if (e[i].type != kCGPathElementAddLineToPoint) return false;
  }
  CGPoint p0 = e[0].points[0], p1 = e[1].points[0], p2 = e[2].points[0], p3 = e[3].points[0];
  bool horizontalFirst = p0.y == p1.y && p1.x == p2.x && p2.y == p3.y && p3.x == p0.x;
  bool verticalFirst = p0.x == p1.x && p1.y == p2.y && p2.x == p3.x && p3.y == p0.y;
  if (!horizontalFirst && !verticalFirst) return false;
  if (rect) *rect = CGRectStandardize(CGRectMake(p0.x, p0.y, p2.x - p0.x, p2.y - p0.y));
  return true;
}

CGPoint CGPathGetCurrentPoint(const CGPathRef& path) { return path ? path->currentPoint() : CGPointZero; }

CGRect CGPathGetBoundingBox(const CGPathRef& path) {
  if (!path || path->isEmpty()) return CGRectNull;
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (const auto& e : path->elements()) {
    int n = e.type == kCGPathElementCloseSubpath ? 0 : e.type == kCGPathElementAddCurveToPoint ? 3
                                                   : e.type == kCGPathElementAddQuadCurveToPoint ? 2 : 1;
    for (int k = 0; k < n; ++k) {
      x0 = std::min(x0, e.points[k].x), y0 = std::min(y0, e.points[k].y);
      x1 = std::max(x1, e.points[k].x), y1 = std::max(y1, e.points[k].y);
    }
  }
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

namespace {

// Walks the path as polylines (curves flattened finely), calling `segment(a, b)` for every
// line piece, with the implicit closing line of each sub-path.
template <class F>
void flatten(const CGPath& path, F segment) {
  CGPoint start{}, current{};
  bool open = false;
  auto closeSub = [&] {
    if (open && !(current == start)) segment(current, start);
    open = false;
  };
  for (const auto& e : path.elements()) {
    switch (e.type) {
      case kCGPathElementMoveToPoint:
        closeSub();
        start = current = e.points[0];
        open = true;
        break;
      case kCGPathElementAddLineToPoint:
        segment(current, e.points[0]);
        current = e.points[0];
        open = true;
        break;
      case kCGPathElementAddQuadCurveToPoint:
      case kCGPathElementAddCurveToPoint: {
        const bool cubic = e.type == kCGPathElementAddCurveToPoint;
        CGPoint p0 = current, c1 = e.points[0], c2 = cubic ? e.points[1] : e.points[0], p3 = cubic ? e.points[2] : e.points[1];
        if (!cubic) {  // the quadratic as a cubic
          c1 = CGPoint{p0.x + 2.0 / 3.0 * (e.points[0].x - p0.x), p0.y + 2.0 / 3.0 * (e.points[0].y - p0.y)};
          c2 = CGPoint{p3.x + 2.0 / 3.0 * (e.points[0].x - p3.x), p3.y + 2.0 / 3.0 * (e.points[0].y - p3.y)};
        }
        const int steps = 32;
        CGPoint prev = p0;
        for (int i = 1; i <= steps; ++i) {
          double t = static_cast<double>(i) / steps, u = 1 - t;
          CGPoint p{u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x,
                    u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y};
          segment(prev, p);
          prev = p;
        }
        current = p3;
        open = true;
        break;
      }
      case kCGPathElementCloseSubpath:
        closeSub();
        current = start;
        break;
    }
  }
  closeSub();
}

}  // namespace

CGRect CGPathGetPathBoundingBox(const CGPathRef& path) {
  if (!path || path->isEmpty()) return CGRectNull;
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  auto add = [&](CGPoint p) {
    x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  };
  // Curves bulge at most where their flattening reaches; the end points count exactly.
  for (const auto& e : path->elements()) {
    if (e.type == kCGPathElementMoveToPoint) add(e.points[0]);
  }
  flatten(*path, [&](CGPoint a, CGPoint b) {
    add(a);
    add(b);
  });
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

bool CGPathContainsPoint(const CGPathRef& path, const CGAffineTransform* m, CGPoint point, bool eoFill) {
  if (!path || path->isEmpty()) return false;
  CGPoint p = apply(point, m);
  int winding = 0;
  flatten(*path, [&](CGPoint a, CGPoint b) {
    // Crossings of the ray to the right of the point.
    if ((a.y <= p.y) != (b.y <= p.y)) {
      double x = a.x + (p.y - a.y) / (b.y - a.y) * (b.x - a.x);
      if (x > p.x) winding += b.y > a.y ? 1 : -1;
    }
  });
  return eoFill ? (winding % 2) != 0 : winding != 0;
}

void CGPathApply(const CGPathRef& path, const std::function<void(const CGPathElement*)>& function) {
  if (!path || !function) return;
  for (const auto& e : path->elements()) {
    CGPath::Element copy = e;
    CGPathElement element{copy.type, copy.points};
    function(&element);
  }
}
