#include "ui/layout/LCConstraintMaker.h"

#include <algorithm>

std::shared_ptr<LCConstraintMaker> LCConstraintMaker::initWithView(const std::shared_ptr<UIView>& view) {
  auto maker = std::make_shared<LCConstraintMaker>();
  maker->view_ = view;
  return maker;
}

std::shared_ptr<LCConstraint> LCConstraintMaker::constraintAddConstraintWithLayoutAttribute(
    const std::shared_ptr<LCConstraint>& constraint, NSLayoutAttribute attribute) {
  auto attr = LCViewAttribute::initWithView(view(), attribute);
  std::shared_ptr<LCConstraint> added = LCViewConstraint::initWithFirstViewAttribute(attr);
  if (zvt::isKind<LCViewConstraint>(constraint)) {
    // A second attribute on a single constraint: both become one composite in its place.
    auto composite = LCCompositeConstraint::initWithChildren({constraint, added});
    composite->setDelegate(selfDelegate());
    constraintShouldBeReplacedWithConstraint(constraint, composite);
    return composite;
  }
  if (!constraint) {
    added->setDelegate(selfDelegate());
    constraints_.push_back(added);
  }
  return added;
}

void LCConstraintMaker::constraintShouldBeReplacedWithConstraint(const std::shared_ptr<LCConstraint>& constraint,
                                                                 const std::shared_ptr<LCConstraint>& replacement) {
  auto it = std::find(constraints_.begin(), constraints_.end(), constraint);
  if (it != constraints_.end()) *it = replacement;
}

LCConstraintMaker::Ptr LCConstraintMaker::attributes(LCAttribute mask) {
  static constexpr NSLayoutAttribute kOrder[] = {
      NSLayoutAttributeLeft,        NSLayoutAttributeRight,        NSLayoutAttributeTop,
      NSLayoutAttributeBottom,      NSLayoutAttributeLeading,      NSLayoutAttributeTrailing,
      NSLayoutAttributeWidth,       NSLayoutAttributeHeight,       NSLayoutAttributeCenterX,
      NSLayoutAttributeCenterY,     NSLayoutAttributeBaseline,     NSLayoutAttributeLeftMargin,
      NSLayoutAttributeRightMargin, NSLayoutAttributeTopMargin,    NSLayoutAttributeBottomMargin,
      NSLayoutAttributeLeadingMargin, NSLayoutAttributeTrailingMargin, NSLayoutAttributeCenterXWithinMargins,
      NSLayoutAttributeCenterYWithinMargins};
  std::vector<std::shared_ptr<LCConstraint>> children;
  for (NSLayoutAttribute a : kOrder)
    if (mask & LCAttributeMask(a))
      children.push_back(LCViewConstraint::initWithFirstViewAttribute(LCViewAttribute::initWithView(view(), a)));
  auto composite = LCCompositeConstraint::initWithChildren(children);
  composite->setDelegate(selfDelegate());
  constraints_.push_back(composite);
  return composite;
}

LCConstraintMaker::Ptr LCConstraintMaker::group(const std::function<void()>& block) {
  size_t before = constraints_.size();
  if (block) block();
  std::vector<std::shared_ptr<LCConstraint>> added(constraints_.begin() + static_cast<std::ptrdiff_t>(before),
                                                   constraints_.end());
  auto made = LCCompositeConstraint::initWithChildren(added);
  made->setDelegate(selfDelegate());
  return made;
}

std::vector<LCConstraintMaker::Ptr> LCConstraintMaker::install() {
  if (removeExisting_) {
    for (auto& c : LCViewConstraint::installedConstraintsForView(view())) c->uninstall();
  }
  auto all = constraints_;
  std::vector<Ptr> installed;
  for (auto& c : all) {
    c->setUpdateExisting(updateExisting_);
    if (c->install()) installed.push_back(c);
  }
  constraints_.clear();
  return installed;
}
