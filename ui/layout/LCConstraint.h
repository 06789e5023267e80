#pragma once
// The constraint builder's vocabulary. A chain such as
//   make->left()->top()->equalTo(other)->offset(8)
// describes one or more NSLayoutConstraints; the maker (LCConstraintMaker.h) installs them on
// the closest common ancestor of the views involved when the make block returns.
//
// - LCViewAttribute: one attribute of one view (or of a controller's layout guide).
// - LCConstraint: the chain vocabulary over a few primitives, which LCViewConstraint (one
//   platform constraint to be) and LCCompositeConstraint (several, told the same things)
//   implement; the base raises NSInternalInconsistencyException for them.
// - LCLayoutConstraint: the platform constraint the builder makes, with a debugging key.
//
// Objective-C's blocks returned by the chain's getters (`.offset(8)`) are methods taking their
// argument directly; `and` is `and_()` (a C++ keyword). Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSValue.h"
#include "platform/graphics/UIGeometry.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIView.h"

class LCConstraint;
class LCViewConstraint;

// Priorities of the chain's named forms.
inline constexpr UILayoutPriority LCLayoutPriorityRequired = 1000;
inline constexpr UILayoutPriority LCLayoutPriorityHigh = 750;
inline constexpr UILayoutPriority LCLayoutPriorityMedium = 500;
inline constexpr UILayoutPriority LCLayoutPriorityLow = 250;

// Attribute masks: bit n stands for attribute n.
using LCAttribute = NSUInteger;
inline constexpr LCAttribute LCAttributeMask(NSLayoutAttribute attribute) { return LCAttribute(1) << attribute; }
inline constexpr LCAttribute LCAttributeEdges = 30;    // left, right, top, bottom
inline constexpr LCAttribute LCAttributeSize = 384;    // width, height
inline constexpr LCAttribute LCAttributeCenter = 1536; // centerX, centerY

class LCViewAttribute : public NSObject {
 public:
  static std::shared_ptr<LCViewAttribute> initWithView(const std::shared_ptr<UIView>& view,
                                                       NSLayoutAttribute attribute);
  // A view attribute whose constraint item is another object (a layout guide) of the view.
  static std::shared_ptr<LCViewAttribute> initWithView(const std::shared_ptr<UIView>& view, const id& item,
                                                       NSLayoutAttribute attribute);

  std::shared_ptr<UIView> view() const { return view_.lock(); }
  id item() const { return item_.lock(); }
  NSLayoutAttribute layoutAttribute() const { return attribute_; }
  bool isSizeAttribute() const;

  // The same view (identical) and attribute; other classes compare as plain objects.
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;

 private:
  std::weak_ptr<UIView> view_;
  std::weak_ptr<NSObject> item_;
  NSLayoutAttribute attribute_ = NSLayoutAttributeNotAnAttribute;
};

// The platform constraint the builder makes: an NSLayoutConstraint with a debugging key.
class LCLayoutConstraint : public NSLayoutConstraint {
 public:
  const id& lc_key() const { return key_; }
  void setLc_key(const id& key) { key_ = key; }

 private:
  id key_;
};

// Told by constraints when a chain grows or a constraint is replaced (the maker and composites).
class LCConstraintDelegate {
 public:
  virtual ~LCConstraintDelegate() = default;
  virtual void constraintShouldBeReplacedWithConstraint(const std::shared_ptr<LCConstraint>& constraint,
                                                        const std::shared_ptr<LCConstraint>& replacement) = 0;
  // `constraint` is the one that asks (nil for an attribute asked of the maker).
  virtual std::shared_ptr<LCConstraint> constraintAddConstraintWithLayoutAttribute(
      const std::shared_ptr<LCConstraint>& constraint, NSLayoutAttribute attribute) = 0;
};

