// The find bar of a window's pages: type to find, Enter and Shift+Enter for the next and the
// previous match, the number of matches, Escape to close it and clear the highlight.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <functional>

#include "find_bar_host.h"
#include "owners.h"

namespace tavro::platform::gtk {

class FindBar {
 public:
  explicit FindBar(FindBarHost& host);
  ~FindBar();
  FindBar(const FindBar&) = delete;
  FindBar& operator=(const FindBar&) = delete;

  // Keys in the bar that are not the bar's own (F5, zoom; pressed or released): true when the
  // handler took them.
  std::function<bool(WebKitWebView* view, GdkEventKey* event)> otherKey;

  // Shows the bar for the view's page with the focus in its text; a text already there is found
  // again in that page.
  void Open(WebKitWebView* view);
  // Hides the bar, clears the highlight and gives the focus back to the page.
  void Close();
  // The view goes: a bar open for it hides, without touching the view.
  void Forget(WebKitWebView* view);
  bool IsOpen() const { return frame_.get_visible(); }

 private:
  void Search();
  void Step(bool forward);
  void Found(guint count);
  void NotFound();
  void Target(WebKitWebView* view);

  // The frame has a window of its own, so it stands over the views' windows.
  Gtk::EventBox frame_;
  Gtk::Box row_;
  Gtk::SearchEntry entry_;
  Gtk::Label count_;
  Gtk::Button previous_, next_, close_;
  WeakRef<WebKitWebView> view_;  // the page searched
  SignalConnection found_, failed_, counted_;
};

}  // namespace tavro::platform::gtk
