// New windows that pages ask for: the site's open in pop-up windows of Tavro that share its
// session; outside pages' (the advertisement's) go to the desktop's browser. Either only in answer
// to the agent's input, one window for each, and never more than a few pop-up windows at once.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <list>
#include <memory>
#include <set>

#include "blocked_notice.h"
#include "gestures.h"
#include "owners.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

class PopupWindow;

// A pop-up's view joins the views (and so every unit) when its window is made, and leaves them
// when the window closes or the main window goes.
class Popups : public ViewUnit {
 public:
  Popups(Views& views, Gestures& gestures, BlockedNotices& notices);
  ~Popups() override;

  // Handles the view's requests for new windows (and, for a pop-up, its own showing and closing).
  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;
  // Every pop-up window goes, and no new one opens.
  void CloseAll() override;
  // The new windows of outside pages go to the desktop's browser (or nowhere).
  bool DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) override;
  std::size_t Count() const { return windows_.size(); }

 private:
  WebKitWebView* Create(WebKitWebView* opener, WebKitNavigationAction* action);
  void Show(WebKitWebView* view);
  void Close(WebKitWebView* view);
  void Refuse(WebKitWebView* opener);

  Views& views_;
  Gestures& gestures_;
  BlockedNotices& notices_;
  ConnectionsByInstance connections_;
  std::list<std::unique_ptr<PopupWindow>> windows_;
  std::set<WebKitWebView*> apart_;  // pop-ups in a web process apart from the console's
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
