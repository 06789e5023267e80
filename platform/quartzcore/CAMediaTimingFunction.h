#pragma once
// Timing curves of animations (CAMediaTimingFunction): a cubic Bézier from (0, 0) to (1, 1)
// through two control points, mapping the fraction of time passed to the fraction of the
// change shown.

#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

inline const zvt::StaticString kCAMediaTimingFunctionLinear{"linear"};
inline const zvt::StaticString kCAMediaTimingFunctionEaseIn{"easeIn"};
inline const zvt::StaticString kCAMediaTimingFunctionEaseOut{"easeOut"};
inline const zvt::StaticString kCAMediaTimingFunctionEaseInEaseOut{"easeInEaseOut"};
inline const zvt::StaticString kCAMediaTimingFunctionDefault{"default"};

class CAMediaTimingFunction : public NSObject {
 public:
  CAMediaTimingFunction(CGFloat c1x, CGFloat c1y, CGFloat c2x, CGFloat c2y);

  // The named curves: linear (0, 0, 1, 1), easeIn (0.42, 0, 1, 1), easeOut (0, 0, 0.58, 1),
  // easeInEaseOut (0.42, 0, 0.58, 1), default (0.25, 0.1, 0.25, 1). An unknown name gives nil.
  static std::shared_ptr<CAMediaTimingFunction> functionWithName(const std::shared_ptr<NSString>& name);
  // The x coordinates are clamped to 0...1 so that the curve is a function of time.
  static std::shared_ptr<CAMediaTimingFunction> functionWithControlPoints(CGFloat c1x, CGFloat c1y, CGFloat c2x,
                                                                          CGFloat c2y);

  // Points 0 to 3: (0, 0), the two control points, (1, 1); out of range gives (0, 0).
  CGPoint controlPointAtIndex(size_t index) const;
  // getControlPointAtIndex:values: with two floats.
  void getControlPointAtIndex(size_t index, float values[2]) const;

  // The curve's value (fraction of the change) at `time` (fraction of the duration, clamped
  // to 0...1), found by solving the curve's x for the time.
  CGFloat evaluate(CGFloat time) const;

  bool isEqual(const id& other) const override;
  std::shared_ptr<NSString> description() const override;

 private:
  CGFloat c1x_, c1y_, c2x_, c2y_;
};
