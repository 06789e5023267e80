#include "app/ui/UIAlertView+TapBlocks.h"

namespace {

// The alert's own delegate: the blocks, and the delegate that was there before.
class TapBlocksDelegate : public UIAlertViewDelegate, public NSObject {
 public:
  std::weak_ptr<UIAlertViewDelegate> previous;
  UIAlertViewCompletionBlock tap, willDismiss, didDismiss;
  UIAlertViewBlock willPresent, didPresent, cancel;
  UIAlertViewShouldEnableBlock shouldEnable;

  void alertViewClickedButtonAtIndex(const std::shared_ptr<UIAlertView>& alert, NSInteger index) override {
    if (auto block = tap) block(alert, index);
    if (auto p = previous.lock()) p->alertViewClickedButtonAtIndex(alert, index);
  }
  void alertViewCancel(const std::shared_ptr<UIAlertView>& alert) override {
    if (auto block = cancel) block(alert);
    if (auto p = previous.lock()) p->alertViewCancel(alert);
  }
  void willPresentAlertView(const std::shared_ptr<UIAlertView>& alert) override {
    if (auto block = willPresent) block(alert);
    if (auto p = previous.lock()) p->willPresentAlertView(alert);
  }
  void didPresentAlertView(const std::shared_ptr<UIAlertView>& alert) override {
    if (auto block = didPresent) block(alert);
    if (auto p = previous.lock()) p->didPresentAlertView(alert);
  }
  void alertViewWillDismissWithButtonIndex(const std::shared_ptr<UIAlertView>& alert, NSInteger index) override {
    if (auto block = willDismiss) block(alert, index);
    if (auto p = previous.lock()) p->alertViewWillDismissWithButtonIndex(alert, index);
  }
  void alertViewDidDismissWithButtonIndex(const std::shared_ptr<UIAlertView>& alert, NSInteger index) override {
    if (auto block = didDismiss) block(alert, index);
    if (auto p = previous.lock()) p->alertViewDidDismissWithButtonIndex(alert, index);
  }
  bool alertViewShouldEnableFirstOtherButton(const std::shared_ptr<UIAlertView>& alert) override {
    if (shouldEnable) return shouldEnable(alert);
    if (auto p = previous.lock()) return p->alertViewShouldEnableFirstOtherButton(alert);
    return true;
  }
};

const char kDelegateKey = 0;

std::shared_ptr<TapBlocksDelegate> existing(const std::shared_ptr<UIAlertView>& alert) {
  return alert ? std::dynamic_pointer_cast<TapBlocksDelegate>(alert->associatedObject(&kDelegateKey)) : nullptr;
}

// Makes the alert its own delegate (once) and answers the forwarding delegate.
std::shared_ptr<TapBlocksDelegate> ownDelegate(const std::shared_ptr<UIAlertView>& alert) {
  auto own = existing(alert);
  if (!own) {
    own = std::make_shared<TapBlocksDelegate>();
    alert->setAssociatedObject(&kDelegateKey, own);
  }
  auto current = alert->delegate();
  if (current.get() != static_cast<UIAlertViewDelegate*>(own.get())) {
    own->previous = current;
    alert->setDelegate(own);
  }
  return own;
}

}  // namespace

std::shared_ptr<UIAlertView> showWithTitle(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& message,
                                           UIAlertViewStyle style, const std::shared_ptr<NSString>& cancelButtonTitle,
                                           const std::vector<std::shared_ptr<NSString>>& otherButtonTitles,
                                           UIAlertViewCompletionBlock block) {
  std::vector<std::shared_ptr<NSString>> first;
  if (!otherButtonTitles.empty()) first.push_back(otherButtonTitles.front());
  auto alert = UIAlertView::initWithTitle(title, message, nullptr, cancelButtonTitle, first);
  alert->setAlertViewStyle(style);
  for (size_t i = 1; i < otherButtonTitles.size(); ++i) alert->addButtonWithTitle(otherButtonTitles[i]);
  if (block) setTapBlock(alert, std::move(block));
  alert->show();
  return alert;
}

std::shared_ptr<UIAlertView> showWithTitle(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& message,
                                           const std::shared_ptr<NSString>& cancelButtonTitle,
                                           const std::vector<std::shared_ptr<NSString>>& otherButtonTitles,
                                           UIAlertViewCompletionBlock block) {
  return showWithTitle(title, message, UIAlertViewStyleDefault, cancelButtonTitle, otherButtonTitles, std::move(block));
}

std::shared_ptr<UIAlertView> showWithTitle(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& message) {
  return showWithTitle(title, message, UIAlertViewStyleDefault, "确定"_ns, {}, nullptr);
}

void setTapBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewCompletionBlock block) {
  ownDelegate(alert)->tap = std::move(block);
}
void setWillDismissBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewCompletionBlock block) {
  ownDelegate(alert)->willDismiss = std::move(block);
}
void setDidDismissBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewCompletionBlock block) {
  ownDelegate(alert)->didDismiss = std::move(block);
}
void setWillPresentBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewBlock block) {
  ownDelegate(alert)->willPresent = std::move(block);
}
void setDidPresentBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewBlock block) {
  ownDelegate(alert)->didPresent = std::move(block);
}
void setCancelBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewBlock block) {
  ownDelegate(alert)->cancel = std::move(block);
}
void setShouldEnableFirstOtherButtonBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewShouldEnableBlock block) {
  ownDelegate(alert)->shouldEnable = std::move(block);
}

UIAlertViewCompletionBlock tapBlock(const std::shared_ptr<UIAlertView>& alert) {
  auto own = existing(alert);
  return own ? own->tap : nullptr;
}
UIAlertViewCompletionBlock willDismissBlock(const std::shared_ptr<UIAlertView>& alert) {
  auto own = existing(alert);
  return own ? own->willDismiss : nullptr;
}
UIAlertViewCompletionBlock didDismissBlock(const std::shared_ptr<UIAlertView>& alert) {
  auto own = existing(alert);
  return own ? own->didDismiss : nullptr;
}
UIAlertViewBlock willPresentBlock(const std::shared_ptr<UIAlertView>& alert) {
  auto own = existing(alert);
  return own ? own->willPresent : nullptr;
}
UIAlertViewBlock didPresentBlock(const std::shared_ptr<UIAlertView>& alert) {
  auto own = existing(alert);
  return own ? own->didPresent : nullptr;
}
UIAlertViewBlock cancelBlock(const std::shared_ptr<UIAlertView>& alert) {
  auto own = existing(alert);
  return own ? own->cancel : nullptr;
}
UIAlertViewShouldEnableBlock shouldEnableFirstOtherButtonBlock(const std::shared_ptr<UIAlertView>& alert) {
  auto own = existing(alert);
  return own ? own->shouldEnable : nullptr;
}
