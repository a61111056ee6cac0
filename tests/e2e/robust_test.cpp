// The whole program under bad input and faults: url.txt as it may be found, a picture claiming an
// absurd size, page titles that are huge or strange, a site that is down or stops answering, and a
// session that must leave the home and working folders as it found them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "e2e_fixture.h"
#include "fake/checks.h"
#include "tavro_config.h"

namespace tavro::e2e {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using tavro::fake::IsValidUtf8;

const std::string kMarker = TAVRO_TITLE_MARKER;
const std::string kLogin = "/kefu/login.php?";

bool HasMarker(const std::string& caption) { return caption.find(kMarker) != std::string::npos; }

bool MappedWithSize(const std::vector<MapRecord>& maps, int width, int height) {
  for (const auto& m : maps)
    if (m.width == width && m.height == height) return true;
  return false;
}

std::string PercentEncode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

// A port on 127.0.0.1 where nothing listens: bound once to learn a free one, then closed.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("no free port");
  ::close(fd);
  return ntohs(addr.sin_port);
}

// The peak resident memory of a process in MB (VmHWM), or -1.
long PeakMegabytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
  return -1;
}

std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }

// What a folder holds, recursively: path -> type, size and modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  const auto describe = [](const fs::directory_entry& e) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    std::ostringstream s;
    s << (S_ISDIR(st.st_mode) ? 'd' : S_ISREG(st.st_mode) ? 'f' : 'o') << " " << st.st_size << " "
      << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec;
    return s.str();
  };
  out["."] = describe(fs::directory_entry(root));
  for (const auto& e : fs::recursive_directory_iterator(root))
    out[fs::relative(e.path(), root).string()] = describe(e);
  return out;
}

bool Later(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

// The latest modification time in a folder (recursively) or of a file.
struct timespec NewestTimeStamp(const fs::path& root) {
  struct timespec newest {};
  const auto consider = [&](const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && Later(st.st_mtim, newest)) newest = st.st_mtim;
  };
  consider(root);
  if (fs::is_directory(root))
    for (const auto& e : fs::recursive_directory_iterator(root)) consider(e.path());
  return newest;
}

std::string Difference(const std::map<std::string, std::string>& before,
                       const std::map<std::string, std::string>& after) {
  std::string out;
  for (const auto& [path, what] : after) {
    const auto it = before.find(path);
    if (it == before.end()) out += "\n  new: " + path + " (" + what + ")";
    else if (it->second != what) out += "\n  changed: " + path + " (" + it->second + " -> " + what + ")";
  }
  for (const auto& [path, what] : before)
    if (!after.count(path)) out += "\n  gone: " + path;
  return out;
}

class RobustTest : public TavroE2eTest {
 protected:
  // The window comes up, and tavro is still running and has reported nothing a while later.
  void ExpectKeepsRunning(std::chrono::milliseconds settle = 3s) {
    const XWindow main = MainWindowMapped();
    EXPECT_FALSE(app_->Proc().Wait(settle)) << "exited with " << *app_->Proc().ExitCode();
    EXPECT_EQ(x_->State(main), MapState::Viewable);
    EXPECT_EQ(app_->Proc().Stderr().find("Run-time error"), std::string::npos) << app_->Proc().Stderr();
    EXPECT_TRUE(IsValidUtf8(app_->Caption()));
  }

  bool SiteGot(const std::string& target) {
    for (const auto& r : site_->Requests())
      if (r.target == target) return true;
    return false;
  }

  // Signed in on the demo site, with the marker in the caption.
  XWindow SignedIn() {
    StartX();
    StartSite(0, 300);
    PrepareWorkingFolder();
    StartTavro();
    const XWindow main = MainWindowMapped();
    EXPECT_TRUE(WaitForCaption(HasMarker, 60s)) << "caption: " << app_->Caption();
    return main;
  }
};

// ---- url.txt ------------------------------------------------------------------------------

