#include "platform/graphics/UIBezierPath.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/UIImage.h"

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPath() { return std::make_shared<UIBezierPath>(); }

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPathWithRect(CGRect rect) {
  auto p = bezierPath();
  p->path_.addRect(CGRectStandardize(rect), nullptr);
  return p;
}

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPathWithOvalInRect(CGRect rect) {
  auto p = bezierPath();
  p->path_.addEllipse(rect, nullptr, true);
  return p;
}

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPathWithRoundedRect(CGRect rect, CGFloat cornerRadius) {
  rect = CGRectStandardize(rect);
  const CGFloat limit = std::min(rect.size.width, rect.size.height) / 2;
  const CGFloat r = std::isfinite(cornerRadius) ? std::clamp(cornerRadius, 0.0, std::max(0.0, limit)) : 0.0;
  return bezierPathWithRoundedRect(rect, UIRectCornerAllCorners, CGSizeMake(r, r));
}

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPathWithRoundedRect(CGRect rect, UIRectCorner corners,
                                                                      CGSize cornerRadii) {
  auto p = bezierPath();
  rect = CGRectStandardize(rect);
  const double w = rect.size.width, h = rect.size.height;
  auto sane = [](double v, double limit) { return std::isfinite(v) && v > 0 ? std::min(v, limit) : 0.0; };
  const double rx = sane(cornerRadii.width, w / 2), ry = sane(cornerRadii.height, h / 2);
  const double x0 = rect.origin.x, y0 = rect.origin.y, x1 = x0 + w, y1 = y0 + h;
  auto r = [&](UIRectCorner c) { return (corners & c) && rx > 0 && ry > 0; };
  // Clockwise on the screen from the top edge, each rounded corner a quarter ellipse.
  const double k = 0.5522847498307936;
  auto& path = p->path_;
  path.moveTo({r(UIRectCornerTopLeft) ? x0 + rx : x0, y0});
  if (r(UIRectCornerTopRight)) {
    path.lineTo({x1 - rx, y0});
    path.curveTo({x1 - rx + k * rx, y0}, {x1, y0 + ry - k * ry}, {x1, y0 + ry});
  } else {
    path.lineTo({x1, y0});
  }
  if (r(UIRectCornerBottomRight)) {
    path.lineTo({x1, y1 - ry});
    path.curveTo({x1, y1 - ry + k * ry}, {x1 - rx + k * rx, y1}, {x1 - rx, y1});
  } else {
    path.lineTo({x1, y1});
  }
  if (r(UIRectCornerBottomLeft)) {
    path.lineTo({x0 + rx, y1});
    path.curveTo({x0 + rx - k * rx, y1}, {x0, y1 - ry + k * ry}, {x0, y1 - ry});
  } else {
    path.lineTo({x0, y1});
  }
  if (r(UIRectCornerTopLeft)) {
    path.lineTo({x0, y0 + ry});
    path.curveTo({x0, y0 + ry - k * ry}, {x0 + rx - k * rx, y0}, {x0 + rx, y0});
  }
  path.close();
  return p;
}

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPathWithArcCenter(CGPoint center, CGFloat radius,
                                                                    CGFloat startAngle, CGFloat endAngle,
                                                                    bool clockwise) {
  auto p = bezierPath();
  p->addArcWithCenter(center, radius, startAngle, endAngle, clockwise);
  return p;
}

std::shared_ptr<UIBezierPath> UIBezierPath::bezierPathWithCGPath(const CGPathRef& path) {
  if (!path) return nullptr;
  auto p = bezierPath();
  p->path_.addPath(*path, nullptr);
  return p;
}

