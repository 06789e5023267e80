#include "platform/uikit/internal/LayoutEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UILayoutGuide.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIView.h"

namespace zvt::ui {

using zvt::layout::Constraint;
using zvt::layout::Expression;
using zvt::layout::Outcome;
using zvt::layout::Relation;
using zvt::layout::Status;
using zvt::layout::Term;
using zvt::layout::Variable;

namespace {

uint64_t solverAdds = 0;

Relation toRelation(NSLayoutRelation relation) {
  switch (relation) {
    case NSLayoutRelationLessThanOrEqual: return Relation::LessThanOrEqual;
    case NSLayoutRelationGreaterThanOrEqual: return Relation::GreaterThanOrEqual;
    default: return Relation::Equal;
  }
}

const char* relationText(Relation relation) {
  switch (relation) {
    case Relation::LessThanOrEqual: return "<=";
    case Relation::GreaterThanOrEqual: return ">=";
    default: return "==";
  }
}

bool isHorizontal(NSLayoutAttribute a) {
  switch (a) {
    case NSLayoutAttributeLeft:
    case NSLayoutAttributeRight:
    case NSLayoutAttributeLeading:
    case NSLayoutAttributeTrailing:
    case NSLayoutAttributeWidth:
    case NSLayoutAttributeCenterX:
    case NSLayoutAttributeLeftMargin:
    case NSLayoutAttributeRightMargin:
    case NSLayoutAttributeLeadingMargin:
    case NSLayoutAttributeTrailingMargin:
    case NSLayoutAttributeCenterXWithinMargins: return true;
    default: return false;
  }
}

double pixelScale() {
  double scale = UIScreen::mainScreen()->scale();
  return scale > 0 ? scale : 1;
}

double roundToPixel(double v, double scale) { return std::floor(v * scale + 0.5) / scale; }

std::string number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

std::string address(const void* p) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", p);
  return buffer;
}

std::string itemText(const NSObject* object) {
  if (!object) return "nil";
  return object->className() + ":" + address(object);
}

bool sameTerms(const std::vector<Term>& a, const std::vector<Term>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!a[i].variable.sameAs(b[i].variable) || a[i].coefficient != b[i].coefficient) return false;
  return true;
}

bool translatesMask(const UIView& view) { return view.translatesAutoresizingMaskIntoConstraints(); }

}  // namespace

bool sameFrame(const CGRect& a, const CGRect& b) {
  auto near = [](double x, double y) { return std::fabs(x - y) <= 1e-9 * std::max(1.0, std::fabs(x)); };
  return near(a.origin.x, b.origin.x) && near(a.origin.y, b.origin.y) && near(a.size.width, b.size.width) &&
         near(a.size.height, b.size.height);
}

// --- item state -----------------------------------------------------------------------------

LayoutItemVariables& LayoutItemState::vars(const void* item, const char* kind) {
  if (!variables) variables = std::make_unique<LayoutItemVariables>(std::string(kind) + ":" + address(item));
  return *variables;
}

void LayoutItemState::forget(NSLayoutConstraint* constraint) {
  auto it = std::find(referencing.begin(), referencing.end(), constraint);
  if (it != referencing.end()) referencing.erase(it);
}

// --- engine records ---------------------------------------------------------------------------

// One linear constraint that the engine adds for an item, besides those made by code.
struct LayoutEngine::FrameSpec {
  std::vector<Term> terms;
  Relation relation = Relation::Equal;
  double constant = 0;
  float priority = UILayoutPriorityRequired;
  Entity* uses = nullptr;  // the other item it names (superview, owning view)
  const char* label = "";  // for descriptions
};

struct LayoutEngine::Entity {
  const void* key = nullptr;
  UIView* view = nullptr;
  UILayoutGuide* guide = nullptr;
  LayoutItemState* state = nullptr;
  LayoutItemVariables* vars = nullptr;
  size_t index = 0;
  int uses = 0;
  bool isRoot = false;
  bool queued = false;
  struct Placed {
    FrameSpec blueprint;
    Constraint constraint;
    bool inSolver = false;
  };
  std::vector<Placed> frame;
  // Intrinsic size: hugging and compression resistance, width then height.
  Constraint intrinsic[4];
  double intrinsicValue[4] = {-1, -1, -1, -1};
  float intrinsicPriority[4] = {0, 0, 0, 0};
  int contentUses[2] = {0, 0};
  // Records whose constants read this view's margins or baselines.
  std::vector<Record*> constantUsers;
};

struct LayoutEngine::Record {
  NSLayoutConstraint* constraint = nullptr;
  Constraint solverConstraint;
  double solverConstant = 0;  // the solver's constant for translatedConstant
  double translatedConstant = 0;
  bool inSolver = false;
  std::vector<Entity*> entities;
  std::vector<std::pair<Entity*, int>> content;
  std::vector<Entity*> constantSources;
};

