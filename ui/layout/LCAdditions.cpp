#include "ui/layout/LCAdditions.h"

#include <cmath>
#include <mutex>

#include "platform/foundation/NSNumber.h"
#include "platform/uikit/UILayoutGuide.h"

namespace {

const char kKeyKey = 0;

std::shared_ptr<LCViewAttribute> attributeOf(const std::shared_ptr<UIView>& view, NSLayoutAttribute attribute) {
  return LCViewAttribute::initWithView(view, attribute);
}

LCConstraints runMaker(const std::shared_ptr<UIView>& view, const LCMakeBlock& block, bool update, bool remove) {
  if (!view) return {};
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  auto maker = LCConstraintMaker::initWithView(view);
  maker->setUpdateExisting(update);
  maker->setRemoveExisting(remove);
  if (block) block(maker);
  return maker->install();
}

LCConstraints eachView(const LCViews& views, const LCMakeBlock& block, bool update, bool remove) {
  LCConstraints all;
  for (const auto& view : views) {
    if (!view) continue;
    auto made = runMaker(view, block, update, remove);
    all.insert(all.end(), made.begin(), made.end());
  }
  return all;
}

// Every layout constraint of the process is described the builder's way once this library is
// part of the program.
const bool kDescriptionsInstalled = [] {
  NSLayoutConstraint::setDescriptionProvider(
      [](const NSLayoutConstraint& constraint) { return LCDebugAdditions::description(constraint); });
  return true;
}();

}  // namespace

std::shared_ptr<LCViewAttribute> lc_left(const std::shared_ptr<UIView>& v) { return attributeOf(v, NSLayoutAttributeLeft); }
std::shared_ptr<LCViewAttribute> lc_top(const std::shared_ptr<UIView>& v) { return attributeOf(v, NSLayoutAttributeTop); }
std::shared_ptr<LCViewAttribute> lc_right(const std::shared_ptr<UIView>& v) { return attributeOf(v, NSLayoutAttributeRight); }
std::shared_ptr<LCViewAttribute> lc_bottom(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeBottom);
}
std::shared_ptr<LCViewAttribute> lc_leading(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeLeading);
}
std::shared_ptr<LCViewAttribute> lc_trailing(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeTrailing);
}
std::shared_ptr<LCViewAttribute> lc_width(const std::shared_ptr<UIView>& v) { return attributeOf(v, NSLayoutAttributeWidth); }
std::shared_ptr<LCViewAttribute> lc_height(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeHeight);
}
std::shared_ptr<LCViewAttribute> lc_centerX(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeCenterX);
}
std::shared_ptr<LCViewAttribute> lc_centerY(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeCenterY);
}
std::shared_ptr<LCViewAttribute> lc_baseline(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeBaseline);
}
std::shared_ptr<LCViewAttribute> lc_leftMargin(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeLeftMargin);
}
std::shared_ptr<LCViewAttribute> lc_rightMargin(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeRightMargin);
}
std::shared_ptr<LCViewAttribute> lc_topMargin(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeTopMargin);
}
std::shared_ptr<LCViewAttribute> lc_bottomMargin(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeBottomMargin);
}
std::shared_ptr<LCViewAttribute> lc_leadingMargin(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeLeadingMargin);
}
std::shared_ptr<LCViewAttribute> lc_trailingMargin(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeTrailingMargin);
}
std::shared_ptr<LCViewAttribute> lc_centerXWithinMargins(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeCenterXWithinMargins);
}
std::shared_ptr<LCViewAttribute> lc_centerYWithinMargins(const std::shared_ptr<UIView>& v) {
  return attributeOf(v, NSLayoutAttributeCenterYWithinMargins);
}
std::shared_ptr<LCViewAttribute> lc_attribute(const std::shared_ptr<UIView>& v, NSLayoutAttribute attribute) {
  return attributeOf(v, attribute);
}

id lc_key(const std::shared_ptr<UIView>& view) { return view ? view->associatedObject(&kKeyKey) : nullptr; }
void setLc_key(const std::shared_ptr<UIView>& view, const id& key) {
  if (view) view->setAssociatedObject(&kKeyKey, key);
}

std::shared_ptr<UIView> lc_closestCommonSuperview(const std::shared_ptr<UIView>& view,
                                                  const std::shared_ptr<UIView>& other) {
  for (auto b = other; b; b = b->superview())
    for (auto a = view; a; a = a->superview())
      if (a == b) return a;
  return nullptr;
}

LCConstraints lc_makeConstraints(const std::shared_ptr<UIView>& view, const LCMakeBlock& block) {
  return runMaker(view, block, false, false);
}
LCConstraints lc_updateConstraints(const std::shared_ptr<UIView>& view, const LCMakeBlock& block) {
  return runMaker(view, block, true, false);
}
LCConstraints lc_remakeConstraints(const std::shared_ptr<UIView>& view, const LCMakeBlock& block) {
  return runMaker(view, block, false, true);
}

