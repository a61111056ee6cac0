// The borderless window on the desktop: its rounded outline, dragging by the header, minimising.
#include <iostream>
#include <thread>

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

TEST_F(WindowTest, RoundedOutlineLetsTheRootShowAtTheFourCornersOnly) {
  StartX();
  x_->SetRootColour(kMagenta);
  StartSite();
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c == "客服登录"; }, 60s));
  const auto g = x_->Geometry(main);
  ASSERT_TRUE(g);

  struct Probe {
    int x, y;
    bool root;
  };
  const int r = g->width - 1, b = g->height - 1;
  const std::vector<Probe> probes = {
      {0, 0, true},     {r, 0, true},     {0, b, true},     {r, b, true},
      {1, 1, false},    {r - 1, 1, false}, {1, b - 1, false}, {r - 1, b - 1, false},
      // The edges between the corners belong to the window.
      {g->width / 2, 0, false}, {0, g->height / 2, false}, {r, g->height / 2, false}, {g->width / 2, b, false},
  };
  RgbImage shot;
  std::string mismatch;
  const bool ok = WaitUntil(
      [&] {
        shot = x_->Screenshot(g->x, g->y, g->width, g->height);
        mismatch.clear();
        for (const auto& p : probes) {
          const Rgb c = shot.Pixel(p.x, p.y);
          if ((c == kMagenta) != p.root)
            mismatch += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")=" + ToString(c);
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
class DragTest : public WindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DragTest, LeftDragOnTheHeaderMovesTheWindowAndRightDragDoesNot) {
  const XWindow main = StartOnLoginPage(GetParam());
  const auto start = x_->Geometry(main);
  ASSERT_TRUE(start);

  // Before sign-in the header picture covers the top 201 pixels; (100, 100) lies on it.
  input_->Drag(start->x + 100, start->y + 100, 60, 40, 1);
  std::optional<WindowGeometry> moved;
  const bool followed = WaitUntil(
      [&] {
        moved = x_->Geometry(main);
        return moved && std::abs(moved->x - (start->x + 60)) <= 2 && std::abs(moved->y - (start->y + 40)) <= 2;
      },
      10s, 50ms);
  ASSERT_TRUE(moved);
  EXPECT_TRUE(followed) << "from (" << start->x << "," << start->y << ") to (" << moved->x << "," << moved->y
                        << "), the pointer travelled (+60,+40)";
  EXPECT_EQ(moved->width, 318);
  EXPECT_EQ(moved->height, 723);

  input_->Drag(moved->x + 100, moved->y + 100, 60, 40, 3);
  std::this_thread::sleep_for(500ms);  // a move would have shown by now
  const auto after = x_->Geometry(main);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->x, moved->x) << "a right drag moved the window";
  EXPECT_EQ(after->y, moved->y) << "a right drag moved the window";
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
  const auto [x, y] = ToRoot(main, 265, 8);
  input_->Click(x, y);
  const bool iconic = WaitUntil([&] { return x_->Iconic(main) || x_->State(main) != MapState::Viewable; }, 10s);
  EXPECT_TRUE(iconic) << "WM_STATE iconic: " << x_->Iconic(main) << ", map state: " << ToString(x_->State(main));
  EXPECT_TRUE(app_->Proc().Running());
}

}  // namespace
}  // namespace tavro::e2e
