// Ending an outside page's web process that no longer answers.
#include "held_outside_page.h"

#include <glibmm/main.h>

namespace tavro::platform::gtk {

HeldOutsidePage::~HeldOutsidePage() { CloseAll(); }

void HeldOutsidePage::Attach(const ShownView& shown) {
  if (shown.site) return;
  states_[shown.view];
  if (!ticks_.Connected()) ticks_ = Glib::signal_timeout().connect_seconds([this] { return Tick(); }, 1);
}

void HeldOutsidePage::Forget(HeldPageState& state) {
  if (state.question) g_cancellable_cancel(state.question.get());
  state.question.reset();
}

void HeldOutsidePage::Detach(WebKitWebView* view) {
  if (HeldPageState* state = StateOf(view)) Forget(*state);
  PerViewUnit::Detach(view);
  if (states_.empty()) ticks_.Disconnect();
}

void HeldOutsidePage::CloseAll() {
  PerViewUnit::CloseAll();
  ticks_.Disconnect();
  for (auto& [view, state] : states_) Forget(state);
}

void HeldOutsidePage::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  HeldPageState* state = StateOf(view);
  if (state && event == WEBKIT_LOAD_COMMITTED) state->live = true;
}

bool HeldOutsidePage::Tick() {
  if (closed_) return false;
  const auto now = std::chrono::steady_clock::now();
  for (auto& [view, state] : states_) {
    if (!state.live) continue;
    if (!state.question) {
      Ask(view, state);
    } else if (now - state.askedAt >= kOutsideAnswerTime) {
      Forget(state);
      state.live = false;
      webkit_web_view_terminate_web_process(view);
    }
  }
  return true;
}

void HeldOutsidePage::Ask(WebKitWebView* view, HeldPageState& state) {
  state.question = Adopt(g_cancellable_new());
  state.askedAt = std::chrono::steady_clock::now();
  webkit_web_view_evaluate_javascript(
      view, "0", -1, nullptr, nullptr, state.question.get(),
      +[](GObject* source, GAsyncResult* result, gpointer self) {
        GError* error = nullptr;
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error))
          g_object_unref(value);
        const bool cancelled = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        if (error) g_error_free(error);
        if (cancelled) return;  // the view or the unit is gone, or the question was given up
        // Answered, or failed at once (the process ended some other way): either way not held.
        if (HeldPageState* answered = static_cast<HeldOutsidePage*>(self)->StateOf(WEBKIT_WEB_VIEW(source)))
          answered->question.reset();
      },
      this);
}

}  // namespace tavro::platform::gtk
