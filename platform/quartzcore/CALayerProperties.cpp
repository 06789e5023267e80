#include "platform/quartzcore/CALayerProperties.h"

#include <array>

#include "platform/quartzcore/CATransform3D.h"

namespace zvt::ca {

namespace {

constexpr std::array<const char*, static_cast<size_t>(LayerKey::kCount)> kKeyNames = {
    "bounds",        "position",        "zPosition",    "anchorPoint",   "transform",    "sublayerTransform",
    "hidden",        "opacity",         "backgroundColor", "borderWidth", "borderColor",  "cornerRadius",
    "masksToBounds", "shadowColor",     "shadowOffset", "shadowRadius",  "shadowOpacity", "shadowPath",
    "contents",      "contentsScale",   "contentsGravity", "contentsRect", "contentsCenter"};

}  // namespace

const char* layerKeyName(LayerKey key) {
  auto i = static_cast<size_t>(key);
  return i < kKeyNames.size() ? kKeyNames[i] : "";
}

const std::shared_ptr<NSString>& layerKeyString(LayerKey key) {
  static const auto* strings = [] {
    auto* v = new std::array<std::shared_ptr<NSString>, kKeyNames.size()>();
    for (size_t i = 0; i < kKeyNames.size(); ++i) (*v)[i] = NSString::fromValidUTF8(kKeyNames[i]);
    return v;
  }();
  static const std::shared_ptr<NSString> none;
  auto i = static_cast<size_t>(key);
  return i < strings->size() ? (*strings)[i] : none;
}

std::optional<LayerKey> layerKeyNamed(std::string_view name) {
  for (size_t i = 0; i < kKeyNames.size(); ++i)
    if (name == kKeyNames[i]) return static_cast<LayerKey>(i);
  return std::nullopt;
}

CGAffineTransform LayerProperties::transformToSuperlayer() const {
  CGPoint anchor = CGPointMake(bounds.origin.x + anchorPoint.x * bounds.size.width,
                               bounds.origin.y + anchorPoint.y * bounds.size.height);
  CGAffineTransform t = CGAffineTransformMakeTranslation(-anchor.x, -anchor.y);
  if (!CATransform3DIsIdentity(transform)) t = CGAffineTransformConcat(t, CATransform3DGetAffineTransform(transform));
  return CGAffineTransformConcat(t, CGAffineTransformMakeTranslation(position.x, position.y));
}

CGRect LayerProperties::frame() const {
  CGRect local = CGRectMake(bounds.origin.x, bounds.origin.y, bounds.size.width, bounds.size.height);
  if (CATransform3DIsIdentity(transform)) {
    return CGRectMake(position.x - anchorPoint.x * bounds.size.width, position.y - anchorPoint.y * bounds.size.height,
                      bounds.size.width, bounds.size.height);
  }
  return CGRectApplyAffineTransform(local, transformToSuperlayer());
}

}  // namespace zvt::ca
