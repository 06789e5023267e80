#include "platform/quartzcore/CALayer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/graphics/UIImage.h"
#include "platform/quartzcore/internal/Overrides.h"

using zvt::ca::AnimValue;
using zvt::ca::LayerKey;

namespace zvt::ca {

// What an open transaction needs to know about the animations added inside it.
struct TransactionTracker {
  size_t pending = 0;
  bool committed = false;
  std::function<void()> completion;

  void animationEnded() {
    if (pending > 0) --pending;
    runIfDone();
  }
  void runIfDone() {
    if (!committed || pending > 0 || !completion) return;
    auto block = std::move(completion);
    completion = nullptr;
    block();
  }
};

namespace {

struct TransactionState {
  CFTimeInterval duration = 0.25;
  std::shared_ptr<CAMediaTimingFunction> timingFunction;
  bool disableActions = false;
  std::shared_ptr<TransactionTracker> tracker;
};

thread_local std::vector<TransactionState> transactions;

const TransactionState& currentTransaction() {
  static const TransactionState implicit;
  return transactions.empty() ? implicit : transactions.back();
}

}  // namespace

// Starts and ends of the animations on layers, fired from one timer of the main run loop.
class AnimationClock {
 public:
  // Tells an animation's delegate and its transactions that it stopped.
  static void notifyStopped(const std::shared_ptr<CAAnimation>& animation, bool finished) {
    if (auto delegate = animation->delegate()) delegate->animationDidStop(animation, finished);
    auto trackers = std::move(animation->trackers_);
    animation->trackers_.clear();
    for (auto& tracker : trackers) tracker->animationEnded();
  }

  enum class Kind { kStart, kEnd };

  static AnimationClock& shared() {
    static auto* clock = new AnimationClock();
    return *clock;
  }

  void schedule(Kind kind, int64_t due, const std::shared_ptr<CALayer>& layer,
                const std::shared_ptr<CAAnimation>& animation) {
    entries_.push_back(Entry{due, seq_++, kind, layer, animation});
    if (kind == Kind::kEnd) ++running_;
    arm();
  }

  // The animation left its layer before its end: its entries go.
  void forget(const CAAnimation* animation) {
    auto it = std::remove_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
      if (e.animation.get() != animation) return false;
      if (e.kind == Kind::kEnd) --running_;
      return true;
    });
    entries_.erase(it, entries_.end());
  }

  // The delegate hears of the removal on the next turn of the main run loop.
  static void stopLater(std::shared_ptr<CAAnimation> animation) {
    dispatch_async(dispatch_get_main_queue(), [animation = std::move(animation)] { notifyStopped(animation, false); });
  }

  size_t running() const { return running_; }

 private:
  struct Entry {
    int64_t due;
    uint64_t seq;
    Kind kind;
    std::weak_ptr<CALayer> layer;
    std::shared_ptr<CAAnimation> animation;
  };
  // Deadlines come back from seconds through the timer; a microsecond covers the rounding.
  static constexpr int64_t kSlackNanos = 1000;

  void arm() {
    int64_t earliest = zvt::kNoDeadline;
    for (const auto& e : entries_) earliest = std::min(earliest, e.due);
    if (earliest == zvt::kNoDeadline) {
      if (timer_) timer_->invalidate();
      timer_ = nullptr;
      armedAt_ = zvt::kNoDeadline;
      return;
    }
    if (earliest == armedAt_ && (timer_ || firePending_)) return;
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    armedAt_ = earliest;
    int64_t wait = earliest - Clock::nowNanos();
    if (wait <= kSlackNanos) {
      // Due already: on the next turn, not after the run loop's shortest timer interval.
      if (firePending_) return;
      firePending_ = true;
      dispatch_async(dispatch_get_main_queue(), [this] {
        firePending_ = false;
        fire();
      });
      return;
    }
    timer_ = NSTimer::timerWithTimeInterval(static_cast<double>(wait) / 1e9, false,
                                            [this](const std::shared_ptr<NSTimer>&) {
                                              timer_ = nullptr;
                                              fire();
                                            });
    NSRunLoop::mainRunLoop()->addTimer(timer_, NSRunLoopCommonModes);
  }

  void fire() {
    armedAt_ = zvt::kNoDeadline;
    for (;;) {
      int64_t now = Clock::nowNanos();
      std::vector<Entry> due;
      auto it = std::stable_partition(entries_.begin(), entries_.end(),
                                      [&](const Entry& e) { return e.due > now + kSlackNanos; });
      due.assign(std::make_move_iterator(it), std::make_move_iterator(entries_.end()));
      entries_.erase(it, entries_.end());
      if (due.empty()) break;
      std::sort(due.begin(), due.end(),
                [](const Entry& a, const Entry& b) { return a.due != b.due ? a.due < b.due : a.seq < b.seq; });
      for (auto& e : due) {
        if (e.kind == Kind::kEnd) --running_;
        auto layer = e.layer.lock();
        if (e.kind == Kind::kStart) {
          if (layer && layer->animationHeld(e.animation.get()))
            if (auto delegate = e.animation->delegate()) delegate->animationDidStart(e.animation);
          continue;
        }
        if (!layer || !layer->animationHeld(e.animation.get())) continue;  // told when it went
        if (e.animation->isRemovedOnCompletion()) layer->releaseAnimation(e.animation.get());
        notifyStopped(e.animation, true);
      }
    }
    arm();
  }

  std::vector<Entry> entries_;
  uint64_t seq_ = 0;
  size_t running_ = 0;
  std::shared_ptr<NSTimer> timer_;
  int64_t armedAt_ = zvt::kNoDeadline;
  bool firePending_ = false;
};