// url.txt as it may be found, and the start that follows: a report and no window, the reminder
// and no request, the window with the login page requested as the login view's address fix-up
// makes the text, or, when that makes no address a browser could open, Tavro's page that says so
// in the console's place and no request at all.
struct AddressFileCase {
  const char* label;
  std::optional<std::string> file;  // url.txt's bytes, "@" standing for the site's host and port
  int report = 0;                   // the run-time error reported instead of the window
  const char* login = nullptr;      // the request for the login page; none: no request at all
  bool folder = false;              // url.txt is a folder
  bool utf16 = false;               // the file is written as UTF-16 with its byte-order mark
};

// The caption of Tavro's page for an address read from url.txt that cannot be opened.
constexpr char kCannotOpen[] = "url.txt 中的网站地址无法打开";

const AddressFileCase kAddressFiles[] = {
    {"Missing", std::nullopt, 53},
    {"Folder", std::nullopt, 75, nullptr, true},
    {"Empty", ""},
    {"OnlyCrLf", "\r\n"},
    {"TrailingSpaceAndLineBreak", "http://@ \r\n"},
    {"Utf16", "http://@", 0, nullptr, false, true},
    {"TrailingLineBreak", "http://@\r\n", 0, "/kefu/login.php?"},
    {"LeadingSpaces", "  http://@", 0, "/kefu/login.php?"},
    {"FinalSlash", "http://@/", 0, "//kefu/login.php?"},
    {"NoScheme", "@", 0, "/kefu/login.php?"},
    {"ByteOrderMark", "\xEF\xBB\xBFhttp://@", 0, "/kefu/login.php?"},
    // Under C.UTF-8 each invalid byte becomes U+FFFD; the NUL is escaped by the address fix-up.
    {"InvalidAndNulBytes", "http://@/a\xFF" "b\0c"s, 0, "/a%EF%BF%BDb%00c/kefu/login.php?"},
};

class AddressFileStartTest : public RobustTest, public ::testing::WithParamInterface<AddressFileCase> {
 protected:
  // A report dialog titled with the display name, the error on stderr, no main window ever
  // mapped, no request; OK ends the program with exit code 1.
  void ExpectRuntimeErrorReport(int number, const std::vector<std::string>& mentioned) {
    const auto dialog = app_->WaitDialog(60s);
    ASSERT_TRUE(dialog) << "no report dialog; stderr: " << app_->Proc().Stderr();
    EXPECT_EQ(x_->Title(*dialog), TAVRO_DISPLAY_NAME);

    std::string err;
    const std::string line = "tavro: Run-time error '" + std::to_string(number) + "': ";
    ASSERT_TRUE(WaitUntil([&] { return (err = app_->Proc().Stderr()).find(line) != std::string::npos; }, 10s))
        << "stderr: " << err;
    for (const auto& text : mentioned) EXPECT_NE(err.find(text), std::string::npos) << text << " not in: " << err;

    EXPECT_FALSE(MappedWithSize(x_->MapHistory(), kMainWidth, kMainHeight)) << "the main window was shown";
    if (const auto main = app_->MainWindow()) {
      EXPECT_NE(x_->State(*main), MapState::Viewable);
    }
    AnswerOkAndExpectEnd(*dialog, 1);
    EXPECT_FALSE(MappedWithSize(x_->MapHistory(), kMainWidth, kMainHeight)) << "the main window was shown";
    EXPECT_TRUE(site_->Requests().empty()) << Describe();
  }

