#pragma once
// The progress overlay (POProgressHUD): a translucent view over its parent with a rounded dark
// box in the middle holding an indicator (spinner, round or bar progress, a custom view or
// none), a one-line label and a wrapping details label.
//
// - It fades (or zooms) in and out over 0.30 s; a grace time delays a task overlay's
//   appearance (common modes, so it fires while scrolling), a minimum show time keeps a shown
//   overlay up (default mode); `hide(animated, delay)` hides later unless shown again first.
// - Tasks: a function on a thread of its own, or a block on a dispatch queue (the global
//   default queue unless given); the overlay hides itself on the main thread when the task
//   ends and then runs the completion block and tells its delegate.
// - Properties may be set from any thread (they are kept under a lock); the views follow on
//   the main thread (at once there, else through the main thread without waiting).
// Everything else runs on the main thread.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSTimer.h"
#include "platform/graphics/UIColor.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/Selector.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIView.h"

class POProgressHUD;

enum POProgressHUDMode : NSInteger {
  POProgressHUDModeIndeterminate = 0,
  POProgressHUDModeDeterminate = 1,
  POProgressHUDModeDeterminateHorizontalBar = 2,
  POProgressHUDModeAnnularDeterminate = 3,
  POProgressHUDModeCustomView = 4,
  POProgressHUDModeText = 5,
};

enum POProgressHUDAnimation : NSInteger {
  POProgressHUDAnimationFade = 0,
  POProgressHUDAnimationZoomOut = 1,
  POProgressHUDAnimationZoomIn = 2,
};

class POProgressHUDDelegate {
 public:
  virtual ~POProgressHUDDelegate() = default;
  virtual void hudWasHidden(const std::shared_ptr<POProgressHUD>& /*hud*/) {}
};

class POProgressHUD : public UIView {
 public:
  using Block = std::function<void()>;

  static std::shared_ptr<POProgressHUD> initWithFrame(CGRect frame) { return makeView<POProgressHUD>(frame); }
  // An overlay of the view's bounds (not yet added to it).
  static std::shared_ptr<POProgressHUD> initWithView(const std::shared_ptr<UIView>& view);
  static std::shared_ptr<POProgressHUD> initWithWindow(const std::shared_ptr<UIView>& window) {
    return initWithView(window);
  }
  void setUpWithFrame(CGRect frame) override;
  ~POProgressHUD() override;

  // --- class operations
  // A new overlay, removed from the view when hidden, added on top of the view and shown.
  static std::shared_ptr<POProgressHUD> showHUDAddedTo(const std::shared_ptr<UIView>& view, bool animated);
  // Hides the view's topmost overlay (removing it when hidden); NO when there is none.
  static bool hideHUDForView(const std::shared_ptr<UIView>& view, bool animated);
  static NSUInteger hideAllHUDsForView(const std::shared_ptr<UIView>& view, bool animated);
  // The topmost overlay among the view's subviews, or nil.
  static std::shared_ptr<POProgressHUD> HUDForView(const std::shared_ptr<UIView>& view);
  // All of them, bottom first.
  static std::vector<std::shared_ptr<POProgressHUD>> allHUDsForView(const std::shared_ptr<UIView>& view);

  // --- showing and hiding
  void show(bool animated);
  void hide(bool animated);
  // hide:afterDelay: (run-loop default mode); a show before then cancels it.
  void hide(bool animated, NSTimeInterval delay);
  // Runs `method` on `target` with `object` on a thread of its own while the overlay shows.
  void showWhileExecuting(const SEL& method, const id& target, const id& object, bool animated);
  void showAnimated(bool animated, Block block);
  void showAnimated(bool animated, Block block, Block completion);
  void showAnimated(bool animated, Block block, const dispatch_queue_t& queue);
  void showAnimated(bool animated, Block block, const dispatch_queue_t& queue, Block completion);