namespace {

std::function<void(CALayer&, LayerKey)>& changeObserver() {
  static auto* observer = new std::function<void(CALayer&, LayerKey)>();
  return *observer;
}

uint64_t changeEpoch = 1;
uint64_t lastIdentity = 0;

}  // namespace

uint64_t beginChangeEpoch() { return ++changeEpoch; }

// What changes the picture without a property of the model: sublayers coming and going,
// animations added and ended. The observer hears those as LayerKey::kCount (no one property).
void announceStructure(CALayer& layer) {
  layer.markChanged();
  if (auto& observer = changeObserver()) observer(layer, LayerKey::kCount);
}

namespace {

int64_t toNanos(CFTimeInterval seconds) {
  if (std::isinf(seconds)) return seconds > 0 ? zvt::kNoDeadline : INT64_MIN;
  return static_cast<int64_t>(std::llround(seconds * 1e9));
}

bool colorsEqual(const CGColorRef& a, const CGColorRef& b) { return a == b || (a && b && CGColorEqualToColor(a, b)); }

// The implicit animation of a layer that no delegate speaks for.
class ImplicitAction final : public CAAction {
 public:
  void runActionForKey(const std::shared_ptr<NSString>& key, CALayer& layer, const id& previousValue) override {
    auto animation = CABasicAnimation::animationWithKeyPath(key);
    animation->setFromValue(previousValue);
    animation->setDuration(CATransaction::animationDuration());
    auto function = CATransaction::animationTimingFunction();
    animation->setTimingFunction(function ? function
                                          : CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionDefault));
    layer.addAnimation(animation, key);
  }
};

const CALayer& prototypeLayer() {
  static const auto* layer = new CALayer();
  return *layer;
}

const CALayerDelegate& prototypeDelegate() {
  static const auto* delegate = new CALayerDelegate();
  return *delegate;
}

}  // namespace

size_t runningAnimationCount() { return AnimationClock::shared().running(); }

}  // namespace zvt::ca

using zvt::ca::AnimationClock;

// --- construction -----------------------------------------------------------------------------

CALayer::CALayer() : identity_(++zvt::ca::lastIdentity) {
  model_.borderColor = CGColorCreateGenericGray(0, 1);
  model_.shadowColor = model_.borderColor;
  model_.contentsGravity = kCAGravityResize;
}

CALayer::~CALayer() {
  for (auto& entry : animations_) {
    AnimationClock::shared().forget(entry.animation.get());
    AnimationClock::stopLater(std::move(entry.animation));
  }
  for (auto& sublayer : sublayers_) sublayer->superlayer_.reset();
}

std::shared_ptr<CALayer> CALayer::me() const {
  return std::const_pointer_cast<CALayer>(std::static_pointer_cast<const CALayer>(shared_from_this()));
}