// LCBoxValueOfType: an object for a value of an Objective-C type encoding ("@", "d", "f", "i",
// "q", "s", "c", "B", "C", "I", "Q", "S", "{CGPoint=dd}", "{CGSize=dd}", "{UIEdgeInsets=dddd}");
// nil for any other encoding.
id LCBoxValueOfType(const char* type, const void* value);
namespace zvt::lc {
template <class T> struct Encoding { static constexpr const char* value = ""; };
template <> struct Encoding<double> { static constexpr const char* value = "d"; };
template <> struct Encoding<float> { static constexpr const char* value = "f"; };
template <> struct Encoding<int> { static constexpr const char* value = "i"; };
template <> struct Encoding<long> { static constexpr const char* value = "q"; };
template <> struct Encoding<long long> { static constexpr const char* value = "q"; };
template <> struct Encoding<short> { static constexpr const char* value = "s"; };
template <> struct Encoding<char> { static constexpr const char* value = "c"; };
template <> struct Encoding<signed char> { static constexpr const char* value = "c"; };
template <> struct Encoding<bool> { static constexpr const char* value = "B"; };
template <> struct Encoding<unsigned char> { static constexpr const char* value = "C"; };
template <> struct Encoding<unsigned int> { static constexpr const char* value = "I"; };
template <> struct Encoding<unsigned long> { static constexpr const char* value = "Q"; };
template <> struct Encoding<unsigned long long> { static constexpr const char* value = "Q"; };
template <> struct Encoding<unsigned short> { static constexpr const char* value = "S"; };
template <> struct Encoding<CGPoint> { static constexpr const char* value = "{CGPoint=dd}"; };
template <> struct Encoding<CGSize> { static constexpr const char* value = "{CGSize=dd}"; };
template <> struct Encoding<UIEdgeInsets> { static constexpr const char* value = "{UIEdgeInsets=dddd}"; };
}  // namespace zvt::lc
// The boxing macro's form: the value's encoding is known from its C++ type.
template <class T>
id LCBoxValue(const T& value) {
  if constexpr (std::is_convertible_v<T, id>) {
    return id(value);
  } else {
    return LCBoxValueOfType(zvt::lc::Encoding<T>::value, &value);
  }
}

class LCConstraint : public NSObject {
 public:
  using Ptr = std::shared_ptr<LCConstraint>;

