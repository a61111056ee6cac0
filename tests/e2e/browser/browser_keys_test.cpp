// The browser's keys in the site's pages, typed as an agent types them: reload, the find bar,
// zoom by keys and by Ctrl+wheel, in the main window and in a pop-up; other keys stay the page's.
#include <regex>

#include "browser_fixture.h"
#include "tavro_config.h"

namespace tavro::browser {
namespace {

const std::string kKeysPage = "/kefu/lab/keys.html";

// What the keys page says in its title.
struct PageState {
  int width = 0, height = 0;
  int scrolled = 0;
  bool focus = false;
  std::string selection;  // "text@offset", or empty
  std::string typed;      // the last keys the page saw typed
};

std::optional<PageState> ParseState(const std::string& title) {
  static const std::regex pattern(R"(^keys w=(\d+) h=(\d+) y=(\d+) dpr=\S+ focus=([01]) sel=(.*) typed=(.*)$)");
  std::smatch m;
  if (!std::regex_match(title, m, pattern)) return std::nullopt;
  return PageState{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), m[4] == "1", m[5], m[6]};
}

class BrowserKeysTest : public BrowserTest {
 protected:
  // tavro on the keys page; its state once the page shows it.
  XWindow StartOnKeysPage(const std::string& path = kKeysPage) {
    StartX();
    StartSite();
    AddressLabPage(path);
    StartTavro();
    const XWindow main = MainWindowMapped();
    if (!WaitForCaption([](const std::string& c) { return ParseState(c).has_value(); }, 30s))
      throw std::runtime_error("the keys page did not show: " + app_->Caption());
    return main;
  }

  // The state the window's page shows, once it satisfies the predicate; the last one otherwise.
  PageState WaitState(XWindow window, const std::function<bool(const PageState&)>& wanted,
                      std::chrono::milliseconds timeout = 10s) {
    PageState last;
    WaitUntil(
        [&] {
          const auto state = ParseState(x_->Title(window));
          if (state) last = *state;
          return state && wanted(last);
        },
        timeout);
    return last;
  }
  PageState State(XWindow window) {
    return WaitState(window, [](const PageState&) { return true; });
  }

  // xdotool with arguments the harness's input does not take (modifiers held around a click).
  void Xdotool(const std::vector<std::string>& args) {
    ProcessOptions p;
    p.argv = {"xdotool"};
    p.argv.insert(p.argv.end(), args.begin(), args.end());
    p.env = {{"DISPLAY", x_->DisplayName()}};
    ASSERT_EQ(RunToEnd(p, 20s), 0) << "xdotool failed";
  }
  void CtrlWheel(XWindow window, int button) {
    const auto [x, y] = ToRoot(window, 160, 450);
    x_->Focus(window);
    Xdotool({"mousemove", std::to_string(x), std::to_string(y), "keydown", "ctrl", "click", std::to_string(button),
             "keyup", "ctrl"});
  }
  void Type(XWindow window, const std::string& keys) {
    for (const char c : keys) input_->Key(window, std::string(1, c));
  }

  // The bottom strip of the main window, where the find bar shows in both layouts.
  RgbImage BottomStrip(XWindow window) {
    const RgbImage shot = WindowShot(window);
    return shot.Crop(0, kMainHeight - 44, kMainWidth, 44);
  }
  static int Differing(const RgbImage& a, const RgbImage& b) {
    int n = 0;
    for (int y = 0; y < a.Height(); ++y)
      for (int x = 0; x < a.Width(); ++x)
        if (!Near(a.Pixel(x, y), b.Pixel(x, y), 8)) ++n;
    return n;
  }
};

TEST_F(BrowserKeysTest, F5AndCtrlRReloadThePageWhileOtherKeysStayThePages) {
  const XWindow main = StartOnKeysPage();
  ASSERT_EQ(CountRequests(kKeysPage), 1u) << Describe();
  input_->Key(main, "F5");
  EXPECT_TRUE(WaitUntil([&] { return CountRequests(kKeysPage) == 2; }, 10s)) << "F5 did not reload" << Describe();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return ParseState(c).has_value(); }, 10s));
  input_->Key(main, "ctrl+r");
  EXPECT_TRUE(WaitUntil([&] { return CountRequests(kKeysPage) == 3; }, 10s)) << "Ctrl+R did not reload" << Describe();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return ParseState(c).has_value(); }, 10s));

  // Letters, and Ctrl with a letter Tavro does not use, reach the page as before.
  Type(main, "rf");
  input_->Key(main, "ctrl+e");
  Type(main, "0");
  EXPECT_EQ(WaitState(main, [](const PageState& s) { return s.typed == "rfe0"; }).typed, "rfe0");
  EXPECT_EQ(CountRequests(kKeysPage), 3u) << "a key of the page reloaded it" << Describe();
}

