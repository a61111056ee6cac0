// The window's scale: the scale that fits a monitor, and the pictures drawn at a scale (their
// size, their edges, their smoothness, which copy draws them). No display is needed.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <set>

#include "platform/gtk/form/scaled_picture.h"
#include "platform/gtk/form/window_scale.h"

namespace {

namespace gtk = tavro::platform::gtk;

constexpr int kWidthTwips = 4770, kHeightTwips = 10845;  // the stored design's window

struct Fit {
  int dpi, areaWidth, areaHeight;
};

// On screens where the window fits at the desktop's resolution it keeps it; where it does not, it
// fits the area and fills it down to a pixel (it is not made smaller than it must be).
TEST(FitTwipsPerPixel, KeepsTheDesktopsScaleWhereItFitsAndFillsTheAreaWhereItDoesNot) {
  for (const Fit& f : {Fit{96, 1280, 1024}, Fit{120, 1280, 1024}, Fit{144, 1920, 1200}, Fit{192, 1920, 1600}}) {
    const float desktop = 1440.0F / static_cast<float>(f.dpi);
    EXPECT_EQ(gtk::FitTwipsPerPixel(desktop, kWidthTwips, kHeightTwips, f.areaWidth, f.areaHeight), desktop)
        << f.dpi << " dpi on " << f.areaWidth << "x" << f.areaHeight;
  }
  for (const Fit& f : {Fit{120, 1366, 768}, Fit{144, 1920, 1080}, Fit{192, 1366, 768}, Fit{192, 1280, 1024},
                       Fit{96, 1024, 600}, Fit{144, 200, 1200}}) {
    const float desktop = 1440.0F / static_cast<float>(f.dpi);
    const float twips = gtk::FitTwipsPerPixel(desktop, kWidthTwips, kHeightTwips, f.areaWidth, f.areaHeight);
    const int w = gtk::DesignPixels(kWidthTwips, twips), h = gtk::DesignPixels(kHeightTwips, twips);
    EXPECT_GT(twips, desktop);
    EXPECT_LE(w, f.areaWidth) << f.dpi << " dpi on " << f.areaWidth << "x" << f.areaHeight;
    EXPECT_LE(h, f.areaHeight) << f.dpi << " dpi on " << f.areaWidth << "x" << f.areaHeight;
    EXPECT_TRUE(w >= f.areaWidth - 1 || h >= f.areaHeight - 1)
        << f.dpi << " dpi on " << f.areaWidth << "x" << f.areaHeight << " gives " << w << "x" << h;
  }
  // A monitor that reports no work area leaves the desktop's scale.
  EXPECT_EQ(gtk::FitTwipsPerPixel(12.0F, kWidthTwips, kHeightTwips, 0, 0), 12.0F);
}

Glib::RefPtr<Gdk::Pixbuf> Solid(int width, int height, std::uint32_t rgba) {
  auto pixbuf = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, width, height);
  pixbuf->fill(rgba);
  return pixbuf;
}

// Black and white in alternate columns: the finest detail a picture has.
Glib::RefPtr<Gdk::Pixbuf> Stripes(int width, int height) {
  auto pixbuf = Solid(width, height, 0x000000FF);
  for (int y = 0; y < height; ++y)
    for (int x = 1; x < width; x += 2) {
      guint8* p = pixbuf->get_pixels() + y * pixbuf->get_rowstride() + x * 4;
      p[0] = p[1] = p[2] = 255;
    }
  return pixbuf;
}

// The pixel (x, y) of an image surface (ARGB32, premultiplied).
std::uint32_t At(const Cairo::RefPtr<Cairo::ImageSurface>& s, int x, int y) {
  return *reinterpret_cast<const std::uint32_t*>(s->get_data() + y * s->get_stride() + x * 4);
}

TEST(ScalePicture, SmoothAndSolidToItsEdgesAtAScaleThatIsNotWhole) {
  const auto scaled = gtk::ScalePicture(Stripes(20, 10), {}, 1.25, 1);
  ASSERT_TRUE(scaled);
  EXPECT_EQ(scaled->get_width(), 25);
  EXPECT_EQ(scaled->get_height(), 13);  // 12.5 rounded up: the picture is never cut short
  std::set<std::uint32_t> greys;
  for (int y = 0; y < scaled->get_height(); ++y)
    for (int x = 0; x < scaled->get_width(); ++x) {
      EXPECT_EQ(At(scaled, x, y) >> 24, 255u) << "a see-through pixel at (" << x << "," << y << ")";
      const std::uint32_t c = At(scaled, x, y) & 0xFF;
      if (c > 8 && c < 247) greys.insert(c);
    }
  // Blocky enlargement would copy pixels and give only black and white.
  EXPECT_GE(greys.size(), 2u) << "no smoothing";
}

TEST(ScalePicture, TheDoubleDensityCopyDrawsWhereTheWindowOrTheDeviceIsDenser) {
  const auto picture = Solid(4, 4, 0xFF0000FF), doubled = Solid(8, 8, 0x00FF00FF);
  const auto green = [](const Cairo::RefPtr<Cairo::ImageSurface>& s) { return (At(s, 1, 1) & 0x00FFFFFF) == 0x00FF00; };
  EXPECT_FALSE(green(gtk::ScalePicture(picture, doubled, 1.0, 1)));
  EXPECT_FALSE(green(gtk::ScalePicture(picture, doubled, 1.25, 1)));
  EXPECT_TRUE(green(gtk::ScalePicture(picture, doubled, 1.5, 1)));
  EXPECT_TRUE(green(gtk::ScalePicture(picture, doubled, 2.0, 1)));
  // On a device of twice the density the picture keeps its size in window pixels and holds the
  // device's pixels.
  const auto device = gtk::ScalePicture(picture, doubled, 1.0, 2);
  EXPECT_TRUE(green(device));
  EXPECT_EQ(device->get_width(), 8);
  double sx = 0, sy = 0;
  cairo_surface_get_device_scale(device->cobj(), &sx, &sy);
  EXPECT_EQ(sx, 2.0);
  // A picture with no such copy is enlarged from itself.
  EXPECT_FALSE(green(gtk::ScalePicture(picture, {}, 2.0, 1)));
}

TEST(ScalePicture, ReachesTheBoxItFilledWhenTheBoxRoundsLarger) {
  // A 26 x 17 picture in a box of 26 x 17.33 design pixels: 35 pixels high at twice the size.
  const auto scaled = gtk::ScalePicture(Solid(26, 17, 0x3366CCFF), {}, 2.0, 1, 52, 35);
  EXPECT_EQ(scaled->get_width(), 52);
  EXPECT_EQ(scaled->get_height(), 35);
  EXPECT_EQ(At(scaled, 10, 34) & 0x00FFFFFF, 0x3366CCu) << "a band of nothing at the bottom";
  EXPECT_FALSE(gtk::ScalePicture({}, {}, 2.0, 1));
}

}  // namespace