LCConstraints lc_makeConstraints(const LCViews& views, const LCMakeBlock& block) {
  return eachView(views, block, false, false);
}
LCConstraints lc_updateConstraints(const LCViews& views, const LCMakeBlock& block) {
  return eachView(views, block, true, false);
}
LCConstraints lc_remakeConstraints(const LCViews& views, const LCMakeBlock& block) {
  return eachView(views, block, false, true);
}

std::shared_ptr<UIView> lc_commonSuperviewOfViews(const LCViews& views) {
  std::shared_ptr<UIView> common;
  for (const auto& view : views) {
    if (!view) continue;
    common = common ? lc_closestCommonSuperview(view, common) : view;
  }
  return common;
}

namespace {
// The attributes of an axis: length, start, end.
struct AxisAttributes {
  NSLayoutAttribute length, start, end;
};
AxisAttributes axisAttributes(UILayoutConstraintAxis axis) {
  if (axis == UILayoutConstraintAxisHorizontal)
    return {NSLayoutAttributeWidth, NSLayoutAttributeLeft, NSLayoutAttributeRight};
  return {NSLayoutAttributeHeight, NSLayoutAttributeTop, NSLayoutAttributeBottom};
}
}  // namespace

void lc_distributeViewsAlongAxisWithFixedSpacing(const LCViews& views, UILayoutConstraintAxis axis, CGFloat fixedSpacing,
                                                 CGFloat leadSpacing, CGFloat tailSpacing) {
  if (views.size() < 2) return;
  auto common = lc_commonSuperviewOfViews(views);
  auto a = axisAttributes(axis);
  std::shared_ptr<UIView> previous;
  for (size_t i = 0; i < views.size(); ++i) {
    auto view = views[i];
    bool last = i + 1 == views.size();
    lc_makeConstraints(view, [&](const std::shared_ptr<LCConstraintMaker>& make) {
      if (previous) {
        make->addConstraintWithLayoutAttribute(a.length)->equalTo(lc_attribute(previous, a.length));
        make->addConstraintWithLayoutAttribute(a.start)->equalTo(lc_attribute(previous, a.end))->offset(fixedSpacing);
        if (last) make->addConstraintWithLayoutAttribute(a.end)->equalTo(lc_attribute(common, a.end))->offset(-tailSpacing);
      } else {
        make->addConstraintWithLayoutAttribute(a.start)->equalTo(lc_attribute(common, a.start))->offset(leadSpacing);
      }
    });
    previous = view;
  }
}

void lc_distributeViewsAlongAxisWithFixedItemLength(const LCViews& views, UILayoutConstraintAxis axis,
                                                    CGFloat fixedItemLength, CGFloat leadSpacing, CGFloat tailSpacing) {
  if (views.size() < 2) return;
  auto common = lc_commonSuperviewOfViews(views);
  auto a = axisAttributes(axis);
  double n = static_cast<double>(views.size());
  for (size_t i = 0; i < views.size(); ++i) {
    auto view = views[i];
    double at = static_cast<double>(i);
    lc_makeConstraints(view, [&](const std::shared_ptr<LCConstraintMaker>& make) {
      if (i == 0) {
        make->addConstraintWithLayoutAttribute(a.start)->equalTo(lc_attribute(common, a.start))->offset(leadSpacing);
        make->addConstraintWithLayoutAttribute(a.length)->lc_equalTo(fixedItemLength);
        return;
      }
      make->addConstraintWithLayoutAttribute(a.length)->lc_equalTo(fixedItemLength);
      if (i + 1 == views.size()) {
        make->addConstraintWithLayoutAttribute(a.end)->equalTo(lc_attribute(common, a.end))->offset(-tailSpacing);
      } else {
        double share = at / (n - 1);
        make->addConstraintWithLayoutAttribute(a.end)
            ->equalTo(lc_attribute(common, a.end))
            ->multipliedBy(share)
            ->offset((fixedItemLength + leadSpacing) * (1 - share) - at * tailSpacing / (n - 1));
      }
    });
  }
}

namespace {
std::shared_ptr<LCViewAttribute> guideAttribute(const std::shared_ptr<UIViewController>& controller, bool top,
                                                NSLayoutAttribute attribute) {
  if (!controller) return nullptr;
  auto view = controller->view();
  id guide = top ? id(controller->topLayoutGuide()) : id(controller->bottomLayoutGuide());
  return LCViewAttribute::initWithView(view, guide, attribute);
}
}  // namespace

std::shared_ptr<LCViewAttribute> lc_topLayoutGuide(const std::shared_ptr<UIViewController>& c) {
  return guideAttribute(c, true, NSLayoutAttributeBottom);
}
std::shared_ptr<LCViewAttribute> lc_topLayoutGuideTop(const std::shared_ptr<UIViewController>& c) {
  return guideAttribute(c, true, NSLayoutAttributeTop);
}
std::shared_ptr<LCViewAttribute> lc_topLayoutGuideBottom(const std::shared_ptr<UIViewController>& c) {
  return guideAttribute(c, true, NSLayoutAttributeBottom);
}
std::shared_ptr<LCViewAttribute> lc_bottomLayoutGuide(const std::shared_ptr<UIViewController>& c) {
  return guideAttribute(c, false, NSLayoutAttributeTop);
}
std::shared_ptr<LCViewAttribute> lc_bottomLayoutGuideTop(const std::shared_ptr<UIViewController>& c) {
  return guideAttribute(c, false, NSLayoutAttributeTop);
}
std::shared_ptr<LCViewAttribute> lc_bottomLayoutGuideBottom(const std::shared_ptr<UIViewController>& c) {
  return guideAttribute(c, false, NSLayoutAttributeBottom);
}

