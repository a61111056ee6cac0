// The agent's day around the console: the site's sound whenever it plays it, an advertisement that
// can neither stall the console nor see its session, web processes in the sandbox, and a whole
// session that writes no file.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "hostile_pages.h"
#include "tavro_config.h"

namespace tavro::browser {
namespace {

namespace fs = std::filesystem;

class SoundTest : public BrowserTest {};

// The new-message sound comes long after the agent's last key or click: a browser's grace for a
// user's gesture is long over, and the site's sound must play all the same (and its video).
TEST_F(SoundTest, TheSitesSoundPlaysTwentySecondsAfterTheLastInput) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/sound.html?after=20000");
  StartTavro();
  MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find("sound ") != std::string::npos &&
                                                               c.find("video ") != std::string::npos; },
                             60s))
      << app_->Caption();
  EXPECT_EQ(app_->Caption(), "sound played, video played");
}

// The web processes that show pages run in their own namespaces, under a seccomp filter.
TEST_F(SoundTest, WebProcessesRunInTheSandbox) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/title.php?t=sandboxed");
  StartTavro();
  MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("sandboxed", 30s)) << app_->Caption();
  const auto web = WebProcessesOf(app_->Pid());
  ASSERT_FALSE(web.empty()) << "no web process below tavro";
  const auto ns = [](pid_t pid, const char* kind) {
    std::error_code ec;
    return fs::read_symlink("/proc/" + std::to_string(pid) + "/ns/" + kind, ec).string();
  };
  for (pid_t pid : web) {
    for (const char* kind : {"mnt", "pid", "net"})
      EXPECT_NE(ns(pid, kind), ns(app_->Pid(), kind)) << "web process " << pid << " shares tavro's " << kind << " namespace";
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    EXPECT_NE(status.find("Seccomp:\t2"), std::string::npos) << "no seccomp filter on web process " << pid;
  }
}

class AdvertisementIsolationTest : public AdvertisementTest {};

// A busy loop of 2.5 s in the advertisement (a longer one ends its process): the console's own
// timers run on time all the while, because the advertisement's page has a web process of its own.
TEST_F(AdvertisementIsolationTest, ABusyAdvertisementDoesNotDelayTheConsolesTimers) {
  AdServer ad(dir_.Sub("ad"), adPort_,
              "<!DOCTYPE html><title>ad</title><script>setTimeout(function () {"
              "  fetch('busy-start').then(function () {"
              "    var until = Date.now() + 2500; while (Date.now() < until) {}"
              "    fetch('busy-over'); });"
              "}, 1500);</script>");
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/lateness.html");
  StartTavro();
  MainWindowMapped();
  ASSERT_TRUE(ad.WaitRequest("/busy-start", 60s)) << ad.Requests();
  // The caption follows the page's title every 500 ms: the worst lateness of the console's 50 ms
  // timer over the last two seconds, sampled until the advertisement's loop is over.
  int worst = -1;
  const auto lateness = [&] {
    const std::string c = app_->Caption();
    if (c.rfind("late ", 0) == 0) worst = std::max(worst, std::atoi(c.c_str() + 5));
    return ad.WaitRequest("/busy-over", 0ms);
  };
  ASSERT_TRUE(WaitUntil(lateness, 30s, 100ms)) << ad.Requests();
  ASSERT_TRUE(WaitForCaptionChange(5s));
  lateness();
  std::cout << "[ browser ] console timer at most " << worst << " ms late during the advertisement's busy loop\n";
  EXPECT_GE(worst, 0) << "the console's page did not report";
  // Held by the advertisement, the console would be its whole 2.5 s late; a busy shared machine
  // can make it late by some hundred milliseconds.
  EXPECT_LE(worst, 1000) << "the advertisement held the console's scripts";
}

