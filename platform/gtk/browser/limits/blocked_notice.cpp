// The notice of refused windows and downloads and of links without a program, one per window, its
// count going up while it shows.
#include "blocked_notice.h"

#include "page_limits.h"

namespace tavro::platform::gtk {
namespace {

constexpr int kBottomMargin = 12;  // pixels between the notice and the window's bottom edge

constexpr char kNoticeCss[] =
    "window.tavro-notice { background-color: rgba(40, 40, 40, 0.92); border-radius: 4px; }"
    "window.tavro-notice label { color: #ffffff; padding: 6px 12px; }";

}  // namespace

struct BlockedNotices::Notice {
  // A pop-up window of the toolkit: above the page, never given the focus, outside the window
  // manager's stacking of the agent's windows.
  Gtk::Window window{Gtk::WINDOW_POPUP};
  Gtk::Label label;
  int windows = 0;
  int downloads = 0;
  std::string noProgram;  // the scheme of the latest link no program opens
  ScopedConnection hide;

  Notice() {
    window.set_type_hint(Gdk::WINDOW_TYPE_HINT_NOTIFICATION);
    window.set_accept_focus(false);
    window.set_focus_on_map(false);
    window.set_resizable(false);
    window.get_style_context()->add_class("tavro-notice");
    auto css = Gtk::CssProvider::create();
    css->load_from_data(kNoticeCss);
    window.get_style_context()->add_provider(css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    label.get_style_context()->add_provider(css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    window.add(label);
    label.show();
  }
};

BlockedNotices::BlockedNotices() = default;

BlockedNotices::~BlockedNotices() { CloseAll(); }

void BlockedNotices::Blocked(Gtk::Window& parent, What what, const std::string& scheme) {
  if (closed_ || !parent.get_visible()) return;
  std::unique_ptr<Notice>& notice = notices_[&parent];
  if (!notice) notice = std::make_unique<Notice>();
  switch (what) {
    case What::Window: notice->windows += 1; break;
    case What::Download: notice->downloads += 1; break;
    case What::NoProgram: notice->noProgram = scheme; break;
  }
  std::string text = BlockedNoticeText(notice->windows, notice->downloads);
  if (!notice->noProgram.empty())
    text += (text.empty() ? "" : "；") + NoProgramNoticeText(notice->noProgram);
  notice->label.set_text(text);
  // The title carries the text too: what the desktop's accessibility tools and tests read.
  notice->window.set_title(text);
  notice->window.set_transient_for(parent);

  // Over the bottom edge of the window's content, in the middle.
  int x = 0, y = 0;
  if (const auto gdk = parent.get_window()) gdk->get_origin(x, y);
  int minimum = 0, width = 0, height = 0;
  notice->window.get_preferred_width(minimum, width);
  notice->window.get_preferred_height(minimum, height);
  notice->window.move(x + (parent.get_width() - width) / 2, y + parent.get_height() - height - kBottomMargin);
  notice->window.show();

  // Gone a few seconds after the last refusal; the next one starts the count again.
  Notice* raw = notice.get();
  notice->hide = Glib::signal_timeout().connect(
      [raw] {
        raw->window.hide();
        raw->windows = raw->downloads = 0;
        raw->noProgram.clear();
        return false;
      },
      static_cast<unsigned>(kNoticeTime.count()));
}

void BlockedNotices::Attach(const ShownView& shown) {
  if (!shown.main) popups_[shown.view] = shown.window;
}

void BlockedNotices::Detach(WebKitWebView* view) {
  const auto it = popups_.find(view);
  if (it == popups_.end()) return;
  notices_.erase(it->second);
  popups_.erase(it);
}

void BlockedNotices::CloseAll() {
  closed_ = true;
  notices_.clear();
}

}  // namespace tavro::platform::gtk
