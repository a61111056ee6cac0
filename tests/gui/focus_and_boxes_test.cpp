// Keyboard focus along the stored tab positions, and the icons of the message boxes.
#include <memory>
#include <string>
#include <vector>

#include "gui_fixture.h"

namespace tavro::guitest {
namespace {

std::string FocusedName(GtkForm& form) {
  GtkWidget* focus = gtk_window_get_focus(form.Window().gobj());
  return focus ? gtk_widget_get_name(focus) : "(none)";
}

// What Tab and Shift+Tab do once the page in the focused view hands the key back: the window moves
// the focus along its chain.
std::string AfterMove(GtkForm& form, GtkDirectionType direction) {
  g_signal_emit_by_name(form.Window().gobj(), "move-focus", direction);
  return FocusedName(form);
}

class FocusChain : public GuiTest {
 protected:
  void SetUp() override { x_->StartWindowManager(); }
};

TEST_F(FocusChain, TabFollowsTheStoredTabPositionsPassingOverHiddenAndUnfocusableControls) {
  RunForm(nullptr, [&](GtkForm& form) {
    // Pages with one button: Tab into a view lands on it, the next Tab leaves the view. A page
    // that loses the keyboard lets go of its button, so that coming back starts on it again.
    for (const char* name : {"WebBrowser1", "WebBrowser2", "WebBrowser3"})
      ASSERT_TRUE(ShowHtml(ViewNamed(name),
                           "<body><button onfocus=\"document.title='on'\">b</button><script>"
                           "window.onblur = function () { document.activeElement.blur(); document.title = 'off'; };"
                           "</script></body>"))
          << name;
    gtk_widget_grab_focus(GTK_WIDGET(ViewNamed("WebBrowser1")));
    ASSERT_TRUE(WaitFor([&] { return gtk_window_is_active(form.Window().gobj()); }, 5s)) << "no keyboard";
    ASSERT_EQ(FocusedName(form), "WebBrowser1");
    input_->Key(Xid(form), "Tab");
    ASSERT_TRUE(WaitFor(
        [&] { return g_strcmp0(webkit_web_view_get_title(ViewNamed("WebBrowser1")), "on") == 0; }, 5s))
        << "the first Tab did not reach the main view's button";

    // The key itself: Tab on the main view's last (only) button goes on to the next tab position
    // that can take the focus.
    input_->Key(Xid(form), "Tab");
    EXPECT_TRUE(WaitFor([&] { return FocusedName(form) != "WebBrowser1"; }, 5s));
    EXPECT_EQ(FocusedName(form), "WebBrowser3");

    // Signed out: the advertisement view (3) is hidden, the pictures (1, 2, 4) never take the
    // focus: 0 -> 5 -> 0, and back.
    const auto forward = GTK_DIR_TAB_FORWARD, backward = GTK_DIR_TAB_BACKWARD;
    EXPECT_EQ(AfterMove(form, forward), "WebBrowser1");
    EXPECT_EQ(AfterMove(form, forward), "WebBrowser3");
    EXPECT_EQ(AfterMove(form, backward), "WebBrowser1");
    EXPECT_EQ(AfterMove(form, backward), "WebBrowser3");
    EXPECT_EQ(AfterMove(form, backward), "WebBrowser1");

    // Signed in: 0 -> 3 -> 5 -> 0, and back.
    form.WebBrowserNamed("WebBrowser2").SetVisible(true);
    form.PictureBoxNamed("Picture3").SetVisible(true);
    ASSERT_TRUE(WaitForFrames(form, 1));
    EXPECT_EQ(AfterMove(form, forward), "WebBrowser2");
    EXPECT_EQ(AfterMove(form, forward), "WebBrowser3");
    EXPECT_EQ(AfterMove(form, forward), "WebBrowser1");
    EXPECT_EQ(AfterMove(form, backward), "WebBrowser3");
    EXPECT_EQ(AfterMove(form, backward), "WebBrowser2");
    EXPECT_EQ(AfterMove(form, backward), "WebBrowser1");
  });
}

// The icon a visible message box shows, read from its widgets; empty for none.
struct BoxLook {
  bool seen = false;
  std::string iconName;
};

void LookAtNextBoxThenAnswer(BoxLook& look) {
  auto tries = std::make_shared<int>(0);
  Glib::signal_timeout().connect(
      [&look, tries] {
        GtkWidget* box = nullptr;
        GList* toplevels = gtk_window_list_toplevels();
        for (GList* l = toplevels; l; l = l->next)
          if (GTK_IS_MESSAGE_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data))) box = GTK_WIDGET(l->data);
        g_list_free(toplevels);
        if (!box) return ++*tries < 100;
        look.seen = true;
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        GtkWidget* image = gtk_message_dialog_get_image(GTK_MESSAGE_DIALOG(box));
        G_GNUC_END_IGNORE_DEPRECATIONS
        if (image && GTK_IS_IMAGE(image) && gtk_widget_get_visible(image) &&
            gtk_image_get_storage_type(GTK_IMAGE(image)) == GTK_IMAGE_ICON_NAME) {
          const gchar* name = nullptr;
          gtk_image_get_icon_name(GTK_IMAGE(image), &name, nullptr);
          look.iconName = name ? name : "";
        }
        gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
        return false;
      },
      50);
}

class MessageBoxLook : public GuiTest {};

TEST_F(MessageBoxLook, TheExitQuestionShowsTheInformationIconAndThePlainNoticeNone) {
  RunForm(nullptr, [&](GtkForm&) {
    BoxLook question;
    LookAtNextBoxThenAnswer(question);
    EXPECT_EQ(runtime_->MsgBox("你是否真的要退出吗？", platform::vbOKCancel | platform::vbInformation), platform::vbOK);
    ASSERT_TRUE(question.seen);
    EXPECT_EQ(question.iconName, "dialog-information");
    // The theme has the picture, so the box really shows one.
    EXPECT_TRUE(gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), "dialog-information"));

    BoxLook notice;
    LookAtNextBoxThenAnswer(notice);
    EXPECT_EQ(runtime_->MsgBox("在url.txt填写您的网址地址即可运行", platform::vbOKOnly), platform::vbOK);
    ASSERT_TRUE(notice.seen);
    EXPECT_EQ(notice.iconName, "");
  });
}

}  // namespace
}  // namespace tavro::guitest
