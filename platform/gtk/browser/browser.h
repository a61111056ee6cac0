// The browser over the window's views: it makes the view a placed control first loads a page in,
// and holds the units, each one concern of what an agent expects of a browser on the desktop,
// in the one ordered list that every view Tavro shows is attached to. The site's pages and
// outside pages (the advertisement) live in web contexts of their own, each keeping everything in
// memory.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <optional>
#include <string>

#include "blocked_notice.h"
#include "browser_keys.h"
#include "clipboard_paste.h"
#include "context_menu.h"
#include "crash_reload.h"
#include "self_loads.h"
#include "held_outside_page.h"
#include "downloads.h"
#include "file_drop.h"
#include "finished_media.h"
#include "full_screen.h"
#include "gestures.h"
#include "gtk_form.h"
#include "navigation_policy.h"
#include "other_programs.h"
#include "outage.h"
#include "owners.h"
#include "page_host.h"
#include "page_permissions.h"
#include "platform/files.h"
#include "popups.h"
#include "printing.h"
#include "script_dialogs.h"
#include "site_notifications.h"
#include "site_process.h"
#include "site_session.h"
#include "views.h"
#include "web_browser.h"

namespace tavro::platform::gtk {

class Browser : public PageHost {
 public:
  // `files` tell which file an address came from, for the page of one that cannot be opened.
  Browser(GtkForm& form, const SequentialFiles& files);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  // The one way in from a placed control. The first control ever navigated shows the site;
  // another one shows the site too when its address is of the site's origin, else it shows an
  // outside page. Views of one kind share a web process.
  // An address that makes no web address loads nothing; in the first control, the site's, Tavro's
  // page says what is wrong with it (see bad_address.h).
  void Load(GtkWebBrowser& control, const std::string& text, const std::optional<std::string>& uri) override;
  // The control's view, made now (for the site, unless the site is elsewhere) if it has none: for
  // those that look at the real view.
  WebKitWebView* ViewFor(GtkWebBrowser& control);

  // The main window is going away: every unit closes what it has open (pop-up windows, dialogs,
  // undecided downloads), and loads of the site's the engine did not start are sent by Tavro.
  void CloseAll();
  // The program is ending: from now on a control's load is sent by Tavro itself (see SiteSession).
  void BeginEnding(std::chrono::steady_clock::time_point deadline) { session_.BeginEnding(deadline); }

 private:
  // A view for the control, of the site when it is the first or of the site's origin.
  WebKitWebView* ShowNewView(GtkWebBrowser& control, const std::string& uri, bool first);
  // The site's context, made with the first site view: its profile is the site's (by the origin
  // of the address it first loads), or none for a view made before any address. Outside pages'
  // context, made with the first outside view. A context starts a network process of its own.
  WebKitWebContext* SiteContext(const std::string& uri);
  WebKitWebContext* OutsideContext();

  void ShowBadAddress(GtkWebBrowser& control, const std::string& text);

  GtkForm& form_;
  const SequentialFiles& files_;
  GObjectPtr<WebKitWebContext> siteContext_;
  GObjectPtr<WebKitWebContext> outsideContext_;
  WebKitWebView* firstSiteView_ = nullptr;  // the site's views of the main window are related to it
  WebKitWebView* firstOutsideView_ = nullptr;
  bool navigated_ = false;  // a control was asked to load something
  Views views_;

  // The units, declared in the list's order (see the constructor).
  Gestures gestures_;
  BlockedNotices notices_;
  SiteSession session_;
  SiteNotifications notifications_;
  OtherPrograms programs_;
  PagePermissions permissions_;
  NavigationPolicy navigation_;
  SelfLoads selfLoads_;
  Popups popups_;
  ScriptDialogs dialogs_;
  SiteProcess siteProcess_;
  Downloads downloads_;
  Printing printing_;
  FullScreen fullScreen_;
  CrashReload crashReload_;
  HeldOutsidePage heldOutside_;
  Outage outage_;
  ContextMenus contextMenus_;
  BrowserKeys keys_;
  ClipboardPaste paste_;
  FileDrop drop_;
  FinishedMedia finishedMedia_;
};

}  // namespace tavro::platform::gtk
