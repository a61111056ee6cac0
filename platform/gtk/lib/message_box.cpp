// Message boxes: title, buttons, default answer, focus and icon in one place.
#include "message_box.h"

namespace tavro::platform::gtk {
namespace {

// GTK 3 draws no picture for a message type: the icon is set as an image of its own.
const char* IconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Information: return "dialog-information";
    case BoxIcon::Error: return "dialog-error";
    case BoxIcon::Plain: break;
  }
  return nullptr;
}

Gtk::MessageType TypeOf(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Information: return Gtk::MESSAGE_INFO;
    case BoxIcon::Error: return Gtk::MESSAGE_ERROR;
    case BoxIcon::Plain: break;
  }
  return Gtk::MESSAGE_OTHER;
}

}  // namespace

void SetApplicationTitle(const std::string& title) { g_set_application_name(title.c_str()); }

std::string ApplicationTitle() {
  const char* name = g_get_application_name();
  return name ? name : "";
}

std::unique_ptr<Gtk::MessageDialog> MakeMessageBox(Gtk::Window* parent, const std::string& text, BoxIcon icon,
                                                   BoxButtons buttons) {
  auto box = std::make_unique<Gtk::MessageDialog>(text, false, TypeOf(icon), Gtk::BUTTONS_NONE, true);
  box->set_title(ApplicationTitle());
  if (const char* name = IconName(icon)) {
    auto* image = Gtk::make_managed<Gtk::Image>();
    image->set_from_icon_name(name, Gtk::ICON_SIZE_DIALOG);
    image->show();
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_message_dialog_set_image(box->gobj(), GTK_WIDGET(image->gobj()));
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  Gtk::Button* focused = nullptr;
  if (buttons == BoxButtons::AllowDeny) {
    box->add_button(kAllowLabel, Gtk::RESPONSE_OK);
    focused = box->add_button(kDenyLabel, Gtk::RESPONSE_CANCEL);
    box->set_default_response(Gtk::RESPONSE_CANCEL);
  } else {
    focused = box->add_button(kOkLabel, Gtk::RESPONSE_OK);
    if (buttons == BoxButtons::OkCancel) box->add_button(kCancelLabel, Gtk::RESPONSE_CANCEL);
    box->set_default_response(Gtk::RESPONSE_OK);
  }
  box->signal_show().connect([focused] { focused->grab_focus(); });
  if (parent) {
    box->set_transient_for(*parent);
    box->set_position(Gtk::WIN_POS_CENTER_ON_PARENT);
  } else {
    box->set_position(Gtk::WIN_POS_CENTER);
  }
  return box;
}

}  // namespace tavro::platform::gtk
