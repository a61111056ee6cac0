// Shared pieces of the gui tier.
#include "gui_support.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "app/form/form1_design.h"
#include "platform/gtk/gtk_platform.h"
#include "tavro_config.h"

// Xlib last: its macros would break the C++ headers above.
#include <X11/Xutil.h>
#include <gdk/gdkx.h>

namespace tavro::guitest {

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "rgb(" << c.r << "," << c.g << "," << c.b << ")";
}

std::ostream& operator<<(std::ostream& out, const Point& p) { return out << "(" << p.x << "," << p.y << ")"; }

std::unique_ptr<platform::Runtime> NewRuntime() {
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* args[] = {name, nullptr};
  static char** argv = args;
  return platform::gtk::CreateRuntime(argc, argv, TAVRO_DISPLAY_NAME);
}

void Pump(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  WaitFor([&] { return std::chrono::steady_clock::now() >= end; }, ms + 1000);
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  GMainContext* context = g_main_context_default();
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return done();
    int dispatched = 0;
    while (dispatched < 200 && g_main_context_iteration(context, FALSE)) ++dispatched;
    if (dispatched == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

namespace {

bool WaitShown(GtkForm& form) {
  const bool viewable = WaitFor(
      [&] {
        GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(form.Window().gobj()));
        if (!window || !gdk_window_is_viewable(window)) return false;
        XWindowAttributes attributes{};
        return XGetWindowAttributes(XDisplay(), Xid(form), &attributes) && attributes.map_state == IsViewable;
      },
      15000);
  Pump(300);  // a few frames
  return viewable;
}

}  // namespace

void RunForm(platform::Runtime& runtime, const std::function<void(platform::Form&)>& attach,
             const std::function<void(GtkForm&)>& body) {
  bool bodyRan = false;
  runtime.Run(app::Form1Design(), [&](platform::Form& form) {
    auto& gtkForm = dynamic_cast<GtkForm&>(form);
    if (attach) attach(form);
    Glib::signal_idle().connect_once([&runtime, &gtkForm, &body, &bodyRan] {
      if (WaitShown(gtkForm))
        body(gtkForm);
      else
        ADD_FAILURE() << "the window was never shown";
      bodyRan = true;
      runtime.Unload(gtkForm);
    });
  });
  EXPECT_TRUE(bodyRan) << "Run returned before the window was shown";
}

Display* XDisplay() { return gdk_x11_display_get_xdisplay(gdk_display_get_default()); }

XWindow Xid(GtkForm& form) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(form.Window().gobj()));
  return window ? GDK_WINDOW_XID(window) : None;
}

Point ScreenOrigin(GtkForm& form) {
  gdk_display_sync(gdk_display_get_default());
  int x = 0, y = 0;
  ::Window child = None;
  XTranslateCoordinates(XDisplay(), Xid(form), DefaultRootWindow(XDisplay()), 0, 0, &x, &y, &child);
  return {x, y};
}

Point XSize(GtkForm& form) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(XDisplay(), Xid(form), &attributes);
  return {attributes.width, attributes.height};
}

// ---------------------------------------------------------------- screenshots

Shot Shot::Take() {
  gdk_display_sync(gdk_display_get_default());
  Display* display = XDisplay();
  const ::Window root = DefaultRootWindow(display);
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, root, &attributes);
  Shot shot;
  XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (!image) return shot;
  shot.width_ = attributes.width;
  shot.height_ = attributes.height;
  shot.pixels_.resize(static_cast<std::size_t>(shot.width_) * static_cast<std::size_t>(shot.height_));
  auto channel = [](unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const unsigned long max = mask >> shift;
    return static_cast<int>(std::lround(static_cast<double>((pixel & mask) >> shift) * 255.0 / max));
  };
  for (int y = 0; y < shot.height_; ++y)
    for (int x = 0; x < shot.width_; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      shot.pixels_[static_cast<std::size_t>(y) * shot.width_ + x] =
          Rgb{channel(p, image->red_mask), channel(p, image->green_mask), channel(p, image->blue_mask)};
    }
  XDestroyImage(image);
  return shot;
}

Rgb Shot::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Rgb{-1, -1, -1};
  return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

std::string Shot::Save(const std::string& name) const {
  const std::string dir = "/tmp/tavro-gui-shots";
  mkdir(dir.c_str(), 0755);
  const std::string path = dir + "/" + name + ".png";
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width_, height_);
  if (!pixbuf) return "(no picture)";
  guchar* data = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      const Rgb c = At(x, y);
      guchar* p = data + y * stride + x * 3;
      p[0] = static_cast<guchar>(c.r);
      p[1] = static_cast<guchar>(c.g);
      p[2] = static_cast<guchar>(c.b);
    }
  gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  return path;
}

// ---------------------------------------------------------------- pictures and colours

