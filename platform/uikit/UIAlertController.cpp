#include "platform/uikit/UIAlertController.h"

#include "platform/foundation/NSException.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/internal/AlertPresentation.h"

using zvt::ui::AlertPanel;
using zvt::ui::AlertPresenter;

// --- actions ------------------------------------------------------------------------------------

std::shared_ptr<UIAlertAction> UIAlertAction::actionWithTitle(const std::shared_ptr<NSString>& title,
                                                              UIAlertActionStyle style, Handler handler) {
  auto action = std::make_shared<UIAlertAction>();
  action->title_ = title ? title->copy() : nullptr;
  action->style_ = style;
  action->handler_ = std::move(handler);
  return action;
}

void UIAlertAction::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (auto controller = controller_.lock()) controller->actionEnabledChanged(*this);
}

// --- the controller -----------------------------------------------------------------------------

std::shared_ptr<UIAlertController> UIAlertController::alertControllerWithTitle(const std::shared_ptr<NSString>& title,
                                                                               const std::shared_ptr<NSString>& message,
                                                                               UIAlertControllerStyle preferredStyle) {
  auto controller = std::make_shared<UIAlertController>();
  controller->setTitle(title);
  controller->message_ = message;
  controller->preferredStyle_ = preferredStyle;
  // It does not cover what presents it: the panel shows in a window of its own.
  controller->setModalPresentationStyle(UIModalPresentationCustom);
  controller->setModalTransitionStyle(UIModalTransitionStyleCrossDissolve);
  return controller;
}

void UIAlertController::setTitle(const std::shared_ptr<NSString>& title) { UIViewController::setTitle(title); }

void UIAlertController::addAction(const std::shared_ptr<UIAlertAction>& action) {
  zvt::ui::assertMainThread("UIAlertController::addAction");
  if (!action) return;
  if (action->style() == UIAlertActionStyleCancel)
    for (const auto& a : actions_)
      if (a->style() == UIAlertActionStyleCancel)
        zvt::raise(NSInternalInconsistencyException,
                   "UIAlertController can only have one action with a style of UIAlertActionStyleCancel");
  action->controller_ = std::static_pointer_cast<UIAlertController>(controllerSelf());
  actions_.push_back(action);
}

void UIAlertController::addTextFieldWithConfigurationHandler(
    std::function<void(const std::shared_ptr<UITextField>& textField)> handler) {
  zvt::ui::assertMainThread("UIAlertController::addTextFieldWithConfigurationHandler");
  if (preferredStyle_ != UIAlertControllerStyleAlert)
    zvt::raise(NSInternalInconsistencyException,
               "Text fields can only be added to an alert controller of style UIAlertControllerStyleAlert");
  auto field = UITextField::make();
  if (handler) handler(field);
  textFields_.push_back(field);
}

void UIAlertController::loadView() {
  // A clear view in the presentation; the panel shows in the alert's window.
  auto view = UIView::make();
  view->setOpaque(false);
  view->setBackgroundColor(UIColor::clearColor());
  view->setUserInteractionEnabled(false);
  setView(view);
}

void UIAlertController::viewWillAppear(bool animated) {
  UIViewController::viewWillAppear(animated);
  if (panel_) return;
  auto self = std::static_pointer_cast<UIAlertController>(controllerSelf());
  std::vector<zvt::ui::AlertButtonSpec> specs;
  for (size_t i = 0; i < actions_.size(); ++i) {
    const auto& action = actions_[i];
    zvt::ui::AlertButtonSpec blueprint;
    blueprint.title = action->title();
    blueprint.index = static_cast<NSInteger>(i);
    blueprint.cancel = action->style() == UIAlertActionStyleCancel;
    blueprint.destructive = action->style() == UIAlertActionStyleDestructive;
    blueprint.enabled = action->isEnabled();
    blueprint.titleColor = action->titleTextColor();
    specs.push_back(blueprint);
  }
  auto style = preferredStyle_ == UIAlertControllerStyleActionSheet ? AlertPanel::Style::kActionSheet
                                                                     : AlertPanel::Style::kAlert;
  panel_ = AlertPanel::make(style, title(), message_, specs, textFields_);
  std::weak_ptr<UIAlertController> weak = self;
  panel_->onTap = [weak](NSInteger index) {
    if (auto controller = weak.lock()) controller->tapped(index);
  };
  acting_ = false;
  AlertPresenter::shared().present(panel_, self, animated, nullptr);
}

void UIAlertController::viewWillDisappear(bool animated) {
  UIViewController::viewWillDisappear(animated);
  if (!panel_) return;
  auto panel = std::move(panel_);
  AlertPresenter::shared().dismiss(panel, animated, nullptr);
}

void UIAlertController::actionEnabledChanged(const UIAlertAction& action) {
  if (!panel_) return;
  for (size_t i = 0; i < actions_.size(); ++i)
    if (actions_[i].get() == &action) panel_->setButtonEnabled(static_cast<NSInteger>(i), action.isEnabled());
}

void UIAlertController::tapped(NSInteger index) {
  if (acting_ || index < 0 || static_cast<size_t>(index) >= actions_.size()) return;
  auto action = actions_[static_cast<size_t>(index)];
  if (!action->isEnabled()) return;
  acting_ = true;
  auto keep = controllerSelf();
  // The handler runs once the alert is gone, so that it may present in its turn.
  dismissViewControllerAnimated(true, [action] {
    if (action->handler()) action->handler()(action);
  });
}
