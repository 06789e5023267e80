#include "platform/webkit/UIWebView.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSSet.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/UIScreen.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIEvent.h"
#include "platform/webkit/internal/WebPage.h"

namespace zvt::web {

namespace {

// How far a finger may move and still click the page.
constexpr CGFloat kTapSlop = 10;
// The script message handler of a view's pages (each view has its own content manager).
constexpr const char* kHandler = "zavelto";
// How long a script may take to answer, in real time.
constexpr gint64 kScriptWaitMicros = 5 * G_USEC_PER_SEC;

std::shared_ptr<NSMutableURLRequest> requestOf(WebKitURIRequest* request) {
  auto url = NSURL::URLWithString(webkit_uri_request_get_uri(request));
  if (!url) return nullptr;
  auto out = NSMutableURLRequest::requestWithURL(url);
  if (const char* method = webkit_uri_request_get_http_method(request)) out->setHTTPMethod(method);
  if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request)) {
    soup_message_headers_foreach(
        headers,
        [](const char* name, const char* value, gpointer data) {
          static_cast<NSMutableURLRequest*>(data)->setValue(value, name);
        },
        out.get());
  }
  return out;
}

// Schemes the engine shows itself; the device hands an address of any other scheme ("tel",
// "mqq", "itms-apps"...) to the system instead of loading it.
bool shownByEngine(const std::shared_ptr<NSURL>& url) {
  auto scheme = url ? url->scheme() : nullptr;
  if (!scheme) return true;
  const std::string name = scheme->lowercaseString()->utf8();
  for (const char* shown : {"http", "https", "about", "data", "file", "blob", "javascript"}) {
    if (name == shown) return true;
  }
  return false;
}

// WebKit's and GLib's failures as the URL loading system's codes.
NSInteger urlErrorCode(const GError* error) {
  if (error->domain == WEBKIT_NETWORK_ERROR) {
    switch (error->code) {
      case WEBKIT_NETWORK_ERROR_CANCELLED: return NSURLErrorCancelled;
      case WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL: return NSURLErrorUnsupportedURL;
      case WEBKIT_NETWORK_ERROR_FILE_DOES_NOT_EXIST: return NSURLErrorFileDoesNotExist;
      default: return NSURLErrorCannotConnectToHost;
    }
  }
  if (error->domain == G_RESOLVER_ERROR) return NSURLErrorCannotFindHost;
  if (error->domain == G_IO_ERROR) {
    switch (error->code) {
      case G_IO_ERROR_CANCELLED: return NSURLErrorCancelled;
      case G_IO_ERROR_TIMED_OUT: return NSURLErrorTimedOut;
      case G_IO_ERROR_HOST_NOT_FOUND: return NSURLErrorCannotFindHost;
      default: return NSURLErrorCannotConnectToHost;
    }
  }
  if (error->domain == WEBKIT_POLICY_ERROR) return NSURLErrorUnsupportedURL;
  return NSURLErrorUnknown;
}

// The pages alive (main thread only).
std::vector<WebPage*>& pages() {
  static std::vector<WebPage*> alive;
  return alive;
}

// Each question to a page for its answer after two animation frames, by number: an answer finds
// its page by it, if the page is still there and has asked nothing since.
uint64_t nextAsk() {
  static uint64_t last = 0;
  return ++last;
}

// The script world of the page's answer after two animation frames: the page's own scripts
// neither see it nor can replace requestAnimationFrame under it.
constexpr const char* kPaintWorld = "zavelto-paint";

}  // namespace

size_t webViewLoadsInFlight() {
  size_t count = 0;
  for (const WebPage* page : pages()) count += page->inFlight();
  return count;
}