// --- descriptions

namespace LCDebugAdditions {

namespace {
std::shared_ptr<NSDictionary> table(std::vector<std::pair<id, id>> entries) {
  return NSDictionary::dictionaryWithPairs(std::move(entries));
}
id num(double v) { return NSNumber::numberWithDouble(v); }
id str(const char* s) { return NSString::stringWithUTF8String(s); }

id keyOf(const id& object) {
  if (auto view = zvt::as<UIView>(object)) return lc_key(view);
  if (auto constraint = zvt::as<LCLayoutConstraint>(object)) return constraint->lc_key();
  if (auto constraint = zvt::as<LCViewConstraint>(object)) return constraint->lc_key();
  if (auto constraint = zvt::as<LCCompositeConstraint>(object)) return constraint->lc_key();
  return nullptr;
}
}  // namespace

std::shared_ptr<NSDictionary> layoutRelationDescriptionsByValue() {
  static const auto names = table({{num(0), str("==")}, {num(1), str(">=")}, {num(-1), str("<=")}});
  return names;
}

std::shared_ptr<NSDictionary> layoutAttributeDescriptionsByValue() {
  static const auto names = table({{num(3), str("top")},
                                   {num(1), str("left")},
                                   {num(4), str("bottom")},
                                   {num(2), str("right")},
                                   {num(5), str("leading")},
                                   {num(6), str("trailing")},
                                   {num(7), str("width")},
                                   {num(8), str("height")},
                                   {num(9), str("centerX")},
                                   {num(10), str("centerY")},
                                   {num(11), str("baseline")},
                                   {num(13), str("leftMargin")},
                                   {num(14), str("rightMargin")},
                                   {num(15), str("topMargin")},
                                   {num(16), str("bottomMargin")},
                                   {num(17), str("leadingMargin")},
                                   {num(18), str("trailingMargin")},
                                   {num(19), str("centerXWithinMargins")},
                                   {num(20), str("centerYWithinMargins")}});
  return names;
}

std::shared_ptr<NSDictionary> layoutPriorityDescriptionsByValue() {
  static const auto names = table({{num(750), str("high")},
                                   {num(250), str("low")},
                                   {num(500), str("medium")},
                                   {num(1000), str("required")},
                                   {num(50), str("fitting size")}});
  return names;
}

std::shared_ptr<NSString> descriptionForObject(const id& object) {
  if (!object) return NSString::stringWithFormat("%@:%p", id(nullptr), static_cast<const void*>(nullptr));
  auto className = NSString::stringWithUTF8String(object->className());
  if (id key = keyOf(object)) return NSString::stringWithFormat("%@:%@", className, key);
  return NSString::stringWithFormat("%@:%p", className, static_cast<const void*>(object.get()));
}

std::shared_ptr<NSString> description(const NSLayoutConstraint& constraint) {
  auto self = std::const_pointer_cast<NSObject>(constraint.shared_from_this());
  std::string out = "<" + descriptionForObject(self)->utf8();
  auto attributeName = [](NSLayoutAttribute a) {
    return zvt::format("%@", {layoutAttributeDescriptionsByValue()->objectForKey(num(a))});
  };
  out += zvt::format(" %@", {descriptionForObject(constraint.firstItem())});
  if (constraint.firstAttribute() != NSLayoutAttributeNotAnAttribute)
    out += "." + attributeName(constraint.firstAttribute());
  out += zvt::format(" %@", {layoutRelationDescriptionsByValue()->objectForKey(num(constraint.relation()))});
  if (id second = constraint.secondItem()) out += zvt::format(" %@", {descriptionForObject(second)});
  if (constraint.secondAttribute() != NSLayoutAttributeNotAnAttribute)
    out += "." + attributeName(constraint.secondAttribute());
  if (constraint.multiplier() != 1) out += zvt::format(" * %g", {constraint.multiplier()});
  if (constraint.secondAttribute() == NSLayoutAttributeNotAnAttribute) {
    out += zvt::format(" %g", {constraint.constant()});
  } else if (constraint.constant() != 0) {
    out += zvt::format(" %s %g", {constraint.constant() < 0 ? "-" : "+", std::fabs(constraint.constant())});
  }
  if (constraint.priority() != UILayoutPriorityRequired) {
    id name = layoutPriorityDescriptionsByValue()->objectForKey(num(constraint.priority()));
    out += zvt::format(" ^%@", {name ? name : num(static_cast<double>(constraint.priority()))});
  }
  out += ">";
  (void)kDescriptionsInstalled;
  return NSString::stringWithUTF8String(out);
}

}  // namespace LCDebugAdditions
