// UIView's part of the constraint system: the constraints a view holds, the marks of the
// constraint pass, and what the engine needs to hear when the tree changes.
#include <algorithm>
#include <functional>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSLog.h"
#include "platform/quartzcore/internal/Overrides.h"
#include "platform/uikit/NSLayoutAnchor.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UILayoutGuide.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/internal/LayoutEngine.h"

namespace zvt::ui {

namespace {

void notFor(const NSLayoutConstraint& constraint) {
  zvt::logMessage(zvt::LogLevel::Warning,
                  "The view hierarchy is not prepared for the constraint: " + constraint.description()->utf8() +
                      "\n\tWhen added to a view, the constraint's items must be descendants of that view (or the "
                      "view itself). This will be retried when the view hierarchy grows.");
}

}  // namespace

// The constraint pass over a tree: updateConstraints of the marked views, subviews before their
// superviews, and the constraints their holders hold but the engine does not have yet.
struct ConstraintPass {
  static LayoutItemState* itemStateOf(const id& item) {
    if (auto* view = dynamic_cast<UIView*>(item.get())) return &view->layoutState().item;
    if (auto* guide = dynamic_cast<UILayoutGuide*>(item.get())) return &guide->itemStateForConstraints();
    return nullptr;
  }

  static void visit(UIView& view) {
    auto keep = view.viewSelf();
    if (view.constraintPassDescendantMark_) {
      view.constraintPassDescendantMark_ = false;
      for (auto& child : view.subviews())
        if (child->constraintPassMark_ || child->constraintPassDescendantMark_) visit(*child);
    }
    if (!view.constraintPassMark_) return;
    view.constraintPassMark_ = false;
    if (view.needsUpdateConstraints_) {
      view.needsUpdateConstraints_ = false;
      view.updateConstraintsCalledBase_ = false;
      view.updateConstraints();
      if (!view.updateConstraintsCalledBase_)
        NSException::raise(NSInternalInconsistencyException,
                           "-[%s updateConstraints] must call the base implementation (updateConstraints of its "
                           "superclass).",
                           view.className().c_str());
    }
    auto* state = view.layoutStateIfAny();
    if (!state || state->pending.empty()) return;
    auto* engine = engineOfTree(view, true);
    auto pending = std::move(state->pending);
    state->pending.clear();
    for (NSLayoutConstraint* c : pending) {
      if (engine->holds(*c)) continue;
      if (!engine->add(*c)) {
        notFor(*c);
        state->waiting.push_back(c);
      }
    }
  }

  static void run(UIView& view) {
    for (int i = 0; i < 32 && (view.constraintPassMark_ || view.constraintPassDescendantMark_); ++i) visit(view);
  }

  static LayoutEngine* engineOfTree(UIView& view, bool create) {
    UIView& root = rootOf(view);
    auto* state = root.layoutStateIfAny();
    if (state && state->rootEngine) return state->rootEngine.get();
    if (!create) return nullptr;
    auto& s = root.layoutState();
    s.rootEngine = std::make_shared<LayoutEngine>(root, LayoutEngine::Mode::Tree);
    return s.rootEngine.get();
  }

  static void intrinsicContentSizeChanged(UIView& view) {
    auto* state = view.layoutStateIfAny();
    if (state && state->item.engine) state->item.engine->intrinsicSizeChanged(view);
  }

