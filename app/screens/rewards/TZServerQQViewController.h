#pragma once
// The customer-service page ("Zavelto客服", analytics page "Zavelto客服页"): its whole view is
// TZZVTServerView, whose button hands the QQ chat address of the configured account to the
// system through a zero-size web view, one more on every tap. Pushed by the personal centre
// and the help centre; no login needed.

#include <memory>
#include <string>

#include "app/screens/rewards/HelpCentreViews.h"
#include "app/ui/ParentsViewController.h"
#include "platform/webkit/UIWebView.h"

class TZServerQQViewController : public ParentsViewController, public UIWebViewDelegate {
 public:
  static std::shared_ptr<TZServerQQViewController> make() { return std::make_shared<TZServerQQViewController>(); }

  std::shared_ptr<TZZVTServerView> serverView() const { return serverView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void openTheQQ();

  // "mqq://im/chat?chat_type=wpa&uin=<number>&version=1&src_type=web".
  static std::string chatAddress(const std::string& number);

 private:
  std::shared_ptr<TZZVTServerView> serverView_;
};
