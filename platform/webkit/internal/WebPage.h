#pragma once
// The engine's side of one UIWebView: an offscreen WebKit view of the web view's size, its
// signals turned into the delegate's calls, its paints into the layer's contents, and the
// device's touches into WebKit's own events.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NSTimer.h"
#include "platform/webkit/JSContext.h"
#include "platform/webkit/UIWebView.h"
#include "platform/webkit/internal/WebEngine.h"

namespace zvt::web {

// The text as a JavaScript string literal.
std::string scriptString(std::string_view text);
// A value of the UI process's copy of a page's result as a JSValue.
std::shared_ptr<JSValue> valueOf(JSCValue* value);

class WebPage {
 public:
  WebPage(UIWebView* owner, CGSize size);
  ~WebPage();
  WebPage(const WebPage&) = delete;
  WebPage& operator=(const WebPage&) = delete;

  WebKitWebView* view() const { return view_; }
  WebKitUserContentManager* contentManager() const { return contentManager_; }
  void resize(CGSize size);
  // Copies the page's pixels into the layer when WebKit painted since the last copy.
  bool drawInto(CALayer& layer);
  unsigned long paints() const { return paints_; }
  // Loading, waiting to go out, or showing a new document that has not been drawn since it
  // landed (webViewLoadsInFlight).
  bool inFlight() const;
  // Stops the load, and the navigations that wait to go out.
  void stop();
  std::shared_ptr<NSString> evaluate(const std::string& script);
  std::shared_ptr<JSValue> evaluateValue(const std::string& script);
  // Main-frame documents committed so far: a JSContext stands for one of them.
  unsigned long generation() const { return generation_; }
  // A native the view's pages call under a global name (installed in the page shown and in
  // every page from now on).
  void setNative(const std::string& name, JSContext::Native native);
  std::shared_ptr<JSContext> context();

  void touchDown(CGPoint point);
  void touchMoved(CGPoint point);
  void touchUp(CGPoint point, bool cancelled);

 private:
  std::shared_ptr<UIWebView> owner() const;
  void damaged();
  // Once the committed document has finished loading: asks the page for its answer after two
  // animation frames, then draws the view anew.
  void askForPaint();
  void pageRendered();
  gboolean decide(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
  // A navigation that waited for the cookies goes, or ends with a time-out when the engine did not
  // take them in a request's time; dropped, it never goes.
  void cookiesHandedOver(uint64_t ticket);
  void handOverTimedOut(uint64_t ticket);
  void dropWaiting();
  void loadChanged(WebKitLoadEvent event);
  void loadFailed(const char* uri, const GError* error);
  // The delegate hears of a failure.
  void reportFailure(const char* uri, const GError* error);
  void sendButton(GdkEventType type, CGPoint point);
  void sendScroll(CGPoint point, CGPoint delta, bool stop);
  // Runs the script and waits (bounded) for its value; `take` gets it (null without an answer).
  void run(const std::string& script, const std::function<void(JSCValue*)>& take);
  void received(JSCValue* message);
  std::string installScript() const;

  UIWebView* owner_;
  CGFloat scale_ = 1;
  WebKitUserContentManager* contentManager_ = nullptr;
  WebKitWebView* view_ = nullptr;
  GtkWidget* window_ = nullptr;
  bool damaged_ = false;
  // A document committed that has not been drawn since it landed (webViewLoadsInFlight). The
  // offscreen window's damage alone cannot tell: a new view's first paint takes the web
  // process's pixels at once, ahead of the load's messages queued before them, so a quick
  // page's only paint can come before its commit is heard of. Once the load has ended, the
  // page answers after two animation frames (by then the web process has sent the pixels of
  // the document's rendering, and they stand in the engine's backing store); the view is
  // drawn anew, and that paint clears the flag.
  bool awaitingPaint_ = false;
  bool drawAsked_ = false;  // the view drawn anew after the page's answer; its paint clears the flag
  uint64_t asked_ = 0;      // the question whose answer the page waits for (0: none)
  bool failed_ = false;
  std::string startedURI_;  // the address the current load began with
  // Navigations allowed that wait for the cookie store's cookies to reach the engine.
  struct Waiting {
    uint64_t ticket;
    WebKitPolicyDecision* decision;
    std::string uri;
    std::shared_ptr<NSTimer> bound;
  };
  std::vector<Waiting> waiting_;
  // The navigation waiting with the ticket, out of the list; none when it went or was dropped.
  std::optional<Waiting> takeWaiting(uint64_t ticket);
  // A waiting navigation that will not go: its ticket withdrawn, its time-out off, refused.
  static void abandon(const Waiting& waiting);
  unsigned long paints_ = 0;
  CGPoint touchStart_{};
  CGPoint touchLast_{};
  bool tracking_ = false;
  bool scrolling_ = false;
  unsigned long generation_ = 0;
  std::map<std::string, JSContext::Native> natives_;
  std::shared_ptr<JSContext> context_;
};

}  // namespace zvt::web