  // --- properties
  NSInteger mode() const;
  void setMode(NSInteger mode);
  NSInteger animationType() const;
  void setAnimationType(NSInteger type);
  std::shared_ptr<UIView> customView() const;
  void setCustomView(std::shared_ptr<UIView> view);
  std::shared_ptr<POProgressHUDDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<POProgressHUDDelegate>& delegate);
  std::shared_ptr<NSString> labelText() const;
  void setLabelText(const std::shared_ptr<NSString>& text);
  std::shared_ptr<NSString> detailsLabelText() const;
  void setDetailsLabelText(const std::shared_ptr<NSString>& text);
  float opacity() const;
  void setOpacity(float opacity);
  std::shared_ptr<UIColor> color() const;
  void setColor(std::shared_ptr<UIColor> color);
  float xOffset() const;
  void setXOffset(float offset);
  float yOffset() const;
  void setYOffset(float offset);
  float margin() const;
  void setMargin(float margin);
  float cornerRadius() const;
  void setCornerRadius(float radius);
  bool dimBackground() const;
  void setDimBackground(bool dim);
  float graceTime() const;
  void setGraceTime(float seconds);
  float minShowTime() const;
  void setMinShowTime(float seconds);
  bool taskInProgress() const;
  void setTaskInProgress(bool inProgress);
  bool removeFromSuperViewOnHide() const;
  void setRemoveFromSuperViewOnHide(bool remove);
  std::shared_ptr<UIFont> labelFont() const;
  void setLabelFont(std::shared_ptr<UIFont> font);
  std::shared_ptr<UIColor> labelColor() const;
  void setLabelColor(std::shared_ptr<UIColor> color);
  std::shared_ptr<UIFont> detailsLabelFont() const;
  void setDetailsLabelFont(std::shared_ptr<UIFont> font);
  std::shared_ptr<UIColor> detailsLabelColor() const;
  void setDetailsLabelColor(std::shared_ptr<UIColor> color);
  std::shared_ptr<UIColor> activityIndicatorColor() const;
  void setActivityIndicatorColor(std::shared_ptr<UIColor> color);
  float progress() const;
  void setProgress(float progress);
  CGSize minSize() const;
  void setMinSize(CGSize size);
  // The box size the last layout found.
  CGSize size() const;
  bool isSquare() const;
  void setSquare(bool square);
  Block completionBlock() const;
  void setCompletionBlock(Block block);

  // The indicator view now shown, the labels (for tests and pictures).
  std::shared_ptr<UIView> indicator() const { return indicator_; }
  const std::shared_ptr<UILabel>& label() const { return label_; }
  const std::shared_ptr<UILabel>& detailsLabel() const { return detailsLabel_; }
  // Shown (and not yet hiding): the time it became visible is known.
  bool isShowing() const { return showStarted_ >= 0; }

  void layoutSubviews() override;
  // The box (and the shade when dimmed) as seen from a view whose origin lies at `origin` in the
  // overlay: what the backdrop below the indicator and labels draws.
  void drawBackdrop(CGPoint origin);
  void willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) override;
  void didMoveToSuperview() override;

 private:
  std::shared_ptr<POProgressHUD> me() { return std::static_pointer_cast<POProgressHUD>(viewSelf()); }
  void setupLabels();
  void updateIndicators();
  // A property changed: the views follow on the main thread.
  void propertyChanged(const char* keyPath);
  void updateUIForKeypath(const char* keyPath);
  void updateForCurrentOrientationAnimated(bool animated);
  void showUsingAnimation(bool animated);
  void hideUsingAnimation(bool animated);
  void handleGraceTimer();
  void handleMinShowTimer();
  void cancelDelayedHides();
  void done();
  void cleanUp();

  mutable std::mutex mutex_;
  NSInteger mode_ = POProgressHUDModeIndeterminate;
  NSInteger animationType_ = POProgressHUDAnimationFade;
  std::shared_ptr<UIView> customView_;
  std::weak_ptr<POProgressHUDDelegate> delegate_;
  std::shared_ptr<NSString> labelText_;
  std::shared_ptr<NSString> detailsLabelText_;
  float opacity_ = 0.8f;
  std::shared_ptr<UIColor> color_;
  float xOffset_ = 0, yOffset_ = 0;
  float margin_ = 20;
  float cornerRadius_ = 10;
  bool dimBackground_ = false;
  float graceTime_ = 0;
  float minShowTime_ = 0;
  bool taskInProgress_ = false;
  bool removeFromSuperViewOnHide_ = false;
  std::shared_ptr<UIFont> labelFont_;
  std::shared_ptr<UIColor> labelColor_;
  std::shared_ptr<UIFont> detailsLabelFont_;
  std::shared_ptr<UIColor> detailsLabelColor_;
  std::shared_ptr<UIColor> activityIndicatorColor_;
  float progress_ = 0;
  CGSize minSize_{};
  CGSize size_{};
  bool square_ = false;
  Block completionBlock_;

  // Main thread state.
  std::shared_ptr<UIView> indicator_;
  // Draws the box: sized to it (the whole overlay when dimmed), so that an overlay over a whole
  // screen does not fill and copy a bitmap of the screen's size for a box in its middle.
  std::shared_ptr<UIView> backdrop_;
  std::shared_ptr<NSTimer> graceTimer_;
  std::shared_ptr<NSTimer> minShowTimer_;
  std::vector<std::shared_ptr<NSTimer>> delayedHides_;
  double showStarted_ = -1;  // monotonic seconds; -1 while hidden
  bool useAnimation_ = false;
  SEL methodForExecution_;
  id targetForExecution_;
  id objectForExecution_;
  std::shared_ptr<UILabel> label_;
  std::shared_ptr<UILabel> detailsLabel_;
  CGAffineTransform rotationTransform_ = CGAffineTransformIdentity;
};

// UIViewController(HUD): the screens' progress and tip overlays on the controller's view.
class UIViewController;
namespace zvt::hud {
using TipBlock = std::function<void()>;
}
// A spinner without text until hideHud or the next show.
void showLoadingHud(const std::shared_ptr<UIViewController>& controller);
// A text tip for 2.0 s.
void showTipHudWithText(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text);
// A text tip until hideHud or the next show.
void showAlwaysTipHudWithText(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text);
void showTipHudWithText(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                        double duration, zvt::hud::TipBlock completion);
// A spinner with the text under it.
void showTextHud(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                 double duration, zvt::hud::TipBlock completion);
// The central operation: hides the current overlay, shows a new one of the mode with the
// text, and with a positive duration hides that one again after it and runs the completion.
void showTipHudWithText(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                        NSInteger mode, double duration, zvt::hud::TipBlock completion);
// Fades out and removes the topmost overlay of the controller's view, if any.
void hideHud(const std::shared_ptr<UIViewController>& controller);
