// The console's navigations, decided on the main frame's response: the engine tells a main frame's
// response from a frame's, but not a main frame's navigation from a frame's.
#include "navigation_policy.h"

#include <algorithm>

#include "desktop_browser.h"
#include "site_origin.h"

namespace tavro::platform::gtk {
namespace {

// Enough to find the navigation a load started with; a page asking for more is only forgetting.
constexpr std::size_t kRememberedActions = 16;

}  // namespace

void NavigationPolicy::ProgramLoading(WebKitWebView* view) {
  // The engine shows the address it is asked for at once, written as it will start the load.
  if (NavigationState* state = StateOf(view)) state->programUri = UriOf(view);
}

bool NavigationPolicy::LoadFailed(WebKitWebView* view, const char* /*uri*/, GError* /*error*/) {
  if (NavigationState* state = StateOf(view)) state->programLoad = false;
  return false;
}

bool NavigationPolicy::Policed(WebKitWebView* view) const {
  return views_.IsSite(view) && &views_.WindowOf(view) == &views_.MainWindow();
}

void NavigationPolicy::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  NavigationState* found = StateOf(view);
  if (!found) return;
  NavigationState& state = *found;
  if (event == WEBKIT_LOAD_STARTED) {
    // The program's load shows its address from the moment it is asked for.
    state.programLoad = !state.programUri.empty() && UriOf(view) == state.programUri;
    if (state.programLoad) state.programUri.clear();
  } else if (event == WEBKIT_LOAD_COMMITTED) {
    if (state.programLoad) {
      const std::string origin = WebOriginOf(UriOf(view));
      if (!origin.empty()) views_.AddSiteOrigin(origin);
    }
    state.programLoad = false;
  }
}

bool NavigationPolicy::DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type) {
  NavigationState* found = StateOf(view);
  if (!found || !Policed(view)) return false;
  NavigationState& state = *found;
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    if (uri) state.actions.emplace_back(uri, webkit_navigation_action_is_user_gesture(action));
    if (state.actions.size() > kRememberedActions) state.actions.pop_front();
    return false;
  }
  if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return false;
  auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
  if (!webkit_response_policy_decision_is_main_frame_main_resource(response)) return false;
  WebKitURIRequest* request = webkit_response_policy_decision_get_request(response);
  const std::string uri = request ? webkit_uri_request_get_uri(request) : "";
  if (state.programLoad || views_.OfTheSite(uri)) return false;

  // Another origin the program did not ask for: the console stays where it is. The navigation
  // that asked for this address (the redirect that ended here, if any) tells whether the agent
  // clicked; the view itself shows a page's navigation only once it commits.
  const auto asked = std::find_if(state.actions.rbegin(), state.actions.rend(),
                                  [&uri](const auto& action) { return action.first == uri; });
  const bool byAgent = asked != state.actions.rend() && asked->second;
  state.actions.clear();
  webkit_policy_decision_ignore(decision);
  if (byAgent) OpenOnDesktop(uri.c_str());
  return true;
}

}  // namespace tavro::platform::gtk