void CALayer::markChanged() {
  // A layer's tree epoch is never older than its sublayers': the walk up ends at the first
  // layer already stamped with this epoch, whose ancestors carry it too.
  const uint64_t epoch = zvt::ca::changeEpoch;
  changeEpoch_ = epoch;
  for (CALayer* layer = this; layer && layer->treeChangeEpoch_ != epoch; layer = layer->superlayer_.lock().get())
    layer->treeChangeEpoch_ = epoch;
}

void CALayer::setChangeObserver(std::function<void(CALayer&, LayerKey)> observer) {
  zvt::ca::changeObserver() = std::move(observer);
}

// --- property changes -------------------------------------------------------------------------

template <class Mutate>
void CALayer::change(LayerKey key, bool equal, Mutate mutate) {
  if (equal) return;
  std::shared_ptr<CAAction> action;
  id previous;
  const auto& keyString = zvt::ca::layerKeyString(key);
  if (!CATransaction::disableActions()) {
    action = actionForKey(keyString);
    if (action == CANullAction()) action = nullptr;
    if (action) previous = zvt::ca::box(zvt::ca::getValue(model_, {key}));
  }
  CGSize oldSize = model_.bounds.size;
  mutate();
  if (key == LayerKey::kBounds) {
    if (model_.bounds.size != oldSize) {
      setNeedsLayout();
      if (needsDisplayOnBoundsChange_) setNeedsDisplay();
    } else {
      setNeedsLayout();  // a moved origin shows other content (scrolling)
    }
  }
  didChangeProperty(key);
  markChanged();
  // The order of the superlayer's sublayers follows their zPosition.
  if (key == LayerKey::kZPosition)
    if (auto parent = superlayer_.lock()) parent->markChanged();
  if (auto& observer = zvt::ca::changeObserver()) observer(*this, key);
  if (action) action->runActionForKey(keyString, *this, previous);
}

void CALayer::setBounds(CGRect b) { change(LayerKey::kBounds, b == model_.bounds, [&] { model_.bounds = b; }); }
void CALayer::setPosition(CGPoint p) { change(LayerKey::kPosition, p == model_.position, [&] { model_.position = p; }); }
void CALayer::setZPosition(CGFloat z) { change(LayerKey::kZPosition, z == model_.zPosition, [&] { model_.zPosition = z; }); }
void CALayer::setAnchorPoint(CGPoint a) {
  change(LayerKey::kAnchorPoint, a == model_.anchorPoint, [&] { model_.anchorPoint = a; });
}
void CALayer::setTransform(const CATransform3D& t) {
  change(LayerKey::kTransform, t == model_.transform, [&] { model_.transform = t; });
}
void CALayer::setSublayerTransform(const CATransform3D& t) {
  change(LayerKey::kSublayerTransform, t == model_.sublayerTransform, [&] { model_.sublayerTransform = t; });
}
void CALayer::setHidden(bool h) { change(LayerKey::kHidden, h == model_.hidden, [&] { model_.hidden = h; }); }
void CALayer::setOpacity(CGFloat o) { change(LayerKey::kOpacity, o == model_.opacity, [&] { model_.opacity = o; }); }
void CALayer::setBackgroundColor(const CGColorRef& c) {
  change(LayerKey::kBackgroundColor, zvt::ca::colorsEqual(c, model_.backgroundColor), [&] { model_.backgroundColor = c; });
}
void CALayer::setBorderWidth(CGFloat w) { change(LayerKey::kBorderWidth, w == model_.borderWidth, [&] { model_.borderWidth = w; }); }
void CALayer::setBorderColor(const CGColorRef& c) {
  change(LayerKey::kBorderColor, zvt::ca::colorsEqual(c, model_.borderColor), [&] { model_.borderColor = c; });
}
void CALayer::setCornerRadius(CGFloat r) {
  change(LayerKey::kCornerRadius, r == model_.cornerRadius, [&] { model_.cornerRadius = r; });
}
void CALayer::setMasksToBounds(bool m) {
  change(LayerKey::kMasksToBounds, m == model_.masksToBounds, [&] { model_.masksToBounds = m; });
}
void CALayer::setShadowColor(const CGColorRef& c) {
  change(LayerKey::kShadowColor, zvt::ca::colorsEqual(c, model_.shadowColor), [&] { model_.shadowColor = c; });
}
void CALayer::setShadowOffset(CGSize o) {
  change(LayerKey::kShadowOffset, o == model_.shadowOffset, [&] { model_.shadowOffset = o; });
}
void CALayer::setShadowRadius(CGFloat r) {
  change(LayerKey::kShadowRadius, r == model_.shadowRadius, [&] { model_.shadowRadius = r; });
}
void CALayer::setShadowOpacity(CGFloat o) {
  change(LayerKey::kShadowOpacity, o == model_.shadowOpacity, [&] { model_.shadowOpacity = o; });
}
void CALayer::setShadowPath(const CGPathRef& p) {
  change(LayerKey::kShadowPath, p == model_.shadowPath, [&] { model_.shadowPath = p; });
}
void CALayer::setContents(const CGImageRef& c) { change(LayerKey::kContents, c == model_.contents, [&] { model_.contents = c; }); }
void CALayer::setContentsScale(CGFloat s) {
  change(LayerKey::kContentsScale, s == model_.contentsScale, [&] { model_.contentsScale = s; });
}
void CALayer::setContentsGravity(const std::shared_ptr<NSString>& g) {
  change(LayerKey::kContentsGravity, zvt::objectsEqual(g, model_.contentsGravity), [&] { model_.contentsGravity = g; });
}
void CALayer::setContentsRect(CGRect r) {
  change(LayerKey::kContentsRect, r == model_.contentsRect, [&] { model_.contentsRect = r; });
}
void CALayer::setContentsCenter(CGRect r) {
  change(LayerKey::kContentsCenter, r == model_.contentsCenter, [&] { model_.contentsCenter = r; });
}

