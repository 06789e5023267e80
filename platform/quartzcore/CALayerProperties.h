#pragma once
// The animatable state of a layer as plain values: what a layer holds as its model and what
// its presentation (the model with the running animations applied at a time) gives. The
// renderer reads these without boxing.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/CGPath.h"
#include "platform/quartzcore/CATransform3D.h"

// contentsGravity values.
inline const zvt::StaticString kCAGravityCenter{"center"};
inline const zvt::StaticString kCAGravityTop{"top"};
inline const zvt::StaticString kCAGravityBottom{"bottom"};
inline const zvt::StaticString kCAGravityLeft{"left"};
inline const zvt::StaticString kCAGravityRight{"right"};
inline const zvt::StaticString kCAGravityTopLeft{"topLeft"};
inline const zvt::StaticString kCAGravityTopRight{"topRight"};
inline const zvt::StaticString kCAGravityBottomLeft{"bottomLeft"};
inline const zvt::StaticString kCAGravityBottomRight{"bottomRight"};
inline const zvt::StaticString kCAGravityResize{"resize"};
inline const zvt::StaticString kCAGravityResizeAspect{"resizeAspect"};
inline const zvt::StaticString kCAGravityResizeAspectFill{"resizeAspectFill"};

namespace zvt::ca {

// The layer properties that have a key (for actions, animations and key-value coding).
enum class LayerKey : uint8_t {
  kBounds,
  kPosition,
  kZPosition,
  kAnchorPoint,
  kTransform,
  kSublayerTransform,
  kHidden,
  kOpacity,
  kBackgroundColor,
  kBorderWidth,
  kBorderColor,
  kCornerRadius,
  kMasksToBounds,
  kShadowColor,
  kShadowOffset,
  kShadowRadius,
  kShadowOpacity,
  kShadowPath,
  kContents,
  kContentsScale,
  kContentsGravity,
  kContentsRect,
  kContentsCenter,
  kCount
};

// "bounds", "position", "zPosition", "anchorPoint", "transform", "sublayerTransform", "hidden",
// "opacity", "backgroundColor", "borderWidth", "borderColor", "cornerRadius", "masksToBounds",
// "shadowColor", "shadowOffset", "shadowRadius", "shadowOpacity", "shadowPath", "contents",
// "contentsScale", "contentsGravity", "contentsRect", "contentsCenter".
const char* layerKeyName(LayerKey key);
// The key's name as one shared string.
const std::shared_ptr<NSString>& layerKeyString(LayerKey key);
std::optional<LayerKey> layerKeyNamed(std::string_view name);

struct LayerProperties {
  CGRect bounds = CGRectZero;
  CGPoint position = CGPointZero;
  CGFloat zPosition = 0;
  CGPoint anchorPoint = CGPointMake(0.5, 0.5);
  CATransform3D transform = CATransform3DIdentity;
  CATransform3D sublayerTransform = CATransform3DIdentity;
  bool hidden = false;
  CGFloat opacity = 1;
  CGColorRef backgroundColor;
  CGFloat borderWidth = 0;
  CGColorRef borderColor;  // opaque black when the layer is made
  CGFloat cornerRadius = 0;
  bool masksToBounds = false;
  CGColorRef shadowColor;  // opaque black when the layer is made
  CGSize shadowOffset = CGSizeMake(0, -3);
  CGFloat shadowRadius = 3;
  CGFloat shadowOpacity = 0;
  CGPathRef shadowPath;
  CGImageRef contents;
  CGFloat contentsScale = 1;
  std::shared_ptr<NSString> contentsGravity;  // kCAGravityResize when the layer is made
  CGRect contentsRect = CGRectMake(0, 0, 1, 1);
  CGRect contentsCenter = CGRectMake(0, 0, 1, 1);

  // The rectangle the layer covers in its superlayer: the bounds placed by position and
  // anchor point, then transformed (the bounding box of the corners for a rotation).
  CGRect frame() const;
  // The affine map from the layer's own coordinates (its bounds) to its superlayer's.
  CGAffineTransform transformToSuperlayer() const;
};

}  // namespace zvt::ca
