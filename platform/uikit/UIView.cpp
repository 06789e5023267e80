#include "platform/uikit/UIView.h"

#include <algorithm>
#include <cstdio>

#include "platform/foundation/NSException.h"
#include "platform/graphics/UIImage.h"
#include "platform/graphics/UIScreen.h"
#include "platform/quartzcore/internal/Overrides.h"
#include "platform/uikit/DisplayCycle.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIWindow.h"
#include "platform/uikit/internal/LayoutEngine.h"

namespace zvt::ui {
void beginForcedResign();
void endForcedResign();
// A resignation that asks no delegate, for as long as it lives.
struct ForcedResign {
  ForcedResign() { beginForcedResign(); }
  ~ForcedResign() { endForcedResign(); }
  ForcedResign(const ForcedResign&) = delete;
  ForcedResign& operator=(const ForcedResign&) = delete;
};
}  // namespace zvt::ui

namespace {

const UIView& prototypeView() {
  static const auto* view = new UIView();
  return *view;
}

std::shared_ptr<NSString> gravityFor(UIViewContentMode mode) {
  switch (mode) {
    case UIViewContentModeScaleAspectFit: return kCAGravityResizeAspect;
    case UIViewContentModeScaleAspectFill: return kCAGravityResizeAspectFill;
    case UIViewContentModeCenter: return kCAGravityCenter;
    case UIViewContentModeTop: return kCAGravityTop;
    case UIViewContentModeBottom: return kCAGravityBottom;
    case UIViewContentModeLeft: return kCAGravityLeft;
    case UIViewContentModeRight: return kCAGravityRight;
    case UIViewContentModeTopLeft: return kCAGravityTopLeft;
    case UIViewContentModeTopRight: return kCAGravityTopRight;
    case UIViewContentModeBottomLeft: return kCAGravityBottomLeft;
    case UIViewContentModeBottomRight: return kCAGravityBottomRight;
    default: return kCAGravityResize;
  }
}

// Shares out a change of the superview's length among the flexible parts of one axis, in
// proportion to their lengths (equally when they are all zero).
void distribute(CGFloat oldLength, CGFloat newLength, CGFloat& origin, CGFloat& length, bool flexibleStart,
                bool flexibleLength, bool flexibleEnd) {
  CGFloat delta = newLength - oldLength;
  if (delta == 0 || !(flexibleStart || flexibleLength || flexibleEnd)) return;
  CGFloat start = std::max<CGFloat>(origin, 0);
  CGFloat middle = std::max<CGFloat>(length, 0);
  CGFloat end = std::max<CGFloat>(oldLength - origin - length, 0);
  CGFloat sum = (flexibleStart ? start : 0) + (flexibleLength ? middle : 0) + (flexibleEnd ? end : 0);
  int count = int(flexibleStart) + int(flexibleLength) + int(flexibleEnd);
  auto share = [&](bool flexible, CGFloat part) -> CGFloat {
    if (!flexible) return 0;
    return sum > 0 ? delta * part / sum : delta / count;
  };
  origin += share(flexibleStart, start);
  length += share(flexibleLength, middle);
}

CGPoint inverseMap(CGPoint p, const zvt::ca::LayerProperties& props) {
  CGPoint anchor = CGPointMake(props.bounds.origin.x + props.anchorPoint.x * props.bounds.size.width,
                               props.bounds.origin.y + props.anchorPoint.y * props.bounds.size.height);
  if (CATransform3DIsIdentity(props.transform))
    return CGPointMake(p.x - props.position.x + anchor.x, p.y - props.position.y + anchor.y);
  return CGPointApplyAffineTransform(p, CGAffineTransformInvert(props.transformToSuperlayer()));
}

}  // namespace

// --- making -----------------------------------------------------------------------------------

UIView::UIView() = default;

UIView::~UIView() {
  layoutTeardown();
  for (auto& sub : subviews_) sub->superview_.reset();
}

