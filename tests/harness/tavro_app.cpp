#include "tavro_app.h"

#include <sys/stat.h>

#include <cstdlib>

#include "wait.h"

namespace tavro::test {
namespace fs = std::filesystem;

TavroApp::TavroApp(XServer& x, TavroOptions options) : x_(x), mainSize_(options.mainSize), mainSizeSlack_(options.mainSizeSlack) {
  const fs::path home = options.home;
  for (const char* sub : {"config", "cache", "data", "runtime"}) fs::create_directories(home / sub);
  ::chmod((home / "runtime").c_str(), 0700);
  fs::create_directories(options.logDir);

  ProcessOptions p;
  p.argv = {options.binary.empty() ? std::string(TAVRO_BIN) : options.binary.string()};
  p.argv.insert(p.argv.end(), options.args.begin(), options.args.end());
  p.workingDir = options.workingDir;
  p.stdoutPath = options.logDir / "tavro.out";
  p.stderrPath = options.logDir / "tavro.err";
  p.env = {
      {"DISPLAY", x.DisplayName()},
      {"HOME", home.string()},
      {"XDG_CONFIG_HOME", (home / "config").string()},
      {"XDG_CACHE_HOME", (home / "cache").string()},
      {"XDG_DATA_HOME", (home / "data").string()},
      {"XDG_RUNTIME_DIR", (home / "runtime").string()},
      {"LANG", "C.UTF-8"},
      // No session bus: nothing is autolaunched that would outlive the test.
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home / "runtime" / "no-bus").string()},
      {"NO_AT_BRIDGE", "1"},
  };
  for (const auto& [name, value] : options.env) p.env[name] = value;
  p.unsetEnv = {"LC_ALL", "LANGUAGE", "WAYLAND_DISPLAY", "SESSION_MANAGER"};
  process_ = std::make_unique<Process>(p);
}

TavroApp::~TavroApp() = default;

std::vector<XWindow> TavroApp::Windows() { return x_.WindowsOf(windowsOf_ ? windowsOf_ : Pid(), "tavro"); }

bool TavroApp::FollowChild(const std::string& name, std::chrono::milliseconds timeout) {
  return WaitUntil(
      [&] {
        std::error_code ec;
        for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
          const std::string stat = ReadFile(it->path() / "stat");
          const auto close = stat.rfind(')');
          if (close == std::string::npos || stat.find("(" + name + ")") == std::string::npos) continue;
          if (std::atoi(stat.c_str() + close + 4) != Pid()) continue;
          windowsOf_ = static_cast<pid_t>(std::atol(it->path().filename().c_str()));
          return true;
        }
        return false;
      },
      timeout);
}

std::optional<XWindow> TavroApp::MainWindow() {
  for (XWindow w : Windows()) {
    const auto g = x_.Geometry(w);
    if (g && std::abs(g->width - mainSize_.first) <= mainSizeSlack_ &&
        std::abs(g->height - mainSize_.second) <= mainSizeSlack_)
      return w;
  }
  return std::nullopt;
}

std::vector<XWindow> TavroApp::Dialogs() {
  const auto main = MainWindow();
  std::vector<XWindow> out;
  for (XWindow w : Windows())
    if (w != main && x_.State(w) == MapState::Viewable) out.push_back(w);
  return out;
}

std::optional<XWindow> TavroApp::WaitMainWindowMapped(std::chrono::milliseconds timeout) {
  std::optional<XWindow> found;
  WaitUntil(
      [&] {
        found = MainWindow();
        return found && x_.State(*found) == MapState::Viewable;
      },
      timeout);
  if (found && x_.State(*found) != MapState::Viewable) found.reset();
  return found;
}

std::optional<XWindow> TavroApp::WaitDialog(std::chrono::milliseconds timeout) {
  std::optional<XWindow> found;
  WaitUntil(
      [&] {
        const auto d = Dialogs();
        if (!d.empty()) found = d.front();
        return found.has_value();
      },
      timeout);
  return found;
}

std::string TavroApp::Caption() {
  const auto main = MainWindow();
  return main ? x_.Title(*main) : std::string();
}

}  // namespace tavro::test
