#pragma once
// The device as a person holds it: a screen of a chosen model, fingers that touch it, a
// keyboard that types into the first responder, and eyes that find what is visible. Tests, the
// scripted runner and the desktop window all drive the application through it, so everything
// goes through hit-testing and the responder chain as on the phone (a covered button is not
// tapped; a hidden label is not found).
//
// Time: gestures that take time (a press, a drag) pass it on the run loop's clock: under a
// virtual clock they advance it, on the real clock they run the main run loop meanwhile. Each
// step ends with a turn of the main run loop (what is ready runs, layout and display happen).
//
// Coordinates are the screen's points (those of a full-screen window). Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

class UIScrollView;
class UITableView;
class UICollectionView;
class NSIndexPath;

namespace zvt::ui {

struct ScreenModel {
  const char* name;
  CGSize points;
  CGFloat scale;
};
// The portrait screens of the phones the application runs on.
inline constexpr ScreenModel kScreen320x480{"320x480", {320, 480}, 2};
inline constexpr ScreenModel kScreen320x568{"320x568", {320, 568}, 2};
inline constexpr ScreenModel kScreen375x667{"375x667", {375, 667}, 2};
inline constexpr ScreenModel kScreen414x736{"414x736", {414, 736}, 3};
inline constexpr ScreenModel kScreenModels[] = {kScreen320x480, kScreen320x568, kScreen375x667, kScreen414x736};

class Device {
 public:
  using Finger = int;

  static Device& shared();

  // --- the screen
  // Sets the main screen's bounds and scale.
  static void useScreen(const ScreenModel& model);
  static void useScreen(CGSize points, CGFloat scale);
  // "320x480", "320x568", "375x667" or "414x736", optionally with "@2" or "@3" for the scale;
  // false (and nothing changed) for another text.
  static bool useScreenNamed(const std::string& name);
  // The model named by $ZVT_SCREEN, when it names one.
  static bool useScreenFromEnvironment();

  // --- time
  // Lets `seconds` pass on the run loop's clock, then runs a turn.
  void wait(NSTimeInterval seconds);
  // Runs what is ready on the main run loop (without letting time pass), so that layout and
  // display happen.
  void settle();

  // --- fingers (several may be down at once; each call is one touch event)
  Finger touchDown(CGPoint point);
  std::vector<Finger> touchDown(const std::vector<CGPoint>& points);
  void touchMove(Finger finger, CGPoint point);
  void touchMove(const std::vector<Finger>& fingers, const std::vector<CGPoint>& points);
  void touchUp(Finger finger);
  void touchUp(const std::vector<Finger>& fingers);
  // The system takes the touches away (a call comes in).
  void touchCancelAll();
  size_t fingersDown() const { return fingers_.size(); }

  // --- gestures
  // A short press (0.05 s) at the point; `taps` presses 0.1 s apart.
  void tap(CGPoint point, int taps = 1);
  // Taps the centre of the part of the view that lies on screen, through hit-testing. Returns
  // whether the tap reached the view (see reaches); false for a view that is not visible.
  bool tapView(const std::shared_ptr<UIView>& view);
  // Taps the view showing the text that a person would mean (see viewToTap), at the centre of
  // its visible part. False when there is none; `why` then says what stood in the way
  // ("nothing visible shows "设置" to tap", ""设置" is covered by ...").
  bool tapText(const std::string& text, std::string* why = nullptr);
  // The view tapText taps. Views showing the whole text count when any is visible, otherwise
  // views whose text contains it. Among those: when any of them is a control (a button or other
  // UIControl, a row or item of a list that can be selected, a view with a single-tap
  // recogniser, or what holds one of these; a text over a control counts as it), only controls,
  // else all. The front-most of them the finger reaches at the tap point; nil when none is
  // reached (covered by something in front that takes the touch), or nothing shows the text.
  std::shared_ptr<UIView> viewToTap(const std::string& text, std::string* why = nullptr) const;
  void longPress(CGPoint point, NSTimeInterval duration);
  // Down at `from`, moves at 60 steps a second to `to` over `duration`, up.
  void drag(CGPoint from, CGPoint to, NSTimeInterval duration);
  // A drag of 0.15 s unless told otherwise.
  void swipe(CGPoint from, CGPoint to, NSTimeInterval duration = 0.15);