  static UIView& rootOf(UIView& view) {
    UIView* root = &view;
    while (auto parent = root->superview_.lock()) root = parent.get();
    return *root;
  }
};

LayoutEngine* engineOfTree(UIView& view, bool create) { return ConstraintPass::engineOfTree(view, create); }

void runConstraintPass(UIView& root) {
  ConstraintPass::run(root);
  if (auto* engine = engineOfTree(root, false); engine && engine->needsSync()) engine->sync();
}

void applyEngineLayout(UIView& view) {
  auto* engine = engineOfTree(view, false);
  if (!engine) return;
  if (engine->needsSync()) engine->sync();
  for (auto& child : view.subviews())
    if (engine->placesView(*child)) {
      CGRect frame = engine->frameOfView(*child);
      if (!sameFrame(frame, child->frame())) child->setFrame(frame);
    }
  if (auto* scroll = dynamic_cast<UIScrollView*>(&view)) {
    auto w = engine->contentWidthOf(view), h = engine->contentHeightOf(view);
    if (w || h) {
      CGSize size = scroll->contentSize();
      if (w) size.width = *w;
      if (h) size.height = *h;
      if (size != scroll->contentSize()) scroll->setContentSize(size);
    }
  }
}

void intrinsicContentSizeChanged(UIView& view) { ConstraintPass::intrinsicContentSizeChanged(view); }

}  // namespace zvt::ui

using zvt::ui::LayoutEngine;
using zvt::ui::ViewLayoutState;

// --- state --------------------------------------------------------------------------------------

zvt::ui::ViewLayoutState& UIView::layoutState() const {
  if (!layoutState_) layoutState_ = std::make_unique<ViewLayoutState>();
  return *layoutState_;
}

zvt::ui::LayoutItemState& UILayoutGuide::itemStateForConstraints() {
  if (!itemState_) itemState_ = std::make_unique<zvt::ui::LayoutItemState>();
  return *itemState_;
}

void UIView::markForConstraintPass() {
  constraintPassMark_ = true;
  for (auto p = superview(); p && !p->constraintPassDescendantMark_; p = p->superview())
    p->constraintPassDescendantMark_ = true;
}

// --- holding constraints --------------------------------------------------------------------------

std::vector<std::shared_ptr<NSLayoutConstraint>> UIView::constraints() const {
  if (!layoutState_) return {};
  return layoutState_->held;
}

void UIView::addConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint) {
  zvt::ui::assertMainThread("UIView::addConstraint");
  if (!constraint) return;
  if (constraint->holder_.lock().get() == this) return;
  if (auto old = constraint->holder()) old->removeConstraint(constraint);
  auto& state = layoutState();
  state.held.push_back(constraint);
  constraint->holder_ = viewSelf();
  auto first = constraint->firstItem(), second = constraint->secondItem();
  if (auto* s = zvt::ui::ConstraintPass::itemStateOf(first)) s->referencing.push_back(constraint.get());
  if (second && second != first)
    if (auto* s = zvt::ui::ConstraintPass::itemStateOf(second)) s->referencing.push_back(constraint.get());
  state.pending.push_back(constraint.get());
  markForConstraintPass();
}

void UIView::addConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
  for (const auto& c : constraints) addConstraint(c);
}

void UIView::removeConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint) {
  zvt::ui::assertMainThread("UIView::removeConstraint");
  if (!constraint || !layoutState_) return;
  auto& state = *layoutState_;
  auto it = std::find(state.held.begin(), state.held.end(), constraint);
  if (it == state.held.end()) return;
  auto keep = constraint;
  state.held.erase(it);
  NSLayoutConstraint* c = constraint.get();
  if (c->engine_) c->engine_->remove(*c);
  std::erase(state.pending, c);
  std::erase(state.waiting, c);
  auto first = c->firstItem(), second = c->secondItem();
  if (first)
    if (auto* s = zvt::ui::ConstraintPass::itemStateOf(first)) s->forget(c);
  if (second)
    if (auto* s = zvt::ui::ConstraintPass::itemStateOf(second)) s->forget(c);
  c->holder_.reset();
}

void UIView::removeConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints) {
  for (const auto& c : constraints) removeConstraint(c);
}

// --- placement ---------------------------------------------------------------------------------

bool UIView::translatesAutoresizingMaskIntoConstraints() const { return !layoutState_ || layoutState_->translates; }

