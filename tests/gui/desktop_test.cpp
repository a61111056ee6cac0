// The window under a window manager: keyboard focus, the window state read back, message boxes.
#include <memory>
#include <string>

#include "app/form1.h"
#include "gui_fixture.h"
#include "platform/gtk/runtime/gtk_platform.h"
#include "tavro_config.h"

// Xlib last: its macros would break the C++ headers above.
#include <gdk/gdkx.h>

namespace tavro::guitest {
namespace {

class Desktop : public GuiTest {
 protected:
  void SetUp() override { x_->StartWindowManager(); }
};

TEST_F(Desktop, MainViewHoldsTheKeyboardAndTheWindowStateFollowsMinimising) {
  auto user32 = platform::gtk::CreateWindowSystem();
  std::unique_ptr<app::Form1> form1;
  RunForm(
      [&](platform::Form& form) {
        form1 = std::make_unique<app::Form1>(*runtime_, *user32, form);
        ViewNamed("WebBrowser1");  // made before the window is shown, as by Form_Load's Navigate
      },
          [&](GtkForm& form) {
            GtkWidget* main = GTK_WIDGET(ViewNamed("WebBrowser1"));
            // The window manager gives the keyboard to a new window; a loaded machine makes it wait.
            EXPECT_TRUE(WaitFor([&] { return gtk_widget_has_focus(main); }, 20s))
                << "the main view does not receive the keyboard";

            EXPECT_EQ(form.WindowState(), platform::vbNormal);
            form1->Picture3_Click();
            GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(form.Window().gobj()));
            EXPECT_TRUE(WaitFor([&] { return (gdk_window_get_state(window) & GDK_WINDOW_STATE_ICONIFIED) != 0; }, 20s))
                << "the window was not iconified";
            EXPECT_EQ(form.WindowState(), platform::vbMinimized);
          });
}

// What a message box looked like when the test answered it.
struct Answered {
  bool seen = false;
  std::string title, defaultLabel;
  bool defaultHasFocus = false;
};

// Answers the next message box with `key` once the window manager has given it the keyboard.
void AnswerNextBoxWith(test::Input& input, const std::string& key, Answered& answered) {
  auto tries = std::make_shared<int>(0);
  Glib::signal_timeout().connect(
      [&input, key, &answered, tries] {
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
        gdk_display_sync(gdk_display_get_default());
        input.Key(GDK_WINDOW_XID(gtk_widget_get_window(GTK_WIDGET(box))), key);
        return false;
      },
      100);
}

TEST_F(Desktop, MessageBoxesCarryTheTitleAndAnswerByKeyboard) {
  RunForm(nullptr, [&](GtkForm&) {
    const int question = platform::vbOKCancel | platform::vbInformation;

    Answered enter;
    AnswerNextBoxWith(*input_, "Return", enter);
    EXPECT_EQ(runtime_->MsgBox("Return?", question), platform::vbOK);
    ASSERT_TRUE(enter.seen) << "the message box never had the keyboard";
    EXPECT_EQ(enter.title, TAVRO_DISPLAY_NAME);
    EXPECT_EQ(enter.defaultLabel, "确定") << "OK is not the default button";
    EXPECT_TRUE(enter.defaultHasFocus) << "OK does not have the focus";

    Answered escape;
    AnswerNextBoxWith(*input_, "Escape", escape);
    EXPECT_EQ(runtime_->MsgBox("Escape?", question), platform::vbCancel);
    EXPECT_TRUE(escape.seen);

    Answered notice;
    AnswerNextBoxWith(*input_, "Escape", notice);
    EXPECT_EQ(runtime_->MsgBox("Notice", platform::vbOKOnly), platform::vbOK);
    EXPECT_TRUE(notice.seen);
    EXPECT_EQ(notice.title, TAVRO_DISPLAY_NAME);
  });
}

}  // namespace
}  // namespace tavro::guitest
