// The site's cookies kept across network processes, and the loads Tavro sends itself.
#include "site_session.h"

#include "program_end.h"

namespace tavro::platform::gtk {

SiteSession::SiteSession(Views& views) : views_(views) {}

void SiteSession::Attach(const ShownView& shown) {
  if (!shown.site) return;
  notStarted_[shown.view];
  if (cookies_) return;
  WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(webkit_web_view_get_context(shown.view));
  cookies_ = std::make_unique<CookieJar>(webkit_website_data_manager_get_cookie_manager(data));
  // The engine starts a network process only for a page that needs one: a blob of nothing, made
  // in a script world of Tavro's own in the console, needs it and asks the site for nothing.
  cookies_->wakeNetworkProcess = [this] {
    const auto views = views_.SiteViews();
    if (views.empty()) return;
    webkit_web_view_evaluate_javascript(views.front(), "URL.revokeObjectURL(URL.createObjectURL(new Blob()))", -1,
                                        "tavro-wake", nullptr, nullptr, nullptr, nullptr);
  };
  cookies_->restored = [this] { ReleaseHeldLoads(); };
}

void SiteSession::ProgramLoad(WebKitWebView* view, const std::string& uri) {
  if (views_.IsSite(view) && cookies_ && cookies_->Restoring()) {
    heldLoads_.emplace_back(Retain(view), uri);
    return;
  }
  webkit_web_view_load_uri(view, uri.c_str());
  views_.ProgramLoading(view);
}

void SiteSession::ProgramLoading(WebKitWebView* view) {
  // The engine shows the address it is asked for at once, written as it will start the load.
  if (const auto it = notStarted_.find(view); it != notStarted_.end()) it->second = UriOf(view);
}

void SiteSession::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  const auto it = notStarted_.find(view);
  if (event == WEBKIT_LOAD_STARTED && it != notStarted_.end() && UriOf(view) == it->second) it->second.clear();
}

void SiteSession::ReleaseHeldLoads() {
  auto held = std::move(heldLoads_);
  heldLoads_.clear();
  for (const auto& [view, uri] : held) {
    if (!views_.Known(view.get())) continue;
    webkit_web_view_load_uri(view.get(), uri.c_str());
    views_.ProgramLoading(view.get());
  }
}

std::chrono::steady_clock::time_point SiteSession::Deadline() const {
  // As long as the program waits for a logout at any other end.
  return endingBy_.value_or(std::chrono::steady_clock::now() + kLogoutWait);
}

void SiteSession::SendHeldLoads() {
  auto held = std::move(heldLoads_);
  heldLoads_.clear();
  for (const auto& [view, uri] : held) SendDirect(DirectFor(view.get(), uri), Deadline());
}

void SiteSession::SendUnstartedLoads() {
  for (auto& [view, uri] : notStarted_) {
    if (uri.empty()) continue;
    // The engine's load must not follow Tavro's if the page comes back before the end.
    webkit_web_view_stop_loading(view);
    SendDirect(DirectFor(view, std::exchange(uri, std::string())), Deadline());
  }
}

DirectRequest SiteSession::DirectFor(WebKitWebView* view, const std::string& uri) const {
  DirectRequest request;
  request.uri = uri;
  // Only the site's pages have the site's session; an outside page's own cookies stay with it.
  if ((!view || views_.IsSite(view)) && cookies_) request.cookieHeader = cookies_->HeaderFor(uri);
  if (view) {
    const char* agent = webkit_settings_get_user_agent(webkit_web_view_get_settings(view));
    request.userAgent = agent ? agent : "";
  }
  return request;
}

void SiteSession::SendNow(WebKitWebView* view, const std::string& uri) {
  if (endingBy_) SendDirect(DirectFor(view, uri), *endingBy_);
}

void SiteSession::CloseAll() {
  SendHeldLoads();
  if (std::exchange(closed_, true)) return;
  SendUnstartedLoads();
}

}  // namespace tavro::platform::gtk
