#pragma once
// Layout constraints (NSLayoutConstraint): "item1.attribute1 (relation) item2.attribute2 *
// multiplier + constant" at a priority, between views and layout guides. A constraint takes
// effect while it is active: added to a view that is a common ancestor of its items (or to one
// of them), directly with UIView::addConstraint or through setActive/activateConstraints,
// which find that ancestor. The window's layout engine (internal/LayoutEngine.h) solves the
// active constraints of its tree once per turn of the main run loop, before layout, and the
// base UIView::layoutSubviews gives the subviews their solved frames, rounded to the screen's
// pixels.
//
// The constant may change while the constraint is active (the engine re-solves from where it
// was, without rebuilding); a priority may change between optional values (1...999), but not
// to or from required (1000), as in UIKit. Items are held weakly. Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class UIView;
class UILayoutGuide;

namespace zvt::ui {
class LayoutEngine;
struct ConstraintRecord;
}  // namespace zvt::ui

enum NSLayoutAttribute : NSInteger {
  NSLayoutAttributeNotAnAttribute = 0,
  NSLayoutAttributeLeft = 1,
  NSLayoutAttributeRight = 2,
  NSLayoutAttributeTop = 3,
  NSLayoutAttributeBottom = 4,
  NSLayoutAttributeLeading = 5,
  NSLayoutAttributeTrailing = 6,
  NSLayoutAttributeWidth = 7,
  NSLayoutAttributeHeight = 8,
  NSLayoutAttributeCenterX = 9,
  NSLayoutAttributeCenterY = 10,
  NSLayoutAttributeLastBaseline = 11,
  NSLayoutAttributeBaseline = NSLayoutAttributeLastBaseline,
  NSLayoutAttributeFirstBaseline = 12,
  NSLayoutAttributeLeftMargin = 13,
  NSLayoutAttributeRightMargin = 14,
  NSLayoutAttributeTopMargin = 15,
  NSLayoutAttributeBottomMargin = 16,
  NSLayoutAttributeLeadingMargin = 17,
  NSLayoutAttributeTrailingMargin = 18,
  NSLayoutAttributeCenterXWithinMargins = 19,
  NSLayoutAttributeCenterYWithinMargins = 20,
};

enum NSLayoutRelation : NSInteger {
  NSLayoutRelationLessThanOrEqual = -1,
  NSLayoutRelationEqual = 0,
  NSLayoutRelationGreaterThanOrEqual = 1,
};

using UILayoutPriority = float;
inline constexpr UILayoutPriority UILayoutPriorityRequired = 1000;
inline constexpr UILayoutPriority UILayoutPriorityDefaultHigh = 750;
inline constexpr UILayoutPriority UILayoutPriorityDefaultLow = 250;
inline constexpr UILayoutPriority UILayoutPriorityFittingSizeLevel = 50;

enum UILayoutConstraintAxis : NSInteger {
  UILayoutConstraintAxisHorizontal = 0,
  UILayoutConstraintAxisVertical = 1,
};

// systemLayoutSizeFittingSize targets: as small and as large as the constraints allow.
inline constexpr CGSize UILayoutFittingCompressedSize{0, 0};
inline constexpr CGSize UILayoutFittingExpandedSize{10000, 10000};

class NSLayoutConstraint : public NSObject {
 public:
  NSLayoutConstraint() = default;
  ~NSLayoutConstraint() override;

  // constraintWithItem:attribute:relatedBy:toItem:attribute:multiplier:constant:. Items are
  // views or layout guides. Raises NSInvalidArgumentException as UIKit does for a nil first
  // item, a location attribute related to nothing (or with multiplier 0), a location related
  // to a size, a horizontal location related to a vertical one, and leading/trailing mixed
  // with left/right.
  static std::shared_ptr<NSLayoutConstraint> constraintWithItem(const id& view1, NSLayoutAttribute attribute1,
                                                                NSLayoutRelation relation, const id& view2,
                                                                NSLayoutAttribute attribute2, CGFloat multiplier,
                                                                CGFloat constant);
  // The same for a subclass C of NSLayoutConstraint.
  template <class C>
  static std::shared_ptr<C> makeConstraint(const id& view1, NSLayoutAttribute attribute1, NSLayoutRelation relation,
                                           const id& view2, NSLayoutAttribute attribute2, CGFloat multiplier,
                                           CGFloat constant) {
    auto constraint = std::make_shared<C>();
    constraint->setUpWithItem(view1, attribute1, relation, view2, attribute2, multiplier, constant);
    return constraint;
  }

