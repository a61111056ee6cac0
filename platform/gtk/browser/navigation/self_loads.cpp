// Pacing an outside page's loads of its own.
#include "self_loads.h"

#include <glibmm/main.h>

#include <algorithm>

namespace tavro::platform::gtk {

LoadPacing::Clock::duration LoadPacing::Ask(Clock::time_point now) {
  while (!granted_.empty() && now - granted_.front() >= std::chrono::minutes(1)) granted_.pop_front();
  Clock::time_point at = now;
  if (static_cast<int>(granted_.size()) >= kFreeSelfLoadsPerMinute)
    at = std::max(now, granted_.back() + kSelfLoadSpacing);
  granted_.push_back(at);
  return at - now;
}

void SelfLoads::Attach(const ShownView& shown) {
  if (!shown.site) states_[shown.view];
}

void SelfLoads::ProgramLoading(WebKitWebView* view) {
  if (SelfLoadState* state = StateOf(view)) {
    state->programLoad = true;
    state->held.Disconnect();  // the program's page replaces whatever the page asked for
  }
}

void SelfLoads::CloseAll() {
  PerViewUnit::CloseAll();
  for (auto& [view, state] : states_) state.held.Disconnect();
}

void SelfLoads::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  SelfLoadState* state = StateOf(view);
  if (!state || event != WEBKIT_LOAD_STARTED) return;
  state->ownLoad = !state->programLoad;
  state->programLoad = false;
}

bool SelfLoads::DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
  SelfLoadState* state = StateOf(view);
  if (!state || closed_ || type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE || !state->ownLoad) return false;
  auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
  if (!webkit_response_policy_decision_is_main_frame_main_resource(response)) return false;
  const char* uri = webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
  if (!uri) return false;
  if (!state->held.Connected()) {
    const auto wait = state->pacing.Ask(LoadPacing::Clock::now());
    if (wait == LoadPacing::Clock::duration::zero()) return false;
    state->held = Glib::signal_timeout().connect(
        [this, view] {
          if (SelfLoadState* due = StateOf(view)) {
            due->programLoad = true;
            webkit_web_view_load_uri(view, due->heldUri.c_str());
          }
          return false;
        },
        static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()));
  }
  // One load waits at a time: the latest the page asked for.
  state->heldUri = uri;
  webkit_policy_decision_ignore(decision);
  return true;
}

}  // namespace tavro::platform::gtk
