// Every way Tavro can end logs the agent out, once: the window system's close (Alt+F4, a close
// request) asks the exit question as the close button does; the desktop session ending, an
// interrupt, the display going away and the report of an error that ends the program log out
// without asking. Each ends with the exit status it always had.
#include <csignal>

#include "e2e_fixture.h"
#include "tavro_config.h"

namespace tavro::e2e {
namespace {

const std::string kMarker = TAVRO_TITLE_MARKER;
const std::string kLogout = "/ajax.php?act=out";

bool HasMarker(const std::string& caption) { return caption.find(kMarker) != std::string::npos; }

struct WayOut {
  const char* name;
  bool windowManager;
  // How the test ends tavro, or asks it to; the main window is given.
  void (*end)(XServer& x, TavroApp& app, Input& input, XWindow main);
  bool asks;        // the exit question comes, and is answered OK
  int exitCode;     // what Wait answers: the code, or 128 + the signal
  bool signalled;   // ended by its signal, as before
};

class WaysOutTest : public TavroE2eTest, public ::testing::WithParamInterface<WayOut> {
 protected:
  // Signed in on the demo site, the console's session known.
  XWindow SignedIn(bool windowManager) {
    StartX(windowManager);
    StartSite(0, 300);
    PrepareWorkingFolder();
    StartTavro();
    const XWindow main = MainWindowMapped();
    EXPECT_TRUE(WaitForCaption(HasMarker, 60s)) << "caption: " << app_->Caption();
    return main;
  }

  std::size_t LogoutsWith(const std::string& session) const {
    std::size_t n = 0;
    for (const auto& r : site_->Requests())
      if (r.target == kLogout && r.session == session) ++n;
    return n;
  }
};

const WayOut kWays[] = {
    {"AltF4", true, [](XServer&, TavroApp&, Input& input, XWindow main) { input.Key(main, "alt+F4"); }, true, 0, false},
    {"CloseRequest", false, [](XServer& x, TavroApp&, Input&, XWindow main) { x.RequestClose(main); }, true, 0, false},
    {"Sigterm", false, [](XServer&, TavroApp& app, Input&, XWindow) { ::kill(app.Pid(), SIGTERM); }, false,
     128 + SIGTERM, true},
    {"Sighup", false, [](XServer&, TavroApp& app, Input&, XWindow) { ::kill(app.Pid(), SIGHUP); }, false,
     128 + SIGHUP, true},
    {"Sigint", false, [](XServer&, TavroApp& app, Input&, XWindow) { ::kill(app.Pid(), SIGINT); }, false,
     128 + SIGINT, true},
    {"DisplayGone", false, [](XServer& x, TavroApp&, Input&, XWindow) { x.KillServer(); }, false, 1, false},
};

TEST_P(WaysOutTest, LogsOutOnceAndEndsWithItsOwnStatus) {
  const WayOut& way = GetParam();
  const XWindow main = SignedIn(way.windowManager);
  ASSERT_FALSE(HasFailure());
  const std::string session = ConsoleSession();
  ASSERT_FALSE(session.empty()) << "no signed-in console request" << Describe();
  ASSERT_EQ(LogoutsWith(session), 0u);

  const auto end = [&] { way.end(*x_, *app_, *input_, main); };
  if (way.asks) {
    input_->Key(AskToExit(main, end), "Return");
  } else {
    end();
  }
  const auto code = app_->Proc().Wait(20s);
  ASSERT_TRUE(code) << "still running after " << way.name;
  EXPECT_EQ(*code, way.exitCode);
  EXPECT_EQ(app_->Proc().Signalled(), way.signalled);
  // The program has ended: every request it made is in the log.
  EXPECT_EQ(LogoutsWith(session), 1u) << Describe();
  EXPECT_EQ(CountRequests(kLogout), 1u) << Describe();
  EXPECT_EQ(site_->Get("/kefu/session.php", session).body, "invalid");
}

INSTANTIATE_TEST_SUITE_P(Ways, WaysOutTest, ::testing::ValuesIn(kWays),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WaysOutTest, TheWindowSystemsCloseCancelledKeepsTheSession) {
  const XWindow main = SignedIn(false);
  ASSERT_FALSE(HasFailure());
  const std::string session = ConsoleSession();
  input_->Key(AskToExit(main, [&] { x_->RequestClose(main); }), "Escape");
  ASSERT_TRUE(WaitUntil([&] { return app_->Dialogs().empty(); }, 10s)) << "Escape left the question up";
  // The console changes its title every few seconds: a later title proves the moment has passed.
  ASSERT_TRUE(WaitForCaptionChange(30s)) << "the console stopped";
  EXPECT_TRUE(app_->Proc().Running());
  EXPECT_EQ(x_->State(main), MapState::Viewable);
  EXPECT_EQ(LogoutsWith(session), 0u) << Describe();
  EXPECT_EQ(site_->Get("/kefu/session.php", session).body, "valid");
}

// The signed-in layout's header picture is missing: the report of error 53 ends the program,
// and the agent, signed in a moment before, is logged out first.
TEST_F(WaysOutTest, AnErrorThatEndsTheProgramLogsOutBeforeItsReport) {
  StartX();
  StartSite(0, 300);
  PrepareWorkingFolder();
  std::filesystem::remove(work_ / std::filesystem::path("界面_03.gif"));
  StartTavro();
  MainWindowMapped();
  const auto report = app_->WaitDialog(60s);
  ASSERT_TRUE(report) << "no report; caption " << app_->Caption();
  const std::string session = ConsoleSession();
  ASSERT_FALSE(session.empty()) << Describe();
  EXPECT_EQ(LogoutsWith(session), 1u) << "the logout did not come before the report" << Describe();
  AnswerOkAndExpectEnd(*report, 1);
  EXPECT_EQ(CountRequests(kLogout), 1u) << Describe();
  EXPECT_EQ(site_->Get("/kefu/session.php", session).body, "invalid");
}

}  // namespace
}  // namespace tavro::e2e
