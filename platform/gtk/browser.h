// Everything the window's browser views do beyond showing pages, as an agent expects of a browser
// on the desktop: pop-up windows, script dialogs, downloads, reloads after a crash, the site's
// notifications and the context menu, one unit each, over one web context that keeps everything
// in memory.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <string>

#include "context_menu.h"
#include "crash_reload.h"
#include "downloads.h"
#include "owners.h"
#include "popups.h"
#include "script_dialogs.h"
#include "site_notifications.h"
#include "views.h"

namespace tavro::platform::gtk {

class Browser {
 public:
  explicit Browser(Gtk::Window& mainWindow);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  // A new view for the main window (a floating reference, for its control to take). Views of the
  // main window share one web process; a view starts none before its first load.
  WebKitWebView* NewPlacedView();
  // The view was asked to load the address. The first view ever navigated shows the site: its
  // first address gives the site's origin, the one that may show notifications and pop-ups.
  void Navigating(WebKitWebView* view, const std::string& uri);
  // The main window is going away: pop-up windows, open dialogs and undecided downloads go too.
  void CloseAll();

  std::size_t PopupCount() const { return popups_.Count(); }

 private:
  void Attach(WebKitWebView* view, Gtk::Window& window, bool site);
  void Detach(WebKitWebView* view);

  // Declared in the order of their use: the units go before the views' registry and the context.
  GObjectPtr<WebKitWebContext> context_;
  Views views_;
  WebKitWebView* firstPlaced_ = nullptr;  // the views of the main window are related to it
  bool siteKnown_ = false;
  Popups popups_;
  ScriptDialogs dialogs_;
  Downloads downloads_;
  CrashReload crashReload_;
  SiteNotifications notifications_;
  ContextMenus contextMenus_;
};

}  // namespace tavro::platform::gtk
