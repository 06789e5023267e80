#include "app/screens/shopping/WebDetailViewController.h"

#include "analytics/StatAgent.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/screens/shopping/WebScreenParts.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "foundation/http/NWHTTPRequestOperationManager.h"
#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/Dispatch.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/graphics/UIScreen.h"
#include "ui/hud/POProgressHUD.h"

namespace {

const zvt::StaticString kPageName{"商品详情页"};
const zvt::StaticString kLoginBarText{"暂未登录Zavelto，登录后才有回扣哦！"};

// A manager of the link road: raw data back, form fields out, 8 s.
std::shared_ptr<NWHTTPRequestOperationManager> linkManager() {
  auto manager = NWHTTPRequestOperationManager::manager();
  manager->setResponseSerializer(NWHTTPResponseSerializer::serializer());
  manager->requestSerializer()->setTimeoutInterval(8.0);
  return manager;
}

id parsedReply(const id& responseObject) {
  auto data = zvt::as<NSData>(responseObject);
  if (!data) return nullptr;
  return NSJSONSerialization::JSONObjectWithData(data, NSJSONReadingMutableContainers, nullptr);
}

// The logged-in user's id as "%@", or "0".
std::shared_ptr<NSString> userIdText() {
  auto delegate = AppDelegate::shared();
  auto info = delegate ? delegate->userInfoDictionary() : nullptr;
  id user = info ? info->objectForKey("id"_ns) : nullptr;
  return user ? NSString::stringWithFormat("%@", user) : NSString::stringWithUTF8String("0");
}

bool isLoggedIn() {
  auto delegate = AppDelegate::shared();
  return delegate && delegate->isLogin();
}

}  // namespace

const zvt::KVCClass* WebDetailViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<WebDetailViewController>()
                                         .property("goodsId", &WebDetailViewController::goodsId)
                                         .property("taoBao_goodsId", &WebDetailViewController::taoBao_goodsId)
                                         .property("isProductPush", &WebDetailViewController::isProductPush)
                                         .property("isStorePush", &WebDetailViewController::isStorePush)
                                         .property("isSearchResultPush", &WebDetailViewController::isSearchResultPush)
                                         .property("titleString", &WebDetailViewController::titleString)
                                         .build();
  return &table;
}

void WebDetailViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setAutomaticallyAdjustsScrollViewInsets(false);
  if (isProductPush) setTitle("商品详情"_ns);
  if (isStorePush) setTitle(titleString);

  std::weak_ptr<WebDetailViewController> weakSelf = detailSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock()) screen->dissmissController();
  });
  configNavigationItemWith(controllerSelf(), "关闭"_ns, kNavItemRight, UIFont::systemFontOfSize(16), UIColor::blackColor(),
                           [weakSelf] {
                             if (auto screen = weakSelf.lock()) screen->closeView();
                           });

  webView_ = UIWebView::initWithFrame(zvt::shopping::webViewFrame(64 + 50));
  webView_->setDelegate(std::static_pointer_cast<UIWebViewDelegate>(detailSelf()));
  view()->addSubview(webView_);

  if (!isLoggedIn()) {
    const CGFloat width = webView_->frame().size.width;
    tipsView_ = UIView::initWithFrame(CGRectMake(0, CGRectGetMaxY(webView_->frame()), width, 50));
    tipsView_->setBackgroundColor(UIColor::colorWithWhite(0, 0.8));
    tipsView_->setUserInteractionEnabled(true);
    auto label = UILabel::initWithFrame(CGRectMake(10, 15, width - 100, 20));
    label->setText(kLoginBarText);
    label->setTextColor(UIColor::whiteColor());
    label->setFont(UIFont::systemFontOfSize(12));
    tipsView_->addSubview(label);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(CGRectGetMaxX(label->frame()) + 10, 10, 70, 30));
    button->setBackgroundColor(UIColor::orangeColor());
    button->layer()->setCornerRadius(3);
    button->setTitle("登录"_ns, UIControlStateNormal);
    button->addTarget(controllerSelf(), SEL(&WebDetailViewController::buttonClick), UIControlEventTouchUpInside);
    tipsView_->addSubview(button);
    view()->addSubview(tipsView_);
  }
}

void WebDetailViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  StatAgent::beginLogPageView(kPageName);
  if (auto delegate = AppDelegate::shared()) {
    if (auto shell = delegate->tabBarController()) shell->hiddenTabbar();
  }
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  if (isLoggedIn()) {
    if (tipsView_) {
      tipsView_->removeFromSuperview();
      tipsView_.reset();
    }
    if (webView_) webView_->setFrame(zvt::shopping::webViewFrame(64));
  }
  accessData();
}

void WebDetailViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
}

void WebDetailViewController::accessData() {
  if (isProductPush) requestClickURL();
  if (isStorePush) {
    auto address = NSString::stringWithFormat("%@%@%@%@%@", zvt::Configuration::URLStringWithPath("api/client.php?"),
                                              "m=go_mall&id="_ns, goodsId, "&uid="_ns, userIdText());
    if (auto url = NSURL::URLWithString(address)) webView_->loadRequest(NSURLRequest::requestWithURL(url));
  }
}

