#include "ui/layout/LCConstraint.h"

#include <cstring>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "ui/layout/LCAdditions.h"

// --- LCViewAttribute

std::shared_ptr<LCViewAttribute> LCViewAttribute::initWithView(const std::shared_ptr<UIView>& view,
                                                               NSLayoutAttribute attribute) {
  return initWithView(view, view, attribute);
}

std::shared_ptr<LCViewAttribute> LCViewAttribute::initWithView(const std::shared_ptr<UIView>& view, const id& item,
                                                               NSLayoutAttribute attribute) {
  auto a = std::make_shared<LCViewAttribute>();
  a->view_ = view;
  a->item_ = item;
  a->attribute_ = attribute;
  return a;
}

bool LCViewAttribute::isSizeAttribute() const {
  return attribute_ == NSLayoutAttributeWidth || attribute_ == NSLayoutAttributeHeight;
}

bool LCViewAttribute::isEqual(const id& other) const {
  auto o = zvt::as<LCViewAttribute>(other);
  if (!o) return NSObject::isEqual(other);
  return o->view() == view() && o->attribute_ == attribute_;
}

NSUInteger LCViewAttribute::hash() const {
  auto v = view();
  NSUInteger h = v ? v->hash() : 0;
  constexpr unsigned half = sizeof(NSUInteger) * 8 / 2;
  return ((h << half) | (h >> half)) ^ static_cast<NSUInteger>(attribute_);
}

// --- boxing

id LCBoxValueOfType(const char* type, const void* value) {
  if (!type || !value) return nullptr;
  auto is = [type](const char* t) { return std::strcmp(type, t) == 0; };
  if (is("@")) return *static_cast<const id*>(value);
  if (is("{CGPoint=dd}")) return NSValue::valueWithCGPoint(*static_cast<const CGPoint*>(value));
  if (is("{CGSize=dd}")) return NSValue::valueWithCGSize(*static_cast<const CGSize*>(value));
  if (is("{UIEdgeInsets=dddd}"))
    return NSValue::valueWithValue(*static_cast<const UIEdgeInsets*>(value), "{UIEdgeInsets=dddd}");
  if (is("d")) return NSNumber::numberWithDouble(*static_cast<const double*>(value));
  if (is("f")) return NSNumber::numberWithFloat(*static_cast<const float*>(value));
  if (is("i")) return NSNumber::numberWithInt(*static_cast<const int*>(value));
  if (is("q")) return NSNumber::numberWithLongLong(*static_cast<const long long*>(value));
  if (is("s")) return NSNumber::numberWithShort(*static_cast<const short*>(value));
  if (is("c")) return NSNumber::numberWithChar(*static_cast<const signed char*>(value));
  if (is("B")) return NSNumber::numberWithBool(*static_cast<const bool*>(value));
  if (is("C")) return NSNumber::numberWithUnsignedChar(*static_cast<const unsigned char*>(value));
  if (is("I")) return NSNumber::numberWithUnsignedInt(*static_cast<const unsigned int*>(value));
  if (is("Q")) return NSNumber::numberWithUnsignedLongLong(*static_cast<const unsigned long long*>(value));
  if (is("S")) return NSNumber::numberWithUnsignedShort(*static_cast<const unsigned short*>(value));
  return nullptr;
}

// --- LCConstraint: the abstract primitives

void LCConstraint::mustOverride(const char* selector) {
  NSException::raise(NSInternalInconsistencyException, "You must override %@ in a subclass.",
                     NSString::stringWithUTF8String(selector));
  __builtin_unreachable();
}

LCConstraint::Ptr LCConstraint::addConstraintWithLayoutAttribute(NSLayoutAttribute) {
  mustOverride("addConstraintWithLayoutAttribute:");
}
LCConstraint::Ptr LCConstraint::multipliedBy(CGFloat) { mustOverride("multipliedBy"); }
LCConstraint::Ptr LCConstraint::dividedBy(CGFloat) { mustOverride("dividedBy"); }
LCConstraint::Ptr LCConstraint::priority(UILayoutPriority) { mustOverride("priority"); }
LCConstraint::Ptr LCConstraint::equalToWithRelation(const id&, NSLayoutRelation) { mustOverride("equalToWithRelation"); }
LCConstraint::Ptr LCConstraint::key(const id&) { mustOverride("key"); }
void LCConstraint::setInsets(UIEdgeInsets) { mustOverride("setInsets:"); }
void LCConstraint::setSizeOffset(CGSize) { mustOverride("setSizeOffset:"); }
void LCConstraint::setCenterOffset(CGPoint) { mustOverride("setCenterOffset:"); }
void LCConstraint::setOffset(CGFloat) { mustOverride("setOffset:"); }
void LCConstraint::activate() { mustOverride("activate"); }
void LCConstraint::deactivate() { mustOverride("deactivate"); }
bool LCConstraint::install() { mustOverride("install"); }
void LCConstraint::uninstall() { mustOverride("uninstall"); }

