#include "ui/hud/POProgressHUD.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGGradient.h"
#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "ui/hud/POProgressViews.h"

namespace {
constexpr CGFloat kPadding = 4;
constexpr NSTimeInterval kAnimationDuration = 0.30;

double nowSeconds() { return static_cast<double>(Clock::nowNanos()) / 1e9; }
CGFloat roundHalfAway(CGFloat v) { return std::round(v); }
bool isEmpty(const std::shared_ptr<NSString>& s) { return !s || s->length() == 0; }

// The overlay's box, drawn by the overlay; taps go through it to the overlay.
class Backdrop : public UIView {
 public:
  std::weak_ptr<POProgressHUD> hud;
  void drawRect(CGRect) override {
    if (auto owner = hud.lock()) owner->drawBackdrop(frame().origin);
  }
};
}  // namespace

#define PO_LOCKED_PROPERTY(Type, getter, setter, member, keyPath) \
  Type POProgressHUD::getter() const {                            \
    std::lock_guard lock(mutex_);                                 \
    return member;                                                \
  }                                                               \
  void POProgressHUD::setter(Type value) {                        \
    {                                                             \
      std::lock_guard lock(mutex_);                               \
      member = value;                                             \
    }                                                             \
    propertyChanged(keyPath);                                     \
  }

#define PO_PLAIN_PROPERTY(Type, getter, setter, member) PO_LOCKED_PROPERTY(Type, getter, setter, member, nullptr)

PO_LOCKED_PROPERTY(NSInteger, mode, setMode, mode_, "mode")
PO_PLAIN_PROPERTY(NSInteger, animationType, setAnimationType, animationType_)
PO_PLAIN_PROPERTY(float, opacity, setOpacity, opacity_)
PO_PLAIN_PROPERTY(float, xOffset, setXOffset, xOffset_)
PO_PLAIN_PROPERTY(float, yOffset, setYOffset, yOffset_)
PO_PLAIN_PROPERTY(float, margin, setMargin, margin_)
PO_PLAIN_PROPERTY(float, cornerRadius, setCornerRadius, cornerRadius_)
PO_PLAIN_PROPERTY(bool, dimBackground, setDimBackground, dimBackground_)
PO_PLAIN_PROPERTY(float, graceTime, setGraceTime, graceTime_)
PO_PLAIN_PROPERTY(float, minShowTime, setMinShowTime, minShowTime_)
PO_PLAIN_PROPERTY(bool, taskInProgress, setTaskInProgress, taskInProgress_)
PO_PLAIN_PROPERTY(bool, removeFromSuperViewOnHide, setRemoveFromSuperViewOnHide, removeFromSuperViewOnHide_)
PO_LOCKED_PROPERTY(float, progress, setProgress, progress_, "progress")
PO_PLAIN_PROPERTY(CGSize, minSize, setMinSize, minSize_)
PO_PLAIN_PROPERTY(bool, isSquare, setSquare, square_)
PO_PLAIN_PROPERTY(std::shared_ptr<UIColor>, color, setColor, color_)
PO_LOCKED_PROPERTY(std::shared_ptr<UIView>, customView, setCustomView, customView_, "customView")
PO_LOCKED_PROPERTY(std::shared_ptr<UIFont>, labelFont, setLabelFont, labelFont_, "labelFont")
PO_LOCKED_PROPERTY(std::shared_ptr<UIColor>, labelColor, setLabelColor, labelColor_, "labelColor")
PO_LOCKED_PROPERTY(std::shared_ptr<UIFont>, detailsLabelFont, setDetailsLabelFont, detailsLabelFont_, "detailsLabelFont")
PO_LOCKED_PROPERTY(std::shared_ptr<UIColor>, detailsLabelColor, setDetailsLabelColor, detailsLabelColor_,
                   "detailsLabelColor")
PO_LOCKED_PROPERTY(std::shared_ptr<UIColor>, activityIndicatorColor, setActivityIndicatorColor,
                   activityIndicatorColor_, "activityIndicatorColor")
PO_PLAIN_PROPERTY(POProgressHUD::Block, completionBlock, setCompletionBlock, completionBlock_)

