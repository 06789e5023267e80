#pragma once
// Layers (CALayer): the geometry and look of a rectangle in a tree of layers, with explicit
// animations kept under keys and a presentation computed from them at the run loop's clock.
//
// The model (what the setters set and the getters read) changes at once. A change asks for
// an action first (the delegate's actionForLayer, then the layer's `actions`, then the
// class's default, an implicit animation of the open transaction's duration for a layer that
// is attached to a tree and has no delegate to decide) unless the transaction disables
// actions; setting a property to the value it has does nothing.
//
// Layers belong to the main thread, as the views that carry them.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/quartzcore/CAAnimation.h"
#include "platform/quartzcore/CALayerProperties.h"

class CALayer;

namespace zvt::ca {
class AnimationClock;
// What changes the picture without a property of the model (sublayers, animations).
void announceStructure(CALayer& layer);
// Starts a change epoch: changes of layers made from now on carry it (see treeChangeEpoch).
uint64_t beginChangeEpoch();
}

// CALayerDelegate: a view is its layer's delegate.
class CALayerDelegate {
 public:
  virtual ~CALayerDelegate() = default;
  // displayLayer: — true when the delegate made the contents itself (the layer then draws nothing).
  virtual bool displayLayer(CALayer& /*layer*/) { return false; }
  // drawLayer:inContext: — a delegate that overrides this gets a backing store drawn through it.
  virtual void drawLayerInContext(CALayer& /*layer*/, const CGContextRef& /*context*/) {}
  // layoutSublayersOfLayer:
  virtual void layoutSublayersOfLayer(CALayer& /*layer*/) {}
  // actionForLayer:forKey: — nil lets the search go on; CANullAction() ends it without action.
  virtual std::shared_ptr<CAAction> actionForLayer(CALayer& /*layer*/, const std::shared_ptr<NSString>& /*key*/) {
    return nullptr;
  }
};

class CALayer : public NSObject {
 public:
  CALayer();
  ~CALayer() override;
  static std::shared_ptr<CALayer> layer() { return std::make_shared<CALayer>(); }

  // --- geometry
  CGRect bounds() const { return model_.bounds; }
  void setBounds(CGRect bounds);
  CGPoint position() const { return model_.position; }
  void setPosition(CGPoint position);
  CGFloat zPosition() const { return model_.zPosition; }
  void setZPosition(CGFloat z);
  CGPoint anchorPoint() const { return model_.anchorPoint; }
  void setAnchorPoint(CGPoint anchor);
  const CATransform3D& transform() const { return model_.transform; }
  void setTransform(const CATransform3D& transform);
  CGAffineTransform affineTransform() const { return CATransform3DGetAffineTransform(model_.transform); }
  void setAffineTransform(CGAffineTransform transform) { setTransform(CATransform3DMakeAffineTransform(transform)); }
  const CATransform3D& sublayerTransform() const { return model_.sublayerTransform; }
  void setSublayerTransform(const CATransform3D& transform);
  // The bounds placed by position and anchor point and transformed, in the superlayer.
  CGRect frame() const { return model_.frame(); }
  // Sets the bounds' size and the position (for the anchor point) from the rectangle; with a
  // transform that is not the identity only the position follows.
  void setFrame(CGRect frame);

