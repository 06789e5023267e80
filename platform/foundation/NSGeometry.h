#pragma once
// Points, sizes and rectangles (the CoreGraphics value types that Foundation and UIKit share),
// with their text forms "{x, y}" and "{{x, y}, {w, h}}".

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
