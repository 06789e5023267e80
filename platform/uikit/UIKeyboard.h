#pragma once
// The keyboard: its notifications and user-info keys, and the stand-in for the system keyboard
// that text inputs bring up.
//
// A responder that adopts UIKeyInput shows the keyboard when it becomes first responder and
// hides it when it resigns, unless another key-input responder is taking over (the keyboard
// then stays and is announced again for the new one, as the device does). The platform's text
// controls (text fields, text views, the search bar's field) announce it themselves, after
// their did-begin-editing callbacks. The default keyboard is 216 points high at the bottom of
// the screen on every screen size; it slides in and out over 0.25 s on the run loop's clock.
//
// Notifications (object nil): will-change-frame and will-show (or will-hide) at once, then
// did-show (or did-hide) and did-change-frame when the slide ends. Their user info holds the
// begin and end frames (screen coordinates, NSValue CGRect), the centres and bounds, the
// duration (0.25, NSNumber) and the curve (7, NSNumber), and "is local" (YES).
//
// The keyboard is a window above every other (alerts included), so what it covers cannot be
// tapped, as on the phone. Typing from the device needs the keyboard on screen and a key for
// each character: a number pad types digits only and has no return key; a phone pad types
// digits and "+*#,;"; a decimal pad digits and ".". While an alert without text fields shows,
// the keyboard goes away (the first responder stays) and comes back when the alert is gone.

#include <memory>
#include <string_view>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UITextInput.h"
#include "platform/uikit/UIWindow.h"

inline const zvt::StaticString UIKeyboardWillShowNotification{"UIKeyboardWillShowNotification"};
inline const zvt::StaticString UIKeyboardDidShowNotification{"UIKeyboardDidShowNotification"};
inline const zvt::StaticString UIKeyboardWillHideNotification{"UIKeyboardWillHideNotification"};
inline const zvt::StaticString UIKeyboardDidHideNotification{"UIKeyboardDidHideNotification"};
inline const zvt::StaticString UIKeyboardWillChangeFrameNotification{"UIKeyboardWillChangeFrameNotification"};
inline const zvt::StaticString UIKeyboardDidChangeFrameNotification{"UIKeyboardDidChangeFrameNotification"};

inline const zvt::StaticString UIKeyboardFrameBeginUserInfoKey{"UIKeyboardFrameBeginUserInfoKey"};
inline const zvt::StaticString UIKeyboardFrameEndUserInfoKey{"UIKeyboardFrameEndUserInfoKey"};
inline const zvt::StaticString UIKeyboardAnimationDurationUserInfoKey{"UIKeyboardAnimationDurationUserInfoKey"};
inline const zvt::StaticString UIKeyboardAnimationCurveUserInfoKey{"UIKeyboardAnimationCurveUserInfoKey"};
inline const zvt::StaticString UIKeyboardIsLocalUserInfoKey{"UIKeyboardIsLocalUserInfoKey"};
inline const zvt::StaticString UIKeyboardCenterBeginUserInfoKey{"UIKeyboardCenterBeginUserInfoKey"};
inline const zvt::StaticString UIKeyboardCenterEndUserInfoKey{"UIKeyboardCenterEndUserInfoKey"};
inline const zvt::StaticString UIKeyboardBoundsUserInfoKey{"UIKeyboardBoundsUserInfoKey"};

namespace zvt::ui {

// Text controls that announce the keyboard themselves (at UIKit's point in their editing
// callbacks) derive from this.
class KeyboardClient {
 public:
  virtual ~KeyboardClient() = default;
};

class Keyboard {
 public:
  static constexpr CGFloat kHeight = 216;
  static constexpr NSTimeInterval kAnimationDuration = 0.25;
  static constexpr NSInteger kAnimationCurve = 7;
  static constexpr UIWindowLevel kWindowLevel = 10000000;

  static Keyboard& shared();

  // On screen (or sliding onto it).
  bool isShown() const { return shown_; }
  // The shown keyboard's frame in screen coordinates (where it would be when hidden).
  CGRect frame() const;
  // The keyboard type of the responder it types into.
  UIKeyboardType type() const { return type_; }
  // The window the keyboard is drawn in: made when the keyboard comes, gone once it has left.
  const std::shared_ptr<UIWindow>& window();

  // --- what the text inputs call
  // The responder became first responder (or, already first, asks again): show the keyboard
  // for it, or announce it again when it is already shown.
  void show(const std::shared_ptr<UIResponder>& input);
  // The responder resigned: hide the keyboard unless another key-input responder takes over.
  void hide(const UIResponder& input);
  // For UIResponder: a responder became or stopped being first responder.
  void firstResponderChanged(const UIResponder& responder, bool became);

  // --- alerts: the keyboard goes away while one shows (without text fields), and comes back
  // for a first responder still there when the last one is gone.
  void suspend();
  void resume();

  // --- what the device asks
  bool canType(std::string_view character) const;
  bool hasReturnKey() const;

  // Posts at once the did-notifications of a slide still under way.
  void finishSlide();

 private:
  Keyboard() = default;
  void post(const std::shared_ptr<NSString>& name, CGRect begin, CGRect end);
  CGRect hiddenFrame() const;
  void slide(bool in, CGRect begin, CGRect end);

  std::shared_ptr<UIWindow> window_;
  std::weak_ptr<UIResponder> owner_;
  UIKeyboardType type_ = UIKeyboardTypeDefault;
  bool shown_ = false;
  int suspended_ = 0;
  // The slide under way: its did-notifications wait for its end.
  std::shared_ptr<NSTimer> slideTimer_;
  bool slideIn_ = false;
  CGRect slideBegin_{}, slideEnd_{};
};

}  // namespace zvt::ui
