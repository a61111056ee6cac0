// Links to other programs (tencent:, mailto:, weixin:, file:) in the console, in its frames and
// pop-ups of another origin and in the advertisement: what reaches the desktop's programs (fake
// ones of the test's own desktop that write down each address they get), what the agent is asked,
// and that the console stays on its page and goes on running.
#include "hostile_pages.h"

namespace tavro::browser {
namespace {

constexpr char kQq[] = "tencent://message/?uin=10001";
constexpr char kQqLater[] = "tencent://message/?uin=10002";
constexpr char kMail[] = "mailto:kefu@example.com";

// Percent-encoded for a query's value.
std::string Query(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

// The test's desktop: "QQ" opens tencent:, "Mail" mailto:, "Files" file:, each program writing
// down the address it is handed in the file returned; weixin: has none. Added to the list of a
// desktop browser installed before.
std::filesystem::path InstallRecordingPrograms(const std::filesystem::path& home, const std::filesystem::path& dir) {
  const auto handed = dir / "handed.log";
  const auto script = dir / "program.sh";
  std::filesystem::create_directories(dir);
  WriteFileBytes(script, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + handed.string() + "'\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  const auto apps = home / "data" / "applications";
  std::filesystem::create_directories(apps);
  std::filesystem::create_directories(home / "config");
  std::string defaults = ReadFile(home / "config" / "mimeapps.list");
  if (defaults.empty()) defaults = "[Default Applications]\n";
  for (const auto& [scheme, name] : {std::pair{"tencent", "QQ"}, {"mailto", "Mail"}, {"file", "Files"}}) {
    const std::string entry = std::string("test-") + scheme + ".desktop";
    WriteFileBytes(apps / entry, std::string("[Desktop Entry]\nType=Application\nName=") + name + "\nExec=" +
                                     script.string() + " %u\nMimeType=x-scheme-handler/" + scheme +
                                     ";\nNoDisplay=true\n");
    defaults += std::string("x-scheme-handler/") + scheme + "=" + entry + "\n";
  }
  WriteFileBytes(home / "config" / "mimeapps.list", defaults);
  return handed;
}

class OtherProgramsTest : public HostilePageTest {
 protected:
  void InstallPrograms() { handed_ = InstallRecordingPrograms(home_, dir_.Sub("programs")); }
  std::string Handed() const { return ReadFile(handed_); }
  bool WaitHanded(const std::string& lines) {
    return WaitUntil([&] { return Handed() == lines; }, 30s);
  }

  // The console's stand-in: the lab page with these query parameters.
  XWindow StartConsole(const std::string& query) {
    StartX(true);
    StartSite();
    AddressLabPage("/kefu/lab/programs.html?" + query);
    StartTavro();
    const XWindow main = MainWindowMapped();
    if (!WaitForCaption([](const std::string& c) { return StartsWith(c, "programs"); }, 30s))
      throw std::runtime_error("console not ready: " + app_->Caption());
    return main;
  }
  // The console's page is still there and runs: three more of its counts reach the site, and the
  // caption still shows its title.
  bool ConsoleGoesOn() {
    const std::size_t ticks = CountRequestsStartingWith(Marker("programs-tick-"));
    return WaitUntil([&] { return CountRequestsStartingWith(Marker("programs-tick-")) >= ticks + 3; }, 30s) &&
           StartsWith(app_->Caption(), "programs ");
  }
  std::vector<XWindow> Boxes() {
    return WindowsTitled([](const std::string& t) { return t == TAVRO_DISPLAY_NAME; });
  }
  // The box opens with Cancel focused; OK is before it, and the check box before OK.
  void AnswerOk(XWindow box) {
    input_->Key(box, "shift+Tab");
    input_->Key(box, "Return");
  }
  void AnswerOkForTheRun(XWindow box) {
    input_->Key(box, "shift+Tab");
    input_->Key(box, "shift+Tab");
    input_->Key(box, "space");
    input_->Key(box, "Tab");
    input_->Key(box, "Return");
  }

  std::filesystem::path handed_;
};

TEST_F(OtherProgramsTest, AClickAsksReturnIsCancelAndOkHandsTheOneAddressWhileTheConsoleStays) {
  InstallPrograms();
  const XWindow main = StartConsole("to=" + Query(kQq) + "&then=" + Query(kQqLater));
  ClickAt(main, 160, 400);
  const auto first = WaitBoxFor(main);
  ASSERT_TRUE(first) << "no question for the tencent: link" << Describe();
  // Cancel is the default: Enter keeps the agent in Tavro.
  input_->Key(*first, "Return");
  ASSERT_TRUE(WaitGone(*first));
  ASSERT_TRUE(WaitForRequest(Marker("programs-clicked-1"))) << Describe();
  EXPECT_TRUE(ConsoleGoesOn()) << "the console left its page: " << app_->Caption() << Describe();

  // The page's link now goes to the later address: OK hands exactly that one, once.
  ClickAt(main, 160, 400);
  const auto second = WaitBoxFor(main);
  ASSERT_TRUE(second) << "no question for the second click" << Describe();
  AnswerOk(*second);
  ASSERT_TRUE(WaitGone(*second));
  EXPECT_TRUE(WaitHanded(std::string(kQqLater) + "\n")) << "handed: " << Handed() << app_->Proc().Stderr();
  EXPECT_TRUE(ConsoleGoesOn()) << "the console left its page: " << app_->Caption() << Describe();
  EXPECT_EQ(Handed(), std::string(kQqLater) + "\n") << "the cancelled address went to the program after all";
  EXPECT_TRUE(PageWindowsAndBoxes().empty());
}

TEST_F(OtherProgramsTest, TheRunsAnswerOpensWithoutAskingAndAClickOpensOneProgramAtMost) {
  InstallPrograms();
  // Each click asks for two programs' windows in a row.
  const XWindow main = StartConsole("how=open&to=" + Query(kQq) + "&then=" + Query(kQqLater));
  ClickAt(main, 160, 400);
  const auto box = WaitBoxFor(main);
  ASSERT_TRUE(box) << "no question for window.open of a tencent: address" << Describe();
  AnswerOkForTheRun(*box);
  ASSERT_TRUE(WaitGone(*box));
  ASSERT_TRUE(WaitHanded(std::string(kQq) + "\n")) << "handed: " << Handed() << app_->Proc().Stderr();

  ClickAt(main, 160, 400);
  ASSERT_TRUE(WaitForRequest(Marker("programs-opened-2-got-0"))) << "the page got a window" << Describe();
  EXPECT_TRUE(WaitHanded(std::string(kQq) + "\n" + kQq + "\n")) << "handed: " << Handed();
  EXPECT_TRUE(Boxes().empty()) << "asked again after the answer for the run";
  EXPECT_TRUE(ConsoleGoesOn()) << app_->Caption() << Describe();
  EXPECT_EQ(Handed(), std::string(kQq) + "\n" + kQq + "\n") << "one click handed two addresses";
  EXPECT_EQ(CountRequests(Marker("programs-opened-1-got-0")), 1u) << Describe();
}

TEST_F(OtherProgramsTest, EnterOnALinkToANewWindowAsksAsAClickDoes) {
  InstallPrograms();
  const XWindow main = StartConsole("how=blank&to=" + Query(kMail));
  // The link is the page's one focusable element: Tab reaches it, Enter follows it.
  input_->Key(main, "Tab");
  input_->Key(main, "Return");
  const auto box = WaitBoxFor(main);
  ASSERT_TRUE(box) << "no question for Enter on a target=_blank mailto: link" << Describe();
  AnswerOk(*box);
  ASSERT_TRUE(WaitGone(*box));
  EXPECT_TRUE(WaitHanded(std::string(kMail) + "\n")) << "handed: " << Handed() << app_->Proc().Stderr();
  EXPECT_TRUE(ConsoleGoesOn()) << app_->Caption() << Describe();
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "the link opened a window as well";
  EXPECT_EQ(Handed(), std::string(kMail) + "\n");
}

TEST_F(OtherProgramsTest, APageGoingThereByItselfHandsNothingAndStays) {
  InstallPrograms();
  StartX(true);
  StartSite();
  for (const char* how : {"timer", "meta"}) {
    SCOPED_TRACE(how);
    const std::size_t tried = CountRequests(Marker("programs-tried"));
    if (app_) StopTavro();
    AddressLabPage("/kefu/lab/programs.html?how=" + std::string(how) + "&to=" + Query(kQq));
    StartTavro();
    MainWindowMapped();
    ASSERT_TRUE(WaitUntil([&] { return CountRequests(Marker("programs-tried")) > tried; }, 30s)) << Describe();
    EXPECT_TRUE(ConsoleGoesOn()) << "the console left its page: " << app_->Caption() << Describe();
    for (const XWindow w : PageWindowsAndBoxes()) ADD_FAILURE() << "a window for a page's own navigation: " << x_->Title(w);
    EXPECT_EQ(Handed(), "");
  }
}

TEST_F(OtherProgramsTest, NoProgramForTheSchemeShowsANoticeOnlyAndAnOverlongAddressGoesNowhere) {
  InstallPrograms();
  // The second click's link is a tencent: address of over 9000 characters.
  const XWindow main = StartConsole("to=" + Query("weixin://dl/chat?kefu") + "&then=" + Query(kQq) + "&pad=9000");
  ClickAt(main, 160, 400);
  const auto notice = WaitWindowTitled([](const std::string& t) { return t == "没有能打开 weixin: 链接的程序"; }, 30s);
  EXPECT_TRUE(notice) << "no notice that nothing opens weixin: links" << Describe();
  EXPECT_TRUE(Boxes().empty()) << "a question without a program to ask about";
  EXPECT_TRUE(ConsoleGoesOn()) << app_->Caption() << Describe();

  ClickAt(main, 160, 400);
  ASSERT_TRUE(WaitForRequest(Marker("programs-clicked-2"))) << Describe();
  EXPECT_TRUE(ConsoleGoesOn()) << app_->Caption() << Describe();
  EXPECT_TRUE(Boxes().empty()) << "asked about an overlong address";
  EXPECT_EQ(Handed(), "");
}

TEST_F(OtherProgramsTest, AFileLinkOpensNothingAndMailtoGoesToItsProgram) {
  InstallPrograms();
  const XWindow main = StartConsole("to=" + Query("file:///etc/hostname") + "&then=" + Query(kMail));
  ClickAt(main, 160, 400);
  ASSERT_TRUE(WaitForRequest(Marker("programs-clicked-1"))) << Describe();
  EXPECT_TRUE(ConsoleGoesOn()) << app_->Caption() << Describe();
  EXPECT_TRUE(Boxes().empty()) << "asked about a file: link";

  ClickAt(main, 160, 400);
  const auto box = WaitBoxFor(main);
  ASSERT_TRUE(box) << "no question for the mailto: link" << Describe();
  AnswerOk(*box);
  EXPECT_TRUE(WaitHanded(std::string(kMail) + "\n")) << "handed: " << Handed() << app_->Proc().Stderr();
  EXPECT_TRUE(ConsoleGoesOn()) << app_->Caption() << Describe();
  EXPECT_EQ(Handed(), std::string(kMail) + "\n") << "the file: link reached a program";
}

TEST_F(OtherProgramsTest, AFrameOfAnotherOriginHandsNothingWhileTheSitesOwnLinkStillAsks) {
  InstallPrograms();
  // The site's link over the top of the page, a frame of the other origin below it.
  const XWindow main = StartConsole("frame=1&to=" + Query(kQq) + "&frameto=" + Query(kQqLater));
  ASSERT_TRUE(WaitForRequest("/kefu/lab/programs.html?inner=1&to=" + Query(kQqLater))) << Describe();
  ClickAt(main, 160, 560);
  const std::size_t ticks = CountRequestsStartingWith(Marker("programs-tick-"));
  // The frame's page runs in the console's web process: three of the console's counts after the
  // click, its navigation was decided.
  ASSERT_TRUE(WaitUntil([&] { return CountRequestsStartingWith(Marker("programs-tick-")) >= ticks + 3; }, 30s));
  EXPECT_TRUE(Boxes().empty()) << "asked about a link of the other origin's frame";

  ClickAt(main, 160, 300);
  const auto box = WaitBoxFor(main);
  ASSERT_TRUE(box) << "the site's own link beside a frame of another origin did not ask" << Describe();
  EXPECT_EQ(Boxes().size(), 1u);
  AnswerOk(*box);
  EXPECT_TRUE(WaitHanded(std::string(kQq) + "\n")) << "handed: " << Handed() << app_->Proc().Stderr();
  EXPECT_TRUE(ConsoleGoesOn()) << app_->Caption() << Describe();
  EXPECT_EQ(Handed(), std::string(kQq) + "\n");
}

TEST_F(OtherProgramsTest, APopupOfAnotherOriginHandsNothing) {
  InstallPrograms();
  StartConsoleOpening("/kefu/lab/programs.html%3Fto%3D" + Query(Query(kQq)));
  const std::string origin = " — " + OtherOrigin();
  const auto customer = WaitWindowTitled(
      [&](const std::string& t) { return StartsWith(t, "programs ") && t.size() > origin.size() &&
                                         t.compare(t.size() - origin.size(), origin.size(), origin) == 0; },
      30s);
  ASSERT_TRUE(customer) << "the customer's window did not open" << Describe();
  ClickAt(*customer, 300, 300);
  ASSERT_TRUE(WaitForRequest(Marker("programs-clicked-1"))) << Describe();
  const std::size_t ticks = CountRequestsStartingWith(Marker("programs-tick-"));
  ASSERT_TRUE(WaitUntil([&] { return CountRequestsStartingWith(Marker("programs-tick-")) >= ticks + 3; }, 30s));
  EXPECT_TRUE(Boxes().empty()) << "asked about the other origin's link";
  EXPECT_EQ(Handed(), "");
}

class AdvertisementProgramsTest : public AdvertisementTest {};

TEST_F(AdvertisementProgramsTest, TheAdvertisementsLinksToProgramsHandNothing) {
  AdServer ad(dir_.Sub("ad"), adPort_,
              "<!DOCTYPE html><html><head><title>ad</title><style>html,body{margin:0;overflow:hidden}"
              "a{position:fixed;top:0;left:0;right:0;bottom:0;background:#f60}</style></head><body>"
              "<a id=\"a\" href=\"tencent://message/?uin=666\">ad</a><script>"
              "document.getElementById('a').addEventListener('click', function () {"
              "  window.open('mailto:ad@example.com');"
              "  setTimeout(function () { fetch('clicked'); }, 0);"
              "});</script></body></html>");
  const auto browser = InstallRecordingDesktopBrowser(home_, dir_.Sub("desktop"));
  const auto handed = InstallRecordingPrograms(home_, dir_.Sub("programs"));
  StartX(true);
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; },
                             60s))
      << app_->Caption();
  ClickAt(main, 30, 700);
  ASSERT_TRUE(ad.WaitRequest("/clicked")) << ad.Requests();
  const std::string caption = app_->Caption();
  EXPECT_TRUE(WaitForCaption([&](const std::string& c) { return c != caption; }, 20s)) << "the console stands still";
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "a box for the advertisement's link";
  EXPECT_EQ(ReadFile(browser), "");
  EXPECT_EQ(ReadFile(handed), "");
}

}  // namespace
}  // namespace tavro::browser
