// What a control of the design is to assistive technologies: its role and name, and for a push
// button the press a screen reader can ask for.
#pragma once

#include <gtkmm.h>

#include <functional>
#include <string>

#include "platform/design.h"

namespace tavro::platform::gtk {

// Lives as long as the control: a push button presses through `press` (run from the main loop,
// never inside the assistive technology's request); a title bar is named after the title of the
// window it lies on, and follows it. A container widget only (the picture boxes are).
class AccessibleControl {
 public:
  AccessibleControl(Gtk::Container& widget, const ControlDesign& design, std::function<void()> press);
  ~AccessibleControl();
  AccessibleControl(const AccessibleControl&) = delete;
  AccessibleControl& operator=(const AccessibleControl&) = delete;

 private:
  Gtk::Container& widget_;
  sigc::connection titleChanged_;
};

}  // namespace tavro::platform::gtk
