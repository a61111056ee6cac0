// Form1's stored design: the window, its seven controls and the pictures it embeds.
#include "app/form/form1_design.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

namespace {

using tavro::platform::ControlKind;
using tavro::platform::DesignColor;

constexpr DesignColor kButtonColor = DesignColor::Rgb(128, 255, 255);

struct Stored {
  const char* name;
  ControlKind kind;
  const char* container;
  int left, top, width, height;
  bool visible;
  std::optional<int> tabIndex;
};

// Stored order: the first stands in front within its container.
const Stored kControls[] = {
    {"WebBrowser2", ControlKind::WebBrowser, "", 120, 10200, 3015, 600, false, 3},
    {"Picture1", ControlKind::PictureBox, "", 0, 0, 4820, 3015, true, 1},
    {"Picture3", ControlKind::PictureBox, "Picture1", 3800, 0, 390, 260, false, 4},
    {"Picture2", ControlKind::PictureBox, "Picture1", 4200, 60, 320, 420, true, 2},
    {"Timer1", ControlKind::Timer, "", 0, 0, 0, 0, true, std::nullopt},
    {"WebBrowser1", ControlKind::WebBrowser, "", -30, -30, 5100, 10935, true, 0},
    {"WebBrowser3", ControlKind::WebBrowser, "", 1080, 10320, 975, 375, true, 5},
};

TEST(Form1DesignTest, WindowIsABorderless318By723PixelPanelWithoutCaption) {
  const auto& f = tavro::app::Form1Design();
  EXPECT_EQ(f.name, "Form1");
  EXPECT_EQ(f.width / 15, 318);
  EXPECT_EQ(f.height / 15, 723);
  EXPECT_EQ(f.width % 15 + f.height % 15, 0);
  EXPECT_TRUE(f.borderless);
  EXPECT_EQ(f.caption, "");
  EXPECT_FALSE(f.picture.empty());
  EXPECT_FALSE(f.icon.empty());
}

TEST(Form1DesignTest, ControlsKeepTheirStoredOrderPlacesSizesAndTabs) {
  const auto& controls = tavro::app::Form1Design().controls;
  ASSERT_EQ(controls.size(), std::size(kControls));
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const auto& c = controls[i];
    const Stored& s = kControls[i];
    SCOPED_TRACE(s.name);
    EXPECT_EQ(c.name, s.name);
    EXPECT_EQ(c.kind, s.kind);
    EXPECT_EQ(c.container, s.container);
    EXPECT_EQ((std::array{c.left, c.top, c.width, c.height}), (std::array{s.left, s.top, s.width, s.height}));
    EXPECT_EQ(c.visible, s.visible);
    EXPECT_EQ(c.tabIndex, s.tabIndex);
  }
}

TEST(Form1DesignTest, TabPositionsAreDistinctAndContiguous) {
  std::set<int> tabs;
  for (const auto& c : tavro::app::Form1Design().controls)
    if (c.tabIndex) {
      EXPECT_TRUE(tabs.insert(*c.tabIndex).second) << c.name;
    }
  ASSERT_FALSE(tabs.empty());
  EXPECT_EQ(*tabs.begin(), 0);
  EXPECT_EQ(*tabs.rbegin(), static_cast<int>(tabs.size()) - 1);
}

TEST(Form1DesignTest, OnlyTheTwoButtonsCarryTheButtonColour) {
  for (const auto& c : tavro::app::Form1Design().controls) {
    const bool button = c.name == "Picture2" || c.name == "Picture3";
    EXPECT_EQ(c.backColor, button ? kButtonColor : DesignColor::Window()) << c.name;
  }
}

TEST(Form1DesignTest, TimerTicksEveryHalfSecondAndFindLooksUpByName) {
  const auto& f = tavro::app::Form1Design();
  const auto* timer = f.Find("Timer1");
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval, 500);
  for (const auto& c : f.controls)
    if (c.kind != ControlKind::Timer) {
      EXPECT_EQ(c.interval, 0) << c.name;
    }
  EXPECT_EQ(f.Find("Picture2"), &f.controls[3]);
  EXPECT_EQ(f.Find("Picture4"), nullptr);
}

TEST(Form1DesignTest, EveryEmbeddedPictureHasItsImageInTheSources) {
  const auto& f = tavro::app::Form1Design();
  std::vector<std::string> paths = {f.picture, f.icon};
  for (const auto& c : f.controls)
    if (!c.picture.empty()) paths.push_back(c.picture);
  EXPECT_EQ(paths.size(), 5U);  // the window, the icon, the header and the two buttons
  const std::filesystem::path form = std::filesystem::path(TAVRO_SOURCE_DIR) / "app/form";
  std::ifstream xml(form / "form1.gresource.xml");
  const std::string resources{std::istreambuf_iterator<char>(xml), std::istreambuf_iterator<char>()};
  const std::string prefix = "/tavro/form/";
  for (const auto& path : paths) {
    ASSERT_EQ(path.rfind(prefix, 0), 0U) << path;
    const std::string name = path.substr(prefix.size());
    EXPECT_NE(resources.find("alias=\"" + name + "\""), std::string::npos) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(form / "images" / name)) << name;
  }
}

}  // namespace
