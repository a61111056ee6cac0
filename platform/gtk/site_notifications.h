// The site's notifications: its origin may notify, others are refused; what its pages show goes
// to the desktop's notification service, and a click on it brings the page's window forward.
#pragma once

#include <webkit2/webkit2.h>

#include <map>
#include <set>
#include <string>

#include "notification_bridge.h"
#include "owners.h"
#include "views.h"

namespace tavro::platform::gtk {

class SiteNotifications {
 public:
  SiteNotifications(Views& views, WebKitWebContext* context);
  SiteNotifications(const SiteNotifications&) = delete;
  SiteNotifications& operator=(const SiteNotifications&) = delete;

  void Attach(WebKitWebView* view);
  void Detach(WebKitWebView* view);
  // The site's address is known (the first address of the site's view): its origin may notify.
  void SiteKnown(const std::string& siteUri);
  // Nothing more shows, and clicks do nothing.
  void CloseAll() { closed_ = true; }

 private:
  void AllowSiteOrigin();
  void OfferShim(WebKitWebView* view);
  bool PermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request);
  void EngineNotification(WebKitWebView* view, WebKitNotification* notification);
  void PageMessage(WebKitUserContentManager* content, WebKitJavascriptResult* message);
  void Clicked(const WeakRef<WebKitWebView>& view);

  Views& views_;
  WebKitWebContext* context_;
  std::string siteUri_;
  const std::string key_;  // goes with each message of the site's pages' notifications
  DesktopNotifications desktop_;
  std::set<WebKitWebView*> attached_;
  // Connections on the engine's own notifications, with the view each came from.
  struct Shown {
    WeakRef<WebKitWebView> view;
    SignalConnection clicked, closed;
  };
  std::map<WebKitNotification*, Shown> engineShown_;
  ConnectionsByInstance connections_;
  SignalConnection initialize_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
