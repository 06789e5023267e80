#pragma once
// Text shadows (NSShadow): the value of NSShadowAttributeName and of title text attributes.

#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/UIColor.h"

class NSShadow : public NSObject {
 public:
  static std::shared_ptr<NSShadow> make() { return std::make_shared<NSShadow>(); }

  // Points; a positive height moves the shadow down, as in UIKit's coordinates.
  CGSize shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(CGSize value) { shadowOffset_ = value; }
  CGFloat shadowBlurRadius() const { return shadowBlurRadius_; }
  // Negative radii count as 0.
  void setShadowBlurRadius(CGFloat value) { shadowBlurRadius_ = value > 0 ? value : 0; }
  // Black at a third of full opacity unless set; nil draws no shadow.
  const std::shared_ptr<UIColor>& shadowColor() const { return shadowColor_; }
  void setShadowColor(std::shared_ptr<UIColor> value) { shadowColor_ = std::move(value); }

  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;

 private:
  CGSize shadowOffset_ = CGSizeZero;
  CGFloat shadowBlurRadius_ = 0;
  std::shared_ptr<UIColor> shadowColor_ = UIColor::colorWithWhite(0, 1.0 / 3.0);
};
