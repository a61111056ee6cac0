// The browser units over the views of the main window and of the site's pop-ups.
#include "browser.h"

#include <algorithm>
#include <vector>

#include "site_origin.h"

namespace tavro::platform::gtk {
namespace {

// How long a load still held for the session at the end is waited for when sent by Tavro itself:
// as long as the program waits for a logout at any other end.
constexpr std::chrono::milliseconds kHeldLoadWait{1000};

}  // namespace

Browser::Browser(Gtk::Window& mainWindow)
    : siteContext_(CreateWebContext(ViewRole::Site)),
      views_(mainWindow),
      siteCookies_(webkit_website_data_manager_get_cookie_manager(webkit_web_context_get_website_data_manager(siteContext_.get()))),
      popups_(views_, gestures_, notices_),
      dialogs_(views_),
      downloads_(views_, gestures_, notices_, siteContext_.get()),
      notifications_(views_, siteContext_.get()),
      navigation_(views_) {
  popups_.opened = [this](WebKitWebView* view, Gtk::Window& window) { Attach(view, window, true); };
  // The engine starts a network process only for a page that needs one: a blob of nothing, made
  // in a script world of Tavro's own in the console, needs it and asks the site for nothing.
  siteCookies_.wakeNetworkProcess = [this] {
    if (!firstSiteView_) return;
    webkit_web_view_evaluate_javascript(firstSiteView_, "URL.revokeObjectURL(URL.createObjectURL(new Blob()))", -1,
                                        "tavro-wake", nullptr, nullptr, nullptr, nullptr);
  };
  popups_.closing = [this](WebKitWebView* view) { PopupClosing(view); };
  siteCookies_.restored = [this] { ReleaseHeldLoads(); };
}

Browser::~Browser() { CloseAll(); }

WebKitWebView* Browser::NewPlacedView(const std::string& uri) {
  const bool site = !navigated_ || SameWebOrigin(uri, views_.SiteUri());
  WebKitWebView*& first = site ? firstSiteView_ : firstOutsideView_;
  WebKitWebView* view = CreateWebView(site ? siteContext_.get() : OutsideContext(), first,
                                      site ? ViewRole::Site : ViewRole::Outside);
  if (!first) first = view;
  Attach(view, views_.MainWindow(), site);
  return view;
}

WebKitWebContext* Browser::OutsideContext() {
  if (!outsideContext_) {
    outsideContext_ = CreateWebContext(ViewRole::Outside);
    downloads_.RefuseAllFrom(outsideContext_.get());
  }
  return outsideContext_.get();
}

void Browser::Attach(WebKitWebView* view, Gtk::Window& window, bool site) {
  views_.Add(view, window, site);
  gestures_.Attach(view);
  popups_.Attach(view);
  dialogs_.Attach(view);
  crashReload_.Attach(view);
  // The console itself: a site that cannot be reached gets Tavro's own page and retries.
  if (site && &window == &views_.MainWindow()) outage_.Attach(view);
  notifications_.Attach(view);
  contextMenus_.Attach(view);
  navigation_.Attach(view);
  if (!site) return;
  finishedMedia_.Attach(view);
  keys_.Attach(view, window);
  paste_.Attach(view);
  drop_.Attach(view);
}

void Browser::Detach(WebKitWebView* view) {
  drop_.Detach(view);
  paste_.Detach(view);
  keys_.Detach(view);
  navigation_.Detach(view);
  contextMenus_.Detach(view);
  notifications_.Detach(view);
  crashReload_.Detach(view);
  outage_.Detach(view);
  dialogs_.Detach(view);
  popups_.Detach(view);
  gestures_.Detach(view);
  views_.Remove(view);
}

bool Browser::SiteStuck(WebKitWebView* view) const {
  // Scripts that never end (a loop of dialogs nobody sees) hold every page of the web process.
  const auto views = views_.SiteViews();
  return !webkit_web_view_get_is_web_process_responsive(view) ||
         std::any_of(views.begin(), views.end(), [this](WebKitWebView* v) { return dialogs_.Looping(v); });
}

void Browser::RestartSiteProcess(WebKitWebView* view) {
  // The engine forgets the views' addresses with their process.
  std::vector<std::pair<WebKitWebView*, std::string>> pages;
  for (WebKitWebView* site : views_.SiteViews()) pages.emplace_back(site, UriOf(site));
  webkit_web_view_terminate_web_process(view);
  for (const auto& [site, uri] : pages)
    if (!uri.empty()) webkit_web_view_load_uri(site, uri.c_str());
}

void Browser::PopupClosing(WebKitWebView* view) {
  notices_.Forget(views_.WindowOf(view));
  // A pop-up shares the site's web process, and closing its window does not stop its script: a
  // stuck one takes the process along, and the console loads its page again in a new one.
  const bool stuck = !closing_ && (dialogs_.Looping(view) || SiteStuck(view));
  Detach(view);
  if (stuck) RestartSiteProcess(view);
}

void Browser::Navigating(WebKitWebView* view, const std::optional<std::string>& uri) {
  // Only the first control navigated shows the site, even when its address gave nothing to load.
  if (navigated_) return;
  navigated_ = true;
  if (!uri || !view || !views_.IsSite(view)) return;
  views_.SetSiteUri(*uri);
  notifications_.SiteKnown(view, *uri);
}

void Browser::ProgramLoad(WebKitWebView* view, const std::string& uri) {
  if (views_.IsSite(view) && siteCookies_.Restoring()) {
    heldLoads_.emplace_back(Retain(view), uri);
    return;
  }
  webkit_web_view_load_uri(view, uri.c_str());
  ProgramLoading(view);
}

void Browser::ReleaseHeldLoads() {
  auto held = std::move(heldLoads_);
  heldLoads_.clear();
  for (const auto& [view, uri] : held) {
    if (!views_.Known(view.get())) continue;
    webkit_web_view_load_uri(view.get(), uri.c_str());
    ProgramLoading(view.get());
  }
}

void Browser::SendHeldLoads() {
  auto held = std::move(heldLoads_);
  heldLoads_.clear();
  for (const auto& [view, uri] : held)
    SendDirect(DirectFor(view.get(), uri),
               endingBy_.value_or(std::chrono::steady_clock::now() + kHeldLoadWait));
}

void Browser::SendUnstartedLoads() {
  for (WebKitWebView* view : views_.SiteViews()) {
    const std::string uri = navigation_.ProgramLoadNotStarted(view);
    if (uri.empty()) continue;
    // The engine's load must not follow Tavro's if the page comes back before the end.
    webkit_web_view_stop_loading(view);
    SendDirect(DirectFor(view, uri), endingBy_.value_or(std::chrono::steady_clock::now() + kHeldLoadWait));
  }
}

DirectRequest Browser::DirectFor(WebKitWebView* view, const std::string& uri) const {
  DirectRequest request;
  request.uri = uri;
  // Only the site's pages have the site's session; an outside page's own cookies stay with it.
  if (!view || views_.IsSite(view)) request.cookieHeader = siteCookies_.HeaderFor(uri);
  if (view) {
    const char* agent = webkit_settings_get_user_agent(webkit_web_view_get_settings(view));
    request.userAgent = agent ? agent : "";
  }
  return request;
}

void Browser::ProgramLoading(WebKitWebView* view) {
  if (!view || !views_.Known(view)) return;
  navigation_.ProgramLoading(view);
  dialogs_.ProgramNavigating(view);
  // The logout at exit must get through even when a site page holds the process.
  if (views_.IsSite(view) && SiteStuck(view)) RestartSiteProcess(view);
}

void Browser::SendNow(WebKitWebView* view, const std::string& uri) {
  if (endingBy_) SendDirect(DirectFor(view, uri), *endingBy_);
}

void Browser::CloseAll() {
  const bool first = !closing_;
  closing_ = true;
  SendHeldLoads();
  if (first) SendUnstartedLoads();
  notices_.CloseAll();
  dialogs_.CloseAll();
  downloads_.CloseAll();
  popups_.CloseAll();
  crashReload_.CloseAll();
  outage_.CloseAll();
  notifications_.CloseAll();
}

}  // namespace tavro::platform::gtk
