#pragma once
// Colours (CoreGraphics' CGColor): components in a device colour space plus alpha, or a
// pattern image. Immutable; equal when space, components and pattern are equal.

#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColorSpace.h"

class CGImage;

class CGColor : public NSObject {
 public:
  // Components include alpha last (gray: white, alpha; RGB: r, g, b, alpha), each 0...1.
  CGColor(CGColorSpaceRef space, std::vector<CGFloat> components,
          std::shared_ptr<CGImage> pattern = nullptr, CGFloat patternScale = 1.0);

  const CGColorSpaceRef& colorSpace() const { return space_; }
  const std::vector<CGFloat>& components() const { return components_; }
  CGFloat alpha() const { return components_.empty() ? 1.0 : components_.back(); }
  // A pattern colour's tile (drawn repeated from the origin of the space it fills), else nil.
  const std::shared_ptr<CGImage>& pattern() const { return pattern_; }
  // Pixels of the pattern's tile per unit of the space it fills (the image's scale).
  CGFloat patternScale() const { return patternScale_; }

  // Straight (not premultiplied) red, green, blue and alpha, 0...1, whatever the space.
  void getRGBA(CGFloat rgba[4]) const;

  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  std::shared_ptr<NSString> description() const override;

 private:
  CGColorSpaceRef space_;
  std::vector<CGFloat> components_;
  std::shared_ptr<CGImage> pattern_;
  CGFloat patternScale_ = 1.0;
};
using CGColorRef = std::shared_ptr<CGColor>;

// nil for a nil space or a component count that does not fit it (components + alpha).
CGColorRef CGColorCreate(const CGColorSpaceRef& space, const CGFloat* components);
CGColorRef CGColorCreateGenericRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
CGColorRef CGColorCreateGenericGray(CGFloat gray, CGFloat alpha);
CGColorRef CGColorCreateCopyWithAlpha(const CGColorRef& color, CGFloat alpha);
CGColorSpaceRef CGColorGetColorSpace(const CGColorRef& color);
size_t CGColorGetNumberOfComponents(const CGColorRef& color);
// Points into the colour's own storage; nil for nil.
const CGFloat* CGColorGetComponents(const CGColorRef& color);
// 0 for nil.
CGFloat CGColorGetAlpha(const CGColorRef& color);
bool CGColorEqualToColor(const CGColorRef& a, const CGColorRef& b);
inline void CGColorRelease(const CGColorRef&) {}
