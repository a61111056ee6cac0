// A view whose web process ended (a crash, or a site's page killed for its memory) loads its
// page again, but not more often than once every few seconds; when it keeps ending, the view shows
// a page of Tavro's own that says so, with a button to try again, instead of loading it again and
// again. An outside page (the advertisement) ended at its memory limit stays empty.
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "owners.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

inline constexpr std::chrono::milliseconds kReloadInterval{5000};
// This many ends within the window bring Tavro's page.
inline constexpr int kEndsBeforeGivingUp = 3;
inline constexpr std::chrono::seconds kEndsWindow{60};

// How long to wait before that reload, given when the view last reloaded (if ever).
std::chrono::milliseconds ReloadDelay(std::optional<std::chrono::steady_clock::time_point> lastReload,
                                      std::chrono::steady_clock::time_point now);

struct CrashState {
  bool site = false;    // one of the site's views
  std::string lastUri;  // the last address it started to load
  std::optional<std::chrono::steady_clock::time_point> lastReload;
  std::deque<std::chrono::steady_clock::time_point> ends;  // within the window
  ScopedConnection pendingReload;
};

class CrashReload : public PerViewUnit<CrashState> {
 public:
  void Attach(const ShownView& shown) override;
  // No view reloads any more.
  void CloseAll() override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;

 private:
  void Terminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason);
  void Reload(WebKitWebView* view);
  void GiveUp(WebKitWebView* view, const std::string& uri);
};

}  // namespace tavro::platform::gtk
