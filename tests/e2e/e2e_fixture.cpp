#include "e2e_fixture.h"

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
    if (site_) {
      std::cout << "[ e2e ] site log:\n";
      for (const auto& r : site_->Requests()) std::cout << "  " << r.method << " " << r.target << " " << r.session << "\n";
    }
  }
  // The program goes first, then the site it talks to, then the display it shows on.
  app_.reset();
  input_.reset();
  site_.reset();
  x_.reset();
}

void TavroE2eTest::StartX(bool windowManager) {
  x_ = std::make_unique<XServer>(dir_.Sub("x"), XServerOptions{windowManager});
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

void TavroE2eTest::PrepareWorkingFolder() {
  WriteAddressFile(site_->BaseUrl());
  CopySampleImages(work_);
}

void TavroE2eTest::StartTavro() {
  TavroOptions options;
  options.binary = TAVRO_BIN;
  options.workingDir = work_;
  options.home = dir_.Sub("home");
  options.logDir = dir_.Sub("logs");
  app_ = std::make_unique<TavroApp>(*x_, options);
}

std::vector<SiteRequest> TavroE2eTest::PageRequests() const {
  std::vector<SiteRequest> out;
  for (auto& r : site_->Requests())
    if (r.target != "/favicon.ico") out.push_back(r);
  return out;
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

fs::path TavroE2eTest::SaveShot(const std::string& what, const RgbImage& image) const {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "e2e";
  const fs::path path = ShotDir() / (name + "-" + what + ".ppm");
  image.SavePpm(path);
  std::cout << "[ e2e ] screenshot: " << path.string() << "\n";
  return path;
}

}  // namespace tavro::e2e
