// Ending a stuck site process and loading the site's pages again in a new one.
#include "site_process.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace tavro::platform::gtk {

void SiteProcess::Attach(const ShownView& shown) {
  // A pop-up in a process of its own holds nothing of the site's when it is stuck.
  if (shown.site && !shown.main && !shown.ownProcess) popups_.insert(shown.view);
}

bool SiteProcess::Stuck(WebKitWebView* view) const {
  // Scripts that never end (a loop of dialogs nobody sees) hold every page of the web process.
  const auto views = views_.SiteViews();
  return !webkit_web_view_get_is_web_process_responsive(view) ||
         std::any_of(views.begin(), views.end(), [this](WebKitWebView* v) { return dialogs_.Looping(v); });
}

void SiteProcess::Detach(WebKitWebView* view) {
  if (popups_.erase(view) == 0 || views_.Closing()) return;
  if (!dialogs_.Looping(view) && !Stuck(view)) {
    // A page whose dialogs the agent stopped was asking for them in a row: on a busy machine its
    // loop may not yet look like one, and the process is asked instead.
    if (dialogs_.Stopped(view)) Probe();
    return;
  }
  // Once the window has left the views, so that its page is not loaded again.
  restart_ = Glib::signal_idle().connect([this] {
    Restart();
    return false;
  });
}

void SiteProcess::Probe() {
  const auto views = views_.SiteViews();
  if (views.empty() || probe_) return;
  probe_ = Adopt(g_cancellable_new());
  webkit_web_view_evaluate_javascript(
      views.front(), "0", -1, nullptr, nullptr, probe_.get(),
      +[](GObject* source, GAsyncResult* result, gpointer self) {
        GError* error = nullptr;
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error))
          g_object_unref(value);
        const bool cancelled = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        if (error) g_error_free(error);
        if (cancelled) return;  // the unit is gone or the probe's time ran out
        auto* unit = static_cast<SiteProcess*>(self);
        unit->probeDue_.Disconnect();
        unit->probe_.reset();
      },
      this);
  probeDue_ = Glib::signal_timeout().connect_seconds(
      [this] {
        g_cancellable_cancel(probe_.get());
        probe_.reset();
        Restart();
        return false;
      },
      kProbeSeconds);
}

void SiteProcess::CloseAll() {
  restart_.Disconnect();
  probeDue_.Disconnect();
  if (probe_) g_cancellable_cancel(probe_.get());
  probe_.reset();
}

void SiteProcess::ProgramLoading(WebKitWebView* view) {
  if (views_.IsSite(view) && Stuck(view)) Restart();
}

void SiteProcess::Restart() {
  // The engine forgets the views' addresses with their process.
  const auto views = views_.SiteViews();
  if (views.empty()) return;
  std::vector<std::pair<WebKitWebView*, std::string>> pages;
  for (WebKitWebView* site : views) pages.emplace_back(site, UriOf(site));
  webkit_web_view_terminate_web_process(views.front());
  for (const auto& [site, uri] : pages)
    if (!uri.empty()) webkit_web_view_load_uri(site, uri.c_str());
}

}  // namespace tavro::platform::gtk
