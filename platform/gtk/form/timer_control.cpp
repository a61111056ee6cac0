// Timer ticks from GLib's main loop, each one dispatched at the runtime's error edge.
#include "timer_control.h"

#include <glibmm/main.h>

#include <algorithm>

#include "startup_milestones.h"

namespace tavro::platform::gtk {

GtkTimer::GtkTimer(Dispatcher& dispatcher, const ControlDesign& design)
    : dispatcher_(dispatcher), interval_(design.interval) {}

void GtkTimer::Start(std::chrono::steady_clock::time_point since) {
  if (interval_ <= 0 || firstTick_.Connected() || ticking_.Connected()) return;
  using std::chrono::milliseconds;
  const milliseconds interval(interval_);
  const auto elapsed = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - since);
  const milliseconds first = std::clamp(interval - elapsed, milliseconds(0), interval);
  firstTick_ = Glib::signal_timeout().connect(
      [this] {
        // The steady pace from here on, set before the handler runs: the handler may stop it.
        ticking_ = Glib::signal_timeout().connect(
            [this] {
              Ticked();
              return true;
            },
            static_cast<unsigned>(interval_));
        Ticked();
        return false;
      },
      static_cast<unsigned>(first.count()));
}

void GtkTimer::Ticked() {
  Reached(Milestone::Tick);
  // The handler is looked up at each tick: it may be set or changed after the start.
  if (Tick) dispatcher_.Dispatch(Tick);
}

}  // namespace tavro::platform::gtk
