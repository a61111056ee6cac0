// A picture drawn at the window's scale: the sharper of its sizes, smoothly scaled to device
// pixels.
#pragma once

#include <cairomm/surface.h>
#include <gdkmm/pixbuf.h>

namespace tavro::platform::gtk {

// The picture at `scale` window pixels per picture pixel on a device of `deviceScale` pixels per
// window pixel, from its double-density copy where that is the sharper source (see
// PictureSourceScale). The result holds the device's pixels and carries the device scale, so it
// is drawn 1:1 at window coordinates; it covers the picture's whole scaled size, rounded to
// device pixels, with edges as solid as the picture's, and at least `reachWidth` x
// `reachHeight` window pixels (stretched by the few pixels more). Empty for no picture.
Cairo::RefPtr<Cairo::ImageSurface> ScalePicture(const Glib::RefPtr<Gdk::Pixbuf>& picture,
                                                const Glib::RefPtr<Gdk::Pixbuf>& doubleDensity, double scale,
                                                int deviceScale, int reachWidth = 0, int reachHeight = 0);

}  // namespace tavro::platform::gtk
