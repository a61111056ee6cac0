// The views when things go wrong: a web process that dies comes back with its page (not more
// than once every five seconds), and a certificate that does not check out is never accepted.
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "browser_fixture.h"
#include "tavro_config.h"
#include "platform/gtk/browser/recovery/crash_reload.h"
#include "platform/gtk/form/load_order.h"

namespace tavro::browser {
namespace {

class CrashTest : public BrowserTest {
 protected:
  // Kills every web process of tavro; the ones killed.
  std::vector<pid_t> KillWebProcesses() {
    const auto pids = WebProcessesOf(app_->Pid());
    for (pid_t pid : pids) ::kill(pid, SIGKILL);
    return pids;
  }
};

// The ticker page counts up its title ("tick N") every 700 ms from its load: a fresh count in
// the caption shows the page came back, and a count reached shows how long it has been up.
constexpr std::chrono::milliseconds kTickerInterval{700};

int TickOf(const std::string& caption) {
  if (caption.rfind("tick ", 0) != 0) return -1;
  return std::atoi(caption.c_str() + 5);
}

TEST_F(CrashTest, KilledWebProcessBringsThePageBackButReloadsAtMostOnceInFiveSeconds) {
  const std::string page = "/kefu/lab/ticker.html";
  StartX();
  StartSite();
  AddressLabPage(page);
  StartTavro();
  MainWindowMapped();
  // Long enough for the hidden advertisement view to have started its own load, so that its
  // load is not mistaken for a reload: a hidden view's load waits at most LoadOrder's longest wait.
  const int settled = static_cast<int>(platform::gtk::LoadOrder::kLongestWait / kTickerInterval) + 1;
  ASSERT_TRUE(WaitForCaption([&](const std::string& c) { return TickOf(c) >= settled; }, 30s)) << app_->Caption();
  ASSERT_EQ(CountRequests(page), 1u) << Describe();

  const auto first = KillWebProcesses();
  ASSERT_FALSE(first.empty()) << "no web process found below tavro (pid " << app_->Pid() << ")";
  const auto killedAt = Clock::now();
  ASSERT_TRUE(WaitUntil([&] { return CountRequests(page) >= 2; }, 10s))
      << "the page was not loaded again after its web process was killed" << Describe();
  const auto reloadedAt = Clock::now();
  std::cout << "[ browser ] kill to reload request: " << MillisBetween(killedAt, reloadedAt) << " ms\n";
  EXPECT_TRUE(WaitForCaption([&](const std::string& c) { const int t = TickOf(c); return t >= 0 && t < settled; }, 10s))
      << app_->Caption();
  const auto now = WebProcessesOf(app_->Pid());
  EXPECT_TRUE(std::none_of(now.begin(), now.end(), [&](pid_t p) {
    return std::find(first.begin(), first.end(), p) != first.end();
  })) << "a killed process is still counted";
  EXPECT_FALSE(now.empty()) << "no new web process serves the page";

  // Killed again at once (with a few ticks up, to tell the page's return from its remains): the
  // page comes back once, when five seconds have passed since the last reload, and not before.
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return TickOf(c) >= 3; }, 10s)) << app_->Caption();
  ASSERT_FALSE(KillWebProcesses().empty());
  ASSERT_TRUE(WaitUntil([&] { return CountRequests(page) >= 3; }, 15s))
      << "the page did not come back after the second kill" << Describe();
  const auto secondReloadAt = Clock::now();
  const auto gap = MillisBetween(reloadedAt, secondReloadAt);
  std::cout << "[ browser ] first to second reload request: " << gap << " ms\n";
  EXPECT_GE(gap, 3500) << "reloaded again within the five-second interval";
  EXPECT_LE(gap, 9000);
  EXPECT_TRUE(WaitForCaption([](const std::string& c) { const int t = TickOf(c); return t >= 0 && t < 3; }, 10s))
      << app_->Caption();
  // Another reload would start the count afresh: once this page has counted past the interval,
  // a second reload for the same kill would have come.
  const int pastInterval = static_cast<int>(platform::gtk::kReloadInterval / kTickerInterval) + 2;
  EXPECT_TRUE(WaitForCaption([&](const std::string& c) { return TickOf(c) >= pastInterval; }, 30s))
      << app_->Caption();
  EXPECT_EQ(CountRequests(page), 3u) << "reloaded more than once for the second kill" << Describe();
  EXPECT_TRUE(app_->Proc().Running());
}

