#pragma once
// UIKit's paths (UIBezierPath): a CGPath in UIKit's coordinates (origin top left, y down) with
// the line attributes to stroke it, filled, stroked or clipped in the current context
// (UIGraphicsGetCurrentContext) with the colours set there (UIColor::setFill / setStroke).
//
// Angles of arcs are radians from the x axis towards the y axis; `clockwise` is clockwise on
// the screen. Ovals and rounded rectangles run clockwise on the screen from their top (or
// right-most) point; corners are circular (or elliptic) quarter arcs.

#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGPath.h"
#include "platform/graphics/UIGeometry.h"

class UIBezierPath : public NSObject {
 public:
  static std::shared_ptr<UIBezierPath> bezierPath();
  static std::shared_ptr<UIBezierPath> bezierPathWithRect(CGRect rect);
  static std::shared_ptr<UIBezierPath> bezierPathWithOvalInRect(CGRect rect);
  // The radius is limited to half the shorter side; negative counts as 0.
  static std::shared_ptr<UIBezierPath> bezierPathWithRoundedRect(CGRect rect, CGFloat cornerRadius);
  // Only the corners named are rounded, elliptic, each radius limited to half its side.
  static std::shared_ptr<UIBezierPath> bezierPathWithRoundedRect(CGRect rect, UIRectCorner corners, CGSize cornerRadii);
  static std::shared_ptr<UIBezierPath> bezierPathWithArcCenter(CGPoint center, CGFloat radius, CGFloat startAngle,
                                                               CGFloat endAngle, bool clockwise);
  // nil for a nil path.
  static std::shared_ptr<UIBezierPath> bezierPathWithCGPath(const CGPathRef& path);

  void moveToPoint(CGPoint point);
  void addLineToPoint(CGPoint point);
  void addCurveToPoint(CGPoint endPoint, CGPoint controlPoint1, CGPoint controlPoint2);
  void addQuadCurveToPoint(CGPoint endPoint, CGPoint controlPoint);
  void addArcWithCenter(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);
  void closePath();
  void removeAllPoints();
  void appendPath(const std::shared_ptr<UIBezierPath>& bezierPath);
  void applyTransform(CGAffineTransform transform);

  // A copy of the path (changing it later does not change the copy).
  CGPathRef CGPath() const;
  void setCGPath(const CGPathRef& path);
  CGPoint currentPoint() const { return path_.currentPoint(); }
  bool isEmpty() const { return path_.isEmpty(); }
  // The bounds of the curves (control points may lie outside); CGRectZero when empty.
  CGRect bounds() const;
  bool containsPoint(CGPoint point) const;

  CGFloat lineWidth() const { return lineWidth_; }
  void setLineWidth(CGFloat width) { lineWidth_ = width; }
  CGLineCap lineCapStyle() const { return lineCap_; }
  void setLineCapStyle(CGLineCap cap) { lineCap_ = cap; }
  CGLineJoin lineJoinStyle() const { return lineJoin_; }
  void setLineJoinStyle(CGLineJoin join) { lineJoin_ = join; }
  CGFloat miterLimit() const { return miterLimit_; }
  void setMiterLimit(CGFloat limit) { miterLimit_ = limit; }
  CGFloat flatness() const { return flatness_; }
  void setFlatness(CGFloat flatness) { flatness_ = flatness; }
  bool usesEvenOddFillRule() const { return evenOdd_; }
  void setUsesEvenOddFillRule(bool evenOdd) { evenOdd_ = evenOdd; }
  // A null pattern or a count of 0 makes lines solid.
  void setLineDash(const CGFloat* pattern, NSInteger count, CGFloat phase);
  void getLineDash(CGFloat* pattern, NSInteger* count, CGFloat* phase) const;

  // In the current context; nothing happens without one. The context's state is left as it
  // was, except that addClip narrows its clip.
  void fill() const;
  void fill(CGBlendMode blendMode, CGFloat alpha) const;
  void stroke() const;
  void stroke(CGBlendMode blendMode, CGFloat alpha) const;
  void addClip() const;
  // Ours: the same into a given context.
  void fillInContext(const CGContextRef& context) const;
  void strokeInContext(const CGContextRef& context) const;

  id copyWithZone() const override;

  UIBezierPath() = default;

 private:
  ::CGPath path_;
  CGFloat lineWidth_ = 1, miterLimit_ = 10, flatness_ = 0.6;
  CGLineCap lineCap_ = kCGLineCapButt;
  CGLineJoin lineJoin_ = kCGLineJoinMiter;
  bool evenOdd_ = false;
  std::vector<CGFloat> dashes_;
  CGFloat dashPhase_ = 0;
};
