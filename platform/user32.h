// The window-system calls the window uses for its outline and for dragging, by their own names.
#pragma once

#include <cstdint>

namespace tavro::platform {

constexpr std::int32_t WM_NCLBUTTONDOWN = 0xA1;
constexpr std::int32_t HTCAPTION = 2;

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;
  // gdi32: a rectangle with corners rounded by an ellipse of X3 by Y3 pixels; 0 on failure.
  virtual std::int32_t CreateRoundRectRgn(std::int32_t X1, std::int32_t Y1, std::int32_t X2,
                                          std::int32_t Y2, std::int32_t X3, std::int32_t Y3) = 0;
  // user32: clips the window to the region, which the window system owns from then on.
  virtual std::int32_t SetWindowRgn(std::int32_t hWnd, std::int32_t hRgn, std::int32_t bRedraw) = 0;
  virtual std::int32_t ReleaseCapture() = 0;
  // user32: lParam is untyped and passed by reference.
  virtual std::int32_t SendMessageA(std::int32_t hWnd, std::int32_t wMsg, std::int32_t wParam,
                                    void* lParam) = 0;
};

}  // namespace tavro::platform