// The agent is signed in; the advertisement's pictures, fetches and form posts to the site carry
// none of the site's cookies: it has its own session. And its sound plays muted only.
TEST_F(AdvertisementIsolationTest, TheAdvertisementNeitherCarriesTheSessionNorPlaysSound) {
  StartX();
  StartSite(0, 300);
  const std::string site = site_->BaseUrl();
  AdServer ad(dir_.Sub("ad"), adPort_,
              "<!DOCTYPE html><title>ad</title><body><iframe name=\"sink\"></iframe>"
              "<form id=\"f\" method=\"post\" target=\"sink\" action=\"" + site + "/kefu/lab/title.php?t=adform\"></form>"
              "<script>setTimeout(function () {"
              "  new Image().src = '" + site + "/kefu/lab/title.php?t=adimage';"
              "  fetch('" + site + "/kefu/lab/title.php?t=adfetch', {credentials: 'include', mode: 'no-cors'});"
              "  document.getElementById('f').submit();"
              "  var loud = new Audio('/tone.wav');"
              "  loud.play().then(function () { fetch('loud-played'); }, function (e) { fetch('loud-refused-' + e.name); });"
              "}, 500);</script></body>");
  ad.Serve("tone.wav", site_->Get("/kefu/lab/tone.wav").body);
  PrepareWorkingFolder();
  StartTavro();
  MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; }, 60s))
      << app_->Caption();
  const std::string session = ConsoleSession();
  ASSERT_FALSE(session.empty()) << Describe();
  for (const char* what : {"adimage", "adfetch", "adform"}) {
    const std::string target = std::string("/kefu/lab/title.php?t=") + what;
    ASSERT_TRUE(WaitForRequest(target)) << what << " never reached the site" << Describe();
    for (const auto& r : site_->Requests()) {
      if (r.target == target) {
        EXPECT_EQ(r.session, "-") << what << " carried the agent's session";
      }
    }
  }
  ASSERT_TRUE(WaitUntil([&] { return ad.Requests().find("loud-") != std::string::npos; }, 30s)) << ad.Requests();
  EXPECT_NE(ad.Requests().find("loud-refused-NotAllowedError"), std::string::npos) << ad.Requests();
}

// A whole session under strace: sign-in, a notification, sound and video, a pop-up window and the
// exit through the close button. Nothing is created or opened for writing but the site's profile
// folder (its cookies and storage, the browser component's, under the data folder), what lives in
// the session's runtime folder (memory, gone at logout) and GStreamer's plugin list in the cache,
// which every media program of the desktop shares and rebuilds when it is missing. The media
// player's buffer files stay in the sandbox's own memory.
class NoFileTest : public BrowserTest {};

TEST_F(NoFileTest, AWholeSessionWritesNoFile) {
  if (std::system("command -v strace >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/day.html");
  const fs::path traces = dir_.Sub("strace");
  StartTavroUnder({"strace", "-ff", "-qq", "-e", "trace=%file,%process", "-o", (traces / "t").string()});
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find("video") != std::string::npos; }, 60s))
      << app_->Caption();
  EXPECT_EQ(app_->Caption(), "day signed-in notified sound video");
  const auto [x, y] = ToRoot(main, 160, 400);
  input_->Click(x, y);
  ASSERT_TRUE(WaitWindowTitled([](const std::string& t) { return t.rfind("whoami ", 0) == 0; }, 30s)) << Describe();
  AnswerOkAndExpectEnd(AskToExit(main), 0);
  EXPECT_TRUE(WaitUntil([&] { return app_->Proc().LiveGroupMembers().empty(); }, 20s));

  ProcessOptions list;
  list.argv = {"/usr/bin/python3", std::string(TAVRO_SOURCE_DIR) + "/tests/e2e/written_paths.py", (traces / "t").string(),
               "--shared", home_.string()};
  list.stdoutPath = dir_.Path() / "written.txt";
  list.stderrPath = dir_.Path() / "written.err";
  ASSERT_EQ(RunToEnd(list, 60s), 0) << ReadFile(dir_.Path() / "written.err");
  const std::string runtime = (home_ / "runtime").string();
  const std::string gstreamer = (home_ / "cache" / "gstreamer-1.0").string();
  const std::string profiles = (home_ / "data" / "tavro").string();
  const auto under = [](const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder + "/", 0) == 0;
  };
  std::istringstream written(ReadFile(dir_.Path() / "written.txt"));
  std::string unexpected;
  std::size_t notes = 0, kept = 0;
  for (std::string line; std::getline(written, line);) {
    const std::string path = line.substr(0, line.find('\t'));
    // The sandbox's notes of its processes, for the desktop's portals: taken away at exit.
    if (path.rfind(runtime + "/.flatpak", 0) == 0) {
      ++notes;
      continue;
    }
    // dconf's session flag, the sandbox's bus proxies, the sound server's client folder.
    if (under(path, runtime + "/dconf") || under(path, runtime + "/webkitgtk") || under(path, runtime + "/pulse")) continue;
    if (under(path, gstreamer)) continue;
    if (under(path, profiles) || path == (home_ / "data").string()) {
      ++kept;
      continue;
    }
    unexpected += "\n  " + line;
  }
  std::cout << "[ browser ] sandbox notes written and taken away: " << notes << "; paths of the site's profile: " << kept
            << "\n";
  EXPECT_GT(kept, 0U) << "the site's profile was not kept";
  EXPECT_EQ(unexpected, "") << "written during the session";
  EXPECT_GT(notes, 0U) << "the trace saw not even the sandbox's notes";
  EXPECT_FALSE(fs::exists(home_ / "runtime" / ".flatpak")) << "the sandbox's notes were left behind";
}

}  // namespace
}  // namespace tavro::browser
