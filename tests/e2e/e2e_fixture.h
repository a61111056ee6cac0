// What every end-to-end test sets up: a temporary folder, a private X server, the demo site and
// tavro started in the folder, plus the checks several tests share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "demo_site.h"
#include "image.h"
#include "input.h"
#include "tavro_app.h"
#include "temp_dir.h"
#include "wait.h"
#include "x_server.h"

namespace tavro::e2e {

using namespace tavro::test;

// The port of the advertisement address compiled into tavro, when it is http://127.0.0.1:PORT/ad.html.
std::optional<int> AdPagePort();

// Mismatches between a picture and the screenshot at (left, top), counted over the picture's
// opaque pixels (every step-th column and row), skipping the given rectangles of the screenshot
// and the columns outside [minX, maxX]; empty when they agree.
std::string ComparePicture(const RgbImage& shot, const DecodedPicture& picture, int left, int top, int step,
                           const std::vector<Rect>& skip = {}, int minX = 0, int maxX = 1 << 20);

// The stored minimise picture, which the logged-in layout shows at (253, 0).
DecodedPicture MinimisePicture();

class TavroE2eTest : public ::testing::Test {
 protected:
  explicit TavroE2eTest(const std::string& dirPrefix = "tavro-e2e") : dir_(dirPrefix) {}
  void TearDown() override;

  void StartX(bool windowManager = false);
  // An X server of the options' size and resolution.
  void StartX(XServerOptions options);
  // The demo site on the port (0: a free one), signing in by itself when autoLoginMs is given.
  void StartSite(int port = 0, std::optional<int> autoLoginMs = std::nullopt);
  // Writes url.txt with exactly these bytes.
  void WriteAddressFile(const std::string& bytes);
  // url.txt naming the demo site (or holding the address given), and the two pictures of the
  // logged-in layout.
  void PrepareWorkingFolder();
  void PrepareWorkingFolder(const std::string& address);
  // tavro in the working folder, with more environment when given; each run logs apart.
  void StartTavro(std::map<std::string, std::string> env = {});
  // Tavro started by another program (a tracer): `prefix` is that program and its arguments.
  void StartTavroUnder(const std::vector<std::string>& prefix);
  // Ends tavro (its whole process group) so another can start in the same test.
  void StopTavro();

  // Requests in the site's log, without favicon look-ups (WebKit may make those by itself).
  std::vector<SiteRequest> PageRequests() const;
  // Requests for this target in the site's log.
  std::size_t CountRequests(const std::string& target) const;
  // The site's log, one request a line, for failure messages.
  std::string Describe() const;
  // The session id of the first console page request, or empty.
  std::string ConsoleSession() const;

  // The main window once it is viewable; fails the test otherwise.
  XWindow MainWindowMapped();
  // Waits for the caption to satisfy the predicate (or to be the text); false on time-out.
  bool WaitForCaption(const std::function<bool(const std::string&)>& wanted, std::chrono::milliseconds timeout);
  bool WaitForCaption(const std::string& wanted, std::chrono::milliseconds timeout);
  // Waits for the caption to change from what it is now; false on time-out.
  bool WaitForCaptionChange(std::chrono::milliseconds timeout);
  // A point of the main window on the root window.
  std::pair<int, int> ToRoot(XWindow window, int x, int y);
  // The main window's pixels.
  RgbImage WindowShot(XWindow window);
  // Waits until the window shows the picture at (left, top); the last mismatch otherwise.
  std::string WaitForPicture(XWindow window, const DecodedPicture& picture, int left, int top,
                             std::chrono::milliseconds timeout);

  // Asks tavro to exit, by a click on the close button or else by `ask`, and waits for the exit
  // question: a box of tavro's titled with the display name that was not up before. Fails the
  // test (and throws) when none comes within 40 s (a window manager on a loaded machine).
  XWindow AskToExit(XWindow main, const std::function<void()>& ask = {});
  // OK (Return) on a box that ends tavro, the exit question or a report: tavro must end by itself
  // within 30 s with `code` (fails the test and throws otherwise); with `afterTheLogoutWait`, a
  // second after the key (1000 to 1500 ms).
  void AnswerOkAndExpectEnd(XWindow box, int code, bool afterTheLogoutWait = false);

  // Keeps an image for looking at after a failure; returns its path.
  std::filesystem::path SaveShot(const std::string& what, const RgbImage& image) const;

  TempDir dir_;
  std::filesystem::path work_ = dir_.Sub("work");
  std::filesystem::path home_ = dir_.Sub("home");
  std::unique_ptr<XServer> x_;
  std::unique_ptr<DemoSite> site_;
  std::unique_ptr<TavroApp> app_;
  std::unique_ptr<Input> input_;
  int runs_ = 0;
  // The size tavro's main window has on the X server (see TavroOptions).
  std::pair<int, int> mainSize_{kMainWidth, kMainHeight};
  int mainSizeSlack_ = 0;
};

// Tests that need the advertisement page served on the port compiled into tavro. They hold the
// ad_port lock, so they run one at a time; they are skipped when that address is not local.
class AdPageTest : public TavroE2eTest {
 protected:
  void SetUp() override;
  std::optional<int> port_;
};

}  // namespace tavro::e2e
