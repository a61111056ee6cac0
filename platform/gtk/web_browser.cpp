// Placed browser views: the address fixed up as a browser's address bar would, loads in turn.
#include "web_browser.h"

#include "platform/address.h"

namespace tavro::platform::gtk {

GtkWebBrowser::GtkWebBrowser(Browser& browser, LoadOrder& loadOrder, const ControlDesign& design,
                             DesignContainer& container, const PixelRect& rect)
    : browser_(browser),
      loadOrder_(loadOrder),
      container_(container),
      view_(Retain(browser.NewPlacedView())),
      widget_(Glib::wrap(GTK_WIDGET(view_.get()))),
      turn_(loadOrder.Join([view = view_.get()](const std::string& uri) { webkit_web_view_load_uri(view, uri.c_str()); },
                           design.visible)) {
  widget_->set_name(design.name);
  container_.Place(*widget_, rect, design.tabIndex);
  widget_->set_visible(design.visible);
  loadChanged_ = Connect(view_.get(), "load-changed",
                         +[](WebKitWebView*, WebKitLoadEvent event, gpointer self) {
                           auto* me = static_cast<GtkWebBrowser*>(self);
                           if (event == WEBKIT_LOAD_COMMITTED || event == WEBKIT_LOAD_FINISHED)
                             me->loadOrder_.Answered(me->turn_);
                         },
                         this);
  loadFailed_ = Connect(view_.get(), "load-failed",
                        +[](WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer self) -> gboolean {
                          auto* me = static_cast<GtkWebBrowser*>(self);
                          me->loadOrder_.Answered(me->turn_);
                          return FALSE;  // WebKit shows its error page
                        },
                        this);
}

GtkWebBrowser::~GtkWebBrowser() {
  loadChanged_.Disconnect();
  loadFailed_.Disconnect();
  container_.remove(*widget_);
}

void GtkWebBrowser::Navigate(const std::string& url) {
  std::optional<std::string> uri = FixUpAddress(url);
  if (!uri) return;  // the text names no host: nothing to ask for
  browser_.Navigating(view_.get(), *uri);
  loadOrder_.Submit(turn_, std::move(*uri));
}

std::string GtkWebBrowser::LocationName() const {
  const char* title = webkit_web_view_get_title(view_.get());
  return title ? title : "";
}

void GtkWebBrowser::SetVisible(bool visible) {
  if (visible != widget_->get_visible()) {
    // Only a real change restacks: the signed-in layout is applied again on every tick.
    widget_->set_visible(visible);
    container_.Restack();
  }
  loadOrder_.VisibilityChanged(turn_, visible);
}

}  // namespace tavro::platform::gtk
