// What the screen shows of the skinned window: pictures, cuts, colours and stacking.
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "gui_fixture.h"

namespace tavro::guitest {
namespace {

constexpr Rgb kButtonColour{128, 255, 255};
constexpr Rgb kMagenta{255, 0, 255};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};

constexpr int kHeaderRows = 201;           // Picture1's height in pixels
constexpr int kCloseX = 280, kCloseY = 4;  // Picture2 inside Picture1
constexpr int kCloseWidth = 21, kCloseHeight = 28;

// Collects mismatches of window-relative pixels, and reports the first few.
class PixelCheck {
 public:
  PixelCheck(RgbImage shot, Point origin) : shot_(std::move(shot)), origin_(origin) {}
  void Expect(int x, int y, const Rgb& want, const char* what) {
    const int sx = origin_.x + x, sy = origin_.y + y;
    ++checked_;
    if (shot_.Contains(sx, sy) && shot_.Pixel(sx, sy) == want) return;
    if (++failed_ <= 8) {
      report_ << "\n  " << what << " at " << Point{x, y} << ": ";
      if (shot_.Contains(sx, sy))
        report_ << shot_.Pixel(sx, sy);
      else
        report_ << "off the screen";
      report_ << ", wanted " << want;
    }
  }
  int Failed() const { return failed_; }
  const RgbImage& Shot() const { return shot_; }
  std::string Report() const {
    return std::to_string(failed_) + " of " + std::to_string(checked_) + " pixels differ" + report_.str();
  }

 private:
  RgbImage shot_;
  Point origin_;
  int failed_ = 0, checked_ = 0;
  std::ostringstream report_;
};

class Skin : public GuiTest {
 protected:
  // Takes screenshots until every expectation holds or the time is up; answers the last round.
  std::unique_ptr<PixelCheck> Settled(Point origin, const std::function<void(PixelCheck&)>& expectations) {
    std::unique_ptr<PixelCheck> check;
    WaitFor(
        [&] {
          check = std::make_unique<PixelCheck>(Screenshot(), origin);
          expectations(*check);
          return check->Failed() == 0;
        },
        15s);
    if (check->Failed() > 0) SaveShot("pixels", check->Shot());
    return check;
  }

  // Whether the widget's window is under the pointer at the window-relative point.
  bool PointerReaches(GtkForm& form, Point at, GtkWidget* widget) {
    const Point o = ScreenOrigin(form);
    const int x = o.x + at.x, y = o.y + at.y;
    input_->MoveTo(x, y);
    if (!test::WaitUntil([&] { return x_->Pointer() == std::pair{x, y}; }, 5s)) {
      ADD_FAILURE() << "the pointer did not reach " << Point{x, y};
      return false;
    }
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
    int wx = 0, wy = 0;
    GdkWindow* own = gtk_widget_get_window(widget);
    for (GdkWindow* w = gdk_device_get_window_at_position(pointer, &wx, &wy); w; w = gdk_window_get_parent(w))
      if (w == own) return true;
    return false;
  }
};

TEST_F(Skin, StartupShowsTheHeaderTheCutCloseBoxAndOtherwiseOnlyTheMainView) {
  RunForm(nullptr, [&](GtkForm& form) {
    ASSERT_TRUE(ShowColourPage(ViewNamed("WebBrowser1"), "#f0f"));
    const ResourceImage header("/tavro/form/header.gif");
    const ResourceImage close("/tavro/form/close.gif");
    ASSERT_EQ(header.Width(), 317);
    ASSERT_EQ(header.Height(), 204);
    const Rgb window = ThemeBaseColour(form);
    const auto result = Settled(ScreenOrigin(form), [&](PixelCheck& check) {
      // The header: its upper 201 rows, its transparent corners in the window colour, and the
      // box's own background in the last column, which the 317-pixel picture leaves uncovered.
      for (int y = 0; y < kHeaderRows; ++y) {
        for (int x = 0; x < header.Width(); ++x) {
          const bool inClose =
              x >= kCloseX && x < kCloseX + kCloseWidth && y >= kCloseY && y < kCloseY + kCloseHeight;
          if (inClose) continue;
          if (header.Opaque(x, y))
            check.Expect(x, y, header.At(x, y), "header");
          else
            check.Expect(x, y, window, "transparent header pixel");
        }
        check.Expect(317, y, window, "header box beyond its picture");
      }

      // The close box shows only the upper-left 21 x 28 pixels of its picture, over light cyan.
      for (int y = 0; y < kCloseHeight; ++y)
        for (int x = 0; x < kCloseWidth; ++x)
          check.Expect(kCloseX + x, kCloseY + y, close.Opaque(x, y) ? close.At(x, y) : kButtonColour,
                       "close box");
      for (int y = kCloseY; y < kCloseY + 28; ++y)
        check.Expect(kCloseX + kCloseWidth, y, header.At(kCloseX + kCloseWidth, y), "right of the close box");
      for (int x = kCloseX; x < kCloseX + kCloseWidth; ++x)
        check.Expect(x, kCloseY + kCloseHeight, header.At(x, kCloseY + kCloseHeight), "below the close box");

      // Below the header, the main view only: the advertisement view is hidden, the third view
      // stands behind, and the header's lowest rows are cut.
      for (int y = kHeaderRows; y < 723; ++y)
        for (int x = 0; x < 318; ++x) check.Expect(x, y, kMagenta, "main view");
    });
    EXPECT_EQ(result->Failed(), 0) << result->Report();
    EXPECT_FALSE(form.PictureBoxNamed("Picture3").Visible());
    EXPECT_FALSE(form.WebBrowserNamed("WebBrowser2").Visible());
  });
}

TEST_F(Skin, AdvertisementViewStandsInFrontOfTheMainViewOnceShown) {
  RunForm(nullptr, [&](GtkForm& form) {
    ASSERT_TRUE(ShowColourPage(ViewNamed("WebBrowser1"), "#0f0"));
    ASSERT_TRUE(ShowColourPage(ViewNamed("WebBrowser2"), "#f00"));
    form.WebBrowserNamed("WebBrowser2").SetVisible(true);
    const auto result = Settled(ScreenOrigin(form), [&](PixelCheck& check) {
      for (int y = 680; y < 720; ++y)
        for (int x = 8; x < 209; ++x) check.Expect(x, y, kRed, "advertisement view");
      for (int y = 680; y < 720; ++y) {
        check.Expect(7, y, kGreen, "left of the advertisement view");
        check.Expect(209, y, kGreen, "right of the advertisement view");
      }
      for (int x = 8; x < 209; ++x) {
        check.Expect(x, 679, kGreen, "above the advertisement view");
        check.Expect(x, 720, kGreen, "below the advertisement view");
      }
    });
    EXPECT_EQ(result->Failed(), 0) << result->Report();
    EXPECT_EQ(XSize(form), (Point{318, 723}));

    // Input follows the picture: the pointer over the advertisement reaches its view.
    EXPECT_TRUE(PointerReaches(form, {100, 700}, GTK_WIDGET(ViewNamed("WebBrowser2"))));
    EXPECT_TRUE(PointerReaches(form, {250, 700}, GTK_WIDGET(ViewNamed("WebBrowser1"))));
  });
}

}  // namespace
}  // namespace tavro::guitest