WebPage::WebPage(UIWebView* owner, CGSize size) : owner_(owner) {
  pages().push_back(this);
  // The page is drawn at the screen's pixels: the offscreen window is that many pixels per
  // point and the page zoomed by as much, so that its CSS pixels stay points.
  if (auto screen = UIScreen::mainScreen()) scale_ = std::max<CGFloat>(1, screen->scale());
  contentManager_ = webkit_user_content_manager_new();
  view_ = makeWebView(contentManager_);
  webkit_web_view_set_zoom_level(view_, scale_);
  window_ = gtk_offscreen_window_new();
  g_object_ref_sink(window_);
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
  resize(size);
  gtk_widget_show_all(window_);
  g_signal_connect(window_, "damage-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                     static_cast<WebPage*>(self)->damaged();
                     return FALSE;
                   }),
                   this);
  g_signal_connect(view_, "decide-policy",
                   G_CALLBACK(+[](WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                  gpointer self) -> gboolean {
                     return static_cast<WebPage*>(self)->decide(decision, type);
                   }),
                   this);
  webkit_user_content_manager_register_script_message_handler(contentManager_, kHandler);
  g_signal_connect(contentManager_, (std::string("script-message-received::") + kHandler).c_str(),
                   G_CALLBACK(+[](WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
                     static_cast<WebPage*>(self)->received(webkit_javascript_result_get_js_value(result));
                   }),
                   this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer self) {
                     static_cast<WebPage*>(self)->loadChanged(event);
                   }),
                   this);
  g_signal_connect(view_, "load-failed",
                   G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, const char* uri, GError* error, gpointer self)
                                  -> gboolean {
                     static_cast<WebPage*>(self)->loadFailed(uri, error);
                     return TRUE;
                   }),
                   this);
  // A page's own window.open or target="_blank" link: asked about (decide-policy, new window)
  // and loaded here, never in a second view.
  g_signal_connect(view_, "create", G_CALLBACK(+[](WebKitWebView*, WebKitNavigationAction*, gpointer) -> GtkWidget* {
                     return nullptr;
                   }),
                   nullptr);
}

WebPage::~WebPage() {
  std::erase(pages(), this);
  dropWaiting();
  g_signal_handlers_disconnect_by_data(view_, this);
  g_signal_handlers_disconnect_by_data(window_, this);
  g_signal_handlers_disconnect_by_data(contentManager_, this);
  gtk_widget_destroy(window_);
  g_object_unref(window_);
  g_object_unref(contentManager_);
}

void WebPage::resize(CGSize size) {
  const int width = std::max(1, static_cast<int>(std::lround(size.width * scale_)));
  const int height = std::max(1, static_cast<int>(std::lround(size.height * scale_)));
  gtk_widget_set_size_request(GTK_WIDGET(view_), width, height);
  gtk_window_resize(GTK_WINDOW(window_), width, height);
}

std::shared_ptr<UIWebView> WebPage::owner() const {
  return std::static_pointer_cast<UIWebView>(owner_->shared_from_this());
}

bool WebPage::inFlight() const { return awaitingPaint_ || !waiting_.empty() || webkit_web_view_is_loading(view_); }

void WebPage::damaged() {
  damaged_ = true;
  if (drawAsked_) awaitingPaint_ = drawAsked_ = false;
  owner_->layer()->setNeedsDisplay();
}

void WebPage::askForPaint() {
  // The answer goes out after the web process's rendering update that ran the first frame's
  // callback, and so after the pixels that update painted; messages of the web process reach
  // the view in order, but for pixels the engine takes early, never late.
  static constexpr const char* kTwoFrames =
      "await new Promise(function (done) {"
      "  requestAnimationFrame(function () { requestAnimationFrame(function () { done(); }); });"
      "});"
      "return 0;";
  asked_ = nextAsk();
  webkit_web_view_call_async_javascript_function(
      view_, kTwoFrames, -1, nullptr, kPaintWorld, nullptr, nullptr,
      [](GObject* object, GAsyncResult* result, gpointer data) {
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(object), result, &error);
        if (value) g_object_unref(value);
        if (error) g_error_free(error);
        // An answer or a failure (no script ran): the view is drawn anew either way, so that
        // the page waits for no paint that may never come.
        const auto ask = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(data));
        for (WebPage* page : pages()) {
          if (page->asked_ == ask) {
            page->pageRendered();
            break;
          }
        }
      },
      reinterpret_cast<gpointer>(static_cast<uintptr_t>(asked_)));
}

void WebPage::pageRendered() {
  asked_ = 0;
  if (!awaitingPaint_) return;
  drawAsked_ = true;
  gtk_widget_queue_draw(GTK_WIDGET(view_));
}

