// How many notifications may reach the desktop: a few at once, then a steady few per second.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tavro::platform::gtk {

// A page that notifies in a loop must not bury the agent's desktop. Up to `burst` pass at once;
// after that one passes every `intervalUs`, so over any span of time T no more than
// burst + T / interval pass. Times are microseconds of a monotonic clock.
class NotificationRateLimit {
 public:
  NotificationRateLimit(int burst, std::int64_t intervalUs)
      : tolerance_(std::int64_t{std::max(burst, 1) - 1} * std::max<std::int64_t>(intervalUs, 1)),
        interval_(std::max<std::int64_t>(intervalUs, 1)) {}

  // Takes a place at `nowUs` when there is one.
  bool TryTake(std::int64_t nowUs) {
    if (WaitUs(nowUs) > 0) return false;
    due_ = std::max(due_, nowUs) + interval_;
    return true;
  }

  // Microseconds from `nowUs` until a place is free; 0 when one is.
  std::int64_t WaitUs(std::int64_t nowUs) const {
    return std::max<std::int64_t>(due_ - tolerance_ - nowUs, 0);
  }

 private:
  std::int64_t tolerance_;  // how far ahead of the steady pace the burst may run
  std::int64_t interval_;
  std::int64_t due_ = 0;  // when the next place would be free at the steady pace
};

}  // namespace tavro::platform::gtk
