#include "platform/webkit/internal/WebEngine.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSLog.h"
#include "platform/network/NSHTTPCookie.h"
#include "platform/uikit/GLibMainContext.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/webkit/UIWebView.h"
#include "platform/xserver/PrivateXServer.h"

namespace zvt::web {

namespace {

enum class State { Unknown, Ready, Unavailable };
State state = State::Unknown;
WebKitWebContext* context = nullptr;
// A view of the engine's own that shows nothing and lives as long as the engine: every view is
// made as its related view and so joins its web process, which therefore never loses its last
// page. The engine shuts a web process down when its last page closes; a view made as the last
// one of a screen went (the next screen's) would start in that process on its way out, and the
// engine would take its first navigation up again in a new one: asked about twice, and the
// page of a string or data shown as an empty about:blank.
WebKitWebView* keeper = nullptr;
WebKitSettings* settings = nullptr;
// Whether the engine starts an X server of its own (usePrivateDisplay).
bool privateDisplayWanted = false;

// Points DISPLAY at a new private X server; false when none can start here.
bool startPrivateDisplay() {
  // Ended with the process: by its destructor at exit, or by the system should the process die.
  static zvt::xserver::PrivateXServer server(1024, 1024);
  if (server.display().empty()) return false;
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("GDK_BACKEND", "x11", 1);
  return true;
}

// --- cookies ---------------------------------------------------------------------------------------

// What the store held when it was last handed to the engine.
std::string handedOver;
// The cookies the engine holds as far as the store has seen (handed to it or taken from it), by
// name, domain and path: one that leaves the store is taken out of the engine too.
std::map<std::string, std::shared_ptr<NSHTTPCookie>> engineHolds;
// Hand-overs begun, the calls of each that the engine has not answered yet, and the last one in
// which a cookie was handed to the engine or taken out of it: a reading of the engine's cookies
// asked for before that hand-over ended may still hold the cookie as it was before (an older
// value, or one deleted since) and must not bring that back into the store.
uint64_t handOversBegun = 0;
std::map<uint64_t, int> unanswered;
std::map<std::string, uint64_t> handedIn;
// Navigations waiting for the engine's answers, by ticket: each needs every hand-over begun
// before it asked to have ended.
struct Waiter {
  uint64_t needs;
  std::function<void(uint64_t)> ready;
};
uint64_t lastTicket = 0;
std::map<uint64_t, Waiter> waiters;

// Hand-overs end in the order they began (the engine answers in order): all before the first
// with calls unanswered.
uint64_t handOversEnded() { return unanswered.empty() ? handOversBegun : unanswered.begin()->first - 1; }

// The engine answered a call of hand-over `handOver`: the navigations that waited for it go.
void answered(gpointer handOver) {
  auto it = unanswered.find(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handOver)));
  if (it == unanswered.end() || --it->second > 0) return;
  unanswered.erase(it);
  const uint64_t ended = handOversEnded();
  std::vector<uint64_t> going;
  for (const auto& [ticket, waiter] : waiters) {
    if (waiter.needs <= ended) going.push_back(ticket);
  }
  for (uint64_t ticket : going) {
    // One that went may have withdrawn another (its delegate closed a screen).
    auto waiter = waiters.find(ticket);
    if (waiter == waiters.end()) continue;
    auto ready = std::move(waiter->second.ready);
    waiters.erase(waiter);
    ready(ticket);
  }
}

std::string keyOf(const NSHTTPCookie& cookie) {
  return cookie.name()->utf8() + ";" + cookie.domain()->utf8() + ";" + cookie.path()->utf8();
}

std::string fingerprint(const std::shared_ptr<NSArray>& cookies) {
  std::string out;
  for (const id& object : *cookies) {
    auto cookie = zvt::as<NSHTTPCookie>(object);
    if (!cookie) continue;
    auto expires = cookie->expiresDate();
    out += cookie->name()->utf8() + "=" + cookie->value()->utf8() + ";" + cookie->domain()->utf8() + ";" +
           cookie->path()->utf8() + ";" + (expires ? std::to_string(expires->timeIntervalSince1970()) : "-") +
           (cookie->isSecure() ? ";s" : "") + (cookie->isHTTPOnly() ? ";h" : "") + "\n";
  }
  return out;
}