void UIView::setUpWithFrame(CGRect frame) {
  zvt::ui::assertMainThread("UIView::initWithFrame");
  checkOwnUpdateConstraints();
  setFrame(frame);
}

void UIView::checkOwnUpdateConstraints() {
  // A view class with its own updateConstraints gets it called in the first constraint pass.
  if (updateConstraintsChecked_) return;
  updateConstraintsChecked_ = true;
  if (zvt::overridesVirtual<UIView>(*this, prototypeView(), &UIView::updateConstraints)) {
    needsUpdateConstraints_ = true;
    constraintPassMark_ = true;
  }
}

void UIView::setUpWithCoder(CGRect frame) {
  zvt::ui::assertMainThread("UIView::initWithCoder");
  setFrame(frame);
}

const std::shared_ptr<CALayer>& UIView::layer() const {
  if (!layer_) {
    layer_ = makeBackingLayer();
    layer_->setContentsScale(UIScreen::mainScreen()->scale());
    layer_->setOpaque(opaque_);
    if (drawsContent()) layer_->setNeedsDisplay();
  }
  if (!layerDelegateBound_) {
    if (auto self = std::const_pointer_cast<NSObject>(weak_from_this().lock())) {
      layer_->setDelegate(std::static_pointer_cast<UIView>(self));
      layerDelegateBound_ = true;
    }
  }
  return layer_;
}

// --- geometry ---------------------------------------------------------------------------------

CGRect UIView::frame() const { return layer()->frame(); }
CGRect UIView::bounds() const { return layer()->bounds(); }
CGPoint UIView::center() const { return layer()->position(); }
CGAffineTransform UIView::transform() const { return layer()->affineTransform(); }
CGFloat UIView::contentScaleFactor() const { return layer()->contentsScale(); }

void UIView::setContentScaleFactor(CGFloat scale) {
  zvt::ui::assertMainThread("UIView::setContentScaleFactor");
  if (scale <= 0 || scale == layer()->contentsScale()) return;
  layer()->setContentsScale(scale);
  setNeedsDisplay();
}

void UIView::geometryWillChange(CGRect& oldBounds, CGRect& oldFrame) const {
  oldBounds = bounds();
  oldFrame = frame();
}

void UIView::geometryDidChange(const CGRect& oldBounds, const CGRect& oldFrame) {
  CGRect newBounds = bounds();
  if (newBounds.size != oldBounds.size) {
    if (autoresizesSubviews_) resizeSubviewsWithOldSize(oldBounds.size);
    if (auto parent = superview()) parent->setNeedsLayout();
  } else if (frame().origin != oldFrame.origin) {
    // Moving keeps the size: nothing to lay out.
  }
  if (layoutState_ && layoutState_->item.engine) layoutState_->item.engine->geometryChanged(*this);
  if (newBounds != oldBounds) boundsDidChange(oldBounds);
}

void UIView::setFrame(CGRect frame) {
  zvt::ui::assertMainThread("UIView::setFrame");
  CGRect oldBounds, oldFrame;
  geometryWillChange(oldBounds, oldFrame);
  // Layout passes set most frames to what they are.
  if (frame == oldFrame && CATransform3DIsIdentity(layer()->transform())) return;
  layer()->setFrame(frame);
  geometryDidChange(oldBounds, oldFrame);
}

void UIView::setBounds(CGRect bounds) {
  zvt::ui::assertMainThread("UIView::setBounds");
  CGRect oldBounds, oldFrame;
  geometryWillChange(oldBounds, oldFrame);
  layer()->setBounds(bounds);
  geometryDidChange(oldBounds, oldFrame);
}

void UIView::setCenter(CGPoint center) {
  zvt::ui::assertMainThread("UIView::setCenter");
  layer()->setPosition(center);
  if (layoutState_ && layoutState_->item.engine) layoutState_->item.engine->geometryChanged(*this);
}

