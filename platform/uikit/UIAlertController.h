#pragma once
// Alert controllers (UIAlertController): an alert or an action sheet presented modally with
// presentViewController. The controller takes its place in the presentation (the presenter's
// presentedViewController is the alert until it is gone) and shows its panel in a window of its
// own over the application (internal/AlertPresentation.h): an alert's actions side by side when
// there are two (the cancel action on the left), else one above the other with the cancel
// action last; an action sheet's actions in order, the cancel action apart below them, and a tap
// beside the sheet counts as its cancel action.
//
// A tap on an action dismisses the alert; the action's handler runs once the dismissal has
// ended, so a handler may present another controller. A disabled action's button takes no taps.
// An action's title colour is a public property here, where the device's code sets the private
// key "titleTextColor".

#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIViewController.h"

class UIAlertController;
namespace zvt::ui {
class AlertPanel;
}

enum UIAlertActionStyle : NSInteger {
  UIAlertActionStyleDefault = 0,
  UIAlertActionStyleCancel,
  UIAlertActionStyleDestructive,
};

enum UIAlertControllerStyle : NSInteger {
  UIAlertControllerStyleActionSheet = 0,
  UIAlertControllerStyleAlert,
};

class UIAlertAction : public NSObject {
 public:
  using Handler = std::function<void(const std::shared_ptr<UIAlertAction>& action)>;
  static std::shared_ptr<UIAlertAction> actionWithTitle(const std::shared_ptr<NSString>& title, UIAlertActionStyle style,
                                                        Handler handler);

  const std::shared_ptr<NSString>& title() const { return title_; }
  UIAlertActionStyle style() const { return style_; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  // Ours, for the private "titleTextColor" (nil: the style's colour).
  const std::shared_ptr<UIColor>& titleTextColor() const { return titleTextColor_; }
  void setTitleTextColor(const std::shared_ptr<UIColor>& color) { titleTextColor_ = color; }
  const Handler& handler() const { return handler_; }

 private:
  friend class UIAlertController;
  std::shared_ptr<NSString> title_;
  UIAlertActionStyle style_ = UIAlertActionStyleDefault;
  Handler handler_;
  std::shared_ptr<UIColor> titleTextColor_;
  bool enabled_ = true;
  std::weak_ptr<UIAlertController> controller_;
};

class UIAlertController : public UIViewController {
 public:
  static std::shared_ptr<UIAlertController> alertControllerWithTitle(const std::shared_ptr<NSString>& title,
                                                                     const std::shared_ptr<NSString>& message,
                                                                     UIAlertControllerStyle preferredStyle);

  // Also the alert's title.
  void setTitle(const std::shared_ptr<NSString>& title) override;
  const std::shared_ptr<NSString>& message() const { return message_; }
  void setMessage(const std::shared_ptr<NSString>& message) { message_ = message; }
  UIAlertControllerStyle preferredStyle() const { return preferredStyle_; }

  // A second cancel action raises NSInternalInconsistencyException, as on the device.
  void addAction(const std::shared_ptr<UIAlertAction>& action);
  const std::vector<std::shared_ptr<UIAlertAction>>& actions() const { return actions_; }
  // Alerts only (an action sheet raises NSInternalInconsistencyException): a field configured
  // by the handler, shown in the order added; the first one edits when the alert shows.
  void addTextFieldWithConfigurationHandler(std::function<void(const std::shared_ptr<UITextField>& textField)> handler);
  const std::vector<std::shared_ptr<UITextField>>& textFields() const { return textFields_; }

  void loadView() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // For UIAlertAction.
  void actionEnabledChanged(const UIAlertAction& action);

 private:
  void tapped(NSInteger index);

  std::shared_ptr<NSString> message_;
  UIAlertControllerStyle preferredStyle_ = UIAlertControllerStyleAlert;
  std::vector<std::shared_ptr<UIAlertAction>> actions_;
  std::vector<std::shared_ptr<UITextField>> textFields_;
  std::shared_ptr<zvt::ui::AlertPanel> panel_;
  bool acting_ = false;
};
