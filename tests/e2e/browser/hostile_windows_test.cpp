// Pages of another origin in the site's pop-up windows (a customer's link) that try to open
// windows or to send the console elsewhere: one window per click, a few windows at most, the
// refusals shown in a notice, the console where it was.
#include <iostream>

#include "hostile_pages.h"

namespace tavro::browser {
namespace {

class PopupBlockerTest : public HostilePageTest {};

TEST_F(PopupBlockerTest, AHundredOpensWithoutAClickOpenNoneAndTenInAClickOpenOne) {
  const XWindow main = StartConsoleOpening("/kefu/lab/popup-flood.html");
  ASSERT_TRUE(WaitForRequest(Marker("flood-over"))) << Describe();
  // The page counts the windows it got; the window's title shows where the page comes from.
  const auto customer = WaitOtherOriginWindow("flood opened 0");
  ASSERT_TRUE(customer) << "no window \"flood opened 0 — " << OtherOrigin() << "\"" << Describe();
  EXPECT_EQ(CountRequestsStartingWith(Marker("flood-")), 1u) << "a refused window loaded its page" << Describe();
  const auto notice = WaitNotice();
  ASSERT_TRUE(notice) << "no notice of the refused windows";
  EXPECT_EQ(x_->Title(*notice), "已阻止 100 个弹出窗口");
  EXPECT_EQ(PageWindowsAndBoxes().size(), 1u) << "only the customer's window beside the main window";
  EXPECT_EQ(app_->Caption(), "customer link");

  // One click, ten window.open: one window.
  ClickAt(*customer, 500, 350);
  ASSERT_TRUE(WaitForRequest(Marker("click-over"))) << Describe();
  EXPECT_TRUE(WaitOtherOriginWindow("click opened 1")) << "the page did not get exactly one window";
  EXPECT_TRUE(WaitOtherOriginWindow("click-0")) << "the one window did not show its page";
  EXPECT_EQ(CountRequestsStartingWith(Marker("click-")), 2u) << "the one window and the marker only" << Describe();
  EXPECT_EQ(PageWindowsAndBoxes().size(), 2u);
  EXPECT_EQ(x_->State(main), MapState::Viewable);
}

TEST_F(PopupBlockerTest, NoMoreThanFivePopupWindowsAreOpenAtOnce) {
  StartConsoleOpening("/kefu/lab/open-on-click.html%3Fn%3D1");
  // Each window's page opens the next one on a click; new windows come up on top of the last.
  std::vector<XWindow> windows;
  for (int n = 1; n <= 5; ++n) {
    const auto window = WaitOtherOriginWindow("open " + std::to_string(n));
    ASSERT_TRUE(window) << "window " << n << " did not open" << Describe();
    windows.push_back(*window);
    ClickAt(*window, 500, 350);
    ASSERT_TRUE(WaitForRequest(Marker("open-clicked-" + std::to_string(n) + "-") +
                               (n < 5 ? "opened" : "refused")))
        << "click in window " << n << Describe();
  }
  const auto notice = WaitNotice();
  ASSERT_TRUE(notice) << "the sixth window was refused without a notice";
  EXPECT_EQ(x_->Title(*notice), "已阻止 1 个弹出窗口");
  EXPECT_EQ(CountRequests("/kefu/lab/open-on-click.html?n=6"), 0u) << Describe();
  EXPECT_EQ(PageWindowsAndBoxes().size(), 5u);

  // Five at once, not five in all: with one closed, the next click opens one again.
  x_->RequestClose(windows.back());
  ASSERT_TRUE(WaitGone(windows.back()));
  ClickAt(windows[3], 500, 350);
  ASSERT_TRUE(WaitUntil([&] { return CountRequests(Marker("open-clicked-4-opened")) == 2; }, 30s)) << Describe();
  EXPECT_EQ(CountRequests(Marker("open-clicked-4-refused")), 0u) << Describe();
}

class CustomerWindowProcessTest : public HostilePageTest {};

// A customer's page of another origin, opened from the console in a window of Tavro's own, runs in
// a web process of its own: a 50,000-deep tree and six busy seconds there, and the console's
// timer (a request every 300 ms) keeps going all the while.
TEST_F(CustomerWindowProcessTest, ACustomersPageOfAnotherOriginDoesNotHoldTheConsole) {
  StartConsoleOpening("/kefu/lab/deep.html", "&tick=1");
  ASSERT_TRUE(WaitOtherOriginWindow("deep page")) << Describe();
  ASSERT_TRUE(WaitForRequest(Marker("busy-start"))) << Describe();
  const auto before = CountRequestsStartingWith(Marker("tick-"));
  ASSERT_TRUE(WaitForRequest(Marker("busy-over"), 60s)) << Describe();
  const auto during = CountRequestsStartingWith(Marker("tick-")) - before;
  std::cout << "[ browser ] " << during << " console ticks during the customer's page's six busy seconds\n";
  // Twenty on time; sharing the process, none.
  EXPECT_GE(during, 8u) << "the customer's page held the console" << Describe();
  EXPECT_GE(WebProcessesOf(app_->Pid()).size(), 2u) << "the console and the customer's page share one process";
}

class ConsoleNavigationTest : public HostilePageTest {};

TEST_F(ConsoleNavigationTest, ACustomersPopupCannotSendTheConsoleToItsOrigin) {
  const auto opened = InstallRecordingDesktopBrowser(home_, dir_.Sub("desktop"));
  StartConsoleOpening("/kefu/lab/tabnab.html", "&tick=1");
  // The customer's page has no way back to the console: opened in a process of its own, it has
  // no opener.
  const auto customer = WaitOtherOriginWindow("tabnab without opener");
  ASSERT_TRUE(customer) << "the customer's page got the console as its opener, or its window does not show "
                           "its origin in its title" << Describe();
  // The console's page is still there three of its ticks later, and nothing asked for the page.
  const auto ticks = CountRequestsStartingWith(Marker("tick-"));
  ASSERT_TRUE(WaitUntil([&] { return CountRequestsStartingWith(Marker("tick-")) >= ticks + 3; }, 30s))
      << "the console's page stopped ticking" << Describe();
  EXPECT_EQ(CountRequests(Marker("nabbed")), 0u) << Describe();
  EXPECT_EQ(app_->Caption(), "customer link");
  EXPECT_TRUE(WindowsTitled([](const std::string& t) { return StartsWith(t, "nabbed"); }).empty());
  EXPECT_EQ(ReadFile(opened), "") << "the page's own navigation went to the desktop's browser";
}

TEST_F(ConsoleNavigationTest, TheAgentsClickToAnotherOriginOpensInTheDesktopBrowser) {
  const auto opened = InstallRecordingDesktopBrowser(home_, dir_.Sub("desktop"));
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/click-opens.html?to=/kefu/lab/title.php%3Ft%3Delsewhere&other=1&same=1");
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("click opens", 30s)) << app_->Caption();
  ClickAt(main, 160, 400);
  const std::string target = OtherOrigin() + Marker("elsewhere");
  ASSERT_TRUE(WaitUntil([&] { return !ReadFile(opened).empty(); }, 30s))
      << "nothing went to the desktop's browser; stderr: " << app_->Proc().Stderr() << Describe();
  EXPECT_EQ(ReadFile(opened), target + "\n");
  EXPECT_EQ(app_->Caption(), "click opens") << "the console left its page";
  EXPECT_TRUE(PageWindowsAndBoxes().empty());
}

}  // namespace
}  // namespace tavro::browser
