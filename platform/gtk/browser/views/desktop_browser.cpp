// Web addresses handed to the desktop's default browser.
#include "desktop_browser.h"

#include <gio/gio.h>

#include <iostream>

#include "owners.h"
#include "site_origin.h"

namespace tavro::platform::gtk {

void OpenOnDesktop(const char* uri) {
  if (!uri) return;
  const GUriPtr parsed(g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr));
  const bool web = parsed && IsWebScheme(g_uri_get_scheme(parsed.get()));
  // A page must not start other programs through file: or custom-scheme addresses.
  if (!web) return;
  GError* raw = nullptr;
  if (!g_app_info_launch_default_for_uri(uri, nullptr, &raw)) {
    const GErrorPtr error(raw);
    std::cerr << "tavro: cannot open " << uri << " in the desktop's browser: "
              << (error ? error->message : "no browser") << std::endl;
  }
}

}  // namespace tavro::platform::gtk
