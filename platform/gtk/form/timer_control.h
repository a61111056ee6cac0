// A timer of the design: its ticks come through the event loop at the stored interval.
#pragma once

#include <chrono>

#include "dispatcher.h"
#include "owners.h"
#include "platform/design.h"
#include "platform/forms.h"

namespace tavro::platform::gtk {

class GtkTimer : public TimerControl {
 public:
  GtkTimer(Dispatcher& dispatcher, const ControlDesign& design);
  int Interval() const override { return interval_; }

  // Ticking ends with Stop or with the timer; a timer of interval 0 never ticks. The intervals
  // are counted from `since` (the toolkit's start): the first tick comes one interval after it,
  // or at once when that time has passed, but never before this call.
  void Start(std::chrono::steady_clock::time_point since);
  void Stop() {
    firstTick_.Disconnect();
    ticking_.Disconnect();
  }

 private:
  void Ticked();

  Dispatcher& dispatcher_;
  int interval_;
  ScopedConnection firstTick_, ticking_;
};

}  // namespace tavro::platform::gtk
