// A browser view placed on the window: Navigate, LocationName and the host's Visible. Its WebKit
// view is made on the first load, so that a view never navigated costs no web process or memory;
// until then a blank placeholder keeps its place, stacking and tab position.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <optional>
#include <string>

#include "browser.h"
#include "design_container.h"
#include "load_order.h"
#include "owners.h"
#include "page_title.h"
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

  // The WebKit view, made now (for the site) if it was not yet.
  WebKitWebView* View();
  Gtk::Widget& Widget() { return *widget_; }

 private:
  void MakeView(const std::string& uri);

  // What a never navigated view shows: the empty page's white.
  class Placeholder : public Gtk::DrawingArea {
   protected:
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
  };

  Browser& browser_;
  LoadOrder& loadOrder_;
  DesignContainer& container_;
  std::string name_;
  Placeholder placeholder_;
  GObjectPtr<WebKitWebView> view_;
  std::unique_ptr<PageTitle> title_;
  Gtk::Widget* widget_;  // the placeholder, then the view (gtkmm's wrapper goes with the view)
  int turn_;             // the view's place in the load order
  SignalConnection loadChanged_, loadFailed_;
};

}  // namespace tavro::platform::gtk
