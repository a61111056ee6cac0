// The site's pop-up windows: decorated, resizable, titled with their page's title and, for
// another site's page, with its origin, which the page cannot change.
#include "popup_window.h"

#include "platform/text.h"
#include "site_origin.h"
#include "views.h"

namespace tavro::platform::gtk {
namespace {

// Longest title handed to the desktop, as for the main window; the origin comes after it.
constexpr std::size_t kMaxDesktopTitleBytes = 4096;
constexpr char kOriginSeparator[] = " — ";

}  // namespace

PopupWindow::Frame::Frame() : Gtk::Window(Gtk::WINDOW_TOPLEVEL), layout_(Gtk::ORIENTATION_VERTICAL) {
  add(layout_);
  layout_.show();
}

PopupWindow::PopupWindow(WebKitWebView* view, const Glib::RefPtr<Gdk::Pixbuf>& icon, std::string fallbackTitle,
                         std::function<bool(const std::string& uri)> ofTheSite,
                         std::function<void()> closeRequested)
    : view_(Retain(view)),
      fallbackTitle_(std::move(fallbackTitle)),
      ofTheSite_(std::move(ofTheSite)),
      closeRequested_(std::move(closeRequested)) {
  window_.set_decorated(true);
  window_.set_resizable(true);
  window_.set_default_size(kWidth, kHeight);
  window_.set_position(Gtk::WIN_POS_CENTER);
  window_.set_type_hint(Gdk::WINDOW_TYPE_HINT_NORMAL);
  if (icon) window_.set_icon(icon);
  gtk_box_pack_start(GTK_BOX(window_.Layout().gobj()), GTK_WIDGET(view_.get()), TRUE, TRUE, 0);
  gtk_widget_show(GTK_WIDGET(view_.get()));
  ShowTitle();
  titleChanged_ = Connect(view_.get(), "notify::title",
                          +[](WebKitWebView*, GParamSpec*, gpointer self) { static_cast<PopupWindow*>(self)->ShowTitle(); },
                          this);
  uriChanged_ = Connect(view_.get(), "notify::uri",
                        +[](WebKitWebView*, GParamSpec*, gpointer self) { static_cast<PopupWindow*>(self)->ShowTitle(); },
                        this);
  // The desktop's close button: the owner drops the window (and its page) once no signal of
  // the page is running any more.
  window_.signal_delete_event().connect(
      [this](GdkEventAny*) {
        Hide();
        if (closeRequested_) closeRequested_();
        return true;
      },
      false);
}

PopupWindow::~PopupWindow() {
  titleChanged_.Disconnect();
  uriChanged_.Disconnect();
  window_.hide();
  gtk_container_remove(GTK_CONTAINER(window_.Layout().gobj()), GTK_WIDGET(view_.get()));
}

void PopupWindow::Show() {
  window_.show();
  window_.present();
}

void PopupWindow::ShowTitle() {
  const char* title = webkit_web_view_get_title(view_.get());
  const std::string shown = title && *title ? title : fallbackTitle_;
  std::string text(CutUtf8(shown, kMaxDesktopTitleBytes));
  // A customer's page could call itself the console: where it comes from shows whatever its title.
  const std::string uri = UriOf(view_.get());
  const std::string origin = WebOriginOf(uri);
  if (!origin.empty() && !(ofTheSite_ && ofTheSite_(uri))) text += kOriginSeparator + origin;
  window_.set_title(text);
}

}  // namespace tavro::platform::gtk
