// A busy day at the console: a new sound for every message, each kept by the page, gives its
// player back once it has ended (with and without a sound server), and the logout at exit goes
// out even when the page is busy for good or its web process is stopped.
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "browser_fixture.h"
#include "tavro_config.h"

namespace tavro::browser {
namespace {

namespace fs = std::filesystem;

int CountIn(const std::string& folder) {
  std::error_code ec;
  int n = 0;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    ++n;
  return n;
}
int ThreadsOf(pid_t pid) { return CountIn("/proc/" + std::to_string(pid) + "/task"); }
int FilesOf(pid_t pid) { return CountIn("/proc/" + std::to_string(pid) + "/fd"); }

// A sound server of the test's own with a sink that plays into nothing, where a desktop's would
// be: in the session's runtime folder, which the web processes' sandbox shows them.
class SoundServer {
 public:
  SoundServer(const fs::path& home, const fs::path& logs) {
    const fs::path socket = home / "runtime" / "pulse" / "native";
    fs::create_directories(socket.parent_path());
    const fs::path script = logs / "pulse.pa";
    std::ofstream(script) << "load-module module-null-sink sink_name=tavro_test\n"
                          << "load-module module-native-protocol-unix auth-anonymous=1 socket="
                          << socket.string() << "\n"
                          << "set-default-sink tavro_test\n";
    ProcessOptions options;
    options.argv = {"pulseaudio",          "--daemonize=no",     "-n",
                    "--exit-idle-time=-1", "--disallow-exit",    "-F",
                    script.string(),       "--log-target=stderr"};
    options.env = {{"HOME", home.string()}, {"XDG_RUNTIME_DIR", (home / "runtime").string()}};
    options.stderrPath = logs / "pulse.err";
    process_ = std::make_unique<Process>(options);
    server_ = "unix:" + socket.string();
    WaitUntil([&] { return Ask({"info"}).find("Server String") != std::string::npos; }, 15s);
  }
  // What pactl answers to the arguments, or empty.
  std::string Ask(const std::vector<std::string>& arguments) const {
    ProcessOptions options;
    options.argv = {"pactl"};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.env = {{"PULSE_SERVER", server_}};
    const fs::path out = fs::path(process_->Options().stderrPath).parent_path() / "pactl.out";
    options.stdoutPath = out;
    return RunToEnd(options, 10s) == 0 ? ReadFile(out) : "";
  }
  bool Up() const { return !Ask({"info"}).empty(); }

 private:
  std::unique_ptr<Process> process_;
  std::string server_;
};

class FinishedSoundsTest : public BrowserTest {
 protected:
  // 200 sounds, each a new element the page keeps and listens to; the web process of the page
  // must come back near its threads and files of before, and a kept sound must play again.
  void PlayTwoHundredSounds(const SoundServer* server) {
    AddressLabPage("/kefu/lab/sounds.html?n=200");
    StartTavro();
    const XWindow main = MainWindowMapped();
    ASSERT_TRUE(WaitForCaption("sounds ready", 60s)) << app_->Caption();
    std::map<pid_t, int> threadsBefore, filesBefore, threadsMost;
    for (pid_t pid : WebProcessesOf(app_->Pid())) {
      threadsBefore[pid] = ThreadsOf(pid);
      filesBefore[pid] = FilesOf(pid);
    }
    const auto [x, y] = ToRoot(main, 160, 400);
    input_->Click(x, y);
    bool heard = false;
    const bool done = WaitUntil(
        [&] {
          for (const auto& [pid, before] : threadsBefore)
            threadsMost[pid] = std::max(threadsMost[pid], ThreadsOf(pid));
          if (server && !heard) heard = !server->Ask({"list", "short", "sink-inputs"}).empty();
          return app_->Caption() == "sounds done 200";
        },
        100s, 100ms);
    ASSERT_TRUE(done) << app_->Caption();
    if (server) {
      EXPECT_TRUE(heard) << "no sound reached the sound server";
    }
    // The page's process is the one whose threads grew with the sounds.
    const auto page =
        std::max_element(threadsMost.begin(), threadsMost.end(), [&](const auto& a, const auto& b) {
          return a.second - threadsBefore[a.first] < b.second - threadsBefore[b.first];
        });
    ASSERT_NE(page, threadsMost.end());
    const pid_t pid = page->first;
    std::cout << "[ browser ] web process " << pid << ": " << threadsBefore[pid] << " threads before, "
              << page->second << " at most while playing\n";
    // A kept player costs about six threads and four files: 200 of them would be over a thousand.
    constexpr int kThreadsLeft = 30, kFilesLeft = 30;
    const bool given = WaitUntil(
        [&] {
          return ThreadsOf(pid) <= threadsBefore[pid] + kThreadsLeft &&
                 FilesOf(pid) <= filesBefore[pid] + kFilesLeft;
        },
        60s, 250ms);
    std::cout << "[ browser ] after the sounds: " << ThreadsOf(pid) << " threads, " << FilesOf(pid)
              << " files (before " << filesBefore[pid] << ")\n";
    EXPECT_TRUE(given) << "the ended sounds kept their players";
    // The first sound, long given back, plays again and ends where it ended before.
    input_->Click(x, y);
    ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.rfind("replayed", 0) == 0; }, 30s))
        << app_->Caption();
    EXPECT_EQ(app_->Caption(), "replayed true 0.50/0.50");
  }
};

