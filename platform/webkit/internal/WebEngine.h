#pragma once
// The engine under every UIWebView of the process: GTK on the X display, GLib's context joined to
// the main run loop, and one WebKit context whose views share a web process and an ephemeral
// network session (never a person's browser profile). Main thread only.

#include <webkit2/webkit2.h>

#include <functional>

namespace zvt::web {

// Initialises GTK and joins GLib's context once; false (and a warning, once) when no X display
// can be opened or GLib's context belongs to another thread.
bool engineAvailable();
// The shared context; null when the engine is not available.
WebKitWebContext* sharedContext();
// A new web view in the web process all views share, which lives as long as the engine (a related
// view of a view the engine keeps for that).
WebKitWebView* makeWebView(WebKitUserContentManager* contentManager);

// Cookies: NSHTTPCookieStorage's shared store and the engine's session see the same cookies.
// Before a navigation goes out, the store's cookies are handed to the engine (waiting, at most
// two seconds, until it has them) when the store changed since they were last handed over;
// cookies the engine receives or pages set are copied into the store as the engine reports them.
void syncCookiesToEngine();

// Runs GLib's context only (nothing else of the run loop) until `done` holds, for at most
// `micros` of real time; whether it holds. What waits on the engine (a script's answer, cookies
// handed over) waits so, as the device's main thread waits for its web thread.
bool waitOnGLib(const std::function<bool()>& done, gint64 micros);

}  // namespace zvt::web
