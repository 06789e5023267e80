#pragma once
// Views (UIView): rectangles in a tree, each backed by a layer that holds its geometry and
// look. Frame, bounds and center are the layer's (frame follows from bounds, center and
// transform; the transform is kept apart from the frame, as UIKit does).
//
// Making a view: `UIView::initWithFrame(frame)` (alloc + initWithFrame:). A subclass whose
// -initWithFrame: does work overrides setUpWithFrame (calling the base first) and is made with
// `UIView::makeView<MyView>(frame)`; do not touch the view's layer, superview or targets from a
// C++ constructor (the object is not yet owned by a shared_ptr there).
//
// Layout and display are asked for (setNeedsLayout, setNeedsDisplay) and happen together once
// per turn of the main run loop, before it waits, for the views in windows (see DisplayCycle.h);
// views outside a window are laid out when layoutIfNeeded is called.
//
// Everything here runs on the main thread (checked in debug and test builds).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/internal/AssociatedObjects.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIGeometry.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIResponder.h"

class UIWindow;
class UIGestureRecognizer;
class NSLayoutConstraint;
class UILayoutGuide;
class NSLayoutXAxisAnchor;
class NSLayoutYAxisAnchor;
class NSLayoutDimension;

namespace zvt::ui {
struct ViewLayoutState;
class LayoutEngine;
struct ConstraintPass;

// One rule for what a person cannot see and so cannot touch: a hidden view, or one whose alpha
// is at or below 0.01, with everything inside it. Hit-testing skips such views and the device's
// finder does not find them.
inline constexpr double kSeeThroughAlpha = 0.01;
inline bool isSeeThrough(bool hidden, double alpha) { return hidden || alpha <= kSeeThroughAlpha; }
}  // namespace zvt::ui

enum UIViewAutoresizing : NSUInteger {
  UIViewAutoresizingNone = 0,
  UIViewAutoresizingFlexibleLeftMargin = 1 << 0,
  UIViewAutoresizingFlexibleWidth = 1 << 1,
  UIViewAutoresizingFlexibleRightMargin = 1 << 2,
  UIViewAutoresizingFlexibleTopMargin = 1 << 3,
  UIViewAutoresizingFlexibleHeight = 1 << 4,
  UIViewAutoresizingFlexibleBottomMargin = 1 << 5,
};
inline UIViewAutoresizing operator|(UIViewAutoresizing a, UIViewAutoresizing b) {
  return static_cast<UIViewAutoresizing>(static_cast<NSUInteger>(a) | static_cast<NSUInteger>(b));
}


enum UIViewAnimationCurve : NSInteger {
  UIViewAnimationCurveEaseInOut,
  UIViewAnimationCurveEaseIn,
  UIViewAnimationCurveEaseOut,
  UIViewAnimationCurveLinear,
};

enum UIViewAnimationOptions : NSUInteger {
  UIViewAnimationOptionLayoutSubviews = 1 << 0,
  UIViewAnimationOptionAllowUserInteraction = 1 << 1,
  UIViewAnimationOptionBeginFromCurrentState = 1 << 2,
  UIViewAnimationOptionRepeat = 1 << 3,
  UIViewAnimationOptionAutoreverse = 1 << 4,
  UIViewAnimationOptionOverrideInheritedDuration = 1 << 5,
  UIViewAnimationOptionOverrideInheritedCurve = 1 << 6,
  UIViewAnimationOptionAllowAnimatedContent = 1 << 7,
  UIViewAnimationOptionShowHideTransitionViews = 1 << 8,
  UIViewAnimationOptionOverrideInheritedOptions = 1 << 9,
  UIViewAnimationOptionCurveEaseInOut = 0 << 16,
  UIViewAnimationOptionCurveEaseIn = 1 << 16,
  UIViewAnimationOptionCurveEaseOut = 2 << 16,
  UIViewAnimationOptionCurveLinear = 3 << 16,
  UIViewAnimationOptionTransitionNone = 0 << 20,
  UIViewAnimationOptionTransitionFlipFromLeft = 1 << 20,
  UIViewAnimationOptionTransitionFlipFromRight = 2 << 20,
  UIViewAnimationOptionTransitionCurlUp = 3 << 20,
  UIViewAnimationOptionTransitionCurlDown = 4 << 20,
  UIViewAnimationOptionTransitionCrossDissolve = 5 << 20,
  UIViewAnimationOptionTransitionFlipFromTop = 6 << 20,
  UIViewAnimationOptionTransitionFlipFromBottom = 7 << 20,
};
inline UIViewAnimationOptions operator|(UIViewAnimationOptions a, UIViewAnimationOptions b) {
  return static_cast<UIViewAnimationOptions>(static_cast<NSUInteger>(a) | static_cast<NSUInteger>(b));
}