  // The reminder stands alone: the main window is not mapped while it is up, nor was it before.
  // After OK the window comes and stays, and nothing is requested.
  void ExpectReminderThenTheWindow() {
    const auto dialog = app_->WaitDialog(60s);
    ASSERT_TRUE(dialog) << "no message box; stderr: " << app_->Proc().Stderr();
    EXPECT_EQ(x_->Title(*dialog), TAVRO_DISPLAY_NAME);
    EXPECT_FALSE(MappedWithSize(x_->MapHistory(), kMainWidth, kMainHeight));
    if (const auto main = app_->MainWindow()) {
      EXPECT_NE(x_->State(*main), MapState::Viewable);
    }
    EXPECT_EQ(app_->Proc().Stderr().find("Run-time error"), std::string::npos) << app_->Proc().Stderr();

    input_->Key(*dialog, "Return");
    const auto main = app_->WaitMainWindowMapped(30s);
    ASSERT_TRUE(main) << "the main window did not appear after OK";
    const auto maps = x_->MapHistory();
    ASSERT_FALSE(maps.empty());
    EXPECT_NE(maps.front().window, *main) << "the main window was mapped before the message box";

    EXPECT_FALSE(app_->Proc().Wait(1500ms)) << "exited with " << *app_->Proc().ExitCode();
    EXPECT_TRUE(site_->Requests().empty()) << Describe();
    EXPECT_EQ(app_->Caption(), "");
  }
};

TEST_P(AddressFileStartTest, GoesAsTheFileSays) {
  const AddressFileCase& c = GetParam();
  StartX();
  StartSite();
  CopySampleImages(work_);
  if (c.folder) fs::create_directory(work_ / "url.txt");
  if (c.file) {
    std::string bytes = *c.file;
    const std::string hostAndPort = site_->BaseUrl().substr(std::string("http://").size());
    for (auto at = bytes.find('@'); at != std::string::npos; at = bytes.find('@', at + hostAndPort.size()))
      bytes.replace(at, 1, hostAndPort);
    if (c.utf16) {
      std::string wide = "\xFF\xFE";
      for (const char ch : bytes) wide += std::string{ch, '\0'};
      bytes = wide;
    }
    WriteAddressFile(bytes);
  }
  StartTavro();

  if (c.report) {
    std::vector<std::string> mentioned = {"url.txt"};
    if (c.report == 53) mentioned.push_back(fs::canonical(work_).string());
    return ExpectRuntimeErrorReport(c.report, mentioned);
  }
  if (c.file->empty()) return ExpectReminderThenTheWindow();
  if (!c.login) {
    // Never a blank window: Tavro's page says what is wrong, and nothing is asked of any site.
    MainWindowMapped();
    EXPECT_TRUE(WaitForCaption(kCannotOpen, 30s)) << "caption \"" << app_->Caption() << "\"";
    ExpectKeepsRunning();
    EXPECT_TRUE(site_->Requests().empty()) << Describe();
    return;
  }
  EXPECT_TRUE(WaitUntil([&] { return SiteGot(c.login); }, 60s)) << "no request for " << c.login << Describe();
  ExpectKeepsRunning(1s);
  if (c.login == kLogin) {
    EXPECT_TRUE(WaitForCaption("客服登录", 10s)) << app_->Caption();
  }
}

INSTANTIATE_TEST_SUITE_P(Files, AddressFileStartTest, ::testing::ValuesIn(kAddressFiles),
                         [](const auto& info) { return std::string(info.param.label); });

// An address far beyond what browsers take (2 MB) is not loaded: the engine would take
// gigabytes for it. A file too large to be an address at all is not even read whole. Either way
// a report says so, in small memory, and nothing is asked of the site.
struct HugeAddressCase {
  const char* label;
  std::size_t bytes;
  int error;
  const char* says;
};

class HugeAddressTest : public RobustTest, public ::testing::WithParamInterface<HugeAddressCase> {};

