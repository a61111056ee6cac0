// Form1's stored design: the window, its seven controls and the pictures it embeds.
#include "app/form/form1_design.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

namespace {

using tavro::platform::ControlKind;
using tavro::platform::DesignColor;

constexpr DesignColor kButtonColor = DesignColor::Rgb(128, 255, 255);

constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

const tavro::platform::ControlDesign& Control(const std::string& name) {
  const auto* c = tavro::app::Form1Design().Find(name);
  if (!c) throw std::runtime_error("no control " + name);
  return *c;
}

// Place in the stored order: within a container, the earlier stands in front.
std::ptrdiff_t StackingPlace(const std::string& name) {
  const auto& controls = tavro::app::Form1Design().controls;
  return std::find_if(controls.begin(), controls.end(), [&](const auto& c) { return c.name == name; }) -
         controls.begin();
}

struct Box {
  int left, top, right, bottom;  // twips
  bool Inside(const Box& outer) const {
    return left >= outer.left && top >= outer.top && right <= outer.right && bottom <= outer.bottom;
  }
};
Box BoxOf(const tavro::platform::ControlDesign& c) { return {c.left, c.top, c.left + c.width, c.top + c.height}; }
Box InnerArea(const tavro::platform::ControlDesign& c) { return {0, 0, c.width, c.height}; }

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

TEST(Form1DesignTest, SevenNamedControlsOfTheirKindsOnTheFormOrInTheHeader) {
  const auto& f = tavro::app::Form1Design();
  ASSERT_EQ(f.controls.size(), 7U);
  for (const auto& c : f.controls) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(f.Find(c.name), &c) << "names are not unique";
    const ControlKind kind = c.name.rfind("Picture", 0) == 0      ? ControlKind::PictureBox
                             : c.name.rfind("WebBrowser", 0) == 0 ? ControlKind::WebBrowser
                                                                  : ControlKind::Timer;
    EXPECT_EQ(c.kind, kind);
    // The two buttons lie in the header strip; everything else on the form.
    EXPECT_EQ(c.container, c.name == "Picture2" || c.name == "Picture3" ? "Picture1" : "");
  }
  for (const char* name : {"Picture1", "Picture2", "Picture3", "Timer1", "WebBrowser1", "WebBrowser2", "WebBrowser3"})
    EXPECT_NE(f.Find(name), nullptr) << name;
}

TEST(Form1DesignTest, StackingFrontToBackIsAdvertisementHeaderMainViewSpareView) {
  EXPECT_LT(StackingPlace("WebBrowser2"), StackingPlace("Picture1"));
  EXPECT_LT(StackingPlace("Picture1"), StackingPlace("WebBrowser1"));
  EXPECT_LT(StackingPlace("WebBrowser1"), StackingPlace("WebBrowser3"));
  EXPECT_LT(StackingPlace("Picture3"), StackingPlace("Picture2"));
}

TEST(Form1DesignTest, ThePlacesMakeTheSkin) {
  const auto& f = tavro::app::Form1Design();
  const Box window{0, 0, f.width, f.height};
  const auto& header = Control("Picture1");
  const auto& close = Control("Picture2");
  const auto& minimise = Control("Picture3");
  const auto& main = Control("WebBrowser1");
  const auto& ad = Control("WebBrowser2");
  const auto& spare = Control("WebBrowser3");

  // The header strip runs across the whole window from its top, 201 pixels high.
  EXPECT_EQ(header.left, 0);
  EXPECT_EQ(header.top, 0);
  EXPECT_GE(header.width, f.width);
  EXPECT_EQ(header.height, 201 * kTwipsPerPixel);
  // Its buttons lie in it and in the window, side by side: minimise, then close.
  for (const auto* button : {&close, &minimise}) {
    SCOPED_TRACE(button->name);
    EXPECT_TRUE(BoxOf(*button).Inside(InnerArea(header)));
    EXPECT_LE(BoxOf(*button).right, f.width);
  }
  EXPECT_LE(BoxOf(minimise).right, close.left);
  // The close box is smaller than its 32 x 32 picture, which it cuts; the minimise box fits its
  // 26 x 17 picture.
  EXPECT_LT(close.width, 32 * kTwipsPerPixel);
  EXPECT_LT(close.height, 32 * kTwipsPerPixel);
  EXPECT_EQ(minimise.width, 26 * kTwipsPerPixel);
  EXPECT_EQ((minimise.height + kTwipsPerPixel / 2) / kTwipsPerPixel, 17);

  // The main view overhangs the window on every side, on the right by more than a scroll bar.
  EXPECT_LT(main.left, 0);
  EXPECT_LT(main.top, 0);
  EXPECT_GT(BoxOf(main).bottom, f.height);
  EXPECT_GE(BoxOf(main).right - f.width, 17 * kTwipsPerPixel) << "the scroll bar would show";

  // The advertisement view lies inside the window, below the header; the spare view inside it,
  // and so wholly behind the main view.
  EXPECT_TRUE(BoxOf(ad).Inside(window));
  EXPECT_GE(ad.top, header.height);
  EXPECT_TRUE(BoxOf(spare).Inside(BoxOf(ad)));
  EXPECT_TRUE(BoxOf(spare).Inside(BoxOf(main)));
}

TEST(Form1DesignTest, OnlyTheAdvertisementAndTheMinimiseBoxStartHidden) {
  for (const auto& c : tavro::app::Form1Design().controls)
    EXPECT_EQ(c.visible, c.name != "WebBrowser2" && c.name != "Picture3") << c.name;
}

TEST(Form1DesignTest, TheMainViewComesFirstInTabOrderAndTheTimerHasNoPlace) {
  const auto& f = tavro::app::Form1Design();
  for (const auto& c : f.controls) {
    EXPECT_EQ(c.tabIndex.has_value(), c.kind != ControlKind::Timer) << c.name;
    if (c.tabIndex && c.name != "WebBrowser1") {
      EXPECT_GT(*c.tabIndex, *Control("WebBrowser1").tabIndex) << c.name;
    }
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
  EXPECT_EQ(f.Find("Picture2")->name, "Picture2");
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
