// How the browser views are made: one shared, ephemeral web context and its settings.
#pragma once

#include <webkit2/webkit2.h>

#include "owners.h"

namespace tavro::platform::gtk {

// A context that keeps cookies, caches and storage in memory only.
GObjectPtr<WebKitWebContext> CreateWebContext();

// A new view (a floating reference, sunk by the caller). Views related to `related` share its
// web process; a view starts no web process before its first load.
WebKitWebView* CreateWebView(WebKitWebContext* context, WebKitWebView* related);

}  // namespace tavro::platform::gtk
