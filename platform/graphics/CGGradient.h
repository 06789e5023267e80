#pragma once
// Gradients (CoreGraphics' CGGradient): colours at locations from 0 to 1, drawn by
// CGContextDrawLinearGradient and CGContextDrawRadialGradient (CGContext.h).

#include <memory>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGColorSpace.h"

class CGGradient : public NSObject {
 public:
  struct Stop {
    CGFloat location;
    CGFloat rgba[4];  // straight (not premultiplied), 0...1
  };
  CGGradient(CGColorSpaceRef space, std::vector<Stop> stops);

  const CGColorSpaceRef& colorSpace() const { return space_; }
  // In increasing location order.
  const std::vector<Stop>& stops() const { return stops_; }

 private:
  CGColorSpaceRef space_;
  std::vector<Stop> stops_;
};

using CGGradientRef = std::shared_ptr<CGGradient>;

// `components` holds each colour's components in the space followed by alpha; `locations`
// (clamped to 0...1) may be null: the colours are then spread evenly from 0 to 1. nil for a
// nil space or components, no colours, or a space that is neither gray, RGB nor CMYK.
CGGradientRef CGGradientCreateWithColorComponents(const CGColorSpaceRef& space, const CGFloat* components,
                                                  const CGFloat* locations, size_t count);
// The colours are CGColor objects (converted to the space's model arithmetically); nil for no
// colours or an element of another class.
CGGradientRef CGGradientCreateWithColors(const CGColorSpaceRef& space, const std::shared_ptr<NSArray>& colors,
                                         const CGFloat* locations);
inline void CGGradientRelease(const CGGradientRef&) {}
