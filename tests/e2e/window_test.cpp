// The borderless window on the desktop: where it sits and what it tells the window manager, its
// rounded outline, dragging by the header, minimising.
#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "e2e_fixture.h"
#include "tavro_config.h"

namespace tavro::e2e {
namespace {

constexpr Rgb kMagenta{255, 0, 255};

class WindowTest : public TavroE2eTest {
 protected:
  // tavro on the site's login page, its window mapped and captioned.
  XWindow StartOnLoginPage(bool windowManager, std::optional<int> autoLoginMs = std::nullopt) {
    StartX(windowManager);
    StartSite(0, autoLoginMs);
    PrepareWorkingFolder();
    StartTavro();
    const XWindow main = MainWindowMapped();
    EXPECT_TRUE(WaitForCaption([](const std::string& c) { return !c.empty(); }, 60s));
    return main;
  }
};

TEST_F(WindowTest, SitsCentredOnTheRootWithoutFrameAndWithTheIconAndClass) {
  const XWindow main = StartOnLoginPage(false);
  ASSERT_FALSE(x_->HasWindowManager()) << "the window's own placement is checked without one";
  const auto g = x_->Geometry(main);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->width, kMainWidth);
  EXPECT_EQ(g->height, kMainHeight);
  EXPECT_EQ(g->x, (x_->Width() - kMainWidth) / 2) << "not centred across";
  EXPECT_EQ(g->y, (x_->Height() - kMainHeight) / 2) << "not centred down";
  // Without a window manager the window sits on the root, and it asks for no decorations.
  EXPECT_EQ(x_->Parent(main), x_->Root());
  EXPECT_FALSE(x_->Decorated(main)) << "the window asks for decorations";
  EXPECT_TRUE(x_->HasIcon(main)) << "the desktop receives no icon";
  EXPECT_EQ(x_->WmClass(main).rfind("tavro.", 0), 0u) << x_->WmClass(main);
}

TEST_F(WindowTest, RoundedOutlineCutsTheFourCornersOfThePictureAndOfTheInput) {
  StartX();
  x_->SetRootColour(kMagenta);
  StartSite();
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("客服登录", 60s));
  const auto g = x_->Geometry(main);
  ASSERT_TRUE(g);
  const int r = g->width - 1, b = g->height - 1;

  // The shape the X server clips the window's pixels and its pointer input to.
  for (const ShapeKind kind : {ShapeKind::Bounding, ShapeKind::Input}) {
    const char* name = kind == ShapeKind::Bounding ? "outline" : "input shape";
    const std::vector<Rect> shape = x_->Shape(main, kind);
    const auto inShape = [&](int x, int y) {
      return std::any_of(shape.begin(), shape.end(), [&](const Rect& rect) { return rect.Contains(x, y); });
    };
    int right = 0, bottom = 0;
    for (const Rect& rect : shape) {
      right = std::max(right, rect.x + rect.width);
      bottom = std::max(bottom, rect.y + rect.height);
    }
    EXPECT_EQ(right, kMainWidth) << name << " extent";
    EXPECT_EQ(bottom, kMainHeight) << name << " extent";
    for (const auto& [x, y] : {std::pair{0, 0}, {r, 0}, {0, b}, {r, b}})
      EXPECT_FALSE(inShape(x, y)) << name << " keeps the corner (" << x << "," << y << ")";
    for (const auto& [x, y] : {std::pair{1, 1}, {r - 1, 1}, {1, b - 1}, {r - 1, b - 1}})
      EXPECT_TRUE(inShape(x, y)) << name << " lost (" << x << "," << y << ")";
    EXPECT_TRUE(inShape(g->width / 2, g->height / 2)) << name << " lost the middle";
  }

  // Just inside the corners the window shows what it paints there: the header, its picture or,
  // where that is transparent, the box's background (which its last column shows), and below,
  // the page, as a little further inside.
  const DecodedPicture header = DecodeGif(std::filesystem::path(TAVRO_SOURCE_DIR) / "app/form/images/header.gif");
  struct Probe {
    int x, y;
    bool root;
  };
  const std::vector<Probe> probes = {
      {0, 0, true},     {r, 0, true},     {0, b, true},     {r, b, true},
      {1, 1, false},    {r - 1, 1, false}, {1, b - 1, false}, {r - 1, b - 1, false},
      // The edges between the corners belong to the window.
      {g->width / 2, 0, false}, {0, g->height / 2, false}, {r, g->height / 2, false}, {g->width / 2, b, false},
  };
  const auto painted = [&](const RgbImage& shot, const Probe& p) -> std::optional<Rgb> {
    if (p.root || p.x == g->width / 2 || p.y == g->height / 2) return std::nullopt;
    if (p.y < 100) return header.Opaque(p.x, p.y) ? header.image.Pixel(p.x, p.y) : shot.Pixel(r, 100);
    return shot.Pixel(p.x < 100 ? 5 : r - 5, b - 5);
  };
  RgbImage shot;
  std::string mismatch;
  const bool ok = WaitUntil(
      [&] {
        shot = x_->Screenshot(g->x, g->y, g->width, g->height);
        mismatch.clear();
        for (const auto& p : probes) {
          const Rgb c = shot.Pixel(p.x, p.y);
          const auto want = painted(shot, p);
          if ((c == kMagenta) != p.root || (want && !Near(c, *want, 3)))
            mismatch += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")=" + ToString(c) +
                        (want ? " wanted " + ToString(*want) : "");
        }
        return mismatch.empty();
      },
      10s, 100ms);
  if (!ok) SaveShot("outline", x_->Screenshot(g->x - 4, g->y - 4, g->width + 8, g->height + 8));
  EXPECT_TRUE(ok) << "pixels on the wrong side of the outline:" << mismatch;
  // Just outside the window there is only the root.
  const RgbImage around = x_->Screenshot(g->x - 1, g->y - 1, g->width + 2, g->height + 2);
  EXPECT_EQ(around.Pixel(0, 0), kMagenta);
  EXPECT_EQ(around.Pixel(around.Width() - 1, around.Height() - 1), kMagenta);
}

