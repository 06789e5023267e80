#pragma once
// The system's alerts and action sheets as views (the panel), and how they are shown: each in a
// window of its own at the alert level, over a dimmed screen. Shared by UIAlertView and
// UIAlertController. Internal to platform/uikit.
//
// Panels:
// - Alert: 270 points wide, centred on the screen (above the keyboard while it shows): the
//   title (bold, 17 points) and the message (13 points) centred, the text fields, then the
//   buttons, 44 points high: side by side when there are two, else one above the other.
// - Action sheet: as wide as the screen less 10 points each side, at the bottom: the title and
//   message (13 points, grey), the buttons one above the other, and the cancel button apart
//   below them. A tap on the dimmed screen around it is its cancel button's, when it has one.
// Buttons are the system blue, the cancel button of an alert bold, destructive ones red; each
// carries its owner's index.
//
// Showing: the newest alert is in front and the older ones wait hidden behind it until it is
// gone; the alert's window is the key window meanwhile. An alert without text fields sends the
// keyboard away while it shows. Alerts appear and go over 0.25 s on the run loop's clock; their
// model values change at once (a dismissed alert is no longer found or hit).

#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIWindow.h"

namespace zvt::ui {

struct AlertButtonSpec {
  std::shared_ptr<NSString> title;
  NSInteger index = 0;
  bool cancel = false;
  bool destructive = false;
  bool enabled = true;
  std::shared_ptr<UIColor> titleColor;  // nil: the style's
};

class AlertPanel : public UIView {
 public:
  enum class Style { kAlert, kActionSheet };
  static constexpr NSTimeInterval kAnimationDuration = 0.25;

  // Buttons in the order given (their display order follows the rules above).
  static std::shared_ptr<AlertPanel> make(Style style, const std::shared_ptr<NSString>& title,
                                          const std::shared_ptr<NSString>& message,
                                          const std::vector<AlertButtonSpec>& buttons,
                                          const std::vector<std::shared_ptr<UITextField>>& textFields);

  Style style() const { return style_; }
  // Called with the button's index when it is tapped (also for a tap beside an action sheet
  // that has a cancel button).
  std::function<void(NSInteger index)> onTap;
  const std::vector<std::shared_ptr<UITextField>>& textFields() const { return textFields_; }
  // The buttons, in the order they show.
  const std::vector<std::shared_ptr<UIButton>>& buttons() const { return buttons_; }
  void setButtonEnabled(NSInteger index, bool enabled);
  // Where the panel goes on a screen of the size with the keyboard's top at keyboardTop.
  void placeOnScreen(CGSize screen, CGFloat keyboardTop);
  // The cancel button's index, or -1.
  NSInteger cancelIndex() const { return cancelIndex_; }

  void layoutSubviews() override;

 private:
  void build(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& message,
             const std::vector<AlertButtonSpec>& buttons);
  void tapped(const std::shared_ptr<UIButton>& button);
  CGFloat heightForWidth(CGFloat width) const;

  Style style_ = Style::kAlert;
  std::shared_ptr<UIView> card_;        // the white rounded panel (the sheet's upper group)
  std::shared_ptr<UIView> cancelCard_;  // the sheet's cancel group
  std::shared_ptr<UILabel> titleLabel_, messageLabel_;
  std::vector<std::shared_ptr<UITextField>> textFields_;
  std::vector<std::shared_ptr<UIButton>> buttons_;
  std::vector<std::shared_ptr<UIView>> separators_;
  NSInteger cancelIndex_ = -1;
  bool sideBySide_ = false;
};

class AlertPresenter {
 public:
  static AlertPresenter& shared();

  // Shows the panel in front, holding `owner` until it is dismissed; `presented` runs when it
  // has appeared.
  void present(const std::shared_ptr<AlertPanel>& panel, const id& owner, bool animated,
               std::function<void()> presented);
  // Takes it away; `dismissed` runs when it has gone (the owner is released after that).
  void dismiss(const std::shared_ptr<AlertPanel>& panel, bool animated, std::function<void()> dismissed);
  bool isPresented(const AlertPanel& panel) const;
  size_t count() const { return stack_.size(); }

 private:
  struct Entry {
    std::shared_ptr<AlertPanel> panel;
    std::shared_ptr<UIWindow> window;
    id owner;
  };
  void place(Entry& entry);
  void keyboardChanged();

  std::vector<Entry> stack_;
  std::weak_ptr<UIWindow> keyBefore_;
  id keyboardObserver_;
};

}  // namespace zvt::ui
