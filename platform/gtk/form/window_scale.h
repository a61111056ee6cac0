// The window's scale: design lengths in pixels, the scale that fits a screen, and which size of a
// picture draws it.
#pragma once

#include <cmath>

namespace tavro::platform::gtk {

// The stored design's pictures were drawn for 96 dpi, where a pixel is 15 twips.
inline constexpr float kTwipsPerDesignPixel = 15.0F;

// A length of the design in pixels, rounded as the program's own arithmetic rounds it (single
// precision, a half to the even neighbour), so that the window and its outline, which the
// program computes from the same twips, are always the same size.
inline int DesignPixels(int twips, float twipsPerPixel) {
  const float pixels = static_cast<float>(twips) / twipsPerPixel;
  if (pixels - std::floor(pixels) == 0.5F) return static_cast<int>(2.0F * std::round(pixels / 2.0F));
  return static_cast<int>(std::lround(pixels));
}

// The twips per pixel of a window `width` x `height` twips in an area `areaWidth` x
// `areaHeight` pixels (a monitor's work area): the desktop's own when the window fits at it;
// else the smallest larger value at which it fits, so the whole design is drawn smaller. An area
// of no size leaves the desktop's value.
inline float FitTwipsPerPixel(float desktopTwipsPerPixel, int width, int height, int areaWidth, int areaHeight) {
  const auto fits = [&](float twips) {
    return DesignPixels(width, twips) <= areaWidth && DesignPixels(height, twips) <= areaHeight;
  };
  if (areaWidth <= 0 || areaHeight <= 0 || fits(desktopTwipsPerPixel)) return desktopTwipsPerPixel;
  float twips = std::fmax(static_cast<float>(width) / static_cast<float>(areaWidth),
                          static_cast<float>(height) / static_cast<float>(areaHeight));
  twips = std::fmax(twips, desktopTwipsPerPixel);
  // The quotient may round to a hair below the value that fits.
  for (int step = 0; step < 64 && !fits(twips); ++step) twips = std::nextafter(twips, HUGE_VALF);
  return twips;
}

// Which size of a picture draws it sharpest: its double-density copy (2) on a device of twice
// the density, or where the window draws its pictures at 1.5 times or more; else the picture
// itself (1). `windowScale` is the window's pixels per picture pixel.
inline int PictureSourceScale(double windowScale, int deviceScale) {
  return deviceScale >= 2 || windowScale * deviceScale >= 1.5 ? 2 : 1;
}

}  // namespace tavro::platform::gtk
