#pragma once
// Points, sizes and rectangles (the CoreGraphics value types that Foundation and UIKit share),
// with their text forms "{x, y}" and "{{x, y}, {w, h}}".

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

using CGFloat = double;

struct CGPoint {
  CGFloat x = 0;
  CGFloat y = 0;
  friend bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
  CGFloat width = 0;
  CGFloat height = 0;
  friend bool operator==(const CGSize&, const CGSize&) = default;
};

struct CGRect {
  CGPoint origin;
  CGSize size;
  friend bool operator==(const CGRect&, const CGRect&) = default;
};

inline constexpr CGPoint CGPointZero{};
inline constexpr CGSize CGSizeZero{};
inline constexpr CGRect CGRectZero{};

inline constexpr CGPoint CGPointMake(CGFloat x, CGFloat y) { return CGPoint{x, y}; }
inline constexpr CGSize CGSizeMake(CGFloat width, CGFloat height) { return CGSize{width, height}; }
inline constexpr CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  return CGRect{CGPoint{x, y}, CGSize{width, height}};
}
inline bool CGPointEqualToPoint(CGPoint a, CGPoint b) { return a == b; }
inline bool CGSizeEqualToSize(CGSize a, CGSize b) { return a == b; }
inline bool CGRectEqualToRect(CGRect a, CGRect b) { return a == b; }

// The rectangle functions of CoreGraphics. Rectangles with a negative width or height are
// read as their standardised form (origin at the minimum corner), as CoreGraphics does.
// CGRectNull is the empty set (what an intersection of disjoint rectangles gives); it is a
// rectangle at infinity whose functions answer as CoreGraphics documents them.
inline const CGRect CGRectNull{CGPoint{std::numeric_limits<CGFloat>::infinity(), std::numeric_limits<CGFloat>::infinity()},
                               CGSize{0, 0}};
inline bool CGRectIsNull(CGRect r) { return std::isinf(r.origin.x) || std::isinf(r.origin.y); }
inline CGRect CGRectStandardize(CGRect r) {
  if (CGRectIsNull(r)) return r;
  if (r.size.width < 0) {
    r.origin.x += r.size.width;
    r.size.width = -r.size.width;
  }
  if (r.size.height < 0) {
    r.origin.y += r.size.height;
    r.size.height = -r.size.height;
  }
  return r;
}
inline CGFloat CGRectGetMinX(CGRect r) { return CGRectStandardize(r).origin.x; }
inline CGFloat CGRectGetMinY(CGRect r) { return CGRectStandardize(r).origin.y; }
inline CGFloat CGRectGetWidth(CGRect r) { return std::fabs(r.size.width); }
inline CGFloat CGRectGetHeight(CGRect r) { return std::fabs(r.size.height); }
inline CGFloat CGRectGetMaxX(CGRect r) { return CGRectGetMinX(r) + CGRectGetWidth(r); }
inline CGFloat CGRectGetMaxY(CGRect r) { return CGRectGetMinY(r) + CGRectGetHeight(r); }
inline CGFloat CGRectGetMidX(CGRect r) { return CGRectGetMinX(r) + CGRectGetWidth(r) / 2; }
inline CGFloat CGRectGetMidY(CGRect r) { return CGRectGetMinY(r) + CGRectGetHeight(r) / 2; }
// True for a zero width or height and for the null rectangle.
inline bool CGRectIsEmpty(CGRect r) { return CGRectIsNull(r) || r.size.width == 0 || r.size.height == 0; }
// Points on the minimum edges are inside, points on the maximum edges are not.
inline bool CGRectContainsPoint(CGRect r, CGPoint p) {
  if (CGRectIsEmpty(r)) return false;
  return p.x >= CGRectGetMinX(r) && p.x < CGRectGetMaxX(r) && p.y >= CGRectGetMinY(r) && p.y < CGRectGetMaxY(r);
}
// The null rectangle when they are apart; rectangles that only touch give the zero-sized
// rectangle where they touch.
CGRect CGRectIntersection(CGRect a, CGRect b);
// True when they share an area (touching edges do not count).
inline bool CGRectIntersectsRect(CGRect a, CGRect b) { return !CGRectIsEmpty(CGRectIntersection(a, b)); }
// The smallest rectangle holding both; the null rectangle is the identity.
CGRect CGRectUnion(CGRect a, CGRect b);
// True when b lies within a (the null rectangle lies within any rectangle but is never the outer one).
bool CGRectContainsRect(CGRect a, CGRect b);
// Standardised, then each side moved in by dx and dy; the null rectangle when that leaves a
// negative size.
CGRect CGRectInset(CGRect r, CGFloat dx, CGFloat dy);
inline CGRect CGRectOffset(CGRect r, CGFloat dx, CGFloat dy) {
  if (CGRectIsNull(r)) return r;
  r.origin.x += dx;
  r.origin.y += dy;
  return r;
}
// The smallest rectangle with integral corners that holds the rectangle.
CGRect CGRectIntegral(CGRect r);

std::shared_ptr<NSString> NSStringFromRange(NSRange range);
// "{location, length}"; missing numbers read as 0.
NSRange NSRangeFromString(const std::shared_ptr<NSString>& text);
std::shared_ptr<NSString> NSStringFromCGPoint(CGPoint point);
std::shared_ptr<NSString> NSStringFromCGSize(CGSize size);
std::shared_ptr<NSString> NSStringFromCGRect(CGRect rect);
CGPoint CGPointFromString(const std::shared_ptr<NSString>& text);
CGSize CGSizeFromString(const std::shared_ptr<NSString>& text);
CGRect CGRectFromString(const std::shared_ptr<NSString>& text);

namespace zvt {
// A CGFloat in its shortest round-trip form ("1.5", "2", "0.1").
std::string shortestNumberText(double value);
}  // namespace zvt