bool WebPage::drawInto(CALayer& layer) {
  cairo_surface_t* surface = gtk_offscreen_window_get_surface(GTK_OFFSCREEN_WINDOW(window_));
  if (!surface || !damaged_) return false;
  damaged_ = false;
  const int width = gtk_widget_get_allocated_width(GTK_WIDGET(view_));
  const int height = gtk_widget_get_allocated_height(GTK_WIDGET(view_));
  if (width <= 0 || height <= 0) return false;
  // The offscreen window's surface follows its X visual; a copy in the host's 32-bit layout is
  // what images hold. It is drawn straight into the bytes the image keeps (a page is megabytes:
  // a second buffer and copy per paint showed in every load).
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
  auto bytes = NSMutableData::dataWithLength(static_cast<NSUInteger>(stride) * static_cast<NSUInteger>(height));
  cairo_surface_t* copy =
      cairo_image_surface_create_for_data(bytes->mutableBytes(), CAIRO_FORMAT_ARGB32, width, height, stride);
  cairo_t* cr = cairo_create(copy);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(copy);
  cairo_surface_destroy(copy);
  auto image = CGImageCreate(width, height, 8, 32, stride, CGColorSpaceCreateDeviceRGB(),
                             kCGBitmapByteOrder32Little | kCGImageAlphaPremultipliedFirst,
                             CGDataProviderCreateWithCFData(bytes), nullptr, false, kCGRenderingIntentDefault);
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  layer.setContentsScale(scale_);
  layer.setContents(image);
  CATransaction::commit();
  ++paints_;
  return true;
}

gboolean WebPage::decide(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;
  }
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  auto request = requestOf(webkit_navigation_action_get_request(action));
  const auto navigationType = static_cast<UIWebViewNavigationType>(webkit_navigation_action_get_navigation_type(action));
  bool allowed = request != nullptr;
  auto self = owner();
  if (allowed) {
    if (auto delegate = owner_->delegate()) allowed = delegate->webViewShouldStartLoadWithRequest(self, request, navigationType);
  }
  if (allowed && !shownByEngine(request->URL())) {
    // Handed over, not failed: the page stays as it was and no failure is reported.
    webkit_policy_decision_ignore(decision);
    UIApplication::sharedApplication()->openURL(request->URL());
    return TRUE;
  }
  if (!allowed || type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);
    if (allowed) webkit_web_view_load_request(view_, webkit_navigation_action_get_request(action));
    return TRUE;
  }
  // The request goes out once decided: it carries the cookie store's cookies, so it waits until
  // the engine has them. A stuck engine ends it as a request that gets no answer ends, after the
  // URL loading system's time-out.
  const uint64_t ticket = handCookiesToEngine([this](uint64_t ready) { cookiesHandedOver(ready); });
  if (!ticket) {
    webkit_policy_decision_use(decision);
    return TRUE;
  }
  auto bound = NSTimer::timerWithTimeInterval(NSURLRequest::kDefaultTimeoutInterval, false,
                                              [this, ticket](const std::shared_ptr<NSTimer>&) { handOverTimedOut(ticket); });
  NSRunLoop::mainRunLoop()->addTimer(bound, NSRunLoopCommonModes);
  auto address = request->URL()->absoluteString();
  waiting_.push_back({ticket, WEBKIT_POLICY_DECISION(g_object_ref(decision)), address ? address->utf8() : "", bound});
  return TRUE;
}

std::optional<WebPage::Waiting> WebPage::takeWaiting(uint64_t ticket) {
  auto it = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& w) { return w.ticket == ticket; });
  if (it == waiting_.end()) return std::nullopt;
  Waiting taken = std::move(*it);
  waiting_.erase(it);
  return taken;
}

void WebPage::abandon(const Waiting& waiting) {
  withdrawCookieTicket(waiting.ticket);
  waiting.bound->invalidate();
  webkit_policy_decision_ignore(waiting.decision);
  g_object_unref(waiting.decision);
}

void WebPage::dropWaiting() {
  for (const Waiting& waiting : waiting_) abandon(waiting);
  waiting_.clear();
}

void WebPage::stop() {
  // A navigation that waits for the cookies has not gone out: it ends here, and neither goes nor
  // times out later.
  dropWaiting();
  webkit_web_view_stop_loading(view_);
}

