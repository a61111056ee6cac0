// What the tests of hostile pages share: pages of another origin (the demo site under localhost),
// the markers those pages ask for when their attempts are over, the windows tavro shows for them
// and a server for the advertisement.
#pragma once

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "browser_fixture.h"
#include "tavro_config.h"

namespace tavro::browser {

inline bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class HostilePageTest : public BrowserTest {
 protected:
  static constexpr char kNotice[] = "已阻止 ";

  // The demo site under another origin: same server, host localhost instead of 127.0.0.1.
  std::string OtherOrigin() const { return "http://localhost:" + std::to_string(site_->Port()); }

  std::string Marker(const std::string& name) const { return "/kefu/lab/title.php?t=" + name; }
  bool WaitForRequest(const std::string& target, std::chrono::milliseconds timeout = 30s) {
    return WaitUntil([&] { return CountRequests(target) > 0; }, timeout);
  }
  std::size_t CountRequestsStartingWith(const std::string& prefix) const {
    const auto requests = site_->Requests();
    return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(),
                                                  [&](const SiteRequest& r) { return StartsWith(r.target, prefix); }));
  }

  // A window of a page of the other origin: its title ends with that origin.
  std::optional<XWindow> WaitOtherOriginWindow(const std::string& pageTitle, std::chrono::milliseconds timeout = 30s) {
    const std::string wanted = pageTitle + " — " + OtherOrigin();
    return WaitWindowTitled([&](const std::string& t) { return t == wanted; }, timeout);
  }
  std::vector<XWindow> Notices() {
    return WindowsTitled([](const std::string& t) { return StartsWith(t, kNotice); });
  }
  std::optional<XWindow> WaitNotice(std::chrono::milliseconds timeout = 10s) {
    return WaitWindowTitled([](const std::string& t) { return StartsWith(t, kNotice); }, timeout);
  }
  // Tavro's windows for pages and their boxes, without the notices.
  std::vector<XWindow> PageWindowsAndBoxes() {
    return WindowsTitled([](const std::string& t) { return !StartsWith(t, kNotice); });
  }

  void ClickAt(XWindow window, int x, int y) {
    const auto [rx, ry] = ToRoot(window, x, y);
    input_->Click(rx, ry);
  }
  // The console's stand-in, whose click opens `path` of the other origin in a pop-up window.
  XWindow StartConsoleOpening(const std::string& path, const std::string& more = "") {
    StartX();
    StartSite();
    AddressLabPage("/kefu/lab/customer-link.html?to=" + path + more);
    StartTavro();
    const XWindow main = MainWindowMapped();
    if (!WaitForCaption("customer link", 30s)) throw std::runtime_error("console not ready: " + app_->Caption());
    ClickAt(main, 160, 400);
    return main;
  }

  // The boxes a page shows are modal boxes of tavro's that belong to the page's window.
  std::optional<XWindow> WaitBoxFor(XWindow owner, std::chrono::milliseconds timeout = 30s) {
    std::optional<XWindow> found;
    WaitUntil(
        [&] {
          for (XWindow w : PageWindowsAndBoxes())
            if (x_->TransientFor(w) == owner && x_->Title(w) == TAVRO_DISPLAY_NAME) found = w;
          return found.has_value();
        },
        timeout);
    return found;
  }
  bool WaitGone(XWindow window, std::chrono::milliseconds timeout = 10s) {
    return WaitUntil([&] { return x_->State(window) != MapState::Viewable; }, timeout);
  }
  // Ticks the box's "stop this page's dialogs" and closes it: the check box comes before OK.
  void StopDialogsWith(XWindow box) {
    input_->Key(box, "shift+Tab");
    input_->Key(box, "space");
    input_->Key(box, "Escape");
  }
};

// The advertisement page, served on the port compiled into tavro by a server of the test's own.
class AdServer {
 public:
  AdServer(const std::filesystem::path& dir, int port, const std::string& html);
  ~AdServer();
  AdServer(const AdServer&) = delete;
  AdServer& operator=(const AdServer&) = delete;
  std::string Requests() const;
  // Serves these bytes under the name as well.
  void Serve(const std::string& name, const std::string& bytes) const { WriteFileBytes(dir_ / "root" / name, bytes); }
  bool WaitRequest(const std::string& path, std::chrono::milliseconds timeout = 30s) const;

 private:
  std::filesystem::path dir_;
  std::unique_ptr<Process> server_;
};

// The port of the advertisement's address, if it is one on 127.0.0.1 that a test can serve.
std::optional<int> AdPort();

// Tests of the advertisement, served on the port compiled into tavro (the ad_port lock); skipped
// where that address is not one on 127.0.0.1.
class AdvertisementTest : public HostilePageTest {
 protected:
  void SetUp() override {
    const auto port = AdPort();
    if (!port) GTEST_SKIP() << "TAVRO_AD_PAGE_URL=" << TAVRO_AD_PAGE_URL << " is not served on 127.0.0.1 here";
    adPort_ = *port;
  }
  int adPort_ = 0;
};

// A desktop browser that only writes down the addresses handed to it; returns that list's file.
std::filesystem::path InstallRecordingDesktopBrowser(const std::filesystem::path& home,
                                                     const std::filesystem::path& dir);

}  // namespace tavro::browser
