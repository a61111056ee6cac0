// The taskbar entry asks for the agent's eye when the caption changes while the window is
// minimised or not focused; the request ends when the window gets the focus.
#pragma once

#include <gtkmm.h>

#include "owners.h"

namespace tavro::platform::gtk {

class Attention {
 public:
  explicit Attention(Gtk::Window& window);
  Attention(const Attention&) = delete;
  Attention& operator=(const Attention&) = delete;

  // The caption has just changed; `iconified` tells whether the window is minimised.
  void CaptionChanged(bool iconified);

 private:
  Gtk::Window& window_;
  ScopedConnection focus_;
};

}  // namespace tavro::platform::gtk
