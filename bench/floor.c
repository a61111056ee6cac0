/* The engine's floor: the least a WebKitGTK client of Tavro's shape costs. One 318 x 723 window,
 * one view with the settings of Tavro's site view (platform/gtk/web_views.cpp) and the environment
 * Tavro sets for itself (platform/gtk/gtk_runtime.cpp), loading the address given; the window
 * takes the page's title. Plain GTK 3 and WebKitGTK C API, no gtkmm, no skin, no timers.
 *
 * Usage: floor URL. With TAVRO_TIMELINE set it prints "tavro-timeline NAME SECONDS" lines on
 * stderr (CLOCK_MONOTONIC) for main, toolkit, view, load and title, as Tavro does. */
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gsettingsbackend.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static gboolean timeline_on;

static void milestone(const char *name) {
  if (!timeline_on) return;
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  fprintf(stderr, "tavro-timeline %s %.6f\n", name, (double)now.tv_sec + (double)now.tv_nsec / 1e9);
}

static void on_title(WebKitWebView *view, GParamSpec *pspec, GtkWindow *window) {
  (void)pspec;
  static gboolean first = TRUE;
  const char *title = webkit_web_view_get_title(view);
  if (!title || !*title) return;
  gtk_window_set_title(window, title);
  if (first) {
    first = FALSE;
    milestone("title");
  }
}

static WebKitWebContext *new_context(void) {
  /* Tavro's site context: ephemeral, its memory-pressure settings, the smallest cache model, the
   * sandbox. */
  WebKitMemoryPressureSettings *memory = webkit_memory_pressure_settings_new();
  webkit_memory_pressure_settings_set_memory_limit(memory, 200);
  webkit_memory_pressure_settings_set_conservative_threshold(memory, 0.3);
  webkit_memory_pressure_settings_set_strict_threshold(memory, 0.5);
  WebKitWebsiteDataManager *data = webkit_website_data_manager_new_ephemeral();
  WebKitWebContext *context = WEBKIT_WEB_CONTEXT(g_object_new(
      WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data, "memory-pressure-settings", memory, NULL));
  g_object_unref(data);
  webkit_memory_pressure_settings_free(memory);
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  webkit_web_context_set_sandbox_enabled(context, TRUE);
  /* An EGL vendor named from outside /usr (Tavro's, in its build tree) must be seen in there. */
  const char *vendor = getenv("__EGL_VENDOR_LIBRARY_FILENAMES");
  if (vendor && strncmp(vendor, "/usr/", 5) != 0 && !strchr(vendor, ':')) {
    char *folder = g_path_get_dirname(vendor);
    webkit_web_context_add_path_to_sandbox(context, folder, TRUE);
    g_free(folder);
  }
  data = webkit_web_context_get_website_data_manager(context);
  webkit_website_data_manager_set_tls_errors_policy(data, WEBKIT_TLS_ERRORS_POLICY_FAIL);
  webkit_cookie_manager_set_accept_policy(webkit_website_data_manager_get_cookie_manager(data),
                                          WEBKIT_COOKIE_POLICY_ACCEPT_NO_THIRD_PARTY);
  return context;
}

static WebKitWebView *new_view(WebKitWebContext *context) {
  WebKitSettings *settings = webkit_settings_new_with_settings(
      "javascript-can-open-windows-automatically", TRUE, "enable-developer-extras", FALSE,
      "hardware-acceleration-policy", WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER, NULL);
  webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
  WebKitUserContentManager *content = webkit_user_content_manager_new();
  WebKitWebsitePolicies *policies = webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, NULL);
  WebKitWebView *view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings",
                                                     settings, "user-content-manager", content,
                                                     "website-policies", policies, NULL));
  g_object_unref(policies);
  g_object_unref(content);
  g_object_unref(settings);
  return view;
}

int main(int argc, char **argv) {
  timeline_on = getenv("TAVRO_TIMELINE") != NULL;
  milestone("main");
  if (argc != 2) {
    fprintf(stderr, "usage: floor URL\n");
    return 2;
  }
  /* What Tavro sets before the toolkit starts; a value already set is left alone. */
  setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
  setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
  setenv("GDK_GL", "disable", 0);
  /* GSettings in memory for this process only: the web processes read the desktop's. */
  if (!getenv("GSETTINGS_BACKEND")) {
    setenv("GSETTINGS_BACKEND", "memory", 1);
    g_settings_backend_get_default();
    unsetenv("GSETTINGS_BACKEND");
  }
  gdk_set_allowed_backends("x11");
  g_set_prgname("floor");
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "floor: cannot open the X display\n");
    return 1;
  }
  g_object_set(gtk_settings_get_default(), "gtk-recent-files-enabled", FALSE, NULL);
  milestone("toolkit");

  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window), 318, 723);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);

  WebKitWebContext *context = new_context();
  WebKitWebView *view = new_view(context);
  g_object_unref(context); /* the view holds it */
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  g_signal_connect(view, "notify::title", G_CALLBACK(on_title), window);
  milestone("view");

  webkit_web_view_load_uri(view, argv[1]);
  milestone("load");
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
