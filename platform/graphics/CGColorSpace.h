#pragma once
// Colour spaces: only the device spaces exist (RGB, gray, CMYK) plus indexed spaces over one of
// them. No colour management happens anywhere: a conversion between models is arithmetic.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"

enum CGColorSpaceModel : int32_t {
  kCGColorSpaceModelUnknown = -1,
  kCGColorSpaceModelMonochrome = 0,
  kCGColorSpaceModelRGB = 1,
  kCGColorSpaceModelCMYK = 2,
  kCGColorSpaceModelLab = 3,
  kCGColorSpaceModelDeviceN = 4,
  kCGColorSpaceModelIndexed = 5,
  kCGColorSpaceModelPattern = 6,
};

class CGColorSpace : public NSObject {
 public:
  CGColorSpace(CGColorSpaceModel model, std::shared_ptr<CGColorSpace> base = nullptr,
               std::vector<uint8_t> colorTable = {});

  CGColorSpaceModel model() const { return model_; }
  // Colour components of one pixel (1 for indexed spaces: the index).
  size_t numberOfComponents() const;
  const std::shared_ptr<CGColorSpace>& baseSpace() const { return base_; }
  // Indexed spaces: the base space's components per entry, entry after entry.
  const std::vector<uint8_t>& colorTable() const { return table_; }

  bool isEqual(const id& other) const override;
  std::shared_ptr<NSString> description() const override;

 private:
  CGColorSpaceModel model_;
  std::shared_ptr<CGColorSpace> base_;
  std::vector<uint8_t> table_;
};

using CGColorSpaceRef = std::shared_ptr<CGColorSpace>;

CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
CGColorSpaceRef CGColorSpaceCreateDeviceCMYK();
// nil unless the base is RGB, gray or CMYK and the table holds (lastIndex + 1) entries
// (lastIndex at most 255).
CGColorSpaceRef CGColorSpaceCreateIndexed(const CGColorSpaceRef& base, size_t lastIndex, const uint8_t* colorTable);
// kCGColorSpaceModelUnknown for nil.
CGColorSpaceModel CGColorSpaceGetModel(const CGColorSpaceRef& space);
size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space);
// Spaces are reference counted by their shared pointers; these exist for callers written
// against the C interface.
inline void CGColorSpaceRelease(const CGColorSpaceRef&) {}
