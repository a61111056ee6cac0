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
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

struct NavigationState {
  std::string programUri;    // the program's load not yet started
  bool programLoad = false;  // the main frame's current load is the program's
  // The latest navigations any frame asked for, and whether the agent's input started them.
  std::deque<std::pair<std::string, bool>> actions;
};

class NavigationPolicy : public PerViewUnit<NavigationState> {
 public:
  explicit NavigationPolicy(Views& views) : views_(views) {}

  void Attach(const ShownView& shown) override { states_[shown.view]; }
  // The program has just asked the view to load a page: that load may go anywhere.
  void ProgramLoading(WebKitWebView* view) override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;
  bool LoadFailed(WebKitWebView* view, const char* uri, GError* error) override;
  bool DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) override;

 private:
  bool Policed(WebKitWebView* view) const;

  Views& views_;
};

}  // namespace tavro::platform::gtk