void UIView::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
  zvt::ui::assertMainThread("UIView::setTranslatesAutoresizingMaskIntoConstraints");
  if (translatesAutoresizingMaskIntoConstraints() == translates) return;
  auto& state = layoutState();
  state.translates = translates;
  if (state.item.engine) state.item.engine->placementChanged(*this);
  if (auto parent = superview()) parent->setNeedsLayout();
}

UILayoutPriority UIView::contentHuggingPriorityForAxis(UILayoutConstraintAxis axis) const {
  return layoutState_ ? layoutState_->hugging[axis == UILayoutConstraintAxisVertical] : UILayoutPriorityDefaultLow;
}

void UIView::setContentHuggingPriority(UILayoutPriority priority, UILayoutConstraintAxis axis) {
  auto& state = layoutState();
  state.hugging[axis == UILayoutConstraintAxisVertical] = priority;
  if (state.item.engine) state.item.engine->placementChanged(*this);
}

UILayoutPriority UIView::contentCompressionResistancePriorityForAxis(UILayoutConstraintAxis axis) const {
  return layoutState_ ? layoutState_->compression[axis == UILayoutConstraintAxisVertical]
                      : UILayoutPriorityDefaultHigh;
}

void UIView::setContentCompressionResistancePriority(UILayoutPriority priority, UILayoutConstraintAxis axis) {
  auto& state = layoutState();
  state.compression[axis == UILayoutConstraintAxisVertical] = priority;
  if (state.item.engine) state.item.engine->placementChanged(*this);
}

// --- the constraint pass ------------------------------------------------------------------------

void UIView::setNeedsUpdateConstraints() {
  zvt::ui::assertMainThread("UIView::setNeedsUpdateConstraints");
  needsUpdateConstraints_ = true;
  markForConstraintPass();
}

void UIView::updateConstraintsIfNeeded() {
  zvt::ui::assertMainThread("UIView::updateConstraintsIfNeeded");
  auto keep = viewSelf();
  zvt::ui::ConstraintPass::run(*this);
}

void UIView::updateConstraints() { updateConstraintsCalledBase_ = true; }

CGSize UIView::systemLayoutSizeFittingSize(CGSize targetSize) {
  return systemLayoutSizeFittingSize(targetSize, UILayoutPriorityFittingSizeLevel, UILayoutPriorityFittingSizeLevel);
}

CGSize UIView::systemLayoutSizeFittingSize(CGSize targetSize, UILayoutPriority horizontalFittingPriority,
                                           UILayoutPriority verticalFittingPriority) {
  zvt::ui::assertMainThread("UIView::systemLayoutSizeFittingSize");
  auto keep = viewSelf();
  updateConstraintsIfNeeded();
  LayoutEngine engine(*this, LayoutEngine::Mode::Fitting);
  engine.setFittingTarget(targetSize, horizontalFittingPriority, verticalFittingPriority);
  engine.addConstraintsOfTree();
  return engine.fittingSize();
}

bool UIView::hasAmbiguousLayout() {
  zvt::ui::assertMainThread("UIView::hasAmbiguousLayout");
  auto keep = viewSelf();
  UIView& root = zvt::ui::ConstraintPass::rootOf(*this);
  zvt::ui::runConstraintPass(root);
  auto* engine = zvt::ui::engineOfTree(*this, false);
  return engine && engine->isAmbiguous(*this);
}

// --- margins and guides -----------------------------------------------------------------------

UIEdgeInsets UIView::layoutMargins() const { return layoutState_ ? layoutState_->margins : UIEdgeInsets{8, 8, 8, 8}; }

void UIView::setLayoutMargins(UIEdgeInsets margins) {
  zvt::ui::assertMainThread("UIView::setLayoutMargins");
  auto& state = layoutState();
  if (state.margins == margins) return;
  state.margins = margins;
  if (state.item.engine) state.item.engine->marginsChanged(*this);
  layoutMarginsDidChange();
}

std::vector<std::shared_ptr<UILayoutGuide>> UIView::layoutGuides() const {
  if (!layoutState_) return {};
  return layoutState_->guides;
}

