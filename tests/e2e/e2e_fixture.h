// What every end-to-end test sets up: a temporary folder, a private X server, the demo site and
// tavro started in the folder, plus the checks several tests share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "demo_site.h"
#include "input.h"
#include "tavro_app.h"
#include "temp_dir.h"
#include "wait.h"
#include "x_server.h"

namespace tavro::e2e {

using namespace tavro::test;

// The port of the advertisement address compiled into tavro, when it is http://127.0.0.1:PORT/ad.html.
std::optional<int> AdPagePort();

class TavroE2eTest : public ::testing::Test {
 protected:
  void TearDown() override;

  void StartX(bool windowManager = false);
  // The demo site on the port (0: a free one), signing in by itself when autoLoginMs is given.
  void StartSite(int port = 0, std::optional<int> autoLoginMs = std::nullopt);
  // Writes url.txt with exactly these bytes.
  void WriteAddressFile(const std::string& bytes);
  // url.txt naming the demo site, and the two pictures of the logged-in layout.
  void PrepareWorkingFolder();
  void StartTavro();

  // Requests in the site's log, without favicon look-ups (WebKit may make those by itself).
  std::vector<SiteRequest> PageRequests() const;
  // The session id of the first console page request, or empty.
  std::string ConsoleSession() const;

  // The main window once it is viewable; fails the test otherwise.
  XWindow MainWindowMapped();
  // Waits for the caption to satisfy the predicate; false on time-out.
  bool WaitForCaption(const std::function<bool(const std::string&)>& wanted, std::chrono::milliseconds timeout);
  // A point of the main window on the root window.
  std::pair<int, int> ToRoot(XWindow window, int x, int y);
  // The main window's pixels.
  RgbImage WindowShot(XWindow window);

  // Keeps an image for looking at after a failure; returns its path.
  std::filesystem::path SaveShot(const std::string& what, const RgbImage& image) const;

  TempDir dir_{"tavro-e2e"};
  std::filesystem::path work_ = dir_.Sub("work");
  std::unique_ptr<XServer> x_;
  std::unique_ptr<DemoSite> site_;
  std::unique_ptr<TavroApp> app_;
  std::unique_ptr<Input> input_;
};

// Tests that need the advertisement page served on the port compiled into tavro. They hold the
// ad_port lock, so they run one at a time; they are skipped when that address is not local.
class AdPageTest : public TavroE2eTest {
 protected:
  void SetUp() override;
  std::optional<int> port_;
};

}  // namespace tavro::e2e