  // --- scroll views, moved as a person moves them
  enum class Release {
    Still,  // held still for a moment before lifting: the content keeps no speed
    Fling,  // lifted while moving: the content goes on at the drag's speed
  };
  // A finger on the visible centre of the view moves by `distance` over `duration` at 60 steps a
  // second and lifts.
  void dragView(const std::shared_ptr<UIView>& view, CGPoint distance, NSTimeInterval duration,
                Release release = Release::Still);
  // Pulls the content down by `points` of finger travel, starting a little below the view's
  // visible top, and lets go still (what pull-to-refresh asks of a person).
  void pullDown(const std::shared_ptr<UIView>& scrollView, CGFloat points);
  // A quick flick of a paging scroll view towards its next page (+1) or previous one (-1),
  // horizontally or vertically as it scrolls; then waits until it rests.
  void swipePage(const std::shared_ptr<UIScrollView>& scrollView, int direction);
  // Lets time pass until the scroll view neither follows a finger nor moves on (at most
  // `limit` seconds).
  void waitUntilStill(const std::shared_ptr<UIScrollView>& scrollView, NSTimeInterval limit = 10);
  // Drags the content a good part of its height at a time, towards its end (or its start),
  // until a view inside it showing the text is visible; false when the content stops first.
  bool scrollUntilVisible(const std::shared_ptr<UIScrollView>& scrollView, const std::string& text,
                          bool towardsEnd = true);
  // Taps the status bar: the key window's scroll view that scrolls to top does (false when
  // there is no single such view).
  bool tapStatusBar();
  // Drags the table (collection view) until the row (item) is fully in view, then taps it;
  // false when it does not exist or cannot be brought into view.
  bool tapRow(const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath);
  bool tapItem(const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath);

  // --- the keyboard: into the first responder when it adopts UIKeyInput (false when none does)
  // One character (Unicode scalar) at a time, as a person types: only while the keyboard is on
  // screen, and only characters it has keys for (see UIKeyboard.h); false at the first one that
  // cannot be typed.
  bool typeText(const std::string& text);
  // The whole text in one insertion (the edit menu's paste: no keyboard needed).
  bool paste(const std::string& text);
  bool pressReturn();
  bool pressDelete();

  // --- finding as a person would: visible views only, front-most first
  std::vector<std::shared_ptr<UIView>> viewsWithText(const std::string& text) const;
  std::shared_ptr<UIView> viewWithText(const std::string& text) const;
  std::vector<std::shared_ptr<UIView>> viewsContainingText(const std::string& text) const;
  std::shared_ptr<UIView> viewWithAccessibilityIdentifier(const std::string& identifier) const;
  template <class V>
  std::vector<std::shared_ptr<V>> viewsOfClass() const {
    std::vector<std::shared_ptr<V>> out;
    for (auto& view : visibleViews())
      if (auto v = std::dynamic_pointer_cast<V>(view)) out.push_back(std::move(v));
    return out;
  }
  // Every visible text on screen, front-most first.
  std::vector<std::string> visibleTexts() const;
  // Not hidden and alpha above 0.01 up to its window, the window shown, and some of it inside
  // the window and every clipping ancestor.
  static bool isVisible(const std::shared_ptr<UIView>& view);
  // The part of the view a person sees, in screen coordinates (empty when none).
  static CGRect visibleRect(const std::shared_ptr<UIView>& view);
  // Every visible view, front-most first.
  std::vector<std::shared_ptr<UIView>> visibleViews() const;

 private:
  struct Active {
    Finger finger;
    std::shared_ptr<UITouch> touch;
  };
  void send(const std::vector<std::shared_ptr<UITouch>>& changed);
  static std::shared_ptr<UIWindow> windowAt(CGPoint screenPoint);
  // The view that a finger at the screen point touches (nil when nothing takes it).
  static std::shared_ptr<UIView> hitViewAt(CGPoint screenPoint);
  // Whether a finger that hit-testing sends to `hit` (hitViewAt) reaches the view: `hit` is the
  // view or inside it, or, for a view that takes no touches itself (a label), what holds it or
  // lies behind it (a title drawn over its button); not when something in front of it takes the
  // touch, nor when nothing takes it.
  static bool reaches(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& hit);
  std::shared_ptr<UIResponder> typingTarget() const;
  // Drags until the rectangle (content coordinates, asked again after each drag) is in view.
  bool bringIntoView(const std::shared_ptr<UIScrollView>& scrollView, const std::function<CGRect()>& rect);

  std::vector<Active> fingers_;
  Finger nextFinger_ = 1;
  // For tap counts (on the clock they were measured on).
  std::weak_ptr<Clock> lastTapClock_;
  CGPoint lastTapPoint_{};
  double lastTapTime_ = -1;
  NSUInteger lastTapCount_ = 0;
};

}  // namespace zvt::ui
