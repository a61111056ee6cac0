// The advertisement's server and the recording desktop browser of the hostile-page tests.
#include "hostile_pages.h"

namespace tavro::browser {

std::optional<int> AdPort() {
  const std::string url = TAVRO_AD_PAGE_URL;
  const std::string prefix = "http://127.0.0.1:";
  if (!StartsWith(url, prefix) || url.size() < prefix.size() + 9 || url.substr(url.size() - 8) != "/ad.html")
    return std::nullopt;
  return std::stoi(url.substr(prefix.size()));
}

AdServer::AdServer(const std::filesystem::path& dir, int port, const std::string& html) : dir_(dir) {
  const auto root = dir / "root";
  std::filesystem::create_directories(root);
  WriteFileBytes(root / "ad.html", html);
  WriteFileBytes(root / "file.bin", "not for the agent\n");
  ProcessOptions p;
  p.argv = {"/usr/bin/python3", "-u", "-m", "http.server", std::to_string(port), "--bind", "127.0.0.1",
            "--directory", root.string()};
  p.stdoutPath = dir / "out.log";
  p.stderrPath = dir / "requests.log";
  // Another build's test may hold the port for a while yet.
  const bool serving = WaitUntil(
      [&] {
        server_ = std::make_unique<Process>(p);
        const bool up = WaitUntil(
            [&] { return ReadFile(p.stdoutPath).find("Serving") != std::string::npos || !server_->Running(); }, 10s);
        if (up && server_->Running()) return true;
        server_.reset();
        return false;
      },
      90s, 1s);
  if (!serving) throw std::runtime_error("the ad server did not start: " + ReadFile(p.stderrPath));
}

AdServer::~AdServer() {
  if (server_) server_->Stop(2s);
}

std::string AdServer::Requests() const { return ReadFile(dir_ / "requests.log"); }

bool AdServer::WaitRequest(const std::string& path, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Requests().find("GET " + path) != std::string::npos; }, timeout);
}

std::filesystem::path InstallRecordingDesktopBrowser(const std::filesystem::path& home,
                                                     const std::filesystem::path& dir) {
  const auto opened = dir / "opened.log";
  const auto script = dir / "browser.sh";
  std::filesystem::create_directories(dir);
  WriteFileBytes(script, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened.string() + "'\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  const auto apps = home / "data" / "applications";
  std::filesystem::create_directories(apps);
  WriteFileBytes(apps / "test-browser.desktop",
                 "[Desktop Entry]\nType=Application\nName=Test Browser\nExec=" + script.string() +
                     " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;text/html;\nNoDisplay=true\n");
  std::filesystem::create_directories(home / "config");
  WriteFileBytes(home / "config" / "mimeapps.list",
                 "[Default Applications]\nx-scheme-handler/http=test-browser.desktop\n"
                 "x-scheme-handler/https=test-browser.desktop\ntext/html=test-browser.desktop\n");
  return opened;
}

}  // namespace tavro::browser
