// A timer of the design: its ticks come through the event loop at the stored interval.
#pragma once

#include "dispatcher.h"
#include "owners.h"
#include "platform/design.h"
#include "platform/forms.h"

namespace tavro::platform::gtk {

class GtkTimer : public TimerControl {
 public:
  GtkTimer(Dispatcher& dispatcher, const ControlDesign& design);
  int Interval() const override { return interval_; }

  // Ticking starts here and ends with Stop or with the timer; a timer of interval 0 never ticks.
  void Start();
  void Stop() { ticking_.Disconnect(); }

 private:
  Dispatcher& dispatcher_;
  int interval_;
  ScopedConnection ticking_;
};

}  // namespace tavro::platform::gtk