void WebPage::cookiesHandedOver(uint64_t ticket) {
  auto going = takeWaiting(ticket);
  if (!going) return;
  going->bound->invalidate();
  webkit_policy_decision_use(going->decision);
  g_object_unref(going->decision);
}

void WebPage::handOverTimedOut(uint64_t ticket) {
  auto ended = takeWaiting(ticket);
  if (!ended) return;
  abandon(*ended);
  GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_TIMED_OUT, "The request timed out.");
  reportFailure(ended->uri.empty() ? nullptr : ended->uri.c_str(), error);
  g_error_free(error);
}

void WebPage::loadChanged(WebKitLoadEvent event) {
  auto self = owner();
  auto delegate = owner_->delegate();
  switch (event) {
    case WEBKIT_LOAD_STARTED: {
      failed_ = false;
      const char* uri = webkit_web_view_get_uri(view_);
      startedURI_ = uri ? uri : "";
      if (delegate) delegate->webViewDidStartLoad(self);
      break;
    }
    case WEBKIT_LOAD_COMMITTED:
      ++generation_;
      awaitingPaint_ = true;
      // What was asked of the document before is no answer for this one.
      drawAsked_ = false;
      asked_ = 0;
      break;
    case WEBKIT_LOAD_FINISHED:
      if (!failed_ && !webkit_web_view_get_main_resource(view_)) {
        // The engine refuses some addresses without a failure signal (a restricted port such
        // as 1): the load ends on an empty page that nothing was received for. That is a
        // failure to the delegate, not a finished page.
        GError* refused = g_error_new_literal(WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_FAILED,
                                              "The address could not be loaded");
        loadFailed(startedURI_.empty() ? nullptr : startedURI_.c_str(), refused);
        g_error_free(refused);
      }
      // The document landed (or stopped where it was): drawn once more after its answer.
      if (awaitingPaint_) askForPaint();
      if (!failed_ && delegate) delegate->webViewDidFinishLoad(self);
      failed_ = false;
      break;
    default:
      break;
  }
}

void WebPage::loadFailed(const char* uri, const GError* error) {
  failed_ = true;
  // A navigation refused by the delegate stops there, as on the device.
  if (error->domain == WEBKIT_POLICY_ERROR && error->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) {
    return;
  }
  reportFailure(uri, error);
}

void WebPage::reportFailure(const char* uri, const GError* error) {
  auto info = NSMutableDictionary::dictionary();
  info->setObject(NSString::stringWithUTF8String(error->message ? error->message : ""), NSLocalizedDescriptionKey);
  if (uri) info->setObject(NSString::stringWithUTF8String(uri), NSURLErrorFailingURLStringErrorKey);
  auto nsError = NSError::errorWithDomain(NSURLErrorDomain, urlErrorCode(error), info);
  if (auto delegate = owner_->delegate()) delegate->webViewDidFailLoadWithError(owner(), nsError);
}

void WebPage::run(const std::string& script, const std::function<void(JSCValue*)>& take) {
  struct Pending {
    bool done = false;
    bool abandoned = false;
    std::function<void(JSCValue*)> take;
  };
  auto* pending = new Pending{false, false, take};
  webkit_web_view_evaluate_javascript(
      view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
      [](GObject* object, GAsyncResult* result, gpointer data) {
        auto* pending = static_cast<Pending*>(data);
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(object), result, &error);
        if (error) g_error_free(error);
        if (!pending->abandoned) pending->take(value);
        if (value) g_object_unref(value);
        if (pending->abandoned) {
          delete pending;
          return;
        }
        pending->done = true;
      },
      pending);
  if (!waitOnGLib([&] { return pending->done; }, kScriptWaitMicros)) {
    pending->abandoned = true;
    zvt::logMessage(zvt::LogLevel::Warning, "UIWebView: a script did not answer within five seconds");
    return;
  }
  delete pending;
}

std::shared_ptr<NSString> WebPage::evaluate(const std::string& script) {
  std::string text;
  run(script, [&](JSCValue* value) {
    if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value)) return;
    char* str = jsc_value_to_string(value);
    if (str) text = str;
    g_free(str);
  });
  auto out = NSString::stringWithUTF8String(text);
  return out ? out : NSString::string();
}

