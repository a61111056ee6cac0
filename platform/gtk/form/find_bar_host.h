// What a window of Tavro's offers a find bar for its pages: a place for the bar.
#pragma once

#include <gtkmm.h>

namespace tavro::platform::gtk {

// A window that shows a find bar for its pages. Where the bar goes is the window's business:
// the main window keeps it in front of everything in its visible part, a pop-up under its page.
class FindBarHost {
 public:
  // Takes the bar in, hidden, once; the bar shows and hides itself.
  virtual void PlaceFindBar(Gtk::Widget& bar) = 0;

 protected:
  FindBarHost() = default;
  ~FindBarHost() = default;
  FindBarHost(const FindBarHost&) = default;
  FindBarHost& operator=(const FindBarHost&) = default;
};

}  // namespace tavro::platform::gtk