std::shared_ptr<NSString> POProgressHUD::labelText() const {
  std::lock_guard lock(mutex_);
  return labelText_;
}
void POProgressHUD::setLabelText(const std::shared_ptr<NSString>& text) {
  {
    std::lock_guard lock(mutex_);
    labelText_ = text ? NSString::stringWithString(text) : nullptr;
  }
  propertyChanged("labelText");
}
std::shared_ptr<NSString> POProgressHUD::detailsLabelText() const {
  std::lock_guard lock(mutex_);
  return detailsLabelText_;
}
void POProgressHUD::setDetailsLabelText(const std::shared_ptr<NSString>& text) {
  {
    std::lock_guard lock(mutex_);
    detailsLabelText_ = text ? NSString::stringWithString(text) : nullptr;
  }
  propertyChanged("detailsLabelText");
}
std::shared_ptr<POProgressHUDDelegate> POProgressHUD::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}
void POProgressHUD::setDelegate(const std::shared_ptr<POProgressHUDDelegate>& delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
}
CGSize POProgressHUD::size() const {
  std::lock_guard lock(mutex_);
  return size_;
}

// --- creation

std::shared_ptr<POProgressHUD> POProgressHUD::initWithView(const std::shared_ptr<UIView>& view) {
  return initWithFrame(view ? view->bounds() : CGRectZero);
}

void POProgressHUD::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  labelFont_ = UIFont::boldSystemFontOfSize(16);
  labelColor_ = UIColor::whiteColor();
  detailsLabelFont_ = UIFont::boldSystemFontOfSize(12);
  detailsLabelColor_ = UIColor::whiteColor();
  activityIndicatorColor_ = UIColor::whiteColor();
  setContentMode(UIViewContentModeCenter);
  setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
                      UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
  setOpaque(false);
  setBackgroundColor(UIColor::clearColor());
  setAlpha(0);
  auto backdrop = makeView<Backdrop>(CGRectZero);
  backdrop->hud = me();
  backdrop->setOpaque(false);
  backdrop->setBackgroundColor(UIColor::clearColor());
  backdrop->setUserInteractionEnabled(false);
  backdrop->setContentMode(UIViewContentModeRedraw);
  backdrop_ = backdrop;
  addSubview(backdrop_);
  setupLabels();
  updateIndicators();
}

POProgressHUD::~POProgressHUD() {
  if (graceTimer_) graceTimer_->invalidate();
  if (minShowTimer_) minShowTimer_->invalidate();
  for (auto& t : delayedHides_) t->invalidate();
}

void POProgressHUD::setupLabels() {
  auto make = [this](const std::shared_ptr<UIFont>& font, const std::shared_ptr<UIColor>& color,
                     const std::shared_ptr<NSString>& text) {
    auto l = UILabel::initWithFrame(bounds());
    l->setAdjustsFontSizeToFitWidth(false);
    l->setTextAlignment(NSTextAlignmentCenter);
    l->setOpaque(false);
    l->setBackgroundColor(UIColor::clearColor());
    l->setTextColor(color);
    l->setFont(font);
    l->setText(text);
    return l;
  };
  label_ = make(labelFont_, labelColor_, labelText_);
  detailsLabel_ = make(detailsLabelFont_, detailsLabelColor_, detailsLabelText_);
  detailsLabel_->setNumberOfLines(0);
  addSubview(label_);
  addSubview(detailsLabel_);
}

void POProgressHUD::updateIndicators() {
  NSInteger mode;
  std::shared_ptr<UIColor> tint;
  std::shared_ptr<UIView> custom;
  {
    std::lock_guard lock(mutex_);
    mode = mode_;
    tint = activityIndicatorColor_;
    custom = customView_;
  }
  auto replace = [this](const std::shared_ptr<UIView>& next) {
    if (indicator_) indicator_->removeFromSuperview();
    indicator_ = next;
    if (next) addSubview(next);
  };
  switch (mode) {
    case POProgressHUDModeIndeterminate: {
      auto spinner = zvt::as<UIActivityIndicatorView>(indicator_);
      if (!spinner) {
        spinner = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhiteLarge);
        spinner->startAnimating();
        replace(spinner);
      }
      spinner->setColor(tint);
      break;
    }
    case POProgressHUDModeDeterminate:
    case POProgressHUDModeAnnularDeterminate: {
      auto round = zvt::as<PORoundProgressView>(indicator_);
      if (!round) {
        round = PORoundProgressView::make();
        replace(round);
      }
      if (mode == POProgressHUDModeAnnularDeterminate) round->setAnnular(true);
      round->setProgressTintColor(tint);
      round->setBackgroundTintColor(tint ? tint->colorWithAlphaComponent(0.1) : nullptr);
      break;
    }
    case POProgressHUDModeDeterminateHorizontalBar: replace(POBarProgressView::make()); break;
    case POProgressHUDModeCustomView:
      if (custom != indicator_) replace(custom);
      break;
    case POProgressHUDModeText: replace(nullptr); break;
    default: break;
  }
}