// intrinsicContentSize's "no size on this axis".
inline constexpr CGFloat UIViewNoIntrinsicMetric = -1;

// The did-stop and will-start messages of the begin/commit animations: member functions
// `void D::animationDidStop(const std::shared_ptr<NSString>& animationID,
//                           const std::shared_ptr<NSNumber>& finished, void* context)` and
// `void D::animationWillStart(const std::shared_ptr<NSString>& animationID, void* context)`.
class UIViewAnimationSelector {
 public:
  UIViewAnimationSelector() = default;
  UIViewAnimationSelector(std::nullptr_t) {}
  template <class D, class R>
  UIViewAnimationSelector(R (D::*method)(const std::shared_ptr<NSString>&, const std::shared_ptr<NSNumber>&, void*)) {
    call_ = [method](NSObject& target, const std::shared_ptr<NSString>& name, const std::shared_ptr<NSNumber>& finished,
                     void* context) {
      if (auto* d = dynamic_cast<D*>(&target)) (d->*method)(name, finished, context);
    };
  }
  template <class D, class R>
  UIViewAnimationSelector(R (D::*method)(const std::shared_ptr<NSString>&, void*)) {
    call_ = [method](NSObject& target, const std::shared_ptr<NSString>& name, const std::shared_ptr<NSNumber>&,
                     void* context) {
      if (auto* d = dynamic_cast<D*>(&target)) (d->*method)(name, context);
    };
  }
  explicit operator bool() const { return static_cast<bool>(call_); }
  void perform(NSObject& target, const std::shared_ptr<NSString>& name, const std::shared_ptr<NSNumber>& finished,
               void* context) const {
    if (call_) call_(target, name, finished, context);
  }

 private:
  std::function<void(NSObject&, const std::shared_ptr<NSString>&, const std::shared_ptr<NSNumber>&, void*)> call_;
};

namespace zvt::ui {
// What a view controller hears from its root view: it is the view's next responder and is told
// around the view's layout and its moves between windows.
class ViewDelegate {
 public:
  virtual ~ViewDelegate() = default;
  virtual std::shared_ptr<UIResponder> responderForView() = 0;
  virtual void viewWillLayoutSubviewsOfView() {}
  virtual void viewDidLayoutSubviewsOfView() {}
  virtual void viewWillMoveToWindow(const std::shared_ptr<UIWindow>& /*window*/) {}
  virtual void viewDidMoveToWindow() {}
};
}  // namespace zvt::ui

class UIView : public UIResponder, public CALayerDelegate {
 public:
  UIView();
  ~UIView() override;

