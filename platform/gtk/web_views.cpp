// The web context and view settings shared by every browser view of the window.
#include "web_views.h"

namespace tavro::platform::gtk {

WebKitWebContext* CreateWebContext() {
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  return context;
}

WebKitWebView* CreateWebView(WebKitWebContext* context, WebKitWebView* related) {
  if (related) return WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, nullptr));
  return WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, nullptr));
}

}  // namespace tavro::platform::gtk
