// The find bar over WebKit's find controller.
#include "find_bar.h"

#include <string>

namespace tavro::platform::gtk {
namespace {

constexpr guint kFindOptions = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
constexpr guint kMaxMatches = 1000;  // more are counted as "1000+"

}  // namespace

FindBar::FindBar(FindBarHost& host) : row_(Gtk::ORIENTATION_HORIZONTAL, 2) {
  frame_.set_name("tavro-find-bar");
  frame_.set_visible_window(true);
  row_.set_border_width(3);
  entry_.set_placeholder_text("查找");
  entry_.set_width_chars(10);
  count_.set_width_chars(7);
  previous_.set_label("▲");
  next_.set_label("▼");
  close_.set_label("✕");
  previous_.set_tooltip_text("上一个 (Shift+Enter)");
  next_.set_tooltip_text("下一个 (Enter)");
  close_.set_tooltip_text("关闭 (Esc)");
  for (Gtk::Button* button : {&previous_, &next_, &close_}) {
    button->set_relief(Gtk::RELIEF_NONE);
    button->set_can_focus(false);  // the focus stays in the text
  }
  row_.pack_start(entry_, true, true);
  row_.pack_start(count_, false, false);
  row_.pack_start(previous_, false, false);
  row_.pack_start(next_, false, false);
  row_.pack_start(close_, false, false);
  frame_.add(row_);
  row_.show_all();

  entry_.signal_search_changed().connect([this] { Search(); });
  entry_.signal_activate().connect([this] { Step(true); });
  entry_.signal_stop_search().connect([this] { Close(); });
  entry_.signal_next_match().connect([this] { Step(true); });
  entry_.signal_previous_match().connect([this] { Step(false); });
  entry_.signal_key_press_event().connect(
      [this](GdkEventKey* event) {
        const guint mods = event->state & gtk_accelerator_get_default_mod_mask();
        if ((event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter) && mods == GDK_SHIFT_MASK) {
          Step(false);
          return true;
        }
        const GObjectPtr<WebKitWebView> view = view_.Get();
        return view && otherKey && otherKey(view.get(), event);
      },
      false);
  entry_.signal_key_release_event().connect(
      [this](GdkEventKey* event) {
        const GObjectPtr<WebKitWebView> view = view_.Get();
        return view && otherKey && otherKey(view.get(), event);
      },
      false);
  previous_.signal_clicked().connect([this] { Step(false); });
  next_.signal_clicked().connect([this] { Step(true); });
  close_.signal_clicked().connect([this] { Close(); });

  host.PlaceFindBar(frame_);
  frame_.hide();
}

FindBar::~FindBar() {
  found_.Disconnect();
  failed_.Disconnect();
  counted_.Disconnect();
}

void FindBar::Target(WebKitWebView* view) {
  const GObjectPtr<WebKitWebView> current = view_.Get();
  if (current.get() == view) return;
  if (current) webkit_find_controller_search_finish(webkit_web_view_get_find_controller(current.get()));
  view_ = WeakRef<WebKitWebView>(view);
  WebKitFindController* controller = webkit_web_view_get_find_controller(view);
  found_ = Connect(controller, "found-text",
                   +[](WebKitFindController*, guint, gpointer self) { static_cast<FindBar*>(self)->count_.set_text(""); },
                   this);
  failed_ = Connect(controller, "failed-to-find-text",
                    +[](WebKitFindController*, gpointer self) { static_cast<FindBar*>(self)->NotFound(); }, this);
  counted_ = Connect(controller, "counted-matches",
                     +[](WebKitFindController*, guint count, gpointer self) { static_cast<FindBar*>(self)->Found(count); },
                     this);
}

void FindBar::Open(WebKitWebView* view) {
  const bool again = IsOpen() && view_.Get().get() == view;
  Target(view);
  frame_.show();
  entry_.grab_focus();  // selects the text, so typing replaces it
  if (!again) Search();
}

void FindBar::Close() {
  if (!IsOpen()) return;
  frame_.hide();
  count_.set_text("");
  if (const GObjectPtr<WebKitWebView> view = view_.Get()) {
    webkit_find_controller_search_finish(webkit_web_view_get_find_controller(view.get()));
    gtk_widget_grab_focus(GTK_WIDGET(view.get()));
  }
}

void FindBar::Forget(WebKitWebView* view) {
  if (view_.Get().get() != view) return;
  found_.Disconnect();
  failed_.Disconnect();
  counted_.Disconnect();
  view_ = WeakRef<WebKitWebView>();
  frame_.hide();
}

void FindBar::Search() {
  const GObjectPtr<WebKitWebView> view = view_.Get();
  if (!view) return;
  WebKitFindController* controller = webkit_web_view_get_find_controller(view.get());
  const std::string text = entry_.get_text();
  if (text.empty()) {
    webkit_find_controller_search_finish(controller);
    count_.set_text("");
    return;
  }
  webkit_find_controller_search(controller, text.c_str(), kFindOptions, kMaxMatches);
  webkit_find_controller_count_matches(controller, text.c_str(), kFindOptions, kMaxMatches);
}

void FindBar::Step(bool forward) {
  const GObjectPtr<WebKitWebView> view = view_.Get();
  if (!view || entry_.get_text().empty()) return;
  WebKitFindController* controller = webkit_web_view_get_find_controller(view.get());
  // The controller steps through the text it was last given; a new text starts a new search.
  const char* searched = webkit_find_controller_get_search_text(controller);
  if (!searched || entry_.get_text() != searched) {
    Search();
    return;
  }
  if (forward)
    webkit_find_controller_search_next(controller);
  else
    webkit_find_controller_search_previous(controller);
}

void FindBar::Found(guint count) {
  if (count == 0) {
    NotFound();
    return;
  }
  count_.set_text(count > kMaxMatches ? std::to_string(kMaxMatches) + "+ 处" : std::to_string(count) + " 处");
}

void FindBar::NotFound() { count_.set_text(entry_.get_text().empty() ? "" : "无结果"); }

}  // namespace tavro::platform::gtk
