// The site's notifications: the script's strings stay strings whatever a page or address holds,
// a page's text reaches the desktop as valid UTF-8, and the desktop's service is asked and
// answered as its protocol has it (on a bus of the test's own).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "fake_notifications.h"
#include "platform/gtk/notification_bridge.h"
#include "wait.h"

namespace tavro::browser {
namespace {

using namespace std::chrono_literals;
using platform::gtk::DesktopNotifications;
using platform::gtk::DesktopText;
using platform::gtk::JsStringLiteral;
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
  EXPECT_NE(source.find("messageHandlers"), std::string::npos);
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

TEST(DesktopNotificationsTest, ShowsThroughTheServiceAndRunsTheClickOnlyForItsOwnDefaultAction) {
  PrivateSessionBus bus;
  FakeNotificationService service(bus.Address());
  g_setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), TRUE);

  DesktopNotifications notifications("Tavro 客服");
  int firstClicks = 0, secondClicks = 0;
  notifications.Show("新访客", "有访客等待接入", [&] { ++firstClicks; });
  notifications.Show("second", std::string("bad \xFF byte"), [&] { ++secondClicks; });
  ASSERT_TRUE(Iterate([&] { return service.Calls().size() == 2; }, 10s));
  const auto calls = service.Calls();
  EXPECT_EQ(calls[0].appName, "Tavro 客服");
  EXPECT_EQ(calls[0].replacesId, 0u);
  EXPECT_EQ(calls[0].appIcon, "tavro");
  EXPECT_EQ(calls[0].summary, "新访客");
  EXPECT_EQ(calls[0].body, "有访客等待接入");
  EXPECT_EQ(calls[0].actions, (std::vector<std::string>{"default", "打开"}));
  EXPECT_EQ(calls[0].expireTimeout, -1);
  EXPECT_TRUE(g_utf8_validate(calls[1].body.c_str(), -1, nullptr));

  // The service answers each call before the test sees it, and the bridge takes the answers and
  // the signals in the order they come: another action and an id that is not ours, then a click
  // on each notification. Once the last click has run, the two before the clicks have been taken
  // and did nothing.
  service.EmitActionInvoked(calls[0].id, "reply");
  service.EmitActionInvoked(9999, "default");
  service.EmitActionInvoked(calls[0].id, "default");
  service.EmitActionInvoked(calls[1].id, "default");
  ASSERT_TRUE(Iterate([&] { return secondClicks >= 1; }, 5s)) << "the click on the second did not run";
  EXPECT_EQ(firstClicks, 1) << "another action or another id ran the first one's click";
  EXPECT_EQ(secondClicks, 1) << "the click on the first ran the second one's too";

  // Once the service says a notification has gone, its id means nothing to us any more.
  service.EmitClosed(calls[1].id);
  service.EmitActionInvoked(calls[1].id, "default");
  service.EmitActionInvoked(calls[0].id, "default");
  ASSERT_TRUE(Iterate([&] { return firstClicks >= 2; }, 5s)) << "the second click on the first did not run";
  EXPECT_EQ(secondClicks, 1);
}

TEST(DesktopNotificationsTest, WithoutABusNothingShowsAndNothingWaits) {
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavro-no-bus", TRUE);
  const auto start = std::chrono::steady_clock::now();
  {
    DesktopNotifications notifications("Tavro");
    notifications.Show("a", "b", [] { FAIL() << "clicked without a bus"; });
    Iterate([] { return false; }, 300ms);
    notifications.Show("c", "d", {});
    // Going away with a call still on its way is fine too.
  }
  Iterate([] { return false; }, 200ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

}  // namespace
}  // namespace tavro::browser
