// Polling waits: every wait in the gui and end-to-end tests has a deadline.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace tavro::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Calls the predicate until it returns true or the timeout runs out; one last call is made at
// the deadline, so a slow machine that stalled the poller still gets its answer.
inline bool WaitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout,
                      std::chrono::milliseconds poll = 20ms) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (predicate()) return true;
    if (Clock::now() >= deadline) return predicate();
    std::this_thread::sleep_for(poll);
  }
}

// Milliseconds between two instants, for messages and measurements.
inline long long MillisBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

}  // namespace tavro::test