void UIView::setTransform(CGAffineTransform transform) {
  zvt::ui::assertMainThread("UIView::setTransform");
  layer()->setAffineTransform(transform);
}

void UIView::resizeSubviewsWithOldSize(CGSize oldSize) {
  auto children = subviews_;
  for (auto& child : children) child->resizeWithOldSuperviewSize(oldSize);
}

void UIView::resizeWithOldSuperviewSize(CGSize oldSize) {
  auto parent = superview();
  if (!parent || autoresizingMask_ == UIViewAutoresizingNone) return;
  CGSize newSize = parent->bounds().size;
  // The view's untransformed rectangle in the superview.
  CGSize size = bounds().size;
  CGPoint anchor = layer()->anchorPoint();
  CGPoint position = center();
  CGRect r = CGRectMake(position.x - anchor.x * size.width, position.y - anchor.y * size.height, size.width,
                        size.height);
  auto m = autoresizingMask_;
  distribute(oldSize.width, newSize.width, r.origin.x, r.size.width, m & UIViewAutoresizingFlexibleLeftMargin,
             m & UIViewAutoresizingFlexibleWidth, m & UIViewAutoresizingFlexibleRightMargin);
  distribute(oldSize.height, newSize.height, r.origin.y, r.size.height, m & UIViewAutoresizingFlexibleTopMargin,
             m & UIViewAutoresizingFlexibleHeight, m & UIViewAutoresizingFlexibleBottomMargin);
  if (r.size != size) setBounds(CGRect{bounds().origin, r.size});
  setCenter(CGPointMake(r.origin.x + anchor.x * r.size.width, r.origin.y + anchor.y * r.size.height));
}

// --- the tree ---------------------------------------------------------------------------------

void UIView::placeLayer(const std::shared_ptr<UIView>& view, size_t index) {
  const auto& sub = view->layer();
  if (index + 1 < subviews_.size())
    layer()->insertSublayerBelow(sub, subviews_[index + 1]->layer());
  else
    layer()->addSublayer(sub);
}

void UIView::moveToWindow(const std::shared_ptr<UIWindow>& window, bool before) {
  auto keep = viewSelf();
  auto delegate = viewDelegate();
  if (before) {
    if (!window) {
      // A first responder leaving the window resigns, without being asked.
      if (auto responder = UIResponder::currentFirstResponder(); responder.get() == this) {
        zvt::ui::ForcedResign forced;
        responder->resignFirstResponder();
      }
    }
    willMoveToWindow(window);
    if (delegate) delegate->viewWillMoveToWindow(window);
  } else {
    if (!isWindow_) window_ = window;
    didMoveToWindow();
    if (delegate) delegate->viewDidMoveToWindow();
  }
  auto children = subviews_;
  for (auto& child : children) child->moveToWindow(window, before);
}

void UIView::insertSubviewAt(const std::shared_ptr<UIView>& view, size_t index) {
  zvt::ui::assertMainThread("UIView::addSubview");
  if (!view) return;
  if (view.get() == this || isDescendantOfView(view))
    zvt::raise(NSInvalidArgumentException, "Can't add self or an ancestor as subview");
  auto keep = view;
  auto self = viewSelf();
  auto old = view->superview();
  if (old.get() == this) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    size_t from = static_cast<size_t>(it - subviews_.begin());
    subviews_.erase(it);
    if (index > from) --index;
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
    placeLayer(view, index);
    return;
  }
  auto newWindow = window();
  bool windowChanges = view->window() != newWindow;
  view->layoutSubtreeWillMove(old != nullptr);
  view->willMoveToSuperview(self);
  if (windowChanges) view->moveToWindow(newWindow, true);
  if (old) {
    old->willRemoveSubview(view);
    auto& siblings = old->subviews_;
    siblings.erase(std::find(siblings.begin(), siblings.end(), view));
    old->setNeedsLayout();
  }
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), view);
  view->superview_ = self;
  placeLayer(view, index);
  if (windowChanges) view->moveToWindow(newWindow, false);
  view->didMoveToSuperview();
  didAddSubview(view);
  view->layoutSubtreeDidMove();
  setNeedsLayout();
  view->setNeedsLayout();
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) { insertSubviewAt(view, subviews_.size()); }

