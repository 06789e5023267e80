#pragma once
// The maker handed to a make, update or remake block: each attribute starts a constraint of
// the maker's view; install() puts every constraint described in place.

#include <functional>
#include <memory>
#include <vector>

#include "ui/layout/LCConstraint.h"

class LCConstraintMaker : public NSObject, public LCConstraintDelegate {
 public:
  using Ptr = std::shared_ptr<LCConstraint>;
  static std::shared_ptr<LCConstraintMaker> initWithView(const std::shared_ptr<UIView>& view);

  bool updateExisting() const { return updateExisting_; }
  void setUpdateExisting(bool update) { updateExisting_ = update; }
  bool removeExisting() const { return removeExisting_; }
  void setRemoveExisting(bool remove) { removeExisting_ = remove; }
  std::shared_ptr<UIView> view() const { return view_.lock(); }
  // The top-level constraints described so far.
  const std::vector<Ptr>& constraints() const { return constraints_; }

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
  Ptr edges() { return attributes(LCAttributeEdges); }
  Ptr size() { return attributes(LCAttributeSize); }
  Ptr center() { return attributes(LCAttributeCenter); }
  // One composite of the mask's attributes (in the order left, right, top, bottom, leading,
  // trailing, width, height, centerX, centerY, baseline, then the margin attributes).
  Ptr attributes(LCAttribute mask);
  // A composite of the constraints the block describes (they stay in `constraints` themselves).
  Ptr group(const std::function<void()>& block);

  // Uninstalls the view's earlier builder constraints when removeExisting, installs every
  // constraint described (updating like ones when updateExisting) and answers those in place.
  std::vector<Ptr> install();

  Ptr addConstraintWithLayoutAttribute(NSLayoutAttribute attribute) {
    return constraintAddConstraintWithLayoutAttribute(nullptr, attribute);
  }
  void constraintShouldBeReplacedWithConstraint(const std::shared_ptr<LCConstraint>& constraint,
                                                const std::shared_ptr<LCConstraint>& replacement) override;
  std::shared_ptr<LCConstraint> constraintAddConstraintWithLayoutAttribute(const std::shared_ptr<LCConstraint>& constraint,
                                                                          NSLayoutAttribute attribute) override;

 private:
  std::shared_ptr<LCConstraintDelegate> selfDelegate() {
    return std::static_pointer_cast<LCConstraintMaker>(shared_from_this());
  }
  std::weak_ptr<UIView> view_;
  std::vector<Ptr> constraints_;
  bool updateExisting_ = false;
  bool removeExisting_ = false;
};
