// The window as GTK holds it: its allocated size, no frame, no title but an icon, where the focus
// starts, a layout that never grows it, and the timer's pace.
#include <algorithm>
#include <string>
#include <vector>

#include "demo_site.h"
#include "gui_fixture.h"
#include "platform/gtk/form/timer_control.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gsettingsbackend.h>

namespace tavro::guitest {
namespace {

constexpr int kWidth = 318, kHeight = 723;

class Window : public GuiTest {};

TEST_F(Window, HasTheStoredSizeWithoutFrameOrTitleButWithTheIcon) {
  RunForm(nullptr, [&](GtkForm& form) {
    EXPECT_EQ(form.Window().get_allocated_width(), kWidth);
    EXPECT_EQ(form.Window().get_allocated_height(), kHeight);
    EXPECT_FALSE(form.Window().get_decorated());

    // The stored caption is empty: the window, GTK and the desktop all show none.
    EXPECT_EQ(form.Caption(), "");
    const char* title = gtk_window_get_title(form.Window().gobj());
    EXPECT_TRUE(title == nullptr || std::string(title).empty()) << title;
    gdk_display_sync(gdk_display_get_default());
    EXPECT_EQ(x_->Title(Xid(form)), "");

    EXPECT_NE(gtk_window_get_icon(form.Window().gobj()), nullptr);
  });
}

// The toolkit's own traces of a session stay in memory: the file choosers' settings and the list
// of recent files. The processes the program starts still read the desktop's settings.
TEST_F(Window, TheToolkitKeepsItsSettingsAndNoRecentFilesInMemory) {
  RunForm(nullptr, [](GtkForm&) {
    EXPECT_STREQ(G_OBJECT_TYPE_NAME(g_settings_backend_get_default()), "GMemorySettingsBackend");
    EXPECT_EQ(g_getenv("GSETTINGS_BACKEND"), nullptr) << "the web processes would not read the desktop's settings";
    gboolean recent = TRUE;
    g_object_get(gtk_settings_get_default(), "gtk-recent-files-enabled", &recent, nullptr);
    EXPECT_FALSE(recent);
  });
}

TEST_F(Window, FocusStartsOnTheMainView) {
  // The main view is made before the window is shown, as Form_Load's first Navigate makes it.
  RunForm([&](platform::Form&) { ViewNamed("WebBrowser1"); },
          [&](GtkForm& form) {
            GtkWidget* view = GTK_WIDGET(ViewNamed("WebBrowser1"));
            EXPECT_EQ(form.ControlWidget("WebBrowser1").gobj(), view);
            EXPECT_EQ(gtk_window_get_focus(form.Window().gobj()), view);
            EXPECT_TRUE(gtk_widget_is_focus(view));
            // A view never navigated shows a blank stand-in with nothing to read or press: the
            // keyboard never lands on it.
            EXPECT_FALSE(gtk_widget_get_can_focus(form.ControlWidget("WebBrowser3").gobj()));
          });
}

TEST_F(Window, NeverGrowsWhileTheMainViewOverhangsOrTheLayoutChanges) {
  RunForm(nullptr, [&](GtkForm& form) {
    const Point origin = ScreenOrigin(form);
    GtkWidget* main = GTK_WIDGET(ViewNamed("WebBrowser1"));
    GtkAllocation a{};
    gtk_widget_get_allocation(main, &a);
    EXPECT_EQ(a.x, -2);
    EXPECT_EQ(a.y, -2);
    EXPECT_EQ(a.width, 340);
    EXPECT_EQ(a.height, 729);

    // A page far larger than the window, the logged-in layout and a forced resize cycle.
    EXPECT_TRUE(ShowHtml(ViewNamed("WebBrowser1"),
                         "<body style=\"margin:0\"><div style=\"width:3000px;height:3000px\"></div></body>"));
    form.PictureBoxNamed("Picture1").SetHeight(400);
    form.PictureBoxNamed("Picture2").SetWidth(420);
    form.PictureBoxNamed("Picture2").SetHeight(220);
    form.PictureBoxNamed("Picture3").SetVisible(true);
    form.WebBrowserNamed("WebBrowser2").SetVisible(true);
    gtk_widget_queue_resize(GTK_WIDGET(form.Window().gobj()));
    // A frame lays out before it paints: after two painted frames the resize has been made and
    // any size the window asked of the X server has been asked.
    ASSERT_TRUE(WaitForFrames(form, 2)) << "the window stopped painting";

    EXPECT_EQ(XSize(form), (Point{kWidth, kHeight}));
    EXPECT_EQ(form.Window().get_allocated_width(), kWidth);
    EXPECT_EQ(form.Window().get_allocated_height(), kHeight);
    EXPECT_EQ(ScreenOrigin(form), origin) << "the window moved";
    gtk_widget_get_allocation(main, &a);
    EXPECT_EQ(a.width, 340) << "the main view was squeezed into the window";
  });
}

TEST_F(Window, TimerTicksTwiceASecond) {
  std::vector<test::Clock::time_point> ticks;
  RunForm([&](platform::Form& form) { form.TimerNamed("Timer1").Tick = [&] { ticks.push_back(test::Clock::now()); }; },
          [&](GtkForm&) {
            // Seven ticks in a row: the six intervals between them give the pace.
            const std::size_t first = ticks.size();
            ASSERT_TRUE(WaitFor([&] { return ticks.size() >= first + 7; }, 15s)) << ticks.size() - first << " ticks";
            const auto span = test::MillisBetween(ticks[first], ticks[first + 6]);
            EXPECT_LE(span / 6, 750) << "Timer1 ticks too slowly: " << span << " ms for six intervals";
            EXPECT_GE(span / 6, 375) << "Timer1 ticks too fast: " << span << " ms for six intervals";
          });
}

// A timer counts its intervals from the toolkit's start, handed to it when the window starts its
// timers: long past, the first tick comes at once (yet never inside Start), then the steady pace;
// just now, it waits an interval; stopped, it never ticks.
TEST_F(Window, TimersCountTheirIntervalsFromTheToolkitsStart) {
  struct Direct : platform::gtk::Dispatcher {
    void Dispatch(const std::function<void()>& handler) override { handler(); }
    float TwipsX() const override { return 15; }
    float TwipsY() const override { return 15; }
  } direct;
  platform::ControlDesign design;
  design.kind = platform::ControlKind::Timer;
  design.interval = 500;
  platform::gtk::GtkTimer late(direct, design), onTime(direct, design), stopped(direct, design);
  std::vector<std::string> ticks;
  std::vector<test::Clock::time_point> lateTicks;
  late.Tick = [&] {
    ticks.emplace_back("late");
    lateTicks.push_back(test::Clock::now());
  };
  onTime.Tick = [&] { ticks.emplace_back("on time"); };
  stopped.Tick = [&] { ticks.emplace_back("stopped"); };

  // Started first, the timer on time would tick first if the start did not count.
  const auto now = std::chrono::steady_clock::now();
  onTime.Start(now);
  stopped.Start(now - std::chrono::seconds(10));
  stopped.Stop();
  late.Start(now - std::chrono::seconds(10));
  EXPECT_TRUE(ticks.empty());
  ASSERT_TRUE(WaitFor([&] { return std::count(ticks.begin(), ticks.end(), "on time") >= 2; }, 10s));
  late.Stop();
  onTime.Stop();

  ASSERT_GE(ticks.size(), 3u);
  EXPECT_EQ(ticks.front(), "late") << "the timer started long after the toolkit waited an interval";
  EXPECT_EQ(std::count(ticks.begin(), ticks.end(), "stopped"), 0);
  ASSERT_GE(lateTicks.size(), 2u) << "no steady pace after the first tick";
  EXPECT_GE(test::MillisBetween(lateTicks[0], lateTicks[1]), 490);
}

// Form_Load comes before the first tick, whenever the toolkit started.
TEST_F(Window, LoadRunsBeforeTheFirstTick) {
  std::vector<std::string> events;
  RunForm(
      [&](platform::Form& form) {
        form.Load = [&] { events.emplace_back("load"); };
        form.TimerNamed("Timer1").Tick = [&] { events.emplace_back("tick"); };
      },
      [&](GtkForm&) {
        ASSERT_TRUE(WaitFor([&] { return events.size() >= 2; }, 10s));
        EXPECT_EQ(events.front(), "load");
      });
}

// What a page of the view can use, as its scripts see it.
std::string PageCan(WebKitWebView* view) {
  std::string answer;
  bool done = false;
  struct Reply {
    std::string* answer;
    bool* done;
  } reply{&answer, &done};
  webkit_web_view_evaluate_javascript(
      view,
      "'media ' + typeof document.createElement('audio').play + ', webgl ' + "
      "!!document.createElement('canvas').getContext('webgl') + ', web audio ' + typeof AudioContext",
      -1, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        auto* r = static_cast<Reply*>(data);
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          char* text = jsc_value_to_string(value);
          *r->answer = text ? text : "";
          g_free(text);
          g_object_unref(value);
        }
        *r->done = true;
      },
      &reply);
  WaitFor([&] { return done; }, 15s);
  return answer;
}

