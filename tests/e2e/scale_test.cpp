// The window on desktops that are not 96-dpi screens: larger text resolutions (Xft.dpi in the X
// resources, as KDE, Xfce and many desktops set it) and GDK_SCALE=2. Each time the window must
// look like the 96-dpi one, only larger: its pictures cover the places the design gives them, its
// buttons sit where the design puts them, its outline follows its size, and when it would not fit
// the screen it is made smaller as a whole and stays centred. Checked by properties of
// screenshots, not by copies of pixels, since a scaled picture is smoothed.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "e2e_fixture.h"
#include "tavro_config.h"

namespace tavro::e2e {
namespace {

namespace fs = std::filesystem;

struct ScaleCase {
  const char* name;
  int dpi;        // Xft.dpi; 0 leaves it unset
  int gdkScale;   // GDK_SCALE; 1 leaves it unset
  int screenWidth, screenHeight;
  bool fits;      // whether the window fits the screen at the desktop's scale
};

void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name; }

DecodedPicture Stored(const char* name) { return DecodeGif(fs::path(TAVRO_SOURCE_DIR) / "app/form/images" / name); }
DecodedPicture Sample(const char* name) { return DecodeGif(SampleImagesDir() / fs::u8path(name)); }

// What a check of one picture in a screenshot found.
struct Coverage {
  int compared = 0, wrong = 0;
  std::string first;  // the first wrong pixel
  bool Good(int least) const { return compared >= least && wrong * 100 <= compared; }
  std::string Describe() const {
    return std::to_string(wrong) + " of " + std::to_string(compared) + " pixels wrong" + first;
  }
};

// A picture placed at (left, top) of the design, shown `scale` times larger, compared with the
// screenshot of the window where the picture is locally flat (a pixel and its eight neighbours
// alike), so that the smoothing of a scaled picture does not count; only the part inside the
// design's `bandWidth` x `bandHeight` box is compared, less the part `skip` of the design (where
// other controls stand in front). A picture drawn at the wrong size, or a blank band where the
// picture should reach, shows the background instead.
Coverage CheckCovered(const RgbImage& shot, const DecodedPicture& picture, int left, int top, int bandWidth,
                      int bandHeight, double scale, int step, const Rect& skip) {
  Coverage out;
  const int w = std::min(picture.image.Width(), bandWidth), h = std::min(picture.image.Height(), bandHeight);
  for (int y = 1; y < h - 1; y += step) {
    for (int x = 1; x < w - 1; x += step) {
      const Rgb c = picture.image.Pixel(x, y);
      bool flat = true;
      for (int dy = -1; dy <= 1 && flat; ++dy)
        for (int dx = -1; dx <= 1 && flat; ++dx)
          flat = picture.Opaque(x + dx, y + dy) && Near(picture.image.Pixel(x + dx, y + dy), c, 8);
      if (!flat || skip.Contains(left + x, top + y)) continue;
      const int sx = static_cast<int>((left + x + 0.5) * scale), sy = static_cast<int>((top + y + 0.5) * scale);
      if (!shot.Contains(sx, sy)) continue;
      ++out.compared;
      if (!Near(shot.Pixel(sx, sy), c, 16) && ++out.wrong == 1)
        out.first = "; first at (" + std::to_string(sx) + "," + std::to_string(sy) + "): " +
                    ToString(shot.Pixel(sx, sy)) + " instead of " + ToString(c);
    }
  }
  return out;
}

// How much of a pixel is the buttons' white glyph: 0 for the (darker or cyan) grounds they stand
// on, 1 for white. Smoothing spreads a glyph's white over more pixels but keeps its sum.
double Ink(Rgb c) { return std::clamp((std::min({c.r, c.g, c.b}) - 160) / 95.0, 0.0, 1.0); }

struct Glyph {
  double pixels = 0;    // the ink, in pixels of white
  double x = 0, y = 0;  // its centre
};

// The white of a region: a button's glyph.
Glyph WhiteIn(const RgbImage& image, int left, int top, int width, int height,
              const std::function<bool(int, int)>& counts = {}) {
  Glyph g;
  for (int y = std::max(0, top); y < std::min(image.Height(), top + height); ++y)
    for (int x = std::max(0, left); x < std::min(image.Width(), left + width); ++x) {
      const double ink = counts && !counts(x, y) ? 0 : Ink(image.Pixel(x, y));
      g.pixels += ink;
      g.x += ink * (x + 0.5);
      g.y += ink * (y + 0.5);
    }
  if (g.pixels > 0) g.x /= g.pixels, g.y /= g.pixels;
  return g;
}

// The button's glyph (the white pixels of its picture, shown `shown` of the picture at design
// place (left, top)) in the screenshot: the same shape, as many pixels as its scaled size holds,
// with its centre where the design's scaled centre is. Empty when it is there.
std::string CheckButton(const RgbImage& shot, const DecodedPicture& picture, int left, int top, int shownWidth,
                        int shownHeight, double scale, std::ostringstream& numbers) {
  const Glyph want = WhiteIn(picture.image, 0, 0, shownWidth, shownHeight,
                             [&](int x, int y) { return picture.Opaque(x, y); });
  // Searched in the button's scaled box and a design pixel around it.
  const int sx = static_cast<int>((left - 1) * scale), sy = static_cast<int>(std::max(0, top - 1) * scale);
  const Glyph got = WhiteIn(shot, sx, sy, static_cast<int>((shownWidth + 2) * scale),
                            static_cast<int>((shownHeight + 2) * scale));
  const double wantX = (left + want.x) * scale, wantY = (top + want.y) * scale;
  const double ratio = want.pixels > 0 ? got.pixels / (want.pixels * scale * scale) : 0;
  const double off = std::hypot(got.x - wantX, got.y - wantY);
  numbers << " glyph " << std::lround(got.pixels) << " px of white (" << std::lround(ratio * 100) << "% of the scaled design's), centre off by "
          << std::lround(off * 10) / 10.0 << " px;";
  if (want.pixels == 0) return "the picture has no glyph";
  // Smoothing a thin stroke by a factor near 1 pales it, which takes some of its white.
  if (ratio < 0.5 || ratio > 1.6)
    return std::to_string(std::lround(got.pixels)) + " pixels of white where the scaled glyph has about " +
           std::to_string(std::lround(want.pixels * scale * scale));
  if (off > 1.0 + 0.5 * scale)
    return "the glyph's centre is at (" + std::to_string(got.x) + "," + std::to_string(got.y) + "), the design's at (" +
           std::to_string(wantX) + "," + std::to_string(wantY) + ")";
  return {};
}

// Where the design's buttons stand in front of the header: the close box before sign-in, the
// minimise and close pictures after.
constexpr Rect kCloseBox{279, 3, 23, 30};
constexpr Rect kButtons{252, 0, 66, 20};

class ScaleTest : public TavroE2eTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(ScaleTest, WindowLooksLikeTheDesignOnlyLargerAndFitsTheScreen) {
  const ScaleCase& c = GetParam();
  XServerOptions options;
  options.width = c.screenWidth;
  options.height = c.screenHeight;
  options.dpi = c.dpi;
  StartX(options);
  // Signs in by itself a while after the login page shows, so that both layouts are seen.
  StartSite(0, 4000);
  PrepareWorkingFolder();

