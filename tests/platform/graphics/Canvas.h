#pragma once
// A UIKit image context to draw small scenes into and read back pixel by pixel.

#include <cstdint>
#include <cstdlib>
#include <ostream>

#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/UIImage.h"

namespace zvt::test {

// Premultiplied red, green, blue, alpha of one device pixel.
struct RGBA {
  uint8_t r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const RGBA&, const RGBA&) = default;
  friend std::ostream& operator<<(std::ostream& out, const RGBA& c) {
    return out << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ", " << int(c.a) << ")";
  }
};

inline constexpr RGBA kClear{0, 0, 0, 0};
inline constexpr RGBA kWhite{255, 255, 255, 255};
inline constexpr RGBA kBlack{0, 0, 0, 255};
inline constexpr RGBA kRed{255, 0, 0, 255};
inline constexpr RGBA kGreen{0, 255, 0, 255};
inline constexpr RGBA kBlue{0, 0, 255, 255};

// The current image context for the canvas's life, of the size in points at the scale,
// transparent or painted white.
class Canvas {
 public:
  Canvas(CGFloat width, CGFloat height, CGFloat scale = 1, bool white = false) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(width, height), false, scale);
    context = UIGraphicsGetCurrentContext();
    if (white) {
      CGContextSetRGBFillColor(context, 1, 1, 1, 1);
      CGContextFillRect(context, CGRectMake(0, 0, width, height));
    }
  }
  ~Canvas() { UIGraphicsEndImageContext(); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  // Device pixel (x, y), counted from the top left.
  RGBA at(int x, int y) const {
    const auto* p = static_cast<const uint8_t*>(CGBitmapContextGetData(context)) +
                    static_cast<size_t>(y) * CGBitmapContextGetBytesPerRow(context) + static_cast<size_t>(x) * 4;
    return RGBA{p[2], p[1], p[0], p[3]};  // host order: blue, green, red, alpha
  }
  void fill(CGRect rect, CGFloat r, CGFloat g, CGFloat b, CGFloat a = 1) const {
    CGContextSetRGBFillColor(context, r, g, b, a);
    CGContextFillRect(context, rect);
  }

  CGContextRef context;
};

inline bool near(const RGBA& x, const RGBA& y, int tolerance) {
  return std::abs(x.r - y.r) <= tolerance && std::abs(x.g - y.g) <= tolerance && std::abs(x.b - y.b) <= tolerance &&
         std::abs(x.a - y.a) <= tolerance;
}

}  // namespace zvt::test
