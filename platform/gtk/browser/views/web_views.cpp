// The web contexts of the site and of outside pages, and the settings of their views.
#include "web_views.h"

#include <glib/gstdio.h>

#include <memory>

#include "gl_driver.h"
#include "site_origin.h"
#include "startup_milestones.h"

namespace tavro::platform::gtk {
namespace {

// Resource use: small pages stay open all day. A web process gives its caches back when its own
// memory passes a third of its soft limit and all it can past half of it. Past its kill limit it
// is ended: a page that grows without end takes no more of the agent's machine.
struct MemoryLimits {
  guint softLimitMb = 0;
  double releaseCachesAt = 0.3;  // of the limit: give back caches and collect
  double releaseAllAt = 0.5;     // of the limit: give back all that it can
  double killAt = 0;             // of the limit: the process is ended
  double pollSeconds = 0;        // how often the process looks at its size; 0: the engine's own
};
// The console and its pop-ups: 60 MB is about twice what the console takes; a console never
// comes near 1.6 GB, and one that did would be loaded again in a new process (see CrashReload).
constexpr MemoryLimits kSiteMemory{.softLimitMb = 200, .killAt = 8.0};
// The advertisement alone: one small page of pictures and text, 30 MB and 50 MB; past 300 MB it
// ends, looked at four times a second, so that a page growing fast is caught early.
constexpr MemoryLimits kOutsideMemory{.softLimitMb = 100, .killAt = 3.0, .pollSeconds = 0.25};

struct MemoryPressureSettingsFree {
  void operator()(WebKitMemoryPressureSettings* settings) const { webkit_memory_pressure_settings_free(settings); }
};

GObjectPtr<WebKitWebContext> NewLeanContext(const MemoryLimits& limits, const std::string& profileFolder) {
  const std::unique_ptr<WebKitMemoryPressureSettings, MemoryPressureSettingsFree> memory(
      webkit_memory_pressure_settings_new());
  webkit_memory_pressure_settings_set_memory_limit(memory.get(), limits.softLimitMb);
  webkit_memory_pressure_settings_set_conservative_threshold(memory.get(), limits.releaseCachesAt);
  webkit_memory_pressure_settings_set_strict_threshold(memory.get(), limits.releaseAllAt);
  webkit_memory_pressure_settings_set_kill_threshold(memory.get(), limits.killAt);
  if (limits.pollSeconds > 0) webkit_memory_pressure_settings_set_poll_interval(memory.get(), limits.pollSeconds);
  const auto data = Adopt(profileFolder.empty()
                              ? webkit_website_data_manager_new_ephemeral()
                              : webkit_website_data_manager_new("base-data-directory", profileFolder.c_str(),
                                                                "base-cache-directory",
                                                                (profileFolder + "/cache").c_str(), nullptr));
  return Adopt(WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data.get(),
                                               "memory-pressure-settings", memory.get(), nullptr)));
}

// TAVRO_MOCK_CAPTURE_DEVICES=1: the site's pages find the engine's stand-in microphone and camera
// instead of the machine's, so that tests need none.
bool MockCaptureDevices() {
  const char* mock = g_getenv("TAVRO_MOCK_CAPTURE_DEVICES");
  return mock && g_strcmp0(mock, "1") == 0;
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
  if (role == ViewRole::Site) {
    // The site plays its new-message sound without a click first.
    webkit_settings_set_media_playback_requires_user_gesture(settings.get(), FALSE);
    // Its voice calls take the microphone and the camera, once the agent allowed them (see
    // PagePermissions). The tests give the engine's own stand-ins for the devices instead.
    webkit_settings_set_enable_media_stream(settings.get(), TRUE);
    webkit_settings_set_enable_mock_capture_devices(settings.get(), MockCaptureDevices());
  } else {
    // An outside page shows pictures and text in a corner of the window: nothing in it plays,
    // records, or draws through GL.
    webkit_settings_set_enable_media_stream(settings.get(), FALSE);
    webkit_settings_set_enable_media(settings.get(), FALSE);
    webkit_settings_set_enable_mediasource(settings.get(), FALSE);
    webkit_settings_set_enable_webaudio(settings.get(), FALSE);
    webkit_settings_set_enable_webgl(settings.get(), FALSE);
  }
  return settings;
}

}  // namespace

