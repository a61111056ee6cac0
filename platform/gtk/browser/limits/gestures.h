// The agent's presses of a button or a key in each view: what lets a page open one window, start
// one download, hand one address to another program or take the pointer once in answer to them.
#pragma once

#include <webkit2/webkit2.h>

#include <set>

#include "owners.h"
#include "page_limits.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

class Gestures : public ViewUnit {
 public:
  Gestures() = default;

  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;

  // The view's page may open a window now: the engine says it answers a gesture, and an input in
  // the view is fresh and not spent on another window.
  bool TakeForWindow(WebKitWebView* view, bool engineSaysGesture);
  // The view's page may start a download now: an input in it is recent and not spent on another
  // download.
  bool TakeForDownload(WebKitWebView* view);
  // The view's page may hand an address to another program now: as for a window, one program
  // for each input, whatever else the input opened.
  bool TakeForProgram(WebKitWebView* view, bool engineSaysGesture);
  // The view's page may take the pointer now: the agent's latest input in it is a click, fresh and
  // not spent on another lock (a key typed since takes the click's grant back).
  bool TakeForPointerLock(WebKitWebView* view);
  // A window opened in answer to the agent's input may turn its first load into a download (a
  // link to a file that opens in a new window); a page that comes in it gets no such grant.
  void GrantDownload(WebKitWebView* view);

 private:
  void Input(WebKitWebView* view, bool click);

  ConnectionsByInstance connections_;
  std::set<WebKitWebView*> granted_;  // views whose first load may still turn into a download
  GestureLedger windows_{kWindowGestureLifetime};
  GestureLedger downloads_{kDownloadGestureLifetime};
  GestureLedger programs_{kWindowGestureLifetime};
  GestureLedger pointerLocks_{kPointerLockGestureLifetime};
};

}  // namespace tavro::platform::gtk