TEST_F(CrashTest, ThreeKillsInThreeSecondsLeaveTavroRunningAndThePageComesBack) {
  const std::string page = "/kefu/lab/ticker.html";
  StartX();
  StartSite();
  AddressLabPage(page);
  StartTavro();
  MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return TickOf(c) >= 1; }, 30s)) << app_->Caption();
  const auto start = Clock::now();
  for (int kill = 0; kill < 3; ++kill) {
    KillWebProcesses();
    // The next kill a second later, or once a new process is up, whichever comes first.
    WaitUntil([&] { return !WebProcessesOf(app_->Pid()).empty(); }, 1s);
  }
  EXPECT_LE(MillisBetween(start, Clock::now()), 3500);
  EXPECT_TRUE(WaitForCaption([](const std::string& c) { return TickOf(c) >= 1 || c == "页面多次意外终止"; }, 30s))
      << app_->Caption();
  EXPECT_TRUE(app_->Proc().Running());
}

TEST_F(CrashTest, APageWhoseProcessKeepsEndingGetsTavrosPageWithAButtonToTryAgain) {
  const std::string page = "/kefu/lab/ticker.html";
  StartX();
  StartSite();
  AddressLabPage(page);
  StartTavro();
  const XWindow main = MainWindowMapped();
  // Each time the page is back (its request count up), its process ends again.
  for (std::size_t loads = 1; loads <= 2; ++loads) {
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(page) >= loads; }, 30s)) << Describe();
    ASSERT_TRUE(WaitForCaption([](const std::string& c) { return TickOf(c) >= 1; }, 30s)) << app_->Caption();
    ASSERT_FALSE(KillWebProcesses().empty());
  }
  ASSERT_TRUE(WaitUntil([&] { return CountRequests(page) >= 3; }, 30s)) << Describe();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return TickOf(c) >= 1; }, 30s)) << app_->Caption();
  ASSERT_FALSE(KillWebProcesses().empty());
  // The third end within a minute: no reload, Tavro's page instead.
  ASSERT_TRUE(WaitForCaption("页面多次意外终止", 30s)) << app_->Caption();
  EXPECT_EQ(CountRequests(page), 3u) << Describe();
  // Its one button has the keyboard: the page is asked for again.
  input_->Key(main, "space");
  EXPECT_TRUE(WaitUntil([&] { return CountRequests(page) >= 4; }, 15s)) << "the button did not try again" << Describe();
  EXPECT_TRUE(WaitForCaption([](const std::string& c) { return TickOf(c) >= 1; }, 30s)) << app_->Caption();
  EXPECT_TRUE(app_->Proc().Running());
}

// The engine's network processes below tavro (any depth), by the kernel's cut of their name.
std::vector<pid_t> NetworkProcessesOf(pid_t ancestor) {
  std::vector<pid_t> out;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadFile(entry.path() / "stat");
    const auto close = stat.rfind(')');
    if (stat.find("(WebKitNetworkPr)") == std::string::npos || close == std::string::npos) continue;
    if (std::atoi(stat.c_str() + close + 4) == ancestor) out.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return out;
}

// The network process holds the in-memory session: when it ends, the agent must stay signed in.
TEST_F(CrashTest, AKilledNetworkProcessKeepsTheAgentSignedIn) {
  StartX();
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; }, 60s))
      << app_->Caption();
  const std::string session = ConsoleSession();
  ASSERT_FALSE(session.empty()) << Describe();

  const auto killed = NetworkProcessesOf(app_->Pid());
  ASSERT_FALSE(killed.empty()) << "no network process below tavro";
  for (pid_t pid : killed) ::kill(pid, SIGKILL);
  // Tavro gives the cookies back to a new network process, which it starts for that.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto now = NetworkProcessesOf(app_->Pid());
        return std::any_of(now.begin(), now.end(),
                           [&](pid_t p) { return std::find(killed.begin(), killed.end(), p) == killed.end(); });
      },
      20s))
      << "no network process came back";
  // The agent closes right away, while the cookies may still be on their way to the new process: the
  // close button's logout waits for them, carries the session, and ends it.
  AnswerOkAndExpectEnd(AskToExit(main), 0);
  bool withSession = false;
  for (const auto& r : site_->Requests())
    if (r.target == "/ajax.php?act=out" && r.session == session) withSession = true;
  EXPECT_TRUE(withSession) << "the logout lost the session" << Describe();
  EXPECT_EQ(site_->Get("/kefu/session.php", session).body, "invalid");
}