TEST_P(HugeAddressTest, IsReportedInSmallMemoryAndNothingIsRequested) {
  const HugeAddressCase& c = GetParam();
  StartX();
  StartSite();
  CopySampleImages(work_);
  std::string text = site_->BaseUrl() + "/?q=";
  const std::string line = "客服 kefu 0123456789 line\r\n";
  text.reserve(c.bytes + line.size());
  while (text.size() < c.bytes) text += line;
  WriteAddressFile(text);
  text = {};
  StartTavro();
  const auto report = app_->WaitDialog(60s);
  ASSERT_TRUE(report) << "no report; stderr: " << app_->Proc().Stderr();
  const long peak = PeakMegabytes(app_->Pid());
  std::cout << "[ robust ] VmHWM with the report of a " << c.label << " url.txt: " << peak << " MB\n";
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, 400);
  std::string err;
  ASSERT_TRUE(WaitUntil([&] { return (err = app_->Proc().Stderr()).find("Run-time error") != std::string::npos; }, 10s));
  EXPECT_NE(err.find("tavro: Run-time error '" + std::to_string(c.error) + "'"), std::string::npos) << err;
  EXPECT_NE(err.find(c.says), std::string::npos) << err;
  AnswerOkAndExpectEnd(*report, 1);
  EXPECT_TRUE(PageRequests().empty()) << Describe();
}

INSTANTIATE_TEST_SUITE_P(Sizes, HugeAddressTest,
                         ::testing::Values(HugeAddressCase{"10 MB", 10u * 1024 * 1024, 5, "browsers take at most 2 MB"},
                                           HugeAddressCase{"100 MB", 100u * 1024 * 1024, 7, "more than the 16 MB"}),
                         [](const auto& info) { return std::string(info.param.bytes > 50u << 20 ? "Hundred" : "Ten") + "Megabytes"; });

// ---- the pictures of the signed-in layout --------------------------------------------------

TEST_F(RobustTest, HeaderPictureClaimingSixtyThousandPixelsIsReportedInSmallMemory) {
  StartX();
  StartSite(0, 300);
  PrepareWorkingFolder();
  // A 60000 x 60000 GIF of 35 bytes.
  WriteFileBytes(work_ / fs::path("界面_03.gif"), "GIF89a" + Le16(60000) + Le16(60000) +
                                                      "\x80\x00\x00\xFF\xFF\xFF\x00\x00\x00\x2C"s + Le16(0) + Le16(0) +
                                                      Le16(60000) + Le16(60000) + "\x00\x02\x02\x44\x01\x00\x3B"s);
  StartTavro();
  MainWindowMapped();
  const auto dialog = app_->WaitDialog(60s);
  ASSERT_TRUE(dialog) << "no report; caption " << app_->Caption() << "; stderr: " << app_->Proc().Stderr();
  const long peak = PeakMegabytes(app_->Pid());
  std::cout << "[ robust ] VmHWM with the report up: " << peak << " MB\n";
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, 400);
  std::string err;
  ASSERT_TRUE(WaitUntil([&] { return (err = app_->Proc().Stderr()).find("Run-time error") != std::string::npos; }, 10s));
  EXPECT_NE(err.find("tavro: Run-time error '481': Invalid picture: '界面_03.gif' in folder '" +
                     fs::canonical(work_).string() + "'"),
            std::string::npos)
      << err;
  EXPECT_EQ(x_->Title(*dialog), TAVRO_DISPLAY_NAME);
  AnswerOkAndExpectEnd(*dialog, 1);
}

// ---- page titles --------------------------------------------------------------------------

class PageTitleTest : public RobustTest {
 protected:
  // tavro on a lab page: the query swallows the login path that tavro appends.
  void StartOn(const std::string& pathAndQuery) {
    StartX();
    StartSite();
    CopySampleImages(work_);
    WriteAddressFile(site_->BaseUrl() + pathAndQuery + "&z=");
    StartTavro();
  }
};

TEST_F(PageTitleTest, OneMegabyteTitleLeavesWholeCharactersInTheCaption) {
  // 1 Mi times 汉: the caption holds it all, the desktop gets its first 4096 bytes, cut between
  // characters (the caption tests of the window check that cut). The engine's first 1000
  // characters may show until the whole title has been read back from the page.
  StartOn("/kefu/lab/bigtitle.html?n=1048576");
  std::string caption;
  EXPECT_TRUE(WaitForCaption(
      [&](const std::string& c) {
        caption = c;
        return c == Repeat("汉", 4096 / 3);
      },
      60s))
      << "caption of " << caption.size() << " bytes, starting \"" << caption.substr(0, 30) << "\"";
  std::cout << "[ robust ] caption of a 1 MB title: " << caption.size() / 3 << " characters\n";
  EXPECT_LE(caption.size(), 4096u);
  ExpectKeepsRunning(2s);
  EXPECT_EQ(app_->Caption(), caption);
}

