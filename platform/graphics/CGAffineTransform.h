#pragma once
// Affine transforms of the plane (CoreGraphics' CGAffineTransform): the matrix
//   | a  b  0 |
//   | c  d  0 |
//   | tx ty 1 |
// applied to row vectors, so a point (x, y) maps to (a x + c y + tx, b x + d y + ty), and
// Concat(t1, t2) applies t1 first, then t2.

#include <cmath>
#include <memory>

#include "platform/foundation/NSGeometry.h"

struct CGAffineTransform {
  CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  friend bool operator==(const CGAffineTransform&, const CGAffineTransform&) = default;
};

inline constexpr CGAffineTransform CGAffineTransformIdentity{};

inline constexpr CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx,
                                                         CGFloat ty) {
  return CGAffineTransform{a, b, c, d, tx, ty};
}
inline constexpr CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) {
  return CGAffineTransform{1, 0, 0, 1, tx, ty};
}
inline constexpr CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) {
  return CGAffineTransform{sx, 0, 0, sy, 0, 0};
}
// Radians; positive angles turn from the x axis towards the y axis (clockwise on a screen whose
// y axis points down). Quarter turns are exact.
CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle);

// t1 then t2.
inline constexpr CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2) {
  return CGAffineTransform{t1.a * t2.a + t1.b * t2.c,
                           t1.a * t2.b + t1.b * t2.d,
                           t1.c * t2.a + t1.d * t2.c,
                           t1.c * t2.b + t1.d * t2.d,
                           t1.tx * t2.a + t1.ty * t2.c + t2.tx,
                           t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}
// The translation, scale or rotation applied before t (in t's input space).
inline constexpr CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty) {
  return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}
inline constexpr CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy) {
  return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}
inline CGAffineTransform CGAffineTransformRotate(CGAffineTransform t, CGFloat angle) {
  return CGAffineTransformConcat(CGAffineTransformMakeRotation(angle), t);
}
// The inverse; a transform that cannot be inverted comes back unchanged, as CoreGraphics does.
CGAffineTransform CGAffineTransformInvert(CGAffineTransform t);
inline constexpr bool CGAffineTransformIsIdentity(CGAffineTransform t) { return t == CGAffineTransformIdentity; }
inline constexpr bool CGAffineTransformEqualToTransform(CGAffineTransform t1, CGAffineTransform t2) {
  return t1 == t2;
}

inline constexpr CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t) {
  return CGPoint{t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}
// Sizes ignore the translation.
inline constexpr CGSize CGSizeApplyAffineTransform(CGSize s, CGAffineTransform t) {
  return CGSize{t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}
// The smallest rectangle holding the four transformed corners.
CGRect CGRectApplyAffineTransform(CGRect rect, CGAffineTransform t);

// "[a, b, c, d, tx, ty]".
std::shared_ptr<NSString> NSStringFromCGAffineTransform(CGAffineTransform t);
