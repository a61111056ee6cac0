#include "x_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <stdexcept>

#include "temp_dir.h"
#include "wait.h"

namespace tavro::test {
namespace {

namespace fs = std::filesystem;

// Windows of the program come and go under the tests' feet: a request on a window that has just
// been destroyed must fail quietly instead of ending the test process. Errors on other
// connections (GTK's own, in the gui tier) go to the handler that was there before.
std::set<Display*>& OwnConnections() {
  static std::set<Display*> connections;
  return connections;
}
XErrorHandler previousHandler = nullptr;

int IgnoreXError(Display* display, XErrorEvent* error) {
  if (OwnConnections().count(display) || !previousHandler) return 0;
  return previousHandler(display, error);
}

void InstallErrorHandler() {
  const XErrorHandler previous = XSetErrorHandler(IgnoreXError);
  if (previous != IgnoreXError) previousHandler = previous;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

int ShiftOf(unsigned long mask) {
  int shift = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

std::uint8_t Channel(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  const unsigned long v = (pixel & mask) >> ShiftOf(mask);
  const unsigned long max = mask >> ShiftOf(mask);
  return static_cast<std::uint8_t>(max == 255 ? v : v * 255 / max);
}

}  // namespace

const char* ToString(MapState state) {
  switch (state) {
    case MapState::Unmapped: return "unmapped";
    case MapState::Unviewable: return "unviewable";
    case MapState::Viewable: return "viewable";
    case MapState::Gone: return "gone";
  }
  return "?";
}

XServer::XServer(const fs::path& dir, XServerOptions options) : options_(std::move(options)), dir_(dir) {
  InstallErrorHandler();
  if (options_.display.empty()) {
    StartXvfb();
  } else {
    displayName_ = options_.display;
  }

  WaitUntil([&] { return (dpy_ = XOpenDisplay(displayName_.c_str())) != nullptr; }, 10s, 50ms);
  if (!dpy_) throw std::runtime_error("cannot connect to the X server on " + displayName_);
  OwnConnections().insert(dpy_);
  options_.width = DisplayWidth(dpy_, DefaultScreen(dpy_));
  options_.height = DisplayHeight(dpy_, DefaultScreen(dpy_));
  XSelectInput(dpy_, DefaultRootWindow(dpy_), SubstructureNotifyMask);
  XSync(dpy_, False);

  if (options_.dpi > 0) SetResolution(options_.dpi);
  if (options_.windowManager) StartWindowManager();
}

void XServer::SetResolution(int dpi) {
  const fs::path resources = dir_ / "Xresources";
  WriteFileBytes(resources, "Xft.dpi: " + std::to_string(dpi) + "\n");
  ProcessOptions xrdb;
  xrdb.argv = {"xrdb", "-nocpp", "-merge", resources.string()};
  xrdb.env = {{"DISPLAY", displayName_}};
  xrdb.stdoutPath = dir_ / "xrdb.log";
  xrdb.stderrPath = dir_ / "xrdb.log";
  if (RunToEnd(xrdb, 20s) != 0) throw std::runtime_error("xrdb could not set Xft.dpi: " + ReadFile(dir_ / "xrdb.log"));
}

void XServer::StartXvfb() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  ProcessOptions xvfb;
  xvfb.argv = {"Xvfb", "-displayfd", "3",
               "-screen", "0", std::to_string(options_.width) + "x" + std::to_string(options_.height) + "x24",
               "-nolisten", "tcp", "-noreset"};
  xvfb.passFd = fds[1];
  xvfb.stdoutPath = dir_ / "xvfb.log";
  xvfb.stderrPath = dir_ / "xvfb.log";
  try {
    xvfb_ = std::make_unique<Process>(xvfb);
  } catch (...) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw;
  }
  ::close(fds[1]);

  // Xvfb writes the display number once it accepts connections.
  std::string number;
  const auto deadline = Clock::now() + 30s;
  while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) {
      char buffer[32];
      const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      number.append(buffer, static_cast<std::size_t>(n));
    }
    if (!xvfb_->Running()) break;
  }
  ::close(fds[0]);
  if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0])))
    throw std::runtime_error("Xvfb did not report a display: " + ReadFile(dir_ / "xvfb.log"));
  displayName_ = ":" + number.substr(0, number.find('\n'));
}

XServer::~XServer() {
  if (wm_) {
    try {
      StopWindowManager();
    } catch (...) {
    }
  }
  if (dpy_) {
    OwnConnections().erase(dpy_);
    XCloseDisplay(dpy_);
  }
  if (xvfb_) xvfb_->Stop(2s);
}