void UIBezierPath::moveToPoint(CGPoint point) { path_.moveTo(point); }
void UIBezierPath::addLineToPoint(CGPoint point) { path_.lineTo(point); }
void UIBezierPath::addCurveToPoint(CGPoint endPoint, CGPoint controlPoint1, CGPoint controlPoint2) {
  path_.curveTo(controlPoint1, controlPoint2, endPoint);
}
void UIBezierPath::addQuadCurveToPoint(CGPoint endPoint, CGPoint controlPoint) { path_.quadTo(controlPoint, endPoint); }
void UIBezierPath::addArcWithCenter(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                                    bool clockwise) {
  // Clockwise on the screen (y down) is towards increasing angles: CoreGraphics' counter-clockwise.
  path_.addArc(center.x, center.y, radius, startAngle, endAngle, !clockwise, nullptr);
}
void UIBezierPath::closePath() { path_.close(); }
void UIBezierPath::removeAllPoints() { path_.clear(); }
void UIBezierPath::appendPath(const std::shared_ptr<UIBezierPath>& bezierPath) {
  if (bezierPath) path_.addPath(bezierPath->path_, nullptr);
}
void UIBezierPath::applyTransform(CGAffineTransform transform) {
  ::CGPath moved;
  moved.addPath(path_, &transform);
  path_ = moved;
}

CGPathRef UIBezierPath::CGPath() const { return std::make_shared<::CGPath>(path_.elements()); }

void UIBezierPath::setCGPath(const CGPathRef& path) {
  path_.clear();
  if (path) path_.addPath(*path, nullptr);
}

CGRect UIBezierPath::bounds() const {
  if (path_.isEmpty()) return CGRectZero;
  return CGPathGetPathBoundingBox(CGPath());
}

bool UIBezierPath::containsPoint(CGPoint point) const {
  return CGPathContainsPoint(CGPath(), nullptr, point, evenOdd_);
}

void UIBezierPath::setLineDash(const CGFloat* pattern, NSInteger count, CGFloat phase) {
  dashes_.clear();
  if (pattern && count > 0) dashes_.assign(pattern, pattern + count);
  dashPhase_ = phase;
}

void UIBezierPath::getLineDash(CGFloat* pattern, NSInteger* count, CGFloat* phase) const {
  if (pattern) std::copy(dashes_.begin(), dashes_.end(), pattern);
  if (count) *count = static_cast<NSInteger>(dashes_.size());
  if (phase) *phase = dashPhase_;
}

void UIBezierPath::fillInContext(const CGContextRef& context) const {
  if (!context) return;
  CGContextSaveGState(context);
  CGContextBeginPath(context);
  CGContextAddPath(context, CGPath());
  if (evenOdd_) {
    CGContextEOFillPath(context);
  } else {
    CGContextFillPath(context);
  }
  CGContextRestoreGState(context);
}

void UIBezierPath::strokeInContext(const CGContextRef& context) const {
  if (!context) return;
  CGContextSaveGState(context);
  CGContextSetLineWidth(context, lineWidth_);
  CGContextSetLineCap(context, lineCap_);
  CGContextSetLineJoin(context, lineJoin_);
  CGContextSetMiterLimit(context, miterLimit_);
  CGContextSetLineDash(context, dashPhase_, dashes_.data(), dashes_.size());
  CGContextBeginPath(context);
  CGContextAddPath(context, CGPath());
  CGContextStrokePath(context);
  CGContextRestoreGState(context);
}

void UIBezierPath::fill() const { fillInContext(UIGraphicsGetCurrentContext()); }
void UIBezierPath::stroke() const { strokeInContext(UIGraphicsGetCurrentContext()); }

void UIBezierPath::fill(CGBlendMode blendMode, CGFloat alpha) const {
  auto context = UIGraphicsGetCurrentContext();
  if (!context) return;
  CGContextSaveGState(context);
  CGContextSetBlendMode(context, blendMode);
  CGContextSetAlpha(context, alpha);
  fillInContext(context);
  CGContextRestoreGState(context);
}

void UIBezierPath::stroke(CGBlendMode blendMode, CGFloat alpha) const {
  auto context = UIGraphicsGetCurrentContext();
  if (!context) return;
  CGContextSaveGState(context);
  CGContextSetBlendMode(context, blendMode);
  CGContextSetAlpha(context, alpha);
  strokeInContext(context);
  CGContextRestoreGState(context);
}

void UIBezierPath::addClip() const {
  auto context = UIGraphicsGetCurrentContext();
  if (!context) return;
  CGContextBeginPath(context);
  CGContextAddPath(context, CGPath());
  if (evenOdd_) {
    CGContextEOClip(context);
  } else {
    CGContextClip(context);
  }
}

id UIBezierPath::copyWithZone() const {
  auto copy = std::make_shared<UIBezierPath>(*this);
  return copy;
}
