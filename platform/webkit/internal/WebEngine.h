#pragma once
// The engine under every UIWebView of the process: GTK on the X display, GLib's context joined to
// the main run loop, and one WebKit context whose views share a web process and an ephemeral
// network session (never a person's browser profile). Main thread only.

#include <webkit2/webkit2.h>

namespace zvt::web {

// Initialises GTK and joins GLib's context once; false (and a warning, once) when no X display
// can be opened or GLib's context belongs to another thread.
bool engineAvailable();
// The shared context; null when the engine is not available.
WebKitWebContext* sharedContext();
// A new web view in a process shared with the views alive (WebKit's related views).
WebKitWebView* makeWebView(WebKitUserContentManager* contentManager);

}  // namespace zvt::web
