// One concern of the browser over the views Tavro shows: what every unit offers the list it is
// in (see Views), and the skeleton most units share.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <map>

#include "owners.h"

namespace tavro::platform::gtk {

// A view Tavro shows, as the units see it when it comes.
struct ShownView {
  WebKitWebView* view = nullptr;
  Gtk::Window* window = nullptr;  // the window it is in
  bool site = false;              // one of the site's views (not an outside page)
  bool main = false;              // in the main window (not a pop-up window of the site's)
  bool ownProcess = false;        // a pop-up of another origin's page, in a web process of its own
};

class ViewUnit {
 public:
  virtual ~ViewUnit() = default;

  // A view comes: the unit connects what it needs of it (or nothing, for views it leaves alone).
  virtual void Attach(const ShownView& shown) = 0;
  // The view goes: nothing of the unit's stays on it.
  virtual void Detach(WebKitWebView* view) = 0;
  // The main window goes: the unit's windows, boxes and pending work go too, nothing new starts.
  virtual void CloseAll() {}

  // The signals several units hear, each connected once per view by the list and handed on in the
  // list's order (see Browser, where the list is made). A unit answers only for views it attached.
  virtual void LoadChanged(WebKitWebView* /*view*/, WebKitLoadEvent /*event*/) {}
  // True when the unit shows a page of its own instead of the engine's error page.
  virtual bool LoadFailed(WebKitWebView* /*view*/, const char* /*uri*/, GError* /*error*/) { return false; }
  // True when the unit has decided: the units after it do not hear the decision.
  virtual bool DecidePolicy(WebKitWebView* /*view*/, WebKitPolicyDecision* /*decision*/,
                            WebKitPolicyDecisionType /*type*/) {
    return false;
  }
  // The program (not a page) has just asked the view to load a page.
  virtual void ProgramLoading(WebKitWebView* /*view*/) {}

 protected:
  ViewUnit() = default;
  ViewUnit(const ViewUnit&) = delete;
  ViewUnit& operator=(const ViewUnit&) = delete;
};

// A unit that keeps a state for each view it attached, with the connections on the view's own
// signals: both go with the view. Once the main window has gone, `closed_` is set.
template <typename State>
class PerViewUnit : public ViewUnit {
 public:
  void Detach(WebKitWebView* view) override {
    connections_.Drop(view);
    states_.erase(view);
  }
  void CloseAll() override { closed_ = true; }

 protected:
  State* StateOf(WebKitWebView* view) {
    const auto it = states_.find(view);
    return it == states_.end() ? nullptr : &it->second;
  }
  const State* StateOf(WebKitWebView* view) const {
    const auto it = states_.find(view);
    return it == states_.end() ? nullptr : &it->second;
  }

  // The states go after the connections whose handlers use them.
  std::map<WebKitWebView*, State> states_;
  ConnectionsByInstance connections_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
