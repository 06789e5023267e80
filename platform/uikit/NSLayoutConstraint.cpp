#include "platform/uikit/NSLayoutConstraint.h"

#include <cmath>
#include <cstdio>

#include "platform/foundation/NSException.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UILayoutGuide.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/internal/LayoutEngine.h"

namespace {

NSLayoutConstraint::DescriptionProvider& descriptionProvider() {
  static auto* provider = new NSLayoutConstraint::DescriptionProvider();
  return *provider;
}

bool isLocation(NSLayoutAttribute a) {
  return a != NSLayoutAttributeNotAnAttribute && a != NSLayoutAttributeWidth && a != NSLayoutAttributeHeight;
}

bool isSize(NSLayoutAttribute a) { return a == NSLayoutAttributeWidth || a == NSLayoutAttributeHeight; }

bool isHorizontalLocation(NSLayoutAttribute a) {
  switch (a) {
    case NSLayoutAttributeLeft:
    case NSLayoutAttributeRight:
    case NSLayoutAttributeLeading:
    case NSLayoutAttributeTrailing:
    case NSLayoutAttributeCenterX:
    case NSLayoutAttributeLeftMargin:
    case NSLayoutAttributeRightMargin:
    case NSLayoutAttributeLeadingMargin:
    case NSLayoutAttributeTrailingMargin:
    case NSLayoutAttributeCenterXWithinMargins: return true;
    default: return false;
  }
}

bool isLeadingFamily(NSLayoutAttribute a) {
  return a == NSLayoutAttributeLeading || a == NSLayoutAttributeTrailing || a == NSLayoutAttributeLeadingMargin ||
         a == NSLayoutAttributeTrailingMargin;
}

bool isLeftFamily(NSLayoutAttribute a) {
  return a == NSLayoutAttributeLeft || a == NSLayoutAttributeRight || a == NSLayoutAttributeLeftMargin ||
         a == NSLayoutAttributeRightMargin;
}

bool isItem(const id& item) { return zvt::isKind<UIView>(item) || zvt::isKind<UILayoutGuide>(item); }

std::string text(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

std::string describeItem(const id& item) {
  if (!item) return "nil";
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(item.get()));
  std::string out = item->className() + ":" + address;
  if (auto guide = zvt::as<UILayoutGuide>(item); guide && guide->identifier())
    out += " '" + guide->identifier()->utf8() + "'";
  return out;
}

}  // namespace

namespace zvt::ui {

std::shared_ptr<UIView> anchorViewOfItem(const id& item) {
  if (auto view = zvt::as<UIView>(item)) return view;
  if (auto guide = zvt::as<UILayoutGuide>(item)) return guide->owningView();
  return nullptr;
}

std::shared_ptr<UIView> closestCommonAncestor(const std::shared_ptr<UIView>& a, const std::shared_ptr<UIView>& b) {
  if (!a || !b) return nullptr;
  for (auto x = a; x; x = x->superview())
    if (b->isDescendantOfView(x)) return x;
  return nullptr;
}

const char* layoutAttributeName(NSLayoutAttribute attribute) {
  switch (attribute) {
    case NSLayoutAttributeLeft: return "left";
    case NSLayoutAttributeRight: return "right";
    case NSLayoutAttributeTop: return "top";
    case NSLayoutAttributeBottom: return "bottom";
    case NSLayoutAttributeLeading: return "leading";
    case NSLayoutAttributeTrailing: return "trailing";
    case NSLayoutAttributeWidth: return "width";
    case NSLayoutAttributeHeight: return "height";
    case NSLayoutAttributeCenterX: return "centerX";
    case NSLayoutAttributeCenterY: return "centerY";
    case NSLayoutAttributeLastBaseline: return "lastBaseline";
    case NSLayoutAttributeFirstBaseline: return "firstBaseline";
    case NSLayoutAttributeLeftMargin: return "leftMargin";
    case NSLayoutAttributeRightMargin: return "rightMargin";
    case NSLayoutAttributeTopMargin: return "topMargin";
    case NSLayoutAttributeBottomMargin: return "bottomMargin";
    case NSLayoutAttributeLeadingMargin: return "leadingMargin";
    case NSLayoutAttributeTrailingMargin: return "trailingMargin";
    case NSLayoutAttributeCenterXWithinMargins: return "centerXWithinMargins";
    case NSLayoutAttributeCenterYWithinMargins: return "centerYWithinMargins";
    default: return "notAnAttribute";
  }
}

}  // namespace zvt::ui

NSLayoutConstraint::~NSLayoutConstraint() = default;

std::shared_ptr<NSLayoutConstraint> NSLayoutConstraint::constraintWithItem(const id& view1, NSLayoutAttribute attribute1,
                                                                           NSLayoutRelation relation, const id& view2,
                                                                           NSLayoutAttribute attribute2,
                                                                           CGFloat multiplier, CGFloat constant) {
  return makeConstraint<NSLayoutConstraint>(view1, attribute1, relation, view2, attribute2, multiplier, constant);
}