bool LoadFinished(WebKitWebView* view, const std::string& uri) {
  return WaitFor(
      [&] { return !webkit_web_view_is_loading(view) && g_strcmp0(webkit_web_view_get_uri(view), uri.c_str()) == 0; },
      20s);
}

// The advertisement, another site's page, runs in a leaner process: nothing plays and nothing
// draws through GL there. The site's own pages keep their media: the console's sound plays.
TEST_F(Window, AnOutsidePagePlaysNothingAndHasNoWebGlWhileTheSitesPagesKeepTheirMedia) {
  test::DemoSite site(dir_.Sub("site"));
  const std::string console = site.BaseUrl() + "/kefu/login.php?";
  const std::string outside = "http://localhost:" + std::to_string(site.Port()) + "/ad.html";
  RunForm(nullptr, [&](GtkForm& form) {
    form.WebBrowserNamed("WebBrowser1").Navigate(console);
    form.WebBrowserNamed("WebBrowser2").Navigate(outside);
    WebKitWebView* main = ViewNamed("WebBrowser1");
    WebKitWebView* ad = ViewNamed("WebBrowser2");
    ASSERT_NE(webkit_web_view_get_context(main), webkit_web_view_get_context(ad));
    ASSERT_TRUE(LoadFinished(main, console));
    ASSERT_TRUE(LoadFinished(ad, outside));
    EXPECT_EQ(PageCan(ad), "media undefined, webgl false, web audio undefined");
    EXPECT_EQ(PageCan(main).rfind("media function, ", 0), 0u) << PageCan(main);
  });
}

// A control never navigated (WebBrowser3) makes no web view, so it starts no web process and
// holds back no other view's load; its placeholder keeps the stored place and visibility.
TEST_F(Window, AControlNeverNavigatedKeepsItsPlaceWithoutAWebView) {
  RunForm(nullptr, [&](GtkForm& form) {
    ASSERT_TRUE(ShowColourPage(ViewNamed("WebBrowser1"), "#0f0"));
    form.WebBrowserNamed("WebBrowser2").SetVisible(true);
    ASSERT_TRUE(WaitForFrames(form, 2));
    Gtk::Widget& spare = form.ControlWidget("WebBrowser3");
    EXPECT_FALSE(WEBKIT_IS_WEB_VIEW(spare.gobj()));
    EXPECT_TRUE(spare.get_visible());
    EXPECT_EQ(spare.get_name(), "WebBrowser3");
    const Gtk::Allocation a = spare.get_allocation();
    EXPECT_EQ((std::vector<int>{a.get_x(), a.get_y(), a.get_width(), a.get_height()}),
              (std::vector<int>{72, 688, 65, 25}));
  });
}

}  // namespace
}  // namespace tavro::guitest
