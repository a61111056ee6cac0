// How the browser views are made: a web context per kind of content, and the views' settings.
// The site's pages and the outside pages (the advertisement) never share a web process, a
// session or cookies.
#pragma once

#include <webkit2/webkit2.h>

#include "owners.h"

namespace tavro::platform::gtk {

enum class ViewRole {
  Site,     // the site's pages: the console, its pop-ups
  Outside,  // another site's page shown in the window: the advertisement
};

// A context that keeps cookies, caches and storage in memory only, whose web processes run in
// the sandbox and whose cookies are never sent to or set by other sites' pages. Each kind of
// content gets one of its own; the outside pages' processes give memory back sooner.
GObjectPtr<WebKitWebContext> CreateWebContext(ViewRole role);

// A new view (a floating reference, sunk by the caller) with the settings of its role. Views
// related to `related` share its web process; a view starts no web process before its first load.
WebKitWebView* CreateWebView(WebKitWebContext* context, WebKitWebView* related, ViewRole role);

}  // namespace tavro::platform::gtk