std::shared_ptr<JSValue> WebPage::evaluateValue(const std::string& script) {
  std::shared_ptr<JSValue> out;
  run(script, [&](JSCValue* value) { out = valueOf(value); });
  return out ? out : valueOf(nullptr);
}

// --- natives -------------------------------------------------------------------------------------

std::string scriptString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  // Line and paragraph separators end a line in older scripts' string literals.
  for (std::string_view separator : {"\u2028", "\u2029"}) {
    for (size_t at = out.find(separator); at != std::string::npos; at = out.find(separator, at)) {
      out.replace(at, separator.size(), separator == "\u2028" ? "\\u2028" : "\\u2029");
    }
  }
  return out + "\"";
}

std::shared_ptr<JSValue> valueOf(JSCValue* value) {
  using Kind = JSValue::Kind;
  if (!value || jsc_value_is_undefined(value)) return std::make_shared<JSValue>(Kind::Undefined, "undefined", nullptr);
  char* raw = jsc_value_to_string(value);
  std::string text = raw ? raw : "";
  g_free(raw);
  if (jsc_value_is_null(value)) return std::make_shared<JSValue>(Kind::Null, text, NSNull::null());
  if (jsc_value_is_boolean(value)) {
    return std::make_shared<JSValue>(Kind::Boolean, text, NSNumber::numberWithBool(jsc_value_to_boolean(value)));
  }
  if (jsc_value_is_number(value)) {
    return std::make_shared<JSValue>(Kind::Number, text, NSNumber::numberWithDouble(jsc_value_to_double(value)));
  }
  if (jsc_value_is_string(value)) return std::make_shared<JSValue>(Kind::String, text, NSString::stringWithUTF8String(text));
  if (jsc_value_is_array(value)) {
    auto array = NSMutableArray::array();
    JSCValue* length = jsc_value_object_get_property(value, "length");
    const auto count = static_cast<guint>(jsc_value_to_int32(length));
    g_object_unref(length);
    for (guint i = 0; i < count; ++i) {
      JSCValue* element = jsc_value_object_get_property_at_index(value, i);
      auto converted = valueOf(element)->toObject();
      array->addObject(converted ? converted : NSNull::null());
      g_object_unref(element);
    }
    return std::make_shared<JSValue>(Kind::Array, text, array);
  }
  auto dictionary = NSMutableDictionary::dictionary();
  if (jsc_value_is_object(value) && !jsc_value_is_function(value)) {
    gchar** names = jsc_value_object_enumerate_properties(value);
    for (gchar** name = names; name && *name; ++name) {
      JSCValue* member = jsc_value_object_get_property(value, *name);
      if (auto converted = valueOf(member)->toObject()) dictionary->setObject(converted, NSString::stringWithUTF8String(*name));
      g_object_unref(member);
    }
    g_strfreev(names);
  }
  return std::make_shared<JSValue>(Kind::Object, text, dictionary);
}

std::string WebPage::installScript() const {
  std::string names = "[";
  for (const auto& [name, native] : natives_) names += (names.size() > 1 ? "," : "") + scriptString(name);
  names += "]";
  return "(function(){var h=window.webkit&&window.webkit.messageHandlers&&window.webkit.messageHandlers." +
         std::string(kHandler) + ";if(!h)return;" + names +
         ".forEach(function(n){window[n]=function(){h.postMessage({name:n,args:Array.prototype.slice.call(arguments)});};});})();";
}

