#include "platform/webkit/internal/WebEngine.h"

#include <cstdlib>
#include <vector>

#include "platform/foundation/NSLog.h"
#include "platform/uikit/GLibMainContext.h"
#include "platform/uikit/UIKitMainThread.h"

namespace zvt::web {

namespace {

enum class State { Unknown, Ready, Unavailable };
State state = State::Unknown;
WebKitWebContext* context = nullptr;
// The views alive, in the order they were made: a new view joins the process of the first.
std::vector<WebKitWebView*> views;

void forget(gpointer, GObject* gone) {
  std::erase(views, reinterpret_cast<WebKitWebView*>(gone));
}

}  // namespace

bool engineAvailable() {
  zvt::ui::assertMainThread("UIWebView");
  if (state != State::Unknown) return state == State::Ready;
  state = State::Unavailable;
  // Accessibility's bus is no part of a page's rendering; without it no D-Bus session is needed.
  setenv("NO_AT_BRIDGE", "1", 0);
  if (!gtk_init_check(nullptr, nullptr)) {
    zvt::logMessage(zvt::LogLevel::Warning, "UIWebView: no X display can be opened (DISPLAY unset or refused); web views show nothing");
    return false;
  }
  if (!zvt::ui::joinGLibMainContext()) {
    zvt::logMessage(zvt::LogLevel::Warning, "UIWebView: GLib's main context belongs to another thread; web views show nothing");
    return false;
  }
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
  context = webkit_web_context_new_with_website_data_manager(data);
  g_object_unref(data);
  // Pages are shown, not browsed: the smallest caches.
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  WebKitCookieManager* cookies = webkit_web_context_get_cookie_manager(context);
  webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_ALWAYS);
  state = State::Ready;
  return true;
}

WebKitWebContext* sharedContext() { return engineAvailable() ? context : nullptr; }

WebKitWebView* makeWebView(WebKitUserContentManager* contentManager) {
  if (!engineAvailable()) return nullptr;
  GObject* view;
  if (views.empty()) {
    view = G_OBJECT(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", contentManager,
                                 nullptr));
  } else {
    view = G_OBJECT(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", views.front(), "user-content-manager",
                                 contentManager, nullptr));
  }
  views.push_back(WEBKIT_WEB_VIEW(view));
  g_object_weak_ref(view, forget, nullptr);
  return WEBKIT_WEB_VIEW(view);
}

}  // namespace zvt::web