  // Sets each active (inactive), the same as setActive one by one.
  static void activateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
  static void deactivateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);

  id firstItem() const { return firstItem_.lock(); }
  NSLayoutAttribute firstAttribute() const { return firstAttribute_; }
  NSLayoutRelation relation() const { return relation_; }
  id secondItem() const { return secondItem_.lock(); }
  NSLayoutAttribute secondAttribute() const { return secondAttribute_; }
  CGFloat multiplier() const { return multiplier_; }

  CGFloat constant() const { return constant_; }
  // An active constraint's engine re-solves from the current solution.
  void setConstant(CGFloat constant);
  UILayoutPriority priority() const { return priority_; }
  // 1...1000. Changing an active constraint between required and optional raises
  // NSInternalInconsistencyException, as UIKit does.
  void setPriority(UILayoutPriority priority);
  const std::shared_ptr<NSString>& identifier() const { return identifier_; }
  void setIdentifier(const std::shared_ptr<NSString>& identifier) { identifier_ = identifier; }

  // Active while added to a view. Activating adds it to the closest common ancestor of its
  // items (raising NSGenericException when they have none); deactivating removes it from the
  // view that holds it.
  bool isActive() const { return !holder_.expired(); }
  void setActive(bool active);
  // The view the constraint was added to, or nil.
  std::shared_ptr<UIView> holder() const { return holder_.lock(); }

  // The text every log and debugger shows. By default UIKit's own form (platformDescription);
  // an extension may replace it process-wide with setDescriptionProvider.
  std::shared_ptr<NSString> description() const override;
  // "<NSLayoutConstraint:0x... UIView:0x....width == 0.5*UIView:0x....width + 8 @750>".
  std::shared_ptr<NSString> platformDescription() const;
  using DescriptionProvider = std::function<std::shared_ptr<NSString>(const NSLayoutConstraint&)>;
  static void setDescriptionProvider(DescriptionProvider provider);

 protected:
  // The body of the factory; raises on invalid pairings.
  void setUpWithItem(const id& view1, NSLayoutAttribute attribute1, NSLayoutRelation relation, const id& view2,
                     NSLayoutAttribute attribute2, CGFloat multiplier, CGFloat constant);

 private:
  friend class UIView;
  friend class zvt::ui::LayoutEngine;
  friend struct zvt::ui::ConstraintRecord;

  std::weak_ptr<NSObject> firstItem_, secondItem_;
  NSLayoutAttribute firstAttribute_ = NSLayoutAttributeNotAnAttribute;
  NSLayoutAttribute secondAttribute_ = NSLayoutAttributeNotAnAttribute;
  NSLayoutRelation relation_ = NSLayoutRelationEqual;
  CGFloat multiplier_ = 1;
  CGFloat constant_ = 0;
  UILayoutPriority priority_ = UILayoutPriorityRequired;
  std::shared_ptr<NSString> identifier_;
  std::weak_ptr<UIView> holder_;
  // The engine that holds the constraint, while it does.
  zvt::ui::LayoutEngine* engine_ = nullptr;
};

namespace zvt::ui {
// The view a constraint item stands in (a layout guide's owning view), or nil.
std::shared_ptr<UIView> anchorViewOfItem(const id& item);
// The closest common ancestor of two views (a view counts as its own ancestor), or nil.
std::shared_ptr<UIView> closestCommonAncestor(const std::shared_ptr<UIView>& a, const std::shared_ptr<UIView>& b);
// "left", "width", "centerXWithinMargins"... as UIKit's descriptions name the attributes.
const char* layoutAttributeName(NSLayoutAttribute attribute);
}  // namespace zvt::ui