void UIView::insertSubview(const std::shared_ptr<UIView>& view, NSInteger index) {
  insertSubviewAt(view, index < 0 ? 0 : static_cast<size_t>(index));
}

void UIView::insertSubviewAboveSubview(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling) {
  auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
  if (it == subviews_.end()) {
    addSubview(view);
    return;
  }
  size_t index = static_cast<size_t>(it - subviews_.begin()) + 1;
  insertSubviewAt(view, index);
}

void UIView::insertSubviewBelowSubview(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling) {
  auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
  if (it == subviews_.end()) {
    addSubview(view);
    return;
  }
  insertSubviewAt(view, static_cast<size_t>(it - subviews_.begin()));
}

void UIView::bringSubviewToFront(const std::shared_ptr<UIView>& view) {
  zvt::ui::assertMainThread("UIView::bringSubviewToFront");
  auto it = std::find(subviews_.begin(), subviews_.end(), view);
  if (it == subviews_.end()) return;
  auto keep = view;
  subviews_.erase(it);
  subviews_.push_back(keep);
  layer()->addSublayer(keep->layer());
}

void UIView::sendSubviewToBack(const std::shared_ptr<UIView>& view) {
  zvt::ui::assertMainThread("UIView::sendSubviewToBack");
  auto it = std::find(subviews_.begin(), subviews_.end(), view);
  if (it == subviews_.end()) return;
  auto keep = view;
  subviews_.erase(it);
  subviews_.insert(subviews_.begin(), keep);
  layer()->insertSublayer(keep->layer(), 0);
}

void UIView::exchangeSubviewAtIndex(NSInteger index1, NSInteger index2) {
  zvt::ui::assertMainThread("UIView::exchangeSubviewAtIndex");
  auto n = static_cast<NSInteger>(subviews_.size());
  if (index1 < 0 || index2 < 0 || index1 >= n || index2 >= n || index1 == index2)
    return;
  std::swap(subviews_[static_cast<size_t>(index1)], subviews_[static_cast<size_t>(index2)]);
  size_t high = static_cast<size_t>(std::max(index1, index2)), low = static_cast<size_t>(std::min(index1, index2));
  subviews_[high]->layer()->removeFromSuperlayer();
  subviews_[low]->layer()->removeFromSuperlayer();
  placeLayer(subviews_[high], high);
  placeLayer(subviews_[low], low);
}

void UIView::removeFromSuperview() {
  zvt::ui::assertMainThread("UIView::removeFromSuperview");
  auto parent = superview();
  if (!parent) return;
  auto keep = viewSelf();
  layoutSubtreeWillMove(true);
  willMoveToSuperview(nullptr);
  bool hadWindow = window() != nullptr;
  if (hadWindow) moveToWindow(nullptr, true);
  parent->willRemoveSubview(keep);
  auto& siblings = parent->subviews_;
  auto it = std::find(siblings.begin(), siblings.end(), keep);
  if (it != siblings.end()) siblings.erase(it);
  superview_.reset();
  layer()->removeFromSuperlayer();
  if (hadWindow) moveToWindow(nullptr, false);
  didMoveToSuperview();
  parent->setNeedsLayout();
}

bool UIView::isDescendantOfView(const std::shared_ptr<UIView>& view) const {
  if (!view) return false;
  for (const UIView* v = this; v; v = v->superview_.lock().get())
    if (v == view.get()) return true;
  return false;
}

