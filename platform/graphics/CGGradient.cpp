#include "platform/graphics/CGGradient.h"

#include <algorithm>

CGGradient::CGGradient(CGColorSpaceRef space, std::vector<Stop> stops) : space_(std::move(space)), stops_(std::move(stops)) {
  std::stable_sort(stops_.begin(), stops_.end(), [](const Stop& a, const Stop& b) { return a.location < b.location; });
}

namespace {

CGFloat locationAt(const CGFloat* locations, size_t i, size_t count) {
  if (locations) return std::clamp(locations[i], 0.0, 1.0);
  return count > 1 ? static_cast<CGFloat>(i) / static_cast<CGFloat>(count - 1) : 0.0;
}

}  // namespace

CGGradientRef CGGradientCreateWithColorComponents(const CGColorSpaceRef& space, const CGFloat* components,
                                                  const CGFloat* locations, size_t count) {
  if (!space || !components || count == 0) return nullptr;
  const CGColorSpaceModel model = space->model();
  if (model != kCGColorSpaceModelMonochrome && model != kCGColorSpaceModelRGB && model != kCGColorSpaceModelCMYK) {
    return nullptr;
  }
  const size_t n = space->numberOfComponents() + 1;
  std::vector<CGGradient::Stop> stops;
  for (size_t i = 0; i < count; ++i) {
    auto color = CGColorCreate(space, components + i * n);
    if (!color) return nullptr;
    CGGradient::Stop stop{locationAt(locations, i, count), {}};
    color->getRGBA(stop.rgba);
    stops.push_back(stop);
  }
  return std::make_shared<CGGradient>(space, std::move(stops));
}

CGGradientRef CGGradientCreateWithColors(const CGColorSpaceRef& space, const std::shared_ptr<NSArray>& colors,
                                         const CGFloat* locations) {
  if (!colors || colors->count() == 0) return nullptr;
  std::vector<CGGradient::Stop> stops;
  const size_t count = colors->count();
  for (size_t i = 0; i < count; ++i) {
    auto color = zvt::as<CGColor>(colors->objectAtIndex(i));
    if (!color) return nullptr;
    CGGradient::Stop stop{locationAt(locations, i, count), {}};
    color->getRGBA(stop.rgba);
    stops.push_back(stop);
  }
  return std::make_shared<CGGradient>(space ? space : CGColorSpaceCreateDeviceRGB(), std::move(stops));
}
