// Downloads and dialogs pages of other origins ask for: a customer's page downloads only on a
// click, one save dialog at a time; the advertisement shows no dialog and no save dialog at all,
// hands one address to the desktop's browser per click, and its endless alert loop leaves the
// console running and closable.
#include "hostile_pages.h"

namespace tavro::browser {
namespace {

class DownloadLimitsTest : public HostilePageTest {
 protected:
  std::size_t Downloads() const { return CountRequestsStartingWith("/kefu/lab/download.php"); }
  bool WaitNoticeSays(const std::string& text) {
    return WaitUntil(
        [&] {
          const auto notices = Notices();
          return !notices.empty() && x_->Title(notices.front()) == text;
        },
        30s);
  }
};

TEST_F(DownloadLimitsTest, ACustomersPageDownloadsOnlyWhenTheAgentClicks) {
  StartConsoleOpening("/kefu/lab/download-auto.html%3Fn%3D5");
  const auto customer = WaitOtherOriginWindow("downloads tried");
  ASSERT_TRUE(customer) << Describe();
  // Five downloads asked for, each refused once its answer came: no save dialog.
  ASSERT_TRUE(WaitUntil([&] { return Downloads() == 5; }, 30s)) << Describe();
  EXPECT_TRUE(WaitNoticeSays("已阻止 5 个下载")) << "no notice of the five refused downloads";
  EXPECT_EQ(PageWindowsAndBoxes().size(), 1u) << "a save dialog came up without a click";

  ClickAt(*customer, 500, 350);
  const auto chooser = WaitBoxFor(*customer);
  ASSERT_TRUE(chooser) << "no save dialog for the click" << Describe();
  EXPECT_EQ(Downloads(), 6u);
  input_->Key(*chooser, "Escape");
  EXPECT_TRUE(WaitGone(*chooser));
}

TEST_F(DownloadLimitsTest, OneSaveDialogAtATimeTwoWaitingAndTheRestRefused) {
  StartConsoleOpening("/kefu/lab/download-auto.html%3Fn%3D0");
  const auto customer = WaitOtherOriginWindow("downloads tried");
  ASSERT_TRUE(customer) << Describe();
  // A click, then three keys pressed in the page (the save dialog covers it): four downloads.
  ClickAt(*customer, 500, 350);
  const auto first = WaitBoxFor(*customer);
  ASSERT_TRUE(first) << "no save dialog" << Describe();
  for (int key = 1; key <= 3; ++key) input_->Key(*customer, "space");
  ASSERT_TRUE(WaitNoticeSays("已阻止 1 个下载")) << "the fourth download was not refused" << Describe();
  EXPECT_EQ(Downloads(), 4u) << Describe();
  EXPECT_EQ(PageWindowsAndBoxes().size(), 2u) << "more than one save dialog at once";

  // The waiting ones come in turn.
  XWindow open = *first;
  for (int turn = 2; turn <= 3; ++turn) {
    input_->Key(open, "Escape");
    ASSERT_TRUE(WaitGone(open));
    const auto next = WaitBoxFor(*customer);
    ASSERT_TRUE(next) << "download " << turn << " got no save dialog";
    open = *next;
    EXPECT_EQ(PageWindowsAndBoxes().size(), 2u);
  }
  input_->Key(open, "Escape");
  ASSERT_TRUE(WaitGone(open));
  EXPECT_EQ(PageWindowsAndBoxes().size(), 1u) << "the refused download got a save dialog after all";
}

class AdvertisementLimitsTest : public AdvertisementTest {};

TEST_F(AdvertisementLimitsTest, NoDialogNoDownloadOneDesktopWindowPerClickAndItsAlertLoopTrapsNobody) {
  const std::string landing = "http://127.0.0.1:" + std::to_string(adPort_) + "/landing.html";
  AdServer ad(dir_.Sub("ad"), adPort_,
              "<!DOCTYPE html><html><head><title>ad</title><style>html,body{margin:0;overflow:hidden}"
              "#a{position:fixed;top:0;left:0;right:0;bottom:0;background:#f60}</style></head><body>"
              "<div id=\"a\">ad</div><script>"
              "function downloads(n, name) { for (var i = 0; i < n; i++) {"
              "  var a = document.createElement('a'); a.href = 'file.bin?' + name + i; a.download = '.bash_profile';"
              "  document.body.appendChild(a); a.click(); } }"
              "setTimeout(function () {"
              "  var c = confirm('c'); var p = prompt('p', 'x'); alert('a');"
              "  downloads(5, 'auto');"
              "  fetch('attempts-over?confirm=' + c + '&prompt=' + p);"
              "}, 100);"
              "document.getElementById('a').addEventListener('click', function () {"
              "  for (var i = 0; i < 10; i++) window.open('" + landing + "?by=click' + i);"
              "  downloads(1, 'click');"
              "  fetch('click-over');"
              "  setTimeout(function () { fetch('loop-start'); for (;;) alert('trap'); }, 500);"
              "});</script></body></html>");
  const auto opened = InstallRecordingDesktopBrowser(home_, dir_.Sub("desktop"));
  StartX();
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; },
                             60s))
      << app_->Caption();
  // Its dialogs were answered as cancelled without showing; its downloads went nowhere.
  ASSERT_TRUE(ad.WaitRequest("/attempts-over?confirm=false&prompt=null")) << ad.Requests();
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "a box or a save dialog for the advertisement";

  const auto [x, y] = ToRoot(main, 30, 700);
  input_->Click(x, y);
  ASSERT_TRUE(ad.WaitRequest("/loop-start")) << ad.Requests();
  ASSERT_TRUE(WaitUntil([&] { return !ReadFile(opened).empty(); }, 15s)) << "the click opened nothing";
  EXPECT_EQ(ReadFile(opened), landing + "?by=click0\n") << "one click, one address for the desktop's browser";
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "a box or a save dialog for the advertisement";
  EXPECT_EQ(Notices().size(), 0u) << "the advertisement's refusals are no business of the agent's";

  // The console's page goes on changing its title while the advertisement loops.
  const std::string caption = app_->Caption();
  EXPECT_TRUE(WaitForCaption([&](const std::string& c) { return c != caption && c.find(TAVRO_TITLE_MARKER) != std::string::npos; }, 20s))
      << "the console stands still: " << caption;

  // The close button still logs out and ends the program.
  AnswerOkAndExpectEnd(AskToExit(main), 0);
  EXPECT_EQ(CountRequests("/ajax.php?act=out"), 1u) << Describe();
  EXPECT_EQ(ad.Requests().find("landing.html"), std::string::npos) << "Tavro loaded the advertisement's link itself";
}

}  // namespace
}  // namespace tavro::browser
