#include "platform/foundation/NSGeometry.h"

#include <algorithm>

CGRect CGRectIntersection(CGRect a, CGRect b) {
  if (CGRectIsNull(a) || CGRectIsNull(b)) return CGRectNull;
  a = CGRectStandardize(a);
  b = CGRectStandardize(b);
  CGFloat x0 = std::max(a.origin.x, b.origin.x);
  CGFloat y0 = std::max(a.origin.y, b.origin.y);
  CGFloat x1 = std::min(CGRectGetMaxX(a), CGRectGetMaxX(b));
  CGFloat y1 = std::min(CGRectGetMaxY(a), CGRectGetMaxY(b));
  if (x1 < x0 || y1 < y0) return CGRectNull;
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

CGRect CGRectUnion(CGRect a, CGRect b) {
  if (CGRectIsNull(a)) return CGRectStandardize(b);
  if (CGRectIsNull(b)) return CGRectStandardize(a);
  a = CGRectStandardize(a);
  b = CGRectStandardize(b);
  CGFloat x0 = std::min(a.origin.x, b.origin.x);
  CGFloat y0 = std::min(a.origin.y, b.origin.y);
  CGFloat x1 = std::max(CGRectGetMaxX(a), CGRectGetMaxX(b));
  CGFloat y1 = std::max(CGRectGetMaxY(a), CGRectGetMaxY(b));
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

bool CGRectContainsRect(CGRect a, CGRect b) {
  if (CGRectIsNull(a)) return false;
  if (CGRectIsNull(b)) return true;
  a = CGRectStandardize(a);
  b = CGRectStandardize(b);
  return b.origin.x >= a.origin.x && b.origin.y >= a.origin.y && CGRectGetMaxX(b) <= CGRectGetMaxX(a) &&
         CGRectGetMaxY(b) <= CGRectGetMaxY(a);
}

CGRect CGRectInset(CGRect r, CGFloat dx, CGFloat dy) {
  if (CGRectIsNull(r)) return r;
  r = CGRectStandardize(r);
  CGFloat w = r.size.width - 2 * dx;
  CGFloat h = r.size.height - 2 * dy;
  if (w < 0 || h < 0) return CGRectNull;
  return CGRectMake(r.origin.x + dx, r.origin.y + dy, w, h);
}

CGRect CGRectIntegral(CGRect r) {
  if (CGRectIsNull(r)) return r;
  r = CGRectStandardize(r);
  CGFloat x0 = std::floor(r.origin.x);
  CGFloat y0 = std::floor(r.origin.y);
  CGFloat x1 = std::ceil(CGRectGetMaxX(r));
  CGFloat y1 = std::ceil(CGRectGetMaxY(r));
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}
