// What pages may ask of the window, asked as pages and agents ask it: the console's print() shows
// one print dialog that holds nothing up, a page that keeps printing can be stopped, Ctrl+P prints,
// other origins and the advertisement never print; only a pop-up window of the site's own page
// goes full screen, and Escape takes it back.
#include "hostile_pages.h"

namespace tavro::browser {
namespace {

constexpr char kPrintTitle[] = "打印";

class WindowRequestsTest : public HostilePageTest {
 protected:
  std::vector<XWindow> PrintDialogs() {
    return WindowsTitled([](const std::string& t) { return t == kPrintTitle; });
  }
  std::optional<XWindow> WaitPrintDialog(std::chrono::milliseconds timeout = 30s) {
    return WaitWindowTitled([](const std::string& t) { return t == kPrintTitle; }, timeout);
  }
  // Waits for the marker; false if it did not come or a print dialog showed meanwhile.
  bool MarkerWithoutPrintDialog(const std::string& name, std::chrono::milliseconds timeout = 60s) {
    bool dialog = false;
    const bool marked = WaitUntil(
        [&] {
          dialog = dialog || !PrintDialogs().empty();
          return CountRequests(Marker(name)) > 0;
        },
        timeout);
    return marked && !dialog && PrintDialogs().empty();
  }
  bool FullScreen(XWindow window) { return x_->HasState(window, "_NET_WM_STATE_FULLSCREEN"); }
  // The window keeps its place, size and state.
  void ExpectUnchanged(XWindow window, const WindowGeometry& before) {
    const auto after = x_->Geometry(window);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->x, before.x);
    EXPECT_EQ(after->y, before.y);
    EXPECT_EQ(after->width, before.width);
    EXPECT_EQ(after->height, before.height);
    EXPECT_FALSE(FullScreen(window));
  }
};

TEST_F(WindowRequestsTest, TheConsolesPrintShowsOneDialogThatHoldsNothingUpAndCtrlPPrints) {
  StartX(true);
  StartSite();
  AddressLabPage("/kefu/lab/print.html?n=1&tick");
  StartTavro();
  const XWindow main = MainWindowMapped();
  const auto dialog = WaitPrintDialog();
  ASSERT_TRUE(dialog) << "no print dialog" << Describe();
  EXPECT_EQ(x_->TransientFor(*dialog), main);
  // print() returned at once, and the page's title goes on reaching the caption.
  ASSERT_TRUE(WaitForRequest(Marker("prints-over"))) << Describe();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return StartsWith(c, "print tick "); }, 20s))
      << app_->Caption();
  EXPECT_TRUE(WaitForCaptionChange(10s)) << "the caption stands still under the print dialog";
  EXPECT_TRUE(WaitForCaptionChange(10s)) << "the caption stands still under the print dialog";
  EXPECT_EQ(x_->State(*dialog), MapState::Viewable);
  EXPECT_EQ(PrintDialogs().size(), 1u);
  input_->Key(*dialog, "Escape");
  ASSERT_TRUE(WaitGone(*dialog)) << "Escape left the print dialog up";

  // Ctrl+P prints the page in front.
  input_->Key(main, "ctrl+p");
  const auto agents = WaitPrintDialog();
  ASSERT_TRUE(agents) << "Ctrl+P showed no print dialog";
  EXPECT_EQ(x_->TransientFor(*agents), main);
  // The window manager's close asks the exit question while the dialog is up; OK ends Tavro.
  AnswerOkAndExpectEnd(AskToExit(main, [&] { x_->RequestClose(main); }), 0);
}

