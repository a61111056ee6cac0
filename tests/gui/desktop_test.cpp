// The window under a window manager: keyboard focus, minimising and message boxes.
#include <memory>
#include <string>

#include "app/form1.h"
#include "gui_support.h"
#include "platform/gtk/gtk_platform.h"
#include "tavro_config.h"

// Xlib last: its macros would break the C++ headers above.
#include <X11/Xlib.h>

namespace tavro::guitest {
namespace {

// WM_STATE of the window as the window manager keeps it: 1 normal, 3 iconic, -1 none.
long WmState(::Window window) {
  Display* display = XDisplay();
  const Atom wmState = XInternAtom(display, "WM_STATE", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  long state = -1;
  if (XGetWindowProperty(display, window, wmState, 0, 2, False, wmState, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    if (format == 32 && count >= 1) state = reinterpret_cast<long*>(data)[0];
    XFree(data);
  }
  return state;
}

TEST(Desktop, MainViewHoldsTheKeyboardAndTheMinimiseBoxIconifies) {
  auto runtime = NewRuntime();
  const WindowManager wm;
  ASSERT_TRUE(wm.Running());
  auto user32 = platform::gtk::CreateWindowSystem();
  std::unique_ptr<app::Form1> form1;
  RunForm(
      *runtime,
      [&](platform::Form& form) {
        form1 = std::make_unique<app::Form1>(*runtime, *user32, form);
        form.PictureBoxNamed("Picture3").Click = [&] { form1->Picture3_Click(); };
      },
      [&](GtkForm& form) {
        GtkWidget* main = GTK_WIDGET(ViewOf(form, "WebBrowser1"));
        EXPECT_TRUE(WaitFor([&] { return gtk_widget_has_focus(main); }, 5000))
            << "the main view does not receive the keyboard";

        form.PictureBoxNamed("Picture3").SetVisible(true);
        const ResourceImage minimise("/tavro/form/minimize.gif");
        const Point o = ScreenOrigin(form);
        Shot shot;
        const bool shown = WaitFor(
            [&] {
              shot = Shot::Take();
              return shot.At(o.x + 253, o.y) == minimise.At(0, 0) &&
                     shot.At(o.x + 265, o.y + 10) == minimise.At(12, 10);
            },
            5000);
        ASSERT_TRUE(shown) << "the minimise box did not appear; screen: " << shot.Save("minimise-box");
        EXPECT_EQ(form.WindowState(), platform::vbNormal);

        Xdotool({"mousemove", std::to_string(o.x + 265), std::to_string(o.y + 8)});
        Pump(100);
        Xdotool({"click", "1"});
        GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(form.Window().gobj()));
        EXPECT_TRUE(
            WaitFor([&] { return (gdk_window_get_state(window) & GDK_WINDOW_STATE_ICONIFIED) != 0; }, 5000))
            << "the window was not iconified";
        EXPECT_EQ(form.WindowState(), platform::vbMinimized);
        EXPECT_EQ(WmState(Xid(form)), 3L) << "the window manager does not hold the window iconic";
      });
}

// What a message box looked like when the test answered it.
struct Answered {
  bool seen = false;
  std::string title, defaultLabel;
  bool defaultHasFocus = false;
};

// Answers the next message box with `key` once the window manager has given it the keyboard.
void AnswerNextBoxWith(const std::string& key, Answered& answered) {
  auto tries = std::make_shared<int>(0);
  Glib::signal_timeout().connect(
      [key, &answered, tries] {
        GtkWindow* box = nullptr;
        GList* toplevels = gtk_window_list_toplevels();
        for (GList* l = toplevels; l; l = l->next)
          if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
            box = GTK_WINDOW(l->data);
        g_list_free(toplevels);
        if (!box || !gtk_window_is_active(box)) {
          if (++*tries < 100) return true;
          // Never focused: close it, so the test fails instead of hanging.
          if (box) gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_NONE);
          return false;
        }
        answered.seen = true;
        answered.title = gtk_window_get_title(box) ? gtk_window_get_title(box) : "";
        GtkWidget* defaultWidget = gtk_window_get_default_widget(box);
        if (defaultWidget && GTK_IS_BUTTON(defaultWidget)) {
          const char* label = gtk_button_get_label(GTK_BUTTON(defaultWidget));
          answered.defaultLabel = label ? label : "";
          answered.defaultHasFocus = gtk_widget_has_focus(defaultWidget);
        }
        Xdotool({"key", key});
        return false;
      },
      100);
}

TEST(Desktop, MessageBoxesCarryTheTitleAndAnswerByKeyboard) {
  auto runtime = NewRuntime();
  const WindowManager wm;
  ASSERT_TRUE(wm.Running());
  RunForm(*runtime, nullptr, [&](GtkForm&) {
    const int question = platform::vbOKCancel | platform::vbInformation;

    Answered enter;
    AnswerNextBoxWith("Return", enter);
    EXPECT_EQ(runtime->MsgBox("Return?", question), platform::vbOK);
    ASSERT_TRUE(enter.seen) << "the message box never had the keyboard";
    EXPECT_EQ(enter.title, TAVRO_DISPLAY_NAME);
    EXPECT_EQ(enter.defaultLabel, "确定") << "OK is not the default button";
    EXPECT_TRUE(enter.defaultHasFocus) << "OK does not have the focus";

    Answered escape;
    AnswerNextBoxWith("Escape", escape);
    EXPECT_EQ(runtime->MsgBox("Escape?", question), platform::vbCancel);
    EXPECT_TRUE(escape.seen);

    Answered notice;
    AnswerNextBoxWith("Escape", notice);
    EXPECT_EQ(runtime->MsgBox("Notice", platform::vbOKOnly), platform::vbOK);
    EXPECT_TRUE(notice.seen);
    EXPECT_EQ(notice.title, TAVRO_DISPLAY_NAME);
  });
}

}  // namespace
}  // namespace tavro::guitest
