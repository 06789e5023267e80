#pragma once
// 3D transforms of layers (CATransform3D): a 4 x 4 matrix applied to row vectors, so that
// Concat(a, b) applies a first, then b, as with CGAffineTransform. Layers of the view tree
// carry affine transforms in practice; the full matrix is kept for what layers allow.

#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSValue.h"
#include "platform/graphics/CGAffineTransform.h"

struct CATransform3D {
  CGFloat m11 = 1, m12 = 0, m13 = 0, m14 = 0;
  CGFloat m21 = 0, m22 = 1, m23 = 0, m24 = 0;
  CGFloat m31 = 0, m32 = 0, m33 = 1, m34 = 0;
  CGFloat m41 = 0, m42 = 0, m43 = 0, m44 = 1;
  friend bool operator==(const CATransform3D&, const CATransform3D&) = default;
};

inline constexpr CATransform3D CATransform3DIdentity{};

inline bool CATransform3DIsIdentity(const CATransform3D& t) { return t == CATransform3DIdentity; }
inline bool CATransform3DEqualToTransform(const CATransform3D& a, const CATransform3D& b) { return a == b; }

CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz);
CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz);
// A rotation by `angle` radians about the vector (x, y, z); a zero vector gives the identity.
// About (0, 0, 1) it equals CGAffineTransformMakeRotation (quarter turns exact).
CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z);
// a then b.
CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b);
// The translation, scale or rotation applied before t (in t's input space).
CATransform3D CATransform3DTranslate(const CATransform3D& t, CGFloat tx, CGFloat ty, CGFloat tz);
CATransform3D CATransform3DScale(const CATransform3D& t, CGFloat sx, CGFloat sy, CGFloat sz);
CATransform3D CATransform3DRotate(const CATransform3D& t, CGFloat angle, CGFloat x, CGFloat y, CGFloat z);
// The inverse; a matrix that cannot be inverted comes back unchanged.
CATransform3D CATransform3DInvert(const CATransform3D& t);

CATransform3D CATransform3DMakeAffineTransform(CGAffineTransform t);
// True when the matrix is an affine transform of the plane (no z and no perspective terms).
bool CATransform3DIsAffine(const CATransform3D& t);
// The plane part of the matrix (exact when CATransform3DIsAffine).
CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D& t);

// NSValue boxes (+[NSValue valueWithCATransform3D:], -CATransform3DValue).
std::shared_ptr<NSValue> valueWithCATransform3D(const CATransform3D& t);
// The identity for nil or a value of another type.
CATransform3D CATransform3DValue(const std::shared_ptr<NSValue>& value);
inline constexpr char kCATransform3DObjCType[] = "{CATransform3D=dddddddddddddddd}";
