// A private X server (Xvfb) for one test, an optional window manager on it, and the questions
// tests ask the X server about the program's windows and pixels.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image.h"
#include "process.h"

struct _XDisplay;

namespace tavro::test {

using XWindow = unsigned long;  // an X window id (Xlib's Window), kept out of this header

struct WindowGeometry {
  int x = 0, y = 0;  // upper-left corner on the root window
  int width = 0, height = 0;
};

enum class MapState { Unmapped, Unviewable, Viewable, Gone };
const char* ToString(MapState state);

// A window seen being mapped as a child of the root (only top-level windows without a WM).
struct MapRecord {
  XWindow window = 0;
  int width = 0, height = 0;  // its size when it was mapped
  std::chrono::steady_clock::time_point when;
};

struct XServerOptions {
  bool windowManager = false;  // run openbox on the display
  int width = 1280, height = 1024;
};

class XServer {
 public:
  // Starts Xvfb with -displayfd (a free display number), connects, and starts the window
  // manager when asked; logs and the WM's config go into dir. Throws when anything fails.
  explicit XServer(const std::filesystem::path& dir, XServerOptions options = {});
  // Closes the connection and stops the window manager and the server.
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& DisplayName() const { return displayName_; }  // ":N"
  int Width() const { return options_.width; }
  int Height() const { return options_.height; }
  XWindow Root() const;
  bool HasWindowManager() const { return wm_ != nullptr; }

  // Client windows (those with _NET_WM_PID) of the process, searched through the whole tree so
  // that windows reparented by a window manager are found too.
  std::vector<XWindow> WindowsOf(pid_t pid);
  // Every top-level window of the process whose WM_CLASS name or class is the given one
  // (case-insensitive).
  std::vector<XWindow> WindowsOf(pid_t pid, const std::string& wmClass);

  // _NET_WM_NAME (UTF-8), else WM_NAME; empty when neither is set or the window is gone.
  std::string Title(XWindow w);
  // WM_CLASS as "name.class".
  std::string WmClass(XWindow w);
  // Atom names of _NET_WM_WINDOW_TYPE, e.g. "_NET_WM_WINDOW_TYPE_DIALOG".
  std::vector<std::string> WindowTypes(XWindow w);
  std::optional<WindowGeometry> Geometry(XWindow w);
  MapState State(XWindow w);
  bool Urgent(XWindow w);   // the urgency flag of WM_HINTS
  bool Iconic(XWindow w);   // WM_STATE says IconicState
  // Puts the input focus on the window (XSetInputFocus), as a window manager would on a click.
  void Focus(XWindow w);

  // The screen's pixels: all of them, or a rectangle clipped to the screen.
  RgbImage Screenshot();
  RgbImage Screenshot(int x, int y, int width, int height);
  // Paints the root window in a solid colour (the background left where no window is).
  void SetRootColour(Rgb colour);

  // Root children mapped since the server started, in order (meaningful without a window manager).
  std::vector<MapRecord> MapHistory();

 private:
  void Pump();
  std::vector<unsigned char> Property(XWindow w, const char* name, unsigned long type, int* format,
                                      unsigned long* count);
  void Collect(XWindow w, pid_t pid, std::vector<XWindow>& out, int depth);
  void StartWindowManager(const std::filesystem::path& dir);

  XServerOptions options_;
  std::unique_ptr<Process> xvfb_;
  std::unique_ptr<Process> wm_;
  std::string displayName_;
  _XDisplay* dpy_ = nullptr;
  std::map<XWindow, std::pair<int, int>> sizes_;
  std::vector<MapRecord> maps_;
};

}  // namespace tavro::test
