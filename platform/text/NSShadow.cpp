#include "platform/text/NSShadow.h"

#include <functional>

bool NSShadow::isEqual(const id& other) const {
  auto o = zvt::as<NSShadow>(other);
  if (!o) return false;
  return shadowOffset_ == o->shadowOffset_ && shadowBlurRadius_ == o->shadowBlurRadius_ &&
         zvt::objectsEqual(shadowColor_, o->shadowColor_);
}

NSUInteger NSShadow::hash() const {
  std::hash<double> h;
  return h(shadowOffset_.width) * 31 ^ h(shadowOffset_.height) * 17 ^ h(shadowBlurRadius_);
}
