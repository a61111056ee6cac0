// Pages that open new windows: the site's open in Tavro windows of their own that share its
// session and close with window.close() or with the main window; the advertisement's go to the
// desktop's browser, and only when the agent clicked.
#include <fstream>
#include <iostream>

#include "browser_fixture.h"
#include "tavro_config.h"

namespace tavro::browser {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Pages open windows only when the agent clicks: the lab page's whole area is the link.
class NewWindowTest : public BrowserTest {
 protected:
  void ClickWhenReady(XWindow main, const std::string& readyCaption) {
    ASSERT_TRUE(WaitForCaption(readyCaption, 30s)) << app_->Caption() << Describe();
    const auto [x, y] = ToRoot(main, 160, 400);
    input_->Click(x, y);
  }
};

TEST_F(NewWindowTest, BlankLinkOpensADecoratedWindowThatSharesTheSignedInSession) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/click-opens.html?to=/kefu/lab/whoami.php&signin=1");
  StartTavro();
  const XWindow main = MainWindowMapped();
  ClickWhenReady(main, "signed in");

  const auto popup = WaitWindowTitled([](const std::string& t) { return StartsWith(t, "whoami "); }, 30s);
  ASSERT_TRUE(popup) << "no window titled \"whoami ...\"; caption: " << app_->Caption() << Describe();
  EXPECT_TRUE(WaitForCaption("signed in", 5s)) << app_->Caption();

  // The site saw the new window's request with the session the main view signed in with.
  std::string consoleSession, whoamiSession;
  for (const auto& r : site_->Requests()) {
    if (r.target == "/kefu/index.php" && r.session != "-") consoleSession = r.session;
    if (r.target == "/kefu/lab/whoami.php") whoamiSession = r.session;
  }
  ASSERT_FALSE(consoleSession.empty()) << "the page did not sign in" << Describe();
  EXPECT_EQ(whoamiSession, consoleSession) << Describe();
  EXPECT_EQ(x_->Title(*popup), "whoami " + consoleSession);

  // A browser window of its own: decorated, with the icon, about 1000 x 700, not the frame.
  const auto g = x_->Geometry(*popup);
  ASSERT_TRUE(g);
  EXPECT_NEAR(g->width, 1000, 50);
  EXPECT_NEAR(g->height, 700, 50);
  EXPECT_TRUE(x_->Decorated(*popup));
  EXPECT_FALSE(x_->Decorated(main)) << "the main window lost its skin";
  EXPECT_TRUE(x_->HasIcon(*popup));
  EXPECT_EQ(x_->TransientFor(*popup), 0u) << "a page window is not a dialog of the frame";
  EXPECT_EQ(app_->Dialogs().size(), 1u) << "exactly the frame and the new window on screen";
}

TEST_F(NewWindowTest, WindowOpenShowsAWindowAndWindowCloseTakesItAway) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/click-opens.html?to=/kefu/lab/closeme.html&script=1");
  StartTavro();
  const XWindow main = MainWindowMapped();
  ClickWhenReady(main, "click opens");

  const auto isCloseme = [](const std::string& t) { return t == "closeme"; };
  const auto popup = WaitWindowTitled(isCloseme, 30s);
  ASSERT_TRUE(popup) << "no window for window.open; caption: " << app_->Caption() << Describe();
  const auto shownAt = Clock::now();
  EXPECT_TRUE(WaitForCaption("opened", 5s)) << app_->Caption();

  // The page closes itself after 1.5 s.
  ASSERT_TRUE(WaitUntil([&] { return x_->State(*popup) != MapState::Viewable; }, 15s))
      << "window.close() left the window up";
  EXPECT_GE(MillisBetween(shownAt, Clock::now()), 1000) << "closed before the page asked";
  EXPECT_TRUE(WindowsTitled(isCloseme).empty());
  EXPECT_TRUE(app_->Proc().Running()) << "the program ended with the page's window";
  EXPECT_EQ(x_->State(main), MapState::Viewable);
  EXPECT_EQ(app_->Caption(), "opened") << "the main view changed";
}

TEST_F(NewWindowTest, OpenWindowsDoNotKeepTheProgramRunningOnceTheMainWindowCloses) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/click-opens.html?to=/kefu/lab/whoami.php");
  StartTavro();
  const XWindow main = MainWindowMapped();
  ClickWhenReady(main, "click opens");
  const auto popup = WaitWindowTitled([](const std::string& t) { return StartsWith(t, "whoami"); }, 30s);
  ASSERT_TRUE(popup) << Describe();

  // Closing a page's window leaves the frame alone.
  x_->RequestClose(*popup);
  ASSERT_TRUE(WaitUntil([&] { return x_->State(*popup) != MapState::Viewable; }, 10s))
      << "the page window did not close from its close button";
  EXPECT_EQ(x_->State(main), MapState::Viewable);
  EXPECT_FALSE(app_->Proc().Wait(1s)) << "closing a page window ended the program";

  // A second one stays open while the frame is closed.
  StopTavro();
  StartTavro();
  const XWindow main2 = MainWindowMapped();
  ClickWhenReady(main2, "click opens");
  const auto popup2 = WaitWindowTitled([](const std::string& t) { return StartsWith(t, "whoami"); }, 30s);
  ASSERT_TRUE(popup2) << Describe();
  // The window system's close asks the exit question, as the close button does; OK ends it all.
  AnswerOkAndExpectEnd(AskToExit(main2, [&] { x_->RequestClose(main2); }), 0);
}

