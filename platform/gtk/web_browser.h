// A browser view placed on the window: Navigate, LocationName and the host's Visible, over a
// WebKit view whose loads take their turn in the window's load order.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <string>

#include "browser.h"
#include "design_container.h"
#include "load_order.h"
#include "owners.h"
#include "platform/design.h"
#include "platform/forms.h"

namespace tavro::platform::gtk {

class GtkWebBrowser : public WebBrowser {
 public:
  GtkWebBrowser(Browser& browser, LoadOrder& loadOrder, const ControlDesign& design, DesignContainer& container,
                const PixelRect& rect);
  ~GtkWebBrowser() override;
  GtkWebBrowser(const GtkWebBrowser&) = delete;
  GtkWebBrowser& operator=(const GtkWebBrowser&) = delete;

  void Navigate(const std::string& url) override;
  std::string LocationName() const override;
  bool Visible() const override { return widget_->get_visible(); }
  void SetVisible(bool visible) override;

  WebKitWebView* View() const { return view_.get(); }
  Gtk::Widget& Widget() { return *widget_; }

 private:
  Browser& browser_;
  LoadOrder& loadOrder_;
  DesignContainer& container_;
  GObjectPtr<WebKitWebView> view_;
  Gtk::Widget* widget_;  // the same view, wrapped; gtkmm's wrapper goes with the view
  int turn_;             // the view's place in the load order
  SignalConnection loadChanged_, loadFailed_;
};

}  // namespace tavro::platform::gtk