  // [[UIView alloc] initWithFrame:frame] / [[UIView alloc] init].
  static std::shared_ptr<UIView> initWithFrame(CGRect frame) { return makeView<UIView>(frame); }
  static std::shared_ptr<UIView> make() { return makeView<UIView>(CGRectZero); }
  // [[V alloc] initWithFrame:frame] for a view class V.
  template <class V>
  static std::shared_ptr<V> makeView(CGRect frame = CGRectZero) {
    auto view = std::make_shared<V>();
    view->setUpWithFrame(frame);
    return view;
  }
  // The body of -initWithFrame:; overrides call the base first.
  virtual void setUpWithFrame(CGRect frame);
  // The body of -initWithCoder: for a view a nib makes (UINib.h): the base only sets the frame,
  // since the device does not call -initWithFrame: for such views; the platform's views that
  // need set-up override both. Overrides call the base first.
  virtual void setUpWithCoder(CGRect frame);

  // The view's layer, made on first use through makeBackingLayer (+layerClass).
  const std::shared_ptr<CALayer>& layer() const;

  // --- geometry (points; frame and center in the superview's coordinates)
  virtual CGRect frame() const;
  virtual void setFrame(CGRect frame);
  virtual CGRect bounds() const;
  virtual void setBounds(CGRect bounds);
  virtual CGPoint center() const;
  virtual void setCenter(CGPoint center);
  CGAffineTransform transform() const;
  virtual void setTransform(CGAffineTransform transform);
  CGFloat contentScaleFactor() const;
  void setContentScaleFactor(CGFloat scale);

  // --- the tree
  std::shared_ptr<UIView> superview() const { return superview_.lock(); }
  // Back to front (a copy: changing the tree while walking it is safe).
  std::vector<std::shared_ptr<UIView>> subviews() const { return subviews_; }
  // The window the view is in, or nil.
  std::shared_ptr<UIWindow> window() const;
  void addSubview(const std::shared_ptr<UIView>& view);
  // An index beyond the end appends.
  void insertSubview(const std::shared_ptr<UIView>& view, NSInteger index);
  void insertSubviewAboveSubview(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling);
  void insertSubviewBelowSubview(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling);
  void bringSubviewToFront(const std::shared_ptr<UIView>& view);
  void sendSubviewToBack(const std::shared_ptr<UIView>& view);
  void exchangeSubviewAtIndex(NSInteger index1, NSInteger index2);
  void removeFromSuperview();
  bool isDescendantOfView(const std::shared_ptr<UIView>& view) const;
  // Depth first, the view itself first; nil when none has the tag.
  std::shared_ptr<UIView> viewWithTag(NSInteger tag) const;
  NSInteger tag() const { return tag_; }
  void setTag(NSInteger tag) { tag_ = tag; }

  // Hooks around moves in the tree (the base does nothing).
  virtual void willMoveToSuperview(const std::shared_ptr<UIView>& /*newSuperview*/) {}
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(const std::shared_ptr<UIWindow>& /*newWindow*/) {}
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(const std::shared_ptr<UIView>& /*subview*/) {}
  virtual void willRemoveSubview(const std::shared_ptr<UIView>& /*subview*/) {}

