// Key events told apart by what the X server stamped on them. The engine hands a key the page
// did not use back to the window, as a copy, once the page has answered; by then the focus may
// have moved to another widget. Until a view gets that copy back, it takes the next key for the
// window instead of the page, and that key is lost.
#pragma once

#include <gdk/gdk.h>

#include <algorithm>
#include <cstddef>
#include <deque>

namespace tavro::platform::gtk {

class RecentKeys {
 public:
  void Add(const GdkEventKey* event) {
    keys_.push_back(StampOf(event));
    if (keys_.size() > kRemembered) keys_.pop_front();
  }
  bool Contains(const GdkEventKey* event) const {
    return std::find(keys_.begin(), keys_.end(), StampOf(event)) != keys_.end();
  }

 private:
  struct Stamp {
    GdkEventType type;
    guint keyval, state;
    guint16 keycode;
    guint32 time;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const GdkEventKey* event) {
    return {event->type, event->keyval, event->state, event->hardware_keycode, event->time};
  }
  static constexpr std::size_t kRemembered = 32;
  std::deque<Stamp> keys_;
};

}  // namespace tavro::platform::gtk
