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

void Outage::Attach(WebKitWebView* view) {
  states_[view];
  connections_.Add(view, Connect(view, "load-failed",
                                 +[](WebKitWebView* v, WebKitLoadEvent, gchar* uri, GError* error, gpointer self) -> gboolean {
                                   return static_cast<Outage*>(self)->Failed(v, uri, error);
                                 },
                                 this));
  connections_.Add(view, Connect(view, "load-failed-with-tls-errors",
                                 +[](WebKitWebView* v, gchar*, GTlsCertificate*, GTlsCertificateFlags, gpointer self) -> gboolean {
                                   auto* me = static_cast<Outage*>(self);
                                   if (const auto it = me->states_.find(v); it != me->states_.end())
                                     it->second.certificateRefused = true;
                                   return FALSE;  // the engine refuses it and shows why
                                 },
                                 this));
  connections_.Add(view, Connect(view, "load-changed",
                                 +[](WebKitWebView* v, WebKitLoadEvent event, gpointer self) {
                                   if (event != WEBKIT_LOAD_COMMITTED) return;
                                   auto* me = static_cast<Outage*>(self);
                                   const auto it = me->states_.find(v);
                                   if (it == me->states_.end() || it->second.failedUri.empty()) return;
                                   // A page of the site itself is back (Tavro's own page commits as
                                   // alternate content and is told apart by the pending retry).
                                   if (it->second.retry.Connected()) return;
                                   it->second.failedUri.clear();
                                   it->second.retries = 0;
                                 },
                                 this));
}

void Outage::Detach(WebKitWebView* view) {
  connections_.Drop(view);
  states_.erase(view);
}

void Outage::CloseAll() {
  closed_ = true;
  for (auto& [view, state] : states_) state.retry.Disconnect();
}

bool Outage::Failed(WebKitWebView* view, const char* uri, GError* error) {
  const auto it = states_.find(view);
  if (closed_ || it == states_.end() || !uri) return false;
  ViewState& state = it->second;
  if (std::exchange(state.certificateRefused, false) || !IsOutage(error)) return false;
  state.failedUri = uri;
  const auto delay = RetryDelay(state.retries++);
  OwnPage page;
  page.title = "无法连接到客服网站";
  page.message = "连不上客服网站，" + std::to_string(delay.count()) +
                 " 秒后自动重试，网络恢复时立即重试。按 F5 可马上重新载入。";
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
  const auto it = states_.find(view);
  if (closed_ || it == states_.end() || it->second.failedUri.empty()) return;
  it->second.retry.Disconnect();
  webkit_web_view_load_uri(view, it->second.failedUri.c_str());
}

void Outage::NetworkChanged(bool available) {
  if (!available) return;
  for (auto& [view, state] : states_)
    if (!state.failedUri.empty()) Retry(view);
}

}  // namespace tavro::platform::gtk