void UIView::addLayoutGuide(const std::shared_ptr<UILayoutGuide>& guide) {
  zvt::ui::assertMainThread("UIView::addLayoutGuide");
  if (!guide) return;
  auto owner = guide->owningView();
  if (owner.get() == this) return;
  if (owner) owner->removeLayoutGuide(guide);
  layoutState().guides.push_back(guide);
  guide->owningView_ = viewSelf();
  retryWaitingConstraints();
}

void UIView::removeLayoutGuide(const std::shared_ptr<UILayoutGuide>& guide) {
  zvt::ui::assertMainThread("UIView::removeLayoutGuide");
  if (!guide || !layoutState_ || guide->owningView().get() != this) return;
  auto keep = guide;
  if (auto* s = guide->itemState_.get()) {
    auto referencing = s->referencing;
    for (NSLayoutConstraint* c : referencing)
      if (auto holder = c->holder()) holder->removeConstraint(std::static_pointer_cast<NSLayoutConstraint>(c->self()));
  }
  std::erase(layoutState_->guides, guide);
  guide->owningView_.reset();
}

std::shared_ptr<UILayoutGuide> UIView::layoutMarginsGuide() {
  auto& state = layoutState();
  if (!state.marginsGuide) {
    state.marginsGuide = std::shared_ptr<UILayoutGuide>(new UILayoutGuide(UILayoutGuide::Kind::Margins));
    state.marginsGuide->setIdentifier(NSString::stringWithUTF8String("UIViewLayoutMarginsGuide"));
    state.marginsGuide->owningView_ = viewSelf();
  }
  return state.marginsGuide;
}

#define ZVT_VIEW_ANCHOR(name, type, attribute) \
  std::shared_ptr<type> UIView::name() { return std::make_shared<type>(viewSelf(), attribute); }
ZVT_VIEW_ANCHOR(leadingAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeLeading)
ZVT_VIEW_ANCHOR(trailingAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeTrailing)
ZVT_VIEW_ANCHOR(leftAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeLeft)
ZVT_VIEW_ANCHOR(rightAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeRight)
ZVT_VIEW_ANCHOR(centerXAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeCenterX)
ZVT_VIEW_ANCHOR(topAnchor, NSLayoutYAxisAnchor, NSLayoutAttributeTop)
ZVT_VIEW_ANCHOR(bottomAnchor, NSLayoutYAxisAnchor, NSLayoutAttributeBottom)
ZVT_VIEW_ANCHOR(centerYAnchor, NSLayoutYAxisAnchor, NSLayoutAttributeCenterY)
ZVT_VIEW_ANCHOR(firstBaselineAnchor, NSLayoutYAxisAnchor, NSLayoutAttributeFirstBaseline)
ZVT_VIEW_ANCHOR(lastBaselineAnchor, NSLayoutYAxisAnchor, NSLayoutAttributeLastBaseline)
ZVT_VIEW_ANCHOR(widthAnchor, NSLayoutDimension, NSLayoutAttributeWidth)
ZVT_VIEW_ANCHOR(heightAnchor, NSLayoutDimension, NSLayoutAttributeHeight)
#undef ZVT_VIEW_ANCHOR

// --- associated objects -----------------------------------------------------------------------------

id UIView::associatedObject(const void* key) const { return associatedObjects_.get(key); }

void UIView::setAssociatedObject(const void* key, const id& value) { associatedObjects_.set(key, value); }

// --- the tree changes -----------------------------------------------------------------------

void UIView::retryWaitingConstraints() {
  for (auto v = viewSelf(); v; v = v->superview()) {
    auto* state = v->layoutStateIfAny();
    if (!state || state->waiting.empty()) continue;
    state->pending.insert(state->pending.end(), state->waiting.begin(), state->waiting.end());
    state->waiting.clear();
    v->markForConstraintPass();
  }
}