void CALayer::setOpaque(bool opaque) {
  if (opaque == opaque_) return;
  opaque_ = opaque;
  setNeedsDisplay();
}

void CALayer::setFrame(CGRect frame) {
  frame = CGRectStandardize(frame);
  if (CATransform3DIsIdentity(model_.transform)) {
    setBounds(CGRect{model_.bounds.origin, frame.size});
    setPosition(CGPointMake(frame.origin.x + model_.anchorPoint.x * frame.size.width,
                            frame.origin.y + model_.anchorPoint.y * frame.size.height));
    return;
  }
  // With a transform the rectangle only places the layer: the anchor point goes where it
  // sits in the current frame, scaled to the new one.
  CGRect current = frame.size == CGSizeZero ? frame : model_.frame();
  CGFloat fx = current.size.width > 0 ? (model_.position.x - current.origin.x) / current.size.width : 0.5;
  CGFloat fy = current.size.height > 0 ? (model_.position.y - current.origin.y) / current.size.height : 0.5;
  setPosition(CGPointMake(frame.origin.x + fx * frame.size.width, frame.origin.y + fy * frame.size.height));
}

id CALayer::valueForKey(const std::shared_ptr<NSString>& key) const {
  auto path = key ? zvt::ca::parseKeyPath(key->utf8()) : zvt::ca::KeyPath{};
  if (!path.valid()) return NSObject::valueForKey(key);
  if (path.key == LayerKey::kHidden || path.key == LayerKey::kMasksToBounds)
    return NSNumber::numberWithBool(path.key == LayerKey::kHidden ? model_.hidden : model_.masksToBounds);
  return zvt::ca::box(zvt::ca::getValue(model_, path));
}

