// The gui tier's in-process part: the real window built from the stored design and run on the
// test's own GLib loop, pictures decoded as the window decodes them, pages shown in its views; and
// the fixture that attaches the harness (screen, input, window manager) to GTK's display.
#pragma once

// Before any X11 header: Xlib's macros clash with gtkmm and googletest.
#include <gtest/gtest.h>
#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "image.h"
#include "input.h"
#include "platform/forms.h"
#include "platform/gtk/form/gtk_form.h"
#include "platform/gtk/runtime/gtk_runtime.h"
#include "temp_dir.h"
#include "wait.h"
#include "x_server.h"

namespace tavro::guitest {

using namespace std::chrono_literals;
using platform::gtk::GtkForm;
using test::Rgb;
using test::RgbImage;
using test::XWindow;

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

// Runs the loop until `done` holds or the timeout passes; answers `done`'s last value.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
// Runs the loop until the window has painted `frames` more frames (its frame clock's paints).
bool WaitForFrames(GtkForm& form, int frames, std::chrono::milliseconds timeout = 10s);

// The window's X id.
XWindow Xid(GtkForm& form);

// A picture of the program's embedded resources, decoded as the window decodes it.
class ResourceImage {
 public:
  explicit ResourceImage(const std::string& path);
  int Width() const;
  int Height() const;
  bool Opaque(int x, int y) const;
  Rgb At(int x, int y) const;

 private:
  Glib::RefPtr<Gdk::Pixbuf> pixbuf_;
};

// The colour the theme gives the window's content areas, as the window paints it.
Rgb ThemeBaseColour(GtkForm& form);

// Shows the page in the view and waits until it has loaded.
bool ShowHtml(WebKitWebView* view, const std::string& html, std::chrono::milliseconds timeout = 15s);
// Shows a page of one solid colour (CSS notation) in the view and waits until it has loaded.
bool ShowColourPage(WebKitWebView* view, const std::string& cssColour, std::chrono::milliseconds timeout = 15s);

// A gui test: GTK in the process, and the harness on the display GTK runs on.
class GuiTest : public ::testing::Test {
 protected:
  GuiTest();
  void TearDown() override;

  void RunForm(const std::function<void(platform::Form&)>& attach, const std::function<void(GtkForm&)>& body) {
    guitest::RunForm(*runtime_, attach, body);
  }
  // The browser view of a placed control, made now if it was not yet.
  WebKitWebView* ViewNamed(const std::string& name) {
    return dynamic_cast<platform::gtk::GtkRuntime&>(*runtime_).ViewNamed(name);
  }
  // The window's upper-left corner on the screen and its size, once GTK's requests have reached
  // the X server.
  Point ScreenOrigin(GtkForm& form);
  Point XSize(GtkForm& form);
  // The whole screen, likewise.
  RgbImage Screenshot();
  // Keeps the image for looking at after a failure; answers its path.
  std::string SaveShot(const std::string& what, const RgbImage& image) const;

  test::TempDir dir_{"tavro-gui"};
  std::unique_ptr<platform::Runtime> runtime_;
  std::unique_ptr<test::XServer> x_;
  std::unique_ptr<test::Input> input_;
};

}  // namespace tavro::guitest