// The advertisement page is served on the port compiled into tavro, by a server of the test's
// own; the desktop's default browser is a script that writes down what it was asked to open.
class AdPopupTest : public BrowserTest {
 protected:
  void SetUp() override {
    const auto port = e2e::AdPagePort();
    if (!port) GTEST_SKIP() << "TAVRO_AD_PAGE_URL=" << TAVRO_AD_PAGE_URL << " is not served on 127.0.0.1 here";
    adPort_ = *port;
  }

  // Other programs (tests of other builds) may hold the port for a while: wait for it.
  void ServeAdPage(const std::string& html) {
    const auto root = dir_.Sub("ad-root");
    WriteFileBytes(root / "ad.html", html);
    WriteFileBytes(root / "landing.html", "<title>landing</title>");
    ProcessOptions p;
    p.argv = {"/usr/bin/python3", "-u", "-m", "http.server", std::to_string(adPort_), "--bind", "127.0.0.1",
              "--directory", root.string()};
    p.stdoutPath = dir_.Sub("ad") / "out.log";
    p.stderrPath = dir_.Sub("ad") / "requests.log";
    const bool serving = WaitUntil(
        [&] {
          adServer_ = std::make_unique<Process>(p);
          const bool up = WaitUntil(
              [&] { return ReadFile(p.stdoutPath).find("Serving") != std::string::npos || !adServer_->Running(); },
              10s);
          if (up && adServer_->Running()) return true;
          adServer_.reset();
          return false;
        },
        90s, 1s);
    ASSERT_TRUE(serving) << "the ad server did not start: " << ReadFile(p.stderrPath);
  }

  std::string AdRequests() { return ReadFile(dir_.Path() / "ad" / "requests.log"); }

  // A desktop browser that only records the address handed to it.
  std::filesystem::path InstallDesktopBrowser() {
    const auto opened = dir_.Path() / "opened.log";
    const auto script = dir_.Sub("bin") / "browser.sh";
    WriteFileBytes(script, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened.string() + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const auto apps = home_ / "data" / "applications";
    std::filesystem::create_directories(apps);
    WriteFileBytes(apps / "test-browser.desktop",
                   "[Desktop Entry]\nType=Application\nName=Test Browser\nExec=" + script.string() +
                       " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;\nNoDisplay=true\n");
    std::filesystem::create_directories(home_ / "config");
    WriteFileBytes(home_ / "config" / "mimeapps.list",
                   "[Default Applications]\nx-scheme-handler/http=test-browser.desktop\n"
                   "x-scheme-handler/https=test-browser.desktop\ntext/html=test-browser.desktop\n");
    return opened;
  }

  void TearDown() override {
    BrowserTest::TearDown();
    if (adServer_) adServer_->Stop(2s);
  }

  int adPort_ = 0;
  std::unique_ptr<Process> adServer_;
};

TEST_F(AdPopupTest, AdvertisementWindowsGoToTheDesktopBrowserOnAClickAndNeverIntoTavro) {
  const std::string landing = "http://127.0.0.1:" + std::to_string(adPort_) + "/landing.html";
  // The whole banner is a link to a new window; the page also tries to open windows by itself.
  ServeAdPage("<!DOCTYPE html><html><head><title>ad</title><style>html,body{margin:0;overflow:hidden}"
              "a{display:block;width:100vw;height:100vh;background:#f60}</style></head><body>"
              "<a id=\"l\" target=\"_blank\" href=\"" + landing + "?by=click\">ad</a><script>"
              "setTimeout(function () {"
              "  window.open('" + landing + "?by=script');"
              "  var a = document.createElement('a'); a.href = '" + landing + "?by=scriptlink';"
              "  a.target = '_blank'; document.body.appendChild(a); a.click();"
              "  document.title = 'ad tried';"
              "  fetch('attempts-over');"
              "}, 100);</script></body></html>");
  const auto opened = InstallDesktopBrowser();
  StartX();
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; },
                             60s))
      << app_->Caption();
  ASSERT_TRUE(WaitUntil([&] { return AdRequests().find("GET /ad.html") != std::string::npos; }, 20s))
      << AdRequests();
  // The page asks for this once its own attempts are over.
  ASSERT_TRUE(WaitUntil([&] { return AdRequests().find("GET /attempts-over") != std::string::npos; }, 20s))
      << AdRequests();
  EXPECT_EQ(ReadFile(opened), "") << "windows opened without a click";

  // The ad view sits at the bottom left of the signed-in layout. A second click is handled only
  // after the first: once its link is handed on, whatever the first one did is done.
  const auto [x, y] = ToRoot(main, 30, 700);
  input_->Click(x, y);
  ASSERT_TRUE(WaitUntil([&] { return !ReadFile(opened).empty(); }, 15s))
      << "the desktop's browser was not asked to open the link; stderr: " << app_->Proc().Stderr();
  input_->Click(x, y);
  const std::string clicked = landing + "?by=click\n";
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(opened).size() >= 2 * clicked.size(); }, 15s))
      << "the second click was not handed on: " << ReadFile(opened);
  EXPECT_EQ(ReadFile(opened), clicked + clicked) << "each click opens the link once, and nothing else opens";
  EXPECT_TRUE(app_->Dialogs().empty()) << "an advertisement window opened inside Tavro";
  EXPECT_EQ(AdRequests().find("landing.html"), std::string::npos) << "Tavro loaded the link itself";
  EXPECT_NE(app_->Caption().find(TAVRO_TITLE_MARKER), std::string::npos) << "the main view left the console";
}

}  // namespace
}  // namespace tavro::browser