void CALayer::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  auto path = key ? zvt::ca::parseKeyPath(key->utf8()) : zvt::ca::KeyPath{};
  if (!path.valid()) {
    NSObject::setValueForKey(value, key);
    return;
  }
  zvt::ca::LayerProperties next = model_;
  zvt::ca::setValue(next, path, zvt::ca::unbox(value));
  // Through the typed setter of the whole property, so that actions and side effects run.
  switch (path.key) {
    case LayerKey::kBounds: setBounds(next.bounds); break;
    case LayerKey::kPosition: setPosition(next.position); break;
    case LayerKey::kZPosition: setZPosition(next.zPosition); break;
    case LayerKey::kAnchorPoint: setAnchorPoint(next.anchorPoint); break;
    case LayerKey::kTransform: setTransform(next.transform); break;
    case LayerKey::kSublayerTransform: setSublayerTransform(next.sublayerTransform); break;
    case LayerKey::kHidden: setHidden(next.hidden); break;
    case LayerKey::kOpacity: setOpacity(next.opacity); break;
    case LayerKey::kBackgroundColor: setBackgroundColor(next.backgroundColor); break;
    case LayerKey::kBorderWidth: setBorderWidth(next.borderWidth); break;
    case LayerKey::kBorderColor: setBorderColor(next.borderColor); break;
    case LayerKey::kCornerRadius: setCornerRadius(next.cornerRadius); break;
    case LayerKey::kMasksToBounds: setMasksToBounds(next.masksToBounds); break;
    case LayerKey::kShadowColor: setShadowColor(next.shadowColor); break;
    case LayerKey::kShadowOffset: setShadowOffset(next.shadowOffset); break;
    case LayerKey::kShadowRadius: setShadowRadius(next.shadowRadius); break;
    case LayerKey::kShadowOpacity: setShadowOpacity(next.shadowOpacity); break;
    case LayerKey::kShadowPath: setShadowPath(next.shadowPath); break;
    case LayerKey::kContents: setContents(next.contents); break;
    case LayerKey::kContentsScale: setContentsScale(next.contentsScale); break;
    case LayerKey::kContentsGravity: setContentsGravity(next.contentsGravity); break;
    case LayerKey::kContentsRect: setContentsRect(next.contentsRect); break;
    case LayerKey::kContentsCenter: setContentsCenter(next.contentsCenter); break;
    case LayerKey::kCount: break;
  }
}

// --- the tree ---------------------------------------------------------------------------------

void CALayer::detachFromSuperlayer() {
  auto parent = superlayer_.lock();
  if (!parent) return;
  auto& siblings = parent->sublayers_;
  auto it = std::find_if(siblings.begin(), siblings.end(), [this](const auto& l) { return l.get() == this; });
  superlayer_.reset();
  zvt::ca::announceStructure(*parent);
  if (it != siblings.end()) siblings.erase(it);  // may release this layer: nothing after
}

void CALayer::attach(const std::shared_ptr<CALayer>& layer, size_t index) {
  if (!layer || layer.get() == this) return;
  auto keep = layer;
  keep->detachFromSuperlayer();
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), keep);
  keep->superlayer_ = me();
  if (keep->treeNeedsLayout()) keep->markAncestors(true);
  if (keep->treeNeedsDisplay()) keep->markAncestors(false);
  zvt::ca::announceStructure(*this);
}

void CALayer::addSublayer(const std::shared_ptr<CALayer>& layer) { attach(layer, sublayers_.size()); }

void CALayer::insertSublayer(const std::shared_ptr<CALayer>& layer, size_t index) { attach(layer, index); }

void CALayer::insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling) {
  if (!layer) return;
  if (layer == sibling) return;
  auto keep = layer;
  keep->detachFromSuperlayer();
  auto it = std::find(sublayers_.begin(), sublayers_.end(), sibling);
  attach(keep, it == sublayers_.end() ? 0 : static_cast<size_t>(it - sublayers_.begin()));
}

void CALayer::insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling) {
  if (!layer) return;
  if (layer == sibling) return;
  auto keep = layer;
  keep->detachFromSuperlayer();
  auto it = std::find(sublayers_.begin(), sublayers_.end(), sibling);
  attach(keep, it == sublayers_.end() ? sublayers_.size() : static_cast<size_t>(it - sublayers_.begin()) + 1);
}

void CALayer::replaceSublayer(const std::shared_ptr<CALayer>& oldLayer, const std::shared_ptr<CALayer>& newLayer) {
  auto it = std::find(sublayers_.begin(), sublayers_.end(), oldLayer);
  if (it == sublayers_.end() || !newLayer) return;
  size_t index = static_cast<size_t>(it - sublayers_.begin());
  auto keep = oldLayer;
  keep->detachFromSuperlayer();
  attach(newLayer, index);
}

void CALayer::setSublayers(const std::vector<std::shared_ptr<CALayer>>& sublayers) {
  auto old = sublayers_;
  for (auto& l : old) l->detachFromSuperlayer();
  for (auto& l : sublayers) addSublayer(l);
}

void CALayer::removeFromSuperlayer() {
  auto keep = me();
  detachFromSuperlayer();
}

// --- layout and display -----------------------------------------------------------------------

void CALayer::markAncestors(bool layout) {
  for (auto p = superlayer_.lock(); p; p = p->superlayer_.lock()) {
    bool& flag = layout ? p->descendantNeedsLayout_ : p->descendantNeedsDisplay_;
    if (flag) break;
    flag = true;
  }
}

