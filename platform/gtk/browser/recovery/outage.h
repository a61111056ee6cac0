// When the site cannot be reached (refused, unknown host, timed out, the network gone), the main
// window's site view shows a page of Tavro's own that says so, and loads the site again by itself:
// after 1, 2, 4 ... at most 30 seconds, and at once when the network comes back.
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <map>
#include <string>

#include "owners.h"

namespace tavro::platform::gtk {

// The wait before the n-th retry (from 0): doubling from one second, never above thirty.
std::chrono::seconds RetryDelay(int retry);

class Outage {
 public:
  Outage();
  Outage(const Outage&) = delete;
  Outage& operator=(const Outage&) = delete;

  void Attach(WebKitWebView* view);
  void Detach(WebKitWebView* view);
  // No view retries any more.
  void CloseAll();

 private:
  struct ViewState {
    std::string failedUri;  // the address that could not be loaded, while it could not
    int retries = 0;
    bool certificateRefused = false;
    ScopedConnection retry;
  };
  bool Failed(WebKitWebView* view, const char* uri, GError* error);
  void Retry(WebKitWebView* view);
  void NetworkChanged(bool available);

  std::map<WebKitWebView*, ViewState> states_;
  ConnectionsByInstance connections_;
  SignalConnection network_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
