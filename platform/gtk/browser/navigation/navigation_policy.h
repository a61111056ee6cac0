// Where the console may go: the main window's site view shows pages of the site's origin, or what
// the program itself asked for (with the redirects the server answered it with). A page's own
// script or link, or another window's (a customer's pop-up setting window.opener.location), takes
// it nowhere else; a link the agent clicked opens in the desktop's browser instead.
#pragma once

#include <webkit2/webkit2.h>

#include <deque>
#include <map>
#include <string>
#include <utility>

#include "owners.h"
#include "views.h"

namespace tavro::platform::gtk {

class NavigationPolicy {
 public:
  explicit NavigationPolicy(Views& views) : views_(views) {}
  NavigationPolicy(const NavigationPolicy&) = delete;
  NavigationPolicy& operator=(const NavigationPolicy&) = delete;

  void Attach(WebKitWebView* view);
  void Detach(WebKitWebView* view);
  // The program has just asked the view to load a page: that load may go anywhere.
  void ProgramLoading(WebKitWebView* view);
  // The address of the program's latest load in the view while the engine has not started it
  // (its web process is busy, stopped or hung); empty once it has.
  std::string ProgramLoadNotStarted(WebKitWebView* view) const;

 private:
  struct State {
    std::string programUri;  // the program's load not yet started
    bool programLoad = false;  // the main frame's current load is the program's
    // The latest navigations any frame asked for, and whether the agent's input started them.
    std::deque<std::pair<std::string, bool>> actions;
  };
  bool Policed(WebKitWebView* view) const;
  bool DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event);

  Views& views_;
  ConnectionsByInstance connections_;
  std::map<WebKitWebView*, State> states_;
};

}  // namespace tavro::platform::gtk
