#include "e2e_fixture.h"

#include <algorithm>
#include <iostream>
#include <regex>

#include "tavro_config.h"

namespace tavro::e2e {
namespace fs = std::filesystem;

std::optional<int> AdPagePort() {
  static const std::regex pattern(R"(^http://127\.0\.0\.1:([0-9]{1,5})/ad\.html$)");
  std::smatch m;
  const std::string url = TAVRO_AD_PAGE_URL;
  if (!std::regex_match(url, m, pattern)) return std::nullopt;
  const int port = std::stoi(m[1].str());
  if (port <= 0 || port > 65535) return std::nullopt;
  return port;
}

std::string ComparePicture(const RgbImage& shot, const DecodedPicture& picture, int left, int top, int step,
                           const std::vector<Rect>& skip, int minX, int maxX) {
  int compared = 0, wrong = 0;
  std::string first;
  for (int y = 0; y < picture.image.Height(); y += step) {
    for (int x = 0; x < picture.image.Width(); x += step) {
      const int sx = left + x, sy = top + y;
      if (!picture.Opaque(x, y) || !shot.Contains(sx, sy) || sx < minX || sx > maxX) continue;
      if (std::any_of(skip.begin(), skip.end(), [&](const Rect& r) { return r.Contains(sx, sy); })) continue;
      ++compared;
      if (!Near(shot.Pixel(sx, sy), picture.image.Pixel(x, y), 3)) {
        if (++wrong == 1)
          first = " first at (" + std::to_string(sx) + "," + std::to_string(sy) + "): " +
                  ToString(shot.Pixel(sx, sy)) + " instead of " + ToString(picture.image.Pixel(x, y));
      }
    }
  }
  if (compared < 20) return "only " + std::to_string(compared) + " pixels to compare";
  if (wrong == 0) return {};
  return std::to_string(wrong) + " of " + std::to_string(compared) + " pixels differ;" + first;
}

DecodedPicture MinimisePicture() {
  return DecodeGif(fs::path(TAVRO_SOURCE_DIR) / "app/form/images/minimize.gif");
}

void AdPageTest::SetUp() {
  port_ = AdPagePort();
  if (!port_)
    GTEST_SKIP() << "tavro was built with TAVRO_AD_PAGE_URL=" << TAVRO_AD_PAGE_URL
                 << ", which is not http://127.0.0.1:PORT/ad.html, so the advertisement page cannot be served "
                    "here (configure with -DTAVRO_AD_PAGE_URL=http://127.0.0.1:29517/ad.html)";
}

void TavroE2eTest::TearDown() {
  if (HasFailure()) {
    if (x_) {
      try {
        SaveShot("failure", x_->Screenshot());
      } catch (const std::exception& e) {
        std::cout << "[ e2e ] no screenshot: " << e.what() << "\n";
      }
    }
    if (app_) std::cout << "[ e2e ] tavro stderr:\n" << app_->Proc().Stderr() << "\n";
    if (site_) std::cout << "[ e2e ] site log:" << Describe() << "\n";
  }
  // The program goes first, then the site it talks to, then the display it shows on.
  app_.reset();
  input_.reset();
  site_.reset();
  x_.reset();
}

void TavroE2eTest::StartX(bool windowManager) {
  XServerOptions options;
  options.windowManager = windowManager;
  StartX(options);
}

void TavroE2eTest::StartX(XServerOptions options) {
  x_ = std::make_unique<XServer>(dir_.Sub("x"), std::move(options));
  input_ = std::make_unique<Input>(*x_, dir_.Sub("input"));
}

void TavroE2eTest::StartSite(int port, std::optional<int> autoLoginMs) {
  DemoSiteOptions options;
  options.port = port;
  options.autoLoginMs = autoLoginMs;
  options.binary = KEFU_SITE_BIN;
  site_ = std::make_unique<DemoSite>(dir_.Sub("site"), options);
}

void TavroE2eTest::WriteAddressFile(const std::string& bytes) { WriteFileBytes(work_ / "url.txt", bytes); }

void TavroE2eTest::PrepareWorkingFolder() { PrepareWorkingFolder(site_->BaseUrl()); }

void TavroE2eTest::PrepareWorkingFolder(const std::string& address) {
  WriteAddressFile(address);
  CopySampleImages(work_);
}

void TavroE2eTest::StartTavro(std::map<std::string, std::string> env) {
  TavroOptions options;
  options.binary = TAVRO_BIN;
  options.workingDir = work_;
  options.home = home_;
  options.logDir = dir_.Sub("logs-" + std::to_string(++runs_));
  options.env = std::move(env);
  options.mainSize = mainSize_;
  options.mainSizeSlack = mainSizeSlack_;
  app_ = std::make_unique<TavroApp>(*x_, options);
}

void TavroE2eTest::StartTavroUnder(const std::vector<std::string>& prefix) {
  TavroOptions options;
  options.binary = prefix.at(0);
  options.args.assign(prefix.begin() + 1, prefix.end());
  options.args.push_back(TAVRO_BIN);
  options.workingDir = work_;
  options.home = home_;
  options.logDir = dir_.Sub("logs-" + std::to_string(++runs_));
  app_ = std::make_unique<TavroApp>(*x_, options);
  if (!app_->FollowChild("tavro", 30s)) throw std::runtime_error("tavro did not start under " + prefix[0]);
}

void TavroE2eTest::StopTavro() {
  if (app_) app_->Proc().Stop(2s);
  app_.reset();
}

std::vector<SiteRequest> TavroE2eTest::PageRequests() const {
  std::vector<SiteRequest> out;
  for (auto& r : site_->Requests())
    if (r.target != "/favicon.ico") out.push_back(r);
  return out;
}

std::size_t TavroE2eTest::CountRequests(const std::string& target) const {
  std::size_t n = 0;
  for (const auto& r : site_->Requests())
    if (r.target == target) ++n;
  return n;
}

std::string TavroE2eTest::Describe() const {
  std::string out;
  for (const auto& r : site_->Requests()) out += "\n  " + r.method + " " + r.target + " " + r.session;
  return out.empty() ? " (none)" : out;
}

std::string TavroE2eTest::ConsoleSession() const {
  for (const auto& r : site_->Requests())
    if (r.method == "GET" && r.target == "/kefu/index.php" && r.session != "-") return r.session;
  return {};
}

XWindow TavroE2eTest::MainWindowMapped() {
  const auto main = app_->WaitMainWindowMapped(60s);
  if (!main) {
    ADD_FAILURE() << "the main window was never mapped; stderr: " << app_->Proc().Stderr();
    throw std::runtime_error("no main window");
  }
  return *main;
}

bool TavroE2eTest::WaitForCaption(const std::function<bool(const std::string&)>& wanted,
                                  std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return wanted(app_->Caption()); }, timeout, 10ms);
}

