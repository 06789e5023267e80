#include "platform/quartzcore/CATransform3D.h"

#include <cmath>
#include <cstring>

namespace {

using Matrix = CGFloat[4][4];

void toArray(const CATransform3D& t, Matrix m) { std::memcpy(m, static_cast<const void*>(&t), sizeof(Matrix)); }
CATransform3D fromArray(const Matrix m) {
  CATransform3D t;
  std::memcpy(static_cast<void*>(&t), m, sizeof(Matrix));
  return t;
}

}  // namespace

static_assert(sizeof(CATransform3D) == 16 * sizeof(CGFloat));

CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz) {
  CATransform3D t;
  t.m41 = tx;
  t.m42 = ty;
  t.m43 = tz;
  return t;
}

CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz) {
  CATransform3D t;
  t.m11 = sx;
  t.m22 = sy;
  t.m33 = sz;
  return t;
}

CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z) {
  CGFloat length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return CATransform3DIdentity;
  if (x == 0 && y == 0) {
    // About the z axis: the plane rotation, with its exact quarter turns.
    CGAffineTransform r = CGAffineTransformMakeRotation(z > 0 ? angle : -angle);
    return CATransform3DMakeAffineTransform(r);
  }
  x /= length;
  y /= length;
  z /= length;
  CGFloat c = std::cos(angle), s = std::sin(angle), k = 1 - c;
  CATransform3D t;
  t.m11 = x * x * k + c;
  t.m12 = x * y * k + z * s;
  t.m13 = x * z * k - y * s;
  t.m21 = y * x * k - z * s;
  t.m22 = y * y * k + c;
  t.m23 = y * z * k + x * s;
  t.m31 = z * x * k + y * s;
  t.m32 = z * y * k - x * s;
  t.m33 = z * z * k + c;
  return t;
}

CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b) {
  Matrix ma, mb, out;
  toArray(a, ma);
  toArray(b, mb);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      CGFloat sum = 0;
      for (int k = 0; k < 4; ++k) sum += ma[i][k] * mb[k][j];
      out[i][j] = sum;
    }
  return fromArray(out);
}

CATransform3D CATransform3DTranslate(const CATransform3D& t, CGFloat tx, CGFloat ty, CGFloat tz) {
  return CATransform3DConcat(CATransform3DMakeTranslation(tx, ty, tz), t);
}

CATransform3D CATransform3DScale(const CATransform3D& t, CGFloat sx, CGFloat sy, CGFloat sz) {
  return CATransform3DConcat(CATransform3DMakeScale(sx, sy, sz), t);
}

CATransform3D CATransform3DRotate(const CATransform3D& t, CGFloat angle, CGFloat x, CGFloat y, CGFloat z) {
  return CATransform3DConcat(CATransform3DMakeRotation(angle, x, y, z), t);
}

CATransform3D CATransform3DInvert(const CATransform3D& t) {
  // Gauss-Jordan elimination with partial pivoting.
  Matrix a, inv;
  toArray(t, a);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) inv[i][j] = i == j ? 1 : 0;
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (std::fabs(a[pivot][col]) < 1e-12) return t;
    if (pivot != col)
      for (int j = 0; j < 4; ++j) {
        std::swap(a[pivot][j], a[col][j]);
        std::swap(inv[pivot][j], inv[col][j]);
      }
    CGFloat d = a[col][col];
    for (int j = 0; j < 4; ++j) {
      a[col][j] /= d;
      inv[col][j] /= d;
    }
    for (int r = 0; r < 4; ++r) {
      if (r == col) continue;
      CGFloat f = a[r][col];
      if (f == 0) continue;
      for (int j = 0; j < 4; ++j) {
        a[r][j] -= f * a[col][j];
        inv[r][j] -= f * inv[col][j];
      }
    }
  }
  return fromArray(inv);
}

CATransform3D CATransform3DMakeAffineTransform(CGAffineTransform a) {
  CATransform3D t;
  t.m11 = a.a;
  t.m12 = a.b;
  t.m21 = a.c;
  t.m22 = a.d;
  t.m41 = a.tx;
  t.m42 = a.ty;
  return t;
}

bool CATransform3DIsAffine(const CATransform3D& t) {
  return t.m13 == 0 && t.m14 == 0 && t.m23 == 0 && t.m24 == 0 && t.m31 == 0 && t.m32 == 0 && t.m33 == 1 &&
         t.m34 == 0 && t.m43 == 0 && t.m44 == 1;
}

CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D& t) {
  return CGAffineTransformMake(t.m11, t.m12, t.m21, t.m22, t.m41, t.m42);
}

std::shared_ptr<NSValue> valueWithCATransform3D(const CATransform3D& t) {
  return NSValue::valueWithValue(t, kCATransform3DObjCType);
}

CATransform3D CATransform3DValue(const std::shared_ptr<NSValue>& value) {
  if (!value || std::strcmp(value->objCType(), kCATransform3DObjCType) != 0) return CATransform3DIdentity;
  return value->value<CATransform3D>();
}