void CALayer::setNeedsLayout() {
  if (needsLayout_) return;
  needsLayout_ = true;
  markAncestors(true);
}

void CALayer::setNeedsDisplay() {
  if (needsDisplay_) return;
  needsDisplay_ = true;
  markAncestors(false);
}

void CALayer::layoutSublayers() {
  if (auto d = delegate()) d->layoutSublayersOfLayer(*this);
}

void CALayer::layoutTree() {
  auto keep = me();
  if (needsLayout_) {
    needsLayout_ = false;
    layoutSublayers();
  }
  if (descendantNeedsLayout_) {
    descendantNeedsLayout_ = false;
    auto children = sublayers_;
    for (auto& child : children)
      if (child->treeNeedsLayout()) child->layoutTree();
  }
}

void CALayer::layoutTreeIfNeeded() {
  if (treeNeedsLayout()) layoutTree();
}

void CALayer::layoutIfNeeded() {
  std::shared_ptr<CALayer> top = me();
  for (auto p = superlayer_.lock(); p; p = p->superlayer_.lock())
    if (p->needsLayout_) top = p;
  top->layoutTreeIfNeeded();
  if (treeNeedsLayout()) layoutTree();
}

void CALayer::displayIfNeeded() {
  if (!needsDisplay_) return;
  needsDisplay_ = false;
  display();
}

void CALayer::displayTree() {
  auto keep = me();
  displayIfNeeded();
  if (descendantNeedsDisplay_) {
    descendantNeedsDisplay_ = false;
    auto children = sublayers_;
    for (auto& child : children)
      if (child->treeNeedsDisplay()) child->displayTree();
  }
}

void CALayer::displayTreeIfNeeded() {
  if (treeNeedsDisplay()) displayTree();
}

void CALayer::display() {
  auto d = delegate();
  if (d && d->displayLayer(*this)) return;
  bool draws = zvt::overridesVirtual<CALayer>(*this, zvt::ca::prototypeLayer(), &CALayer::drawInContext) ||
               (d && zvt::overridesVirtual<CALayerDelegate>(*d, zvt::ca::prototypeDelegate(),
                                                            &CALayerDelegate::drawLayerInContext));
  if (!draws) return;
  CGImageRef image;
  if (model_.bounds.size.width > 0 && model_.bounds.size.height > 0) {
    UIGraphicsBeginImageContextWithOptions(model_.bounds.size, opaque_, model_.contentsScale);
    auto context = UIGraphicsGetCurrentContext();
    CGContextTranslateCTM(context, -model_.bounds.origin.x, -model_.bounds.origin.y);
    drawInContext(context);
    auto drawn = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    if (drawn) image = drawn->CGImage();
  }
  // A new backing store replaces the old one at once.
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  setContents(image);
  CATransaction::commit();
}

void CALayer::drawInContext(const CGContextRef& context) {
  if (auto d = delegate()) d->drawLayerInContext(*this, context);
}

// --- animations -------------------------------------------------------------------------------

namespace zvt::ca {
namespace {
double slowdown = 1;
}  // namespace
void setAnimationSlowdown(double factor) { slowdown = factor > 1 ? factor : 1; }
double animationSlowdown() { return slowdown; }
}  // namespace zvt::ca

void CALayer::addAnimation(const std::shared_ptr<CAAnimation>& animation, const std::shared_ptr<NSString>& key) {
  if (!animation) return;
  auto copy = animation->copyAnimation();
  copy->trackers_.clear();
  if (zvt::ca::slowdown != 1) copy->setSpeed(copy->speed() / zvt::ca::slowdown);
  CFTimeInterval now = CACurrentMediaTime();
  if (copy->beginTime() == 0) copy->setBeginTime(now);
  auto name = key ? key : NSString::fromValidUTF8("animation-" + std::to_string(++nextAnimationKey_));
  for (size_t i = 0; i < animations_.size(); ++i) {
    if (animations_[i].key->isEqualToString(name)) {
      dropAnimation(i, true);
      break;
    }
  }
  for (auto& state : zvt::ca::transactions) {
    if (!state.tracker) state.tracker = std::make_shared<zvt::ca::TransactionTracker>();
    ++state.tracker->pending;
    copy->trackers_.push_back(state.tracker);
  }
  animations_.push_back(AnimationEntry{name, copy});
  zvt::ca::announceStructure(*this);
  auto self = me();
  int64_t begin = zvt::ca::toNanos(copy->beginTime());
  CFTimeInterval active = copy->activeDuration();
  auto& clock = AnimationClock::shared();
  if (copy->delegate()) clock.schedule(AnimationClock::Kind::kStart, std::max(begin, Clock::nowNanos()), self, copy);
  if (!std::isinf(active)) clock.schedule(AnimationClock::Kind::kEnd, begin + zvt::secondsToNanos(active), self, copy);
}