std::shared_ptr<UIView> UIView::viewWithTag(NSInteger tag) const {
  if (tag_ == tag) return viewSelf();
  for (const auto& child : subviews_)
    if (auto found = child->viewWithTag(tag)) return found;
  return nullptr;
}

// --- look ---------------------------------------------------------------------------------------

bool UIView::isHidden() const { return layer()->isHidden(); }

void UIView::setHidden(bool hidden) {
  zvt::ui::assertMainThread("UIView::setHidden");
  if (hidden && !isHidden()) {
    // A first responder that is hidden resigns.
    if (auto responder = std::dynamic_pointer_cast<UIView>(UIResponder::currentFirstResponder());
        responder && responder->isDescendantOfView(viewSelf())) {
      zvt::ui::ForcedResign forced;
      responder->resignFirstResponder();
    }
  }
  layer()->setHidden(hidden);
}

CGFloat UIView::alpha() const { return layer()->opacity(); }

void UIView::setAlpha(CGFloat alpha) {
  zvt::ui::assertMainThread("UIView::setAlpha");
  layer()->setOpacity(std::clamp<CGFloat>(alpha, 0, 1));
}

void UIView::setOpaque(bool opaque) {
  zvt::ui::assertMainThread("UIView::setOpaque");
  opaque_ = opaque;
  layer()->setOpaque(opaque);
}

void UIView::setBackgroundColor(const std::shared_ptr<UIColor>& color) {
  zvt::ui::assertMainThread("UIView::setBackgroundColor");
  backgroundColor_ = color;
  layer()->setBackgroundColor(color ? color->CGColor() : nullptr);
}

bool UIView::clipsToBounds() const { return layer()->masksToBounds(); }

void UIView::setClipsToBounds(bool clips) {
  zvt::ui::assertMainThread("UIView::setClipsToBounds");
  layer()->setMasksToBounds(clips);
}

void UIView::setContentMode(UIViewContentMode mode) {
  zvt::ui::assertMainThread("UIView::setContentMode");
  contentMode_ = mode;
  layer()->setContentsGravity(gravityFor(mode));
  layer()->setNeedsDisplayOnBoundsChange(mode == UIViewContentModeRedraw);
}

std::shared_ptr<UIColor> UIView::tintColor() const {
  for (const UIView* v = this; v; v = v->superview_.lock().get())
    if (v->tintColor_) return v->tintColor_;
  static const auto* blue = new std::shared_ptr<UIColor>(UIColor::colorWithRed(0, 122 / 255.0, 1, 1));
  return *blue;
}

void UIView::setTintColor(const std::shared_ptr<UIColor>& color) {
  zvt::ui::assertMainThread("UIView::setTintColor");
  if (zvt::objectsEqual(color, tintColor_)) return;
  tintColor_ = color;
  tintChanged();
}

void UIView::tintChanged() {
  tintColorDidChange();
  auto children = subviews_;
  for (auto& child : children)
    if (!child->tintColor_) child->tintChanged();
}

// --- layout -------------------------------------------------------------------------------------

void UIView::setNeedsLayout() {
  zvt::ui::assertMainThread("UIView::setNeedsLayout");
  layer()->setNeedsLayout();
}

void UIView::layoutIfNeeded() {
  zvt::ui::assertMainThread("UIView::layoutIfNeeded");
  auto keep = viewSelf();
  auto& hooks = zvt::ui::displayCycleHooks();
  if (hooks.updateConstraints) {
    std::shared_ptr<UIView> root = keep;
    while (auto parent = root->superview()) root = parent;
    hooks.updateConstraints(*root);
  }
  layer()->layoutIfNeeded();
}

void UIView::layoutSubviews() {
  auto& hooks = zvt::ui::displayCycleHooks();
  if (hooks.layoutFromEngine) hooks.layoutFromEngine(*this);
}

CGSize UIView::sizeThatFits(CGSize) const { return bounds().size; }

void UIView::sizeToFit() {
  zvt::ui::assertMainThread("UIView::sizeToFit");
  CGRect f = frame();
  f.size = sizeThatFits(bounds().size);
  setFrame(f);
}

