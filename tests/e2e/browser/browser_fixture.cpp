#include "browser_fixture.h"

#include <dirent.h>
#include <signal.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace tavro::browser {
namespace fs = std::filesystem;

// ---------------------------------------------------------------- web processes

namespace {

std::optional<pid_t> ParentOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("PPid:", 0) == 0) return static_cast<pid_t>(std::stol(line.substr(5)));
  return std::nullopt;
}

std::string CommandOf(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

bool IsBelow(pid_t pid, pid_t ancestor) {
  for (int depth = 0; depth < 8; ++depth) {
    const auto parent = ParentOf(pid);
    if (!parent || *parent <= 1) return false;
    if (*parent == ancestor) return true;
    pid = *parent;
  }
  return false;
}

std::vector<pid_t> AllPids() {
  std::vector<pid_t> out;
  DIR* proc = opendir("/proc");
  if (!proc) return out;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid > 0 && !*end) out.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return out;
}

// Process id, name and state of everything below the process, for failure reports.
std::string DescribeProcessesBelow(pid_t ancestor) {
  std::string out;
  for (pid_t pid : AllPids()) {
    if (!IsBelow(pid, ancestor)) continue;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string state;
    for (std::string line; std::getline(status, line);)
      if (line.rfind("State:", 0) == 0) state = line.substr(6);
    std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
    std::string waiting;
    std::getline(wchan, waiting);
    out += "\n  " + std::to_string(pid) + " " + CommandOf(pid) + " " + state + " in " + waiting;
  }
  return out.empty() ? " (none)" : out;
}

}  // namespace

std::vector<pid_t> WebProcessesOf(pid_t ancestor) {
  std::vector<pid_t> out;
  // The kernel cuts names at 15 characters: "WebKitWebProces".
  for (pid_t pid : AllPids())
    if (CommandOf(pid).rfind("WebKitWebProc", 0) == 0 && IsBelow(pid, ancestor)) out.push_back(pid);
  return out;
}

long TreePssKb(pid_t ancestor) {
  long total = 0;
  for (pid_t pid : AllPids()) {
    if (pid != ancestor && !IsBelow(pid, ancestor)) continue;
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);)
      if (line.rfind("Pss:", 0) == 0) total += std::stol(line.substr(4));
  }
  return total;
}

long PssKb(pid_t pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  for (std::string line; std::getline(rollup, line);)
    if (line.rfind("Pss:", 0) == 0) return std::stol(line.substr(4));
  return 0;
}

// ---------------------------------------------------------------- TLS server

namespace {

constexpr char kTlsServerScript[] = R"PY(
import http.server, socket, ssl, sys
cert, key, log_path, title = sys.argv[1:5]
log = open(log_path, "a", buffering=1)

class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        log.write("GET %s\n" % self.path)
        body = ("<!DOCTYPE html><html><head><meta charset=utf-8><title>%s</title></head>"
                "<body>secret</body></html>" % title).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass

class Server(http.server.ThreadingHTTPServer):
    def get_request(self):
        try:
            return super().get_request()
        except OSError as e:
            log.write("HANDSHAKE %s\n" % (getattr(e, "reason", None) or type(e).__name__))
            raise

server = Server(("127.0.0.1", 0), Page)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
)PY";

}  // namespace

TlsServer::TlsServer(const fs::path& dir, const std::string& pageTitle) : log_(dir / "tls.log") {
  fs::create_directories(dir);
  ProcessOptions req;
  req.argv = {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
              "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
              "-keyout", (dir / "key.pem").string(), "-out", (dir / "cert.pem").string()};
  req.stdoutPath = dir / "openssl.log";
  req.stderrPath = dir / "openssl.log";
  if (RunToEnd(req, 60s) != 0) throw std::runtime_error("openssl failed: " + ReadFile(dir / "openssl.log"));
  WriteFileBytes(dir / "server.py", kTlsServerScript);
  WriteFileBytes(log_, "");
  ProcessOptions p;
  p.argv = {"/usr/bin/python3", (dir / "server.py").string(), (dir / "cert.pem").string(),
            (dir / "key.pem").string(), log_.string(), pageTitle};
  p.stdoutPath = dir / "server.out";
  p.stderrPath = dir / "server.err";
  process_ = std::make_unique<Process>(p);
  std::string first;
  WaitUntil(
      [&] {
        first = process_->Stdout();
        return first.find('\n') != std::string::npos || !process_->Running();
      },
      20s, 20ms);
  port_ = std::atoi(first.c_str());
  if (port_ <= 0) throw std::runtime_error("the TLS server did not start: " + ReadFile(dir / "server.err"));
}

TlsServer::~TlsServer() {
  if (process_) process_->Stop(2s);
}

std::string TlsServer::Log() const { return ReadFile(log_); }

// ---------------------------------------------------------------- the fixture

void BrowserTest::TearDown() {
  if (HasFailure() && app_)
    std::cout << "[ browser ] processes below tavro:" << DescribeProcessesBelow(app_->Pid()) << "\n";
  TavroE2eTest::TearDown();
}

void BrowserTest::AddressLabPage(const std::string& pathAndQuery) {
  PrepareWorkingFolder(site_->BaseUrl() + pathAndQuery + "#");
}

std::vector<XWindow> BrowserTest::WindowsTitled(const std::function<bool(const std::string&)>& wanted) {
  std::vector<XWindow> out;
  for (XWindow w : app_->Dialogs())
    if (wanted(x_->Title(w))) out.push_back(w);
  return out;
}

std::optional<XWindow> BrowserTest::WaitWindowTitled(const std::function<bool(const std::string&)>& wanted,
                                                     std::chrono::milliseconds timeout) {
  std::optional<XWindow> found;
  WaitUntil(
      [&] {
        const auto windows = WindowsTitled(wanted);
        if (!windows.empty()) found = windows.front();
        return found.has_value();
      },
      timeout, 20ms);
  return found;
}

}  // namespace tavro::browser
