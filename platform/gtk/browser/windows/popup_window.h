// A plain, decorated window of its own for a page the site opens in a new window.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

#include "find_bar_host.h"
#include "owners.h"

namespace tavro::platform::gtk {

class PopupWindow {
 public:
  static constexpr int kWidth = 1000;
  static constexpr int kHeight = 700;

  // Takes a reference of its own to the view (sinking a floating one). The window stays hidden
  // until Show; closing it from the desktop hides it and calls closeRequested, whose owner then
  // drops it. A page that is not of the site has its origin in the window's title.
  PopupWindow(WebKitWebView* view, const Glib::RefPtr<Gdk::Pixbuf>& icon, std::string fallbackTitle,
              std::function<bool(const std::string& uri)> ofTheSite, std::function<void()> closeRequested);
  ~PopupWindow();
  PopupWindow(const PopupWindow&) = delete;
  PopupWindow& operator=(const PopupWindow&) = delete;

  WebKitWebView* View() const { return view_.get(); }
  Gtk::Window& Window() { return window_; }
  void Show();
  void Hide() { window_.hide(); }

 private:
  // The page fills the window; the find bar, when the agent opens it, goes under it.
  class Frame : public Gtk::Window, public FindBarHost {
   public:
    Frame();
    Gtk::Box& Layout() { return layout_; }
    void PlaceFindBar(Gtk::Widget& bar) override { layout_.pack_end(bar, false, false); }

   private:
    Gtk::Box layout_;
  };

  void ShowTitle();

  // The window goes after the view has left it and the title handler is gone.
  Frame window_;
  GObjectPtr<WebKitWebView> view_;
  std::string fallbackTitle_;
  std::function<bool(const std::string& uri)> ofTheSite_;
  std::function<void()> closeRequested_;
  SignalConnection titleChanged_, uriChanged_;
};

}  // namespace tavro::platform::gtk