struct LayoutEngine::Source {
  const NSLayoutConstraint* constraint = nullptr;
  const Entity* entity = nullptr;
  int part = 0;  // frame constraint index, or 100 + intrinsic index
};

uint64_t LayoutEngine::solverAddCount() { return solverAdds; }

LayoutEngine::LayoutEngine(UIView& root, Mode mode) : root_(root), mode_(mode) {}

LayoutEngine::~LayoutEngine() {
  for (auto& [constraint, record] : records_)
    if (mode_ == Mode::Tree && record->constraint->engine_ == this) record->constraint->engine_ = nullptr;
  for (auto& entity : entities_)
    if (mode_ == Mode::Tree && entity->state->engine == this) entity->state->engine = nullptr;
}

LayoutEngine::Entity* LayoutEngine::entityFor(const void* item) {
  auto it = entityIndex_.find(item);
  return it == entityIndex_.end() ? nullptr : it->second;
}

LayoutEngine::Entity& LayoutEngine::ensureEntity(UIView* view, UILayoutGuide* guide) {
  const void* key = view ? static_cast<const void*>(view) : static_cast<const void*>(guide);
  if (Entity* existing = entityFor(key)) return *existing;
  auto owned = std::make_unique<Entity>();
  Entity& e = *owned;
  e.key = key;
  e.view = view;
  e.guide = guide;
  if (view) {
    e.state = &view->layoutState().item;
    e.vars = &e.state->vars(view, view->className().c_str());
    e.isRoot = view == &root_;
  } else {
    if (!guide->itemState_) guide->itemState_ = std::make_unique<LayoutItemState>();
    e.state = guide->itemState_.get();
    e.vars = &e.state->vars(guide, guide->className().c_str());
  }
  if (mode_ == Mode::Tree) e.state->engine = this;
  e.index = entities_.size();
  entities_.push_back(std::move(owned));
  entityIndex_[key] = &e;
  addFrameConstraints(e);
  if (wantsIntrinsic(e)) refreshIntrinsic(e);
  dirty_ = true;
  return e;
}

void LayoutEngine::use(Entity& entity) { ++entity.uses; }

void LayoutEngine::release(Entity& entity) {
  if (--entity.uses > 0) return;
  removeFrameConstraints(entity);
  removeIntrinsic(entity);
  if (mode_ == Mode::Tree && entity.state->engine == this) entity.state->engine = nullptr;
  entityIndex_.erase(entity.key);
  size_t index = entity.index;
  if (index + 1 != entities_.size()) {
    std::swap(entities_[index], entities_.back());
    entities_[index]->index = index;
  }
  entities_.pop_back();  // destroys the entity
  dirty_ = true;
}

// --- what places an item besides the constraints made by code -------------------------------