  bool updateExisting() const { return updateExisting_; }
  void setUpdateExisting(bool update) { updateExisting_ = update; }
  std::shared_ptr<LCConstraintDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<LCConstraintDelegate>& delegate) { delegate_ = delegate; }

  // --- further attributes of the maker's view, added to the chain
  Ptr left() { return addConstraintWithLayoutAttribute(NSLayoutAttributeLeft); }
  Ptr top() { return addConstraintWithLayoutAttribute(NSLayoutAttributeTop); }
  Ptr right() { return addConstraintWithLayoutAttribute(NSLayoutAttributeRight); }
  Ptr bottom() { return addConstraintWithLayoutAttribute(NSLayoutAttributeBottom); }
  Ptr leading() { return addConstraintWithLayoutAttribute(NSLayoutAttributeLeading); }
  Ptr trailing() { return addConstraintWithLayoutAttribute(NSLayoutAttributeTrailing); }
  Ptr width() { return addConstraintWithLayoutAttribute(NSLayoutAttributeWidth); }
  Ptr height() { return addConstraintWithLayoutAttribute(NSLayoutAttributeHeight); }
  Ptr centerX() { return addConstraintWithLayoutAttribute(NSLayoutAttributeCenterX); }
  Ptr centerY() { return addConstraintWithLayoutAttribute(NSLayoutAttributeCenterY); }
  Ptr baseline() { return addConstraintWithLayoutAttribute(NSLayoutAttributeBaseline); }
  Ptr leftMargin() { return addConstraintWithLayoutAttribute(NSLayoutAttributeLeftMargin); }
  Ptr rightMargin() { return addConstraintWithLayoutAttribute(NSLayoutAttributeRightMargin); }
  Ptr topMargin() { return addConstraintWithLayoutAttribute(NSLayoutAttributeTopMargin); }
  Ptr bottomMargin() { return addConstraintWithLayoutAttribute(NSLayoutAttributeBottomMargin); }
  Ptr leadingMargin() { return addConstraintWithLayoutAttribute(NSLayoutAttributeLeadingMargin); }
  Ptr trailingMargin() { return addConstraintWithLayoutAttribute(NSLayoutAttributeTrailingMargin); }
  Ptr centerXWithinMargins() { return addConstraintWithLayoutAttribute(NSLayoutAttributeCenterXWithinMargins); }
  Ptr centerYWithinMargins() { return addConstraintWithLayoutAttribute(NSLayoutAttributeCenterYWithinMargins); }
  Ptr with() { return self(); }
  Ptr and_() { return self(); }

  // --- relations: a view, an LCViewAttribute, a number or value, or an array of these
  Ptr equalTo(const id& attribute) { return equalToWithRelation(attribute, NSLayoutRelationEqual); }
  Ptr greaterThanOrEqualTo(const id& attribute) {
    return equalToWithRelation(attribute, NSLayoutRelationGreaterThanOrEqual);
  }
  Ptr lessThanOrEqualTo(const id& attribute) { return equalToWithRelation(attribute, NSLayoutRelationLessThanOrEqual); }
  // The boxing forms: any value LCBoxValue takes (numbers, points, sizes, insets, objects).
  template <class T> Ptr lc_equalTo(const T& value) { return equalTo(LCBoxValue(value)); }
  template <class T> Ptr lc_greaterThanOrEqualTo(const T& value) { return greaterThanOrEqualTo(LCBoxValue(value)); }
  template <class T> Ptr lc_lessThanOrEqualTo(const T& value) { return lessThanOrEqualTo(LCBoxValue(value)); }

  // --- constants
  Ptr offset(CGFloat offset) { setOffset(offset); return self(); }
  Ptr insets(UIEdgeInsets insets) { setInsets(insets); return self(); }
  Ptr sizeOffset(CGSize offset) { setSizeOffset(offset); return self(); }
  Ptr centerOffset(CGPoint offset) { setCenterOffset(offset); return self(); }
  Ptr valueOffset(const id& value) { setLayoutConstantWithValue(value); return self(); }
  template <class T> Ptr lc_offset(const T& value) { return valueOffset(LCBoxValue(value)); }
  void setLayoutConstantWithValue(const id& value);

  // --- priority
  Ptr priorityLow() { return priority(LCLayoutPriorityLow); }
  Ptr priorityMedium() { return priority(LCLayoutPriorityMedium); }
  Ptr priorityHigh() { return priority(LCLayoutPriorityHigh); }

  // --- primitives
  virtual Ptr addConstraintWithLayoutAttribute(NSLayoutAttribute attribute);
  virtual Ptr multipliedBy(CGFloat multiplier);
  virtual Ptr dividedBy(CGFloat divider);
  virtual Ptr priority(UILayoutPriority priority);
  virtual Ptr equalToWithRelation(const id& attribute, NSLayoutRelation relation);
  virtual Ptr key(const id& key);
  virtual void setInsets(UIEdgeInsets insets);
  virtual void setSizeOffset(CGSize offset);
  virtual void setCenterOffset(CGPoint offset);
  virtual void setOffset(CGFloat offset);
  virtual void activate();
  virtual void deactivate();
  // Answers whether the constraint is in place afterwards (a constraint between views without
  // a common ancestor is not).
  virtual bool install();
  virtual void uninstall();

 protected:
  Ptr self() { return std::static_pointer_cast<LCConstraint>(shared_from_this()); }
  [[noreturn]] static void mustOverride(const char* selector);

 private:
  bool updateExisting_ = false;
  std::weak_ptr<LCConstraintDelegate> delegate_;
};

class LCViewConstraint : public LCConstraint {
 public:
  static std::shared_ptr<LCViewConstraint> initWithFirstViewAttribute(
      const std::shared_ptr<LCViewAttribute>& firstViewAttribute);
  // The builder constraints installed for the view (lc_installedConstraints).
  static std::vector<std::shared_ptr<LCViewConstraint>> installedConstraintsForView(const std::shared_ptr<UIView>& view);

