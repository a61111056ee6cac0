// An X server for one test (a private Xvfb, or the display the test process already runs on), a
// window manager on it when asked, and the questions tests ask the X server about the program's
// windows, their shapes and pixels, over a connection of the harness's own.
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

// A rectangle in pixels, e.g. one of a window's shape.
struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool Contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
  bool operator==(const Rect&) const = default;
};

enum class ShapeKind { Bounding, Input };

struct XServerOptions {
  bool windowManager = false;  // run openbox on the display
  int width = 1280, height = 1024;
  // The desktop's resolution for the programs that start on the display (Xft.dpi in the X
  // resources, set with xrdb as a desktop's settings would); 0 leaves it unset (96 dpi).
  int dpi = 0;
  // Empty: start a private Xvfb. Otherwise the display to attach to (its size is the server's),
  // e.g. the one that GTK already runs on in the test process.
  std::string display;
};

class XServer {
 public:
  // Starts Xvfb with -displayfd (a free display number), or attaches to options.display;
  // connects, and starts the window manager when asked; logs and the WM's config go into dir.
  // Throws when anything fails.
  explicit XServer(const std::filesystem::path& dir, XServerOptions options = {});
  // Closes the connection and stops the window manager and the server it started.
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& DisplayName() const { return displayName_; }  // ":N"
  int Width() const { return options_.width; }
  int Height() const { return options_.height; }
  XWindow Root() const;
  // Whether some window manager (ours or another) manages the screen.
  bool HasWindowManager();
  // openbox on the display until StopWindowManager or the end of the object; throws when it
  // does not take over the screen.
  void StartWindowManager();
  // Ends the openbox this object started and waits until the screen is unmanaged.
  void StopWindowManager();
  // Ends the X server this object started, as a crashed or stopped display would end: the
  // programs on it lose their connection. Nothing else of this object may be used afterwards.
  void KillServer();

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
  // The window's parent: the root for a top-level window without a window manager.
  XWindow Parent(XWindow w);
  // WM_TRANSIENT_FOR, or 0.
  XWindow TransientFor(XWindow w);
  // False when _MOTIF_WM_HINTS asks for no decorations.
  bool Decorated(XWindow w);
  // _NET_WM_ICON holds at least one image (width, height and pixels).
  bool HasIcon(XWindow w);
  // _NET_WM_STATE holds the atom (e.g. "_NET_WM_STATE_MODAL").
  bool HasState(XWindow w, const std::string& state);
  // Sends WM_DELETE_WINDOW, as a window manager does for the title bar's close button.
  void RequestClose(XWindow w);
  // A plain window of the test's own, mapped, for taking the focus away from the program.
  XWindow CreateWindow(int x, int y, int width, int height);
  // Asks the window manager to minimise the window (XIconifyWindow).
  void Iconify(XWindow w);
  // The rectangles of the window's bounding or input shape (X SHAPE), relative to the window;
  // a window without a shape of its own has its whole rectangle.
  std::vector<Rect> Shape(XWindow w, ShapeKind kind);
  // Where the pointer is on the root window.
  std::pair<int, int> Pointer();
  // The types (atom names) of the client messages sent to the root about the window since the
  // connection was made, in order: e.g. "_NET_ACTIVE_WINDOW" for each request to activate it.
  std::vector<std::string> RootMessagesAbout(XWindow w);

  // The screen's pixels: all of them, or a rectangle clipped to the screen.
  RgbImage Screenshot();
  RgbImage Screenshot(int x, int y, int width, int height);
  // Paints the root window in a solid colour (the background left where no window is).
  void SetRootColour(Rgb colour);

  // Root children mapped since the server started, in order (meaningful without a window manager).
  std::vector<MapRecord> MapHistory();

 private:
  void Pump();
  // Xft.dpi in the display's resources (the server keeps them: it runs with -noreset).
  void SetResolution(int dpi);
  std::vector<unsigned char> Property(XWindow w, const char* name, unsigned long type, int* format,
                                      unsigned long* count);
  void Collect(XWindow w, pid_t pid, std::vector<XWindow>& out, int depth);
  void StartXvfb();
  bool RootManaged();

  XServerOptions options_;
  std::filesystem::path dir_;
  std::unique_ptr<Process> xvfb_;
  std::unique_ptr<Process> wm_;
  std::string displayName_;
  _XDisplay* dpy_ = nullptr;
  std::map<XWindow, std::pair<int, int>> sizes_;
  std::vector<MapRecord> maps_;
  std::vector<std::pair<XWindow, unsigned long>> rootMessages_;  // window, message type atom
};

}  // namespace tavro::test