void UIView::layoutSubtreeWillMove(bool leavingSuperview) {
  auto self = viewSelf();
  std::function<void(UIView&, const std::function<void(UIView&)>&)> walk =
      [&](UIView& view, const std::function<void(UIView&)>& fn) {
        fn(view);
        for (const auto& child : view.subviews_) walk(*child, fn);
      };
  if (leavingSuperview) {
    // Constraints held above the subtree that name something inside it go (as UIKit removes
    // them with the view).
    std::vector<std::shared_ptr<NSLayoutConstraint>> outside;
    auto collect = [&](zvt::ui::LayoutItemState& item) {
      for (NSLayoutConstraint* c : item.referencing) {
        auto holder = c->holder();
        if (holder && !holder->isDescendantOfView(self))
          outside.push_back(std::static_pointer_cast<NSLayoutConstraint>(c->self()));
      }
    };
    walk(*this, [&](UIView& view) {
      auto* state = view.layoutStateIfAny();
      if (!state) return;
      collect(state->item);
      for (auto& guide : state->guides)
        if (guide->itemState_) collect(*guide->itemState_);
      if (state->marginsGuide && state->marginsGuide->itemState_) collect(*state->marginsGuide->itemState_);
    });
    for (auto& c : outside)
      if (auto holder = c->holder()) holder->removeConstraint(c);
  }
  // The subtree's own constraints leave the old tree's engine and wait for the new one.
  walk(*this, [&](UIView& view) {
    auto* state = view.layoutStateIfAny();
    if (!state) return;
    bool marked = false;
    for (auto& c : state->held) {
      if (!c->engine_) continue;
      c->engine_->remove(*c);
      state->pending.push_back(c.get());
      marked = true;
    }
    if (!state->waiting.empty()) {
      state->pending.insert(state->pending.end(), state->waiting.begin(), state->waiting.end());
      state->waiting.clear();
      marked = true;
    }
    if (marked) view.constraintPassMark_ = true;
  });
  // Marks inside the subtree lead down to the marked views again.
  std::function<bool(UIView&)> remark = [&](UIView& view) {
    bool below = false;
    for (const auto& child : view.subviews_) below = remark(*child) || below;
    if (below) view.constraintPassDescendantMark_ = true;
    return below || view.constraintPassMark_;
  };
  remark(*this);
  if (layoutState_) layoutState_->rootEngine.reset();
}

void UIView::layoutSubtreeDidMove() {
  // Views made without setUpWithFrame (from nibs) are checked when they join a tree.
  checkOwnUpdateConstraints();
  if (!(constraintPassMark_ || constraintPassDescendantMark_)) {
    if (auto parent = superview()) parent->retryWaitingConstraints();
    return;
  }
  for (auto p = superview(); p && !p->constraintPassDescendantMark_; p = p->superview())
    p->constraintPassDescendantMark_ = true;
  if (auto parent = superview()) parent->retryWaitingConstraints();
}

void UIView::layoutTeardown() {
  auto* state = layoutState_.get();
  if (!state) return;
  // Constraints naming this view are held elsewhere: they go.
  auto referencing = state->item.referencing;
  for (NSLayoutConstraint* c : referencing) {
    auto holder = c->holder();
    if (holder.get() == this) continue;
    if (holder) {
      auto keep = std::static_pointer_cast<NSLayoutConstraint>(c->self());
      holder->removeConstraint(keep);
    }
  }
  for (auto& c : state->held) {
    if (c->engine_) c->engine_->remove(*c);
    auto first = c->firstItem(), second = c->secondItem();
    if (first && first.get() != this)
      if (auto* s = zvt::ui::ConstraintPass::itemStateOf(first)) s->forget(c.get());
    if (second && second.get() != this && second != first)
      if (auto* s = zvt::ui::ConstraintPass::itemStateOf(second)) s->forget(c.get());
  }
  state->rootEngine.reset();
  if (state->item.engine) {
    // Nothing of the view is left in an engine once its constraints are gone; be sure.
    state->item.engine = nullptr;
  }
}
