// Pictures scaled once per scale and kept at device resolution, so a redraw only copies pixels.
#include "scaled_picture.h"

#include <cairo.h>
#include <gdkmm/general.h>

#include <algorithm>
#include <cmath>

#include "window_scale.h"

namespace tavro::platform::gtk {

Cairo::RefPtr<Cairo::ImageSurface> ScalePicture(const Glib::RefPtr<Gdk::Pixbuf>& picture,
                                                const Glib::RefPtr<Gdk::Pixbuf>& doubleDensity, double scale,
                                                int deviceScale, int reachWidth, int reachHeight) {
  if (!picture || scale <= 0) return {};
  deviceScale = std::max(1, deviceScale);
  const bool useDouble = doubleDensity && PictureSourceScale(scale, deviceScale) == 2;
  const Glib::RefPtr<Gdk::Pixbuf>& source = useDouble ? doubleDensity : picture;
  // The size follows the picture, whichever source draws it.
  const double devicePixels = scale * deviceScale;
  const int width = std::max({1, static_cast<int>(std::lround(picture->get_width() * devicePixels)),
                              reachWidth * deviceScale});
  const int height = std::max({1, static_cast<int>(std::lround(picture->get_height() * devicePixels)),
                               reachHeight * deviceScale});

  auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, width, height);
  {
    const auto cr = Cairo::Context::create(surface);
    const bool same = source->get_width() == width && source->get_height() == height;
    cr->scale(static_cast<double>(width) / source->get_width(), static_cast<double>(height) / source->get_height());
    Gdk::Cairo::set_source_pixbuf(cr, source, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(cr->cobj());
    // Past its last pixel the picture goes on as that pixel, so the edge is not blended with
    // nothing into a faint seam.
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    // Smooth wherever pixels are spread or merged; an unscaled copy keeps every pixel as it is.
    cairo_pattern_set_filter(pattern, same ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cr->set_operator(Cairo::OPERATOR_SOURCE);
    cr->paint();
  }
  surface->flush();
  cairo_surface_set_device_scale(surface->cobj(), deviceScale, deviceScale);
  return surface;
}

}  // namespace tavro::platform::gtk
