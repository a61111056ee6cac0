#include "gui_fixture.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <thread>

#include "app/form/form1_design.h"
#include "platform/gtk/runtime/gtk_platform.h"
#include "tavro_config.h"

// Xlib last: its macros would break the C++ headers above.
#include <gdk/gdkx.h>

namespace tavro::guitest {

std::ostream& operator<<(std::ostream& out, const Point& p) { return out << "(" << p.x << "," << p.y << ")"; }

std::unique_ptr<platform::Runtime> NewRuntime() {
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* args[] = {name, nullptr};
  static char** argv = args;
  return platform::gtk::CreateRuntime(argc, argv, TAVRO_DISPLAY_NAME);
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  GMainContext* context = g_main_context_default();
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return done();
    int dispatched = 0;
    while (dispatched < 200 && g_main_context_iteration(context, FALSE)) ++dispatched;
    if (dispatched == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool WaitForFrames(GtkForm& form, int frames, std::chrono::milliseconds timeout) {
  GtkWidget* window = GTK_WIDGET(form.Window().gobj());
  GdkFrameClock* clock = gtk_widget_get_frame_clock(window);
  if (!clock) return false;
  int painted = 0;
  const gulong handler = g_signal_connect(clock, "after-paint", G_CALLBACK(+[](GdkFrameClock*, gpointer count) {
                                            ++*static_cast<int*>(count);
                                          }),
                                          &painted);
  bool done = true;
  for (int frame = 0; frame < frames && done; ++frame) {
    const int before = painted;
    gtk_widget_queue_draw(window);
    done = WaitFor([&] { return painted > before; }, timeout);
  }
  g_signal_handler_disconnect(clock, handler);
  return done;
}

void RunForm(platform::Runtime& runtime, const std::function<void(platform::Form&)>& attach,
             const std::function<void(GtkForm&)>& body) {
  bool bodyRan = false;
  runtime.Run(app::Form1Design(), [&](platform::Form& form) {
    auto& gtkForm = dynamic_cast<GtkForm&>(form);
    if (attach) attach(form);
    Glib::signal_idle().connect_once([&runtime, &gtkForm, &body, &bodyRan] {
      // GDK calls the window viewable once the X server has mapped it; then it draws.
      const bool shown = WaitFor(
          [&] {
            GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(gtkForm.Window().gobj()));
            return window && gdk_window_is_viewable(window);
          },
          15s);
      const auto framesFrom = std::chrono::steady_clock::now();
      const bool painted = shown && WaitForFrames(gtkForm, 2, 30s);
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - framesFrom);
      if (waited > 3s) std::cout << "[ gui ] first frames after " << waited.count() << " ms\n";
      if (painted)
        body(gtkForm);
      else
        ADD_FAILURE() << "the window was never shown";
      bodyRan = true;
      runtime.Unload(gtkForm);
    });
  });
  EXPECT_TRUE(bodyRan) << "Run returned before the window was shown";
}

XWindow Xid(GtkForm& form) {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(form.Window().gobj()));
  return window ? GDK_WINDOW_XID(window) : 0;
}

// ---------------------------------------------------------------- pictures and colours

ResourceImage::ResourceImage(const std::string& path) {
  try {
    pixbuf_ = Gdk::Pixbuf::create_from_resource(path);
  } catch (const Glib::Error& e) {
    ADD_FAILURE() << "cannot decode the embedded picture " << path << ": " << e.what();
    return;
  }
  if (!pixbuf_->get_has_alpha()) pixbuf_ = pixbuf_->add_alpha(false, 0, 0, 0);
}

int ResourceImage::Width() const { return pixbuf_ ? pixbuf_->get_width() : 0; }
int ResourceImage::Height() const { return pixbuf_ ? pixbuf_->get_height() : 0; }

bool ResourceImage::Opaque(int x, int y) const {
  const guint8* p = pixbuf_->get_pixels() + y * pixbuf_->get_rowstride() + x * 4;
  return p[3] == 255;
}

Rgb ResourceImage::At(int x, int y) const {
  const guint8* p = pixbuf_->get_pixels() + y * pixbuf_->get_rowstride() + x * 4;
  return Rgb{p[0], p[1], p[2]};
}

Rgb ThemeBaseColour(GtkForm& form) {
  Gdk::RGBA rgba;
  if (!form.Window().get_style_context()->lookup_color("theme_base_color", rgba)) rgba.set_rgba(1, 1, 1, 1);
  auto eight = [](double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
  return Rgb{eight(rgba.get_red()), eight(rgba.get_green()), eight(rgba.get_blue())};
}

bool ShowHtml(WebKitWebView* view, const std::string& html, std::chrono::milliseconds timeout) {
  bool finished = false;
  const gulong handler = g_signal_connect(
      view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer flag) {
        if (event == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(flag) = true;
      }),
      &finished);
  webkit_web_view_load_html(view, html.c_str(), "about:blank");
  const bool loaded = WaitFor([&] { return finished; }, timeout);
  g_signal_handler_disconnect(view, handler);
  return loaded;
}

bool ShowColourPage(WebKitWebView* view, const std::string& cssColour, std::chrono::milliseconds timeout) {
  return ShowHtml(
      view,
      "<!DOCTYPE html><html style=\"background:" + cssColour + "\"><body style=\"margin:0\"></body></html>",
      timeout);
}

// ---------------------------------------------------------------- the fixture

GuiTest::GuiTest() : runtime_(NewRuntime()) {
  // After GTK: the harness's X error handler hands GDK's errors on to GDK's own.
  test::XServerOptions options;
  options.display = gdk_display_get_name(gdk_display_get_default());
  x_ = std::make_unique<test::XServer>(dir_.Sub("x"), options);
  input_ = std::make_unique<test::Input>(*x_, dir_.Sub("input"));
}

void GuiTest::TearDown() {
  if (!HasFailure() || !x_) return;
  try {
    SaveShot("failure", Screenshot());
  } catch (const std::exception& e) {
    std::cout << "[ gui ] no screenshot: " << e.what() << "\n";
  }
}

Point GuiTest::ScreenOrigin(GtkForm& form) {
  gdk_display_sync(gdk_display_get_default());
  const auto g = x_->Geometry(Xid(form));
  return g ? Point{g->x, g->y} : Point{-1, -1};
}

Point GuiTest::XSize(GtkForm& form) {
  gdk_display_sync(gdk_display_get_default());
  const auto g = x_->Geometry(Xid(form));
  return g ? Point{g->width, g->height} : Point{-1, -1};
}

RgbImage GuiTest::Screenshot() {
  gdk_display_sync(gdk_display_get_default());
  return x_->Screenshot();
}

std::string GuiTest::SaveShot(const std::string& what, const RgbImage& image) const {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "gui";
  const auto path = test::ShotDir() / (name + "-" + what + ".ppm");
  image.SavePpm(path);
  std::cout << "[ gui ] screenshot: " << path.string() << "\n";
  return path.string();
}

}  // namespace tavro::guitest