void NSLayoutConstraint::setUpWithItem(const id& view1, NSLayoutAttribute attribute1, NSLayoutRelation relation,
                                       const id& view2, NSLayoutAttribute attribute2, CGFloat multiplier,
                                       CGFloat constant) {
  const char* where = "+[NSLayoutConstraint constraintWithItem:attribute:relatedBy:toItem:attribute:multiplier:constant:]";
  if (!view1 || !isItem(view1) || (view2 && !isItem(view2)))
    NSException::raise(NSInvalidArgumentException, "*** %s: Constraint items must each be a view or layout guide.",
                       where);
  if (attribute1 == NSLayoutAttributeNotAnAttribute)
    NSException::raise(NSInvalidArgumentException, "*** %s: A constraint's first attribute must be a layout attribute.",
                       where);
  if (!view2) attribute2 = NSLayoutAttributeNotAnAttribute;
  if (isLocation(attribute1) && (attribute2 == NSLayoutAttributeNotAnAttribute || multiplier == 0))
    NSException::raise(NSInvalidArgumentException,
                       "*** %s: A multiplier of 0 or a nil second item together with a location for the first "
                       "attribute creates an illegal constraint of a location equal to a constant. Location "
                       "attributes must be specified in pairs.",
                       where);
  if (attribute2 != NSLayoutAttributeNotAnAttribute) {
    bool pairs = isSize(attribute1) ? isSize(attribute2)
                                    : isLocation(attribute2) && isHorizontalLocation(attribute1) ==
                                                                    isHorizontalLocation(attribute2);
    if (!pairs) NSException::raise(NSInvalidArgumentException, "*** %s: Invalid pairing of layout attributes.", where);
    if ((isLeadingFamily(attribute1) && isLeftFamily(attribute2)) ||
        (isLeftFamily(attribute1) && isLeadingFamily(attribute2)))
      NSException::raise(NSInvalidArgumentException,
                         "*** %s: A constraint cannot be made between a leading/trailing attribute and a right/left "
                         "attribute. Use leading/trailing for both or neither.",
                         where);
  }
  if (!std::isfinite(multiplier) || !std::isfinite(constant))
    NSException::raise(NSInvalidArgumentException, "*** %s: Multiplier and constant must be finite numbers.", where);
  firstItem_ = view1;
  firstAttribute_ = attribute1;
  relation_ = relation;
  secondItem_ = attribute2 == NSLayoutAttributeNotAnAttribute ? id() : view2;
  secondAttribute_ = attribute2;
  multiplier_ = multiplier;
  constant_ = constant;
}

void NSLayoutConstraint::activateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
  for (const auto& c : constraints)
    if (c) c->setActive(true);
}

void NSLayoutConstraint::deactivateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
  for (const auto& c : constraints)
    if (c) c->setActive(false);
}

void NSLayoutConstraint::setConstant(CGFloat constant) {
  zvt::ui::assertMainThread("NSLayoutConstraint::setConstant");
  if (!std::isfinite(constant) || constant == constant_) return;
  CGFloat old = constant_;
  constant_ = constant;
  if (engine_) engine_->constantChanged(*this, old);
}

void NSLayoutConstraint::setPriority(UILayoutPriority priority) {
  zvt::ui::assertMainThread("NSLayoutConstraint::setPriority");
  if (!(priority > 0 && priority <= UILayoutPriorityRequired))
    NSException::raise(NSInvalidArgumentException,
                       "Priority must be greater than 0 and less or equal to NSLayoutPriorityRequired, which is "
                       "1000.000000. It was %g.",
                       static_cast<double>(priority));
  if (priority == priority_) return;
  if (isActive() && (priority == UILayoutPriorityRequired) != (priority_ == UILayoutPriorityRequired))
    NSException::raise(NSInternalInconsistencyException,
                       "Mutating a priority from required to not on an installed constraint (or vice-versa) is not "
                       "supported.  You passed priority %g and the existing priority was %g.",
                       static_cast<double>(priority), static_cast<double>(priority_));
  priority_ = priority;
  if (engine_) engine_->priorityChanged(*this);
}

void NSLayoutConstraint::setActive(bool active) {
  zvt::ui::assertMainThread("NSLayoutConstraint::setActive");
  if (active == isActive()) return;
  auto self = std::static_pointer_cast<NSLayoutConstraint>(shared_from_this());
  if (!active) {
    if (auto holder = holder_.lock()) holder->removeConstraint(self);
    return;
  }
  auto first = firstItem();
  auto second = secondItem();
  auto a = zvt::ui::anchorViewOfItem(first);
  auto b = second ? zvt::ui::anchorViewOfItem(second) : a;
  auto common = zvt::ui::closestCommonAncestor(a, b);
  if (!common)
    NSException::raise(NSGenericException,
                       "Unable to activate constraint with anchors %s and %s because they have no common ancestor.  "
                       "Does the constraint or its anchors reference items in different view hierarchies?  That's "
                       "illegal.",
                       describeItem(first).c_str(), describeItem(second).c_str());
  common->addConstraint(self);
}

std::shared_ptr<NSString> NSLayoutConstraint::description() const {
  if (auto& provider = descriptionProvider()) return provider(*this);
  return platformDescription();
}

void NSLayoutConstraint::setDescriptionProvider(DescriptionProvider provider) {
  descriptionProvider() = std::move(provider);
}

std::shared_ptr<NSString> NSLayoutConstraint::platformDescription() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  std::string out = std::string("<") + className() + ":" + address + " ";
  if (identifier_) out += "'" + identifier_->utf8() + "' ";
  out += describeItem(firstItem()) + "." + zvt::ui::layoutAttributeName(firstAttribute_);
  out += relation_ == NSLayoutRelationEqual ? " == " : relation_ == NSLayoutRelationLessThanOrEqual ? " <= " : " >= ";
  auto second = secondItem();
  if (second && secondAttribute_ != NSLayoutAttributeNotAnAttribute) {
    if (multiplier_ != 1) out += text(multiplier_) + "*";
    out += describeItem(second) + "." + zvt::ui::layoutAttributeName(secondAttribute_);
    if (constant_ != 0) out += (constant_ < 0 ? " - " : " + ") + text(std::fabs(constant_));
  } else {
    out += text(constant_);
  }
  if (priority_ != UILayoutPriorityRequired) out += " @" + text(priority_);
  out += isActive() ? "   (active)>" : "   (inactive)>";
  return NSString::fromValidUTF8(std::move(out));
}