void XServer::KillServer() {
  if (wm_) wm_->Stop(2s);
  wm_.reset();
  if (dpy_) {
    OwnConnections().erase(dpy_);
    XCloseDisplay(dpy_);
    dpy_ = nullptr;
  }
  if (xvfb_) xvfb_->SignalGroup(SIGKILL);
}

bool XServer::RootManaged() {
  XWindowAttributes a{};
  return XGetWindowAttributes(dpy_, Root(), &a) && (a.all_event_masks & SubstructureRedirectMask) != 0;
}

bool XServer::HasWindowManager() { return RootManaged(); }

void XServer::StartWindowManager() {
  if (wm_) return;
  if (RootManaged()) throw std::runtime_error("another window manager already manages " + displayName_);
  const fs::path home = dir_ / "wm-home";
  fs::create_directories(home / "config");
  ProcessOptions wm;
  wm.argv = {"openbox", "--sm-disable"};
  wm.env = {{"DISPLAY", displayName_}, {"HOME", home.string()},
            {"XDG_CONFIG_HOME", (home / "config").string()}, {"XDG_CACHE_HOME", (home / "cache").string()},
            {"XDG_DATA_HOME", (home / "data").string()}};
  wm.unsetEnv = {"SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS"};
  wm.stdoutPath = dir_ / "wm.log";
  wm.stderrPath = dir_ / "wm.log";
  wm_ = std::make_unique<Process>(wm);
  // The WM redirects the root's structure requests and then announces itself with
  // _NET_SUPPORTING_WM_CHECK, a window of its own (a display that had a WM before may still
  // name that one's window, which is gone).
  const bool ready = WaitUntil(
      [&] {
        if (!RootManaged()) return false;
        int format = 0;
        unsigned long count = 0;
        auto data = Property(Root(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, &format, &count);
        if (count != 1 || format != 32) return false;
        XWindowAttributes a{};
        return XGetWindowAttributes(dpy_, static_cast<Window>(*reinterpret_cast<const long*>(data.data())), &a) != 0;
      },
      20s, 50ms);
  if (!ready) throw std::runtime_error("openbox did not start: " + ReadFile(dir_ / "wm.log"));
}

void XServer::StopWindowManager() {
  if (!wm_) return;
  wm_->Stop(2s);
  wm_.reset();
  if (!WaitUntil([&] { return !RootManaged(); }, 10s, 20ms))
    throw std::runtime_error("the screen is still managed after openbox ended");
}

XWindow XServer::Root() const { return DefaultRootWindow(dpy_); }

void XServer::Pump() {
  while (XPending(dpy_) > 0) {
    XEvent e;
    XNextEvent(dpy_, &e);
    switch (e.type) {
      case CreateNotify:
        sizes_[e.xcreatewindow.window] = {e.xcreatewindow.width, e.xcreatewindow.height};
        break;
      case ConfigureNotify:
        sizes_[e.xconfigure.window] = {e.xconfigure.width, e.xconfigure.height};
        break;
      case ClientMessage:
        if (e.xclient.window != Root()) rootMessages_.emplace_back(e.xclient.window, e.xclient.message_type);
        break;
      case MapNotify: {
        const auto it = sizes_.find(e.xmap.window);
        MapRecord record{e.xmap.window, 0, 0, Clock::now()};
        if (it != sizes_.end()) std::tie(record.width, record.height) = it->second;
        maps_.push_back(record);
        break;
      }
      default:
        break;
    }
  }
}

std::vector<MapRecord> XServer::MapHistory() {
  XSync(dpy_, False);
  Pump();
  return maps_;
}

std::vector<unsigned char> XServer::Property(XWindow w, const char* name, unsigned long type, int* format,
                                             unsigned long* count) {
  *format = 0;
  *count = 0;
  const Atom atom = XInternAtom(dpy_, name, False);
  Atom actualType = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy_, w, atom, 0, 1 << 16, False, type, &actualType, format, count, &after, &data) !=
          Success ||
      !data) {
    *count = 0;
    return {};
  }
  std::size_t unit = *format == 8 ? 1 : *format == 16 ? sizeof(short) : sizeof(long);
  std::vector<unsigned char> out(data, data + unit * *count);
  XFree(data);
  if (type != AnyPropertyType && actualType != type) {
    *count = 0;
    return {};
  }
  return out;
}

void XServer::Collect(XWindow w, pid_t pid, std::vector<XWindow>& out, int depth) {
  int format = 0;
  unsigned long count = 0;
  auto data = Property(w, "_NET_WM_PID", XA_CARDINAL, &format, &count);
  if (count == 1 && format == 32) {
    if (static_cast<pid_t>(*reinterpret_cast<const long*>(data.data())) == pid) out.push_back(w);
    return;  // a client window: its children are its own business
  }
  if (depth > 6) return;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(dpy_, w, &root, &parent, &children, &n)) return;
  std::vector<Window> list(children, children + n);
  if (children) XFree(children);
  for (Window c : list) Collect(c, pid, out, depth + 1);
}