  const std::shared_ptr<LCViewAttribute>& firstViewAttribute() const { return first_; }
  const std::shared_ptr<LCViewAttribute>& secondViewAttribute() const { return second_; }
  void setSecondViewAttribute(const id& attribute);
  std::shared_ptr<UIView> installedView() const { return installedView_.lock(); }
  std::shared_ptr<LCLayoutConstraint> layoutConstraint() const { return layoutConstraint_.lock(); }
  bool hasLayoutRelation() const { return hasLayoutRelation_; }
  NSLayoutRelation layoutRelation() const { return relation_; }
  void setLayoutRelation(NSLayoutRelation relation) {
    relation_ = relation;
    hasLayoutRelation_ = true;
  }
  CGFloat layoutMultiplier() const { return multiplier_; }
  CGFloat layoutConstant() const { return constant_; }
  void setLayoutConstant(CGFloat constant);
  UILayoutPriority layoutPriority() const { return priority_; }
  bool useAnimator() const { return useAnimator_; }
  void setUseAnimator(bool use) { useAnimator_ = use; }
  const id& lc_key() const { return key_; }
  // The same first attribute, constant, relation, priority, multiplier and delegate; no second
  // attribute.
  std::shared_ptr<LCViewConstraint> copy() const;

  using LCConstraint::priority;
  Ptr addConstraintWithLayoutAttribute(NSLayoutAttribute attribute) override;
  Ptr multipliedBy(CGFloat multiplier) override;
  Ptr dividedBy(CGFloat divider) override;
  Ptr priority(UILayoutPriority priority) override;
  Ptr equalToWithRelation(const id& attribute, NSLayoutRelation relation) override;
  Ptr key(const id& key) override;
  void setInsets(UIEdgeInsets insets) override;
  void setSizeOffset(CGSize offset) override;
  void setCenterOffset(CGPoint offset) override;
  void setOffset(CGFloat offset) override;
  void activate() override;
  void deactivate() override;
  bool install() override;
  void uninstall() override;

 private:
  bool hasBeenInstalled() const;
  std::shared_ptr<LCLayoutConstraint> layoutConstraintSimilarTo(const std::shared_ptr<UIView>& view,
                                                               const std::shared_ptr<LCLayoutConstraint>& c) const;
  std::shared_ptr<LCViewConstraint> selfConstraint() {
    return std::static_pointer_cast<LCViewConstraint>(shared_from_this());
  }

  std::shared_ptr<LCViewAttribute> first_;
  std::shared_ptr<LCViewAttribute> second_;
  std::weak_ptr<UIView> installedView_;
  std::weak_ptr<LCLayoutConstraint> layoutConstraint_;
  NSLayoutRelation relation_ = NSLayoutRelationEqual;
  CGFloat multiplier_ = 1;
  CGFloat constant_ = 0;
  UILayoutPriority priority_ = LCLayoutPriorityRequired;
  id key_;
  bool hasLayoutRelation_ = false;
  bool useAnimator_ = false;
};

class LCCompositeConstraint : public LCConstraint, public LCConstraintDelegate {
 public:
  // Keeps a copy of the children and becomes the delegate of each.
  static std::shared_ptr<LCCompositeConstraint> initWithChildren(const std::vector<std::shared_ptr<LCConstraint>>& children);

  const std::vector<std::shared_ptr<LCConstraint>>& childConstraints() const { return children_; }
  const id& lc_key() const { return key_; }

  using LCConstraint::priority;
  Ptr addConstraintWithLayoutAttribute(NSLayoutAttribute attribute) override;
  Ptr multipliedBy(CGFloat multiplier) override;
  Ptr dividedBy(CGFloat divider) override;
  Ptr priority(UILayoutPriority priority) override;
  Ptr equalToWithRelation(const id& attribute, NSLayoutRelation relation) override;
  Ptr key(const id& key) override;
  void setInsets(UIEdgeInsets insets) override;
  void setSizeOffset(CGSize offset) override;
  void setCenterOffset(CGPoint offset) override;
  void setOffset(CGFloat offset) override;
  void activate() override;
  void deactivate() override;
  // Installs every child; answers whether all are in place.
  bool install() override;
  void uninstall() override;

  void constraintShouldBeReplacedWithConstraint(const std::shared_ptr<LCConstraint>& constraint,
                                                const std::shared_ptr<LCConstraint>& replacement) override;
  std::shared_ptr<LCConstraint> constraintAddConstraintWithLayoutAttribute(const std::shared_ptr<LCConstraint>& constraint,
                                                                          NSLayoutAttribute attribute) override;

 private:
  std::shared_ptr<LCConstraintDelegate> selfDelegate() {
    return std::static_pointer_cast<LCCompositeConstraint>(shared_from_this());
  }
  std::vector<std::shared_ptr<LCConstraint>> children_;
  id key_;
};
