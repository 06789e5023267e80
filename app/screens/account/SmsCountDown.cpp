#include "app/screens/account/SmsCountDown.h"

#include "app/api/APIClient.h"
#include "app/screens/account/AccountForm.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "platform/uikit/UIApplication.h"
#include "ui/hud/POProgressHUD.h"

namespace zvt::account {

namespace {
// The owner as the timer's handler holds it: let go of on the main queue, so that a form whose
// screen has closed is destroyed on the main thread, never on the timer's worker.
struct MainThreadHold {
  std::shared_ptr<void> owner;
  ~MainThreadHold() {
    if (owner) dispatch_async(dispatch_get_main_queue(), [owner = std::move(owner)] {});
  }
};
}  // namespace

void SmsCountDown::onMain(uint64_t generation, std::function<void(UIButton&)> change) {
  std::weak_ptr<SmsCountDown> weakSelf = weak_from_this();
  dispatch_async(dispatch_get_main_queue(), [weakSelf, generation, change = std::move(change)] {
    auto self = weakSelf.lock();
    if (!self || self->generation_.load() != generation) return;
    if (auto button = self->button_.lock()) change(*button);
  });
}

void SmsCountDown::start(const std::shared_ptr<void>& owner) {
  if (auto button = button_.lock()) {
    button->setSelected(true);
    button->setUserInteractionEnabled(false);
    button->layer()->setBorderColor(separatorColor()->CGColor());
  }
  auto timer = dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0,
                                      dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0));
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (timer_) dispatch_source_cancel(timer_);
    timer_ = timer;
    counting_ = true;
    generation = ++generation_;
  }
  dispatch_source_set_timer(timer, dispatch_time(DISPATCH_TIME_NOW, 0), NSEC_PER_SEC, 0);
  // The counter belongs to the handler; firings of one source never overlap.
  auto self = shared_from_this();
  auto counter = std::make_shared<int>(kSeconds);
  auto hold = std::make_shared<MainThreadHold>(MainThreadHold{owner});
  dispatch_source_set_event_handler(timer, [self, hold, counter, generation] {
    if (*counter < 1) {
      // Only the count-down this timer belongs to may be ended by it.
      if (self->generation_.load() == generation) self->end();
      return;
    }
    auto title = NSString::stringWithFormat("%@秒后重新获取", NSString::stringWithFormat("%d", *counter));
    self->onMain(generation, [title](UIButton& button) { button.setTitle(title, UIControlStateSelected); });
    --*counter;
  });
  dispatch_resume(timer);
}

void SmsCountDown::end() {
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!timer_) return;
    dispatch_source_cancel(timer_);
    counting_ = false;
    generation = ++generation_;
  }
  onMain(generation, [](UIButton& button) {
    button.setSelected(false);
    button.setUserInteractionEnabled(true);
    button.layer()->setBorderColor(zvt::actionColor()->CGColor());
    button.setTitle("重新获取"_ns, UIControlStateNormal);
  });
}

dispatch_source_t SmsCountDown::timer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timer_;
}

bool SmsCountDown::isCounting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counting_;
}

void requestRegisterCode(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& phone,
                         const std::shared_ptr<bool>& pending, std::function<void()> sent) {
  if (!screen || (pending && *pending)) return;
  if (!phone || phone->length() == 0) {
    showWithTitle(nullptr, "请输入手机号码"_ns);
    return;
  }
  UIApplication::sharedApplication()->sendAction(SEL(&UIResponder::resignFirstResponder), nullptr, nullptr, nullptr);
  showTipHudWithText(screen, "获取中..."_ns);
  if (pending) *pending = true;
  // The completion keeps the screen until the reply has come.
  APIClient::getVerificationCodeWithParameter(
      NSDictionary::make({{"phoneNumber"_ns, phone}}),
      [screen, pending, sent = std::move(sent)](bool success, const std::shared_ptr<NSString>& message) {
        if (pending) *pending = false;
        hideHud(screen);
        if (success) {
          if (sent) sent();
        } else {
          showWithTitle(nullptr, message);
        }
      });
}

}  // namespace zvt::account