std::vector<XWindow> XServer::WindowsOf(pid_t pid) {
  Pump();
  std::vector<XWindow> out;
  Collect(Root(), pid, out, 0);
  return out;
}

std::vector<XWindow> XServer::WindowsOf(pid_t pid, const std::string& wmClass) {
  std::vector<XWindow> out;
  const std::string wanted = Lower(wmClass);
  for (XWindow w : WindowsOf(pid)) {
    XClassHint hint{};
    if (!XGetClassHint(dpy_, w, &hint)) continue;
    const bool match = (hint.res_name && Lower(hint.res_name) == wanted) ||
                       (hint.res_class && Lower(hint.res_class) == wanted);
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    if (match) out.push_back(w);
  }
  return out;
}

std::string XServer::Title(XWindow w) {
  int format = 0;
  unsigned long count = 0;
  auto data = Property(w, "_NET_WM_NAME", XInternAtom(dpy_, "UTF8_STRING", False), &format, &count);
  if (count > 0 && format == 8) return std::string(data.begin(), data.end());
  data = Property(w, "WM_NAME", AnyPropertyType, &format, &count);
  if (count > 0 && format == 8) return std::string(data.begin(), data.end());
  return {};
}

std::string XServer::WmClass(XWindow w) {
  XClassHint hint{};
  if (!XGetClassHint(dpy_, w, &hint)) return {};
  std::string out = std::string(hint.res_name ? hint.res_name : "") + "." + (hint.res_class ? hint.res_class : "");
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return out;
}

std::vector<std::string> XServer::WindowTypes(XWindow w) {
  int format = 0;
  unsigned long count = 0;
  auto data = Property(w, "_NET_WM_WINDOW_TYPE", XA_ATOM, &format, &count);
  std::vector<std::string> out;
  for (unsigned long i = 0; i < count && format == 32; ++i) {
    char* name = XGetAtomName(dpy_, reinterpret_cast<const Atom*>(data.data())[i]);
    if (name) {
      out.emplace_back(name);
      XFree(name);
    }
  }
  return out;
}

std::optional<WindowGeometry> XServer::Geometry(XWindow w) {
  Pump();
  XWindowAttributes a{};
  if (!XGetWindowAttributes(dpy_, w, &a)) return std::nullopt;
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(dpy_, w, Root(), 0, 0, &x, &y, &child)) return std::nullopt;
  return WindowGeometry{x, y, a.width, a.height};
}

MapState XServer::State(XWindow w) {
  Pump();
  XWindowAttributes a{};
  if (!XGetWindowAttributes(dpy_, w, &a)) return MapState::Gone;
  switch (a.map_state) {
    case IsViewable: return MapState::Viewable;
    case IsUnviewable: return MapState::Unviewable;
    default: return MapState::Unmapped;
  }
}

bool XServer::Urgent(XWindow w) {
  XWMHints* hints = XGetWMHints(dpy_, w);
  if (!hints) return false;
  const bool urgent = (hints->flags & XUrgencyHint) != 0;
  XFree(hints);
  return urgent;
}

bool XServer::Iconic(XWindow w) {
  int format = 0;
  unsigned long count = 0;
  const Atom wmState = XInternAtom(dpy_, "WM_STATE", False);
  auto data = Property(w, "WM_STATE", wmState, &format, &count);
  return count >= 1 && format == 32 && *reinterpret_cast<const long*>(data.data()) == IconicState;
}

void XServer::Focus(XWindow w) {
  XSetInputFocus(dpy_, w, RevertToParent, CurrentTime);
  XSync(dpy_, False);
}

RgbImage XServer::Screenshot() { return Screenshot(0, 0, options_.width, options_.height); }

RgbImage XServer::Screenshot(int x, int y, int width, int height) {
  Pump();
  const int x0 = std::clamp(x, 0, options_.width), y0 = std::clamp(y, 0, options_.height);
  const int x1 = std::clamp(x + width, 0, options_.width), y1 = std::clamp(y + height, 0, options_.height);
  if (x1 <= x0 || y1 <= y0) return {};
  XImage* image = XGetImage(dpy_, Root(), x0, y0, x1 - x0, y1 - y0, AllPlanes, ZPixmap);
  if (!image) throw std::runtime_error("XGetImage failed");
  RgbImage out(x1 - x0, y1 - y0);
  Visual* visual = DefaultVisual(dpy_, DefaultScreen(dpy_));
  for (int row = 0; row < out.Height(); ++row) {
    for (int col = 0; col < out.Width(); ++col) {
      const unsigned long p = XGetPixel(image, col, row);
      out.SetPixel(col, row, Rgb{Channel(p, visual->red_mask), Channel(p, visual->green_mask),
                                 Channel(p, visual->blue_mask)});
    }
  }
  XDestroyImage(image);
  return out;
}