std::vector<LayoutEngine::FrameSpec> LayoutEngine::frameSpecs(Entity& e) {
  std::vector<FrameSpec> specs;
  auto& v = *e.vars;
  auto blueprint = [&](std::vector<Term> terms, double constant, const char* label, Entity* uses = nullptr,
                  float priority = UILayoutPriorityRequired) {
    FrameSpec s;
    s.terms = std::move(terms);
    s.constant = constant;
    s.label = label;
    s.uses = uses;
    s.priority = priority;
    specs.push_back(std::move(s));
  };
  if (e.view) {
    UIView& view = *e.view;
    if (e.isRoot) {
      if (mode_ == Mode::Fitting) {
        blueprint({{v.width, 1}}, fittingTarget_.width, "fitting-width", nullptr, fittingPriority_[0]);
        blueprint({{v.height, 1}}, fittingTarget_.height, "fitting-height", nullptr, fittingPriority_[1]);
      } else {
        CGSize size = view.bounds().size;
        blueprint({{v.width, 1}}, size.width, "UIView-Encapsulated-Layout-Width");
        blueprint({{v.height, 1}}, size.height, "UIView-Encapsulated-Layout-Height");
      }
      return specs;
    }
    if (!translatesMask(view)) return specs;
    auto parent = view.superview();
    if (!parent) return specs;
    // The autoresizing mask as linear constraints: the superview's change of length is shared
    // among the flexible parts in proportion to their lengths, as the view itself resizes.
    CGRect frame = view.frame();
    CGSize parentSize = parent->bounds().size;
    auto mask = view.autoresizingMask();
    Entity* parentEntity = nullptr;
    auto axis = [&](double origin, double length, double parentLength, const Variable& parentVar, const Variable& start,
                    const Variable& size, bool flexStart, bool flexLength, bool flexEnd, const char* startLabel,
                    const char* sizeLabel) {
      double s = std::max(origin, 0.0), m = std::max(length, 0.0), end = std::max(parentLength - origin - length, 0.0);
      double sum = (flexStart ? s : 0) + (flexLength ? m : 0) + (flexEnd ? end : 0);
      int count = int(flexStart) + int(flexLength) + int(flexEnd);
      auto share = [&](bool flexible, double part) -> double {
        if (!flexible) return 0;
        return sum > 0 ? part / sum : 1.0 / count;
      };
      double shareStart = share(flexStart, s), shareLength = share(flexLength, m);
      if (shareStart != 0 || shareLength != 0) {
        if (!parentEntity) parentEntity = &ensureEntity(parent.get(), nullptr);
      }
      if (shareStart != 0)
        blueprint({{start, 1}, {parentVar, -shareStart}}, origin - parentLength * shareStart, startLabel, parentEntity);
      else
        blueprint({{start, 1}}, origin, startLabel);
      if (shareLength != 0)
        blueprint({{size, 1}, {parentVar, -shareLength}}, length - parentLength * shareLength, sizeLabel, parentEntity);
      else
        blueprint({{size, 1}}, length, sizeLabel);
    };
    // The superview's size variables exist once its entity does; make them first if needed.
    auto& pv = parent->layoutState().item.vars(parent.get(), parent->className().c_str());
    axis(frame.origin.x, frame.size.width, parentSize.width, pv.width, v.x, v.width,
         mask & UIViewAutoresizingFlexibleLeftMargin, mask & UIViewAutoresizingFlexibleWidth,
         mask & UIViewAutoresizingFlexibleRightMargin, "minX", "width");
    axis(frame.origin.y, frame.size.height, parentSize.height, pv.height, v.y, v.height,
         mask & UIViewAutoresizingFlexibleTopMargin, mask & UIViewAutoresizingFlexibleHeight,
         mask & UIViewAutoresizingFlexibleBottomMargin, "minY", "height");
    return specs;
  }
  // Guides.
  UILayoutGuide& guide = *e.guide;
  auto owner = guide.owningView();
  if (!owner || guide.kind() == UILayoutGuide::Kind::Plain) return specs;
  Entity& o = ensureEntity(owner.get(), nullptr);
  auto& ov = *o.vars;
  if (guide.kind() == UILayoutGuide::Kind::Margins) {
    UIEdgeInsets m = owner->layoutMargins();
    blueprint({{v.x, 1}}, m.left, "UIView-leftMargin-guide-constraint");
    blueprint({{v.y, 1}}, m.top, "UIView-topMargin-guide-constraint");
    blueprint({{v.width, 1}, {ov.width, -1}}, -m.left - m.right, "UIView-rightMargin-guide-constraint", &o);
    blueprint({{v.height, 1}, {ov.height, -1}}, -m.top - m.bottom, "UIView-bottomMargin-guide-constraint", &o);
    return specs;
  }
  CGFloat length = static_cast<UILayoutSupport&>(guide).length();
  blueprint({{v.x, 1}}, 0, "UILayoutSupport-left");
  blueprint({{v.width, 1}, {ov.width, -1}}, 0, "UILayoutSupport-width", &o);
  blueprint({{v.height, 1}}, length, "UILayoutSupport-length");
  if (guide.kind() == UILayoutGuide::Kind::Top)
    blueprint({{v.y, 1}}, 0, "UILayoutSupport-top");
  else
    blueprint({{v.y, 1}, {v.height, 1}, {ov.height, -1}}, 0, "UILayoutSupport-bottom", &o);
  return specs;
}

void LayoutEngine::addFrameConstraints(Entity& e) {
  auto specs = frameSpecs(e);
  for (size_t i = 0; i < specs.size(); ++i) {
    auto& s = specs[i];
    if (s.uses) use(*s.uses);
    Entity::Placed placed;
    placed.constraint = Constraint(Expression(s.terms), s.relation, Expression(s.constant), s.priority);
    placed.blueprint = std::move(s);
    e.frame.push_back(std::move(placed));
    auto& back = e.frame.back();
    back.inSolver = addToSolver(back.constraint, Source{nullptr, &e, static_cast<int>(i)}).ok();
  }
}

void LayoutEngine::removeFrameConstraints(Entity& e) {
  auto frame = std::move(e.frame);
  e.frame.clear();
  for (auto& placed : frame) {
    if (placed.inSolver) solver_.removeConstraint(placed.constraint);
    sources_.erase(placed.constraint.key());
  }
  for (auto& placed : frame)
    if (placed.blueprint.uses) release(*placed.blueprint.uses);
  dirty_ = true;
}

bool LayoutEngine::wantsIntrinsic(const Entity& e) const {
  if (!e.view) return false;
  if (e.isRoot) return mode_ == Mode::Fitting;
  return !translatesMask(*e.view);
}

void LayoutEngine::removeIntrinsic(Entity& e) {
  for (int i = 0; i < 4; ++i) {
    if (!e.intrinsic[i]) continue;
    if (solver_.hasConstraint(e.intrinsic[i])) solver_.removeConstraint(e.intrinsic[i]);
    sources_.erase(e.intrinsic[i].key());
    e.intrinsic[i] = Constraint();
    e.intrinsicValue[i] = -1;
    dirty_ = true;
  }
}

