// Timer ticks from GLib's main loop, each one dispatched at the runtime's error edge.
#include "timer_control.h"

#include <glibmm/main.h>

#include "timeline.h"

namespace tavro::platform::gtk {

GtkTimer::GtkTimer(Dispatcher& dispatcher, const ControlDesign& design)
    : dispatcher_(dispatcher), interval_(design.interval) {}

void GtkTimer::Start() {
  if (interval_ <= 0 || ticking_.Connected()) return;
  ticking_ = Glib::signal_timeout().connect(
      [this] {
        // The handler is looked up at each tick: it may be set or changed after the start.
        Reached(Milestone::Tick);
        if (Tick) dispatcher_.Dispatch(Tick);
        return true;
      },
      static_cast<unsigned>(interval_));
}

}  // namespace tavro::platform::gtk
