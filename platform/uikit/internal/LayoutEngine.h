#pragma once
// The layout engine of a view tree: the active constraints held in the tree, translated into
// linear constraints over each item's variables (minimum x and y in its superview's
// coordinates, width, height) and kept solved by one zvt::layout::Solver.
//
// An item's edges in the coordinates of a constraint's common ancestor are its own minimum plus
// those of its ancestors below that ancestor; bounds origins (scroll offsets) do not count, so
// constraints inside a scroll view relate to its content. The edges of a scroll view seen by
// its own descendants are those of its content area, whose size the constraints then give
// (UIKit's rule); its width and height stay those of its frame.
//
// Besides the constraints made by code, the engine holds what places the items otherwise: a
// root's size (its bounds), a view with translatesAutoresizingMaskIntoConstraints pinned to
// its frame through its autoresizing mask, a placed view's intrinsic size at its hugging and
// compression-resistance priorities, and the layout guides' own rules (margins, bar lengths).
// These are refreshed lazily: notifications record what changed and sync() brings it in.
//
// Two modes: a tree engine belongs to a root view (a window, or a detached tree laid out with
// layoutIfNeeded) and writes its solution into the variables; a fitting engine answers
// systemLayoutSizeFittingSize for one view's tree, reads its solver directly and leaves no
// trace. Everything runs on the main thread.

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/graphics/UIGeometry.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/layout/Solver.h"

class UIView;
class UILayoutGuide;

namespace zvt::ui {

struct LayoutItemVariables {
  zvt::layout::Variable x, y, width, height;
  explicit LayoutItemVariables(const std::string& prefix)
      : x(prefix + ".minX"), y(prefix + ".minY"), width(prefix + ".width"), height(prefix + ".height") {}
};

// What a view or layout guide keeps for the engine.
struct LayoutItemState {
  std::unique_ptr<LayoutItemVariables> variables;
  // Active constraints that name this item (held by some view).
  std::vector<NSLayoutConstraint*> referencing;
  // The tree engine whose solver uses this item's variables, while one does.
  LayoutEngine* engine = nullptr;

  LayoutItemVariables& vars(const void* item, const char* kind);
  void forget(NSLayoutConstraint* constraint);
};

// What a view keeps for constraints (made on first need).
struct ViewLayoutState {
  LayoutItemState item;
  // A scroll view's content area, when constraints of its descendants reach its edges.
  std::unique_ptr<LayoutItemVariables> content;
  std::vector<std::shared_ptr<NSLayoutConstraint>> held;
  // Held and active, waiting for the engine of the tree (the next constraint pass).
  std::vector<NSLayoutConstraint*> pending;
  // Held and active, but naming items outside this view's tree: retried when the tree grows.
  std::vector<NSLayoutConstraint*> waiting;
  bool translates = true;
  UILayoutPriority hugging[2] = {UILayoutPriorityDefaultLow, UILayoutPriorityDefaultLow};
  UILayoutPriority compression[2] = {UILayoutPriorityDefaultHigh, UILayoutPriorityDefaultHigh};
  UIEdgeInsets margins{8, 8, 8, 8};
  std::vector<std::shared_ptr<UILayoutGuide>> guides;
  std::shared_ptr<UILayoutGuide> marginsGuide;
  // The engine of the tree this view is the root of.
  std::shared_ptr<LayoutEngine> rootEngine;
};

class LayoutEngine {
 public:
  enum class Mode { Tree, Fitting };
  LayoutEngine(UIView& root, Mode mode);
  ~LayoutEngine();
  LayoutEngine(const LayoutEngine&) = delete;
  LayoutEngine& operator=(const LayoutEngine&) = delete;

  UIView& root() const { return root_; }

  // --- constraints held in the tree. add answers false (and keeps nothing) when the
  // constraint names an item outside its holder's tree.
  bool add(NSLayoutConstraint& constraint);
  void remove(NSLayoutConstraint& constraint);
  bool holds(const NSLayoutConstraint& constraint) const { return records_.count(&constraint) != 0; }
  void constantChanged(NSLayoutConstraint& constraint, CGFloat oldConstant);
  void priorityChanged(NSLayoutConstraint& constraint);

  // --- what changed about an item (applied at the next sync)
  void geometryChanged(UIView& view);
  void intrinsicSizeChanged(UIView& view);
  void marginsChanged(UIView& view);
  void placementChanged(UIView& view);  // translatesAutoresizingMaskIntoConstraints, priorities
  void guideChanged(UILayoutGuide& guide);

