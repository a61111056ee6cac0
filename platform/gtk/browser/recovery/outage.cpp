// Tavro's page for a site that cannot be reached, and the retries behind it.
#include "outage.h"

#include <gio/gio.h>
#include <glibmm/main.h>

#include <algorithm>

#include "own_pages.h"

namespace tavro::platform::gtk {
namespace {

constexpr std::chrono::seconds kLongestRetryDelay{30};

// Failures that mean the site could not be reached. A load cancelled (the agent went elsewhere),
// stopped by a policy (a download, a refused address) or refused for its certificate is not one.
bool IsOutage(const GError* error) {
  if (!error) return false;
  if (error->domain == WEBKIT_NETWORK_ERROR) return error->code != WEBKIT_NETWORK_ERROR_CANCELLED;
  if (error->domain == WEBKIT_POLICY_ERROR || error->domain == WEBKIT_PLUGIN_ERROR ||
      error->domain == WEBKIT_DOWNLOAD_ERROR)
    return false;
  return !(error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CANCELLED);
}

}  // namespace

std::chrono::seconds RetryDelay(int retry) {
  if (retry < 0) retry = 0;
  if (retry >= 5) return kLongestRetryDelay;
  return std::min(kLongestRetryDelay, std::chrono::seconds(1 << retry));
}

Outage::Outage()
    : network_(Connect(g_network_monitor_get_default(), "network-changed",
                       +[](GNetworkMonitor*, gboolean available, gpointer self) {
                         static_cast<Outage*>(self)->NetworkChanged(available != FALSE);
                       },
                       this)) {}

void Outage::Attach(const ShownView& shown) {
  if (!shown.site || !shown.main) return;
  states_[shown.view];
  connections_.Add(shown.view,
                   Connect(shown.view, "load-failed-with-tls-errors",
                           +[](WebKitWebView* v, gchar*, GTlsCertificate*, GTlsCertificateFlags, gpointer self) -> gboolean {
                             if (OutageState* state = static_cast<Outage*>(self)->StateOf(v)) state->certificateRefused = true;
                             return FALSE;  // the engine refuses it and shows why
                           },
                           this));
}

void Outage::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  if (event != WEBKIT_LOAD_COMMITTED) return;
  OutageState* state = StateOf(view);
  if (!state || state->failedUri.empty()) return;
  // A page of the site itself is back (Tavro's own page commits as alternate content and is told
  // apart by the pending retry).
  if (state->retry.Connected()) return;
  state->failedUri.clear();
  state->retries = 0;
}

void Outage::CloseAll() {
  closed_ = true;
  for (auto& [view, state] : states_) state.retry.Disconnect();
}

bool Outage::LoadFailed(WebKitWebView* view, const char* uri, GError* error) {
  OutageState* found = StateOf(view);
  if (closed_ || !found || !uri) return false;
  OutageState& state = *found;
  if (std::exchange(state.certificateRefused, false) || !IsOutage(error)) return false;
  state.failedUri = uri;
  const auto delay = RetryDelay(state.retries++);
  OwnPage page;
  page.title = "无法连接到客服网站";
  page.message = "连不上客服网站，" + std::to_string(delay.count()) +
                 " 秒后自动重试，网络恢复时立即重试。按 F5 可马上重新载入。";
  page.english = "The customer-service site cannot be reached. Tavro tries again in " +
                 std::to_string(delay.count()) + " s, and at once when the network is back; F5 tries now.";
  page.detail = std::string(error->message ? error->message : "") + " — " + uri;
  // The own page stands in the failed address's place: reloading it loads the site again.
  webkit_web_view_load_alternate_html(view, OwnPageHtml(page).c_str(), uri, nullptr);
  state.retry = Glib::signal_timeout().connect_seconds(
      [this, view] {
        Retry(view);
        return false;
      },
      static_cast<unsigned>(delay.count()));
  return true;  // instead of the engine's error page
}

void Outage::Retry(WebKitWebView* view) {
  OutageState* state = StateOf(view);
  if (closed_ || !state || state->failedUri.empty()) return;
  state->retry.Disconnect();
  webkit_web_view_load_uri(view, state->failedUri.c_str());
}

void Outage::NetworkChanged(bool available) {
  if (!available) return;
  for (auto& [view, state] : states_)
    if (!state.failedUri.empty()) Retry(view);
}

}  // namespace tavro::platform::gtk