GObjectPtr<WebKitWebContext> CreateWebContext(ViewRole role, const std::string& profileFolder) {
  GObjectPtr<WebKitWebContext> context =
      NewLeanContext(role == ViewRole::Site ? kSiteMemory : kOutsideMemory, profileFolder);
  // The smallest caches the engine has, for both.
  webkit_web_context_set_cache_model(context.get(), WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  // Pages run in WebKit's bubblewrap sandbox, without access to the agent's files.
  webkit_web_context_set_sandbox_enabled(context.get(), TRUE);
  // The sandbox shows /usr, where an installed Tavro keeps its EGL vendor; a build tree's is shown
  // read-only, or the web processes would find no display.
  if (const std::string vendor = OwnGlVendorFolder(); !vendor.empty() && vendor.rfind("/usr/", 0) != 0)
    webkit_web_context_add_path_to_sandbox(context.get(), vendor.c_str(), TRUE);
  WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(context.get());
  // A certificate that does not check out fails the load and shows the engine's error page.
  webkit_website_data_manager_set_tls_errors_policy(data, WEBKIT_TLS_ERRORS_POLICY_FAIL);
  // The site's session cookie goes with the site's own pages only, never with another site's
  // requests to it (an advertisement's pictures, a customer's page posting a form).
  WebKitCookieManager* cookies = webkit_website_data_manager_get_cookie_manager(data);
  webkit_cookie_manager_set_accept_policy(cookies, WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
  // The cookies a site means to keep (a "remember me" sign-in); session cookies stay in memory.
  if (!profileFolder.empty())
    webkit_cookie_manager_set_persistent_storage(cookies, (profileFolder + "/cookies.sqlite").c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
  Reached(Milestone::Context);
  return context;
}

std::string SiteProfileFolder(const std::string& siteUri) {
  const std::string origin = WebOriginOf(siteUri);  // scheme://host[:port]
  if (origin.empty()) return {};
  std::string name;
  for (const char c : origin) {
    const bool plain = g_ascii_isalnum(c) || c == '.' || c == '-';
    if (plain)
      name += c;
    else if (name.empty() || name.back() != '_')
      name += '_';
  }
  const std::string folder = std::string(g_get_user_data_dir()) + "/tavro/sites/" + name;
  // Readable by the agent alone: it holds their sign-in.
  if (g_mkdir_with_parents(folder.c_str(), 0700) != 0 || g_chmod(folder.c_str(), 0700) != 0) return {};
  return folder;
}

WebKitWebView* CreateWebView(WebKitWebContext* context, WebKitWebView* related, ViewRole role) {
  const auto settings = NewViewSettings(role);
  // Each view has its own scripts and message handlers: a message then tells which page sent it.
  const auto content = Adopt(webkit_user_content_manager_new());
  // The site's sound plays whenever the site plays it; outside pages play nothing by themselves.
  const auto policies = Adopt(webkit_website_policies_new_with_policies(
      "autoplay", role == ViewRole::Site ? WEBKIT_AUTOPLAY_ALLOW : WEBKIT_AUTOPLAY_DENY, nullptr));
  WebKitWebView* view =
      related ? WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "settings",
                                             settings.get(), "user-content-manager", content.get(),
                                             "website-policies", policies.get(), nullptr))
              : WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings",
                                             settings.get(), "user-content-manager", content.get(),
                                             "website-policies", policies.get(), nullptr));
  Reached(Milestone::View);
  return view;
}

}  // namespace tavro::platform::gtk