void CALayer::dropAnimation(size_t index, bool tellDelegate) {
  auto animation = std::move(animations_[index].animation);
  animations_.erase(animations_.begin() + static_cast<std::ptrdiff_t>(index));
  zvt::ca::announceStructure(*this);
  AnimationClock::shared().forget(animation.get());
  if (tellDelegate) AnimationClock::stopLater(std::move(animation));
}

bool CALayer::animationHeld(const CAAnimation* animation) const {
  return std::any_of(animations_.begin(), animations_.end(),
                     [&](const AnimationEntry& e) { return e.animation.get() == animation; });
}

void CALayer::releaseAnimation(const CAAnimation* animation) {
  for (size_t i = 0; i < animations_.size(); ++i)
    if (animations_[i].animation.get() == animation) {
      animations_.erase(animations_.begin() + static_cast<std::ptrdiff_t>(i));
      zvt::ca::announceStructure(*this);
      return;
    }
}

std::shared_ptr<CAAnimation> CALayer::animationForKey(const std::shared_ptr<NSString>& key) const {
  if (!key) return nullptr;
  for (const auto& e : animations_)
    if (e.key->isEqualToString(key)) return e.animation;
  return nullptr;
}

void CALayer::removeAnimationForKey(const std::shared_ptr<NSString>& key) {
  if (!key) return;
  for (size_t i = 0; i < animations_.size(); ++i)
    if (animations_[i].key->isEqualToString(key)) {
      dropAnimation(i, true);
      return;
    }
}

void CALayer::removeAllAnimations() {
  while (!animations_.empty()) dropAnimation(animations_.size() - 1, true);
}

std::vector<std::shared_ptr<NSString>> CALayer::animationKeys() const {
  std::vector<std::shared_ptr<NSString>> keys;
  for (const auto& e : animations_) keys.push_back(e.key);
  return keys;
}

zvt::ca::LayerProperties CALayer::presentationProperties() const { return presentationPropertiesAt(CACurrentMediaTime()); }

zvt::ca::LayerProperties CALayer::presentationPropertiesAt(CFTimeInterval time) const {
  zvt::ca::LayerProperties p = model_;
  for (const auto& e : animations_) {
    CFTimeInterval local = time - e.animation->beginTime();
    if (auto progress = e.animation->progressAt(local)) e.animation->apply(p, *progress, local);
  }
  return p;
}

std::shared_ptr<CALayer> CALayer::presentationLayer() const {
  auto copy = std::make_shared<CALayer>();
  copy->model_ = presentationProperties();
  copy->opaque_ = opaque_;
  copy->name_ = name_;
  copy->model_layer_ = std::static_pointer_cast<const CALayer>(shared_from_this());
  return copy;
}

std::shared_ptr<CALayer> CALayer::modelLayer() const {
  if (auto model = model_layer_.lock()) return std::const_pointer_cast<CALayer>(model);
  return me();
}

// --- actions ----------------------------------------------------------------------------------

std::shared_ptr<CAAction> CALayer::actionForKey(const std::shared_ptr<NSString>& key) {
  if (auto d = delegate())
    if (auto action = d->actionForLayer(*this, key)) return action;
  if (!actions_.empty() && key) {
    auto it = actions_.find(key->utf8());
    if (it != actions_.end()) return it->second;
  }
  // A layer that is not in a tree yet has nothing shown to animate from.
  if (superlayer_.expired()) return nullptr;
  return defaultActionForKey(key);
}

std::shared_ptr<CAAction> CALayer::defaultActionForKey(const std::shared_ptr<NSString>& key) {
  if (!key) return nullptr;
  auto path = zvt::ca::parseKeyPath(key->utf8());
  if (!path.valid()) return nullptr;
  switch (path.key) {
    case LayerKey::kShadowPath:
    case LayerKey::kContentsGravity:
    case LayerKey::kContentsScale:
      return nullptr;
    default:
      break;
  }
  static const auto* action = new std::shared_ptr<CAAction>(std::make_shared<zvt::ca::ImplicitAction>());
  return *action;
}

