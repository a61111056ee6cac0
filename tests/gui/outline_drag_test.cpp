// Form1's window-system work on the real window: the rounded outline and dragging by the header.
#include <algorithm>
#include <memory>
#include <string>

#include "app/form1.h"
#include "gui_support.h"
#include "platform/gtk/gtk_platform.h"

// Xlib last: its macros would break the C++ headers above.
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace tavro::guitest {
namespace {

constexpr Rgb kRootColour{200, 0, 100};
constexpr Rgb kYellow{255, 255, 0};

struct Corner {
  Point outside, inside;
};
constexpr Corner kCorners[] = {
    {{0, 0}, {1, 1}}, {{317, 0}, {316, 1}}, {{0, 722}, {1, 721}}, {{317, 722}, {316, 721}}};

bool InShape(::Window window, int kind, Point p, Point* extentEnd) {
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(XDisplay(), window, kind, &count, &ordering);
  bool inside = false;
  int right = 0, bottom = 0;
  for (int i = 0; i < count; ++i) {
    const XRectangle& r = rects[i];
    if (p.x >= r.x && p.x < r.x + r.width && p.y >= r.y && p.y < r.y + r.height) inside = true;
    right = std::max(right, r.x + r.width);
    bottom = std::max(bottom, r.y + r.height);
  }
  if (rects) XFree(rects);
  if (extentEnd) *extentEnd = {right, bottom};
  return inside;
}

// The root shows a colour of its own while the test runs, and its default background afterwards.
class ColouredRoot {
 public:
  ColouredRoot() { Paint(True); }
  ~ColouredRoot() { Paint(False); }

 private:
  static void Paint(bool coloured) {
    Display* display = XDisplay();
    const ::Window root = DefaultRootWindow(display);
    if (coloured)
      XSetWindowBackground(
          display, root,
          (static_cast<unsigned long>(kRootColour.r) << 16) | (kRootColour.g << 8) | kRootColour.b);
    else
      XSetWindowBackgroundPixmap(display, root, None);
    XClearWindow(display, root);
    XSync(display, False);
  }
};

TEST(Outline, CutsTheCornersOfTheWindowAndOfItsInput) {
  auto runtime = NewRuntime();
  auto user32 = platform::gtk::CreateWindowSystem();
  std::unique_ptr<app::Form1> form1;
  RunForm(
      *runtime,
      [&](platform::Form& form) {
        form1 = std::make_unique<app::Form1>(*runtime, *user32, form);
        form.Load = [&] { form1->DoTransparency(form); };
      },
      [&](GtkForm& form) {
        const ::Window xid = Xid(form);
        for (int kind : {ShapeBounding, ShapeInput}) {
          const char* name = kind == ShapeBounding ? "outline" : "input shape";
          Point end;
          InShape(xid, kind, {0, 0}, &end);
          EXPECT_EQ(end, (Point{318, 723})) << name << " extent";
          for (const Corner& c : kCorners) {
            EXPECT_FALSE(InShape(xid, kind, c.outside, nullptr)) << name << " keeps the corner " << c.outside;
            EXPECT_TRUE(InShape(xid, kind, c.inside, nullptr)) << name << " lost " << c.inside;
          }
          EXPECT_TRUE(InShape(xid, kind, {159, 361}, nullptr)) << name << " lost the middle";
        }

        const ColouredRoot root;
        ASSERT_TRUE(ShowColourPage(ViewOf(form, "WebBrowser1"), "#ff0"));
        const Point o = ScreenOrigin(form);
        const Rgb window = ThemeBaseColour(form);  // the header's transparent corners
        auto inner = [&](const Corner& c) { return c.inside.y < 100 ? window : kYellow; };
        Shot shot;
        WaitFor(
            [&] {
              shot = Shot::Take();
              for (const Corner& c : kCorners)
                if (shot.At(o.x + c.outside.x, o.y + c.outside.y) != kRootColour ||
                    shot.At(o.x + c.inside.x, o.y + c.inside.y) != inner(c))
                  return false;
              return true;
            },
            15000);
        for (const Corner& c : kCorners) {
          EXPECT_EQ(shot.At(o.x + c.outside.x, o.y + c.outside.y), kRootColour) << "corner " << c.outside;
          EXPECT_EQ(shot.At(o.x + c.inside.x, o.y + c.inside.y), inner(c)) << "inside " << c.inside;
        }
        if (HasFailure()) ADD_FAILURE() << "screen: " << shot.Save("outline");
      });
}

// Dragging with Form1's header handler bound and no window manager: GDK moves the window.
class Drag : public ::testing::Test {
 protected:
  // Presses `button` at the window-relative point, moves by (60, 40) in small steps, releases;
  // answers the window's travel.
  Point DragBy(GtkForm& form, Point at, int button) {
    const Point start = ScreenOrigin(form);
    const int x = start.x + at.x, y = start.y + at.y;
    const std::string b = std::to_string(button);
    Xdotool({"mousemove", std::to_string(x), std::to_string(y)});
    Pump(150);
    Xdotool({"mousedown", b});
    Pump(150);
    for (int step = 1; step <= 10; ++step) {
      Xdotool({"mousemove", std::to_string(x + 6 * step), std::to_string(y + 4 * step)});
      Pump(40);
    }
    Xdotool({"mouseup", b});
    Pump(300);
    WaitFor([&] { return ScreenOrigin(form) == Point{start.x + 60, start.y + 40}; }, 2000);
    const Point end = ScreenOrigin(form);
    return {end.x - start.x, end.y - start.y};
  }

  // Form1's header handler on the header; the close box only counts its clicks.
  void RunWithHeaderHandler(const std::function<void(GtkForm&)>& body) {
    auto runtime = NewRuntime();
    ASSERT_FALSE(DisplayHasWindowManager()) << "these drags expect GDK, not a window manager, to move";
    auto user32 = platform::gtk::CreateWindowSystem();
    std::unique_ptr<app::Form1> form1;
    RunForm(
        *runtime,
        [&](platform::Form& form) {
          form1 = std::make_unique<app::Form1>(*runtime, *user32, form);
          form.PictureBoxNamed("Picture1").MouseDown = [&](int button, int shift, float x, float y) {
            form1->Picture1_MouseDown(button, shift, x, y);
          };
          form.PictureBoxNamed("Picture2").Click = [&] { ++closeClicks; };
        },
        body);
  }

  int closeClicks = 0;
};

TEST_F(Drag, LeftDragOnTheHeaderMovesTheWindowWithThePointer) {
  RunWithHeaderHandler([&](GtkForm& form) {
    const Point travel = DragBy(form, {100, 100}, 1);
    EXPECT_NEAR(travel.x, 60, 2);
    EXPECT_NEAR(travel.y, 40, 2);
    EXPECT_EQ(XSize(form), (Point{318, 723}));
    // The drag ended with the release: the pointer moves freely again.
    const Point rest = ScreenOrigin(form);
    Xdotool({"mousemove_relative", "--", "30", "30"});
    Pump(300);
    EXPECT_EQ(ScreenOrigin(form), rest) << "the window still follows the pointer";
  });
}

TEST_F(Drag, RightDragOnTheHeaderLeavesTheWindowInPlace) {
  RunWithHeaderHandler([&](GtkForm& form) { EXPECT_EQ(DragBy(form, {100, 100}, 3), (Point{0, 0})); });
}

TEST_F(Drag, LeftDragStartedOnTheCloseBoxLeavesTheWindowInPlace) {
  RunWithHeaderHandler([&](GtkForm& form) {
    EXPECT_EQ(DragBy(form, {285, 10}, 1), (Point{0, 0}));
    EXPECT_EQ(closeClicks, 0) << "a press on the close box released outside it counts as a click";
    // While a press and release on it is one.
    const Point o = ScreenOrigin(form);
    Xdotool({"mousemove", std::to_string(o.x + 285), std::to_string(o.y + 10)});
    Pump(100);
    Xdotool({"click", "1"});
    EXPECT_TRUE(WaitFor([&] { return closeClicks == 1; }, 3000)) << closeClicks << " clicks";
  });
}

}  // namespace
}  // namespace tavro::guitest
