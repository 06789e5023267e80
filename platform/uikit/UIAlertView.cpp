#include "platform/uikit/UIAlertView.h"

#include "platform/foundation/NSException.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/internal/AlertPresentation.h"

using zvt::ui::AlertPanel;
using zvt::ui::AlertPresenter;

UIAlertView::UIAlertView() = default;

std::shared_ptr<UIAlertView> UIAlertView::initWithTitle(const std::shared_ptr<NSString>& title,
                                                        const std::shared_ptr<NSString>& message,
                                                        const std::shared_ptr<UIAlertViewDelegate>& delegate,
                                                        const std::shared_ptr<NSString>& cancelButtonTitle,
                                                        const std::vector<std::shared_ptr<NSString>>& otherButtonTitles) {
  auto alert = make();
  alert->title_ = title;
  alert->message_ = message;
  alert->delegate_ = delegate;
  if (cancelButtonTitle) alert->cancelButtonIndex_ = alert->addButtonWithTitle(cancelButtonTitle);
  for (const auto& other : otherButtonTitles) alert->addButtonWithTitle(other);
  return alert;
}

std::shared_ptr<UIAlertView> UIAlertView::alertSelf() { return std::static_pointer_cast<UIAlertView>(viewSelf()); }

NSInteger UIAlertView::addButtonWithTitle(const std::shared_ptr<NSString>& title) {
  zvt::ui::assertMainThread("UIAlertView::addButtonWithTitle");
  if (!title) return -1;
  buttons_.push_back(title->copy());
  return static_cast<NSInteger>(buttons_.size()) - 1;
}

std::shared_ptr<NSString> UIAlertView::buttonTitleAtIndex(NSInteger buttonIndex) const {
  if (buttonIndex < 0 || buttonIndex >= numberOfButtons()) return nullptr;
  return buttons_[static_cast<size_t>(buttonIndex)];
}

NSInteger UIAlertView::firstOtherButtonIndex() const {
  for (NSInteger i = 0; i < numberOfButtons(); ++i)
    if (i != cancelButtonIndex_) return i;
  return -1;
}

void UIAlertView::setAlertViewStyle(UIAlertViewStyle style) {
  zvt::ui::assertMainThread("UIAlertView::setAlertViewStyle");
  style_ = style;
  fields_.clear();
  auto self = alertSelf();
  auto addField = [&](bool secure, const char* placeholder) {
    auto field = UITextField::make();
    field->setSecureTextEntry(secure);
    if (placeholder) field->setPlaceholder(NSString::stringWithUTF8String(placeholder));
    field->addTarget(self, SEL(&UIAlertView::textChanged), UIControlEventEditingChanged);
    fields_.push_back(field);
  };
  switch (style) {
    case UIAlertViewStylePlainTextInput: addField(false, nullptr); break;
    case UIAlertViewStyleSecureTextInput: addField(true, nullptr); break;
    case UIAlertViewStyleLoginAndPasswordInput:
      addField(false, "登录");
      addField(true, "密码");
      break;
    default: break;
  }
}

std::shared_ptr<UITextField> UIAlertView::textFieldAtIndex(NSInteger index) const {
  if (index < 0 || index >= static_cast<NSInteger>(fields_.size()))
    NSException::raise(NSRangeException, "textFieldIndex (%ld) is outside of the bounds of the array of text fields",
                       static_cast<long>(index));
  return fields_[static_cast<size_t>(index)];
}

void UIAlertView::textChanged() {
  NSInteger first = firstOtherButtonIndex();
  if (!panel_ || first < 0) return;
  auto d = delegate();
  panel_->setButtonEnabled(first, !d || d->alertViewShouldEnableFirstOtherButton(alertSelf()));
}

void UIAlertView::show() {
  zvt::ui::assertMainThread("UIAlertView::show");
  if (visible_) return;
  auto self = alertSelf();
  std::vector<zvt::ui::AlertButtonSpec> specs;
  for (NSInteger i = 0; i < numberOfButtons(); ++i) {
    zvt::ui::AlertButtonSpec blueprint;
    blueprint.title = buttons_[static_cast<size_t>(i)];
    blueprint.index = i;
    blueprint.cancel = i == cancelButtonIndex_;
    specs.push_back(blueprint);
  }
  panel_ = AlertPanel::make(AlertPanel::Style::kAlert, title_, message_, specs, fields_);
  std::weak_ptr<UIAlertView> weak = self;
  panel_->onTap = [weak](NSInteger index) {
    if (auto alert = weak.lock()) alert->tapped(index);
  };
  visible_ = true;
  dismissing_ = false;
  if (auto d = delegate()) d->willPresentAlertView(self);
  textChanged();
  AlertPresenter::shared().present(panel_, self, true, [weak] {
    auto alert = weak.lock();
    if (!alert || !alert->visible_ || alert->dismissing_) return;
    if (auto d = alert->delegate()) d->didPresentAlertView(alert);
  });
}

void UIAlertView::tapped(NSInteger index) {
  if (!visible_ || dismissing_) return;
  auto self = alertSelf();
  if (auto d = delegate()) d->alertViewClickedButtonAtIndex(self, index);
  dismissWithClickedButtonIndex(index, true);
}

void UIAlertView::dismissWithClickedButtonIndex(NSInteger buttonIndex, bool animated) {
  zvt::ui::assertMainThread("UIAlertView::dismissWithClickedButtonIndex");
  if (!visible_ || dismissing_) return;
  auto self = alertSelf();
  dismissing_ = true;
  if (auto d = delegate()) d->alertViewWillDismissWithButtonIndex(self, buttonIndex);
  auto panel = panel_;
  AlertPresenter::shared().dismiss(panel, animated, [self, buttonIndex] {
    self->visible_ = false;
    self->dismissing_ = false;
    self->panel_.reset();
    if (auto d = self->delegate()) d->alertViewDidDismissWithButtonIndex(self, buttonIndex);
  });
}