// Without a window manager GDK moves the window itself; with one, the manager does the move.
class DragTest : public WindowTest, public ::testing::WithParamInterface<bool> {
 protected:
  // Drags from the window-relative point by (dx, dy) with the left button; true once the window
  // has followed, within two pixels.
  bool DragFollows(XWindow main, const WindowGeometry& from, int x, int y, int dx, int dy,
                   std::optional<WindowGeometry>& moved) {
    input_->Drag(from.x + x, from.y + y, dx, dy, 1);
    return WaitUntil(
        [&] {
          moved = x_->Geometry(main);
          return moved && std::abs(moved->x - (from.x + dx)) <= 2 && std::abs(moved->y - (from.y + dy)) <= 2;
        },
        10s, 50ms);
  }

  // The exit question comes once tavro has handled all the input before the click on the close
  // box, so it marks the moment by which anything that input did is done; Escape dismisses it.
  void Dismiss(XWindow box) {
    input_->Key(box, "Escape");
    ASSERT_TRUE(WaitUntil([&] { return app_->Dialogs().empty(); }, 10s)) << "Escape left the question up";
  }
};

TEST_P(DragTest, LeftDragOnTheHeaderMovesTheWindowUntilTheReleaseAndRightDragDoesNot) {
  const XWindow main = StartOnLoginPage(GetParam());
  const auto start = x_->Geometry(main);
  ASSERT_TRUE(start);

  // Before sign-in the header picture covers the top 201 pixels; (100, 100) lies on it.
  std::optional<WindowGeometry> moved;
  const bool followed = DragFollows(main, *start, 100, 100, 60, 40, moved);
  ASSERT_TRUE(moved);
  EXPECT_TRUE(followed) << "from (" << start->x << "," << start->y << ") to (" << moved->x << "," << moved->y
                        << "), the pointer travelled (+60,+40)";
  EXPECT_EQ(moved->width, 318);
  EXPECT_EQ(moved->height, 723);

  // The drag ended with the release: the pointer moves freely again.
  const auto [px, py] = x_->Pointer();
  input_->MoveTo(px + 30, py + 30);
  ASSERT_TRUE(WaitUntil([&] { return x_->Pointer() == std::pair{px + 30, py + 30}; }, 5s));
  XWindow box = AskToExit(main);
  auto after = x_->Geometry(main);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->x, moved->x) << "the window still follows the pointer";
  EXPECT_EQ(after->y, moved->y) << "the window still follows the pointer";
  Dismiss(box);

  input_->Drag(moved->x + 100, moved->y + 100, 60, 40, 3);
  box = AskToExit(main);
  after = x_->Geometry(main);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->x, moved->x) << "a right drag moved the window";
  EXPECT_EQ(after->y, moved->y) << "a right drag moved the window";
  Dismiss(box);
  EXPECT_TRUE(app_->Proc().Running());
}

TEST_P(DragTest, DragStartedOnTheCloseBoxNeitherMovesTheWindowNorClicksIt) {
  const XWindow main = StartOnLoginPage(GetParam());
  const auto start = x_->Geometry(main);
  ASSERT_TRUE(start);

  // Pressed on the close box, released outside the window.
  input_->Drag(start->x + 285, start->y + 10, 60, 40, 1);
  // A header drag afterwards takes the window exactly its own way: the earlier drag did not move
  // it, and did not raise the (modal) question, which would have kept the header from dragging.
  std::optional<WindowGeometry> moved;
  const bool followed = DragFollows(main, *start, 100, 100, -40, 30, moved);
  ASSERT_TRUE(moved);
  EXPECT_TRUE(followed) << "from (" << start->x << "," << start->y << ") to (" << moved->x << "," << moved->y
                        << ") after a drag from the close box and a header drag of (-40,+30)";
  EXPECT_TRUE(app_->Dialogs().empty()) << "a press on the close box released outside it counts as a click";

  // While a press and release on it is one.
  const XWindow box = AskToExit(main);
  EXPECT_EQ(x_->Title(box), TAVRO_DISPLAY_NAME);
  Dismiss(box);
  EXPECT_TRUE(app_->Proc().Running());
}

INSTANTIATE_TEST_SUITE_P(WindowManager, DragTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Openbox" : "NoWindowManager"; });

TEST_F(WindowTest, MinimiseButtonIconifiesTheWindowUnderAWindowManager) {
  const XWindow main = StartOnLoginPage(true, 300);
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; },
                             60s))
      << "caption: " << app_->Caption();
  // The minimise button shows with the logged-in layout, on the same timer tick as the caption.
  const std::string shown = WaitForPicture(main, MinimisePicture(), 253, 0, 10s);
  ASSERT_EQ(shown, "") << "the minimise box did not appear";
  const auto [x, y] = ToRoot(main, 265, 8);
  input_->Click(x, y);
  const bool iconic = WaitUntil([&] { return x_->Iconic(main) || x_->State(main) != MapState::Viewable; }, 10s);
  EXPECT_TRUE(iconic) << "WM_STATE iconic: " << x_->Iconic(main) << ", map state: " << ToString(x_->State(main));
  EXPECT_TRUE(WaitUntil([&] { return x_->Iconic(main); }, 10s))
      << "the window manager does not hold the window iconic";
  EXPECT_TRUE(app_->Proc().Running());
}

}  // namespace
}  // namespace tavro::e2e