// --- property changes

void POProgressHUD::propertyChanged(const char* keyPath) {
  if (!keyPath) return;
  if (NSThread::isMainThread()) {
    updateUIForKeypath(keyPath);
    return;
  }
  std::weak_ptr<POProgressHUD> weak = me();
  dispatch_async(dispatch_get_main_queue(), [weak, keyPath] {
    if (auto hud = weak.lock()) hud->updateUIForKeypath(keyPath);
  });
}

void POProgressHUD::updateUIForKeypath(const char* keyPath) {
  std::string_view key = keyPath;
  if (key == "mode" || key == "customView" || key == "activityIndicatorColor") {
    updateIndicators();
  } else if (key == "labelText") {
    label_->setText(labelText());
  } else if (key == "labelFont") {
    label_->setFont(labelFont());
  } else if (key == "labelColor") {
    label_->setTextColor(labelColor());
  } else if (key == "detailsLabelText") {
    detailsLabel_->setText(detailsLabelText());
  } else if (key == "detailsLabelFont") {
    detailsLabel_->setFont(detailsLabelFont());
  } else if (key == "detailsLabelColor") {
    detailsLabel_->setTextColor(detailsLabelColor());
  } else if (key == "progress") {
    if (auto shows = std::dynamic_pointer_cast<zvt::hud::ProgressShowing>(indicator_)) shows->setProgress(progress());
    return;
  }
  setNeedsLayout();
  backdrop_->setNeedsDisplay();
}

// --- class operations

std::shared_ptr<POProgressHUD> POProgressHUD::showHUDAddedTo(const std::shared_ptr<UIView>& view, bool animated) {
  auto hud = initWithView(view);
  hud->setRemoveFromSuperViewOnHide(true);
  if (view) view->addSubview(hud);
  hud->show(animated);
  return hud;
}

bool POProgressHUD::hideHUDForView(const std::shared_ptr<UIView>& view, bool animated) {
  auto hud = HUDForView(view);
  if (!hud) return false;
  hud->setRemoveFromSuperViewOnHide(true);
  hud->hide(animated);
  return true;
}

NSUInteger POProgressHUD::hideAllHUDsForView(const std::shared_ptr<UIView>& view, bool animated) {
  auto huds = allHUDsForView(view);
  for (auto& hud : huds) {
    hud->setRemoveFromSuperViewOnHide(true);
    hud->hide(animated);
  }
  return huds.size();
}

std::shared_ptr<POProgressHUD> POProgressHUD::HUDForView(const std::shared_ptr<UIView>& view) {
  if (!view) return nullptr;
  auto subviews = view->subviews();
  for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
    if (auto hud = zvt::as<POProgressHUD>(*it)) return hud;
  return nullptr;
}

std::vector<std::shared_ptr<POProgressHUD>> POProgressHUD::allHUDsForView(const std::shared_ptr<UIView>& view) {
  std::vector<std::shared_ptr<POProgressHUD>> out;
  if (!view) return out;
  for (auto& subview : view->subviews())
    if (auto hud = zvt::as<POProgressHUD>(subview)) out.push_back(hud);
  return out;
}

// --- showing and hiding

void POProgressHUD::show(bool animated) {
  useAnimation_ = animated;
  float grace = graceTime();
  if (grace > 0) {
    if (graceTimer_) graceTimer_->invalidate();
    std::weak_ptr<POProgressHUD> weak = me();
    graceTimer_ = NSTimer::timerWithTimeInterval(grace, false, [weak](const std::shared_ptr<NSTimer>&) {
      if (auto hud = weak.lock()) hud->handleGraceTimer();
    });
    NSRunLoop::currentRunLoop()->addTimer(graceTimer_, NSRunLoopCommonModes);
    return;
  }
  showUsingAnimation(useAnimation_);
}

