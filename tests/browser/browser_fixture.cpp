#include "browser_fixture.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <signal.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace tavro::browser {
namespace fs = std::filesystem;

// ---------------------------------------------------------------- XProbe

XProbe::XProbe(const std::string& display) {
  dpy_ = XOpenDisplay(display.c_str());
  if (!dpy_) throw std::runtime_error("cannot connect to " + display);
}

XProbe::~XProbe() {
  if (dpy_) XCloseDisplay(dpy_);
}

XWindow XProbe::TransientFor(XWindow w) {
  Window parent = 0;
  if (!XGetTransientForHint(dpy_, w, &parent)) return 0;
  return parent;
}

bool XProbe::Decorated(XWindow w) {
  const Atom hints = XInternAtom(dpy_, "_MOTIF_WM_HINTS", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy_, w, hints, 0, 5, False, AnyPropertyType, &type, &format, &count, &after, &data) !=
          Success ||
      !data) {
    return true;  // no hints: the window manager decorates it
  }
  const auto* fields = reinterpret_cast<const long*>(data);
  const bool decorated = count < 3 || !(fields[0] & 2) || fields[2] != 0;  // MWM_HINTS_DECORATIONS
  XFree(data);
  return decorated;
}

bool XProbe::HasIcon(XWindow w) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom icon = XInternAtom(dpy_, "_NET_WM_ICON", False);
  if (XGetWindowProperty(dpy_, w, icon, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after, &data) != Success)
    return false;
  if (data) XFree(data);
  return count >= 2;
}

bool XProbe::HasState(XWindow w, const std::string& state) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const Atom property = XInternAtom(dpy_, "_NET_WM_STATE", False);
  if (XGetWindowProperty(dpy_, w, property, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) !=
          Success ||
      !data)
    return false;
  const Atom wanted = XInternAtom(dpy_, state.c_str(), False);
  bool found = false;
  for (unsigned long i = 0; i < count; ++i)
    if (reinterpret_cast<const Atom*>(data)[i] == wanted) found = true;
  XFree(data);
  return found;
}

void XProbe::RequestClose(XWindow w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(dpy_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy_, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy_, w, False, NoEventMask, &e);
  XSync(dpy_, False);
}

XWindow XProbe::CreateWindow(int x, int y, int width, int height) {
  const int screen = DefaultScreen(dpy_);
  const Window w = XCreateSimpleWindow(dpy_, RootWindow(dpy_, screen), x, y, width, height, 0,
                                       BlackPixel(dpy_, screen), WhitePixel(dpy_, screen));
  XStoreName(dpy_, w, "another program");
  XMapRaised(dpy_, w);
  XSync(dpy_, False);
  return w;
}

void XProbe::Iconify(XWindow w) {
  XIconifyWindow(dpy_, w, DefaultScreen(dpy_));
  XSync(dpy_, False);
}

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
  if (HasFailure()) {
    if (x_) {
      try {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const fs::path path = ShotDir() / (std::string(info->test_suite_name()) + "." + info->name() + ".ppm");
        x_->Screenshot().SavePpm(path);
        std::cout << "[ browser ] screenshot: " << path.string() << "\n";
      } catch (const std::exception& e) {
        std::cout << "[ browser ] no screenshot: " << e.what() << "\n";
      }
    }
    if (app_) {
      std::cout << "[ browser ] tavro stderr:\n" << app_->Proc().Stderr() << "\n";
      std::cout << "[ browser ] processes below tavro:" << DescribeProcessesBelow(app_->Pid()) << "\n";
    }
    if (site_) std::cout << "[ browser ] site log:" << Describe() << "\n";
  }
  app_.reset();
  input_.reset();
  probe_.reset();
  site_.reset();
  x_.reset();
}

void BrowserTest::StartX(bool windowManager) {
  x_ = std::make_unique<XServer>(dir_.Sub("x"), XServerOptions{windowManager});
  probe_ = std::make_unique<XProbe>(x_->DisplayName());
  input_ = std::make_unique<Input>(*x_, dir_.Sub("input"));
}

void BrowserTest::StartSite(int port, std::optional<int> autoLoginMs) {
  DemoSiteOptions options;
  options.port = port;
  options.autoLoginMs = autoLoginMs;
  options.binary = KEFU_SITE_BIN;
  site_ = std::make_unique<DemoSite>(dir_.Sub("site"), options);
}

void BrowserTest::AddressLabPage(const std::string& pathAndQuery) {
  WriteAddressFile(site_->BaseUrl() + pathAndQuery + "#");
}

void BrowserTest::WriteAddressFile(const std::string& bytes) {
  WriteFileBytes(work_ / "url.txt", bytes);
  CopySampleImages(work_);
}

void BrowserTest::StartTavro(std::map<std::string, std::string> env) {
  TavroOptions options;
  options.binary = TAVRO_BIN;
  options.workingDir = work_;
  options.home = home_;
  options.logDir = dir_.Sub("logs-" + std::to_string(++runs_));
  options.env = std::move(env);
  app_ = std::make_unique<TavroApp>(*x_, options);
}

void BrowserTest::StopTavro() {
  if (app_) app_->Proc().Stop(2s);
  app_.reset();
}

XWindow BrowserTest::MainWindowMapped() {
  const auto main = app_->WaitMainWindowMapped(60s);
  if (!main) {
    ADD_FAILURE() << "the main window was never mapped; stderr: " << app_->Proc().Stderr();
    throw std::runtime_error("no main window");
  }
  return *main;
}

bool BrowserTest::WaitForCaption(const std::function<bool(const std::string&)>& wanted,
                                 std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return wanted(app_->Caption()); }, timeout, 20ms);
}

bool BrowserTest::WaitForCaption(const std::string& wanted, std::chrono::milliseconds timeout) {
  return WaitForCaption([&](const std::string& c) { return c == wanted; }, timeout);
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

std::pair<int, int> BrowserTest::ToRoot(XWindow window, int x, int y) {
  const auto g = x_->Geometry(window);
  if (!g) throw std::runtime_error("the window is gone");
  return {g->x + x, g->y + y};
}

std::size_t BrowserTest::CountRequests(const std::string& target) const {
  std::size_t n = 0;
  for (const auto& r : site_->Requests())
    if (r.target == target) ++n;
  return n;
}

std::string BrowserTest::Describe() const {
  std::string out;
  for (const auto& r : site_->Requests()) out += "\n  " + r.method + " " + r.target + " " + r.session;
  return out.empty() ? " (none)" : out;
}

}  // namespace tavro::browser