void LayoutEngine::refreshIntrinsic(Entity& e) {
  if (!wantsIntrinsic(e)) {
    removeIntrinsic(e);
    return;
  }
  UIView& view = *e.view;
  CGSize size = view.intrinsicContentSize();
  auto& state = view.layoutState();
  double values[4] = {size.width, size.width, size.height, size.height};
  float priorities[4] = {state.hugging[0], state.compression[0], state.hugging[1], state.compression[1]};
  const Variable* vars[4] = {&e.vars->width, &e.vars->width, &e.vars->height, &e.vars->height};
  for (int i = 0; i < 4; ++i) {
    bool wanted = values[i] != UIViewNoIntrinsicMetric && values[i] >= 0;
    Constraint& c = e.intrinsic[i];
    if (c && wanted && e.intrinsicPriority[i] == priorities[i]) {
      if (e.intrinsicValue[i] != values[i]) {
        e.intrinsicValue[i] = values[i];
        if (solver_.hasConstraint(c)) {
          auto outcome = solver_.setConstant(c, values[i]);
          if (outcome.status == Status::Unsatisfiable) reportConflict(outcome);
        } else {
          addToSolver(c = Constraint(Expression(*vars[i]), i % 2 == 0 ? Relation::LessThanOrEqual
                                                                      : Relation::GreaterThanOrEqual,
                                     Expression(values[i]), priorities[i]),
                      Source{nullptr, &e, 100 + i});
        }
        dirty_ = true;
      }
      continue;
    }
    if (c) {
      if (solver_.hasConstraint(c)) solver_.removeConstraint(c);
      sources_.erase(c.key());
      c = Constraint();
      dirty_ = true;
    }
    if (!wanted) {
      e.intrinsicValue[i] = -1;
      continue;
    }
    e.intrinsicValue[i] = values[i];
    e.intrinsicPriority[i] = priorities[i];
    c = Constraint(Expression(*vars[i]), i % 2 == 0 ? Relation::LessThanOrEqual : Relation::GreaterThanOrEqual,
                   Expression(values[i]), std::clamp(priorities[i], 1.0f, UILayoutPriorityRequired));
    addToSolver(c, Source{nullptr, &e, 100 + i});
    dirty_ = true;
  }
}

void LayoutEngine::refreshEntity(Entity& e) {
  auto specs = frameSpecs(e);
  bool same = specs.size() == e.frame.size();
  for (size_t i = 0; same && i < specs.size(); ++i)
    same = sameTerms(specs[i].terms, e.frame[i].blueprint.terms) && specs[i].priority == e.frame[i].blueprint.priority &&
           specs[i].uses == e.frame[i].blueprint.uses;
  if (same) {
    for (size_t i = 0; i < specs.size(); ++i) {
      auto& placed = e.frame[i];
      if (placed.inSolver && placed.blueprint.constant == specs[i].constant) continue;
      placed.blueprint.constant = specs[i].constant;
      if (placed.inSolver) {
        auto outcome = solver_.setConstant(placed.constraint, specs[i].constant);
        if (outcome.status == Status::Unsatisfiable) {
          reportConflict(outcome);
          placed.inSolver = false;
        }
      } else {
        sources_.erase(placed.constraint.key());
        placed.constraint =
            Constraint(Expression(placed.blueprint.terms), placed.blueprint.relation, Expression(placed.blueprint.constant),
                       placed.blueprint.priority);
        placed.inSolver = addToSolver(placed.constraint, Source{nullptr, &e, static_cast<int>(i)}).ok();
      }
      dirty_ = true;
    }
  } else {
    // Make the new ones before letting the old ones go, so that the superview stays.
    auto old = std::move(e.frame);
    e.frame.clear();
    for (auto& placed : old) {
      if (placed.inSolver) solver_.removeConstraint(placed.constraint);
      sources_.erase(placed.constraint.key());
    }
    addFrameConstraints(e);
    for (auto& placed : old)
      if (placed.blueprint.uses) release(*placed.blueprint.uses);
  }
  refreshIntrinsic(e);
  // Constants read from margins and baselines.
  auto users = e.constantUsers;
  for (Record* record : users) {
    NSLayoutConstraint* constraint = record->constraint;
    remove(*constraint);
    add(*constraint);
  }
}

void LayoutEngine::markRefresh(const void* item) {
  Entity* e = entityFor(item);
  if (!e || e->queued) return;
  e->queued = true;
  refresh_.push_back(item);
}

