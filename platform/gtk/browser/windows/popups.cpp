// Pop-up windows: create, ready-to-show, close, the policy for new windows of outside pages, and
// the refusal of windows no input asked for.
#include "popups.h"

#include <algorithm>
#include <iostream>

#include "message_box.h"
#include "page_limits.h"
#include "popup_window.h"
#include "desktop_browser.h"
#include "site_origin.h"
#include "web_views.h"

namespace tavro::platform::gtk {
namespace {

const char* RequestUri(WebKitNavigationAction* action) {
  WebKitURIRequest* request = action ? webkit_navigation_action_get_request(action) : nullptr;
  return request ? webkit_uri_request_get_uri(request) : nullptr;
}

bool ByTheAgent(WebKitNavigationAction* action) { return action && webkit_navigation_action_is_user_gesture(action); }

}  // namespace

Popups::Popups(Views& views, Gestures& gestures, BlockedNotices& notices)
    : views_(views), gestures_(gestures), notices_(notices) {}

Popups::~Popups() { CloseAll(); }

void Popups::Attach(const ShownView& shown) {
  WebKitWebView* view = shown.view;
  connections_.Add(view, Connect(view, "create",
                                 +[](WebKitWebView* v, WebKitNavigationAction* action, gpointer self) -> GtkWidget* {
                                   WebKitWebView* created = static_cast<Popups*>(self)->Create(v, action);
                                   return created ? GTK_WIDGET(created) : nullptr;
                                 },
                                 this));
  const bool popup = std::any_of(windows_.begin(), windows_.end(), [view](const auto& w) { return w->View() == view; });
  if (!popup) return;
  connections_.Add(view, Connect(view, "ready-to-show",
                                 +[](WebKitWebView* v, gpointer self) { static_cast<Popups*>(self)->Show(v); }, this));
  // Only windows opened for the site close; the main window's views stay whatever a page asks.
  connections_.Add(view, Connect(view, "close",
                                 +[](WebKitWebView* v, gpointer self) { static_cast<Popups*>(self)->Close(v); }, this));
}

void Popups::Detach(WebKitWebView* view) { connections_.Drop(view); }

void Popups::CloseAll() {
  closed_ = true;
  while (!windows_.empty()) {
    std::unique_ptr<PopupWindow> window = std::move(windows_.front());
    windows_.pop_front();
    window->Hide();
    views_.Remove(window->View());
  }
}

void Popups::Refuse(WebKitWebView* opener) {
  // The advertisement's attempts are no business of the agent's: only the site's views tell.
  if (views_.IsSite(opener)) notices_.Blocked(views_.WindowOf(opener), BlockedNotices::What::Window);
}

WebKitWebView* Popups::Create(WebKitWebView* opener, WebKitNavigationAction* action) {
  if (closed_ || !views_.Known(opener)) return nullptr;
  if (!views_.IsSite(opener)) {
    // Outside pages open in the desktop's browser, and only when the agent clicked: a page may
    // not fill the desktop with browser windows by itself.
    if (gestures_.TakeForWindow(opener, ByTheAgent(action)))
      OpenOnDesktop(RequestUri(action));
    else
      Refuse(opener);
    return nullptr;
  }
  // Whatever the page, a few windows at most, each one asked for by an input of the agent's.
  if (windows_.size() >= kMaxPopupWindows || !gestures_.TakeForWindow(opener, ByTheAgent(action))) {
    Refuse(opener);
    return nullptr;
  }
  // A page of another origin (a customer's link) gets a web process of its own, so that nothing
  // it builds or loops on holds the console: it keeps no opener, as a browser's new tab for a
  // link does, and the engine is told no window was made while Tavro loads it in its own.
  // A window that page opens in turn shares its process, which is not the console's.
  const std::string uri = RequestUri(action);
  const bool openerApart = apart_.count(opener) != 0;
  const bool elsewhere = !openerApart && !WebOriginOf(uri).empty() && !views_.OfTheSite(uri);
  WebKitWebView* view =
      CreateWebView(webkit_web_view_get_context(opener), elsewhere ? nullptr : opener, ViewRole::Site);
  if (elsewhere || openerApart) apart_.insert(view);
  windows_.push_back(std::make_unique<PopupWindow>(view, views_.MainWindow().get_icon(), ApplicationTitle(),
                                                   [this](const std::string& uri) { return views_.OfTheSite(uri); },
                                                   [this, view] { Close(view); }));
  views_.Add(view, windows_.back()->Window(), true, elsewhere || openerApart);
  // A link to a file that opens in a new window downloads there.
  gestures_.GrantDownload(view);
  if (elsewhere) {
    webkit_web_view_load_uri(view, uri.c_str());
    Show(view);
    return nullptr;
  }
  // The engine takes no reference of its own: the pop-up window holds the one that keeps the view.
  return view;
}

void Popups::Show(WebKitWebView* view) {
  for (auto& window : windows_)
    if (window->View() == view && !closed_) window->Show();
}

void Popups::Close(WebKitWebView* view) {
  const auto it = std::find_if(windows_.begin(), windows_.end(), [view](const auto& w) { return w->View() == view; });
  if (it == windows_.end()) return;
  (*it)->Hide();
  views_.Remove(view);
  apart_.erase(view);
  // The page may be inside one of its own signals: the window and its view go once it returns.
  std::shared_ptr<PopupWindow> doomed(std::move(*it));
  windows_.erase(it);
  Glib::signal_idle().connect_once([doomed]() mutable { doomed.reset(); });
}

bool Popups::DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return false;
  if (!views_.Known(view) || views_.IsSite(view)) return false;  // the site's new windows come through "create"
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  if (!closed_ && gestures_.TakeForWindow(view, ByTheAgent(action)))
    OpenOnDesktop(RequestUri(action));
  else
    Refuse(view);
  webkit_policy_decision_ignore(decision);
  return true;
}

}  // namespace tavro::platform::gtk
