// Regions, capture release and the caption-drag message, carried out with GDK on X11.
#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cmath>
#include <map>

#include "window_system.h"
#include "rounded_region.h"

namespace tavro::platform::gtk {
namespace {

class GdkWindowSystem : public WindowSystem {
 public:
  std::int32_t CreateRoundRectRgn(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2,
                                  std::int32_t X3, std::int32_t Y3) override {
    const RoundRect shape{X1, Y1, X2, Y2, X3, Y3};
    if (shape.Width() <= 0 || shape.Height() <= 0) return 0;
    const std::int32_t handle = nextHandle_++;
    regions_.emplace(handle, shape);
    return handle;
  }

  std::int32_t SetWindowRgn(std::int32_t hWnd, std::int32_t hRgn, std::int32_t bRedraw) override {
    GdkWindow* window = Lookup(hWnd);
    if (!window) return 0;
    if (hRgn == 0) {
      gdk_window_shape_combine_region(window, nullptr, 0, 0);
      gdk_window_input_shape_combine_region(window, nullptr, 0, 0);
    } else {
      const auto it = regions_.find(hRgn);
      if (it == regions_.end()) return 0;
      cairo_region_t* region = cairo_region_create();
      for (const auto& span : it->second.Spans()) {
        const cairo_rectangle_int_t r{span.x, span.y, span.width, 1};
        cairo_region_union_rectangle(region, &r);
      }
      gdk_window_shape_combine_region(window, region, 0, 0);
      gdk_window_input_shape_combine_region(window, region, 0, 0);
      cairo_region_destroy(region);
      regions_.erase(it);  // the window owns its outline now
    }
    if (bRedraw) gdk_window_invalidate_rect(window, nullptr, TRUE);
    return 1;
  }

  std::int32_t ReleaseCapture() override {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return 0;
    gdk_seat_ungrab(gdk_display_get_default_seat(display));
    if (GtkWidget* grab = gtk_grab_get_current()) gtk_grab_remove(grab);
    return 1;
  }

  std::int32_t SendMessageA(std::int32_t hWnd, std::int32_t wMsg, std::int32_t wParam, void*) override {
    if (wMsg != WM_NCLBUTTONDOWN || wParam != HTCAPTION) return 0;
    GdkWindow* window = Lookup(hWnd);
    if (!window) return 0;
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_window_get_display(window)));
    if (!pointer) return 0;
    int rootX = 0, rootY = 0;
    gdk_device_get_position(pointer, nullptr, &rootX, &rootY);
    // The window follows the pointer until the left button is released; without a window
    // manager GDK moves it itself.
    gdk_window_begin_move_drag_for_device(window, pointer, 1, rootX, rootY, gtk_get_current_event_time());
    return 0;
  }

 private:
  static GdkWindow* Lookup(std::int32_t hWnd) {
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display) || hWnd == 0) return nullptr;
    return gdk_x11_window_lookup_for_display(GDK_X11_DISPLAY(display), static_cast<Window>(static_cast<std::uint32_t>(hWnd)));
  }

  std::map<std::int32_t, RoundRect> regions_;
  std::int32_t nextHandle_ = 1;
};

}  // namespace

std::unique_ptr<WindowSystem> CreateWindowSystem() { return std::make_unique<GdkWindowSystem>(); }

}  // namespace tavro::platform::gtk