  // --- look
  bool isHidden() const { return model_.hidden; }
  void setHidden(bool hidden);
  CGFloat opacity() const { return model_.opacity; }
  void setOpacity(CGFloat opacity);
  const CGColorRef& backgroundColor() const { return model_.backgroundColor; }
  void setBackgroundColor(const CGColorRef& color);
  CGFloat borderWidth() const { return model_.borderWidth; }
  void setBorderWidth(CGFloat width);
  const CGColorRef& borderColor() const { return model_.borderColor; }
  void setBorderColor(const CGColorRef& color);
  CGFloat cornerRadius() const { return model_.cornerRadius; }
  void setCornerRadius(CGFloat radius);
  bool masksToBounds() const { return model_.masksToBounds; }
  void setMasksToBounds(bool masks);
  const CGColorRef& shadowColor() const { return model_.shadowColor; }
  void setShadowColor(const CGColorRef& color);
  CGSize shadowOffset() const { return model_.shadowOffset; }
  void setShadowOffset(CGSize offset);
  CGFloat shadowRadius() const { return model_.shadowRadius; }
  void setShadowRadius(CGFloat radius);
  CGFloat shadowOpacity() const { return model_.shadowOpacity; }
  void setShadowOpacity(CGFloat opacity);
  const CGPathRef& shadowPath() const { return model_.shadowPath; }
  void setShadowPath(const CGPathRef& path);
  const CGImageRef& contents() const { return model_.contents; }
  void setContents(const CGImageRef& contents);
  CGFloat contentsScale() const { return model_.contentsScale; }
  void setContentsScale(CGFloat scale);
  const std::shared_ptr<NSString>& contentsGravity() const { return model_.contentsGravity; }
  void setContentsGravity(const std::shared_ptr<NSString>& gravity);
  CGRect contentsRect() const { return model_.contentsRect; }
  void setContentsRect(CGRect rect);
  CGRect contentsCenter() const { return model_.contentsCenter; }
  void setContentsCenter(CGRect rect);
  // The layer promises to fill its bounds with opaque content (a backing store without alpha).
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque);
  bool needsDisplayOnBoundsChange() const { return needsDisplayOnBoundsChange_; }
  void setNeedsDisplayOnBoundsChange(bool needs) { needsDisplayOnBoundsChange_ = needs; }
  const std::shared_ptr<NSString>& name() const { return name_; }
  void setName(const std::shared_ptr<NSString>& name) { name_ = name; }

  // All model values at once (the renderer's view of the model).
  const zvt::ca::LayerProperties& properties() const { return model_; }

  // Key-value coding of the properties above by their names ("opacity", "position"...) and
  // key paths into them ("position.x", "transform.rotation.z"); other keys go to NSObject.
  id valueForKey(const std::shared_ptr<NSString>& key) const override;
  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;

  // --- the tree
  std::shared_ptr<CALayer> superlayer() const { return superlayer_.lock(); }
  // Back to front.
  const std::vector<std::shared_ptr<CALayer>>& sublayers() const { return sublayers_; }
  void setSublayers(const std::vector<std::shared_ptr<CALayer>>& sublayers);
  void addSublayer(const std::shared_ptr<CALayer>& layer);
  // An index beyond the end appends.
  void insertSublayer(const std::shared_ptr<CALayer>& layer, size_t index);
  void insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling);
  void insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling);
  void replaceSublayer(const std::shared_ptr<CALayer>& oldLayer, const std::shared_ptr<CALayer>& newLayer);
  void removeFromSuperlayer();
  // Held weakly.
  std::shared_ptr<CALayerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<CALayerDelegate>& delegate) { delegate_ = delegate; }

  // --- display: a layer marked as needing display makes its contents in the next display
  // pass (displayIfNeeded): the delegate's displayLayer, else a backing store of the bounds
  // at contentsScale drawn through drawInContext when the class or its delegate draws.
  void setNeedsDisplay();
  void setNeedsDisplayInRect(CGRect /*rect*/) { setNeedsDisplay(); }
  bool needsDisplay() const { return needsDisplay_; }
  void displayIfNeeded();
  virtual void display();
  virtual void drawInContext(const CGContextRef& context);

  // --- layout: a layer marked as needing layout runs layoutSublayers in the next layout pass.
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  // Lays out, from the topmost ancestor that needs it, every layer of the tree that needs it
  // down to this layer's descendants, parents before children.
  void layoutIfNeeded();
  virtual void layoutSublayers();

  // --- the passes the display cycle runs over a tree (parents before children; only the
  // branches that hold a layer that needs it are visited).
  void layoutTreeIfNeeded();
  void displayTreeIfNeeded();
  bool treeNeedsLayout() const { return needsLayout_ || descendantNeedsLayout_; }
  bool treeNeedsDisplay() const { return needsDisplay_ || descendantNeedsDisplay_; }

  // --- animations
  // Adds a copy of the animation (a begin time of 0 becomes now); an animation already under
  // the key is removed first (its delegate hears of it with finished NO on the next turn).
  // A nil key gets a key of its own.
  void addAnimation(const std::shared_ptr<CAAnimation>& animation, const std::shared_ptr<NSString>& key);
  std::shared_ptr<CAAnimation> animationForKey(const std::shared_ptr<NSString>& key) const;
  void removeAnimationForKey(const std::shared_ptr<NSString>& key);
  void removeAllAnimations();
  std::vector<std::shared_ptr<NSString>> animationKeys() const;
  bool hasAnimations() const { return !animations_.empty(); }

  // The model with the animations applied at `time` (CACurrentMediaTime by default).
  zvt::ca::LayerProperties presentationProperties() const;
  zvt::ca::LayerProperties presentationPropertiesAt(CFTimeInterval time) const;
  // A copy of this layer showing the presentation values now (without sublayers or
  // animations; its modelLayer is this layer).
  std::shared_ptr<CALayer> presentationLayer() const;
  std::shared_ptr<CALayer> modelLayer() const;

  // --- actions
  std::shared_ptr<CAAction> actionForKey(const std::shared_ptr<NSString>& key);
  const std::map<std::string, std::shared_ptr<CAAction>>& actions() const { return actions_; }
  void setActions(std::map<std::string, std::shared_ptr<CAAction>> actions) { actions_ = std::move(actions); }
  // +defaultActionForKey: an implicit basic animation for the animatable keys.
  static std::shared_ptr<CAAction> defaultActionForKey(const std::shared_ptr<NSString>& key);

  // --- coordinates (layers of one tree; nil means the root of this layer's tree)
  CGPoint convertPointToLayer(CGPoint point, const std::shared_ptr<CALayer>& layer) const;
  CGPoint convertPointFromLayer(CGPoint point, const std::shared_ptr<CALayer>& layer) const;
  CGRect convertRectToLayer(CGRect rect, const std::shared_ptr<CALayer>& layer) const;
  CGRect convertRectFromLayer(CGRect rect, const std::shared_ptr<CALayer>& layer) const;
  // A point in the layer's own coordinates inside its bounds.
  virtual bool containsPoint(CGPoint point) const;
  // The map from this layer's coordinates to its root's (the root's own bounds space).
  CGAffineTransform transformToRoot() const;

  std::shared_ptr<NSString> description() const override;

  // Observes every model change of every layer (the renderer's damage tracking); one at a time.
  static void setChangeObserver(std::function<void(CALayer& layer, zvt::ca::LayerKey key)> observer);

  // For renderers that keep what they drew: a number no other layer of this run has; the
  // change epoch (zvt::ca::beginChangeEpoch) of the latest change of the layer's model, its
  // list of sublayers, their order or its animations; and the latest of those of any layer of
  // its tree. A tree whose epoch is older than the frame a renderer drew it in is drawn as it
  // was then; a layer whose own epoch is older has only its sublayers to look at.
  uint64_t identity() const { return identity_; }
  uint64_t changeEpoch() const { return changeEpoch_; }
  uint64_t treeChangeEpoch() const { return treeChangeEpoch_; }

 protected:
  // The model changed (after the change, before its action runs).
  virtual void didChangeProperty(zvt::ca::LayerKey /*key*/) {}

 private:
  friend class CAAnimation;
  friend class zvt::ca::AnimationClock;
  struct AnimationEntry {
    std::shared_ptr<NSString> key;
    std::shared_ptr<CAAnimation> animation;
  };
  template <class Mutate>
  void change(zvt::ca::LayerKey key, bool equal, Mutate mutate);
  void attach(const std::shared_ptr<CALayer>& layer, size_t index);
  void detachFromSuperlayer();
  void markAncestors(bool layout);
  // Stamps the layer (and its tree's epoch in its ancestors) with the current change epoch.
  void markChanged();
  friend void zvt::ca::announceStructure(CALayer& layer);
  void layoutTree();
  void displayTree();
  std::shared_ptr<CALayer> me() const;
  // Removes the entry at `index`; its delegate hears finished NO on the next turn.
  void dropAnimation(size_t index, bool tellDelegate);
  bool animationHeld(const CAAnimation* animation) const;
  // Takes the animation off the layer without telling anyone (it ended).
  void releaseAnimation(const CAAnimation* animation);

  zvt::ca::LayerProperties model_;
  bool opaque_ = false;
  bool needsDisplayOnBoundsChange_ = false;
  bool needsDisplay_ = false;
  bool needsLayout_ = false;
  bool descendantNeedsDisplay_ = false;
  bool descendantNeedsLayout_ = false;
  std::shared_ptr<NSString> name_;
  std::weak_ptr<CALayer> superlayer_;
  std::vector<std::shared_ptr<CALayer>> sublayers_;
  std::weak_ptr<CALayerDelegate> delegate_;
  std::vector<AnimationEntry> animations_;
  std::map<std::string, std::shared_ptr<CAAction>> actions_;
  std::weak_ptr<const CALayer> model_layer_;  // set on presentation copies
  uint64_t nextAnimationKey_ = 0;
  uint64_t identity_;
  uint64_t changeEpoch_ = 0;
  uint64_t treeChangeEpoch_ = 0;
};

// Transactions group property changes: their animation duration, timing function, whether
// actions run, and a block run once every animation added inside has ended (at once on
// commit when none was added). Nested transactions start with their parent's values.
class CATransaction {
 public:
  static void begin();
  static void commit();
  // Nothing to send to a render server here; kept for callers.
  static void flush() {}
  static CFTimeInterval animationDuration();
  static void setAnimationDuration(CFTimeInterval duration);
  static std::shared_ptr<CAMediaTimingFunction> animationTimingFunction();
  static void setAnimationTimingFunction(const std::shared_ptr<CAMediaTimingFunction>& function);
  static bool disableActions();
  static void setDisableActions(bool disable);
  static std::function<void()> completionBlock();
  static void setCompletionBlock(std::function<void()> block);
};

namespace zvt::ca {

// The number of animations on layers whose end has not come (the renderer keeps drawing
// frames while there are some).
size_t runningAnimationCount();

// Slow animations (a switch of the desktop window, as a simulator has): every animation added
// from now on runs `factor` times slower; 1 is normal speed, values below 1 count as 1.
void setAnimationSlowdown(double factor);
double animationSlowdown();

}  // namespace zvt::ca
