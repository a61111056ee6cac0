// The site's notifications: the script's strings stay strings whatever a page or address holds,
// a page's text reaches the desktop as valid UTF-8, no more than the rate reaches it, and the
// desktop's service is asked and answered as its protocol has it (on a bus of the test's own).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "fake_notifications.h"
#include "platform/gtk/browser/notifications/notification_bridge.h"
#include "platform/gtk/browser/notifications/notification_rate.h"
#include "wait.h"

namespace tavro::browser {
namespace {

using namespace std::chrono_literals;
using platform::gtk::DesktopNotifications;
using platform::gtk::DesktopText;
using platform::gtk::JsStringLiteral;
using platform::gtk::NotificationEventScript;
using platform::gtk::NotificationRateLimit;
using platform::gtk::NotificationRelaySource;
using platform::gtk::NotificationShimSource;

TEST(NotificationScriptTest, StringsCannotLeaveTheirLiteral) {
  EXPECT_EQ(JsStringLiteral("http://127.0.0.1:8080"), "\"http://127.0.0.1:8080\"");
  EXPECT_EQ(JsStringLiteral("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsStringLiteral("x\ny\r"), "\"x\\u000ay\\u000d\"");
  // Nothing that ends a script element or a line in JavaScript.
  EXPECT_EQ(JsStringLiteral("</script>"), "\"\\u003c/script\\u003e\"");
  EXPECT_EQ(JsStringLiteral("a\xE2\x80\xA8" "b"), "\"a\\u2028b\"");
  EXPECT_EQ(JsStringLiteral("客服"), "\"客服\"");
  // Bytes that are not UTF-8 become a replacement character, never a broken literal.
  const std::string broken = JsStringLiteral("a\xFF\"");
  EXPECT_TRUE(g_utf8_validate(broken.c_str(), -1, nullptr));
  EXPECT_EQ(broken, "\"a\xEF\xBF\xBD\\\"\"");
}

TEST(NotificationScriptTest, TheShimIsOnlyForTheOriginItNames) {
  const std::string source = NotificationShimSource("http://127.0.0.1:8080", "k\"ey");
  EXPECT_NE(source.find("location.origin !== \"http://127.0.0.1:8080\""), std::string::npos) << source;
  EXPECT_NE(source.find("\"k\\\"ey\""), std::string::npos) << source;
  // The page's own scripts cannot reach Tavro's handler: the shim hands its messages on as events,
  // and the relay in Tavro's script world posts them.
  EXPECT_EQ(source.find("messageHandlers"), std::string::npos) << source;
  EXPECT_NE(source.find("'tavro-notify-' + key"), std::string::npos) << source;
  const std::string relay = NotificationRelaySource("k\"ey");
  EXPECT_NE(relay.find("messageHandlers"), std::string::npos) << relay;
  EXPECT_NE(relay.find("\"k\\\"ey\""), std::string::npos) << relay;
}

TEST(NotificationScriptTest, DesktopTextIsValidAndCutBetweenCharacters) {
  EXPECT_EQ(DesktopText("新访客", 100), "新访客");
  EXPECT_EQ(DesktopText("新访客", 7), "新访");  // 3 bytes each: the third would be cut in two
  EXPECT_EQ(DesktopText("新访客", 2), "");
  const std::string fixed = DesktopText(std::string("a\xC3", 2) + "b", 100);
  EXPECT_TRUE(g_utf8_validate(fixed.c_str(), -1, nullptr));
  EXPECT_EQ(fixed.front(), 'a');
  EXPECT_EQ(fixed.back(), 'b');
}

TEST(NotificationScriptTest, TheDesktopsEventGoesOnlyToTheSitesOriginAndStaysInItsLiterals) {
  const std::string script =
      NotificationEventScript("http://127.0.0.1:8080", "key", "1.2\"); alert(1); (\"", 7, "click");
  EXPECT_EQ(script.find("alert(1); (\"\""), std::string::npos) << script;
  // The origin is checked before anything of the page is looked at.
  EXPECT_LT(script.find("location.origin !== \"http://127.0.0.1:8080\""), script.find("window["));
  EXPECT_NE(script.find(", 7, \"click\")"), std::string::npos) << script;
}

TEST(NotificationRateTest, ABurstPassesThenOneEachIntervalAndIdleTimeDoesNotPileUp) {
  constexpr std::int64_t kSecond = 1000000;
  NotificationRateLimit rate(3, kSecond / 3);
  const std::int64_t start = 50 * kSecond;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(rate.TryTake(start)) << i;
  EXPECT_FALSE(rate.TryTake(start));
  const std::int64_t wait = rate.WaitUs(start);
  EXPECT_EQ(wait, kSecond / 3);
  EXPECT_FALSE(rate.TryTake(start + wait - 1));
  EXPECT_TRUE(rate.TryTake(start + wait));
  EXPECT_FALSE(rate.TryTake(start + wait));
  // An hour of quiet gives back the burst, not an hour's worth.
  const std::int64_t later = start + 3600 * kSecond;
  int passed = 0;
  while (rate.TryTake(later)) ++passed;
  EXPECT_EQ(passed, 3);
}

TEST(NotificationRateTest, NoSpanOfTimeLetsMoreThanTheBurstAndTheRateThrough) {
  constexpr std::int64_t kInterval = 1000000 / 3;
  NotificationRateLimit rate(3, kInterval);
  // Attempts every millisecond for ten seconds, with pauses, from a clock that does not start at 0.
  std::vector<std::int64_t> passed;
  for (std::int64_t t = 7000; t < 10000000; t += (t / 1000) % 1500 < 1000 ? 1000 : 250000)
    if (rate.TryTake(t)) passed.push_back(t);
  ASSERT_GT(passed.size(), 20u);
  for (std::size_t i = 0; i < passed.size(); ++i)
    for (std::size_t j = i; j < passed.size(); ++j)
      ASSERT_LE(static_cast<std::int64_t>(j - i + 1), 3 + (passed[j] - passed[i]) / kInterval) << i << " " << j;
}

// Runs the default main context (where the bridge's calls answer) until `done` or the timeout.
bool Iterate(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_usleep(10000);
  }
  return true;
}

using Event = DesktopNotifications::Event;
using Handle = DesktopNotifications::Handle;

// What the bridge reported, in order.
struct Recorded {
  std::vector<std::pair<Handle, Event>> events;
  void Listen(DesktopNotifications& notifications) {
    notifications.onEvent = [this](Handle h, Event e) { events.emplace_back(h, e); };
  }
  std::size_t Count(Handle h, Event e) const {
    return static_cast<std::size_t>(std::count(events.begin(), events.end(), std::make_pair(h, e)));
  }
  std::size_t Count(Event e) const {
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(), [e](const auto& r) { return r.second == e; }));
  }
};

class DesktopNotificationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_setenv("DBUS_SESSION_BUS_ADDRESS", bus_.Address().c_str(), TRUE);
    // The process's one session connection, which the bridge shares: the test's bus goes away
    // before the process does, and that must not end it.
    shared_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(shared_, nullptr);
    g_dbus_connection_set_exit_on_close(shared_, FALSE);
  }
  void TearDown() override {
    // Calls still on their way hold the connection; the next test needs one to its own bus.
    gpointer gone = shared_;
    g_object_add_weak_pointer(G_OBJECT(shared_), &gone);
    g_object_unref(shared_);
    EXPECT_TRUE(Iterate([&] { return gone == nullptr; }, 10s)) << "the session connection stayed";
    if (gone) g_object_remove_weak_pointer(G_OBJECT(gone), &gone);
  }
  PrivateSessionBus bus_;
  FakeNotificationService service_{bus_.Address()};
  GDBusConnection* shared_ = nullptr;
};

TEST_F(DesktopNotificationsTest, ShowsThroughTheServiceAndRunsTheClickOnlyForItsOwnDefaultAction) {
  DesktopNotifications notifications("Tavro 客服");
  Recorded recorded;
  recorded.Listen(notifications);
  const Handle first = notifications.Show("新访客", "有访客等待接入");
  const Handle second = notifications.Show("second", std::string("bad \xFF byte"));
  ASSERT_TRUE(Iterate([&] { return service_.Calls().size() == 2; }, 10s));
  const auto calls = service_.Calls();
  EXPECT_EQ(calls[0].appName, "Tavro 客服");
  EXPECT_EQ(calls[0].replacesId, 0u);
  EXPECT_EQ(calls[0].appIcon, "tavro");
  EXPECT_EQ(calls[0].summary, "新访客");
  EXPECT_EQ(calls[0].body, "有访客等待接入");
  EXPECT_EQ(calls[0].actions, (std::vector<std::string>{"default", "打开"}));
  EXPECT_EQ(calls[0].expireTimeout, -1);
  EXPECT_TRUE(g_utf8_validate(calls[1].body.c_str(), -1, nullptr));

  // Another action, an id that is not ours: nothing. The click that follows is the marker that
  // the bridge has read the signals before it.
  service_.EmitActionInvoked(calls[0].id, "reply");
  service_.EmitActionInvoked(9999, "default");
  service_.EmitActionInvoked(calls[0].id, "default");
  EXPECT_TRUE(Iterate([&] { return recorded.Count(first, Event::Clicked) == 1; }, 5s));
  EXPECT_EQ(recorded.events.size(), 1u);

  // Once the service says a notification has gone, its id means nothing to us any more.
  service_.EmitClosed(calls[1].id);
  service_.EmitActionInvoked(calls[1].id, "default");
  service_.EmitActionInvoked(calls[0].id, "default");
  ASSERT_TRUE(Iterate([&] { return recorded.Count(first, Event::Clicked) == 2; }, 5s));
  EXPECT_EQ(recorded.Count(second, Event::Closed), 1u);
  EXPECT_EQ(recorded.Count(second, Event::Clicked), 0u);
}

