// The window as the desktop sees it: size, place, frame, title, icon, class, focus and timer.
#include <string>
#include <vector>

#include "gui_support.h"

// Xlib last: its macros would break the C++ headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tavro::guitest {
namespace {

constexpr int kWidth = 318, kHeight = 723;

// A property of the window as 32-bit items (longs on the client side), or nothing.
std::vector<long> LongProperty(::Window window, const char* name) {
  Display* display = XDisplay();
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<long> values;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1 << 20, False,
                         AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
      data) {
    if (format == 32) values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    XFree(data);
  }
  return values;
}

// A text property of the window; `present` tells whether it exists at all.
std::string TextProperty(::Window window, const char* name, bool& present) {
  Display* display = XDisplay();
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string text;
  present = false;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1 << 16, False,
                         AnyPropertyType, &type, &format, &count, &after, &data) == Success) {
    present = type != None;
    if (data) {
      if (format == 8) text.assign(reinterpret_cast<char*>(data), count);
      XFree(data);
    }
  }
  return text;
}

TEST(Window, HasTheStoredSizeCentredWithoutFrameTitleButWithIconAndClass) {
  auto runtime = NewRuntime();
  ASSERT_FALSE(DisplayHasWindowManager()) << "the window's own placement is checked without one";
  RunForm(*runtime, nullptr, [](GtkForm& form) {
    const ::Window xid = Xid(form);
    const Point size = XSize(form);
    EXPECT_EQ(size, (Point{kWidth, kHeight}));
    EXPECT_EQ(form.Window().get_allocated_width(), kWidth);
    EXPECT_EQ(form.Window().get_allocated_height(), kHeight);

    const Shot screen = Shot::Take();
    const Point origin = ScreenOrigin(form);
    EXPECT_EQ(origin.x, (screen.Width() - kWidth) / 2) << "not centred across";
    EXPECT_EQ(origin.y, (screen.Height() - kHeight) / 2) << "not centred down";

    // Without a window manager the window sits on the root, and it asks for no decorations.
    Display* display = XDisplay();
    ::Window root = None, parent = None, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, xid, &root, &parent, &children, &count);
    if (children) XFree(children);
    EXPECT_EQ(parent, root);
    EXPECT_FALSE(form.Window().get_decorated());
    const std::vector<long> motif = LongProperty(xid, "_MOTIF_WM_HINTS");
    ASSERT_GE(motif.size(), 3U) << "no decoration hints for the window manager";
    EXPECT_TRUE(motif[0] & (1L << 1)) << "the decorations field is not in use";
    EXPECT_EQ(motif[2], 0L) << "the window asks for decorations";

    EXPECT_EQ(form.Caption(), "");
    const char* title = gtk_window_get_title(form.Window().gobj());
    EXPECT_TRUE(title == nullptr || std::string(title).empty()) << title;
    bool present = false;
    EXPECT_EQ(TextProperty(xid, "_NET_WM_NAME", present), "");

    EXPECT_NE(gtk_window_get_icon(form.Window().gobj()), nullptr);
    EXPECT_GT(LongProperty(xid, "_NET_WM_ICON").size(), 2U) << "the desktop receives no icon";

    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(display, xid, &hint));
    EXPECT_STREQ(hint.res_name, "tavro");
    XFree(hint.res_name);
    XFree(hint.res_class);
  });
}

TEST(Window, FocusStartsOnTheMainView) {
  auto runtime = NewRuntime();
  RunForm(*runtime, nullptr, [](GtkForm& form) {
    GtkWidget* focus = gtk_window_get_focus(form.Window().gobj());
    ASSERT_NE(focus, nullptr) << "no control has the focus";
    EXPECT_STREQ(gtk_widget_get_name(focus), "WebBrowser1");
    // Never navigated, the control shows its placeholder; its view, once made, takes the focus over.
    EXPECT_EQ(focus, form.ControlWidget("WebBrowser1").gobj());
    EXPECT_TRUE(gtk_widget_is_focus(focus));
    GtkWidget* view = GTK_WIDGET(ViewOf(form, "WebBrowser1"));
    EXPECT_EQ(gtk_window_get_focus(form.Window().gobj()), view);
    EXPECT_TRUE(gtk_widget_is_focus(view));
    EXPECT_EQ(form.ControlWidget("WebBrowser1").gobj(), view);
  });
}

TEST(Window, NeverGrowsWhileTheMainViewOverhangsOrTheLayoutChanges) {
  auto runtime = NewRuntime();
  RunForm(*runtime, nullptr, [](GtkForm& form) {
    const Point origin = ScreenOrigin(form);
    GtkWidget* main = GTK_WIDGET(ViewOf(form, "WebBrowser1"));
    GtkAllocation a{};
    gtk_widget_get_allocation(main, &a);
    EXPECT_EQ(a.x, -2);
    EXPECT_EQ(a.y, -2);
    EXPECT_EQ(a.width, 340);
    EXPECT_EQ(a.height, 729);

    // A page far larger than the window, the logged-in layout and a forced resize cycle.
    EXPECT_TRUE(ShowHtml(ViewOf(form, "WebBrowser1"),
                         "<body style=\"margin:0\"><div style=\"width:3000px;height:3000px\"></div></body>"));
    form.PictureBoxNamed("Picture1").SetHeight(400);
    form.PictureBoxNamed("Picture2").SetWidth(420);
    form.PictureBoxNamed("Picture2").SetHeight(220);
    form.PictureBoxNamed("Picture3").SetVisible(true);
    form.WebBrowserNamed("WebBrowser2").SetVisible(true);
    gtk_widget_queue_resize(GTK_WIDGET(form.Window().gobj()));
    Pump(500);

    EXPECT_EQ(XSize(form), (Point{kWidth, kHeight}));
    EXPECT_EQ(form.Window().get_allocated_width(), kWidth);
    EXPECT_EQ(form.Window().get_allocated_height(), kHeight);
    EXPECT_EQ(ScreenOrigin(form), origin) << "the window moved";
    gtk_widget_get_allocation(main, &a);
    EXPECT_EQ(a.width, 340) << "the main view was squeezed into the window";
  });
}

TEST(Window, TimerTicksTwiceASecond) {
  auto runtime = NewRuntime();
  int ticks = 0;
  RunForm(
      *runtime, [&](platform::Form& form) { form.TimerNamed("Timer1").Tick = [&] { ++ticks; }; },
      [&](GtkForm&) {
        const int before = ticks;
        Pump(3000);
        const int counted = ticks - before;
        EXPECT_GE(counted, 4) << "Timer1 ticks too slowly";
        EXPECT_LE(counted, 8) << "Timer1 ticks too fast";
      });
}

}  // namespace
}  // namespace tavro::guitest
