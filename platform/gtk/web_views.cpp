// The web contexts of the site and of outside pages, and the settings of their views.
#include "web_views.h"

#include <memory>

#include "timeline.h"

namespace tavro::platform::gtk {
namespace {

// Resource use: two small pages stay open all day. The web process gives its caches back when its
// own memory passes 60 MB (about twice what the console and the advertisement take) and all it can
// past 100 MB; it is never stopped for its size.
constexpr guint kWebProcessMemoryLimitMb = 200;  // the web process's soft limit, in MB
constexpr double kReleaseCachesAt = 0.3;           // of the limit: give back caches and collect
constexpr double kReleaseAllAt = 0.5;              // of the limit: give back all that it can

struct MemoryPressureSettingsFree {
  void operator()(WebKitMemoryPressureSettings* settings) const { webkit_memory_pressure_settings_free(settings); }
};

GObjectPtr<WebKitWebContext> NewLeanEphemeralContext() {
  const std::unique_ptr<WebKitMemoryPressureSettings, MemoryPressureSettingsFree> memory(
      webkit_memory_pressure_settings_new());
  webkit_memory_pressure_settings_set_memory_limit(memory.get(), kWebProcessMemoryLimitMb);
  webkit_memory_pressure_settings_set_conservative_threshold(memory.get(), kReleaseCachesAt);
  webkit_memory_pressure_settings_set_strict_threshold(memory.get(), kReleaseAllAt);
  const auto data = Adopt(webkit_website_data_manager_new_ephemeral());
  return Adopt(WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data.get(),
                                               "memory-pressure-settings", memory.get(), nullptr)));
}

// Every view's settings, given when the view is made: changing some of them (the drawing
// policy) on a view whose web process already runs makes that process start over.
GObjectPtr<WebKitSettings> NewViewSettings(ViewRole role) {
  auto settings = Adopt(webkit_settings_new_with_settings(
      // What a page may do in an agent's browser: open windows by itself (the site's open in
      // Tavro; others only go to the desktop's browser on a click). No web inspector.
      "javascript-can-open-windows-automatically", TRUE,
      "enable-developer-extras", FALSE,
      // The views draw in software. Agents' machines are often without a graphics card (thin
      // clients, virtual desktops), where compositing goes through a software GL: for these small
      // pages that costs about 100 MB more and more processor time than drawing in software.
      "hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER,
      nullptr));
  // The site plays its new-message sound without a click first; an outside page gets what a
  // browser gives any page.
  if (role == ViewRole::Site) webkit_settings_set_media_playback_requires_user_gesture(settings.get(), FALSE);
  return settings;
}

}  // namespace

GObjectPtr<WebKitWebContext> CreateWebContext() {
  GObjectPtr<WebKitWebContext> context = NewLeanEphemeralContext();
  webkit_web_context_set_cache_model(context.get(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  // Pages run in WebKit's bubblewrap sandbox, without access to the agent's files.
  webkit_web_context_set_sandbox_enabled(context.get(), TRUE);
  WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(context.get());
  // A certificate that does not check out fails the load and shows the engine's error page.
  webkit_website_data_manager_set_tls_errors_policy(data, WEBKIT_TLS_ERRORS_POLICY_FAIL);
  // The site's session cookie goes with the site's own pages only, never with another site's
  // requests to it (an advertisement's pictures, a customer's page posting a form).
  webkit_cookie_manager_set_accept_policy(webkit_website_data_manager_get_cookie_manager(data),
                                          WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
  Reached(Milestone::Context);
  return context;
}

WebKitWebView* CreateWebView(WebKitWebContext* context, WebKitWebView* related, ViewRole role) {
  const auto settings = NewViewSettings(role);
  // Each view has its own scripts and message handlers: a message then tells which page sent it.
  const auto content = Adopt(webkit_user_content_manager_new());
  // The site's sound plays whenever the site plays it; other pages autoplay without sound only.
  const auto policies = Adopt(role == ViewRole::Site
                                  ? webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr)
                                  : webkit_website_policies_new());
  WebKitWebView* view =
      related ? WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "settings", settings.get(),
                                             "user-content-manager", content.get(), "website-policies",
                                             policies.get(), nullptr))
              : WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings.get(),
                                             "user-content-manager", content.get(), "website-policies",
                                             policies.get(), nullptr));
  Reached(Milestone::View);
  return view;
}

}  // namespace tavro::platform::gtk
