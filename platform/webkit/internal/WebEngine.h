#pragma once
// The engine under every UIWebView of the process: GTK on the X display, GLib's context joined to
// the main run loop, and one WebKit context whose views share a web process and an ephemeral
// network session (never a person's browser profile). Main thread only.

#include <webkit2/webkit2.h>

#include <cstdint>
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
// Before a navigation goes out, the store's cookies are handed to the engine when the store
// changed since they were last handed over, and the navigation waits until the engine has
// answered for every cookie handed to it (as a request of the URL loading system reads the store
// when it goes out); cookies the engine receives or pages set are copied into the store as the
// engine reports them.
//
// Hands the cookies over when needed. 0 when nothing is on its way to the engine (the navigation
// may go at once); otherwise a ticket, and `ready` gets it from GLib's context once the engine has
// answered, unless the ticket was withdrawn before.
uint64_t handCookiesToEngine(std::function<void(uint64_t ticket)> ready);
void withdrawCookieTicket(uint64_t ticket);

// Runs GLib's context only (nothing else of the run loop) until `done` holds, for at most
// `micros` of real time; whether it holds. What waits on the engine's answer (a script's) waits
// so, as the device's main thread waits for its web thread.
bool waitOnGLib(const std::function<bool()>& done, gint64 micros);

}  // namespace zvt::web
