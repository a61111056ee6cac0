// The site's cookies, followed through the cookie manager's "changed" signal.
#include "cookie_jar.h"

namespace tavro::platform::gtk {

CookieJar::CookieJar(WebKitCookieManager* manager)
    : manager_(manager),
      cancellable_(g_cancellable_new()),
      changed_(Connect(manager, "changed",
                       +[](WebKitCookieManager*, gpointer self) { static_cast<CookieJar*>(self)->Refresh(); },
                       this)) {}

CookieJar::~CookieJar() { g_cancellable_cancel(cancellable_.get()); }

void CookieJar::Refresh() {
  webkit_cookie_manager_get_all_cookies(
      manager_, cancellable_.get(),
      +[](GObject* source, GAsyncResult* result, gpointer self) {
        GError* raw = nullptr;
        GList* cookies = webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, &raw);
        const GErrorPtr error(raw);
        if (error) return;  // cancelled with the jar, or the network process went: keep the last copy
        std::vector<CookiePtr> copy;
        for (GList* l = cookies; l; l = l->next) copy.emplace_back(static_cast<SoupCookie*>(l->data));
        g_list_free(cookies);
        static_cast<CookieJar*>(self)->cookies_ = std::move(copy);
      },
      this);
}

std::string CookieJar::HeaderFor(const std::string& uri) const {
  GUri* parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_ENCODED, nullptr);
  if (!parsed) return {};
  const char* host = g_uri_get_host(parsed);
  GSList* applying = nullptr;
  // libsoup leaves the domain to its caller.
  for (const auto& cookie : cookies_)
    if (host && soup_cookie_domain_matches(cookie.get(), host) && soup_cookie_applies_to_uri(cookie.get(), parsed))
      applying = g_slist_append(applying, cookie.get());
  g_uri_unref(parsed);
  const GCharPtr header(applying ? soup_cookies_to_cookie_header(applying) : nullptr);
  g_slist_free(applying);
  return header ? header.get() : "";
}

}  // namespace tavro::platform::gtk
