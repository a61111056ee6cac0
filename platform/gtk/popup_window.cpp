#include "popup_window.h"

namespace tavro::platform::gtk {
namespace {

// Longest title handed to the desktop, as for the main window.
constexpr std::size_t kMaxDesktopTitleBytes = 4096;

std::string ForDesktop(std::string title) {
  if (title.size() <= kMaxDesktopTitleBytes) return title;
  std::size_t cut = kMaxDesktopTitleBytes;
  while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
  title.resize(cut);
  return title;
}

}  // namespace

PopupWindow::PopupWindow(WebKitWebView* view, const Glib::RefPtr<Gdk::Pixbuf>& icon, std::string fallbackTitle,
                         std::function<void()> closeRequested)
    : window_(Gtk::WINDOW_TOPLEVEL),
      view_(WEBKIT_WEB_VIEW(g_object_ref_sink(view))),
      fallbackTitle_(std::move(fallbackTitle)),
      closeRequested_(std::move(closeRequested)) {
  window_.set_decorated(true);
  window_.set_resizable(true);
  window_.set_default_size(kWidth, kHeight);
  window_.set_position(Gtk::WIN_POS_CENTER);
  window_.set_type_hint(Gdk::WINDOW_TYPE_HINT_NORMAL);
  if (icon) window_.set_icon(icon);
  gtk_container_add(GTK_CONTAINER(window_.gobj()), GTK_WIDGET(view_));
  gtk_widget_show(GTK_WIDGET(view_));
  ShowTitle();
  g_signal_connect(view_, "notify::title", G_CALLBACK(&PopupWindow::OnTitleChanged), this);
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
  g_signal_handlers_disconnect_by_data(view_, this);
  window_.hide();
  gtk_container_remove(GTK_CONTAINER(window_.gobj()), GTK_WIDGET(view_));
  g_object_unref(view_);
}

void PopupWindow::Show() {
  window_.show();
  window_.present();
}

void PopupWindow::Hide() { window_.hide(); }

void PopupWindow::OnTitleChanged(WebKitWebView*, GParamSpec*, gpointer self) {
  static_cast<PopupWindow*>(self)->ShowTitle();
}

void PopupWindow::ShowTitle() {
  const char* title = webkit_web_view_get_title(view_);
  window_.set_title(ForDesktop(title && *title ? title : fallbackTitle_));
}

}  // namespace tavro::platform::gtk
