// The pixels of a rectangle with rounded corners, as horizontal spans.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tavro::platform::gtk {

struct Span {
  int x, y, width;
};

// Left, top, right, bottom as for a window region (right and bottom exclusive), and the width
// and height of the ellipse that rounds each corner.
struct RoundRect {
  std::int32_t left, top, right, bottom, ellipseWidth, ellipseHeight;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }

  // A pixel row belongs to the region where the pixel centres lie inside the corner ellipses.
  std::vector<Span> Spans() const {
    std::vector<Span> spans;
    const int w = Width(), h = Height();
    if (w <= 0 || h <= 0) return spans;
    const double ew = std::clamp(static_cast<double>(ellipseWidth), 0.0, static_cast<double>(w));
    const double eh = std::clamp(static_cast<double>(ellipseHeight), 0.0, static_cast<double>(h));
    const double rx = ew / 2, ry = eh / 2;
    spans.reserve(static_cast<std::size_t>(h));
    for (int row = 0; row < h; ++row) {
      int inset = 0;
      if (rx > 0 && ry > 0) {
        const double cy = row + 0.5;
        double dy = 0;
        if (cy < ry) dy = ry - cy;
        else if (cy > h - ry) dy = cy - (h - ry);
        if (dy > 0) {
          const double t = 1.0 - (dy * dy) / (ry * ry);
          const double dx = t > 0 ? rx * std::sqrt(t) : 0.0;
          // The first pixel whose centre lies inside the ellipse.
          inset = static_cast<int>(std::ceil(rx - dx - 0.5));
          inset = std::max(0, inset);
        }
      }
      if (w - 2 * inset > 0) spans.push_back({left + inset, top + row, w - 2 * inset});
    }
    return spans;
  }
};

}  // namespace tavro::platform::gtk