// The engine hands on a title's first 1000 characters only; the marker at the end of a longer
// one must still switch to the signed-in layout, and the caption hold the whole title.
TEST_F(PageTitleTest, MarkerAtTheEndOfA2016CharacterTitleSwitchesTheLayout) {
  const std::string title = std::string(2016 - kMarker.size(), 'x') + kMarker;
  StartOn("/kefu/lab/bigtitle.html?c=x&n=" + std::to_string(2016 - kMarker.size()) + "&tail=" + kMarker);
  const XWindow main = MainWindowMapped();
  EXPECT_TRUE(WaitForCaption(title, 60s)) << "caption of " << app_->Caption().size() << " bytes";
  const DecodedPicture minimise = DecodeGif(std::filesystem::path(TAVRO_SOURCE_DIR) / "app/form/images/minimize.gif");
  EXPECT_EQ(WaitForPicture(main, minimise, 253, 0, 10s), "") << "the signed-in layout did not come";
}

TEST_F(PageTitleTest, ControlCharactersInTheTitleNeitherCrashNorBreakTheCaption) {
  StartOn("/kefu/lab/title.php?t=" + PercentEncode("前\x01\x07\t\x1B\x7F" "后\r\n尾"));
  std::string caption;
  EXPECT_TRUE(WaitForCaption(
      [&](const std::string& c) {
        caption = c;
        return c.find("前") != std::string::npos && c.find("尾") != std::string::npos;
      },
      60s))
      << "caption \"" << caption << "\"";
  std::cout << "[ robust ] caption: " << PercentEncode(caption) << "\n";
  EXPECT_EQ(caption.find('\0'), std::string::npos);
  ExpectKeepsRunning(2s);
}

// Right-to-left letters and emoji reach the caption as they are; a character that would turn the
// text after it around (here a right-to-left override) does not.
TEST_F(PageTitleTest, RightToLeftTextAndEmojiComeThroughUnchanged) {
  const std::string letters = "مرحبا שלום 👋😀👩‍💻🇨🇳 客服 ";
  StartOn("/kefu/lab/title.php?t=" + PercentEncode(letters + "\u202Eabc"));
  EXPECT_TRUE(WaitForCaption([&](const std::string& c) { return c == letters + "abc"; }, 60s))
      << "caption \"" << app_->Caption() << "\"";
  ExpectKeepsRunning(2s);
}

// ---- the site down or hanging -------------------------------------------------------------

// The site down at start: Tavro's own page says so below the header, retries with backoff, and
// the login page comes as soon as the site is back.
TEST_F(RobustTest, SiteDownAtStartShowsTavrosPageAndTheLoginComesWhenTheSiteIsBack) {
  StartX();
  CopySampleImages(work_);
  const int port = ClosedPort();
  WriteAddressFile("http://127.0.0.1:" + std::to_string(port));
  StartTavro();
  const XWindow main = MainWindowMapped();
  const std::string down = "无法连接到客服网站";
  ASSERT_TRUE(WaitForCaption(down, 30s)) << "caption: \"" << app_->Caption() << "\"";
  EXPECT_FALSE(HasMarker(app_->Caption()));
  // Its heading, in red, lies in the window's visible part below the 201-pixel header.
  const auto headingShown = [&] {
    const RgbImage shot = WindowShot(main);
    int red = 0;
    for (int y = 0; y < shot.Height(); ++y)
      for (int x = 0; x < shot.Width(); ++x)
        if (Near(shot.Pixel(x, y), Rgb{0xb3, 0x26, 0x1e}, 40)) {
          if (y < 201) return false;
          ++red;
        }
    return red > 20;
  };
  EXPECT_TRUE(WaitUntil(headingShown, 10s)) << "no heading below the header; "
                                            << SaveShot("site-down", WindowShot(main)).string();
  ExpectKeepsRunning(1s);

  // Back after the first retries: the longest wait between two is 30 seconds.
  const auto back = Clock::now();
  StartSite(port);
  ASSERT_TRUE(WaitForCaption("客服登录", 45s)) << "caption: \"" << app_->Caption() << "\"" << Describe();
  std::cout << "[ robust ] site back to the login page: " << MillisBetween(back, Clock::now()) << " ms\n";
  EXPECT_GE(CountRequests(kLogin), 1u) << Describe();
}