void LayoutEngine::geometryChanged(UIView& view) {
  Entity* e = entityFor(&view);
  if (!e) return;
  if (!e->isRoot && !translatesMask(view)) return;  // the engine places it
  // Autoresizing after a solved size change gives what the engine solved already.
  if (!e->isRoot && !needsSync() && mode_ == Mode::Tree) {
    CGRect f = view.frame();
    auto& v = *e->vars;
    auto near = [](double a, double b) { return std::fabs(a - b) < 1e-6; };
    if (near(f.origin.x, v.x.value()) && near(f.origin.y, v.y.value()) && near(f.size.width, v.width.value()) &&
        near(f.size.height, v.height.value()))
      return;
  }
  markRefresh(&view);
}

void LayoutEngine::intrinsicSizeChanged(UIView& view) { markRefresh(&view); }
void LayoutEngine::placementChanged(UIView& view) { markRefresh(&view); }
void LayoutEngine::guideChanged(UILayoutGuide& guide) { markRefresh(&guide); }

void LayoutEngine::marginsChanged(UIView& view) {
  markRefresh(&view);
  if (auto* state = view.layoutStateIfAny(); state && state->marginsGuide)
    markRefresh(state->marginsGuide.get());
}

// --- constraints made by code ----------------------------------------------------------------

bool LayoutEngine::attributeExpression(NSObject* item, NSLayoutAttribute attribute, UIView* common, Expression& out,
                                       std::vector<Entity*>& touched) {
  auto* view = dynamic_cast<UIView*>(item);
  auto* guide = view ? nullptr : dynamic_cast<UILayoutGuide*>(item);
  if (!view && !guide) return false;
  bool horizontal = isHorizontal(attribute);
  Expression position;
  Expression length;
  auto addChain = [&](UIView* from) -> bool {
    for (UIView* p = from; p != common; p = p->superview().get()) {
      if (!p) return false;
      Entity& pe = ensureEntity(p, nullptr);
      touched.push_back(&pe);
      position = position + Expression(horizontal ? pe.vars->x : pe.vars->y);
    }
    return true;
  };
  Entity* self = nullptr;
  bool contentBox = false;
  if (view) {
    self = &ensureEntity(view, nullptr);
    touched.push_back(self);
    if (view == common) {
      contentBox = contentBoxOfCommon_ && dynamic_cast<UIScrollView*>(view) != nullptr;
    } else if (!addChain(view)) {
      return false;
    }
  } else {
    auto owner = guide->owningView();
    if (!owner) return false;
    self = &ensureEntity(nullptr, guide);
    touched.push_back(self);
    position = Expression(horizontal ? self->vars->x : self->vars->y);
    if (owner.get() != common && !addChain(owner.get())) return false;
  }
  bool isSize = attribute == NSLayoutAttributeWidth || attribute == NSLayoutAttributeHeight;
  if (contentBox && !isSize) {
    auto& state = view->layoutState();
    if (!state.content) state.content = std::make_unique<LayoutItemVariables>("content:" + address(view));
    length = Expression(horizontal ? state.content->width : state.content->height);
    currentRecord_->content.emplace_back(self, horizontal ? 0 : 1);
  } else {
    length = Expression(horizontal ? self->vars->width : self->vars->height);
  }
  UIEdgeInsets m = view ? view->layoutMargins() : UIEdgeInsetsZero;
  auto constantFrom = [&]() {
    if (view) currentRecord_->constantSources.push_back(self);
  };
  switch (attribute) {
    case NSLayoutAttributeLeft:
    case NSLayoutAttributeLeading:
    case NSLayoutAttributeTop: out = position; break;
    case NSLayoutAttributeRight:
    case NSLayoutAttributeTrailing:
    case NSLayoutAttributeBottom: out = position + length; break;
    case NSLayoutAttributeCenterX:
    case NSLayoutAttributeCenterY: out = position + length * 0.5; break;
    case NSLayoutAttributeWidth:
    case NSLayoutAttributeHeight: out = length; break;
    case NSLayoutAttributeLeftMargin:
    case NSLayoutAttributeLeadingMargin:
      constantFrom();
      out = position + Expression(m.left);
      break;
    case NSLayoutAttributeRightMargin:
    case NSLayoutAttributeTrailingMargin:
      constantFrom();
      out = position + length - Expression(m.right);
      break;
    case NSLayoutAttributeTopMargin:
      constantFrom();
      out = position + Expression(m.top);
      break;
    case NSLayoutAttributeBottomMargin:
      constantFrom();
      out = position + length - Expression(m.bottom);
      break;
    case NSLayoutAttributeCenterXWithinMargins:
      constantFrom();
      out = position + length * 0.5 + Expression((m.left - m.right) * 0.5);
      break;
    case NSLayoutAttributeCenterYWithinMargins:
      constantFrom();
      out = position + length * 0.5 + Expression((m.top - m.bottom) * 0.5);
      break;
    case NSLayoutAttributeFirstBaseline: {
      constantFrom();
      CGFloat top = view ? view->firstBaselineOffsetFromTop() : UIViewNoIntrinsicMetric;
      if (top >= 0) {
        out = position + Expression(top);
      } else {
        out = position + length - Expression(view ? view->lastBaselineOffsetFromBottom() : 0);
      }
      break;
    }
    case NSLayoutAttributeLastBaseline:
      constantFrom();
      out = position + length - Expression(view ? view->lastBaselineOffsetFromBottom() : 0);
      break;
    default: return false;
  }
  return true;
}