TEST_F(WindowRequestsTest, APageThatKeepsPrintingIsOfferedTheStopAndStoppedShowsNoMoreDialogs) {
  StartX(true);
  StartSite();
  // A print() every 300 ms for 15 s: one dialog at a time, whatever comes meanwhile.
  AddressLabPage("/kefu/lab/print.html?n=50&every=300");
  StartTavro();
  const XWindow main = MainWindowMapped();
  const auto first = WaitPrintDialog();
  ASSERT_TRUE(first) << "no print dialog" << Describe();
  const auto firstSize = x_->Geometry(*first);
  ASSERT_TRUE(WaitForRequest(Marker("printed-5"))) << Describe();
  EXPECT_EQ(PrintDialogs().size(), 1u) << "more than one print dialog at a time";
  input_->Key(*first, "Escape");
  ASSERT_TRUE(WaitGone(*first));

  // The next print comes soon after: its dialog offers to stop the page's printing.
  const auto second = WaitPrintDialog();
  ASSERT_TRUE(second) << "no second print dialog" << Describe();
  const auto secondSize = x_->Geometry(*second);
  ASSERT_TRUE(firstSize && secondSize);
  EXPECT_GT(secondSize->height, firstSize->height) << "the second dialog has nothing more than the first";
  EXPECT_EQ(CountRequests(Marker("prints-over")), 0u)
      << "the page stopped printing by itself: nothing proven";
  input_->Key(*second, "alt+b");
  input_->Key(*second, "Escape");
  ASSERT_TRUE(WaitGone(*second));
  // The rest of the page's prints show nothing.
  EXPECT_TRUE(MarkerWithoutPrintDialog("prints-over")) << "a print dialog after the stop" << Describe();

  // The agent's own Ctrl+P still prints the page.
  input_->Key(main, "ctrl+p");
  const auto agents = WaitPrintDialog();
  ASSERT_TRUE(agents) << "Ctrl+P showed no print dialog after the page's were stopped";
  input_->Key(*agents, "Escape");
  ASSERT_TRUE(WaitGone(*agents));
  AnswerOkAndExpectEnd(AskToExit(main), 0);
}

TEST_F(WindowRequestsTest, APageOfAnotherOriginPrintingInALoopShowsNoDialog) {
  const XWindow main = StartConsoleOpening("/kefu/lab/print.html%3Fn%3D60");
  ASSERT_TRUE(WaitOtherOriginWindow("print ready")) << Describe();
  EXPECT_TRUE(MarkerWithoutPrintDialog("prints-over")) << "a print dialog for another origin" << Describe();
  EXPECT_EQ(CountRequests(Marker("printed-60")), 1u) << Describe();
  AnswerOkAndExpectEnd(AskToExit(main), 0);
}

TEST_F(WindowRequestsTest, OnlyASitePopUpGoesFullScreenAndEscapeTakesItBack) {
  StartX(true);
  StartSite();
  AddressLabPage("/kefu/lab/fullscreen.html?open=/kefu/lab/fullscreen.html");
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("fullscreen ready", 30s)) << app_->Caption();
  const auto before = x_->Geometry(main);
  ASSERT_TRUE(before);

  // The console asks on a click: refused, and the page learns it.
  ClickAt(main, 160, 400);
  ASSERT_TRUE(WaitForRequest(Marker("fs-refused"))) << "the page was not told" << Describe();
  ExpectUnchanged(main, *before);
  EXPECT_EQ(CountRequests(Marker("fs-change-in")), 0u) << Describe();
  EXPECT_EQ(app_->Caption(), "fullscreen ready");

  // A pop-up window of the site's page goes full screen on a click, and Escape takes it back.
  ClickAt(main, 160, 400);
  const auto popup = WaitWindowTitled([](const std::string& t) { return t == "fullscreen ready"; }, 30s);
  ASSERT_TRUE(popup) << "no pop-up window" << Describe();
  ClickAt(*popup, 300, 300);
  ASSERT_TRUE(WaitForRequest(Marker("fs-entered"))) << Describe();
  EXPECT_TRUE(WaitUntil([&] { return FullScreen(*popup); }, 10s)) << "the pop-up is not full screen";
  const auto full = x_->Geometry(*popup);
  ASSERT_TRUE(full);
  EXPECT_EQ(full->width, x_->Width());
  EXPECT_EQ(full->height, x_->Height());
  input_->Key(*popup, "Escape");
  EXPECT_TRUE(WaitForRequest(Marker("fs-change-out"))) << Describe();
  EXPECT_TRUE(WaitUntil([&] { return !FullScreen(*popup); }, 10s)) << "Escape left the pop-up full screen";
  ExpectUnchanged(main, *before);
  AnswerOkAndExpectEnd(AskToExit(main), 0);
}