TEST_F(RobustTest, SiteStoppedBeforeLogoutStillEndsOneSecondAfterOk) {
  const XWindow main = SignedIn();
  ASSERT_FALSE(HasFailure());
  site_->Proc().Stop();
  ASSERT_FALSE(site_->Proc().Running());
  AnswerOkAndExpectEnd(AskToExit(main), 0, true);
}

TEST_F(RobustTest, SiteHangingAtLogoutStillEndsOneSecondAfterOk) {
  const XWindow main = SignedIn();
  ASSERT_FALSE(HasFailure());
  // Frozen: connections are accepted by the kernel, but no answer ever comes.
  site_->Proc().SignalGroup(SIGSTOP);
  AnswerOkAndExpectEnd(AskToExit(main), 0, true);
  site_->Proc().SignalGroup(SIGCONT);
}

// ---- nothing written ------------------------------------------------------------------------

// A whole session writes nothing but the site's profile folder (its cookies and storage, kept by
// the browser component as a browser keeps them), readable by its user alone.
TEST_F(RobustTest, WholeSessionLeavesHomeAndWorkingFolderAsTheyWereButTheSitesProfile) {
  const fs::path home = dir_.Sub("clean-home");
  for (const char* sub : {"config", "cache", "data", "state", "runtime"}) fs::create_directories(home / sub);
  fs::permissions(home / "runtime", fs::perms::owner_all);
  StartX();
  StartSite(0, 300);
  PrepareWorkingFolder();
  // Time stamps of anything written from here on differ from these: a file written now gets a
  // later one than any of them.
  const struct timespec home0 = NewestTimeStamp(home), work0 = NewestTimeStamp(work_);
  const struct timespec newest = Later(home0, work0) ? home0 : work0;
  const fs::path probe = dir_.Path() / "time-stamp-probe";
  ASSERT_TRUE(WaitUntil(
      [&] {
        WriteFileBytes(probe, "");
        return Later(NewestTimeStamp(probe), newest);
      },
      10s));
  const auto homeBefore = Snapshot(home), workBefore = Snapshot(work_);

  TavroOptions options;
  options.binary = TAVRO_BIN;
  options.workingDir = work_;
  options.home = home;
  options.logDir = dir_.Sub("logs");
  options.env = {{"XDG_STATE_HOME", (home / "state").string()}};
  app_ = std::make_unique<TavroApp>(*x_, options);
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption(HasMarker, 60s)) << "caption: " << app_->Caption();
  // The signed-in layout at work: its pictures on the screen, and the console's own next title.
  EXPECT_EQ(WaitForPicture(main, MinimisePicture(), 253, 0, 10s), "") << "the signed-in layout did not show";
  EXPECT_TRUE(WaitForCaptionChange(10s)) << "the console did not change its title";
  AnswerOkAndExpectEnd(AskToExit(main), 0, true);
  // The web processes go with it.
  EXPECT_TRUE(WaitUntil([&] { return app_->Proc().LiveGroupMembers().empty(); }, 20s))
      << app_->Proc().LiveGroupMembers().size() << " processes of tavro's group still run";

  auto homeAfter = Snapshot(home);
  // The one thing left alone: dconf's two-byte change flag in the runtime folder, which every
  // desktop session already has. It comes from the desktop proxy settings that the network
  // process reads; refusing it would mean ignoring those settings.
  if (homeAfter.count("runtime/dconf/user") && !homeBefore.count("runtime/dconf/user")) {
    std::cout << "[ robust ] dconf's session flag runtime/dconf/user was created\n";
    homeAfter.erase("runtime/dconf/user");
    homeAfter.erase("runtime/dconf");
    homeAfter["runtime"] = homeBefore.at("runtime");
  }
  // The sandbox's folder for the D-Bus proxies of its web processes, which the proxies empty as
  // they end; the sandbox's notes of its processes (.flatpak) Tavro takes away itself.
  if (homeAfter.count("runtime/webkitgtk") && !homeBefore.count("runtime/webkitgtk")) {
    std::cout << "[ robust ] the sandbox's folder runtime/webkitgtk was created\n";
    EXPECT_TRUE(fs::is_empty(home / "runtime" / "webkitgtk")) << "sockets left in runtime/webkitgtk";
    homeAfter.erase("runtime/webkitgtk");
    homeAfter["runtime"] = homeBefore.at("runtime");
  }
  // The site's profile: one folder for the site, under the data folder's tavro/sites.
  const fs::path sites = home / "data" / "tavro" / "sites";
  std::vector<fs::path> profiles;
  for (const auto& entry : fs::directory_iterator(sites)) profiles.push_back(entry.path());
  ASSERT_EQ(profiles.size(), 1u) << "profiles in " << sites;
  EXPECT_EQ(fs::status(profiles.front()).permissions() & fs::perms::all, fs::perms::owner_all)
      << profiles.front() << " can be read by others";
  EXPECT_TRUE(fs::exists(profiles.front() / "cookies.sqlite")) << "no cookies kept in " << profiles.front();
  for (auto it = homeAfter.begin(); it != homeAfter.end();)
    it = it->first == "data/tavro" || it->first.rfind("data/tavro/", 0) == 0 ? homeAfter.erase(it) : std::next(it);
  homeAfter["data"] = homeBefore.at("data");
  EXPECT_EQ(Difference(homeBefore, homeAfter), "") << "in " << home;
  EXPECT_EQ(Difference(workBefore, Snapshot(work_)), "") << "in " << work_;
}

