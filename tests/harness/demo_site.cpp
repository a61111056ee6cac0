#include "demo_site.h"

#include <httplib.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "wait.h"

namespace tavro::test {
namespace fs = std::filesystem;

std::vector<SiteRequest> ParseRequestLog(const std::string& text) {
  std::vector<SiteRequest> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    SiteRequest r;
    std::string extra;
    if ((fields >> r.method >> r.target >> r.session) && !(fields >> extra)) out.push_back(r);
  }
  return out;
}

namespace {

// The states (kernel codes: 01 established, 06 time-wait, 0A listening, ...) of the TCP
// sockets whose local port is this one.
std::vector<std::string> LocalPortStates(int port) {
  std::vector<std::string> states;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::istringstream lines(ReadFile(table));
    std::string line;
    std::getline(lines, line);  // column names
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      if (!(fields >> slot >> local >> remote >> state)) continue;
      const auto colon = local.rfind(':');
      if (colon != std::string::npos && std::stoi(local.substr(colon + 1), nullptr, 16) == port)
        states.push_back(state);
    }
  }
  return states;
}

// The site's server binds with SO_REUSEPORT, so starting it on a port that another server
// listens on would succeed and split the requests between the two: that must be seen first.
bool SomeoneListens(int port) {
  const auto states = LocalPortStates(port);
  return std::find(states.begin(), states.end(), "0A") != states.end();
}

}  // namespace

DemoSite::DemoSite(const fs::path& dir, DemoSiteOptions options) : log_(dir / "requests.log") {
  fs::create_directories(dir);
  ProcessOptions p;
  p.argv = {options.binary.empty() ? std::string(KEFU_SITE_BIN) : options.binary.string(), "--port",
            std::to_string(options.port), "--log", log_.string()};
  if (options.autoLoginMs) {
    p.argv.push_back("--auto-login");
    p.argv.push_back(std::to_string(*options.autoLoginMs));
  }
  if (!options.marker.empty()) {
    p.argv.push_back("--marker");
    p.argv.push_back(options.marker);
  }
  p.stdoutPath = dir / "site.out";
  p.stderrPath = dir / "site.err";

  // A fixed port may be held for a while: by a server that is going away, or as the local end
  // of a client connection (the port lies in the range the system hands out to those), which
  // blocks it for the minute of TIME_WAIT after closing. The test waits that out.
  const auto deadline = Clock::now() + (options.port != 0 ? 70s : 0s);
  bool taken = false;
  for (;;) {
    taken = options.port != 0 && SomeoneListens(options.port);
    if (!taken) {
      process_ = std::make_unique<Process>(p);
      std::string first;
      WaitUntil(
          [&] {
            first = process_->Stdout();
            return first.find('\n') != std::string::npos || !process_->Running();
          },
          15s, 10ms);
      const auto eol = first.find('\n');
      if (eol != std::string::npos) port_ = std::atoi(first.substr(0, eol).c_str());
      if (port_ > 0) return;
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(250ms);
  }
  if (taken)
    throw std::runtime_error("127.0.0.1:" + std::to_string(options.port) +
                             " is in use by another program; the demo site needs it to itself");
  std::string states;
  if (options.port != 0)
    for (const auto& st : LocalPortStates(options.port)) states += " " + st;
  throw std::runtime_error("kefu-site did not report its port (port " + std::to_string(options.port) +
                           "; sockets on it in the states:" + (states.empty() ? " none" : states) +
                           "): " + (process_ ? process_->Stderr() : std::string()));
}

DemoSite::~DemoSite() {
  if (process_) process_->Stop(3s);
}

std::string DemoSite::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<SiteRequest> DemoSite::Requests() const { return ParseRequestLog(ReadFile(log_)); }

HttpAnswer DemoSite::Get(const std::string& target, const std::string& sessionId) const {
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(5);
  client.set_read_timeout(10);
  httplib::Headers headers;
  if (!sessionId.empty()) headers.emplace("Cookie", "KEFUSESSID=" + sessionId);
  const auto r = client.Get(target, headers);
  if (!r) return {};
  return HttpAnswer{r->status, r->body};
}

}  // namespace tavro::test