ResourceImage::ResourceImage(const std::string& path)
    : pixbuf_(gdk_pixbuf_new_from_resource(path.c_str(), nullptr)) {
  if (pixbuf_ && !gdk_pixbuf_get_has_alpha(pixbuf_)) {
    GdkPixbuf* withAlpha = gdk_pixbuf_add_alpha(pixbuf_, FALSE, 0, 0, 0);
    g_object_unref(pixbuf_);
    pixbuf_ = withAlpha;
  }
  if (!pixbuf_) ADD_FAILURE() << "cannot decode the embedded picture " << path;
}

ResourceImage::~ResourceImage() {
  if (pixbuf_) g_object_unref(pixbuf_);
}

int ResourceImage::Width() const { return pixbuf_ ? gdk_pixbuf_get_width(pixbuf_) : 0; }
int ResourceImage::Height() const { return pixbuf_ ? gdk_pixbuf_get_height(pixbuf_) : 0; }

bool ResourceImage::Opaque(int x, int y) const {
  const guchar* p = gdk_pixbuf_get_pixels(pixbuf_) + y * gdk_pixbuf_get_rowstride(pixbuf_) + x * 4;
  return p[3] == 255;
}

Rgb ResourceImage::At(int x, int y) const {
  const guchar* p = gdk_pixbuf_get_pixels(pixbuf_) + y * gdk_pixbuf_get_rowstride(pixbuf_) + x * 4;
  return Rgb{p[0], p[1], p[2]};
}

Rgb ThemeBaseColour(GtkForm& form) {
  Gdk::RGBA rgba;
  if (!form.Window().get_style_context()->lookup_color("theme_base_color", rgba)) rgba.set_rgba(1, 1, 1, 1);
  auto eight = [](double v) { return static_cast<int>(std::lround(v * 255.0)); };
  return Rgb{eight(rgba.get_red()), eight(rgba.get_green()), eight(rgba.get_blue())};
}

WebKitWebView* ViewOf(GtkForm& form, const std::string& name) { return form.ViewNamed(name); }

bool ShowHtml(WebKitWebView* view, const std::string& html, int timeoutMs) {
  bool finished = false;
  const gulong handler = g_signal_connect(
      view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer flag) {
        if (event == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(flag) = true;
      }),
      &finished);
  webkit_web_view_load_html(view, html.c_str(), "about:blank");
  const bool loaded = WaitFor([&] { return finished; }, timeoutMs);
  g_signal_handler_disconnect(view, handler);
  return loaded;
}

bool ShowColourPage(WebKitWebView* view, const std::string& cssColour, int timeoutMs) {
  return ShowHtml(
      view,
      "<!DOCTYPE html><html style=\"background:" + cssColour + "\"><body style=\"margin:0\"></body></html>",
      timeoutMs);
}

// ---------------------------------------------------------------- input and window manager

bool Xdotool(const std::vector<std::string>& args) {
  gdk_display_sync(gdk_display_get_default());
  std::vector<char*> argv;
  std::string program = "xdotool";
  argv.push_back(program.data());
  std::vector<std::string> copies(args);
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  gchar* errors = nullptr;
  int status = -1;
  GError* error = nullptr;
  const bool spawned = g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                    nullptr, &errors, &status, &error);
  bool ok = spawned && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) {
    std::string line;
    for (const auto& a : args) line += " " + a;
    ADD_FAILURE() << "xdotool" << line << " failed: " << (error ? error->message : "")
                  << (errors ? errors : "");
  }
  if (error) g_error_free(error);
  g_free(errors);
  return ok;
}

namespace {

bool RootIsManaged() {
  XWindowAttributes attributes{};
  XGetWindowAttributes(XDisplay(), DefaultRootWindow(XDisplay()), &attributes);
  return (attributes.all_event_masks & SubstructureRedirectMask) != 0;
}

}  // namespace

bool DisplayHasWindowManager() { return RootIsManaged(); }

WindowManager::WindowManager() {
  if (RootIsManaged()) {
    ADD_FAILURE() << "another window manager already runs on the display";
    return;
  }
  gchar* argv[] = {const_cast<gchar*>("openbox"), const_cast<gchar*>("--sm-disable"), nullptr};
  GPid pid = 0;
  GError* error = nullptr;
  if (!g_spawn_async(nullptr, argv, nullptr,
                     GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                 G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
                     nullptr, nullptr, &pid, &error)) {
    ADD_FAILURE() << "cannot start openbox: " << error->message;
    g_error_free(error);
    return;
  }
  pid_ = pid;
  ready_ = WaitFor(RootIsManaged, 10000);
  if (ready_)
    Pump(300);  // let it settle in before the window appears
  else
    ADD_FAILURE() << "openbox did not take over the display";
}

WindowManager::~WindowManager() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
  WaitFor([] { return !RootIsManaged(); }, 5000);
}

}  // namespace tavro::guitest