bool LayoutEngine::translate(NSLayoutConstraint& c, Record& record) {
  auto item1 = c.firstItem_.lock();
  if (!item1) return false;
  auto item2 = c.secondAttribute_ != NSLayoutAttributeNotAnAttribute ? c.secondItem_.lock() : nullptr;
  if (c.secondAttribute_ != NSLayoutAttributeNotAnAttribute && !c.secondItem_.expired() && !item2) return false;
  auto anchor1 = anchorViewOfItem(item1);
  auto anchor2 = item2 ? anchorViewOfItem(item2) : nullptr;
  if (!anchor1 || (item2 && !anchor2)) return false;
  if (!anchor1->isDescendantOfView(root_.viewSelf()) ||
      (anchor2 && !anchor2->isDescendantOfView(root_.viewSelf())))
    return false;
  auto common = anchor2 ? closestCommonAncestor(anchor1, anchor2) : anchor1;
  if (!common) return false;
  if (auto holder = c.holder(); mode_ == Mode::Tree && holder && !common->isDescendantOfView(holder)) return false;
  // Inside a scroll view, its descendants see the edges of its content.
  contentBoxOfCommon_ = anchor2 && anchor1 != anchor2;
  currentRecord_ = &record;
  std::vector<Entity*> touched;
  Expression lhs, rhs;
  bool ok = attributeExpression(item1.get(), c.firstAttribute_, common.get(), lhs, touched);
  if (ok && item2) ok = attributeExpression(item2.get(), c.secondAttribute_, common.get(), rhs, touched);
  currentRecord_ = nullptr;
  if (!ok) {
    // Entities made on the way stay only if something else uses them.
    std::vector<Entity*> unique;
    for (Entity* e : touched)
      if (std::find(unique.begin(), unique.end(), e) == unique.end()) unique.push_back(e);
    for (Entity* e : unique) use(*e);
    for (Entity* e : unique) release(*e);
    record.content.clear();
    record.constantSources.clear();
    return false;
  }
  rhs = rhs * c.multiplier_ + Expression(c.constant_);
  float priority = std::clamp(c.priority_, 1.0f, UILayoutPriorityRequired);
  record.solverConstraint = Constraint(lhs, toRelation(c.relation_), rhs, priority);
  record.translatedConstant = c.constant_;
  record.solverConstant = record.solverConstraint.constant();
  for (Entity* e : touched) use(*e);
  record.entities = std::move(touched);
  for (auto& [e, axis] : record.content) ++e->contentUses[axis];
  for (Entity* e : record.constantSources)
    if (std::find(e->constantUsers.begin(), e->constantUsers.end(), &record) == e->constantUsers.end())
      e->constantUsers.push_back(&record);
  return true;
}

bool LayoutEngine::add(NSLayoutConstraint& c) {
  if (records_.count(&c)) return true;
  auto record = std::make_unique<Record>();
  record->constraint = &c;
  if (!translate(c, *record)) return false;
  Record& r = *record;
  records_[&c] = std::move(record);
  if (mode_ == Mode::Tree) c.engine_ = this;
  r.inSolver = addToSolver(r.solverConstraint, Source{&c, nullptr, 0}).ok();
  dirty_ = true;
  return true;
}

void LayoutEngine::remove(NSLayoutConstraint& c) {
  auto it = records_.find(&c);
  if (it == records_.end()) return;
  auto record = std::move(it->second);
  records_.erase(it);
  if (c.engine_ == this) c.engine_ = nullptr;
  if (record->inSolver) solver_.removeConstraint(record->solverConstraint);
  sources_.erase(record->solverConstraint.key());
  for (auto& [e, axis] : record->content) --e->contentUses[axis];
  for (Entity* e : record->constantSources)
    std::erase(e->constantUsers, record.get());
  for (Entity* e : record->entities) release(*e);
  dirty_ = true;
}

void LayoutEngine::constantChanged(NSLayoutConstraint& c, CGFloat) {
  auto it = records_.find(&c);
  if (it == records_.end()) return;
  Record& r = *it->second;
  if (!r.inSolver) {
    // A broken constraint is tried again with its new constant.
    remove(c);
    add(c);
    return;
  }
  double constant = r.solverConstant + (c.constant_ - r.translatedConstant);
  auto outcome = solver_.setConstant(r.solverConstraint, constant);
  if (outcome.status == Status::Unsatisfiable) {
    reportConflict(outcome);
    r.inSolver = false;
  }
  dirty_ = true;
}

void LayoutEngine::priorityChanged(NSLayoutConstraint& c) {
  if (!records_.count(&c)) return;
  remove(c);
  add(c);
}

