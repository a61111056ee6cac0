// The browser units over the views of the main window and of the site's pop-ups.
#include "browser.h"

#include "web_views.h"

namespace tavro::platform::gtk {

Browser::Browser(Gtk::Window& mainWindow)
    : context_(CreateWebContext()),
      views_(mainWindow),
      popups_(views_),
      dialogs_(views_),
      downloads_(views_, context_.get()),
      notifications_(views_, context_.get()) {
  popups_.opened = [this](WebKitWebView* view, Gtk::Window& window) { Attach(view, window, true); };
  popups_.closing = [this](WebKitWebView* view) { Detach(view); };
}

Browser::~Browser() { CloseAll(); }

WebKitWebView* Browser::NewPlacedView() {
  WebKitWebView* view = CreateWebView(context_.get(), firstPlaced_);
  if (!firstPlaced_) firstPlaced_ = view;
  Attach(view, views_.MainWindow(), false);
  return view;
}

void Browser::Attach(WebKitWebView* view, Gtk::Window& window, bool site) {
  views_.Add(view, window, site);
  popups_.Attach(view);
  dialogs_.Attach(view);
  crashReload_.Attach(view);
  notifications_.Attach(view);
  contextMenus_.Attach(view);
}

void Browser::Detach(WebKitWebView* view) {
  contextMenus_.Detach(view);
  notifications_.Detach(view);
  crashReload_.Detach(view);
  dialogs_.Detach(view);
  popups_.Detach(view);
  views_.Remove(view);
}

void Browser::Navigating(WebKitWebView* view, const std::string& uri) {
  if (siteKnown_ || !views_.Known(view)) return;
  siteKnown_ = true;
  views_.MarkSite(view);
  notifications_.SiteKnown(uri);
}

void Browser::CloseAll() {
  dialogs_.CloseAll();
  downloads_.CloseAll();
  popups_.CloseAll();
  crashReload_.CloseAll();
  notifications_.CloseAll();
}

}  // namespace tavro::platform::gtk