class CertificateTest : public BrowserTest {};

TEST_F(CertificateTest, SelfSignedCertificateIsRefusedAndItsPageNeverShows) {
  const std::string secret = "secret page";
  TlsServer tls(dir_.Sub("tls"), secret);
  StartX();
  PrepareWorkingFolder("https://127.0.0.1:" + std::to_string(tls.Port()) + "/secret.html#");
  StartTavro();
  MainWindowMapped();

  ASSERT_TRUE(WaitUntil([&] { return tls.Log().find("HANDSHAKE") != std::string::npos; }, 30s))
      << "tavro never reached the server: " << tls.Log();
  std::vector<std::string> captions;
  WaitUntil(
      [&] {
        const std::string c = app_->Caption();
        if (captions.empty() || captions.back() != c) captions.push_back(c);
        return false;
      },
      4s, 20ms);
  std::string seen;
  for (const auto& c : captions) seen += " \"" + c + "\"";
  std::cout << "[ browser ] captions:" << seen << "\n";
  EXPECT_EQ(std::find(captions.begin(), captions.end(), secret), captions.end()) << seen;
  EXPECT_EQ(tls.Log().find("GET"), std::string::npos) << "a request went through: " << tls.Log();
}

// The views draw in software: the GL driver (Mesa, its LLVM) stays out of the program and of its
// web processes, which draw the login page with Tavro's EGL vendor of displays without GL. An EGL
// vendor the user names is used instead.
class GlDriverTest : public BrowserTest {
 protected:
  static std::string Maps(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static bool MapsGlDriver(const std::string& maps) {
    for (const char* part : {"libLLVM", "_dri.so", "libgallium", "libEGL_mesa"})
      if (maps.find(part) != std::string::npos) return true;
    return false;
  }
  // The program and its web processes once the login page's title is on the caption.
  std::vector<pid_t> ProcessesAtTheLoginPage() {
    const bool captioned = WaitForCaption("客服登录", 60s);
    EXPECT_TRUE(captioned) << "caption \"" << app_->Caption() << "\"; stderr: " << app_->Proc().Stderr();
    std::vector<pid_t> pids = WebProcessesOf(app_->Pid());
    EXPECT_FALSE(pids.empty());
    pids.push_back(app_->Pid());
    return pids;
  }
};

TEST_F(GlDriverTest, NoProcessLoadsTheGlDriverUnlessTheUserNamesAnEglVendor) {
  StartX();
  StartSite();
  PrepareWorkingFolder();
  StartTavro();
  int usingOurs = 0;
  for (pid_t pid : ProcessesAtTheLoginPage()) {
    const std::string maps = Maps(pid);
    EXPECT_FALSE(MapsGlDriver(maps)) << "process " << pid << " maps the GL driver";
    usingOurs += maps.find("libEGL_tavro_none.so") != std::string::npos;
  }
  EXPECT_GE(usingOurs, 2) << "the program and its web process use Tavro's EGL vendor";

  const std::filesystem::path mesa = "/usr/share/glvnd/egl_vendor.d/50_mesa.json";
  if (!std::filesystem::exists(mesa)) GTEST_SKIP() << "no Mesa here to name";
  StopTavro();
  StartTavro({{"__EGL_VENDOR_LIBRARY_FILENAMES", mesa.string()}});
  int usingMesa = 0;
  for (pid_t pid : ProcessesAtTheLoginPage()) usingMesa += MapsGlDriver(Maps(pid));
  EXPECT_GE(usingMesa, 1) << "the EGL vendor the user named was not used";
}

}  // namespace
}  // namespace tavro::browser
