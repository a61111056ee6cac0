// How the browser views are made: a web context per kind of content, and the views' settings.
// The site's pages and the outside pages (the advertisement) never share a web process, a
// session or cookies. The site's persistent cookies and its storage live in a profile folder of
// its own, as a browser keeps them; everything else stays in memory.
#pragma once

#include <webkit2/webkit2.h>

#include <string>

#include "owners.h"

namespace tavro::platform::gtk {

enum class ViewRole {
  Site,     // the site's pages: the console, its pop-ups
  Outside,  // another site's page shown in the window: the advertisement
};

// A context whose web processes run in the sandbox and whose cookies are never sent to or set by
// other sites' pages. Each kind of content gets one of its own; the outside pages' processes give
// memory back sooner. With a profile folder (the site's), its persistent cookies, local storage
// and databases are kept there; without, it keeps cookies, caches and storage in memory only.
GObjectPtr<WebKitWebContext> CreateWebContext(ViewRole role, const std::string& profileFolder = {});

// The site's profile folder: $XDG_DATA_HOME/tavro/sites/<scheme>_<host>_<port> (one per site),
// made readable by its user only; empty for an address of no web origin, or when it cannot be
// made (the site then keeps nothing, as before).
std::string SiteProfileFolder(const std::string& siteUri);

// A new view (a floating reference, sunk by the caller) with the settings of its role. Views
// related to `related` share its web process; a view starts no web process before its first load.
WebKitWebView* CreateWebView(WebKitWebContext* context, WebKitWebView* related, ViewRole role);

}  // namespace tavro::platform::gtk