TEST_F(FinishedSoundsTest, TwoHundredKeptSoundsGiveTheirPlayersBackWithoutASoundServer) {
  StartX();
  StartSite();
  PlayTwoHundredSounds(nullptr);
}

TEST_F(FinishedSoundsTest, TwoHundredKeptSoundsGiveTheirPlayersBackThroughTheDesktopsSoundServer) {
  if (std::system("command -v pulseaudio >/dev/null 2>&1 && command -v pactl >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "PulseAudio is not installed";
  SoundServer server(home_, dir_.Path());
  ASSERT_TRUE(server.Up()) << ReadFile(dir_.Path() / "pulse.err");
  StartX();
  StartSite();
  PlayTwoHundredSounds(&server);
}

// The agent closes Tavro while the console cannot start the logout itself: Tavro sends it, with
// the session, once. The site lives under a path of the demo site's whose login page signs in
// and then spins or idles; its logout is a request of that path.
class LogoutFromAStuckPageTest : public BrowserTest {
 protected:
  void StartSiteAt(const std::string& name) {
    StartX();
    StartSite();
    logout_ = "/kefu/lab/at/" + name + "/ajax.php?act=out";
    PrepareWorkingFolder(site_->BaseUrl() + "/kefu/lab/at/" + name);
    StartTavro();
  }
  std::string SignedInSession() {
    for (const auto& r : site_->Requests())
      if (r.target == "/kefu/lab/title.php?t=spinning" || r.target == "/kefu/lab/title.php?t=idle")
        return r.session;
    return "";
  }
  void ExpectOneLogoutWith(const std::string& session) {
    ASSERT_FALSE(session.empty()) << Describe();
    int logouts = 0, withSession = 0;
    for (const auto& r : site_->Requests()) {
      if (r.target != logout_) continue;
      ++logouts;
      withSession += r.session == session;
    }
    EXPECT_EQ(logouts, 1) << Describe();
    EXPECT_EQ(withSession, 1) << "the logout did not carry the session" << Describe();
  }
  std::string logout_;
};

TEST_F(LogoutFromAStuckPageTest, APageBusyForGoodStillLogsOutOnce) {
  StartSiteAt("busy");
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("busy signed-in", 60s)) << app_->Caption();
  ASSERT_TRUE(WaitUntil([&] { return !SignedInSession().empty(); }, 30s)) << Describe();
  AnswerOkAndExpectEnd(AskToExit(main), 0);
  ExpectOneLogoutWith(SignedInSession());
}

TEST_F(LogoutFromAStuckPageTest, AStoppedWebProcessStillLogsOutOnce) {
  StartSiteAt("busy-idle");
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("busy signed-in", 60s)) << app_->Caption();
  ASSERT_TRUE(WaitUntil([&] { return !SignedInSession().empty(); }, 30s)) << Describe();
  const auto web = WebProcessesOf(app_->Pid());
  ASSERT_FALSE(web.empty());
  for (pid_t pid : web) ::kill(pid, SIGSTOP);
  AnswerOkAndExpectEnd(AskToExit(main), 0);
  for (pid_t pid : web) ::kill(pid, SIGKILL);
  ExpectOneLogoutWith(SignedInSession());
}

}  // namespace
}  // namespace tavro::browser