TEST_F(DesktopNotificationsTest, ReplacingAndClosingUseTheServicesIdsEvenBeforeTheyAreKnown) {
  DesktopNotifications notifications("Tavro");
  Recorded recorded;
  recorded.Listen(notifications);
  notifications.Show("ready", "");
  ASSERT_TRUE(Iterate([&] { return service_.Calls().size() == 1; }, 10s));
  // The service is slow to answer: b replaces a, and c is closed, before their ids are known.
  service_.HoldAnswers();
  const Handle a = notifications.Show("a", "");
  const Handle b = notifications.Show("b", "", a);
  const Handle c = notifications.Show("c", "");  // after the burst: on its turn
  ASSERT_TRUE(Iterate([&] { return service_.Calls().size() == 3; }, 10s));
  notifications.Close(c);
  service_.ReleaseAnswers();
  ASSERT_TRUE(Iterate([&] { return recorded.Count(c, Event::Closed) == 1 && service_.Calls().size() == 4; }, 10s));
  const auto calls = service_.Calls();
  EXPECT_EQ(calls[1].summary, "a");
  EXPECT_EQ(calls[2].summary, "c");
  EXPECT_EQ(calls[3].summary, "b");
  EXPECT_EQ(calls[3].replacesId, calls[1].id);
  EXPECT_EQ(calls[3].id, calls[1].id);
  ASSERT_EQ(service_.Closes().size(), 1u);
  EXPECT_EQ(service_.Closes()[0].id, calls[2].id);

  // The replaced one hears nothing more; its id is the newer one's now.
  EXPECT_EQ(recorded.Count(a, Event::Dropped), 1u);
  service_.EmitActionInvoked(calls[1].id, "default");
  ASSERT_TRUE(Iterate([&] { return recorded.Count(b, Event::Clicked) == 1; }, 5s));
  notifications.Close(b);
  ASSERT_TRUE(Iterate([&] { return recorded.Count(b, Event::Closed) == 1; }, 5s));
  EXPECT_EQ(service_.Closes().back().id, calls[1].id);
  EXPECT_EQ(recorded.Count(a, Event::Clicked) + recorded.Count(a, Event::Closed), 0u);

  // One still waiting for its turn (behind a burst) is closed before it ever reaches the service.
  for (int i = 0; i < DesktopNotifications::kBurst; ++i) notifications.Show("burst", "");
  const Handle late = notifications.Show("late", "");
  notifications.Close(late);
  EXPECT_EQ(recorded.Count(late, Event::Closed), 1u);
  notifications.Show("marker", "");
  ASSERT_TRUE(Iterate([&] { return service_.Calls().back().summary == "marker"; }, 10s));
  for (const auto& call : service_.Calls()) EXPECT_NE(call.summary, "late");
}

TEST(DesktopNotificationsWithoutBusTest, NothingShowsAndNothingWaits) {
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavro-no-bus", TRUE);
  const auto start = std::chrono::steady_clock::now();
  {
    DesktopNotifications notifications("Tavro");
    Recorded recorded;
    recorded.Listen(notifications);
    const Handle first = notifications.Show("a", "b");
    // Without a bus what was asked for is dropped, and what comes later is not even taken.
    ASSERT_TRUE(Iterate([&] { return recorded.Count(first, Event::Dropped) == 1; }, 5s));
    EXPECT_EQ(notifications.Show("c", "d"), 0u);
    notifications.Close(first);
    EXPECT_EQ(recorded.events.size(), 1u);
  }
  {
    // Going away with a call still on its way is fine too.
    DesktopNotifications notifications("Tavro");
    notifications.onEvent = [](Handle, Event) { FAIL() << "an event after the owner went"; };
    notifications.Show("e", "f");
  }
  Iterate([] { return false; }, 200ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

}  // namespace
}  // namespace tavro::browser