void LCConstraint::setLayoutConstantWithValue(const id& value) {
  if (auto number = zvt::as<NSNumber>(value)) {
    setOffset(number->doubleValue());
    return;
  }
  auto boxed = zvt::as<NSValue>(value);
  if (!boxed) return;
  std::string_view type = boxed->objCType();
  if (type == "{CGPoint=dd}") {
    setCenterOffset(boxed->CGPointValue());
  } else if (type == "{CGSize=dd}") {
    setSizeOffset(boxed->CGSizeValue());
  } else if (type == "{UIEdgeInsets=dddd}") {
    setInsets(boxed->value<UIEdgeInsets>());
  }
}

// --- the builder constraints a view keeps (lc_installedConstraints)

namespace {

const char kInstalledConstraintsKey = 0;

class InstalledConstraints : public NSObject {
 public:
  std::vector<std::shared_ptr<LCViewConstraint>> members;
  void add(const std::shared_ptr<LCViewConstraint>& c) {
    if (std::find(members.begin(), members.end(), c) == members.end()) members.push_back(c);
  }
  void remove(const std::shared_ptr<LCViewConstraint>& c) { std::erase(members, c); }
};

std::shared_ptr<InstalledConstraints> installedConstraints(const std::shared_ptr<UIView>& view) {
  auto set = zvt::as<InstalledConstraints>(view->associatedObject(&kInstalledConstraintsKey));
  if (!set) {
    set = std::make_shared<InstalledConstraints>();
    view->setAssociatedObject(&kInstalledConstraintsKey, set);
  }
  return set;
}

bool isValueObject(const id& object) { return zvt::isKind<NSNumber>(object) || zvt::isKind<NSValue>(object); }

}  // namespace

// --- LCViewConstraint

std::shared_ptr<LCViewConstraint> LCViewConstraint::initWithFirstViewAttribute(
    const std::shared_ptr<LCViewAttribute>& firstViewAttribute) {
  auto c = std::make_shared<LCViewConstraint>();
  c->first_ = firstViewAttribute;
  return c;
}

std::vector<std::shared_ptr<LCViewConstraint>> LCViewConstraint::installedConstraintsForView(
    const std::shared_ptr<UIView>& view) {
  if (!view) return {};
  return installedConstraints(view)->members;
}

std::shared_ptr<LCViewConstraint> LCViewConstraint::copy() const {
  auto c = initWithFirstViewAttribute(first_);
  c->constant_ = constant_;
  c->relation_ = relation_;
  c->hasLayoutRelation_ = hasLayoutRelation_;
  c->priority_ = priority_;
  c->multiplier_ = multiplier_;
  c->setDelegate(delegate());
  return c;
}

void LCViewConstraint::setSecondViewAttribute(const id& attribute) {
  if (isValueObject(attribute)) {
    setLayoutConstantWithValue(attribute);
  } else if (auto view = zvt::as<UIView>(attribute)) {
    second_ = LCViewAttribute::initWithView(view, first_->layoutAttribute());
  } else if (auto viewAttribute = zvt::as<LCViewAttribute>(attribute)) {
    second_ = viewAttribute;
  }
}

void LCViewConstraint::setLayoutConstant(CGFloat constant) {
  constant_ = constant;
  if (auto platform = layoutConstraint()) platform->setConstant(constant);
}

LCConstraint::Ptr LCViewConstraint::addConstraintWithLayoutAttribute(NSLayoutAttribute attribute) {
  auto d = delegate();
  if (!d) return nullptr;
  return d->constraintAddConstraintWithLayoutAttribute(self(), attribute);
}

LCConstraint::Ptr LCViewConstraint::multipliedBy(CGFloat multiplier) {
  multiplier_ = multiplier;
  return self();
}

LCConstraint::Ptr LCViewConstraint::dividedBy(CGFloat divider) {
  multiplier_ = 1.0 / divider;
  return self();
}

LCConstraint::Ptr LCViewConstraint::priority(UILayoutPriority priority) {
  priority_ = priority;
  return self();
}

LCConstraint::Ptr LCViewConstraint::equalToWithRelation(const id& attribute, NSLayoutRelation relation) {
  if (auto array = zvt::as<NSArray>(attribute)) {
    std::vector<std::shared_ptr<LCConstraint>> children;
    for (const id& element : *array) {
      auto c = copy();
      c->setLayoutRelation(relation);
      c->setSecondViewAttribute(element);
      children.push_back(c);
    }
    auto composite = LCCompositeConstraint::initWithChildren(children);
    auto d = delegate();
    composite->setDelegate(d);
    if (d) d->constraintShouldBeReplacedWithConstraint(self(), composite);
    return composite;
  }
  setLayoutRelation(relation);
  setSecondViewAttribute(attribute);
  return self();
}

