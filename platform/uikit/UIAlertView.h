#pragma once
// Alert views (UIAlertView): a title, a message, buttons and optionally text fields, shown in a
// window of their own over the application (see internal/AlertPresentation.h for the look).
//
// Buttons are numbered in the order they were added: the cancel button first (index 0) when
// there is one, then the other buttons. With two buttons they show side by side, the cancel
// button on the left; with more, one above the other and the cancel button last.
//
// The delegate (held weakly) hears: willPresentAlertView, then didPresentAlertView when the
// alert has appeared; for a tap, alertViewClickedButtonAtIndex, then
// alertViewWillDismissWithButtonIndex at once and alertViewDidDismissWithButtonIndex when it
// has gone (dismissWithClickedButtonIndex from code calls the two dismiss callbacks only).
// alertViewShouldEnableFirstOtherButton is asked when the alert shows and after each edit of
// its text fields. The alert keeps itself alive while it shows. The device finds its texts and
// taps its buttons by their titles.

#include <memory>
#include <vector>

#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIView.h"

class UIAlertView;
namespace zvt::ui {
class AlertPanel;
}

enum UIAlertViewStyle : NSInteger {
  UIAlertViewStyleDefault = 0,
  UIAlertViewStyleSecureTextInput,
  UIAlertViewStylePlainTextInput,
  UIAlertViewStyleLoginAndPasswordInput,
};

// UIAlertViewDelegate; the defaults do what the device does for a delegate without the method.
class UIAlertViewDelegate {
 public:
  virtual ~UIAlertViewDelegate() = default;
  // alertView:clickedButtonAtIndex:
  virtual void alertViewClickedButtonAtIndex(const std::shared_ptr<UIAlertView>& /*alertView*/,
                                             NSInteger /*buttonIndex*/) {}
  virtual void alertViewCancel(const std::shared_ptr<UIAlertView>& /*alertView*/) {}
  virtual void willPresentAlertView(const std::shared_ptr<UIAlertView>& /*alertView*/) {}
  virtual void didPresentAlertView(const std::shared_ptr<UIAlertView>& /*alertView*/) {}
  // alertView:willDismissWithButtonIndex: and alertView:didDismissWithButtonIndex:
  virtual void alertViewWillDismissWithButtonIndex(const std::shared_ptr<UIAlertView>& /*alertView*/,
                                                   NSInteger /*buttonIndex*/) {}
  virtual void alertViewDidDismissWithButtonIndex(const std::shared_ptr<UIAlertView>& /*alertView*/,
                                                  NSInteger /*buttonIndex*/) {}
  virtual bool alertViewShouldEnableFirstOtherButton(const std::shared_ptr<UIAlertView>& /*alertView*/) {
    return true;
  }
};

class UIAlertView : public UIView {
 public:
  UIAlertView();
  // initWithTitle:message:delegate:cancelButtonTitle:otherButtonTitles:... (nil-terminated
  // there, a list here). Nil titles add no button.
  static std::shared_ptr<UIAlertView> initWithTitle(const std::shared_ptr<NSString>& title,
                                                    const std::shared_ptr<NSString>& message,
                                                    const std::shared_ptr<UIAlertViewDelegate>& delegate,
                                                    const std::shared_ptr<NSString>& cancelButtonTitle,
                                                    const std::vector<std::shared_ptr<NSString>>& otherButtonTitles = {});
  static std::shared_ptr<UIAlertView> make() { return makeView<UIAlertView>(CGRectZero); }

  std::shared_ptr<NSString> title() const { return title_; }
  void setTitle(const std::shared_ptr<NSString>& title) { title_ = title; }
  std::shared_ptr<NSString> message() const { return message_; }
  void setMessage(const std::shared_ptr<NSString>& message) { message_ = message; }
  std::shared_ptr<UIAlertViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UIAlertViewDelegate>& delegate) { delegate_ = delegate; }

  // Returns the new button's index.
  NSInteger addButtonWithTitle(const std::shared_ptr<NSString>& title);
  // nil for an index out of range.
  std::shared_ptr<NSString> buttonTitleAtIndex(NSInteger buttonIndex) const;
  NSInteger numberOfButtons() const { return static_cast<NSInteger>(buttons_.size()); }
  // -1 when there is none.
  NSInteger cancelButtonIndex() const { return cancelButtonIndex_; }
  void setCancelButtonIndex(NSInteger index) { cancelButtonIndex_ = index; }
  // The first button that is not the cancel button, or -1.
  NSInteger firstOtherButtonIndex() const;

  UIAlertViewStyle alertViewStyle() const { return style_; }
  void setAlertViewStyle(UIAlertViewStyle style);
  // The style's fields: one for the plain and secure styles, two (login, password) for the
  // login style. Raises NSRangeException for another index, as the device does.
  std::shared_ptr<UITextField> textFieldAtIndex(NSInteger index) const;

  bool isVisible() const { return visible_; }
  void show();
  void dismissWithClickedButtonIndex(NSInteger buttonIndex, bool animated);

 private:
  std::shared_ptr<UIAlertView> alertSelf();
  void tapped(NSInteger index);
  void textChanged();

  std::shared_ptr<NSString> title_, message_;
  std::weak_ptr<UIAlertViewDelegate> delegate_;
  std::vector<std::shared_ptr<NSString>> buttons_;
  std::vector<std::shared_ptr<UITextField>> fields_;
  std::shared_ptr<zvt::ui::AlertPanel> panel_;
  NSInteger cancelButtonIndex_ = -1;
  UIAlertViewStyle style_ = UIAlertViewStyleDefault;
  bool visible_ = false;
  bool dismissing_ = false;
};
