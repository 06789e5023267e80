#pragma once
// The builder's additions to views, arrays of views and view controllers (categories on the
// device; free functions here), and the readable descriptions of layout constraints.
//
// Constraint descriptions: linking this library replaces the text of every NSLayoutConstraint
// of the process (NSLayoutConstraint::setDescriptionProvider) with the builder's form, which
// names views by their debugging keys:
//   "<LCLayoutConstraint:0x... UIView:avatar.left == UIView:0x....right + 8 ^high>".

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UIViewController.h"
#include "ui/layout/LCConstraintMaker.h"

using LCMakeBlock = std::function<void(const std::shared_ptr<LCConstraintMaker>& make)>;
using LCConstraints = std::vector<std::shared_ptr<LCConstraint>>;

// --- UIView(LCAdditions)
std::shared_ptr<LCViewAttribute> lc_left(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_top(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_right(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_bottom(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_leading(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_trailing(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_width(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_height(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_centerX(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_centerY(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_baseline(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_leftMargin(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_rightMargin(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_topMargin(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_bottomMargin(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_leadingMargin(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_trailingMargin(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_centerXWithinMargins(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_centerYWithinMargins(const std::shared_ptr<UIView>& view);
std::shared_ptr<LCViewAttribute> lc_attribute(const std::shared_ptr<UIView>& view, NSLayoutAttribute attribute);

// The view's debugging key (any object), printed in constraint descriptions.
id lc_key(const std::shared_ptr<UIView>& view);
void setLc_key(const std::shared_ptr<UIView>& view, const id& key);

// The closest common ancestor of the two views (a view is its own ancestor), or nil.
std::shared_ptr<UIView> lc_closestCommonSuperview(const std::shared_ptr<UIView>& view,
                                                  const std::shared_ptr<UIView>& other);

// Each turns the view's autoresizing mask translation off, runs the block with a new maker and
// answers the constraints put in place.
LCConstraints lc_makeConstraints(const std::shared_ptr<UIView>& view, const LCMakeBlock& block);
// Changes the constants of like constraints made before instead of adding new ones.
LCConstraints lc_updateConstraints(const std::shared_ptr<UIView>& view, const LCMakeBlock& block);
// Removes every constraint the builder installed for the view first.
LCConstraints lc_remakeConstraints(const std::shared_ptr<UIView>& view, const LCMakeBlock& block);

// --- NSArray(LCAdditions), on a list of views (null elements are skipped)
using LCViews = std::vector<std::shared_ptr<UIView>>;
LCConstraints lc_makeConstraints(const LCViews& views, const LCMakeBlock& block);
LCConstraints lc_updateConstraints(const LCViews& views, const LCMakeBlock& block);
LCConstraints lc_remakeConstraints(const LCViews& views, const LCMakeBlock& block);
// Equal lengths, fixed gaps between the views and at the ends (axis 0 horizontal, else vertical).
void lc_distributeViewsAlongAxisWithFixedSpacing(const LCViews& views, UILayoutConstraintAxis axis,
                                                 CGFloat fixedSpacing, CGFloat leadSpacing, CGFloat tailSpacing);
// Fixed lengths, the gaps spread in proportion.
void lc_distributeViewsAlongAxisWithFixedItemLength(const LCViews& views, UILayoutConstraintAxis axis,
                                                    CGFloat fixedItemLength, CGFloat leadSpacing, CGFloat tailSpacing);
std::shared_ptr<UIView> lc_commonSuperviewOfViews(const LCViews& views);

// --- UIViewController(LCAdditions): attributes of the controller's layout guides
std::shared_ptr<LCViewAttribute> lc_topLayoutGuide(const std::shared_ptr<UIViewController>& controller);
std::shared_ptr<LCViewAttribute> lc_topLayoutGuideTop(const std::shared_ptr<UIViewController>& controller);
std::shared_ptr<LCViewAttribute> lc_topLayoutGuideBottom(const std::shared_ptr<UIViewController>& controller);
std::shared_ptr<LCViewAttribute> lc_bottomLayoutGuide(const std::shared_ptr<UIViewController>& controller);
std::shared_ptr<LCViewAttribute> lc_bottomLayoutGuideTop(const std::shared_ptr<UIViewController>& controller);
std::shared_ptr<LCViewAttribute> lc_bottomLayoutGuideBottom(const std::shared_ptr<UIViewController>& controller);

// --- NSLayoutConstraint(LCDebugAdditions)
namespace LCDebugAdditions {
// Name tables keyed by number objects, built once.
std::shared_ptr<NSDictionary> layoutRelationDescriptionsByValue();
std::shared_ptr<NSDictionary> layoutAttributeDescriptionsByValue();
std::shared_ptr<NSDictionary> layoutPriorityDescriptionsByValue();
// "Class:key" for an object with a debugging key, else "Class:0x...".
std::shared_ptr<NSString> descriptionForObject(const id& object);
// The builder's description of a constraint.
std::shared_ptr<NSString> description(const NSLayoutConstraint& constraint);
}  // namespace LCDebugAdditions