CGSize UIView::intrinsicContentSize() const { return CGSizeMake(UIViewNoIntrinsicMetric, UIViewNoIntrinsicMetric); }

void UIView::invalidateIntrinsicContentSize() {
  auto& hooks = zvt::ui::displayCycleHooks();
  if (hooks.intrinsicContentSizeChanged) hooks.intrinsicContentSizeChanged(*this);
}

void UIView::layoutSublayersOfLayer(CALayer& layer) {
  if (&layer != layer_.get()) return;
  auto keep = viewSelf();
  auto delegate = viewDelegate();
  if (delegate) delegate->viewWillLayoutSubviewsOfView();
  layoutSubviews();
  if (delegate) delegate->viewDidLayoutSubviewsOfView();
}

// --- drawing ------------------------------------------------------------------------------------

bool UIView::drawsContent() const { return zvt::overridesVirtual<UIView>(*this, prototypeView(), &UIView::drawRect); }

void UIView::setNeedsDisplay() {
  zvt::ui::assertMainThread("UIView::setNeedsDisplay");
  if (drawsContent()) layer()->setNeedsDisplay();
}

void UIView::setNeedsDisplayInRect(CGRect) { setNeedsDisplay(); }

void UIView::drawRect(CGRect) {}

bool UIView::displayLayer(CALayer& layer) {
  if (&layer != layer_.get()) return false;
  if (!drawsContent()) return true;  // contents set on the layer stay
  auto keep = viewSelf();
  CGRect b = bounds();
  CGImageRef image;
  if (b.size.width > 0 && b.size.height > 0) {
    UIGraphicsBeginImageContextWithOptions(b.size, opaque_, contentScaleFactor());
    CGContextTranslateCTM(UIGraphicsGetCurrentContext(), -b.origin.x, -b.origin.y);
    drawRect(b);
    if (auto drawn = UIGraphicsGetImageFromCurrentImageContext()) image = drawn->CGImage();
    UIGraphicsEndImageContext();
  }
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  layer_->setContents(image);
  CATransaction::commit();
  return true;
}

// --- coordinates --------------------------------------------------------------------------------

CGAffineTransform UIView::transformToScreen() const {
  CGAffineTransform t = layer()->transformToRoot();
  const UIView* root = this;
  while (auto parent = root->superview_.lock()) root = parent.get();
  return CGAffineTransformConcat(t, root->layer()->properties().transformToSuperlayer());
}

namespace {

// The map from window coordinates (nil view) into the view's, and back.
CGAffineTransform windowSpaceOf(const UIView& view) {
  if (auto window = view.window()) return window->transformToScreen();
  // Outside a window, "window coordinates" are those of the tree's root.
  const UIView* root = &view;
  while (auto parent = root->superview()) root = parent.get();
  return root->transformToScreen();
}

// Window coordinates (a nil view) or the view's, to the screen.
CGAffineTransform spaceOf(const UIView& self, const std::shared_ptr<UIView>& view) {
  return view ? view->transformToScreen() : windowSpaceOf(self);
}

}  // namespace

CGPoint UIView::convertPointToView(CGPoint point, const std::shared_ptr<UIView>& view) const {
  auto map = CGAffineTransformConcat(transformToScreen(), CGAffineTransformInvert(spaceOf(*this, view)));
  return CGPointApplyAffineTransform(point, map);
}

CGPoint UIView::convertPointFromView(CGPoint point, const std::shared_ptr<UIView>& view) const {
  auto map = CGAffineTransformConcat(spaceOf(*this, view), CGAffineTransformInvert(transformToScreen()));
  return CGPointApplyAffineTransform(point, map);
}

CGRect UIView::convertRectToView(CGRect rect, const std::shared_ptr<UIView>& view) const {
  auto map = CGAffineTransformConcat(transformToScreen(), CGAffineTransformInvert(spaceOf(*this, view)));
  return CGRectApplyAffineTransform(rect, map);
}