void POProgressHUD::handleGraceTimer() {
  if (taskInProgress()) showUsingAnimation(useAnimation_);
}

void POProgressHUD::cancelDelayedHides() {
  for (auto& t : delayedHides_) t->invalidate();
  delayedHides_.clear();
}

void POProgressHUD::showUsingAnimation(bool animated) {
  cancelDelayedHides();
  backdrop_->setNeedsDisplay();
  NSInteger type = animationType();
  if (animated && type == POProgressHUDAnimationZoomIn) {
    setTransform(CGAffineTransformScale(rotationTransform_, 0.5, 0.5));
  } else if (animated && type == POProgressHUDAnimationZoomOut) {
    setTransform(CGAffineTransformScale(rotationTransform_, 1.5, 1.5));
  }
  showStarted_ = nowSeconds();
  if (!animated) {
    setAlpha(1.0);
    return;
  }
  auto self = me();
  UIView::animateWithDuration(kAnimationDuration, [self, type] {
    self->setAlpha(1.0);
    if (type == POProgressHUDAnimationZoomIn || type == POProgressHUDAnimationZoomOut)
      self->setTransform(self->rotationTransform_);
  });
}

void POProgressHUD::hide(bool animated) {
  useAnimation_ = animated;
  float minimum = minShowTime();
  if (minimum > 0 && showStarted_ >= 0) {
    double interval = nowSeconds() - showStarted_;
    if (interval < minimum) {
      if (minShowTimer_) minShowTimer_->invalidate();
      std::weak_ptr<POProgressHUD> weak = me();
      minShowTimer_ = NSTimer::scheduledTimerWithTimeInterval(minimum - interval, false,
                                                              [weak](const std::shared_ptr<NSTimer>&) {
                                                                if (auto hud = weak.lock()) hud->handleMinShowTimer();
                                                              });
      return;
    }
  }
  hideUsingAnimation(useAnimation_);
}

void POProgressHUD::handleMinShowTimer() { hideUsingAnimation(useAnimation_); }

void POProgressHUD::hide(bool animated, NSTimeInterval delay) {
  std::weak_ptr<POProgressHUD> weak = me();
  auto boxed = NSNumber::numberWithBool(animated);
  delayedHides_.push_back(performAfterDelay(delay, [weak, boxed] {
    if (auto hud = weak.lock()) hud->hide(boxed->boolValue());
  }));
}

void POProgressHUD::hideUsingAnimation(bool animated) {
  if (animated && showStarted_ >= 0) {
    showStarted_ = -1;
    NSInteger type = animationType();
    auto self = me();
    UIView::animateWithDuration(
        kAnimationDuration,
        [self, type] {
          if (type == POProgressHUDAnimationZoomIn)
            self->setTransform(CGAffineTransformScale(self->rotationTransform_, 1.5, 1.5));
          else if (type == POProgressHUDAnimationZoomOut)
            self->setTransform(CGAffineTransformScale(self->rotationTransform_, 0.5, 0.5));
          self->setAlpha(0.02);
        },
        [self](bool) { self->done(); });
    return;
  }
  showStarted_ = -1;
  setAlpha(0);
  done();
}

void POProgressHUD::done() {
  auto keep = me();
  cancelDelayedHides();
  setAlpha(0);
  if (removeFromSuperViewOnHide()) removeFromSuperview();
  Block completion;
  {
    std::lock_guard lock(mutex_);
    completion = std::move(completionBlock_);
    completionBlock_ = nullptr;
  }
  if (completion) completion();
  if (auto d = delegate()) d->hudWasHidden(keep);
}

// --- tasks

void POProgressHUD::showWhileExecuting(const SEL& method, const id& target, const id& object, bool animated) {
  methodForExecution_ = method;
  targetForExecution_ = target;
  objectForExecution_ = object;
  setTaskInProgress(true);
  auto self = me();
  auto main = NSThread::mainThread();
  NSThread::detachNewThreadWithBlock([self, method, target, object, main] {
    if (target) method.perform(*target, object, nullptr);
    performOnThread(main, [self] { self->cleanUp(); }, false, {NSDefaultRunLoopMode});
  });
  show(animated);
}

