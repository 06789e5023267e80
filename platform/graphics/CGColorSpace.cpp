#include "platform/graphics/CGColorSpace.h"

#include "platform/foundation/NSString.h"

CGColorSpace::CGColorSpace(CGColorSpaceModel model, std::shared_ptr<CGColorSpace> base, std::vector<uint8_t> colorTable)
    : model_(model), base_(std::move(base)), table_(std::move(colorTable)) {}

size_t CGColorSpace::numberOfComponents() const {
  switch (model_) {
    case kCGColorSpaceModelMonochrome:
    case kCGColorSpaceModelIndexed:
      return 1;
    case kCGColorSpaceModelRGB:
    case kCGColorSpaceModelLab:
      return 3;
    case kCGColorSpaceModelCMYK:
      return 4;
    default:
      return 0;
  }
}

bool CGColorSpace::isEqual(const id& other) const {
  auto space = std::dynamic_pointer_cast<CGColorSpace>(other);
  if (!space) return false;
  if (space.get() == this) return true;
  if (space->model_ != model_ || space->table_ != table_) return false;
  if (!base_ || !space->base_) return base_ == space->base_;
  return base_->isEqual(space->base_);
}

std::shared_ptr<NSString> CGColorSpace::description() const {
  const char* name = "kCGColorSpaceModelUnknown";
  switch (model_) {
    case kCGColorSpaceModelMonochrome: name = "kCGColorSpaceDeviceGray"; break;
    case kCGColorSpaceModelRGB: name = "kCGColorSpaceDeviceRGB"; break;
    case kCGColorSpaceModelCMYK: name = "kCGColorSpaceDeviceCMYK"; break;
    case kCGColorSpaceModelIndexed: name = "kCGColorSpaceIndexed"; break;
    default: break;
  }
  return NSString::stringWithFormat("<CGColorSpace %p> (%s)", static_cast<const void*>(this), name);
}

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() {
  static const auto space = std::make_shared<CGColorSpace>(kCGColorSpaceModelRGB);
  return space;
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray() {
  static const auto space = std::make_shared<CGColorSpace>(kCGColorSpaceModelMonochrome);
  return space;
}

CGColorSpaceRef CGColorSpaceCreateDeviceCMYK() {
  static const auto space = std::make_shared<CGColorSpace>(kCGColorSpaceModelCMYK);
  return space;
}

CGColorSpaceRef CGColorSpaceCreateIndexed(const CGColorSpaceRef& base, size_t lastIndex, const uint8_t* colorTable) {
  if (!base || !colorTable || lastIndex > 255) return nullptr;
  auto model = base->model();
  if (model != kCGColorSpaceModelRGB && model != kCGColorSpaceModelMonochrome && model != kCGColorSpaceModelCMYK) {
    return nullptr;
  }
  size_t bytes = (lastIndex + 1) * base->numberOfComponents();
  return std::make_shared<CGColorSpace>(kCGColorSpaceModelIndexed, base,
                                        std::vector<uint8_t>(colorTable, colorTable + bytes));
}

CGColorSpaceModel CGColorSpaceGetModel(const CGColorSpaceRef& space) {
  return space ? space->model() : kCGColorSpaceModelUnknown;
}

size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space) {
  return space ? space->numberOfComponents() : 0;
}
