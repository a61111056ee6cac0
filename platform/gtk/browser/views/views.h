// The browser views Tavro shows, what its browser units need to know of each (the window it is in,
// whether it shows the site or an outside page), and the one ordered list of the units that each
// view is attached to, detached from and whose shared signals they hear.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "owners.h"
#include "site_origin.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

class Views {
 public:
  explicit Views(Gtk::Window& mainWindow) : mainWindow_(mainWindow) {}
  Views(const Views&) = delete;
  Views& operator=(const Views&) = delete;

  // The units, once, in the order in which they are attached and hear the shared signals.
  void SetUnits(std::initializer_list<ViewUnit*> units) { units_.assign(units); }
  // A view is shown in the window: every unit is attached to it, in order.
  void Add(WebKitWebView* view, Gtk::Window& window, bool site, bool ownProcess = false);
  // The view goes: every unit is detached from it, in the reverse order.
  void Remove(WebKitWebView* view);
  // The main window goes: every unit closes what it has open, in order.
  void CloseAll();
  bool Closing() const { return closing_; }
  // The program has just asked the view to load a page: every unit hears it, in order.
  void ProgramLoading(WebKitWebView* view);

  bool Known(WebKitWebView* view) const { return views_.count(view) != 0; }
  bool IsSite(WebKitWebView* view) const {
    const auto it = views_.find(view);
    return it != views_.end() && it->second.site;
  }
  std::vector<WebKitWebView*> SiteViews() const {
    std::vector<WebKitWebView*> out;
    for (const auto& [view, entry] : views_)
      if (entry.site) out.push_back(view);
    return out;
  }
  // The window the view is in; the main window for a view Tavro does not show.
  Gtk::Window& WindowOf(WebKitWebView* view) const {
    const auto it = views_.find(view);
    return it == views_.end() ? mainWindow_ : *it->second.window;
  }
  Gtk::Window& MainWindow() const { return mainWindow_; }
  // The site's address, as the program first asked for it; empty before.
  void SetSiteUri(const std::string& uri) { siteUri_ = uri; }
  const std::string& SiteUri() const { return siteUri_; }
  // The site's origin as location.origin reads it: where the main view's first page landed after
  // the server's redirects, and until then that of the site's address; empty before. Told by the
  // unit that watches the main view's first answer (SiteNotifications).
  void SetSiteOrigin(const std::string& origin) { siteOrigin_ = origin; }
  const std::string& SiteOrigin() const { return siteOrigin_; }
  // Where the program's own loads ended up counts as the site too (a site that moved to https).
  void AddSiteOrigin(const std::string& origin) { siteOrigins_.insert(origin); }
  // The address is of the site's origin, or of one the program's loads ended up on.
  bool OfTheSite(const std::string& uri) const {
    return SameWebOrigin(uri, siteUri_) || siteOrigins_.count(WebOriginOf(uri)) != 0;
  }

  // The view whose pages send script messages through this content manager, if Tavro shows it.
  WebKitWebView* ViewWithContent(WebKitUserContentManager* content) const {
    for (const auto& [view, entry] : views_)
      if (webkit_web_view_get_user_content_manager(view) == content) return view;
    return nullptr;
  }

 private:
  struct Entry {
    Gtk::Window* window;
    bool site;
  };
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event);
  gboolean LoadFailed(WebKitWebView* view, const char* uri, GError* error);
  gboolean DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);

  Gtk::Window& mainWindow_;
  std::vector<ViewUnit*> units_;
  std::map<WebKitWebView*, Entry> views_;
  ConnectionsByInstance connections_;  // the shared signals' one handler each, per view
  bool closing_ = false;
  std::string siteUri_;
  std::string siteOrigin_;
  std::set<std::string> siteOrigins_;
};

// The address a view shows now, or empty.
inline std::string UriOf(WebKitWebView* view) {
  const char* uri = webkit_web_view_get_uri(view);
  return uri ? uri : "";
}

}  // namespace tavro::platform::gtk
