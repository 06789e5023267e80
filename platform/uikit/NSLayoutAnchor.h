#pragma once
// Layout anchors: an attribute of a view or layout guide from which constraints are made
// ("a.leadingAnchor == b.leadingAnchor + 8"). The constraints come back inactive, as in UIKit.
// Anchors of one axis relate only to anchors of the same axis (the types say so); dimensions
// relate to dimensions of either axis and to constants.

#include <memory>

#include "platform/uikit/NSLayoutConstraint.h"

class NSLayoutAnchor : public NSObject {
 public:
  NSLayoutAnchor(const id& item, NSLayoutAttribute attribute) : item_(item), attribute_(attribute) {}
  id item() const { return item_.lock(); }
  NSLayoutAttribute attribute() const { return attribute_; }
  std::shared_ptr<NSString> description() const override;

 protected:
  std::shared_ptr<NSLayoutConstraint> make(NSLayoutRelation relation, const NSLayoutAnchor* other, CGFloat multiplier,
                                           CGFloat constant) const;

 private:
  std::weak_ptr<NSObject> item_;
  NSLayoutAttribute attribute_;
};

// The relations common to both location axes, for anchors of type A only.
template <class A>
class NSLayoutLocationAnchor : public NSLayoutAnchor {
 public:
  using NSLayoutAnchor::NSLayoutAnchor;
  std::shared_ptr<NSLayoutConstraint> constraintEqualToAnchor(const std::shared_ptr<A>& anchor, CGFloat constant = 0) const {
    return make(NSLayoutRelationEqual, anchor.get(), 1, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualToAnchor(const std::shared_ptr<A>& anchor,
                                                                           CGFloat constant = 0) const {
    return make(NSLayoutRelationGreaterThanOrEqual, anchor.get(), 1, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualToAnchor(const std::shared_ptr<A>& anchor,
                                                                        CGFloat constant = 0) const {
    return make(NSLayoutRelationLessThanOrEqual, anchor.get(), 1, constant);
  }
};

class NSLayoutXAxisAnchor : public NSLayoutLocationAnchor<NSLayoutXAxisAnchor> {
 public:
  using NSLayoutLocationAnchor::NSLayoutLocationAnchor;
};

class NSLayoutYAxisAnchor : public NSLayoutLocationAnchor<NSLayoutYAxisAnchor> {
 public:
  using NSLayoutLocationAnchor::NSLayoutLocationAnchor;
};

class NSLayoutDimension : public NSLayoutLocationAnchor<NSLayoutDimension> {
 public:
  using NSLayoutLocationAnchor::NSLayoutLocationAnchor;
  std::shared_ptr<NSLayoutConstraint> constraintEqualToConstant(CGFloat constant) const {
    return make(NSLayoutRelationEqual, nullptr, 1, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualToConstant(CGFloat constant) const {
    return make(NSLayoutRelationGreaterThanOrEqual, nullptr, 1, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualToConstant(CGFloat constant) const {
    return make(NSLayoutRelationLessThanOrEqual, nullptr, 1, constant);
  }
  // constraintEqualToAnchor:multiplier: (joined: it would collide with ...constant:).
  std::shared_ptr<NSLayoutConstraint> constraintEqualToAnchorMultiplier(const std::shared_ptr<NSLayoutDimension>& anchor,
                                                                        CGFloat multiplier) const {
    return make(NSLayoutRelationEqual, anchor.get(), multiplier, 0);
  }
  // constraintEqualToAnchor:multiplier:constant: and the inequalities.
  std::shared_ptr<NSLayoutConstraint> constraintEqualToAnchor(const std::shared_ptr<NSLayoutDimension>& anchor,
                                                              CGFloat multiplier, CGFloat constant) const {
    return make(NSLayoutRelationEqual, anchor.get(), multiplier, constant);
  }
  using NSLayoutLocationAnchor::constraintEqualToAnchor;
  std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualToAnchor(
      const std::shared_ptr<NSLayoutDimension>& anchor, CGFloat multiplier, CGFloat constant) const {
    return make(NSLayoutRelationGreaterThanOrEqual, anchor.get(), multiplier, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualToAnchor(const std::shared_ptr<NSLayoutDimension>& anchor,
                                                                        CGFloat multiplier, CGFloat constant) const {
    return make(NSLayoutRelationLessThanOrEqual, anchor.get(), multiplier, constant);
  }
  using NSLayoutLocationAnchor::constraintGreaterThanOrEqualToAnchor;
  using NSLayoutLocationAnchor::constraintLessThanOrEqualToAnchor;
};