// ---- the command line -----------------------------------------------------------------------

TEST(CommandLineTest, VersionAndHelpNeedNoDisplayAndOtherArgumentsAreIgnored) {
  TempDir dir("tavro-cli");
  const auto run = [&](std::vector<std::string> args) {
    ProcessOptions p;
    p.argv = {TAVRO_BIN};
    p.argv.insert(p.argv.end(), args.begin(), args.end());
    p.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    p.workingDir = dir.Path();
    p.stdoutPath = dir.Path() / "out";
    p.stderrPath = dir.Path() / "err";
    const auto code = RunToEnd(p, 20s);
    return std::make_pair(code, ReadFile(dir.Path() / "out"));
  };
  const std::string version = std::string(TAVRO_DISPLAY_NAME) + " 1.0.0.0\n";
  EXPECT_EQ(run({"--version"}), std::make_pair(std::optional<int>(0), version));
  EXPECT_EQ(run({"--frobnicate", "--version"}), std::make_pair(std::optional<int>(0), version));
  const auto [code, help] = run({"--help"});
  EXPECT_EQ(code, 0);
  EXPECT_EQ(help.rfind("Usage: tavro", 0), 0u) << help;
  EXPECT_NE(help.find("url.txt"), std::string::npos) << help;
  EXPECT_EQ(run({"-h"}).second, help);
  // Without a display and without those options, it says so and fails.
  EXPECT_EQ(run({"--frobnicate"}).first, 1);
  EXPECT_NE(ReadFile(dir.Path() / "err").find("cannot open the X display"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir.Path() / "out"));
}

}  // namespace
}  // namespace tavro::e2e
