#pragma once
// Typed animation values and their arithmetic, key paths into layer properties, and the
// boxing between the two (animations are given boxed values: NSNumber, NSValue, CGColor,
// CGImage). Internal to platform/quartzcore and platform/uikit.

#include <variant>

#include "platform/foundation/NSObject.h"
#include "platform/quartzcore/CALayerProperties.h"

namespace zvt::ca {

// A value that animations interpolate; `id` holds what can only change at once (images,
// paths, booleans, texts).
using AnimValue = std::variant<std::monostate, CGFloat, CGPoint, CGSize, CGRect, CATransform3D, CGColorRef, id>;

AnimValue unbox(const id& value);
id box(const AnimValue& value);

// The part of a property a key path names ("position.x", "transform.rotation.z").
enum class SubField : uint8_t {
  kNone,
  kX,
  kY,
  kWidth,
  kHeight,
  kOrigin,
  kOriginX,
  kOriginY,
  kSize,
  kSizeWidth,
  kSizeHeight,
  kRotation,  // transform.rotation, transform.rotation.z
  kScale,     // transform.scale (both axes)
  kScaleX,
  kScaleY,
  kTranslation,  // transform.translation (a CGSize)
  kTranslationX,
  kTranslationY,
};

struct KeyPath {
  LayerKey key = LayerKey::kCount;
  SubField sub = SubField::kNone;
  bool valid() const { return key != LayerKey::kCount; }
};

KeyPath parseKeyPath(std::string_view path);

AnimValue getValue(const LayerProperties& properties, KeyPath path);
// Values of the wrong kind are ignored.
void setValue(LayerProperties& properties, KeyPath path, const AnimValue& value);

// a + (b - a) * f; values that cannot be interpolated switch from a to b at f = 1 (at f >= 0.5
// for images, which cross-fade). A missing side takes the other's value.
AnimValue interpolate(const AnimValue& a, const AnimValue& b, CGFloat f);
AnimValue add(const AnimValue& a, const AnimValue& b);
AnimValue subtract(const AnimValue& a, const AnimValue& b);
// The distance between two values (for paced key frames).
CGFloat distance(const AnimValue& a, const AnimValue& b);

// An affine transform split into parts that interpolate naturally.
struct AffineParts {
  CGFloat tx = 0, ty = 0, sx = 1, sy = 1, angle = 0, shear = 0;
};
AffineParts decompose(CGAffineTransform t);
CGAffineTransform recompose(const AffineParts& parts);

}  // namespace zvt::ca
