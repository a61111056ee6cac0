// Placed browser views: the address fixed up as a browser's address bar would, loads in turn.
#include "web_browser.h"

#include "platform/address.h"
#include "platform/errors.h"

namespace tavro::platform::gtk {

bool GtkWebBrowser::Placeholder::on_draw(const Cairo::RefPtr<Cairo::Context>& cr) {
  cr->set_source_rgb(1, 1, 1);
  cr->paint();
  return true;
}

GtkWebBrowser::GtkWebBrowser(LoadOrder& loadOrder, const ControlDesign& design, DesignContainer& container,
                             const PixelRect& rect, double pageZoom)
    : loadOrder_(loadOrder),
      container_(container),
      name_(design.name),
      widget_(&placeholder_),
      turn_(loadOrder.Join(design.visible)),
      pageZoom_(pageZoom) {
  placeholder_.set_name(name_);
  // Nothing to read or press: the keyboard passes over it; the view, once made, takes the tab
  // position.
  placeholder_.set_can_focus(false);
  container_.Place(placeholder_, rect, design.tabIndex);
  placeholder_.set_visible(design.visible);
}

GtkWebBrowser::~GtkWebBrowser() {
  loadChanged_.Disconnect();
  loadFailed_.Disconnect();
  container_.remove(*widget_);
}

void GtkWebBrowser::ShowView(WebKitWebView* view) {
  if (view_) return;
  view_ = Retain(view);
  // The whole page (not its text alone) follows the window; the agent's own zoom starts here.
  webkit_web_view_set_zoom_level(view_.get(), pageZoom_);
  Gtk::Widget* shown = Glib::wrap(GTK_WIDGET(view_.get()));
  shown->set_name(name_);
  container_.Replace(placeholder_, *shown);
  widget_ = shown;
  title_ = std::make_unique<PageTitle>(view_.get());
  // The browser's own handlers come after these; a failure it answers with a page of Tavro's
  // stops the engine's error page, and these still hear it.
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
                          return FALSE;
                        },
                        this);
}

void GtkWebBrowser::Navigate(const std::string& url) {
  // What browsers accept; a longer text is no address and would cost the engine gigabytes.
  constexpr std::size_t kLongestAddress = std::size_t{2} * 1024 * 1024;
  if (url.size() > kLongestAddress)
    throw RuntimeError(kInvalidProcedureCall, "Invalid procedure call or argument: the address is " +
                                                  std::to_string(url.size()) + " bytes long; browsers take at most " +
                                                  std::to_string(kLongestAddress / (std::size_t{1024} * 1024)) + " MB");
  if (host_) host_->Load(*this, url, FixUpAddress(url));
}

std::string GtkWebBrowser::LocationName() const { return title_ ? title_->Text() : ""; }

void GtkWebBrowser::SetVisible(bool visible) {
  if (visible != widget_->get_visible()) {
    // Only a real change restacks: the signed-in layout is applied again on every tick.
    widget_->set_visible(visible);
    container_.Restack();
  }
  loadOrder_.VisibilityChanged(turn_, visible);
}

}  // namespace tavro::platform::gtk