  // The window's pixels per design pixel at the desktop's scale.
  const double desktop = (c.dpi > 0 ? c.dpi / 96.0 : 1.0) * c.gdkScale;
  if (c.fits) {
    mainSize_ = {static_cast<int>(std::lround(kMainWidth * desktop)), static_cast<int>(std::lround(kMainHeight * desktop))};
    mainSizeSlack_ = 1;
  } else {
    // Smaller than at the desktop's scale, as large as the screen's height allows.
    const double fit = static_cast<double>(c.screenHeight) / kMainHeight;
    mainSize_ = {static_cast<int>(kMainWidth * fit), c.screenHeight};
    mainSizeSlack_ = 3;
  }
  std::map<std::string, std::string> env;
  if (c.gdkScale != 1) env["GDK_SCALE"] = std::to_string(c.gdkScale);
  StartTavro(env);
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("客服登录", 60s));
  const auto g = x_->Geometry(main);
  ASSERT_TRUE(g);
  const double scale = g->height / static_cast<double>(kMainHeight);
  std::ostringstream numbers;
  numbers << c.name << ": screen " << c.screenWidth << "x" << c.screenHeight << ", window " << g->width << "x"
          << g->height << " at (" << g->x << "," << g->y << "), scale " << std::lround(scale * 1000) / 1000.0
          << " (desktop's " << desktop << ");";

  // The whole window inside the screen (its work area without panels), centred on it, and drawn
  // no smaller than it must be.
  EXPECT_GE(g->x, 0);
  EXPECT_GE(g->y, 0);
  EXPECT_LE(g->x + g->width, c.screenWidth);
  EXPECT_LE(g->y + g->height, c.screenHeight);
  EXPECT_NEAR(g->x, (c.screenWidth - g->width) / 2, 1) << "not centred across";
  EXPECT_NEAR(g->y, (c.screenHeight - g->height) / 2, 1) << "not centred down";
  EXPECT_NEAR(g->width / static_cast<double>(kMainWidth), scale, 0.01) << "not scaled alike across and down";
  if (!c.fits) {
    EXPECT_LT(scale, desktop) << "not made smaller to fit";
    EXPECT_GE(g->height, c.screenHeight - 2) << "made smaller than the screen needs";
  }

