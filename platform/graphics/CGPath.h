#pragma once
// Paths (CoreGraphics' CGPath and CGMutablePath): sub-paths of lines and Bézier curves, with the
// usual shapes (rectangles, ellipses, rounded rectangles, arcs) added as curves, so that a path
// applied element by element holds only moves, lines, quadratic and cubic curves and closes.
//
// Angles are radians measured from the x axis towards the y axis. An arc with `clockwise` set
// runs towards decreasing angles: clockwise on a device whose y axis points up, counter-clockwise
// on the screen in UIKit's flipped coordinates (UIBezierPath's `clockwise` is the screen's).
// Every function taking a transform applies it (when not null) to the points it adds.

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGAffineTransform.h"

enum CGPathElementType : int32_t {
  kCGPathElementMoveToPoint = 0,
  kCGPathElementAddLineToPoint = 1,
  kCGPathElementAddQuadCurveToPoint = 2,
  kCGPathElementAddCurveToPoint = 3,
  kCGPathElementCloseSubpath = 4,
};

struct CGPathElement {
  CGPathElementType type;
  // 1 point for moves and lines (the end), 2 for quadratic curves (control, end), 3 for cubic
  // curves (control 1, control 2, end), none for a close.
  CGPoint* points;
};

class CGPath : public NSObject {
 public:
  struct Element {
    CGPathElementType type;
    CGPoint points[3];
  };

  CGPath() = default;
  explicit CGPath(std::vector<Element> elements);

  const std::vector<Element>& elements() const { return elements_; }
  bool isEmpty() const { return elements_.empty(); }
  // The end of the last element (the start of the sub-path after a close); zero when empty.
  CGPoint currentPoint() const { return current_; }
  bool hasCurrentPoint() const { return !elements_.empty(); }

  // Equal paths: the same elements with the same points.
  bool isEqual(const id& other) const override;
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;

  // --- Building (CGMutablePath's operations; the context's current path uses them too).
  void moveTo(CGPoint p);
  // A line, curve or close without a current point starts the sub-path at its point (a close
  // without one does nothing).
  void lineTo(CGPoint p);
  void quadTo(CGPoint control, CGPoint end);
  void curveTo(CGPoint control1, CGPoint control2, CGPoint end);
  void close();
  // Points are mapped by `t` (when given) as they are added.
  void addArc(CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise,
              const CGAffineTransform* t);
  void addRelativeArc(CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat delta,
                      const CGAffineTransform* t);
  void addArcToPoint(CGPoint p1, CGPoint p2, CGFloat radius, const CGAffineTransform* t);
  void addRect(CGRect rect, const CGAffineTransform* t);
  // Towards decreasing angles (CoreGraphics), or increasing ones (UIKit's ovals).
  void addEllipse(CGRect rect, const CGAffineTransform* t, bool increasingAngles = false);
  void addRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight, const CGAffineTransform* t);
  void addPath(const CGPath& other, const CGAffineTransform* t);
  void clear();

 private:
  void push(CGPathElementType type, std::initializer_list<CGPoint> points);

  std::vector<Element> elements_;
  CGPoint current_ = CGPointZero;
  CGPoint subpathStart_ = CGPointZero;
};

class CGMutablePath : public CGPath {
 public:
  CGMutablePath() = default;
  explicit CGMutablePath(std::vector<Element> elements) : CGPath(std::move(elements)) {}
  id copyWithZone() const override;
};

using CGPathRef = std::shared_ptr<CGPath>;
using CGMutablePathRef = std::shared_ptr<CGMutablePath>;

CGMutablePathRef CGPathCreateMutable();
// nil for nil.
CGPathRef CGPathCreateCopy(const CGPathRef& path);
CGPathRef CGPathCreateCopyByTransformingPath(const CGPathRef& path, const CGAffineTransform* transform);
CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path);
CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* transform);
CGPathRef CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* transform);
// Corner sizes are limited to half the rectangle's sides; negative ones count as 0.
CGPathRef CGPathCreateWithRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight,
                                      const CGAffineTransform* transform);

// The builders do nothing for a nil path.
void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cpx, CGFloat cpy,
                               CGFloat x, CGFloat y);
void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat cp1x, CGFloat cp1y,
                           CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y);
void CGPathCloseSubpath(const CGMutablePathRef& path);
void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect);
void CGPathAddRects(const CGMutablePathRef& path, const CGAffineTransform* m, const CGRect* rects, size_t count);
void CGPathAddLines(const CGMutablePathRef& path, const CGAffineTransform* m, const CGPoint* points, size_t count);
void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect);
void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* m, CGRect rect, CGFloat cornerWidth,
                          CGFloat cornerHeight);
// A line from the current point to the arc's start, then the arc (a full circle at most).
void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat radius,
                  CGFloat startAngle, CGFloat endAngle, bool clockwise);
void CGPathAddRelativeArc(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x, CGFloat y,
                          CGFloat radius, CGFloat startAngle, CGFloat delta);
// The arc of the radius tangent to the lines from the current point to (x1, y1) and from there to
// (x2, y2), preceded by a line to its first tangent point; a line to (x1, y1) when the points
// are in one line or the radius is 0.
void CGPathAddArcToPoint(const CGMutablePathRef& path, const CGAffineTransform* m, CGFloat x1, CGFloat y1, CGFloat x2,
                         CGFloat y2, CGFloat radius);
void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* m, const CGPathRef& path2);

bool CGPathIsEmpty(const CGPathRef& path);
bool CGPathEqualToPath(const CGPathRef& a, const CGPathRef& b);
// True for a path that is exactly one closed rectangle (as CGPathAddRect makes); `rect` gets it.
bool CGPathIsRect(const CGPathRef& path, CGRect* rect);
CGPoint CGPathGetCurrentPoint(const CGPathRef& path);
// Of every point including control points; CGRectNull for an empty path.
CGRect CGPathGetBoundingBox(const CGPathRef& path);
// Of the curves themselves; CGRectNull for an empty path.
CGRect CGPathGetPathBoundingBox(const CGPathRef& path);
// Whether the point (mapped by `m`) lies inside the path filled by the non-zero winding rule, or
// the even-odd rule when `eoFill` is set (open sub-paths count as closed).
bool CGPathContainsPoint(const CGPathRef& path, const CGAffineTransform* m, CGPoint point, bool eoFill);
// Calls the function for every element, in order.
void CGPathApply(const CGPathRef& path, const std::function<void(const CGPathElement* element)>& function);
inline void CGPathRelease(const CGPathRef&) {}

namespace zvt::graphics {
// The element's points mapped by the transform (all of them, whatever the type).
CGPath::Element transformElement(const CGPath::Element& e, const CGAffineTransform& t);
}  // namespace zvt::graphics