LCConstraint::Ptr LCViewConstraint::key(const id& key) {
  key_ = key;
  return self();
}

void LCViewConstraint::setInsets(UIEdgeInsets insets) {
  switch (first_->layoutAttribute()) {
    case NSLayoutAttributeLeft:
    case NSLayoutAttributeLeading: setLayoutConstant(insets.left); break;
    case NSLayoutAttributeTop: setLayoutConstant(insets.top); break;
    case NSLayoutAttributeRight:
    case NSLayoutAttributeTrailing: setLayoutConstant(-insets.right); break;
    case NSLayoutAttributeBottom: setLayoutConstant(-insets.bottom); break;
    default: break;
  }
}

void LCViewConstraint::setSizeOffset(CGSize offset) {
  if (first_->layoutAttribute() == NSLayoutAttributeWidth) setLayoutConstant(offset.width);
  if (first_->layoutAttribute() == NSLayoutAttributeHeight) setLayoutConstant(offset.height);
}

void LCViewConstraint::setCenterOffset(CGPoint offset) {
  if (first_->layoutAttribute() == NSLayoutAttributeCenterX) setLayoutConstant(offset.x);
  if (first_->layoutAttribute() == NSLayoutAttributeCenterY) setLayoutConstant(offset.y);
}

void LCViewConstraint::setOffset(CGFloat offset) { setLayoutConstant(offset); }

bool LCViewConstraint::hasBeenInstalled() const {
  auto platform = layoutConstraint();
  return platform && platform->isActive();
}

void LCViewConstraint::activate() {
  auto platform = layoutConstraint();
  if (!platform) {
    install();
    return;
  }
  if (hasBeenInstalled()) return;
  platform->setActive(true);
  if (auto view = first_->view()) installedConstraints(view)->add(selfConstraint());
}

void LCViewConstraint::deactivate() {
  auto platform = layoutConstraint();
  if (!platform) return;
  platform->setActive(false);
  if (auto view = first_->view()) installedConstraints(view)->remove(selfConstraint());
}

std::shared_ptr<LCLayoutConstraint> LCViewConstraint::layoutConstraintSimilarTo(
    const std::shared_ptr<UIView>& view, const std::shared_ptr<LCLayoutConstraint>& c) const {
  auto existing = view->constraints();
  for (auto it = existing.rbegin(); it != existing.rend(); ++it) {
    auto candidate = zvt::as<LCLayoutConstraint>(*it);
    if (!candidate) continue;
    if (candidate->firstItem() != c->firstItem() || candidate->secondItem() != c->secondItem()) continue;
    if (candidate->firstAttribute() != c->firstAttribute() || candidate->secondAttribute() != c->secondAttribute())
      continue;
    if (candidate->relation() != c->relation() || candidate->multiplier() != c->multiplier()) continue;
    if (candidate->priority() != c->priority()) continue;
    return candidate;
  }
  return nullptr;
}

bool LCViewConstraint::install() {
  if (hasBeenInstalled()) return true;
  auto firstView = first_->view();
  id firstItem = first_->item();
  if (!firstView || !firstItem) return false;
  NSLayoutAttribute firstAttribute = first_->layoutAttribute();
  auto secondView = second_ ? second_->view() : nullptr;
  id secondItem = second_ ? second_->item() : nullptr;
  NSLayoutAttribute secondAttribute = second_ ? second_->layoutAttribute() : NSLayoutAttributeNotAnAttribute;
  if (!first_->isSizeAttribute() && !second_) {
    secondView = firstView->superview();
    secondItem = secondView;
    secondAttribute = firstAttribute;
  }

  // Where the constraint goes. Views without a common ancestor (or a position related to a
  // superview the view does not have) have no such place: the constraint could never take
  // effect, so it is neither made nor recorded, and the caller hears that it is not in place.
  std::shared_ptr<UIView> installing;
  if (second_ && secondView) {
    installing = lc_closestCommonSuperview(firstView, secondView);
  } else if (first_->isSizeAttribute() && !second_) {
    installing = firstView;
  } else {
    installing = firstView->superview();
  }
  if (!installing || (second_ && !secondItem)) {
    zvt::logFormat(zvt::LogLevel::Warning,
                   "Constraint builder: %@.%s of %@ is not installed: the views have no common ancestor",
                   LCDebugAdditions::descriptionForObject(firstView), zvt::ui::layoutAttributeName(firstAttribute),
                   LCDebugAdditions::descriptionForObject(secondView ? id(secondView) : id(firstView)));
    return false;
  }

  auto platform = NSLayoutConstraint::makeConstraint<LCLayoutConstraint>(
      firstItem, firstAttribute, relation_, secondItem, secondAttribute, multiplier_, constant_);
  platform->setPriority(priority_);
  platform->setLc_key(key_);

  if (updateExisting()) {
    if (auto similar = layoutConstraintSimilarTo(installing, platform)) {
      similar->setConstant(platform->constant());
      layoutConstraint_ = similar;
      installedView_ = installing;
      return true;
    }
  }
  installing->addConstraint(platform);
  layoutConstraint_ = platform;
  installedView_ = installing;
  installedConstraints(firstView)->add(selfConstraint());
  return true;
}

