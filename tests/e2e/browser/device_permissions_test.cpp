// What pages get of the agent's devices, with the engine's stand-in microphone and camera: the
// site's pages once the agent allowed them (asked once a run, Deny the default), other origins
// (a frame of the console, a customer's pop-up window, the advertisement) and screen capture
// never and without a question; the pointer only to the site's page on a click, until Escape.
#include "hostile_pages.h"

namespace tavro::browser {
namespace {

class DevicePermissionTest : public HostilePageTest {
 protected:
  void StartTavroWithMockDevices() { StartTavro({{"TAVRO_MOCK_CAPTURE_DEVICES", "1"}}); }
  void StartOn(const std::string& pathAndQuery) {
    StartX(true);
    StartSite();
    AddressLabPage(pathAndQuery);
    StartTavroWithMockDevices();
  }
  // The first marker the pages asked for that starts with `prefix`, without the marker's path.
  std::optional<std::string> WaitMarker(const std::string& prefix, std::chrono::milliseconds timeout = 60s) {
    std::optional<std::string> found;
    WaitUntil(
        [&] {
          for (const auto& request : site_->Requests())
            if (StartsWith(request.target, Marker(prefix))) {
              found = request.target.substr(Marker("").size());
              return true;
            }
          return false;
        },
        timeout);
    return found;
  }
  // Whether the devices had names before a request of a later page is the engine's to say.
  static std::string WithoutNames(const std::string& marker) {
    const auto from = marker.find("-before-");
    const auto to = marker.find("-camera-");
    return from == std::string::npos || to == std::string::npos ? marker : marker.substr(0, from) + marker.substr(to);
  }
  static std::string Devices(int round, const std::string& got, const std::string& namedBefore,
                             const std::string& state) {
    return "devices-" + std::to_string(round) + "-" + got + "-before-" + namedBefore + "-camera-" + state +
           "-microphone-" + state;
  }
};

TEST_F(DevicePermissionTest, AllowedTheSitesPagesHaveMicrophoneAndCameraForTheRunButNeverTheScreen) {
  StartOn("/kefu/lab/devices.html?ask=av&rounds=2&click=screen");
  const XWindow main = MainWindowMapped();
  const auto box = WaitBoxFor(main, 60s);
  ASSERT_TRUE(box) << "no question for the microphone and the camera" << Describe();
  EXPECT_EQ(CountRequestsStartingWith(Marker("devices-")), 0u) << "the page had an answer before the agent";
  // Deny has the focus: the agent goes back to Allow.
  input_->Key(*box, "shift+Tab");
  input_->Key(*box, "space");
  ASSERT_TRUE(WaitGone(*box));
  const auto first = WaitMarker("devices-1-");
  ASSERT_TRUE(first) << Describe();
  EXPECT_EQ(*first, Devices(1, "audio.video", "no", "granted"));
  // The page's next load asks again: answered at once, without a question.
  const auto second = WaitMarker("devices-2-");
  ASSERT_TRUE(second) << "the second request was not answered by itself" << Describe();
  EXPECT_EQ(WithoutNames(*second), WithoutNames(Devices(2, "audio.video", "no", "granted")));
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "a second question";

  ASSERT_TRUE(WaitForRequest(Marker("ready-2"))) << Describe();
  ClickAt(main, 160, 400);
  const auto screen = WaitMarker("click1-screen-");
  ASSERT_TRUE(screen) << Describe();
  EXPECT_EQ(*screen, "click1-screen-NotAllowedError");
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "a question for the screen";
}

TEST_F(DevicePermissionTest, DeniedByTheDefaultAnswerTheSiteIsNotAskedAgainInTheRun) {
  StartOn("/kefu/lab/devices.html?ask=av&rounds=2");
  const XWindow main = MainWindowMapped();
  const auto box = WaitBoxFor(main, 60s);
  ASSERT_TRUE(box) << "no question for the microphone and the camera" << Describe();
  input_->Key(*box, "Return");
  ASSERT_TRUE(WaitGone(*box));
  const auto first = WaitMarker("devices-1-");
  ASSERT_TRUE(first) << Describe();
  EXPECT_EQ(*first, Devices(1, "NotAllowedError", "no", "denied"));
  const auto second = WaitMarker("devices-2-");
  ASSERT_TRUE(second) << "the second request waited for a question" << Describe();
  EXPECT_EQ(*second, Devices(2, "NotAllowedError", "no", "denied"));
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "the agent was asked again";
}

TEST_F(DevicePermissionTest, AnotherOriginsFrameInTheConsoleGetsNoDevicesNoQuestionAndNotThePointer) {
  StartOn("/kefu/lab/other-origin-frame.html?src=/kefu/lab/devices.html%3Fask%3Dav%26click%3Dlock");
  const XWindow main = MainWindowMapped();
  const auto got = WaitMarker("devices-1-");
  ASSERT_TRUE(got) << "the frame's request waited for a question" << Describe();
  EXPECT_EQ(*got, Devices(1, "NotAllowedError", "no", "denied"));
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "a question for another origin";
  // A click in the frame (the top of the page, under the header) is no click in a page of the site's.
  ClickAt(main, 160, 260);
  const auto lock = WaitMarker("click1-lock-");
  ASSERT_TRUE(lock) << "the click did not reach the frame" << Describe();
  EXPECT_EQ(*lock, "click1-lock-refused");
}

TEST_F(DevicePermissionTest, ACustomersPopupWindowGetsNoDevicesNoQuestionAndNotThePointer) {
  StartX(true);
  StartSite();
  AddressLabPage("/kefu/lab/customer-link.html?to=/kefu/lab/devices.html%3Fask%3Dav%26click%3Dlock");
  StartTavroWithMockDevices();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("customer link", 30s)) << app_->Caption();
  ClickAt(main, 160, 400);
  const auto got = WaitMarker("devices-1-");
  ASSERT_TRUE(got) << "the pop-up's request waited for a question" << Describe();
  EXPECT_EQ(*got, Devices(1, "NotAllowedError", "no", "denied"));
  const std::string origin = " — " + OtherOrigin();
  const auto popup = WaitWindowTitled(
      [&](const std::string& t) { return t.size() > origin.size() && t.substr(t.size() - origin.size()) == origin; },
      30s);
  ASSERT_TRUE(popup) << "no window for the customer's page" << Describe();
  EXPECT_EQ(PageWindowsAndBoxes().size(), 1u) << "a question beside the customer's window";
  ClickAt(*popup, 200, 200);
  const auto lock = WaitMarker("click1-lock-");
  ASSERT_TRUE(lock) << "the click did not reach the customer's page" << Describe();
  EXPECT_EQ(*lock, "click1-lock-refused");
}

TEST_F(DevicePermissionTest, TheSitesPageTakesThePointerOnlyOnAClickAndEscapeGivesItBack) {
  StartOn("/kefu/lab/devices.html?click=lock&early=1");
  const XWindow main = MainWindowMapped();
  const auto early = WaitMarker("load-lock-");
  ASSERT_TRUE(early) << Describe();
  EXPECT_EQ(*early, "load-lock-refused") << "the page took the pointer without a click";
  ClickAt(main, 160, 400);
  const auto taken = WaitMarker("click1-lock-");
  ASSERT_TRUE(taken) << Describe();
  ASSERT_EQ(*taken, "click1-lock-taken");
  input_->Key(main, "Escape");
  ASSERT_TRUE(WaitForRequest(Marker("click1-lock-released"))) << "Escape did not give the pointer back" << Describe();
  // The agent's next click reaches the page again.
  ClickAt(main, 160, 400);
  EXPECT_TRUE(WaitForRequest(Marker("click2-lock-taken"))) << Describe();
}

class AdvertisementDevicesTest : public AdvertisementTest {};

TEST_F(AdvertisementDevicesTest, TheAdvertisementGetsNeitherTheDevicesNorThePointerNorAQuestion) {
  AdServer ad(dir_.Sub("ad"), adPort_,
              "<!DOCTYPE html><html><head><title>ad</title><style>html,body{margin:0;overflow:hidden}"
              "#a{position:fixed;inset:0;background:#f60}</style></head><body><div id=\"a\">ad</div><script>"
              "function report(t) { fetch('report?' + t); }"
              "var media = navigator.mediaDevices, a = document.getElementById('a');"
              "(media && media.getUserMedia ? media.getUserMedia({audio: true, video: true}).then("
              "  function (s) { return 'live' + s.getTracks().length; }, function (e) { return e.name; })"
              "  : Promise.resolve('unsupported')).then(function (got) { report('load-' + got); });"
              "document.addEventListener('pointerlockchange', function () { report('click-lock-taken'); });"
              "document.addEventListener('pointerlockerror', function () { report('click-lock-refused'); });"
              "a.addEventListener('click', function () { var p = a.requestPointerLock();"
              "  if (p && p.catch) p.catch(function () {}); });"
              "</script></body></html>");
  StartX(true);
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro({{"TAVRO_MOCK_CAPTURE_DEVICES", "1"}});
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.find(TAVRO_TITLE_MARKER) != std::string::npos; },
                             60s))
      << app_->Caption();
  ASSERT_TRUE(ad.WaitRequest("/report?load-")) << ad.Requests();
  EXPECT_EQ(ad.Requests().find("/report?load-live"), std::string::npos) << ad.Requests();
  const auto [x, y] = ToRoot(main, 30, 700);
  input_->Click(x, y);
  ASSERT_TRUE(ad.WaitRequest("/report?click-lock-")) << ad.Requests();
  EXPECT_NE(ad.Requests().find("/report?click-lock-refused"), std::string::npos) << ad.Requests();
  EXPECT_EQ(ad.Requests().find("/report?click-lock-taken"), std::string::npos) << ad.Requests();
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "a question for the advertisement";
}

}  // namespace
}  // namespace tavro::browser
