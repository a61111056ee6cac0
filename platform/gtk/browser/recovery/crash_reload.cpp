// Reloading views after their web process ended, at most once per interval.
#include "crash_reload.h"

#include <glibmm/main.h>

#include "own_pages.h"
#include "views.h"

namespace tavro::platform::gtk {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds ReloadDelay(std::optional<Clock::time_point> lastReload, Clock::time_point now) {
  if (!lastReload || now < *lastReload) return std::chrono::milliseconds(0);
  const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now - *lastReload);
  return since >= kReloadInterval ? std::chrono::milliseconds(0) : kReloadInterval - since;
}

void CrashReload::Attach(const ShownView& shown) {
  states_[shown.view].site = shown.site;
  connections_.Add(shown.view, Connect(shown.view, "web-process-terminated",
                                       +[](WebKitWebView* v, WebKitWebProcessTerminationReason reason, gpointer self) {
                                         static_cast<CrashReload*>(self)->Terminated(v, reason);
                                       },
                                       this));
}

void CrashReload::CloseAll() {
  closed_ = true;
  for (auto& [view, state] : states_) state.pendingReload.Disconnect();
}

void CrashReload::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  // The address a view has asked for, kept for loading it again after a crash. A view that never
  // started a load has nothing to lose (its first load may still wait its turn).
  if (event != WEBKIT_LOAD_STARTED && event != WEBKIT_LOAD_COMMITTED) return;
  const std::string uri = UriOf(view);
  if (CrashState* state = StateOf(view); state && !uri.empty()) state->lastUri = uri;
}

void CrashReload::Terminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason) {
  // Ended on purpose through the API: whoever did it decides what comes next.
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API || closed_) return;
  CrashState* found = StateOf(view);
  if (!found) return;
  CrashState& state = *found;
  if (UriOf(view).empty() && state.lastUri.empty()) return;  // it never asked for a page
  // An outside page ended at its memory limit would only take it all again: its view stays empty
  // until the program loads it again (the next sign-in).
  if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT && !state.site) {
    state.pendingReload.Disconnect();
    return;
  }
  const auto now = Clock::now();
  state.ends.push_back(now);
  while (!state.ends.empty() && now - state.ends.front() > kEndsWindow) state.ends.pop_front();
  if (static_cast<int>(state.ends.size()) >= kEndsBeforeGivingUp) {
    state.pendingReload.Disconnect();
    state.ends.clear();
    GiveUp(view, UriOf(view).empty() ? state.lastUri : UriOf(view));
    return;
  }
  if (state.pendingReload.Connected()) return;  // one reload is already on its way
  const auto delay = ReloadDelay(state.lastReload, Clock::now());
  if (delay.count() == 0) {
    Reload(view);
    return;
  }
  state.pendingReload = Glib::signal_timeout().connect(
      [this, view] {
        Reload(view);
        return false;
      },
      static_cast<unsigned>(delay.count()));
}

void CrashReload::GiveUp(WebKitWebView* view, const std::string& uri) {
  OwnPage page;
  page.title = "页面多次意外终止";
  page.message = "这个页面的进程反复意外终止，Tavro 不再自动重新载入。请稍后点“重试”，或按 F5。";
  page.english = "This page's process keeps ending unexpectedly, and Tavro no longer loads it again by itself. "
                 "Try again later with the button, or press F5.";
  page.retryUri = uri;
  // In the page's place: trying again (the button, F5) loads the page itself.
  webkit_web_view_load_alternate_html(view, OwnPageHtml(page).c_str(), uri.c_str(), nullptr);
}

void CrashReload::Reload(WebKitWebView* view) {
  CrashState* found = StateOf(view);
  if (!found || closed_) return;
  CrashState& state = *found;
  state.pendingReload.Disconnect();
  std::string uri = UriOf(view);
  if (uri.empty()) uri = state.lastUri;
  if (uri.empty()) return;
  state.lastReload = Clock::now();
  webkit_web_view_load_uri(view, uri.c_str());
}

}  // namespace tavro::platform::gtk
