#pragma once
// The 60-second count-down of an SMS code button, one object that each form with such a button
// owns (registration, binding, reset, phone verification); the form's startCountDown,
// endCountDown and mytimer are this object's start, end and timer.
//
// Counting: the button is selected (its selected title "%@秒后重新获取" with the seconds left, in
// grey), takes no touches and has the border RGB 222. It shows 60 at once, then 59 .. 1 a
// second apart; the firing at 60 s ends the count-down: not selected, touches, orange border,
// the normal title "重新获取". The timer is a one-second dispatch timer on the default global
// queue; every change to the button is made on the main queue.
//
// Two rules keep a count-down from stopping early or never stopping:
// - start cancels a running timer first, so there is only ever one, and a cancelled timer can
//   never call end again for a later count-down;
// - every change to the button is tagged with the count-down's generation and dropped on the
//   main queue when start or end ran after it was queued, so a tick queued before an early end
//   cannot leave the button selected and untouchable with no timer behind it.
// The timer's handler holds the owning form strongly (a form whose screen closed lives on until
// its count-down ends), never past the end: cancelling releases the handler.

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/foundation/Dispatch.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::account {

class SmsCountDown : public std::enable_shared_from_this<SmsCountDown> {
 public:
  static constexpr int kSeconds = 60;

  static std::shared_ptr<SmsCountDown> make(const std::shared_ptr<UIButton>& button) {
    return std::shared_ptr<SmsCountDown>(new SmsCountDown(button));
  }

  // Starts a count-down (main thread); `owner` is kept alive by the timer until it ends.
  void start(const std::shared_ptr<void>& owner);
  // Ends the count-down and restores the button; nothing when no count-down was ever started.
  // Any thread.
  void end();

  // The current (or last, cancelled) timer; nil before the first count-down.
  dispatch_source_t timer() const;
  bool isCounting() const;

 private:
  explicit SmsCountDown(const std::shared_ptr<UIButton>& button) : button_(button) {}
  // Runs `change` on the main queue unless another start or end came in between.
  void onMain(uint64_t generation, std::function<void(UIButton&)> change);

  std::weak_ptr<UIButton> button_;
  mutable std::mutex mutex_;
  dispatch_source_t timer_;
  bool counting_ = false;
  std::atomic<uint64_t> generation_{0};
};

// The code request of the registration and binding screens: an empty number shows
// "请输入手机号码"; otherwise editing ends, the tip "获取中..." shows and m=get_register_code goes
// out with the number; on the main queue the tip hides and `sent` runs on success, or the
// client's message shows. `pending` is set while the request is out, and a request made while
// it is set is ignored, so that a double tap never starts two count-downs.
void requestRegisterCode(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& phone,
                         const std::shared_ptr<bool>& pending, std::function<void()> sent);

}  // namespace zvt::account
