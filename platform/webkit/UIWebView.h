#pragma once
// UIWebView over WebKitGTK: each web view drives an offscreen WebKit view of its own size, in a
// web process shared with the process's other web views.
//
// - Loads: `loadRequest` (the URL and header fields of a GET; see below), `loadHTMLString` and
//   `loadData` with a base URL. The delegate is asked about every navigation the page or the
//   code starts (WebKit's policy decisions; a page's attempt to open a new window is asked about
//   and, when allowed, loaded here), hears the main frame's start, finish and failure (an
//   `NSError` of NSURLErrorDomain; a navigation the delegate refused is no failure).
// - Scripts: `stringByEvaluatingJavaScriptFromString` answers synchronously: GLib's context runs
//   (WebKit only) until the web process answers, for at most five seconds of real time.
// - Pixels: the page's painted pixels become the layer's contents at the next display pass after
//   WebKit paints, at the main screen's scale (the page is zoomed by the scale, so that its CSS
//   pixels are points).
// - Touches: a tap (a finger that lifts within 10 points of where it came down) is a click of
//   the page at that point; a finger that moves further scrolls the page under it.
// - Without an X display (no `DISPLAY`) the view is a plain view: loads do nothing and scripts
//   answer "" (a warning is logged once). `zvt::web::usePrivateDisplay()` gives the process's web
//   views an X server of their own instead.
//
// Requests other than GET, and request bodies, are not sent by the engine's load API: such a
// request is loaded as a GET of its URL with its header fields.

#include <memory>
#include <string>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSString.h"
#include "platform/network/NSURL.h"
#include "platform/network/NSURLRequest.h"
#include "platform/uikit/UIView.h"
#include "platform/webkit/JSContext.h"

enum UIWebViewNavigationType : NSInteger {
  UIWebViewNavigationTypeLinkClicked = 0,
  UIWebViewNavigationTypeFormSubmitted = 1,
  UIWebViewNavigationTypeBackForward = 2,
  UIWebViewNavigationTypeReload = 3,
  UIWebViewNavigationTypeFormResubmitted = 4,
  UIWebViewNavigationTypeOther = 5,
};

class UIWebView;

// UIWebViewDelegate: the defaults do what the device does for a delegate without the method.
class UIWebViewDelegate {
 public:
  virtual ~UIWebViewDelegate() = default;
  virtual bool webViewShouldStartLoadWithRequest(const std::shared_ptr<UIWebView>& /*webView*/,
                                                 const std::shared_ptr<NSURLRequest>& /*request*/,
                                                 UIWebViewNavigationType /*navigationType*/) {
    return true;
  }
  virtual void webViewDidStartLoad(const std::shared_ptr<UIWebView>& /*webView*/) {}
  virtual void webViewDidFinishLoad(const std::shared_ptr<UIWebView>& /*webView*/) {}
  virtual void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>& /*webView*/,
                                           const std::shared_ptr<NSError>& /*error*/) {}
};

namespace zvt::web {
class WebPage;

// Web views' loads on their way: views whose page is loading, or whose new page has not been
// drawn since it landed. A tool that stops time while loads are in flight (the runner's virtual
// clock) counts these beside the URL loading system's loads, so that a picture shows the page it
// opened.
size_t webViewLoadsInFlight();

// From now on the process's web views draw on an X server of its own (platform/xserver),
// whatever display the process was given: the first web view that needs the engine starts it
// (DISPLAY points at it, GDK_BACKEND is x11) and it ends with the process. Where none can start,
// web views keep the display the process has, if any. Main thread, before the first web view.
void usePrivateDisplay();
}  // namespace zvt::web

class UIWebView : public UIView {
 public:
  UIWebView();
  ~UIWebView() override;

  static std::shared_ptr<UIWebView> initWithFrame(CGRect frame) { return makeView<UIWebView>(frame); }
  static std::shared_ptr<UIWebView> make() { return makeView<UIWebView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  std::shared_ptr<UIWebViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UIWebViewDelegate>& delegate) { delegate_ = delegate; }

  void loadRequest(const std::shared_ptr<NSURLRequest>& request);
  // A nil base URL loads the text as "about:blank".
  void loadHTMLString(const std::shared_ptr<NSString>& string, const std::shared_ptr<NSURL>& baseURL);
  void loadData(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& MIMEType,
                const std::shared_ptr<NSString>& textEncodingName, const std::shared_ptr<NSURL>& baseURL);
  // The main frame's request: the one loading, else the one shown; nil before the first load.
  std::shared_ptr<NSURLRequest> request() const;

  bool canGoBack() const;
  bool canGoForward() const;
  void goBack();
  void goForward();
  void reload();
  void stopLoading();
  bool isLoading() const;

  // Kept for callers; pages are laid out at the view's width either way.
  bool scalesPageToFit() const { return scalesPageToFit_; }
  void setScalesPageToFit(bool scales) { scalesPageToFit_ = scales; }

  // The script's completion value as text ("" for undefined, null, an exception or no answer
  // in time).
  std::shared_ptr<NSString> stringByEvaluatingJavaScriptFromString(const std::shared_ptr<NSString>& script);

  // The page's JavaScript context (the device's "documentView.webView.mainFrame.javaScriptContext"):
  // a new one for each page; nil without an engine.
  std::shared_ptr<JSContext> javaScriptContext();

  // Whether a page engine stands behind the view (false without an X display).
  bool hasEngine() const;
  // Times the page's pixels reached the layer (for tests that wait for a paint).
  unsigned long paintCount() const;

  // --- CALayerDelegate: the page's pixels are the layer's contents.
  bool displayLayer(CALayer& layer) override;

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;

  // The engine's page (JavaScriptCore's context reaches it through here).
  zvt::web::WebPage* page() const { return page_.get(); }

 protected:
  void boundsDidChange(CGRect oldBounds) override;

 private:
  friend class zvt::web::WebPage;
  void startEngine();

  std::weak_ptr<UIWebViewDelegate> delegate_;
  std::unique_ptr<zvt::web::WebPage> page_;
  bool scalesPageToFit_ = false;
};