void WebDetailViewController::requestClickURL() {
  // The blocks hold the screen until the requests end, as the page is still to be filled.
  auto self = detailSelf();
  auto timeManager = linkManager();
  timeManager->POST(
      zvt::Configuration::URLStringWithPath("api/client.php?m=get_time"),
      NSDictionary::make({{"code"_ns, zvt::timeRequestCode()}}),
      [self, timeManager](const std::shared_ptr<NWHTTPRequestOperation>&, const id& responseObject) {
        id reply = parsedReply(responseObject);
        if (zvt::replyCode(reply) != 101) return;
        id time = zvt::replyValue(reply, "time");
        // A reply without a usable time stamp cannot be signed: it ends like the other failures.
        if (!zvt::isUsableTime(time)) return;
        auto linkRequests = linkManager();
        auto operation = self->isSearchResultPush ? "act=search_goods_click_url" : "act=click_url";
        auto fields = NSDictionary::make({
            {"code"_ns, zvt::signatureForTime(time)},
            {"time"_ns, time},
            {"good_iid"_ns, self->taoBao_goodsId ? id(self->taoBao_goodsId) : id("0"_ns)},
            {"good_id"_ns, self->goodsId ? id(self->goodsId) : id("0"_ns)},
            {"uid"_ns, userIdText()},
        });
        linkRequests->POST(
            zvt::Configuration::URLStringWithPath(std::string("index.php?mod=phone_api&") + operation), fields,
            [self, linkRequests](const std::shared_ptr<NWHTTPRequestOperation>&, const id& linkObject) {
              id linkReply = parsedReply(linkObject);
              if (zvt::replyCode(linkReply) != 101) return;
              dispatch_async(dispatch_get_main_queue(), [self, linkReply] { self->loadClickURL(linkReply); });
            },
            [linkRequests](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) {});
      },
      [timeManager](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&) {});
}

void WebDetailViewController::loadClickURL(const id& reply) {
  auto data = zvt::as<NSDictionary>(zvt::replyValue(reply, "data"));
  auto link = data ? zvt::as<NSString>(data->objectForKey("click_url"_ns)) : nullptr;
  if (!link || !webView_) return;
  if (auto url = NSURL::URLWithString(link)) webView_->loadRequest(NSURLRequest::requestWithURL(url));
}

void WebDetailViewController::dissmissController() {
  if (webView_ && webView_->canGoBack()) {
    webView_->goBack();
    return;
  }
  closeView();
}

void WebDetailViewController::closeView() {
  if (auto navigation = navigationController()) navigation->popViewControllerAnimated(true);
}

void WebDetailViewController::buttonClick(const std::shared_ptr<UIButton>&) { gotoLoginVC(); }

bool WebDetailViewController::allowsURLText(const std::string& text) {
  using zvt::Configuration;
  using zvt::ConfigurationValues;
  const std::string tmallDownload =
      "https://" + Configuration::webHost(&ConfigurationValues::tmallPagesHost) + "/wow/portal/act/app-download?src=detailupper1";
  const std::string partnerDownload = "http://" + Configuration::webHost(&ConfigurationValues::partnerPagesHost) +
                                      "/market/laiwang/tmall/app-download.php?src=detailupper1";
  const std::string taobaoDownload =
      "http://" + Configuration::webHost(&ConfigurationValues::taobaoMobileHost) + "/hd/downLoadAnroidSimple.html";
  if (text == tmallDownload || text == partnerDownload) return false;
  if (text.substr(0, text.find('?')) == taobaoDownload) return false;
  if (text == "about:blank") return false;
  const auto schemeEnd = text.find("://");
  const std::string scheme = text.substr(0, schemeEnd);
  if (scheme == "tmall" || scheme == "taobao") return false;
  if (schemeEnd != std::string::npos &&
      zvt::shopping::hostOfURLText(text) == Configuration::webHost(&ConfigurationValues::appStoreWebHost)) {
    return false;
  }
  return true;
}

bool WebDetailViewController::webViewShouldStartLoadWithRequest(const std::shared_ptr<UIWebView>&,
                                                                const std::shared_ptr<NSURLRequest>& request,
                                                                UIWebViewNavigationType) {
  auto url = request ? request->URL() : nullptr;
  currentUrl_ = url ? url->absoluteString() : nullptr;
  return allowsURLText(currentUrl_ ? currentUrl_->utf8() : "");
}

void WebDetailViewController::webViewDidStartLoad(const std::shared_ptr<UIWebView>&) {
  const std::string host = zvt::shopping::hostOfURLText(currentUrl_ ? currentUrl_->view() : std::string_view());
  const auto values = zvt::Configuration::values();
  // The user types on the shops' login pages: no spinner over the form.
  if (!host.empty() && (host == values.taobaoLoginHost || host == values.tmallLoginHost)) return;
  showLoadingHud(controllerSelf());
}

void WebDetailViewController::webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) { hideHud(controllerSelf()); }

void WebDetailViewController::webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSError>&) {
  hideHud(controllerSelf());
}