void XServer::SetRootColour(Rgb colour) {
  Visual* visual = DefaultVisual(dpy_, DefaultScreen(dpy_));
  auto place = [](std::uint8_t v, unsigned long mask) {
    const int shift = ShiftOf(mask);
    const unsigned long max = mask >> shift;
    return ((static_cast<unsigned long>(v) * max / 255) << shift) & mask;
  };
  const unsigned long pixel = place(colour.r, visual->red_mask) | place(colour.g, visual->green_mask) |
                              place(colour.b, visual->blue_mask);
  XSetWindowBackground(dpy_, Root(), pixel);
  XClearWindow(dpy_, Root());
  XSync(dpy_, False);
}

XWindow XServer::Parent(XWindow w) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(dpy_, w, &root, &parent, &children, &n)) return 0;
  if (children) XFree(children);
  return parent;
}

XWindow XServer::TransientFor(XWindow w) {
  Window parent = 0;
  if (!XGetTransientForHint(dpy_, w, &parent)) return 0;
  return parent;
}

bool XServer::Decorated(XWindow w) {
  int format = 0;
  unsigned long count = 0;
  auto data = Property(w, "_MOTIF_WM_HINTS", AnyPropertyType, &format, &count);
  if (format != 32 || count < 3) return true;  // no hints: the window manager decorates it
  const auto* fields = reinterpret_cast<const long*>(data.data());
  return !(fields[0] & 2) || fields[2] != 0;  // MWM_HINTS_DECORATIONS, and which ones
}

bool XServer::HasIcon(XWindow w) {
  int format = 0;
  unsigned long count = 0;
  Property(w, "_NET_WM_ICON", XA_CARDINAL, &format, &count);
  return format == 32 && count > 2;
}

bool XServer::HasState(XWindow w, const std::string& state) {
  int format = 0;
  unsigned long count = 0;
  auto data = Property(w, "_NET_WM_STATE", XA_ATOM, &format, &count);
  const Atom wanted = XInternAtom(dpy_, state.c_str(), False);
  for (unsigned long i = 0; i < count && format == 32; ++i)
    if (reinterpret_cast<const Atom*>(data.data())[i] == wanted) return true;
  return false;
}

void XServer::RequestClose(XWindow w) {
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

XWindow XServer::CreateWindow(int x, int y, int width, int height) {
  const int screen = DefaultScreen(dpy_);
  const Window w = XCreateSimpleWindow(dpy_, RootWindow(dpy_, screen), x, y, width, height, 0,
                                       BlackPixel(dpy_, screen), WhitePixel(dpy_, screen));
  XStoreName(dpy_, w, "another program");
  XMapRaised(dpy_, w);
  XSync(dpy_, False);
  return w;
}

void XServer::Iconify(XWindow w) {
  XIconifyWindow(dpy_, w, DefaultScreen(dpy_));
  XSync(dpy_, False);
}

std::vector<Rect> XServer::Shape(XWindow w, ShapeKind kind) {
  int count = 0, ordering = 0;
  XRectangle* rects =
      XShapeGetRectangles(dpy_, w, kind == ShapeKind::Bounding ? ShapeBounding : ShapeInput, &count, &ordering);
  std::vector<Rect> out;
  for (int i = 0; i < count; ++i) out.push_back(Rect{rects[i].x, rects[i].y, rects[i].width, rects[i].height});
  if (rects) XFree(rects);
  return out;
}

std::pair<int, int> XServer::Pointer() {
  Window root = 0, child = 0;
  int x = 0, y = 0, wx = 0, wy = 0;
  unsigned int mask = 0;
  XQueryPointer(dpy_, Root(), &root, &child, &x, &y, &wx, &wy, &mask);
  return {x, y};
}

std::vector<std::string> XServer::RootMessagesAbout(XWindow w) {
  XSync(dpy_, False);
  Pump();
  std::vector<std::string> out;
  for (const auto& [window, type] : rootMessages_) {
    if (window != w) continue;
    char* name = XGetAtomName(dpy_, type);
    out.emplace_back(name ? name : "?");
    if (name) XFree(name);
  }
  return out;
}

}  // namespace tavro::test
