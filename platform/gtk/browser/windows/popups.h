// New windows that pages ask for: the site's open in pop-up windows of Tavro that share its
// session; outside pages' (the advertisement's) go to the desktop's browser. Either only in answer
// to the agent's input, one window for each, and never more than a few pop-up windows at once.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <list>
#include <memory>

#include "blocked_notice.h"
#include "gestures.h"
#include "owners.h"
#include "views.h"

namespace tavro::platform::gtk {

class PopupWindow;

// Hands a web address to the desktop's default browser; anything but http(s) is refused.
void OpenOnDesktop(const char* uri);

class Popups {
 public:
  Popups(Views& views, Gestures& gestures, BlockedNotices& notices);
  ~Popups();
  Popups(const Popups&) = delete;
  Popups& operator=(const Popups&) = delete;

  // A pop-up's view has its window and waits to be attached to the other units; and it is about
  // to go (its window closed, or the main window went).
  std::function<void(WebKitWebView* view, Gtk::Window& window)> opened;
  std::function<void(WebKitWebView* view)> closing;

  // Handles the view's requests for new windows (and, for a pop-up, its own showing and closing).
  void Attach(WebKitWebView* view);
  void Detach(WebKitWebView* view);
  // Every pop-up window goes, and no new one opens.
  void CloseAll();
  std::size_t Count() const { return windows_.size(); }

 private:
  WebKitWebView* Create(WebKitWebView* opener, WebKitNavigationAction* action);
  void Show(WebKitWebView* view);
  void Close(WebKitWebView* view);
  bool DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
  void Refuse(WebKitWebView* opener);

  Views& views_;
  Gestures& gestures_;
  BlockedNotices& notices_;
  ConnectionsByInstance connections_;
  std::list<std::unique_ptr<PopupWindow>> windows_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
