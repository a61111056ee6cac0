// Reading a cut title back from the page, in a script world of Tavro's own.
#include "page_title.h"

#include <glibmm/main.h>

#include "page_text.h"
#include "startup_milestones.h"

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

const std::string& PageTitle::Text() const {
  // The whole title while it is still the one the engine's begins.
  if (whole_.size() > engine_.size() && whole_.compare(0, engine_.size(), engine_) == 0) return wholeText_;
  return engineText_;
}

void PageTitle::Changed() {
  if (reading_) g_cancellable_cancel(reading_.get());
  reading_.reset();
  nextRead_.Disconnect();
  whole_.clear();
  wholeText_.clear();
  engine_ = EngineTitle(view_);
  engineText_ = CaptionText(engine_);
  if (!engine_.empty()) Reached(Milestone::Title);
  if (g_utf8_strlen(engine_.c_str(), static_cast<gssize>(engine_.size())) < kEngineTitleCharacters) return;
  // A page that changes a long title over and over gets it read a few times a second at most:
  // the latest one, once the wait is over.
  const auto now = std::chrono::steady_clock::now();
  if (now - lastRead_ >= kReadInterval) {
    ReadWhole();
  } else if (!nextRead_.Connected()) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(lastRead_ + kReadInterval - now);
    nextRead_ = Glib::signal_timeout().connect(
        [this] {
          ReadWhole();
          return false;
        },
        static_cast<unsigned>(wait.count()) + 1);
  }
}

void PageTitle::ReadWhole() {
  nextRead_.Disconnect();
  lastRead_ = std::chrono::steady_clock::now();
  if (reading_) g_cancellable_cancel(reading_.get());
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
        if (!text) return;
        auto* me = static_cast<PageTitle*>(self);
        me->whole_ = text.get();
        me->wholeText_ = CaptionText(me->whole_);
      },
      this);
}

}  // namespace tavro::platform::gtk