void WebPage::setNative(const std::string& name, JSContext::Native native) {
  natives_[name] = std::move(native);
  const std::string script = installScript();
  webkit_user_content_manager_remove_all_scripts(contentManager_);
  WebKitUserScript* user = webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                  WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(contentManager_, user);
  webkit_user_script_unref(user);
  // The page shown gets it at once.
  webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

void WebPage::received(JSCValue* message) {
  if (!message || !jsc_value_is_object(message)) return;
  auto value = valueOf(message)->toDictionary();
  if (!value) return;
  auto name = zvt::as<NSString>(value->objectForKey(NSString::stringWithUTF8String("name")));
  auto args = zvt::as<NSArray>(value->objectForKey(NSString::stringWithUTF8String("args")));
  if (!name) return;
  auto it = natives_.find(name->utf8());
  if (it == natives_.end()) return;
  auto native = it->second;  // the native may replace itself
  native(args ? args : NSArray::array());
}

std::shared_ptr<JSContext> WebPage::context() {
  if (!context_ || !context_->isCurrent()) {
    context_ = std::make_shared<JSContext>(std::weak_ptr<UIWebView>(owner()), generation_);
  }
  return context_;
}

// --- touches -------------------------------------------------------------------------------------

void WebPage::sendButton(GdkEventType type, CGPoint point) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(view_));
  if (!window) return;
  GdkEvent* event = gdk_event_new(type);
  event->button.window = GDK_WINDOW(g_object_ref(window));
  event->button.send_event = TRUE;
  event->button.time = GDK_CURRENT_TIME;
  event->button.x = event->button.x_root = point.x * scale_;
  event->button.y = event->button.y_root = point.y * scale_;
  event->button.button = 1;
  event->button.state = type == GDK_BUTTON_RELEASE ? GDK_BUTTON1_MASK : 0;
  gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(window))));
  gtk_widget_event(GTK_WIDGET(view_), event);
  gdk_event_free(event);
}

void WebPage::sendScroll(CGPoint point, CGPoint delta, bool stop) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(view_));
  if (!window) return;
  GdkEvent* event = gdk_event_new(GDK_SCROLL);
  event->scroll.window = GDK_WINDOW(g_object_ref(window));
  event->scroll.send_event = TRUE;
  event->scroll.time = GDK_CURRENT_TIME;
  event->scroll.x = event->scroll.x_root = point.x * scale_;
  event->scroll.y = event->scroll.y_root = point.y * scale_;
  event->scroll.direction = GDK_SCROLL_SMOOTH;
  // The content follows the finger: the engine moves the page by the viewport's length (in
  // pixels) to the power 2/3 per unit of a smooth scroll, as GTK's scrolled windows do.
  const double width = std::max(1, gtk_widget_get_allocated_width(GTK_WIDGET(view_)));
  const double height = std::max(1, gtk_widget_get_allocated_height(GTK_WIDGET(view_)));
  event->scroll.delta_x = -delta.x * scale_ / std::pow(width, 2.0 / 3.0);
  event->scroll.delta_y = -delta.y * scale_ / std::pow(height, 2.0 / 3.0);
  // The finger's lift ends the scroll where it is (no kinetic motion after it).
  event->scroll.is_stop = stop;
  gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(window))));
  gtk_widget_event(GTK_WIDGET(view_), event);
  gdk_event_free(event);
}

void WebPage::touchDown(CGPoint point) {
  touchStart_ = touchLast_ = point;
  tracking_ = true;
  scrolling_ = false;
}

void WebPage::touchMoved(CGPoint point) {
  if (!tracking_) return;
  if (!scrolling_ && std::hypot(point.x - touchStart_.x, point.y - touchStart_.y) > kTapSlop) scrolling_ = true;
  if (scrolling_) {
    sendScroll(point, CGPointMake(point.x - touchLast_.x, point.y - touchLast_.y), false);
    touchLast_ = point;
  }
}

void WebPage::touchUp(CGPoint point, bool cancelled) {
  if (!tracking_) return;
  tracking_ = false;
  if (scrolling_) sendScroll(point, CGPointZero, true);
  if (cancelled || scrolling_) return;
  sendButton(GDK_BUTTON_PRESS, point);
  sendButton(GDK_BUTTON_RELEASE, point);
}

}  // namespace zvt::web

// --- UIWebView -----------------------------------------------------------------------------------

using zvt::web::WebPage;

UIWebView::UIWebView() = default;
UIWebView::~UIWebView() = default;

void UIWebView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  startEngine();
}

void UIWebView::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  startEngine();
}

void UIWebView::startEngine() {
  if (page_ || !zvt::web::engineAvailable()) return;
  page_ = std::make_unique<WebPage>(this, bounds().size);
}

bool UIWebView::hasEngine() const { return page_ != nullptr; }
unsigned long UIWebView::paintCount() const { return page_ ? page_->paints() : 0; }

void UIWebView::boundsDidChange(CGRect oldBounds) {
  UIView::boundsDidChange(oldBounds);
  if (page_ && !CGSizeEqualToSize(oldBounds.size, bounds().size)) page_->resize(bounds().size);
}