SoupCookie* soupCookieOf(const NSHTTPCookie& cookie) {
  SoupCookie* soup = soup_cookie_new(cookie.name()->UTF8String(), cookie.value()->UTF8String(), cookie.domain()->UTF8String(),
                                     cookie.path()->UTF8String(), -1);
  if (auto expires = cookie.expiresDate()) {
    GDateTime* date = g_date_time_new_from_unix_utc(static_cast<gint64>(expires->timeIntervalSince1970()));
    soup_cookie_set_expires(soup, date);
    g_date_time_unref(date);
  }
  soup_cookie_set_secure(soup, cookie.isSecure());
  soup_cookie_set_http_only(soup, cookie.isHTTPOnly());
  return soup;
}

// Asks the engine to take the cookie in or to drop it; its answer counts for the hand-over `tag`.
enum class Call { kAdd, kDelete };
void send(WebKitCookieManager* manager, const NSHTTPCookie& cookie, Call call, gpointer tag) {
  SoupCookie* soup = soupCookieOf(cookie);
  if (call == Call::kAdd) {
    webkit_cookie_manager_add_cookie(
        manager, soup, nullptr,
        [](GObject* object, GAsyncResult* result, gpointer data) {
          webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(object), result, nullptr);
          answered(data);
        },
        tag);
  } else {
    webkit_cookie_manager_delete_cookie(
        manager, soup, nullptr,
        [](GObject* object, GAsyncResult* result, gpointer data) {
          webkit_cookie_manager_delete_cookie_finish(WEBKIT_COOKIE_MANAGER(object), result, nullptr);
          answered(data);
        },
        tag);
  }
  soup_cookie_free(soup);
}

std::shared_ptr<NSHTTPCookie> cookieOf(SoupCookie* soup) {
  auto properties = NSMutableDictionary::dictionary();
  auto set = [&](const zvt::StaticString& key, const char* value) {
    if (value) properties->setObject(NSString::stringWithUTF8String(value), key);
  };
  set(NSHTTPCookieName, soup_cookie_get_name(soup));
  set(NSHTTPCookieValue, soup_cookie_get_value(soup));
  set(NSHTTPCookieDomain, soup_cookie_get_domain(soup));
  set(NSHTTPCookiePath, soup_cookie_get_path(soup));
  if (GDateTime* expires = soup_cookie_get_expires(soup)) {
    properties->setObject(NSDate::dateWithTimeIntervalSince1970(static_cast<double>(g_date_time_to_unix(expires))),
                          NSHTTPCookieExpires);
  }
  if (soup_cookie_get_secure(soup)) set(NSHTTPCookieSecure, "TRUE");
  if (soup_cookie_get_http_only(soup)) set(NSHTTPCookieHTTPOnly, "TRUE");
  return NSHTTPCookie::cookieWithProperties(properties);
}

// The engine's cookies changed: copy them into the store.
void importCookies(WebKitCookieManager* manager) {
  webkit_cookie_manager_get_all_cookies(
      manager, nullptr,
      [](GObject* object, GAsyncResult* result, gpointer data) {
        const auto asked = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(data));
        GList* cookies = webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(object), result, nullptr);
        auto store = NSHTTPCookieStorage::sharedHTTPCookieStorage();
        const bool inStep = fingerprint(store->cookies()) == handedOver;
        for (GList* item = cookies; item; item = item->next) {
          auto cookie = cookieOf(static_cast<SoupCookie*>(item->data));
          if (!cookie) continue;
          const std::string key = keyOf(*cookie);
          if (auto handed = handedIn.find(key); handed != handedIn.end() && handed->second > asked) continue;
          // The engine still holds the cookie as the store last saw it there: nothing new from the
          // engine. What the store did with it since (a new value, or deleted) stands, and the next
          // hand-over brings it to the engine. (A report read before that change is no newer.)
          auto known = engineHolds.find(key);
          if (known != engineHolds.end() && known->second->value()->isEqualToString(cookie->value())) continue;
          store->setCookie(cookie);
          engineHolds[key] = cookie;
        }
        g_list_free_full(cookies, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
        // What came from the engine need not go back to it.
        if (inStep) handedOver = fingerprint(store->cookies());
      },
      reinterpret_cast<gpointer>(static_cast<uintptr_t>(handOversEnded())));
}

}  // namespace

void usePrivateDisplay() {
  zvt::ui::assertMainThread("usePrivateDisplay");
  privateDisplayWanted = true;
}

