// What the window and its controls need of the runtime: every handler runs through Dispatch, and
// lengths turn from twips into pixels by the window's scale.
#pragma once

#include <functional>

#include "geometry.h"
#include "window_scale.h"

namespace tavro::platform::gtk {

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  // Runs the handler at the runtime's error edge; does nothing once the window is unloaded or an
  // error report is up.
  virtual void Dispatch(const std::function<void()>& handler) = 0;
  // Twips per pixel of the window: the desktop's (its resolution), or more where the window was
  // made smaller to fit its screen.
  virtual float TwipsX() const = 0;
  virtual float TwipsY() const = 0;
  // Twips per pixel at the desktop's resolution alone.
  virtual float DesktopTwips() const { return TwipsX(); }

  // A rectangle of the design in pixels: edges rounded, so neighbours stay neighbours.
  PixelRect ToPixels(int left, int top, int width, int height) const {
    const int x = DesignPixels(left, TwipsX()), y = DesignPixels(top, TwipsY());
    return PixelRect{x, y, DesignPixels(left + width, TwipsX()) - x, DesignPixels(top + height, TwipsY()) - y};
  }
  // The window's pixels per pixel of the stored design's pictures: 1 at 96 dpi.
  double DesignScale() const { return kTwipsPerDesignPixel / TwipsX(); }
  // The zoom that keeps the pages at the window's scale. The engine already draws pages larger by
  // the desktop's resolution (a CSS pixel is resolution / 96 pixels), so this is 1 unless the
  // window was made smaller to fit its screen, and then the pages go down with it.
  double PageZoom() const { return static_cast<double>(DesktopTwips()) / TwipsX(); }
};

}  // namespace tavro::platform::gtk
