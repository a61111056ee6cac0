// When the site cannot be reached (refused, unknown host, timed out, the network gone), the main
// window's site view shows a page of Tavro's own that says so, and loads the site again by itself:
// after 1, 2, 4 ... at most 30 seconds, and at once when the network comes back.
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <map>
#include <string>

#include "owners.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

// The wait before the n-th retry (from 0): doubling from one second, never above thirty.
std::chrono::seconds RetryDelay(int retry);

struct OutageState {
  std::string failedUri;  // the address that could not be loaded, while it could not
  int retries = 0;
  bool certificateRefused = false;
  ScopedConnection retry;
};

// Only the console itself (the site's view in the main window).
class Outage : public PerViewUnit<OutageState> {
 public:
  Outage();

  void Attach(const ShownView& shown) override;
  // No view retries any more.
  void CloseAll() override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;
  // Shows Tavro's page instead of the engine's when the site could not be reached.
  bool LoadFailed(WebKitWebView* view, const char* uri, GError* error) override;

 private:
  void Retry(WebKitWebView* view);
  void NetworkChanged(bool available);

  SignalConnection network_;
};

}  // namespace tavro::platform::gtk
