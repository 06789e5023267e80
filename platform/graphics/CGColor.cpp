#include "platform/graphics/CGColor.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/foundation/NSString.h"
#include "platform/graphics/CGImage.h"

CGColor::CGColor(CGColorSpaceRef space, std::vector<CGFloat> components, std::shared_ptr<CGImage> pattern,
                 CGFloat patternScale)
    : space_(std::move(space)), components_(std::move(components)), pattern_(std::move(pattern)),
      patternScale_(patternScale > 0 ? patternScale : 1.0) {}

void CGColor::getRGBA(CGFloat rgba[4]) const {
  rgba[0] = rgba[1] = rgba[2] = 0;
  rgba[3] = alpha();
  CGColorSpaceModel model = space_ ? space_->model() : kCGColorSpaceModelUnknown;
  const auto& c = components_;
  if (model == kCGColorSpaceModelMonochrome && c.size() >= 2) {
    rgba[0] = rgba[1] = rgba[2] = c[0];
  } else if (model == kCGColorSpaceModelRGB && c.size() >= 4) {
    rgba[0] = c[0];
    rgba[1] = c[1];
    rgba[2] = c[2];
  } else if (model == kCGColorSpaceModelCMYK && c.size() >= 5) {
    rgba[0] = (1 - c[0]) * (1 - c[3]);
    rgba[1] = (1 - c[1]) * (1 - c[3]);
    rgba[2] = (1 - c[2]) * (1 - c[3]);
  }
}

bool CGColor::isEqual(const id& other) const {
  auto o = std::dynamic_pointer_cast<CGColor>(other);
  if (!o) return false;
  if (o.get() == this) return true;
  bool spaces = (space_ == o->space_) || (space_ && o->space_ && space_->isEqual(o->space_));
  return spaces && components_ == o->components_ && pattern_ == o->pattern_;
}

NSUInteger CGColor::hash() const {
  size_t h = space_ ? static_cast<size_t>(space_->model()) : 99;
  for (CGFloat v : components_) h = h * 1000003u ^ std::hash<double>{}(v);
  return h;
}

std::shared_ptr<NSString> CGColor::description() const {
  std::string text = "<CGColor ";
  text += space_ && space_->model() == kCGColorSpaceModelMonochrome ? "gray" : "rgb";
  for (CGFloat v : components_) text += " " + zvt::shortestNumberText(v);
  text += pattern_ ? " pattern>" : ">";
  return NSString::stringWithUTF8String(text);
}

CGColorRef CGColorCreate(const CGColorSpaceRef& space, const CGFloat* components) {
  if (!space || !components) return nullptr;
  CGColorSpaceModel model = space->model();
  if (model != kCGColorSpaceModelMonochrome && model != kCGColorSpaceModelRGB && model != kCGColorSpaceModelCMYK) {
    return nullptr;
  }
  size_t n = space->numberOfComponents() + 1;
  std::vector<CGFloat> c(components, components + n);
  for (CGFloat& v : c) v = std::clamp(v, 0.0, 1.0);
  return std::make_shared<CGColor>(space, std::move(c));
}

CGColorRef CGColorCreateGenericRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  CGFloat c[4] = {red, green, blue, alpha};
  return CGColorCreate(CGColorSpaceCreateDeviceRGB(), c);
}

CGColorRef CGColorCreateGenericGray(CGFloat gray, CGFloat alpha) {
  CGFloat c[2] = {gray, alpha};
  return CGColorCreate(CGColorSpaceCreateDeviceGray(), c);
}

CGColorRef CGColorCreateCopyWithAlpha(const CGColorRef& color, CGFloat alpha) {
  if (!color) return nullptr;
  std::vector<CGFloat> c = color->components();
  if (c.empty()) return color;
  c.back() = std::clamp(alpha, 0.0, 1.0);
  return std::make_shared<CGColor>(color->colorSpace(), std::move(c), color->pattern(), color->patternScale());
}

CGColorSpaceRef CGColorGetColorSpace(const CGColorRef& color) { return color ? color->colorSpace() : nullptr; }
size_t CGColorGetNumberOfComponents(const CGColorRef& color) { return color ? color->components().size() : 0; }
const CGFloat* CGColorGetComponents(const CGColorRef& color) {
  return color ? color->components().data() : nullptr;
}
CGFloat CGColorGetAlpha(const CGColorRef& color) { return color ? color->alpha() : 0; }
bool CGColorEqualToColor(const CGColorRef& a, const CGColorRef& b) {
  if (a == b) return true;
  return a && b && a->isEqual(b);
}