bool TavroE2eTest::WaitForCaption(const std::string& wanted, std::chrono::milliseconds timeout) {
  return WaitForCaption([&](const std::string& c) { return c == wanted; }, timeout);
}

bool TavroE2eTest::WaitForCaptionChange(std::chrono::milliseconds timeout) {
  const std::string now = app_->Caption();
  return WaitForCaption([&](const std::string& c) { return c != now; }, timeout);
}

std::pair<int, int> TavroE2eTest::ToRoot(XWindow window, int x, int y) {
  const auto g = x_->Geometry(window);
  if (!g) throw std::runtime_error("the window is gone");
  return {g->x + x, g->y + y};
}

RgbImage TavroE2eTest::WindowShot(XWindow window) {
  const auto g = x_->Geometry(window);
  if (!g) return {};
  return x_->Screenshot(g->x, g->y, g->width, g->height);
}

std::string TavroE2eTest::WaitForPicture(XWindow window, const DecodedPicture& picture, int left, int top,
                                         std::chrono::milliseconds timeout) {
  std::string mismatch = "no screenshot";
  RgbImage shot;
  const bool shown = WaitUntil(
      [&] {
        shot = WindowShot(window);
        mismatch = ComparePicture(shot, picture, left, top, 1);
        return mismatch.empty();
      },
      timeout, 20ms);
  if (!shown) SaveShot("picture", shot);
  return mismatch;
}

XWindow TavroE2eTest::AskToExit(XWindow main, const std::function<void()>& ask) {
  const std::vector<XWindow> before = app_->Dialogs();
  if (ask) {
    ask();
  } else {
    const auto [x, y] = ToRoot(main, 290, 10);
    input_->Click(x, y);
  }
  std::optional<XWindow> question;
  WaitUntil(
      [&] {
        for (XWindow w : app_->Dialogs())
          if (std::find(before.begin(), before.end(), w) == before.end() && x_->Title(w) == TAVRO_DISPLAY_NAME)
            question = w;
        return question.has_value();
      },
      40s);
  if (!question) {
    ADD_FAILURE() << "no exit question";
    throw std::runtime_error("no exit question");
  }
  return *question;
}

void TavroE2eTest::AnswerOkAndExpectEnd(XWindow box, int code, bool afterTheLogoutWait) {
  const auto beforeKey = Clock::now();
  input_->Key(box, "Return");
  const auto afterKey = Clock::now();
  const auto ended = app_->Proc().Wait(30s);
  if (!ended) {
    ADD_FAILURE() << "still running 30 s after OK";
    throw std::runtime_error("tavro did not end");
  }
  EXPECT_EQ(*ended, code);
  EXPECT_FALSE(app_->Proc().Signalled());
  if (!afterTheLogoutWait) return;
  // The key went out between beforeKey and afterKey: the bounds hold for any moment in between.
  const auto atMost = MillisBetween(beforeKey, app_->Proc().ExitTime());
  const auto atLeast = MillisBetween(afterKey, app_->Proc().ExitTime());
  std::cout << "[ e2e ] Return on the exit question to process exit: " << atLeast << "-" << atMost << " ms\n";
  EXPECT_GE(atMost, 1000) << "ended before its second of waiting";
  EXPECT_LE(atLeast, 1500) << "took too long to end";
}

fs::path TavroE2eTest::SaveShot(const std::string& what, const RgbImage& image) const {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "e2e";
  std::replace(name.begin(), name.end(), '/', '-');
  const fs::path path = ShotDir() / (name + "-" + what + ".ppm");
  image.SavePpm(path);
  std::cout << "[ e2e ] screenshot: " << path.string() << "\n";
  return path;
}

}  // namespace tavro::e2e