  // Brings the recorded changes into the solver; a tree engine then writes the solution and
  // asks for layout where a placed view's frame (or a scroll view's content size) differs.
  void sync();
  bool needsSync() const { return dirty_ || !refresh_.empty(); }

  // --- the solution (after sync)
  // Whether the engine gives the view its frame (it takes part and does not translate its
  // autoresizing mask).
  bool placesView(const UIView& view) const;
  // The view's frame in its superview, rounded to the screen's pixels as UIKit does: each edge
  // rounded in the root's coordinates, so that adjacent views share their pixels.
  CGRect frameOfView(const UIView& view) const;
  // The content size a scroll view's constraints give, per axis (nullopt where none do).
  std::optional<CGFloat> contentWidthOf(const UIView& view) const;
  std::optional<CGFloat> contentHeightOf(const UIView& view) const;
  CGRect layoutFrameOf(const UILayoutGuide& guide) const;
  bool isAmbiguous(const UIView& view) const;

  // --- fitting: the root's size pulled towards a target at the given priorities; answers the
  // size the constraints give it, rounded to pixels.
  void setFittingTarget(CGSize target, UILayoutPriority horizontal, UILayoutPriority vertical);
  CGSize fittingSize() const;
  // Adds every active constraint held in the root's tree that names only items inside it.
  void addConstraintsOfTree();

  // Test support: the solver's constraints, for checking incremental work.
  size_t solverConstraintCount() const { return solver_.constraints().size(); }
  // How many constraints all engines have handed to their solvers so far.
  static uint64_t solverAddCount();

 private:
  struct Entity;
  struct Record;
  struct Source;
  struct FrameSpec;
  struct Path;

  Entity* entityFor(const void* item);
  Entity& ensureEntity(UIView* view, UILayoutGuide* guide);
  void use(Entity& entity);
  void release(Entity& entity);
  void addFrameConstraints(Entity& entity);
  void removeFrameConstraints(Entity& entity);
  std::vector<FrameSpec> frameSpecs(Entity& entity);
  void refreshEntity(Entity& entity);
  void refreshIntrinsic(Entity& entity);
  void removeIntrinsic(Entity& entity);
  bool wantsIntrinsic(const Entity& entity) const;
  void markRefresh(const void* item);

  bool translate(NSLayoutConstraint& constraint, Record& record);
  bool attributeExpression(NSObject* item, NSLayoutAttribute attribute, UIView* common,
                           zvt::layout::Expression& out, std::vector<Entity*>& touched);
  zvt::layout::Outcome addToSolver(const zvt::layout::Constraint& constraint, const Source& source);
  void reportConflict(const zvt::layout::Outcome& outcome);
  std::string describe(const zvt::layout::Constraint& constraint) const;
  double value(const zvt::layout::Variable& variable) const;
  double absoluteX(const UIView& view) const;
  double absoluteY(const UIView& view) const;
  void markChangedFrames();

  UIView& root_;
  Mode mode_;
  zvt::layout::Solver solver_;
  std::vector<std::unique_ptr<Entity>> entities_;
  std::unordered_map<const void*, Entity*> entityIndex_;
  std::unordered_map<const NSLayoutConstraint*, std::unique_ptr<Record>> records_;
  std::unordered_map<const void*, Source> sources_;  // solver constraint -> what made it
  std::vector<const void*> refresh_;
  bool dirty_ = false;
  // While translating a constraint: whether a scroll view that is the common ancestor shows
  // its content's edges, and the record being made.
  bool contentBoxOfCommon_ = false;
  Record* currentRecord_ = nullptr;
  CGSize fittingTarget_{};
  UILayoutPriority fittingPriority_[2] = {UILayoutPriorityFittingSizeLevel, UILayoutPriorityFittingSizeLevel};
};

// Frames equal but for the rounding of a layer's position and bounds.
bool sameFrame(const CGRect& a, const CGRect& b);

// The display cycle's constraint pass for a tree (the hook DisplayCycleHooks::updateConstraints).
void runConstraintPass(UIView& root);
// The base UIView::layoutSubviews: the placed subviews get their solved frames.
void applyEngineLayout(UIView& view);
// UIView::invalidateIntrinsicContentSize.
void intrinsicContentSizeChanged(UIView& view);
// The engine of the tree the view is in, made when `create`.
LayoutEngine* engineOfTree(UIView& view, bool create);

}  // namespace zvt::ui