void LCViewConstraint::uninstall() {
  if (auto view = installedView())
    if (auto platform = layoutConstraint()) view->removeConstraint(platform);
  layoutConstraint_.reset();
  installedView_.reset();
  if (auto view = first_->view()) installedConstraints(view)->remove(selfConstraint());
}

// --- LCCompositeConstraint

std::shared_ptr<LCCompositeConstraint> LCCompositeConstraint::initWithChildren(
    const std::vector<std::shared_ptr<LCConstraint>>& children) {
  auto c = std::make_shared<LCCompositeConstraint>();
  c->children_ = children;
  for (auto& child : c->children_) child->setDelegate(c);
  return c;
}

LCConstraint::Ptr LCCompositeConstraint::addConstraintWithLayoutAttribute(NSLayoutAttribute attribute) {
  auto d = delegate();
  if (!d) return self();
  auto added = d->constraintAddConstraintWithLayoutAttribute(self(), attribute);
  if (added) {
    added->setDelegate(selfDelegate());
    children_.push_back(added);
  }
  return self();
}

LCConstraint::Ptr LCCompositeConstraint::multipliedBy(CGFloat multiplier) {
  for (auto& c : children_) c->multipliedBy(multiplier);
  return self();
}

LCConstraint::Ptr LCCompositeConstraint::dividedBy(CGFloat divider) {
  for (auto& c : children_) c->dividedBy(divider);
  return self();
}

LCConstraint::Ptr LCCompositeConstraint::priority(UILayoutPriority priority) {
  for (auto& c : children_) c->priority(priority);
  return self();
}

LCConstraint::Ptr LCCompositeConstraint::equalToWithRelation(const id& attribute, NSLayoutRelation relation) {
  auto children = children_;
  for (auto& c : children) c->equalToWithRelation(attribute, relation);
  return self();
}

LCConstraint::Ptr LCCompositeConstraint::key(const id& key) {
  key_ = key;
  int i = 0;
  for (auto& c : children_) c->key(NSString::stringWithFormat("%@[%d]", key, i++));
  return self();
}

void LCCompositeConstraint::setInsets(UIEdgeInsets insets) {
  for (auto& c : children_) c->setInsets(insets);
}
void LCCompositeConstraint::setSizeOffset(CGSize offset) {
  for (auto& c : children_) c->setSizeOffset(offset);
}
void LCCompositeConstraint::setCenterOffset(CGPoint offset) {
  for (auto& c : children_) c->setCenterOffset(offset);
}
void LCCompositeConstraint::setOffset(CGFloat offset) {
  for (auto& c : children_) c->setOffset(offset);
}
void LCCompositeConstraint::activate() {
  for (auto& c : children_) c->activate();
}
void LCCompositeConstraint::deactivate() {
  for (auto& c : children_) c->deactivate();
}

bool LCCompositeConstraint::install() {
  bool all = true;
  for (auto& c : children_) {
    c->setUpdateExisting(updateExisting());
    all = c->install() && all;
  }
  return all;
}

void LCCompositeConstraint::uninstall() {
  for (auto& c : children_) c->uninstall();
}

void LCCompositeConstraint::constraintShouldBeReplacedWithConstraint(const std::shared_ptr<LCConstraint>& constraint,
                                                                     const std::shared_ptr<LCConstraint>& replacement) {
  auto it = std::find(children_.begin(), children_.end(), constraint);
  if (it != children_.end()) *it = replacement;
}

std::shared_ptr<LCConstraint> LCCompositeConstraint::constraintAddConstraintWithLayoutAttribute(
    const std::shared_ptr<LCConstraint>&, NSLayoutAttribute attribute) {
  auto d = delegate();
  if (!d) return nullptr;
  auto added = d->constraintAddConstraintWithLayoutAttribute(self(), attribute);
  if (added) {
    added->setDelegate(selfDelegate());
    children_.push_back(added);
  }
  return added;
}
