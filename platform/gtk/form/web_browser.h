// A browser view placed on the window: Navigate, LocationName and the host's Visible. Its WebKit
// view comes from the browser above the window on the first load, so that a view never navigated
// costs no web process or memory; until then a blank placeholder keeps its place, stacking and
// tab position.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <optional>
#include <string>

#include "design_container.h"
#include "load_order.h"
#include "owners.h"
#include "page_host.h"
#include "page_title.h"
#include "platform/design.h"
#include "platform/forms.h"

namespace tavro::platform::gtk {

class GtkWebBrowser : public WebBrowser {
 public:
  // `pageZoom`: the zoom its view starts at, which keeps its pages at the window's scale.
  GtkWebBrowser(LoadOrder& loadOrder, const ControlDesign& design, DesignContainer& container, const PixelRect& rect,
                double pageZoom = 1.0);
  ~GtkWebBrowser() override;
  GtkWebBrowser(const GtkWebBrowser&) = delete;
  GtkWebBrowser& operator=(const GtkWebBrowser&) = delete;

  void Navigate(const std::string& url) override;
  std::string LocationName() const override;
  bool Visible() const override { return widget_->get_visible(); }
  void SetVisible(bool visible) override;

  // The browser above the window, once there is one: where Navigate goes.
  void SetHost(PageHost& host) { host_ = &host; }
  const std::string& Name() const { return name_; }
  // The control's place in the window's load order.
  int Turn() const { return turn_; }
  // The WebKit view, or none before the first load.
  WebKitWebView* View() const { return view_.get(); }
  // Takes the view (a floating reference, sunk here) into the placeholder's place, at the
  // control's page zoom. Its load events reach the load order from here, before any handler of
  // the browser's.
  void ShowView(WebKitWebView* view);
  Gtk::Widget& Widget() { return *widget_; }

 private:
  // What a never navigated view shows: the empty page's white.
  class Placeholder : public Gtk::DrawingArea {
   protected:
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
  };

  PageHost* host_ = nullptr;
  LoadOrder& loadOrder_;
  DesignContainer& container_;
  std::string name_;
  Placeholder placeholder_;
  GObjectPtr<WebKitWebView> view_;
  std::unique_ptr<PageTitle> title_;
  Gtk::Widget* widget_;  // the placeholder, then the view (gtkmm's wrapper goes with the view)
  int turn_;             // the view's place in the load order
  double pageZoom_;
  SignalConnection loadChanged_, loadFailed_;
};

}  // namespace tavro::platform::gtk