// --- coordinates ------------------------------------------------------------------------------

CGAffineTransform CALayer::transformToRoot() const {
  CGAffineTransform t = CGAffineTransformIdentity;
  const CALayer* layer = this;
  for (auto parent = superlayer_.lock(); parent; parent = parent->superlayer_.lock()) {
    t = CGAffineTransformConcat(t, layer->model_.transformToSuperlayer());
    layer = parent.get();
  }
  return t;
}

CGPoint CALayer::convertPointToLayer(CGPoint point, const std::shared_ptr<CALayer>& layer) const {
  CGPoint root = CGPointApplyAffineTransform(point, transformToRoot());
  if (!layer) return root;
  return CGPointApplyAffineTransform(root, CGAffineTransformInvert(layer->transformToRoot()));
}

CGPoint CALayer::convertPointFromLayer(CGPoint point, const std::shared_ptr<CALayer>& layer) const {
  CGPoint root = layer ? CGPointApplyAffineTransform(point, layer->transformToRoot()) : point;
  return CGPointApplyAffineTransform(root, CGAffineTransformInvert(transformToRoot()));
}

CGRect CALayer::convertRectToLayer(CGRect rect, const std::shared_ptr<CALayer>& layer) const {
  CGAffineTransform t = transformToRoot();
  if (layer) t = CGAffineTransformConcat(t, CGAffineTransformInvert(layer->transformToRoot()));
  return CGRectApplyAffineTransform(rect, t);
}

CGRect CALayer::convertRectFromLayer(CGRect rect, const std::shared_ptr<CALayer>& layer) const {
  CGAffineTransform t = layer ? layer->transformToRoot() : CGAffineTransformIdentity;
  t = CGAffineTransformConcat(t, CGAffineTransformInvert(transformToRoot()));
  return CGRectApplyAffineTransform(rect, t);
}

bool CALayer::containsPoint(CGPoint point) const { return CGRectContainsPoint(model_.bounds, point); }

std::shared_ptr<NSString> CALayer::description() const {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%p", static_cast<const void*>(this));
  return NSString::fromValidUTF8("<" + className() + ": " + buffer + ">");
}

// --- transactions -----------------------------------------------------------------------------

void CATransaction::begin() {
  zvt::ca::TransactionState state = zvt::ca::currentTransaction();
  state.tracker = nullptr;
  zvt::ca::transactions.push_back(std::move(state));
}

void CATransaction::commit() {
  if (zvt::ca::transactions.empty()) return;
  auto tracker = std::move(zvt::ca::transactions.back().tracker);
  zvt::ca::transactions.pop_back();
  if (tracker) {
    tracker->committed = true;
    tracker->runIfDone();
  }
}

CFTimeInterval CATransaction::animationDuration() { return zvt::ca::currentTransaction().duration; }
void CATransaction::setAnimationDuration(CFTimeInterval duration) {
  if (!zvt::ca::transactions.empty()) zvt::ca::transactions.back().duration = duration;
}
std::shared_ptr<CAMediaTimingFunction> CATransaction::animationTimingFunction() {
  return zvt::ca::currentTransaction().timingFunction;
}
void CATransaction::setAnimationTimingFunction(const std::shared_ptr<CAMediaTimingFunction>& function) {
  if (!zvt::ca::transactions.empty()) zvt::ca::transactions.back().timingFunction = function;
}
bool CATransaction::disableActions() { return zvt::ca::currentTransaction().disableActions; }
void CATransaction::setDisableActions(bool disable) {
  if (!zvt::ca::transactions.empty()) zvt::ca::transactions.back().disableActions = disable;
}
std::function<void()> CATransaction::completionBlock() {
  const auto& state = zvt::ca::currentTransaction();
  return state.tracker ? state.tracker->completion : nullptr;
}
void CATransaction::setCompletionBlock(std::function<void()> block) {
  if (zvt::ca::transactions.empty()) return;
  auto& state = zvt::ca::transactions.back();
  if (!state.tracker) state.tracker = std::make_shared<zvt::ca::TransactionTracker>();
  state.tracker->completion = std::move(block);
}