void LayoutEngine::addConstraintsOfTree() {
  std::function<void(UIView&)> walk = [&](UIView& view) {
    if (auto* state = view.layoutStateIfAny()) {
      auto held = state->held;
      for (auto& c : held) add(*c);
    }
    for (auto& child : view.subviews()) walk(*child);
  };
  walk(root_);
  ensureEntity(&root_, nullptr);
}

// --- the solver -----------------------------------------------------------------------------

Outcome LayoutEngine::addToSolver(const Constraint& constraint, const Source& source) {
  ++solverAdds;
  sources_[constraint.key()] = source;
  auto outcome = solver_.addConstraint(constraint);
  if (!outcome.ok()) {
    if (outcome.status == Status::Unsatisfiable) {
      reportConflict(outcome);
    } else if (outcome.status == Status::Invalid) {
      zvt::logMessage(zvt::LogLevel::Warning,
                      "Ignoring a layout constraint with a value that is not a finite number:\n" + describe(constraint));
    }
    sources_.erase(constraint.key());
  }
  dirty_ = true;
  return outcome;
}

std::string LayoutEngine::describe(const Constraint& constraint) const {
  auto it = sources_.find(constraint.key());
  if (it == sources_.end()) return "<NSLayoutConstraint:" + address(constraint.key()) + ">";
  const Source& s = it->second;
  if (s.constraint) return s.constraint->description()->utf8();
  const Entity& e = *s.entity;
  const NSObject* item = e.view ? static_cast<const NSObject*>(e.view) : static_cast<const NSObject*>(e.guide);
  if (s.part >= 100) {
    int i = s.part - 100;
    return "<NSContentSizeLayoutConstraint:" + address(constraint.key()) + " " + itemText(item) + "." +
           (i < 2 ? "width " : "height ") + (i % 2 == 0 ? "<= " : ">= ") + number(e.intrinsicValue[i]) +
           (i % 2 == 0 ? " Hug:" : " CompressionResistance:") + number(e.intrinsicPriority[i]) + ">";
  }
  const FrameSpec& blueprint = e.frame[static_cast<size_t>(s.part)].blueprint;
  std::string value = number(constraint.constant());
  if (e.view && !e.isRoot) {
    auto mask = e.view->autoresizingMask();
    auto flag = [&](UIViewAutoresizing bit) { return (mask & bit) ? '&' : '-'; };
    std::string h{flag(UIViewAutoresizingFlexibleLeftMargin), flag(UIViewAutoresizingFlexibleWidth),
                  flag(UIViewAutoresizingFlexibleRightMargin)};
    std::string v{flag(UIViewAutoresizingFlexibleTopMargin), flag(UIViewAutoresizingFlexibleHeight),
                  flag(UIViewAutoresizingFlexibleBottomMargin)};
    return "<NSAutoresizingMaskLayoutConstraint:" + address(constraint.key()) + " h=" + h + " v=" + v + " " +
           itemText(item) + "." + blueprint.label + " == " + value + ">";
  }
  return "<NSLayoutConstraint:" + address(constraint.key()) + " '" + blueprint.label + "' " + itemText(item) + " " +
         relationText(blueprint.relation) + " " + value + ">";
}

void LayoutEngine::reportConflict(const Outcome& outcome) {
  std::string text =
      "Unable to simultaneously satisfy constraints.\n"
      "\tProbably at least one of the constraints in the following list is one you don't want. \n"
      "\tTry this: \n"
      "\t\t(1) look at each constraint and try to figure out which you don't expect; \n"
      "\t\t(2) find the code that added the unwanted constraint or constraints and fix it. \n"
      "\t(Note: If you're seeing NSAutoresizingMaskLayoutConstraints that you don't understand, refer to the "
      "documentation for the UIView property translatesAutoresizingMaskIntoConstraints) \n(\n";
  for (size_t i = 0; i < outcome.conflict.size(); ++i)
    text += "    \"" + describe(outcome.conflict[i]) + "\"" + (i + 1 < outcome.conflict.size() ? ",\n" : "\n");
  text += ")\n\nWill attempt to recover by breaking constraint \n" + describe(outcome.broken) +
          "\n\nMake a symbolic breakpoint at UIViewAlertForUnsatisfiableConstraints to catch this in the debugger.\n"
          "The methods in the UIConstraintBasedLayoutDebugging category on UIView listed in <UIKit/UIView.h> may "
          "also be helpful.";
  zvt::logMessage(zvt::LogLevel::Warning, text);
}

double LayoutEngine::value(const Variable& variable) const {
  return mode_ == Mode::Tree ? variable.value() : solver_.valueOf(variable);
}