  // The outline follows the window's size: it reaches its right and bottom edges and cuts the
  // corners there.
  const std::vector<Rect> shape = x_->Shape(main, ShapeKind::Bounding);
  int right = 0, bottom = 0;
  for (const Rect& r : shape) right = std::max(right, r.x + r.width), bottom = std::max(bottom, r.y + r.height);
  EXPECT_EQ(right, g->width) << "the outline's extent";
  EXPECT_EQ(bottom, g->height) << "the outline's extent";
  const auto inShape = [&](int x, int y) {
    return std::any_of(shape.begin(), shape.end(), [&](const Rect& r) { return r.Contains(x, y); });
  };
  EXPECT_FALSE(inShape(g->width - 1, g->height - 1)) << "the outline keeps the bottom right corner";
  EXPECT_TRUE(inShape(g->width - 3, g->height - 3)) << "the outline lost more than the corner";

  // Before sign-in: the header picture over the whole header band (321 x 201 of the design), the
  // close button's cross in the header's top right corner.
  const DecodedPicture header = Stored("header.gif"), close = Stored("close.gif");
  Coverage covered;
  std::string button = "no screenshot";
  RgbImage shot;
  bool beforeSignIn = false;
  WaitUntil(
      [&] {
        shot = WindowShot(main);
        beforeSignIn = app_->Caption() == "客服登录";  // the shot shows the login layout
        if (shot.Empty() || !beforeSignIn) return !beforeSignIn;
        covered = CheckCovered(shot, header, 0, 0, 321, 201, scale, 4, kCloseBox);
        std::ostringstream ignored;
        button = CheckButton(shot, close, 280, 4, 21, 28, scale, ignored);
        return covered.Good(500) && button.empty();
      },
      20s, 100ms);
  numbers << " header " << covered.Describe() << "; close";
  button = CheckButton(shot, close, 280, 4, 21, 28, scale, numbers);
  ASSERT_TRUE(beforeSignIn) << "signed in before the login layout could be looked at; " << numbers.str();
  if (!covered.Good(500) || !button.empty()) SaveShot("login", shot);
  EXPECT_TRUE(covered.Good(500)) << "the header picture does not cover its band: " << covered.Describe();
  EXPECT_EQ(button, "") << "the close button";

  // Signed in: the signed-in header strip (318 x 27) and close picture from the working folder,
  // and the minimise button beside it.
  const DecodedPicture strip = Sample("界面_03.gif"), minimise = Stored("minimize.gif");
  Coverage stripCovered;
  std::string minimiseButton = "not signed in";
  const bool signedIn = WaitUntil(
      [&] {
        if (app_->Caption() == "客服登录") return false;
        shot = WindowShot(main);
        stripCovered = CheckCovered(shot, strip, 0, 0, 318, 27, scale, 2, kButtons);
        std::ostringstream ignored;
        minimiseButton = CheckButton(shot, minimise, 253, 0, 26, 17, scale, ignored);
        return stripCovered.Good(200) && minimiseButton.empty();
      },
      60s, 100ms);
  numbers << " signed-in header " << stripCovered.Describe() << "; minimise";
  CheckButton(shot, minimise, 253, 0, 26, 17, scale, numbers);
  if (!signedIn) SaveShot("signed-in", shot);
  EXPECT_TRUE(stripCovered.Good(200)) << "the signed-in header does not cover its band: " << stripCovered.Describe();
  EXPECT_EQ(minimiseButton, "") << "the minimise button";
  std::cout << "[ e2e ] " << numbers.str() << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, ScaleTest,
    ::testing::Values(ScaleCase{"dpi96", 0, 1, 1280, 1024, true},
                      ScaleCase{"dpi120", 120, 1, 1280, 1024, true},
                      ScaleCase{"dpi144", 144, 1, 1920, 1200, true},
                      ScaleCase{"dpi192", 192, 1, 1920, 1600, true},
                      ScaleCase{"gdkScale2", 0, 2, 1920, 1600, true},
                      ScaleCase{"dpi120On1366x768", 120, 1, 1366, 768, false},
                      ScaleCase{"dpi144On1920x1080", 144, 1, 1920, 1080, false}),
    [](const ::testing::TestParamInfo<ScaleCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavro::e2e