TEST_F(BrowserKeysTest, CtrlFShowsTheFindBarThatFindsAWordAndEscapeClosesIt) {
  const XWindow main = StartOnKeysPage();
  const RgbImage before = BottomStrip(main);

  // F right after Ctrl: the page answers about Ctrl once the bar has the focus, and the first key
  // after the bar closes must still reach the page.
  x_->Focus(main);
  Xdotool({"key", "--delay", "0", "ctrl+f"});
  // The bar takes the focus from the page, and it is seen in front of the page.
  EXPECT_FALSE(WaitState(main, [](const PageState& s) { return !s.focus; }).focus) << "the page kept the focus";
  EXPECT_TRUE(WaitUntil([&] { return Differing(before, BottomStrip(main)) > 200; }, 10s))
      << "no find bar along the bottom edge: " << SaveShot("no-bar", WindowShot(main)).string();

  // Typing finds the first match; Enter the next one, Shift+Enter the one before. The text went
  // to the bar, not to the page.
  Type(main, "ZEBRA");
  const PageState first = WaitState(main, [](const PageState& s) { return s.selection.rfind("zebra@", 0) == 0; });
  ASSERT_EQ(first.selection.rfind("zebra@", 0), 0u) << "the word was not found: " << first.selection;
  EXPECT_EQ(first.typed, "");
  input_->Key(main, "Return");
  const PageState second = WaitState(main, [&](const PageState& s) { return s.selection != first.selection; });
  EXPECT_EQ(second.selection.rfind("zebra@", 0), 0u) << second.selection;
  EXPECT_NE(second.selection, first.selection) << "Enter did not go on to the next match";
  input_->Key(main, "shift+Return");
  EXPECT_EQ(WaitState(main, [&](const PageState& s) { return s.selection == first.selection; }).selection,
            first.selection)
      << "Shift+Enter did not go back";

  // Escape closes the bar: the page has the focus and the keys again, and the strip is as it was.
  input_->Key(main, "Escape");
  EXPECT_TRUE(WaitState(main, [](const PageState& s) { return s.focus; }).focus) << "the page did not get the focus back";
  Type(main, "q");
  EXPECT_EQ(WaitState(main, [](const PageState& s) { return s.typed == "q"; }).typed, "q");
  EXPECT_LT(Differing(before, BottomStrip(main)), 20) << "the bar is still seen";
}

TEST_F(BrowserKeysTest, TheFindBarStandsInFrontOfTheSignedInLayout) {
  StartX();
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; }, 60s))
      << app_->Caption();
  // The layout switches on the timer's next tick after the title: wait for the strip to settle.
  RgbImage before = BottomStrip(main);
  WaitUntil(
      [&] {
        const RgbImage now = BottomStrip(main);
        const bool settled = Differing(before, now) == 0;
        before = now;
        return settled;
      },
      10s, 600ms);
  input_->Key(main, "ctrl+f");
  // The entry sits at the left, over the advertisement's place in this layout.
  EXPECT_TRUE(WaitUntil(
      [&] {
        const RgbImage now = BottomStrip(main);
        return Differing(before.Crop(8, 0, 110, 44), now.Crop(8, 0, 110, 44)) > 100;
      },
      10s))
      << "no find bar in front: " << SaveShot("signed-in", WindowShot(main)).string();
}