void LayoutEngine::sync() {
  while (!refresh_.empty()) {
    auto refresh = std::move(refresh_);
    refresh_.clear();
    for (const void* key : refresh) {
      Entity* e = entityFor(key);
      if (!e) continue;
      e->queued = false;
      refreshEntity(*e);
    }
  }
  if (mode_ != Mode::Tree || !dirty_) return;
  dirty_ = false;
  solver_.updateVariables();
  markChangedFrames();
}

// --- the solution ---------------------------------------------------------------------------

bool LayoutEngine::placesView(const UIView& view) const {
  if (&view == &root_) return false;
  auto it = entityIndex_.find(&view);
  return it != entityIndex_.end() && !translatesMask(view);
}

double LayoutEngine::absoluteX(const UIView& view) const {
  if (&view == &root_) return 0;
  auto parent = view.superview();
  if (!parent) return 0;
  double base = absoluteX(*parent);
  if (placesView(view)) return base + value(entityIndex_.at(&view)->vars->x);
  return base + view.frame().origin.x;
}

double LayoutEngine::absoluteY(const UIView& view) const {
  if (&view == &root_) return 0;
  auto parent = view.superview();
  if (!parent) return 0;
  double base = absoluteY(*parent);
  if (placesView(view)) return base + value(entityIndex_.at(&view)->vars->y);
  return base + view.frame().origin.y;
}

CGRect LayoutEngine::frameOfView(const UIView& view) const {
  auto it = entityIndex_.find(&view);
  if (it == entityIndex_.end()) return view.frame();
  const auto& v = *it->second->vars;
  double scale = pixelScale();
  auto parent = view.superview();
  double px = parent ? absoluteX(*parent) : 0, py = parent ? absoluteY(*parent) : 0;
  double x = value(v.x), y = value(v.y), w = value(v.width), h = value(v.height);
  double left = roundToPixel(px + x, scale), right = roundToPixel(px + x + w, scale);
  double top = roundToPixel(py + y, scale), bottom = roundToPixel(py + y + h, scale);
  return CGRectMake(left - roundToPixel(px, scale), top - roundToPixel(py, scale), right - left, bottom - top);
}

std::optional<CGFloat> LayoutEngine::contentWidthOf(const UIView& view) const {
  auto it = entityIndex_.find(&view);
  if (it == entityIndex_.end() || it->second->contentUses[0] == 0) return std::nullopt;
  return roundToPixel(value(view.layoutStateIfAny()->content->width), pixelScale());
}

std::optional<CGFloat> LayoutEngine::contentHeightOf(const UIView& view) const {
  auto it = entityIndex_.find(&view);
  if (it == entityIndex_.end() || it->second->contentUses[1] == 0) return std::nullopt;
  return roundToPixel(value(view.layoutStateIfAny()->content->height), pixelScale());
}

CGRect LayoutEngine::layoutFrameOf(const UILayoutGuide& guide) const {
  auto it = entityIndex_.find(&guide);
  if (it == entityIndex_.end()) return CGRectZero;
  const auto& v = *it->second->vars;
  return CGRectMake(value(v.x), value(v.y), value(v.width), value(v.height));
}

bool LayoutEngine::isAmbiguous(const UIView& view) const {
  if (!placesView(view)) return false;
  const auto& v = *entityIndex_.at(&view)->vars;
  return solver_.isAmbiguous(v.x) || solver_.isAmbiguous(v.y) || solver_.isAmbiguous(v.width) ||
         solver_.isAmbiguous(v.height);
}

void LayoutEngine::markChangedFrames() {
  for (size_t i = 0; i < entities_.size(); ++i) {
    Entity& e = *entities_[i];
    if (!e.view) continue;
    UIView& view = *e.view;
    if (placesView(view)) {
      if (!sameFrame(frameOfView(view), view.frame()))
        if (auto parent = view.superview()) parent->setNeedsLayout();
    }
    if (e.contentUses[0] || e.contentUses[1]) {
      if (auto* scroll = dynamic_cast<UIScrollView*>(&view)) {
        CGSize size = scroll->contentSize();
        auto w = contentWidthOf(view), h = contentHeightOf(view);
        if ((w && *w != size.width) || (h && *h != size.height)) view.setNeedsLayout();
      }
    }
  }
}

// --- fitting ----------------------------------------------------------------------------------

void LayoutEngine::setFittingTarget(CGSize target, UILayoutPriority horizontal, UILayoutPriority vertical) {
  fittingTarget_ = target;
  fittingPriority_[0] = std::clamp(horizontal, 1.0f, UILayoutPriorityRequired);
  fittingPriority_[1] = std::clamp(vertical, 1.0f, UILayoutPriorityRequired);
}

CGSize LayoutEngine::fittingSize() const {
  auto it = entityIndex_.find(&root_);
  if (it == entityIndex_.end()) return fittingTarget_;
  const auto& v = *it->second->vars;
  double scale = pixelScale();
  return CGSizeMake(roundToPixel(value(v.width), scale), roundToPixel(value(v.height), scale));
}

}  // namespace zvt::ui
