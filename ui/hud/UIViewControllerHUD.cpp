#include <cstdint>

#include "platform/uikit/UIViewController.h"
#include "ui/hud/POProgressHUD.h"

void hideHud(const std::shared_ptr<UIViewController>& controller) {
  if (!controller) return;
  POProgressHUD::hideHUDForView(controller->view(), true);
}

void showLoadingHud(const std::shared_ptr<UIViewController>& controller) {
  if (!controller) return;
  hideHud(controller);
  POProgressHUD::showHUDAddedTo(controller->view(), true);
}

void showTipHudWithText(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                        NSInteger mode, double duration, zvt::hud::TipBlock completion) {
  if (!controller) return;
  hideHud(controller);
  auto hud = POProgressHUD::showHUDAddedTo(controller->view(), true);
  hud->setMode(mode);
  hud->setLabelText(text);
  hud->setRemoveFromSuperViewOnHide(true);
  if (duration <= 0) return;
  auto nanos = static_cast<int64_t>(duration * 1000000000.0);
  // The delayed step hides the tip it showed, not whatever overlay is on top by then: a
  // loading overlay shown meanwhile belongs to a request that is still running. The step keeps
  // the controller (and so its completion's captures) until it has run.
  std::weak_ptr<POProgressHUD> tip = hud;
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, nanos), dispatch_get_main_queue(),
                 [controller, tip, completion = std::move(completion)] {
                   auto shown = tip.lock();
                   if (shown && shown->superview() == controller->view() && shown->isShowing()) {
                     shown->setRemoveFromSuperViewOnHide(true);
                     shown->hide(true);
                   }
                   if (completion) completion();
                 });
}

void showTipHudWithText(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text) {
  showTipHudWithText(controller, text, POProgressHUDModeText, 2.0, nullptr);
}

void showAlwaysTipHudWithText(const std::shared_ptr<UIViewController>& controller,
                              const std::shared_ptr<NSString>& text) {
  showTipHudWithText(controller, text, POProgressHUDModeText, 0.0, nullptr);
}

void showTipHudWithText(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                        double duration, zvt::hud::TipBlock completion) {
  showTipHudWithText(controller, text, POProgressHUDModeText, duration, std::move(completion));
}

void showTextHud(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                 double duration, zvt::hud::TipBlock completion) {
  showTipHudWithText(controller, text, POProgressHUDModeIndeterminate, duration, std::move(completion));
}