void POProgressHUD::showAnimated(bool animated, Block block) {
  showAnimated(animated, std::move(block), dispatch_get_global_queue(0, 0), nullptr);
}
void POProgressHUD::showAnimated(bool animated, Block block, Block completion) {
  showAnimated(animated, std::move(block), dispatch_get_global_queue(0, 0), std::move(completion));
}
void POProgressHUD::showAnimated(bool animated, Block block, const dispatch_queue_t& queue) {
  showAnimated(animated, std::move(block), queue, nullptr);
}

void POProgressHUD::showAnimated(bool animated, Block block, const dispatch_queue_t& queue, Block completion) {
  setTaskInProgress(true);
  setCompletionBlock(std::move(completion));
  auto self = me();
  dispatch_async(queue, [self, block = std::move(block)] {
    if (block) block();
    dispatch_async(dispatch_get_main_queue(), [self] { self->cleanUp(); });
  });
  show(animated);
}

void POProgressHUD::cleanUp() {
  setTaskInProgress(false);
  targetForExecution_.reset();
  objectForExecution_.reset();
  hide(useAnimation_);
}

// --- layout

void POProgressHUD::willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) {
  UIView::willMoveToSuperview(newSuperview);
}

void POProgressHUD::didMoveToSuperview() {
  UIView::didMoveToSuperview();
  updateForCurrentOrientationAnimated(false);
}

void POProgressHUD::updateForCurrentOrientationAnimated(bool) {
  // The interface turns the whole window on every system this runs on, so the overlay only
  // takes its parent's bounds; the rotation of older systems never applies.
  if (auto parent = superview()) {
    setBounds(parent->bounds());
    backdrop_->setNeedsDisplay();
  }
}

void POProgressHUD::layoutSubviews() {
  UIView::layoutSubviews();
  if (auto parent = superview()) setFrame(parent->bounds());
  CGRect b = bounds();
  CGFloat W = b.size.width, H = b.size.height;
  CGFloat margin, xOffset, yOffset;
  bool square;
  CGSize minSize;
  std::shared_ptr<UIFont> font, detailsFont;
  {
    std::lock_guard lock(mutex_);
    margin = margin_;
    xOffset = xOffset_;
    yOffset = yOffset_;
    square = square_;
    minSize = minSize_;
    font = labelFont_;
    detailsFont = detailsLabelFont_;
  }
  // Small parents would give negative room; nothing is ever laid out narrower than nothing.
  CGFloat maxWidth = std::max<CGFloat>(0, W - 4 * margin);

  CGRect indicatorF = indicator_ ? indicator_->bounds() : CGRectZero;
  indicatorF.size.width = std::min(indicatorF.size.width, maxWidth);
  CGFloat totalWidth = indicatorF.size.width;
  CGFloat totalHeight = indicatorF.size.height;

  CGSize labelSize{};
  auto text = label_->text();
  if (!isEmpty(text)) {
    labelSize = sizeWithAttributes(text, NSDictionary::dictionaryWithObject(font, NSFontAttributeName));
    labelSize.width = std::min(labelSize.width, maxWidth);
  }
  totalWidth = std::max(totalWidth, labelSize.width);
  totalHeight += labelSize.height;
  if (labelSize.height > 0 && indicatorF.size.height > 0) totalHeight += kPadding;

  CGFloat remainingHeight = std::max<CGFloat>(0, H - totalHeight - kPadding - 4 * margin);
  CGSize detailsSize{};
  auto details = detailsLabel_->text();
  if (!isEmpty(details)) {
    detailsSize = boundingRectWithSize(details, CGSizeMake(maxWidth, remainingHeight),
                                       NSStringDrawingUsesLineFragmentOrigin,
                                       NSDictionary::dictionaryWithObject(detailsFont, NSFontAttributeName), nullptr)
                      .size;
    detailsSize.width = std::min(detailsSize.width, maxWidth);
    detailsSize.height = std::min(detailsSize.height, remainingHeight);
  }
  totalWidth = std::max(totalWidth, detailsSize.width);
  totalHeight += detailsSize.height;
  if (detailsSize.height > 0 && (indicatorF.size.height > 0 || labelSize.height > 0)) totalHeight += kPadding;

  totalWidth += 2 * margin;
  totalHeight += 2 * margin;

  CGFloat y = roundHalfAway((H - totalHeight) / 2) + margin + yOffset;
  if (indicator_) {
    indicatorF.origin = CGPointMake(roundHalfAway((W - indicatorF.size.width) / 2) + xOffset, y);
    indicator_->setFrame(indicatorF);
  }
  y += indicatorF.size.height;
  if (labelSize.height > 0 && indicatorF.size.height > 0) y += kPadding;
  label_->setFrame(CGRectMake(roundHalfAway((W - labelSize.width) / 2) + xOffset, y, labelSize.width, labelSize.height));
  y += labelSize.height;
  if (detailsSize.height > 0 && (indicatorF.size.height > 0 || labelSize.height > 0)) y += kPadding;
  detailsLabel_->setFrame(
      CGRectMake(roundHalfAway((W - detailsSize.width) / 2) + xOffset, y, detailsSize.width, detailsSize.height));

  if (square) {
    CGFloat m = std::max(totalWidth, totalHeight);
    if (m <= W - 2 * margin) totalWidth = m;
    if (m <= H - 2 * margin) totalHeight = m;
  }
  totalWidth = std::max(totalWidth, minSize.width);
  totalHeight = std::max(totalHeight, minSize.height);
  bool dim;
  {
    std::lock_guard lock(mutex_);
    size_ = CGSizeMake(totalWidth, totalHeight);
    dim = dimBackground_;
  }
  // The box's rectangle as drawn (whole points, so the backdrop's pixels fall where the
  // overlay's own would), or the whole overlay for the shade.
  backdrop_->setFrame(dim ? b
                          : CGRectMake(roundHalfAway((W - totalWidth) / 2) + xOffset,
                                       roundHalfAway((H - totalHeight) / 2) + yOffset, totalWidth, totalHeight));
}

