#include "platform/uikit/NSLayoutAnchor.h"

#include <cstdio>

std::shared_ptr<NSLayoutConstraint> NSLayoutAnchor::make(NSLayoutRelation relation, const NSLayoutAnchor* other,
                                                         CGFloat multiplier, CGFloat constant) const {
  return NSLayoutConstraint::constraintWithItem(item(), attribute_, relation, other ? other->item() : nullptr,
                                                other ? other->attribute_ : NSLayoutAttributeNotAnAttribute,
                                                multiplier, constant);
}

std::shared_ptr<NSString> NSLayoutAnchor::description() const {
  char address[32];
  auto object = item();
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(object.get()));
  return NSString::fromValidUTF8(std::string("<") + className() + ": " +
                                 (object ? object->className() + ":" + address : std::string("nil")) + "." +
                                 zvt::ui::layoutAttributeName(attribute_) + ">");
}
