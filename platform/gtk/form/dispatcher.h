// What the window and its controls need of the runtime: every handler runs through Dispatch, and
// lengths turn from twips into pixels by the screen's factors.
#pragma once

#include <cmath>
#include <functional>

#include "geometry.h"

namespace tavro::platform::gtk {

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  // Runs the handler at the runtime's error edge; does nothing once the window is unloaded or an
  // error report is up.
  virtual void Dispatch(const std::function<void()>& handler) = 0;
  virtual float TwipsX() const = 0;
  virtual float TwipsY() const = 0;

  // A rectangle of the design in device pixels: edges rounded, so neighbours stay neighbours.
  PixelRect ToPixels(int left, int top, int width, int height) const {
    const double tx = TwipsX(), ty = TwipsY();
    const auto round = [](double v) { return static_cast<int>(std::lround(v)); };
    const int x = round(left / tx), y = round(top / ty);
    return PixelRect{x, y, round((left + width) / tx) - x, round((top + height) / ty) - y};
  }
};

}  // namespace tavro::platform::gtk
