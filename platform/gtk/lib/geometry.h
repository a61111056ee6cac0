// A rectangle in device pixels, as controls are placed.
#pragma once

namespace tavro::platform::gtk {

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
};

}  // namespace tavro::platform::gtk
