#pragma once
// The partner web logins (QQ, Taobao), one design: the partner's OAuth page in a web view, the
// service's callback behind it leaving the partner account's id in a "webId" cookie for the
// service's root, picked up after every finished load and sent as a partner login. A partner
// account without a site account goes on to the binding screen (pushed with the login
// information); a known one has its session installed and the presented stack is dismissed.
//
// Opening deletes every cookie of the service's root, so that a "webId" left by an earlier
// visit logs nobody in. Only a login information dictionary counts as success: a refusal (no
// dictionary, with or without an error) leaves the page as it is and shows nothing. One partner
// login is out at a time, and none is sent after one has succeeded, so however many loads
// finish, the binding screen is pushed once and the session installed once.

#include <memory>
#include <string>

#include "app/ui/ParentsViewController.h"
#include "platform/network/NSURLRequest.h"
#include "platform/webkit/UIWebView.h"

class PartnerWebLoginController : public ParentsViewController, public UIWebViewDelegate {
 public:
  std::shared_ptr<UIWebView> webView() const { return webView_; }
  std::shared_ptr<NSURLRequest> request() const { return request_; }
  // The partner account id taken from the "webId" cookie; "" until found.
  std::shared_ptr<NSString> partnerId() const { return partnerId_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  // The cookie pick-up and the partner login.
  void refreshData();
  // Pushes TZBindingViewController with the login information as its userInfo.
  void pushToRegistEmailViewForFirstLogin(const std::shared_ptr<NSDictionary>& loginInfo);

  // --- UIWebViewDelegate
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>& webView) override;

  // The service's callback for a partner: its root, "/index.php?mod=api&act=" and the act,
  // percent-encoded as a whole for a "redirect_uri".
  static std::string encodedCallback(const char* act);

 protected:
  struct Partner {
    const char* web;    // "qq" or "tb"
    const char* title;  // the screen's title
    const char* page;   // the analytics page
  };
  explicit PartnerWebLoginController(Partner partner) : partner_(partner) {}
  // init: the partner id emptied, the root's cookies deleted, the authorize request built.
  void initDatas(const std::string& authorizeURL);

 private:
  std::shared_ptr<PartnerWebLoginController> webSelf() {
    return std::static_pointer_cast<PartnerWebLoginController>(controllerSelf());
  }

  Partner partner_;
  std::shared_ptr<UIWebView> webView_;
  std::shared_ptr<NSURLRequest> request_;
  std::shared_ptr<NSString> partnerId_;
  bool loginPending_ = false;
  bool loggedIn_ = false;
};

// QQ's web login ("QQ授权与登录", page "QQ登录页"): client id "734915", callback act=qqAppLogin.
class QQWebViewController : public PartnerWebLoginController {
 public:
  static constexpr const char* kClientId = "734915";
  static constexpr const char* kState = "c41e7a09f35b2d8e6a10b97c4f2d58e3";
  static std::shared_ptr<QQWebViewController> make();
  QQWebViewController() : PartnerWebLoginController({"qq", "QQ授权与登录", "QQ登录页"}) {}
  std::shared_ptr<NSString> QQId() const { return partnerId(); }
};

// Taobao's web login ("淘宝授权与登录", page "淘宝登录页"): the configured client id, callback
// act=tbAppLogin, the page in its mobile view.
class TaoBaoWebViewLoginController : public PartnerWebLoginController {
 public:
  static std::shared_ptr<TaoBaoWebViewLoginController> make();
  TaoBaoWebViewLoginController() : PartnerWebLoginController({"tb", "淘宝授权与登录", "淘宝登录页"}) {}
  std::shared_ptr<NSString> taobaoId() const { return partnerId(); }
};