bool UIWebView::displayLayer(CALayer& layer) {
  if (&layer != this->layer().get()) return false;
  if (page_) page_->drawInto(layer);
  return true;
}

void UIWebView::loadRequest(const std::shared_ptr<NSURLRequest>& request) {
  if (!page_ || !request || !request->URL()) return;
  auto absolute = request->URL()->absoluteString();
  WebKitURIRequest* uriRequest = webkit_uri_request_new(absolute ? absolute->UTF8String() : "about:blank");
  if (SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(uriRequest)) {
    if (auto fields = request->allHTTPHeaderFields()) {
      for (const id& key : *fields) {
        auto name = zvt::as<NSString>(key);
        auto value = zvt::as<NSString>(fields->objectForKey(key));
        if (name && value) soup_message_headers_replace(headers, name->UTF8String(), value->UTF8String());
      }
    }
  }
  webkit_web_view_load_request(page_->view(), uriRequest);
  g_object_unref(uriRequest);
}

void UIWebView::loadHTMLString(const std::shared_ptr<NSString>& string, const std::shared_ptr<NSURL>& baseURL) {
  if (!page_) return;
  auto base = baseURL ? baseURL->absoluteString() : nullptr;
  webkit_web_view_load_html(page_->view(), string ? string->UTF8String() : "", base ? base->UTF8String() : "about:blank");
}

void UIWebView::loadData(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& MIMEType,
                         const std::shared_ptr<NSString>& textEncodingName, const std::shared_ptr<NSURL>& baseURL) {
  if (!page_) return;
  GBytes* bytes = g_bytes_new(data ? data->bytes() : nullptr, data ? data->length() : 0);
  auto base = baseURL ? baseURL->absoluteString() : nullptr;
  webkit_web_view_load_bytes(page_->view(), bytes, MIMEType ? MIMEType->UTF8String() : nullptr,
                             textEncodingName ? textEncodingName->UTF8String() : nullptr,
                             base ? base->UTF8String() : "about:blank");
  g_bytes_unref(bytes);
}

std::shared_ptr<NSURLRequest> UIWebView::request() const {
  if (!page_) return nullptr;
  const char* uri = webkit_web_view_get_uri(page_->view());
  if (!uri || !*uri) return nullptr;
  auto url = NSURL::URLWithString(uri);
  return url ? NSURLRequest::requestWithURL(url) : nullptr;
}

bool UIWebView::canGoBack() const { return page_ && webkit_web_view_can_go_back(page_->view()); }
bool UIWebView::canGoForward() const { return page_ && webkit_web_view_can_go_forward(page_->view()); }
void UIWebView::goBack() {
  if (page_) webkit_web_view_go_back(page_->view());
}
void UIWebView::goForward() {
  if (page_) webkit_web_view_go_forward(page_->view());
}
void UIWebView::reload() {
  if (page_) webkit_web_view_reload(page_->view());
}
void UIWebView::stopLoading() {
  if (page_) page_->stop();
}
bool UIWebView::isLoading() const { return page_ && webkit_web_view_is_loading(page_->view()); }

std::shared_ptr<JSContext> UIWebView::javaScriptContext() { return page_ ? page_->context() : nullptr; }

std::shared_ptr<NSString> UIWebView::stringByEvaluatingJavaScriptFromString(const std::shared_ptr<NSString>& script) {
  if (!page_ || !script) return NSString::string();
  return page_->evaluate(script->utf8());
}

void UIWebView::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  auto list = zvt::ui::membersOf<UITouch>(touches);
  if (page_ && !list.empty()) page_->touchDown(list.front()->locationInView(std::static_pointer_cast<UIView>(shared_from_this())));
}

void UIWebView::touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  auto list = zvt::ui::membersOf<UITouch>(touches);
  if (page_ && !list.empty()) page_->touchMoved(list.front()->locationInView(std::static_pointer_cast<UIView>(shared_from_this())));
}

void UIWebView::touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  auto list = zvt::ui::membersOf<UITouch>(touches);
  if (page_ && !list.empty()) page_->touchUp(list.front()->locationInView(std::static_pointer_cast<UIView>(shared_from_this())), false);
}

void UIWebView::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  if (page_) page_->touchUp(CGPointZero, true);
}
