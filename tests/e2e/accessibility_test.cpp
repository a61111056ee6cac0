// The signed-in window as a screen reader meets it, through AT-SPI on a session bus of the test's
// own: what its tree says, and the close and minimise buttons pressed through their actions.
#include <iostream>

#include "e2e_fixture.h"
#include "tavro_config.h"

namespace tavro::e2e {
namespace {

const std::string kMarker = TAVRO_TITLE_MARKER;
const std::string kLogout = "/ajax.php?act=out";
const std::string kClose = "关闭";
const std::string kMinimise = "最小化";

bool HasMarker(const std::string& caption) { return caption.find(kMarker) != std::string::npos; }

struct ReaderRun {
  std::optional<int> code;
  std::string out;
};

class AccessibilityTest : public TavroE2eTest {
 protected:
  // A session bus whose accessibility bus (at-spi-bus-launcher, started on demand as on a desktop)
  // tavro and the reader share.
  void StartSessionBus() {
    std::filesystem::create_directories(home_ / "runtime");
    std::filesystem::permissions(home_ / "runtime", std::filesystem::perms::owner_all);
    ProcessOptions options;
    options.argv = {"dbus-daemon", "--session", "--nofork", "--print-address=1"};
    options.env = Environment();
    options.stdoutPath = dir_.Sub("bus") / "address";
    options.stderrPath = dir_.Sub("bus") / "err";
    bus_ = std::make_unique<Process>(options);
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(options.stdoutPath).find('\n') != std::string::npos; }, 10s))
        << "the session bus printed no address: " << bus_->Stderr();
    const std::string printed = ReadFile(options.stdoutPath);
    address_ = printed.substr(0, printed.find('\n'));
  }

  std::map<std::string, std::string> Environment() const {
    std::map<std::string, std::string> env = {
        {"HOME", home_.string()},
        {"XDG_RUNTIME_DIR", (home_ / "runtime").string()},
        {"GSETTINGS_BACKEND", "memory"},
        {"DISPLAY", x_->DisplayName()},
        {"LANG", "C.UTF-8"},
    };
    if (!address_.empty()) env["DBUS_SESSION_BUS_ADDRESS"] = address_;
    return env;
  }

  // The reader's script, with these arguments; its output goes to the test's.
  ReaderRun Reader(const std::vector<std::string>& args) {
    ProcessOptions options;
    options.argv = {"/usr/bin/python3", std::string(TAVRO_SOURCE_DIR) + "/tests/e2e/accessible_tree.py"};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.env = Environment();
    const auto logs = dir_.Sub("reader-" + std::to_string(++readerRuns_));
    options.stdoutPath = logs / "out";
    options.stderrPath = logs / "err";
    ReaderRun run;
    run.code = RunToEnd(options, 60s);
    run.out = ReadFile(options.stdoutPath) + ReadFile(options.stderrPath);
    std::cout << run.out << std::flush;
    return run;
  }

  void TearDown() override {
    TavroE2eTest::TearDown();
    bus_.reset();  // the accessibility bus ends with the session bus it serves
  }

  std::unique_ptr<Process> bus_;
  std::string address_;
  int readerRuns_ = 0;
};

TEST_F(AccessibilityTest, TheButtonsAreNamedPushButtonsThatPressAndTheTitleBarCarriesTheCaption) {
  StartX(true);
  StartSessionBus();
  ASSERT_FALSE(HasFailure());
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro({{"DBUS_SESSION_BUS_ADDRESS", address_}, {"NO_AT_BRIDGE", "0"}});
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption(HasMarker, 60s)) << "caption: " << app_->Caption();
  const std::string pid = std::to_string(app_->Pid());

  // The tree, with the roles, names, states and actions the checks read.
  const ReaderRun tree = Reader({"check", pid, kMarker});
  EXPECT_EQ(tree.code, 0) << tree.out;

  // The close button's action asks the exit question, as a click does; Cancel keeps the program.
  const std::string session = ConsoleSession();
  const XWindow question = AskToExit(main, [&] {
    const ReaderRun press = Reader({"press", pid, kClose});
    EXPECT_EQ(press.code, 0) << press.out;
  });
  input_->Key(question, "Escape");
  ASSERT_TRUE(WaitUntil([&] { return app_->Dialogs().empty(); }, 10s)) << "Escape left the question up";
  // The console changes its title every few seconds: a later title proves the moment has passed.
  ASSERT_TRUE(WaitForCaptionChange(30s)) << "the console stopped";
  EXPECT_TRUE(app_->Proc().Running());
  EXPECT_EQ(CountRequests(kLogout), 0u) << Describe();
  EXPECT_EQ(site_->Get("/kefu/session.php", session).body, "valid");

  // The minimise button's action minimises the window.
  ASSERT_FALSE(x_->Iconic(main));
  const ReaderRun press = Reader({"press", pid, kMinimise});
  EXPECT_EQ(press.code, 0) << press.out;
  EXPECT_TRUE(WaitUntil([&] { return x_->Iconic(main) && x_->HasState(main, "_NET_WM_STATE_HIDDEN"); }, 10s))
      << "not minimised";
  EXPECT_TRUE(app_->Proc().Running());
}

}  // namespace
}  // namespace tavro::e2e
