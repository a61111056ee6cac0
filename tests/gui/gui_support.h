// Shared pieces of the gui tier: running the real window, pumping its loop, reading the screen,
// driving the pointer and keyboard with xdotool, and a window manager on demand.
#pragma once

// Include this before any X11 header: Xlib's macros clash with gtkmm and googletest.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/gtk/gtk_form.h"

typedef struct _XDisplay Display;

namespace tavro::guitest {

using platform::gtk::GtkForm;

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c);

struct Point {
  int x = 0, y = 0;
  bool operator==(const Point&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Point& p);

// A fresh runtime; GTK itself starts only once per process. A runtime runs one window.
std::unique_ptr<platform::Runtime> NewRuntime();

// Builds the stored design: attach(form) binds what the test needs, then, once the window is
// shown and has drawn, body(form) runs inside the loop; the window is unloaded afterwards.
void RunForm(platform::Runtime& runtime, const std::function<void(platform::Form&)>& attach,
             const std::function<void(GtkForm&)>& body);

// Runs the loop for about `ms` milliseconds.
void Pump(int ms);
// Runs the loop until `done` holds or `timeoutMs` passes; answers `done`'s last value.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

using XWindow = unsigned long;  // an X window id

Display* XDisplay();
XWindow Xid(GtkForm& form);
// The window's upper-left corner on the screen and its size, as the X server has them.
Point ScreenOrigin(GtkForm& form);
Point XSize(GtkForm& form);

// The whole screen as the X server shows it.
class Shot {
 public:
  static Shot Take();
  Rgb At(int x, int y) const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Saves the shot as /tmp/tavro-gui-shots/<name>.png and answers the path.
  std::string Save(const std::string& name) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<Rgb> pixels_;
};

// A picture of the program's embedded resources, decoded as the window decodes it.
class ResourceImage {
 public:
  explicit ResourceImage(const std::string& path);
  ~ResourceImage();
  ResourceImage(const ResourceImage&) = delete;
  ResourceImage& operator=(const ResourceImage&) = delete;
  int Width() const;
  int Height() const;
  bool Opaque(int x, int y) const;
  Rgb At(int x, int y) const;

 private:
  GdkPixbuf* pixbuf_;
};

// The colour the theme gives the window's content areas, as the window paints it.
Rgb ThemeBaseColour(GtkForm& form);

WebKitWebView* ViewOf(GtkForm& form, const std::string& name);
// Shows the page in the view and waits until it has loaded.
bool ShowHtml(WebKitWebView* view, const std::string& html, int timeoutMs = 15000);
// Shows a page of one solid colour (CSS notation) in the view and waits until it has loaded.
bool ShowColourPage(WebKitWebView* view, const std::string& cssColour, int timeoutMs = 15000);

// Runs xdotool with the given arguments on the test's display; answers whether it succeeded.
bool Xdotool(const std::vector<std::string>& args);

// Whether a window manager runs on the display (needs a runtime first).
bool DisplayHasWindowManager();

// openbox on the test's display for the lifetime of the object.
class WindowManager {
 public:
  WindowManager();
  ~WindowManager();
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;
  bool Running() const { return ready_; }

 private:
  int pid_ = -1;
  bool ready_ = false;
};

}  // namespace tavro::guitest