// --- drawing

void POProgressHUD::drawBackdrop(CGPoint origin) {
  auto context = UIGraphicsGetCurrentContext();
  if (!context) return;
  UIGraphicsPushContext(context);
  CGContextSaveGState(context);
  CGContextTranslateCTM(context, -origin.x, -origin.y);
  CGRect b = bounds();
  CGFloat W = b.size.width, H = b.size.height;
  bool dim;
  std::shared_ptr<UIColor> fill;
  CGSize boxSize;
  CGFloat xOffset, yOffset, r;
  {
    std::lock_guard lock(mutex_);
    dim = dimBackground_;
    fill = color_ ? color_ : UIColor::colorWithWhite(0, opacity_);
    boxSize = size_;
    xOffset = xOffset_;
    yOffset = yOffset_;
    r = cornerRadius_;
  }
  if (dim) {
    const CGFloat components[] = {0, 0, 0, 0, 0, 0, 0, 0.75};
    const CGFloat locations[] = {0, 1};
    auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
    CGPoint centre = CGPointMake(W / 2, H / 2);
    float radius = static_cast<float>(std::min(W, H));
    CGContextDrawRadialGradient(context, gradient, centre, 0, centre, radius, kCGGradientDrawsAfterEndLocation);
  }
  fill->setFill();
  CGRect box = CGRectMake(roundHalfAway((W - boxSize.width) / 2) + xOffset,
                          roundHalfAway((H - boxSize.height) / 2) + yOffset, boxSize.width, boxSize.height);
  auto path = UIBezierPath::bezierPath();
  const float pi = static_cast<float>(M_PI);
  path->moveToPoint(CGPointMake(CGRectGetMinX(box) + r, CGRectGetMinY(box)));
  path->addArcWithCenter(CGPointMake(CGRectGetMaxX(box) - r, CGRectGetMinY(box) + r), r, 3 * pi / 2, 0, true);
  path->addArcWithCenter(CGPointMake(CGRectGetMaxX(box) - r, CGRectGetMaxY(box) - r), r, 0, pi / 2, true);
  path->addArcWithCenter(CGPointMake(CGRectGetMinX(box) + r, CGRectGetMaxY(box) - r), r, pi / 2, pi, true);
  path->addArcWithCenter(CGPointMake(CGRectGetMinX(box) + r, CGRectGetMinY(box) + r), r, pi, 3 * pi / 2, true);
  path->closePath();
  path->fill();
  CGContextRestoreGState(context);
  UIGraphicsPopContext();
}