TEST_F(WindowRequestsTest, CtrlPInASitePopUpPrintsThatPageThroughTheDialog) {
  StartX(true);
  StartSite();
  AddressLabPage("/kefu/lab/fullscreen.html?open=/kefu/lab/print.html%3Fn%3D0");
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("fullscreen ready", 30s)) << app_->Caption();
  ClickAt(main, 160, 400);
  ASSERT_TRUE(WaitForRequest(Marker("fs-refused"))) << Describe();
  ClickAt(main, 160, 400);
  const auto popup = WaitWindowTitled([](const std::string& t) { return t == "print ready"; }, 30s);
  ASSERT_TRUE(popup) << "no pop-up window" << Describe();
  // The pop-up's own print() comes first: its dialog belongs to the pop-up, not the main window.
  const auto pages = WaitPrintDialog();
  ASSERT_TRUE(pages) << "no print dialog for the pop-up's print()" << Describe();
  EXPECT_EQ(x_->TransientFor(*pages), *popup);
  input_->Key(*pages, "Escape");
  ASSERT_TRUE(WaitGone(*pages));

  // The agent's Ctrl+P in the pop-up, answered with GTK's file printer (the only one here, first
  // in the list under the General tab): the page comes out as a PDF in the home folder.
  input_->Key(*popup, "ctrl+p");
  const auto agents = WaitPrintDialog();
  ASSERT_TRUE(agents) << "Ctrl+P showed no print dialog";
  EXPECT_EQ(x_->TransientFor(*agents), *popup);
  input_->Key(*agents, "Tab");
  std::filesystem::path printed;
  ASSERT_TRUE(WaitUntil(
      [&] {
        // The printer list fills in after the dialog shows; Return prints once one is chosen.
        if (x_->State(*agents) == MapState::Viewable) {
          input_->Key(*agents, "Down");
          input_->Key(*agents, "Return");
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path()))
          if (entry.path().extension() == ".pdf" && entry.file_size() > 0) printed = entry.path();
        return !printed.empty();
      },
      30s))
      << "nothing printed";
  EXPECT_TRUE(WaitGone(*agents));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return ReadFile(printed).rfind("%PDF", 0) == 0 &&
               ReadFile(printed).find("%%EOF") != std::string::npos;
      },
      15s))
      << printed;
  EXPECT_TRUE(
      WindowsTitled([](const std::string& t) { return t.find("打印失败") != std::string::npos; }).empty());
  AnswerOkAndExpectEnd(AskToExit(main), 0);
}

class AdvertisementWindowRequestsTest : public AdvertisementTest {
 protected:
  std::vector<XWindow> PrintDialogs() {
    return WindowsTitled([](const std::string& t) { return t == kPrintTitle; });
  }
};

TEST_F(AdvertisementWindowRequestsTest, TheAdvertisementNeverPrintsNorTakesTheWindowFullScreen) {
  AdServer ad(
      dir_.Sub("ad"), adPort_,
      "<!DOCTYPE html><html><head><title>ad</title><style>html,body{margin:0;overflow:hidden}"
      "#a{position:fixed;top:0;left:0;right:0;bottom:0;background:#f60}</style></head><body>"
      "<div id=\"a\">ad</div><script>"
      "setTimeout(function () { for (var i = 0; i < 60; i++) window.print(); fetch('prints-over'); }, 100);"
      "document.getElementById('a').addEventListener('click', function () {"
      "  var root = document.documentElement;"
      "  if (!root.requestFullscreen) { fetch('fs-refused'); return; }"
      "  root.requestFullscreen().then(function () { fetch('fs-entered'); },"
      "    function () { fetch(document.fullscreenElement ? 'fs-refused-but-full' : 'fs-refused'); });"
      "});</script></body></html>");
  StartX(true);
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption(
      [](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; }, 60s))
      << app_->Caption();
  bool dialog = false;
  EXPECT_TRUE(WaitUntil(
      [&] {
        dialog = dialog || !PrintDialogs().empty();
        return ad.Requests().find("GET /prints-over") != std::string::npos;
      },
      60s))
      << ad.Requests();
  EXPECT_FALSE(dialog || !PrintDialogs().empty()) << "a print dialog for the advertisement";

  const auto before = x_->Geometry(main);
  ASSERT_TRUE(before);
  ClickAt(main, 30, 700);
  ASSERT_TRUE(ad.WaitRequest("/fs-refused")) << ad.Requests();
  const auto after = x_->Geometry(main);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->x, before->x);
  EXPECT_EQ(after->y, before->y);
  EXPECT_EQ(after->width, before->width);
  EXPECT_EQ(after->height, before->height);
  EXPECT_FALSE(x_->HasState(main, "_NET_WM_STATE_FULLSCREEN"));
  EXPECT_TRUE(PageWindowsAndBoxes().empty());
  AnswerOkAndExpectEnd(AskToExit(main), 0);
}

}  // namespace
}  // namespace tavro::browser
