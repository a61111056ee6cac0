// One Tavro per desktop session: a second start brings the first window back and ends at once,
// asking the site for nothing; without a session bus every start runs on its own.
#include "browser_fixture.h"
#include "fake_notifications.h"

namespace tavro::browser {
namespace {

class OneInstanceTest : public BrowserTest {
 protected:
  // A second tavro as the menu would start it, in the same session; its exit code.
  std::optional<int> StartAgain(const std::map<std::string, std::string>& env) {
    ProcessOptions p;
    p.argv = {TAVRO_BIN};
    p.workingDir = work_;
    p.env = {{"DISPLAY", x_->DisplayName()}, {"HOME", home_.string()}};
    for (const auto& [name, value] : env) p.env[name] = value;
    p.stdoutPath = dir_.Sub("again") / "out";
    p.stderrPath = dir_.Sub("again") / "err";
    return RunToEnd(p, 20s);
  }
};

TEST_F(OneInstanceTest, ASecondStartBringsTheRunningWindowBackAndEnds) {
  PrivateSessionBus bus;
  const std::map<std::string, std::string> session = {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}};
  StartX(true);
  StartSite();
  PrepareWorkingFolder();
  StartTavro(session);
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("客服登录", 30s)) << app_->Caption();
  x_->Iconify(main);
  ASSERT_TRUE(WaitUntil([&] { return x_->Iconic(main); }, 5s)) << "the window manager did not minimise it";

  EXPECT_EQ(StartAgain(session), 0) << ReadFile(dir_.Path() / "again" / "err");
  EXPECT_TRUE(WaitUntil([&] { return !x_->Iconic(main) && x_->State(main) == MapState::Viewable; }, 10s))
      << "the running window did not come back";
  // The second start has ended: anything it asked for is in the log by now.
  EXPECT_EQ(CountRequests("/kefu/login.php?"), 1u) << Describe();
  EXPECT_TRUE(app_->Proc().Running());
}

TEST_F(OneInstanceTest, WithoutASessionBusEveryStartRuns) {
  StartX();
  StartSite();
  PrepareWorkingFolder();
  StartTavro();  // the harness gives tavro a bus address where no bus listens
  MainWindowMapped();
  auto first = std::move(app_);
  StartTavro();
  EXPECT_TRUE(app_->WaitMainWindowMapped(30s)) << "the second start did not show its window";
  EXPECT_TRUE(first->Proc().Running());
  EXPECT_TRUE(WaitUntil([&] { return CountRequests("/kefu/login.php?") == 2; }, 30s)) << Describe();
}

}  // namespace
}  // namespace tavro::browser