bool engineAvailable() {
  zvt::ui::assertMainThread("UIWebView");
  if (state != State::Unknown) return state == State::Ready;
  state = State::Unavailable;
  // Accessibility's bus is no part of a page's rendering; without it no D-Bus session is needed.
  setenv("NO_AT_BRIDGE", "1", 0);
  if (privateDisplayWanted && !startPrivateDisplay()) {
    zvt::logMessage(zvt::LogLevel::Warning,
                    "UIWebView: no X server of its own can start (Xvfb, Debian package xvfb); web views use the "
                    "process's display, if any");
  }
  if (!gtk_init_check(nullptr, nullptr)) {
    const char* display = std::getenv("DISPLAY");
    zvt::logFormat(zvt::LogLevel::Warning, "UIWebView: the X display \"%s\" cannot be opened; web views show nothing",
                   display ? display : "");
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
  g_signal_connect(cookies, "changed", G_CALLBACK(+[](WebKitCookieManager* manager, gpointer) { importCookies(manager); }),
                   nullptr);
  // Pages paint in the UI process, where the layer takes their pixels from the offscreen window,
  // and a scroll moves a page at once (no animation on GLib's clock). Views are made with them: a
  // related view's page keeps the settings it was made with, and one set on it later painted
  // nothing into the offscreen window when two views were shown together.
  settings = webkit_settings_new_with_settings("hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER,
                                               "enable-smooth-scrolling", FALSE, nullptr);
  keeper = WEBKIT_WEB_VIEW(
      g_object_ref_sink(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings, nullptr)));
  state = State::Ready;
  return true;
}

WebKitWebContext* sharedContext() { return engineAvailable() ? context : nullptr; }

WebKitWebView* makeWebView(WebKitUserContentManager* contentManager) {
  if (!engineAvailable()) return nullptr;
  return WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", keeper, "settings", settings,
                                      "user-content-manager", contentManager, nullptr));
}

bool waitOnGLib(const std::function<bool()>& done, gint64 micros) {
  GMainContext* main = g_main_context_default();
  const gint64 deadline = g_get_monotonic_time() + micros;
  // Wakes the blocking iteration at the deadline.
  GSource* bound = g_timeout_source_new(static_cast<guint>(micros / 1000 + 1));
  g_source_set_callback(bound, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
  g_source_attach(bound, main);
  while (!done() && g_get_monotonic_time() < deadline) g_main_context_iteration(main, TRUE);
  g_source_destroy(bound);
  g_source_unref(bound);
  return done();
}

uint64_t handCookiesToEngine(std::function<void(uint64_t)> ready) {
  if (!context) return 0;
  auto cookies = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookies();
  std::string now = fingerprint(cookies);
  if (now != handedOver) {
    handedOver = now;
    const uint64_t handOver = ++handOversBegun;
    gpointer tag = reinterpret_cast<gpointer>(static_cast<uintptr_t>(handOver));
    WebKitCookieManager* manager = webkit_web_context_get_cookie_manager(context);
    int calls = 0;
    // Cookies deleted from the store go from the engine first (a page must not send them again).
    std::map<std::string, std::shared_ptr<NSHTTPCookie>> kept;
    for (const id& object : *cookies) {
      if (auto cookie = zvt::as<NSHTTPCookie>(object)) kept[keyOf(*cookie)] = cookie;
    }
    for (auto it = engineHolds.begin(); it != engineHolds.end();) {
      if (kept.count(it->first)) {
        ++it;
        continue;
      }
      send(manager, *it->second, Call::kDelete, tag);
      ++calls;
      handedIn[it->first] = handOver;
      it = engineHolds.erase(it);
    }
    for (const auto& [key, cookie] : kept) {
      send(manager, *cookie, Call::kAdd, tag);
      ++calls;
      engineHolds[key] = cookie;
      handedIn[key] = handOver;
    }
    if (calls > 0) unanswered[handOver] = calls;
  }
  if (unanswered.empty()) return 0;
  // The navigation waits for them, as a request of the URL loading system would read the store.
  waiters[++lastTicket] = Waiter{handOversBegun, std::move(ready)};
  return lastTicket;
}

void withdrawCookieTicket(uint64_t ticket) { waiters.erase(ticket); }

}  // namespace zvt::web
