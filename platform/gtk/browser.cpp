// The browser units over the views of the main window and of the site's pop-ups.
#include "browser.h"

#include "site_origin.h"

namespace tavro::platform::gtk {

Browser::Browser(Gtk::Window& mainWindow)
    : siteContext_(CreateWebContext()),
      outsideContext_(CreateWebContext()),
      views_(mainWindow),
      popups_(views_, gestures_, notices_),
      dialogs_(views_),
      downloads_(views_, gestures_, notices_, siteContext_.get(), outsideContext_.get()),
      notifications_(views_, siteContext_.get()) {
  popups_.opened = [this](WebKitWebView* view, Gtk::Window& window) { Attach(view, window, true); };
  popups_.closing = [this](WebKitWebView* view) {
    notices_.Forget(views_.WindowOf(view));
    Detach(view);
  };
}

Browser::~Browser() { CloseAll(); }

WebKitWebView* Browser::NewPlacedView(const std::string& uri) {
  const bool site = !navigated_ || SameWebOrigin(uri, siteUri_);
  WebKitWebView*& first = site ? firstSiteView_ : firstOutsideView_;
  WebKitWebView* view = CreateWebView(site ? siteContext_.get() : outsideContext_.get(), first,
                                      site ? ViewRole::Site : ViewRole::Outside);
  if (!first) first = view;
  Attach(view, views_.MainWindow(), site);
  return view;
}

void Browser::Attach(WebKitWebView* view, Gtk::Window& window, bool site) {
  views_.Add(view, window, site);
  gestures_.Attach(view);
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
  gestures_.Detach(view);
  views_.Remove(view);
}

void Browser::Navigating(WebKitWebView* view, const std::optional<std::string>& uri) {
  // Only the first control navigated shows the site, even when its address gave nothing to load.
  if (navigated_) return;
  navigated_ = true;
  if (!uri || !view || !views_.IsSite(view)) return;
  siteUri_ = *uri;
  notifications_.SiteKnown(*uri);
}

void Browser::CloseAll() {
  notices_.CloseAll();
  dialogs_.CloseAll();
  downloads_.CloseAll();
  popups_.CloseAll();
  crashReload_.CloseAll();
  notifications_.CloseAll();
}

}  // namespace tavro::platform::gtk
