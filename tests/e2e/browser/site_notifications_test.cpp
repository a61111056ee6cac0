// The site's notifications on a desktop with a notification service: a click reaches the page
// that sent it and brings its window back with the focus, close() and the desktop's close go both
// ways, a tag replaces, a flood reaches the desktop at most at the rate with the newest shown, and
// the site is where its first address redirects to, not where a page goes later.
#include <algorithm>
#include <iostream>

#include "browser_fixture.h"
#include "fake_notifications.h"
#include "platform/gtk/browser/notifications/notification_bridge.h"

// After gtest: Xlib's macros (None, Bool) would clash with its names.
#include <X11/Xlib.h>

namespace tavro::browser {
namespace {

using platform::gtk::DesktopNotifications;

class SiteNotificationsTest : public BrowserTest {
 protected:
  // Tavro on the lab page, with openbox and a notification service of the test's own.
  XWindow Start(const std::string& labPath) {
    StartX(true);
    StartSite();
    AddressLabPage(labPath);
    bus_ = std::make_unique<PrivateSessionBus>();
    service_ = std::make_unique<FakeNotificationService>(bus_->Address());
    StartTavro({{"DBUS_SESSION_BUS_ADDRESS", bus_->Address()}});
    const XWindow main = MainWindowMapped();
    focus_ = XOpenDisplay(x_->DisplayName().c_str());
    if (!focus_) throw std::runtime_error("cannot connect to " + x_->DisplayName());
    return main;
  }

  void TearDown() override {
    if (focus_) XCloseDisplay(focus_);  // before the X server goes
    focus_ = nullptr;
    BrowserTest::TearDown();
  }

  NotifyCall Call(std::size_t n) {
    const auto call = service_->WaitCall(n, 30s);
    if (!call)
      throw std::runtime_error("notification " + std::to_string(n) +
                               " never reached the desktop; caption: " + app_->Caption());
    return *call;
  }

  bool WaitForLastSummary(const std::string& summary) {
    return service_->WaitCalls(
        [&](const auto& calls) { return !calls.empty() && calls.back().summary == summary; }, 60s);
  }

  void ClickPage(XWindow main) {
    const auto g = x_->Geometry(main);
    if (!g) throw std::runtime_error("the main window is gone");
    input_->Click(g->x + 160, g->y + 400);
  }

  void Minimise(XWindow main) {
    x_->Iconify(main);
    ASSERT_TRUE(WaitUntil([&] { return x_->Iconic(main); }, 10s)) << "the window manager did not minimise it";
  }

  // The input focus is on the window or on one of its own.
  bool HasFocus(XWindow main) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(focus_, &focus, &revert);
    for (int depth = 0; focus > PointerRoot && depth < 16; ++depth) {
      if (focus == main) return true;
      Window root = 0, parent = 0, *children = nullptr;
      unsigned int count = 0;
      if (!XQueryTree(focus_, focus, &root, &parent, &children, &count)) return false;
      if (children) XFree(children);
      focus = parent;
    }
    return false;
  }

  bool BackWithTheFocus(XWindow main) {
    return WaitUntil(
        [&] { return !x_->Iconic(main) && x_->State(main) == MapState::Viewable && HasFocus(main); }, 10s);
  }

