// The four window-system calls of the window's outline and drag, over GDK/X11.
#pragma once

#include <memory>

#include "platform/user32.h"

namespace tavro::platform::gtk {

// Regions, capture and the move message over GDK/X11, for windows of this process.
std::unique_ptr<WindowSystem> CreateWindowSystem();

}  // namespace tavro::platform::gtk
