// Reading a cut title back from the page, in a script world of Tavro's own.
#include "page_title.h"

#include "timeline.h"

namespace tavro::platform::gtk {
namespace {

// A world of its own: the page's scripts cannot change what document.title answers there.
constexpr char kWorld[] = "tavro-title";

std::string EngineTitle(WebKitWebView* view) {
  const char* title = webkit_web_view_get_title(view);
  return title ? title : "";
}

}  // namespace

PageTitle::PageTitle(WebKitWebView* view)
    : view_(view),
      changed_(Connect(view, "notify::title",
                       +[](WebKitWebView*, GParamSpec*, gpointer self) { static_cast<PageTitle*>(self)->Changed(); },
                       this)) {}

PageTitle::~PageTitle() {
  if (reading_) g_cancellable_cancel(reading_.get());
}

std::string PageTitle::Text() const {
  std::string engine = EngineTitle(view_);
  if (!whole_.empty() && whole_.size() > engine.size() && whole_.compare(0, engine.size(), engine) == 0) return whole_;
  return engine;
}

void PageTitle::Changed() {
  if (reading_) g_cancellable_cancel(reading_.get());
  reading_.reset();
  whole_.clear();
  const std::string engine = EngineTitle(view_);
  if (!engine.empty()) Reached(Milestone::Title);
  if (g_utf8_strlen(engine.c_str(), static_cast<gssize>(engine.size())) < kEngineTitleCharacters) return;
  reading_ = Adopt(g_cancellable_new());
  const std::string script = "document.title.slice(0, " + std::to_string(kLongestTitleCharacters) + ")";
  webkit_web_view_evaluate_javascript(
      view_, script.c_str(), -1, kWorld, nullptr, reading_.get(),
      +[](GObject* source, GAsyncResult* result, gpointer self) {
        GError* raw = nullptr;
        const auto value = Adopt(webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &raw));
        const GErrorPtr error(raw);
        if (error || !value || !jsc_value_is_string(value.get())) return;  // cancelled: `self` may be gone
        const GCharPtr text(jsc_value_to_string(value.get()));
        if (text) static_cast<PageTitle*>(self)->whole_ = text.get();
      },
      this);
}

}  // namespace tavro::platform::gtk