  std::unique_ptr<PrivateSessionBus> bus_;
  std::unique_ptr<FakeNotificationService> service_;
  Display* focus_ = nullptr;
};

// The page that sent a notification gets its click, onclick and listeners in the order they were
// set; a notification of a page the view has left only brings the window back.
TEST_F(SiteNotificationsTest, AClickOnTheDesktopReachesThePageThatSentItAndBringsItsWindowBackWithTheFocus) {
  const XWindow main = Start("/kefu/lab/notice-leave.html");
  const NotifyCall left = Call(1);
  const NotifyCall current = Call(2);
  EXPECT_EQ(left.summary, "left behind");
  EXPECT_EQ(current.summary, "访客 10231");
  EXPECT_EQ(current.body, "您好，在吗？");
  ASSERT_TRUE(WaitForCaption("notice ready granted", 30s)) << app_->Caption();

  Minimise(main);
  service_->EmitActionInvoked(left.id, "default");
  EXPECT_TRUE(BackWithTheFocus(main))
      << "the click on the left page's notification did not bring the window back";

  // Then behind a window of another program that the agent works in.
  const XWindow other = x_->CreateWindow(0, 0, 500, 900);
  ASSERT_TRUE(WaitUntil([&] { return x_->State(other) == MapState::Viewable; }, 10s));
  const auto place = x_->Geometry(other);
  ASSERT_TRUE(place);
  input_->Click(place->x + 250, place->y + 450);
  ASSERT_TRUE(WaitUntil([&] { return !HasFocus(main); }, 10s)) << "the other window did not take the focus";
  service_->EmitActionInvoked(current.id, "default");
  EXPECT_TRUE(BackWithTheFocus(main)) << "the click did not bring the window forward with the focus";
  // Once: the first click, on the page that left, reached no notification of this page.
  EXPECT_TRUE(WaitForCaption("clicked onclick listener", 10s)) << app_->Caption();
}

TEST_F(SiteNotificationsTest, ClosingGoesFromThePageToTheDesktopAndFromTheDesktopToThePage) {
  const XWindow main = Start("/kefu/lab/notice-close.html");
  const NotifyCall a = Call(1);
  const NotifyCall b = Call(2);
  ASSERT_TRUE(WaitForCaption("notice close ready", 30s)) << app_->Caption();

  ClickPage(main);  // the page closes a
  const auto close = service_->WaitClose(1, 10s);
  ASSERT_TRUE(close) << "close() never reached the desktop";
  EXPECT_EQ(close->id, a.id);
  EXPECT_TRUE(WaitForCaption("closed a", 10s)) << app_->Caption();

  // The agent dismisses b on the desktop.
  service_->EmitClosed(b.id);
  EXPECT_TRUE(WaitForCaption("closed a b", 10s)) << app_->Caption();
  EXPECT_EQ(service_->Closes().size(), 1u);
}

TEST_F(SiteNotificationsTest, ANotificationTakesThePlaceOfTheFormerOneOfItsTag) {
  Start("/kefu/lab/notice-tag.html");
  ASSERT_TRUE(service_->WaitCalls([](const auto& calls) { return calls.size() == 3; }, 30s))
      << service_->Calls().size() << " notifications; caption: " << app_->Caption();
  const auto calls = service_->Calls();
  const auto withBody = [&](const std::string& body) {
    const auto it =
        std::find_if(calls.begin(), calls.end(), [&](const NotifyCall& c) { return c.body == body; });
    if (it == calls.end()) throw std::runtime_error("no notification " + body);
    return *it;
  };
  const NotifyCall first = withBody("第一条"), second = withBody("第二条"), other = withBody("你好");
  EXPECT_EQ(first.replacesId, 0u);
  EXPECT_EQ(second.replacesId, first.id);
  EXPECT_EQ(other.replacesId, 0u);
  ASSERT_TRUE(WaitForCaption("notice tag ready", 30s)) << app_->Caption();

  // The desktop shows the newer one under the former's id: a click on it is the newer one's.
  service_->EmitActionInvoked(second.id, "default");
  EXPECT_TRUE(WaitForCaption("clicked y", 10s)) << app_->Caption();
  service_->EmitActionInvoked(other.id, "default");
  EXPECT_TRUE(WaitForCaption("clicked z", 10s)) << app_->Caption();
}

// Over any span of time no more than the burst and the rate reached the desktop; one more is
// allowed for the time the bus takes to deliver each.
void ExpectWithinTheRate(const std::vector<NotifyCall>& calls, const char* what) {
  const auto interval = std::chrono::microseconds(DesktopNotifications::kIntervalUs);
  for (std::size_t i = 0; i < calls.size(); ++i)
    for (std::size_t j = i; j < calls.size(); ++j) {
      const auto allowed = DesktopNotifications::kBurst + (calls[j].at - calls[i].at) / interval + 1;
      ASSERT_LE(static_cast<long long>(j - i + 1), static_cast<long long>(allowed))
          << what << ": notifications " << i << " to " << j << " in "
          << MillisBetween(calls[i].at, calls[j].at) << " ms";
    }
}

TEST_F(SiteNotificationsTest, AFloodReachesTheDesktopAtMostAtTheRateAndTheNewestIsShown) {
  const XWindow main = Start("/kefu/lab/notice-burst.html");
  // 1000 in one loop: nothing older can come after the newest, which is the page's last.
  ASSERT_TRUE(WaitForLastSummary("burst 1000")) << service_->Calls().size() << " notifications";
  ASSERT_TRUE(WaitForCaption("burst sent", 10s)) << app_->Caption();
  const auto burst = service_->Calls();
  ExpectWithinTheRate(burst, "the burst");
  EXPECT_LE(burst.size(), static_cast<std::size_t>(DesktopNotifications::kBurst) + 2);
  std::cout << "[ measured ] burst of 1000: " << burst.size() << " reached the desktop in "
            << MillisBetween(burst.front().at, burst.back().at) << " ms\n";

  // Then one every 10 ms for two seconds or more.
  ClickPage(main);
  ASSERT_TRUE(WaitForLastSummary("flood last")) << service_->Calls().size() << " notifications";
  const auto all = service_->Calls();
  const std::vector<NotifyCall> flood(all.begin() + static_cast<std::ptrdiff_t>(burst.size()), all.end());
  ExpectWithinTheRate(all, "burst and flood");
  for (const auto& call : flood)
    EXPECT_EQ(call.summary.rfind("burst ", 0), std::string::npos) << call.summary;
  std::cout << "[ measured ] flood of 200 at 10 ms: " << flood.size() << " reached the desktop in "
            << MillisBetween(flood.front().at, flood.back().at) << " ms\n";
}

// 127.0.0.1 redirects to localhost: the site is where the main view's first page is.
TEST_F(SiteNotificationsTest, ASiteWhoseFirstAddressRedirectsNotifiesFromWhereItLands) {
  Start("/kefu/lab/elsewhere.php?path=/kefu/lab/notice-click.html");
  ASSERT_TRUE(WaitForCaption("notice ready granted", 30s)) << app_->Caption();
  const NotifyCall call = Call(1);
  EXPECT_EQ(call.summary, "访客 10231");
  service_->EmitActionInvoked(call.id, "default");
  EXPECT_TRUE(WaitForCaption("clicked onclick listener", 10s)) << app_->Caption();
}

TEST_F(SiteNotificationsTest, APageOfAnotherOriginTheSiteGoesToLaterIsNotTheSite) {
  const XWindow main = Start("/kefu/lab/notice-away.html");
  ASSERT_TRUE(WaitForCaption("notice away ready", 30s)) << app_->Caption();
  ClickPage(main);  // a window on the same server under localhost
  const auto intruder = WaitWindowTitled([](const std::string& t) { return t.rfind("intruder ", 0) == 0; }, 30s);
  ASSERT_TRUE(intruder) << "no window of the other origin" << Describe();
  EXPECT_EQ(x_->Title(*intruder).find("granted"), std::string::npos) << x_->Title(*intruder);

  // Back on the site in that window, which notifies: the one notification the desktop got is the site's.
  ClickPage(*intruder);
  ASSERT_TRUE(WaitUntil([&] { return x_->Title(*intruder).rfind("notice ready granted", 0) == 0; }, 30s))
      << x_->Title(*intruder);
  EXPECT_EQ(Call(1).summary, "访客 10231");
  EXPECT_EQ(service_->Calls().size(), 1u);
}

}  // namespace
}  // namespace tavro::browser