TEST_F(BrowserKeysTest, ZoomKeysAndCtrlWheelZoomThePageAndCtrl0ResetsIt) {
  const XWindow main = StartOnKeysPage();
  const int normal = State(main).width;
  const auto widthAfter = [&](const std::function<void()>& act, int from) {
    act();
    return WaitState(main, [&](const PageState& s) { return s.width != from; }).width;
  };

  const int in1 = widthAfter([&] { input_->Key(main, "ctrl+plus"); }, normal);
  EXPECT_LT(in1, normal) << "Ctrl+plus did not zoom in";
  const int in2 = widthAfter([&] { input_->Key(main, "ctrl+equal"); }, in1);
  EXPECT_LT(in2, in1) << "Ctrl+= did not zoom in";
  const int in3 = widthAfter([&] { input_->Key(main, "ctrl+KP_Add"); }, in2);
  EXPECT_LT(in3, in2) << "Ctrl+keypad plus did not zoom in";
  EXPECT_EQ(widthAfter([&] { input_->Key(main, "ctrl+minus"); }, in3), in2) << "Ctrl+minus is not one step back";
  EXPECT_EQ(widthAfter([&] { input_->Key(main, "ctrl+0"); }, in2), normal) << "Ctrl+0 did not go back to 100 %";

  const int wheelIn = widthAfter([&] { CtrlWheel(main, 4); }, normal);
  EXPECT_EQ(wheelIn, in1) << "Ctrl+wheel up is not one step in";
  EXPECT_EQ(widthAfter([&] { CtrlWheel(main, 5); }, wheelIn), normal) << "Ctrl+wheel down is not one step out";
  const int out1 = widthAfter([&] { CtrlWheel(main, 5); }, normal);
  EXPECT_GT(out1, normal) << "Ctrl+wheel down did not zoom out";

  // The wheel alone scrolls the page and leaves the zoom as it was.
  const auto [x, y] = ToRoot(main, 160, 450);
  Xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", "5"});
  const PageState scrolled = WaitState(main, [](const PageState& s) { return s.scrolled > 0; });
  EXPECT_GT(scrolled.scrolled, 0) << "the wheel did not scroll the page";
  EXPECT_EQ(scrolled.width, out1) << "the wheel without Ctrl zoomed";
}

TEST_F(BrowserKeysTest, APopUpHasTheKeysAndItsFindBarUnderThePage) {
  const XWindow main = StartOnKeysPage(kKeysPage + "?popup=1");
  // A page opens a window in answer to the agent's click.
  const auto [cx, cy] = ToRoot(main, 160, 400);
  input_->Click(cx, cy);
  const auto popup = WaitWindowTitled([](const std::string& t) { return ParseState(t).has_value(); }, 30s);
  ASSERT_TRUE(popup) << "no pop-up window";
  const PageState opened = State(*popup);
  const int mainWidth = State(main).width;

  input_->Key(*popup, "ctrl+f");
  // The bar takes room under the page rather than covering it.
  const PageState finding = WaitState(*popup, [&](const PageState& s) { return s.height < opened.height; });
  EXPECT_LT(finding.height, opened.height) << "the page did not make room for the bar";
  Type(*popup, "zebra");
  EXPECT_EQ(WaitState(*popup, [](const PageState& s) { return s.selection.rfind("zebra@", 0) == 0; }).selection.rfind(
                "zebra@", 0),
            0u);
  input_->Key(*popup, "Escape");
  EXPECT_EQ(WaitState(*popup, [&](const PageState& s) { return s.height == opened.height; }).height, opened.height)
      << "the bar did not go";

  // Zoom is the pop-up's own; Ctrl+R reloads the pop-up's page, not the main window's.
  input_->Key(*popup, "ctrl+minus");
  EXPECT_GT(WaitState(*popup, [&](const PageState& s) { return s.width > opened.width; }).width, opened.width);
  input_->Key(*popup, "ctrl+r");
  EXPECT_TRUE(WaitUntil([&] { return CountRequests(kKeysPage) == 2; }, 10s)) << Describe();
  EXPECT_EQ(CountRequests(kKeysPage + "?popup=1"), 1u) << Describe();
  EXPECT_EQ(State(main).width, mainWidth) << "the main window's page zoomed with the pop-up's";
}

}  // namespace
}  // namespace tavro::browser