  // --- look and behaviour
  bool isHidden() const;
  virtual void setHidden(bool hidden);
  CGFloat alpha() const;
  virtual void setAlpha(CGFloat alpha);
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque);
  const std::shared_ptr<UIColor>& backgroundColor() const { return backgroundColor_; }
  virtual void setBackgroundColor(const std::shared_ptr<UIColor>& color);
  bool clipsToBounds() const;
  void setClipsToBounds(bool clips);
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
  bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }
  void setMultipleTouchEnabled(bool enabled) { multipleTouchEnabled_ = enabled; }
  bool isExclusiveTouch() const { return exclusiveTouch_; }
  void setExclusiveTouch(bool exclusive) { exclusiveTouch_ = exclusive; }
  UIViewContentMode contentMode() const { return contentMode_; }
  void setContentMode(UIViewContentMode mode);
  // The own tint, else the superview's, else the system blue (0, 122, 255).
  std::shared_ptr<UIColor> tintColor() const;
  void setTintColor(const std::shared_ptr<UIColor>& color);
  // Called on the view and on its subviews that inherit the tint when it changes.
  virtual void tintColorDidChange() {}

  // --- layout
  UIViewAutoresizing autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(UIViewAutoresizing mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool autoresizes) { autoresizesSubviews_ = autoresizes; }
  void setNeedsLayout();
  // Lays out what needs it now (see CALayer::layoutIfNeeded).
  void layoutIfNeeded();
  // The base applies the constraint engine's frames (when one is installed) and nothing else.
  virtual void layoutSubviews();
  // The current size unless a subclass knows better.
  virtual CGSize sizeThatFits(CGSize size) const;
  // Resizes to sizeThatFits(bounds size), keeping the frame's origin.
  virtual void sizeToFit();
  // {UIViewNoIntrinsicMetric, UIViewNoIntrinsicMetric} unless a subclass has a natural size.
  virtual CGSize intrinsicContentSize() const;
  virtual void invalidateIntrinsicContentSize();

  // --- constraints (NSLayoutConstraint.h). Constraints added to a view relate items inside
  // its tree; the engine of the tree's root (its window) solves them before each layout pass.
  // The constraints added to this view, in the order they were added.
  std::vector<std::shared_ptr<NSLayoutConstraint>> constraints() const;
  // Makes the constraint active with this view as its holder (taking it from another holder).
  void addConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint);
  void addConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
  // Only a constraint this view holds; it becomes inactive.
  void removeConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint);
  void removeConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints);
  // YES (the default): the frame set in code stands, kept by constraints made from the
  // autoresizing mask. NO: the engine places the view.
  bool translatesAutoresizingMaskIntoConstraints() const;
  void setTranslatesAutoresizingMaskIntoConstraints(bool translates);
  // How strongly the view keeps to its intrinsic size: not growing (hugging, 250 by default)
  // and not shrinking (compression resistance, 750 by default), per axis.
  UILayoutPriority contentHuggingPriorityForAxis(UILayoutConstraintAxis axis) const;
  void setContentHuggingPriority(UILayoutPriority priority, UILayoutConstraintAxis axis);
  UILayoutPriority contentCompressionResistancePriorityForAxis(UILayoutConstraintAxis axis) const;
  void setContentCompressionResistancePriority(UILayoutPriority priority, UILayoutConstraintAxis axis);
  // The constraint pass before layout calls updateConstraints on views marked with
  // setNeedsUpdateConstraints, subviews before their superviews. A view whose class overrides
  // updateConstraints is marked when made. Overrides must call the base (UIKit raises
  // NSInternalInconsistencyException otherwise, and so does this).
  void setNeedsUpdateConstraints();
  bool needsUpdateConstraints() const { return needsUpdateConstraints_; }
  // Runs the pass now for this view's tree.
  void updateConstraintsIfNeeded();
  virtual void updateConstraints();
  // The size the constraints inside the view's tree give it when its width and height are
  // pulled towards `targetSize` at the given priorities (the fitting level, 50, by default):
  // UILayoutFittingCompressedSize gives the smallest such size.
  CGSize systemLayoutSizeFittingSize(CGSize targetSize);
  CGSize systemLayoutSizeFittingSize(CGSize targetSize, UILayoutPriority horizontalFittingPriority,
                                     UILayoutPriority verticalFittingPriority);
  // Debugging: whether the engine could place the view elsewhere as well.
  bool hasAmbiguousLayout();
  // Insets of the margin attributes (8 points on each side by default).
  UIEdgeInsets layoutMargins() const;
  void setLayoutMargins(UIEdgeInsets margins);
  virtual void layoutMarginsDidChange() {}
  std::vector<std::shared_ptr<UILayoutGuide>> layoutGuides() const;
  void addLayoutGuide(const std::shared_ptr<UILayoutGuide>& guide);
  // Deactivates the constraints on the guide.
  void removeLayoutGuide(const std::shared_ptr<UILayoutGuide>& guide);
  // The bounds inset by the layout margins.
  std::shared_ptr<UILayoutGuide> layoutMarginsGuide();
  std::shared_ptr<NSLayoutXAxisAnchor> leadingAnchor();
  std::shared_ptr<NSLayoutXAxisAnchor> trailingAnchor();
  std::shared_ptr<NSLayoutXAxisAnchor> leftAnchor();
  std::shared_ptr<NSLayoutXAxisAnchor> rightAnchor();
  std::shared_ptr<NSLayoutXAxisAnchor> centerXAnchor();
  std::shared_ptr<NSLayoutYAxisAnchor> topAnchor();
  std::shared_ptr<NSLayoutYAxisAnchor> bottomAnchor();
  std::shared_ptr<NSLayoutYAxisAnchor> centerYAnchor();
  std::shared_ptr<NSLayoutYAxisAnchor> firstBaselineAnchor();
  std::shared_ptr<NSLayoutYAxisAnchor> lastBaselineAnchor();
  std::shared_ptr<NSLayoutDimension> widthAnchor();
  std::shared_ptr<NSLayoutDimension> heightAnchor();
  // Where the baseline attributes sit: the first baseline this far below the top, the last one
  // this far above the bottom. A plain view's baselines are its bottom; views that show text
  // answer their text's baselines and call invalidateIntrinsicContentSize when they move.
  virtual CGFloat firstBaselineOffsetFromTop() const { return bounds().size.height; }
  virtual CGFloat lastBaselineOffsetFromBottom() const { return 0; }

  // --- objects extensions keep with the view (where the original used associated objects):
  // one strong slot per key; a key is the address of the extension's own static object.
  id associatedObject(const void* key) const;
  void setAssociatedObject(const void* key, const id& value);

  // --- drawing
  void setNeedsDisplay();
  void setNeedsDisplayInRect(CGRect rect);
  // Draws the view's content into the current context, in bounds coordinates. A view class
  // that overrides it gets a backing store of its bounds at the screen scale, kept as its
  // layer's contents until setNeedsDisplay; one that does not gets none.
  virtual void drawRect(CGRect rect);
  // Whether the view's class overrides drawRect.
  bool drawsContent() const;

  // --- coordinates (nil means the window's coordinates; views in different windows convert
  // through the screen)
  CGPoint convertPointToView(CGPoint point, const std::shared_ptr<UIView>& view) const;
  CGPoint convertPointFromView(CGPoint point, const std::shared_ptr<UIView>& view) const;
  CGRect convertRectToView(CGRect rect, const std::shared_ptr<UIView>& view) const;
  CGRect convertRectFromView(CGRect rect, const std::shared_ptr<UIView>& view) const;
  // The affine map from this view's bounds coordinates to the screen (through its window).
  CGAffineTransform transformToScreen() const;

  // --- events
  // The front-most descendant (or this view) containing the point, skipping hidden views,
  // views too transparent to see (zvt::ui::isSeeThrough), views that take no interaction and
  // views in an animation
  // that does not allow it; subviews are reached only where pointInside answers YES.
  // Overrides must not change the tree.
  virtual std::shared_ptr<UIView> hitTest(CGPoint point, const std::shared_ptr<UIEvent>& event);
  // The point (in bounds coordinates) lies in the bounds.
  virtual bool pointInside(CGPoint point, const std::shared_ptr<UIEvent>& event) const;
  void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
  void removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
  std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers() const { return gestureRecognizers_; }
  // Asked, for a touch in this view, before a recogniser of another view recognises it.
  virtual bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& recognizer);
  // Makes the first responder in this view's tree resign; with `force` it resigns without
  // asking (its delegate is not consulted). Returns whether one resigned.
  bool endEditing(bool force);

  // --- a person's view: the texts the view shows (a label's text, a button's title, a text
  // field's text or placeholder); the base shows none.
  virtual std::vector<std::shared_ptr<NSString>> visibleTexts() const { return {}; }

  // --- accessibility
  const std::shared_ptr<NSString>& accessibilityIdentifier() const { return accessibilityIdentifier_; }
  void setAccessibilityIdentifier(const std::shared_ptr<NSString>& identifier) { accessibilityIdentifier_ = identifier; }
  const std::shared_ptr<NSString>& accessibilityLabel() const { return accessibilityLabel_; }
  void setAccessibilityLabel(const std::shared_ptr<NSString>& label) { accessibilityLabel_ = label; }
  bool isAccessibilityElement() const { return accessibilityElement_; }
  void setIsAccessibilityElement(bool element) { accessibilityElement_ = element; }

  // --- responder chain: the view delegate (its controller) when there is one, else the superview.
  std::shared_ptr<UIResponder> nextResponder() const override;
  void setViewDelegate(const std::shared_ptr<zvt::ui::ViewDelegate>& delegate) { viewDelegate_ = delegate; }
  std::shared_ptr<zvt::ui::ViewDelegate> viewDelegate() const { return viewDelegate_.lock(); }

  // --- animations
  static void animateWithDuration(NSTimeInterval duration, const std::function<void()>& animations);
  static void animateWithDuration(NSTimeInterval duration, const std::function<void()>& animations,
                                  std::function<void(bool finished)> completion);
  static void animateWithDuration(NSTimeInterval duration, NSTimeInterval delay, UIViewAnimationOptions options,
                                  const std::function<void()>& animations, std::function<void(bool finished)> completion);
  // usingSpringWithDamping:initialSpringVelocity: — the spring settles within the duration;
  // the velocity is in whole changes per second.
  static void animateWithDuration(NSTimeInterval duration, NSTimeInterval delay, CGFloat dampingRatio,
                                  CGFloat velocity, UIViewAnimationOptions options,
                                  const std::function<void()>& animations, std::function<void(bool finished)> completion);
  // The changes inside `animations` are not animated themselves (unless the options allow
  // animated content); the view's layer shows a transition of the options' kind instead.
  static void transitionWithView(const std::shared_ptr<UIView>& view, NSTimeInterval duration,
                                 UIViewAnimationOptions options, const std::function<void()>& animations,
                                 std::function<void(bool finished)> completion);
  // Replaces fromView with toView in fromView's superview (or hides and shows them with
  // UIViewAnimationOptionShowHideTransitionViews) inside a transition of the superview.
  static void transitionFromView(const std::shared_ptr<UIView>& fromView, const std::shared_ptr<UIView>& toView,
                                 NSTimeInterval duration, UIViewAnimationOptions options,
                                 std::function<void(bool finished)> completion);
  static void performWithoutAnimation(const std::function<void()>& actions);
  static void setAnimationsEnabled(bool enabled);
  static bool areAnimationsEnabled();
  // The begin/commit form: parameters set between the two apply to the changes made after them.
  static void beginAnimations(const std::shared_ptr<NSString>& animationID, void* context);
  static void commitAnimations();
  static void setAnimationDuration(NSTimeInterval duration);  // 0.2 s by default
  static void setAnimationDelay(NSTimeInterval delay);
  static void setAnimationCurve(UIViewAnimationCurve curve);
  static void setAnimationRepeatCount(float count);
  static void setAnimationRepeatAutoreverses(bool autoreverses);
  static void setAnimationBeginsFromCurrentState(bool fromCurrentState);
  // Held until the animations of the block end.
  static void setAnimationDelegate(const id& delegate);
  static void setAnimationWillStartSelector(UIViewAnimationSelector selector);
  static void setAnimationDidStopSelector(UIViewAnimationSelector selector);
  // Whether an animation made in a block is running on this view and does not allow
  // interaction (such views are not hit).
  bool isAnimatingWithoutInteraction() const { return interactionBlockingAnimations_ > 0; }

  std::shared_ptr<NSString> description() const override;

  // --- CALayerDelegate
  bool displayLayer(CALayer& layer) override;
  void layoutSublayersOfLayer(CALayer& layer) override;
  std::shared_ptr<CAAction> actionForLayer(CALayer& layer, const std::shared_ptr<NSString>& key) override;

 protected:
  // +layerClass: the layer the view is backed by.
  virtual std::shared_ptr<CALayer> makeBackingLayer() const { return CALayer::layer(); }
  // After every change of the bounds (a new size, or a moved origin: a scroll view's offset),
  // whatever caused it (frame, bounds, autoresizing, animation blocks).
  virtual void boundsDidChange(CGRect /*oldBounds*/) {}
  // Applies the autoresizing mask for a superview whose bounds were `oldSize` large.
  virtual void resizeWithOldSuperviewSize(CGSize oldSize);
  virtual void resizeSubviewsWithOldSize(CGSize oldSize);
  bool mayBecomeFirstResponderNow() const override;
  std::shared_ptr<UIView> viewSelf() const {
    return std::const_pointer_cast<UIView>(std::static_pointer_cast<const UIView>(shared_from_this()));
  }

 private:
  friend class UIWindow;
  friend struct ViewAnimationAccess;
  void geometryWillChange(CGRect& oldBounds, CGRect& oldFrame) const;
  void geometryDidChange(const CGRect& oldBounds, const CGRect& oldFrame);
  void insertSubviewAt(const std::shared_ptr<UIView>& view, size_t index);
  void placeLayer(const std::shared_ptr<UIView>& view, size_t index);
  void moveToWindow(const std::shared_ptr<UIWindow>& window, bool before);
  void tintChanged();
  UIView* findFirstResponderInTree() const;
  friend class zvt::ui::LayoutEngine;
  friend struct zvt::ui::ConstraintPass;
  zvt::ui::ViewLayoutState& layoutState() const;
  zvt::ui::ViewLayoutState* layoutStateIfAny() const { return layoutState_.get(); }
  // The subtree moves out of its tree (to another superview, or none).
  void layoutSubtreeWillMove(bool leavingSuperview);
  void layoutSubtreeDidMove();
  void markForConstraintPass();
  void retryWaitingConstraints();
  void layoutTeardown();
  void checkOwnUpdateConstraints();

  mutable std::shared_ptr<CALayer> layer_;
  mutable bool layerDelegateBound_ = false;
  std::weak_ptr<UIView> superview_;
  std::vector<std::shared_ptr<UIView>> subviews_;
  std::weak_ptr<UIWindow> window_;
  std::weak_ptr<zvt::ui::ViewDelegate> viewDelegate_;
  std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers_;
  std::shared_ptr<UIColor> backgroundColor_;
  std::shared_ptr<UIColor> tintColor_;
  std::shared_ptr<NSString> accessibilityIdentifier_;
  std::shared_ptr<NSString> accessibilityLabel_;
  NSInteger tag_ = 0;
  UIViewAutoresizing autoresizingMask_ = UIViewAutoresizingNone;
  UIViewContentMode contentMode_ = UIViewContentModeScaleToFill;
  int interactionBlockingAnimations_ = 0;
  bool isWindow_ = false;
  bool opaque_ = true;
  bool userInteractionEnabled_ = true;
  bool multipleTouchEnabled_ = false;
  bool exclusiveTouch_ = false;
  bool autoresizesSubviews_ = true;
  bool accessibilityElement_ = false;
  // Constraint pass marks: this view wants updateConstraints or holds constraints the engine
  // has not taken yet; some descendant does.
  bool needsUpdateConstraints_ = false;
  bool constraintPassMark_ = false;
  bool constraintPassDescendantMark_ = false;
  bool updateConstraintsCalledBase_ = false;
  bool updateConstraintsChecked_ = false;
  mutable std::unique_ptr<zvt::ui::ViewLayoutState> layoutState_;
  zvt::ui::AssociatedObjects associatedObjects_;
};
