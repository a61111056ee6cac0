// GSettings in memory for this process only, and GTK's recent files off.
#define G_SETTINGS_ENABLE_BACKEND
#include "kept_off_disk.h"

#include <gio/gsettingsbackend.h>
#include <gtk/gtk.h>

#include <cstdlib>

namespace tavro::platform::gtk {

void KeepOwnSettingsInMemory() {
  // GIO picks the default backend once, at its first use: this process keeps the memory backend,
  // while the web and network processes it starts later find no such setting in their
  // environment and read the desktop's.
  if (std::getenv("GSETTINGS_BACKEND")) return;  // the user's choice
  ::setenv("GSETTINGS_BACKEND", "memory", 1);
  g_settings_backend_get_default();
  ::unsetenv("GSETTINGS_BACKEND");
}

void KeepNoRecentFiles() {
  if (GtkSettings* settings = gtk_settings_get_default())
    g_object_set(settings, "gtk-recent-files-enabled", FALSE, nullptr);
}

}  // namespace tavro::platform::gtk