CGRect UIView::convertRectFromView(CGRect rect, const std::shared_ptr<UIView>& view) const {
  auto map = CGAffineTransformConcat(spaceOf(*this, view), CGAffineTransformInvert(transformToScreen()));
  return CGRectApplyAffineTransform(rect, map);
}

std::shared_ptr<UIWindow> UIView::window() const {
  if (isWindow_) return std::static_pointer_cast<UIWindow>(viewSelf());
  return window_.lock();
}

// --- events -------------------------------------------------------------------------------------

std::shared_ptr<UIView> UIView::hitTest(CGPoint point, const std::shared_ptr<UIEvent>& event) {
  zvt::ui::assertMainThread("UIView::hitTest");
  const auto& props = layer()->properties();
  if (zvt::ui::isSeeThrough(props.hidden, props.opacity) || !userInteractionEnabled_ || interactionBlockingAnimations_ > 0)
    return nullptr;
  if (!pointInside(point, event)) return nullptr;
  // Front-most first. Hit-testing does not change the tree, so the children are not held.
  for (size_t i = subviews_.size(); i-- > 0;) {
    UIView& child = *subviews_[i];
    if (auto hit = child.hitTest(inverseMap(point, child.layer()->properties()), event)) return hit;
  }
  return viewSelf();
}

bool UIView::pointInside(CGPoint point, const std::shared_ptr<UIEvent>&) const {
  return CGRectContainsPoint(layer()->bounds(), point);
}

void UIView::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
  zvt::ui::assertMainThread("UIView::addGestureRecognizer");
  if (!recognizer) return;
  if (auto owner = recognizer->view()) {
    if (owner.get() == this) return;
    owner->removeGestureRecognizer(recognizer);
  }
  gestureRecognizers_.push_back(recognizer);
  recognizer->attachToView(viewSelf());
}

void UIView::removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
  zvt::ui::assertMainThread("UIView::removeGestureRecognizer");
  auto it = std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer);
  if (it == gestureRecognizers_.end()) return;
  auto keep = recognizer;
  gestureRecognizers_.erase(it);
  keep->attachToView(nullptr);
}

bool UIView::gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>&) { return true; }

bool UIView::endEditing(bool force) {
  zvt::ui::assertMainThread("UIView::endEditing");
  auto responder = std::dynamic_pointer_cast<UIView>(UIResponder::currentFirstResponder());
  if (!responder || !responder->isDescendantOfView(viewSelf())) return false;
  if (!force) {
    if (!responder->canResignFirstResponder()) return false;
    return responder->resignFirstResponder() && !responder->isFirstResponder();
  }
  zvt::ui::ForcedResign forced;
  responder->resignFirstResponder();
  return !responder->isFirstResponder();
}

bool UIView::mayBecomeFirstResponderNow() const { return window() != nullptr; }

std::shared_ptr<UIResponder> UIView::nextResponder() const {
  if (auto delegate = viewDelegate())
    if (auto responder = delegate->responderForView()) return responder;
  return superview();
}

std::shared_ptr<NSString> UIView::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  CGRect f = frame();
  std::string text = "<" + className() + ": " + address + "; frame = (" + zvt::shortestNumberText(f.origin.x) + " " +
                     zvt::shortestNumberText(f.origin.y) + "; " + zvt::shortestNumberText(f.size.width) + " " +
                     zvt::shortestNumberText(f.size.height) + ")";
  if (isHidden()) text += "; hidden = YES";
  if (alpha() != 1) text += "; alpha = " + zvt::shortestNumberText(alpha());
  if (tag_ != 0) text += "; tag = " + std::to_string(tag_);
  text += "; layer = " + layer()->description()->utf8() + ">";
  return NSString::fromValidUTF8(std::move(text));
}
