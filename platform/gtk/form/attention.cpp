// The urgency hint that follows the caption.
#include "attention.h"

namespace tavro::platform::gtk {

Attention::Attention(Gtk::Window& window) : window_(window) {
  focus_ = window_.property_is_active().signal_changed().connect([this] {
    if (window_.is_active()) window_.set_urgency_hint(false);
  });
}

void Attention::CaptionChanged(bool iconified) {
  if (iconified || !window_.is_active()) window_.set_urgency_hint(true);
}

}  // namespace tavro::platform::gtk
