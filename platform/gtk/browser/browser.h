// Everything the window's browser views do beyond showing pages, as an agent expects of a browser
// on the desktop: pop-up windows, script dialogs, downloads, reloads after a crash, the site's
// notifications, the context menu, the browser's keys, pasting pictures and dropping files, and
// where the console may go, one unit each, within the limits that keep pages from flooding the
// agent. The site's pages and outside pages (the advertisement) live in web contexts of their own,
// each keeping everything in memory.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "blocked_notice.h"
#include "browser_keys.h"
#include "clipboard_paste.h"
#include "context_menu.h"
#include "cookie_jar.h"
#include "crash_reload.h"
#include "direct_request.h"
#include "downloads.h"
#include "file_drop.h"
#include "finished_media.h"
#include "gestures.h"
#include "navigation_policy.h"
#include "outage.h"
#include "owners.h"
#include "popups.h"
#include "script_dialogs.h"
#include "site_notifications.h"
#include "views.h"
#include "web_views.h"

namespace tavro::platform::gtk {

class Browser {
 public:
  explicit Browser(Gtk::Window& mainWindow);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  // A new view for the main window, made when its control is first asked to load `uri` (a
  // floating reference, for the control to take). The first control ever navigated shows the
  // site; another one shows the site too when its address is of the site's origin, else it shows
  // an outside page. Views of one kind share a web process.
  WebKitWebView* NewPlacedView(const std::string& uri);
  // A control was asked to load the address (of nothing to load, when it names no host).
  void Navigating(WebKitWebView* view, const std::optional<std::string>& uri);
  // The program's own load of a page in a view of the main window (not a page's navigation): no
  // page may hold it up or turn it away. A load of the site's waits while the site's session is
  // being given back to a new network process, so that it carries the session.
  void ProgramLoad(WebKitWebView* view, const std::string& uri);
  // The main window is going away: pop-up windows, open dialogs and undecided downloads go too.
  void CloseAll();

  std::size_t PopupCount() const { return popups_.Count(); }

  // The program is ending: from now on a control's load is sent by Tavro itself, with the site's
  // cookies, and waited for until the deadline (see direct_request.h).
  void BeginEnding(std::chrono::steady_clock::time_point deadline) { endingBy_ = deadline; }
  bool Ending() const { return endingBy_.has_value(); }
  void SendNow(WebKitWebView* view, const std::string& uri);

 private:
  void Attach(WebKitWebView* view, Gtk::Window& window, bool site);
  void Detach(WebKitWebView* view);
  void PopupClosing(WebKitWebView* view);
  bool SiteStuck(WebKitWebView* view) const;
  // Ends the site's web process (the view's) and loads the site's pages again in a new one.
  void RestartSiteProcess(WebKitWebView* view);
  void ProgramLoading(WebKitWebView* view);
  // The loads held for the session: made now, or, with the main window going, sent by Tavro
  // itself with the copy of the cookies (a logout must not be lost).
  void ReleaseHeldLoads();
  void SendHeldLoads();
  // The program's loads of the site's pages that the engine has not started by the time the
  // window goes (a page busy, stopped or hung in its web process): sent by Tavro itself, once.
  void SendUnstartedLoads();
  // A request of the site's, sent by Tavro itself, as the view would have sent it.
  DirectRequest DirectFor(WebKitWebView* view, const std::string& uri) const;

  // Outside pages' context, made with the first outside view: a context starts a network
  // process of its own.
  WebKitWebContext* OutsideContext();

  // Declared in the order of their use: the units go before the views' registry and the contexts.
  GObjectPtr<WebKitWebContext> siteContext_;
  GObjectPtr<WebKitWebContext> outsideContext_;
  Views views_;
  WebKitWebView* firstSiteView_ = nullptr;  // the site's views of the main window are related to it
  WebKitWebView* firstOutsideView_ = nullptr;
  bool navigated_ = false;  // a control was asked to load something
  bool closing_ = false;    // the main window is going
  CookieJar siteCookies_;
  std::vector<std::pair<GObjectPtr<WebKitWebView>, std::string>> heldLoads_;
  std::optional<std::chrono::steady_clock::time_point> endingBy_;
  Gestures gestures_;
  BlockedNotices notices_;
  Popups popups_;
  ScriptDialogs dialogs_;
  Downloads downloads_;
  CrashReload crashReload_;
  Outage outage_;
  SiteNotifications notifications_;
  ContextMenus contextMenus_;
  BrowserKeys keys_;
  ClipboardPaste paste_;
  FileDrop drop_;
  FinishedMedia finishedMedia_;
  NavigationPolicy navigation_;
};

}  // namespace tavro::platform::gtk
