// The one way Tavro's message boxes are made, and the application title they carry.
#pragma once

#include <gtkmm.h>

#include <memory>
#include <string>

namespace tavro::platform::gtk {

inline constexpr char kOkLabel[] = "确定";
inline constexpr char kCancelLabel[] = "取消";
inline constexpr char kAllowLabel[] = "允许";
inline constexpr char kDenyLabel[] = "拒绝";

// The product's display name: the title of message boxes, dialogs and notifications. Set once,
// when the toolkit starts.
void SetApplicationTitle(const std::string& title);
std::string ApplicationTitle();

enum class BoxIcon { Plain, Information, Error };
enum class BoxButtons {
  Ok,
  OkCancel,
  // A question a page asks of the agent: Allow, then Deny, the default and focused, so that a key
  // the agent meant for the page refuses it.
  AllowDeny,
};

// A message box titled with the application title: OK first, the default and focused when the
// box shows, Cancel after it when asked for; the icon named, from the icon theme, or none. With a
// parent it is modal to that window only and centred on it; without one it is centred on the
// screen. Answers are Gtk::RESPONSE_OK (OK, Allow) and Gtk::RESPONSE_CANCEL (Cancel, Deny); closing
// the box gives neither.
std::unique_ptr<Gtk::MessageDialog> MakeMessageBox(Gtk::Window* parent, const std::string& text, BoxIcon icon,
                                                   BoxButtons buttons);

}  // namespace tavro::platform::gtk
