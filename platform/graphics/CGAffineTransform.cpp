#include "platform/graphics/CGAffineTransform.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/foundation/NSString.h"

CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle) {
  // Quarter turns come out exact so that rotated frames land on whole points.
  double turns = angle / (std::numbers::pi / 2);
  double rounded = std::round(turns);
  double s, c;
  if (std::fabs(turns - rounded) < 1e-12) {
    static constexpr double kSin[4] = {0, 1, 0, -1};
    static constexpr double kCos[4] = {1, 0, -1, 0};
    long long q = static_cast<long long>(rounded) % 4;
    if (q < 0) q += 4;
    s = kSin[q];
    c = kCos[q];
  } else {
    s = std::sin(angle);
    c = std::cos(angle);
  }
  return CGAffineTransform{c, s, -s, c, 0, 0};
}

CGAffineTransform CGAffineTransformInvert(CGAffineTransform t) {
  double det = t.a * t.d - t.b * t.c;
  if (det == 0 || !std::isfinite(det)) return t;
  double a = t.d / det, b = -t.b / det, c = -t.c / det, d = t.a / det;
  return CGAffineTransform{a, b, c, d, -(t.tx * a + t.ty * c), -(t.tx * b + t.ty * d)};
}

CGRect CGRectApplyAffineTransform(CGRect rect, CGAffineTransform t) {
  CGPoint p[4] = {
      CGPointApplyAffineTransform(rect.origin, t),
      CGPointApplyAffineTransform(CGPointMake(rect.origin.x + rect.size.width, rect.origin.y), t),
      CGPointApplyAffineTransform(CGPointMake(rect.origin.x, rect.origin.y + rect.size.height), t),
      CGPointApplyAffineTransform(
          CGPointMake(rect.origin.x + rect.size.width, rect.origin.y + rect.size.height), t),
  };
  double minX = p[0].x, maxX = p[0].x, minY = p[0].y, maxY = p[0].y;
  for (const CGPoint& q : p) {
    minX = std::min(minX, q.x);
    maxX = std::max(maxX, q.x);
    minY = std::min(minY, q.y);
    maxY = std::max(maxY, q.y);
  }
  return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

std::shared_ptr<NSString> NSStringFromCGAffineTransform(CGAffineTransform t) {
  std::string text = "[" + zvt::shortestNumberText(t.a) + ", " + zvt::shortestNumberText(t.b) + ", " +
                     zvt::shortestNumberText(t.c) + ", " + zvt::shortestNumberText(t.d) + ", " +
                     zvt::shortestNumberText(t.tx) + ", " + zvt::shortestNumberText(t.ty) + "]";
  return NSString::stringWithUTF8String(text.c_str());
}
