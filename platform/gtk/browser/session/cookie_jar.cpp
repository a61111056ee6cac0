// The site's cookies, followed through the cookie manager's "changed" signal.
#include "cookie_jar.h"

#include <glibmm/main.h>

namespace tavro::platform::gtk {

CookieJar::CookieJar(WebKitCookieManager* manager)
    : manager_(manager),
      cancellable_(g_cancellable_new()),
      changed_(Connect(manager, "changed",
                       +[](WebKitCookieManager*, gpointer self) { static_cast<CookieJar*>(self)->Refresh(); },
                       this)) {
  networkProcesses_.ended = [this] {
    restarted_ = false;
    Restore(0);
  };
}

CookieJar::~CookieJar() { g_cancellable_cancel(cancellable_.get()); }

void CookieJar::Restore(int attempt) {
  // The engine notices the end only once its connection to the process has failed: what it is
  // handed before then goes nowhere. It is tried again until a new process has started.
  constexpr int kAttempts = 20;
  constexpr unsigned kAttemptInterval = 250;  // milliseconds
  if (cookies_.empty() || attempt >= kAttempts) {
    Restored();
    return;
  }
  restoring_ = true;
  restoreLater_ = Glib::signal_timeout().connect(
      [this, attempt] {
        Restore(attempt + 1);
        return false;
      },
      kAttemptInterval);
  if (wakeNetworkProcess) wakeNetworkProcess();
  // Only a request made once a new network process runs reaches it: that one ends the attempts.
  if (networkProcesses_.Look() > 0) restarted_ = true;
  struct Attempt {
    CookieJar* jar;
    bool live;
  };
  auto pending = std::make_unique<Attempt>(Attempt{this, restarted_});
  GList* cookies = nullptr;
  for (const auto& cookie : cookies_) cookies = g_list_append(cookies, cookie.get());
  webkit_cookie_manager_replace_cookies(
      manager_, cookies, cancellable_.get(),
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        const std::unique_ptr<Attempt> attempt(static_cast<Attempt*>(data));
        GError* raw = nullptr;
        webkit_cookie_manager_replace_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, &raw);
        const GErrorPtr error(raw);
        if (error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;  // the jar is gone
        if (!error && attempt->live) {
          attempt->jar->restoreLater_.Disconnect();
          attempt->jar->Restored();
        }
      },
      pending.release());
  g_list_free(cookies);
}

void CookieJar::Restored() {
  if (!restoring_) return;
  restoring_ = false;
  if (restored) restored();
}

void CookieJar::Refresh() {
  networkProcesses_.Look();
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
        auto* jar = static_cast<CookieJar*>(self);
        jar->cookies_ = std::move(copy);
        jar->headers_.Keep(jar->cookies_);
      },
      this);
}

CookieHeaders::CookieHeaders() : jar_(soup_cookie_jar_new()) {}

void CookieHeaders::Keep(const std::vector<CookiePtr>& cookies) {
  // A jar of its own for each copy: a cookie the engine no longer has must not linger here.
  jar_ = Adopt(soup_cookie_jar_new());
  for (const auto& cookie : cookies) soup_cookie_jar_add_cookie(jar_.get(), soup_cookie_copy(cookie.get()));
}

std::string CookieHeaders::For(const std::string& uri) const {
  const GUriPtr parsed(g_uri_parse(uri.c_str(), static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), nullptr));
  if (!parsed) return {};
  // For an HTTP request: HttpOnly cookies go too.
  const GCharPtr header(soup_cookie_jar_get_cookies(jar_.get(), parsed.get(), TRUE));
  return header ? header.get() : "";
}

}  // namespace tavro::platform::gtk
