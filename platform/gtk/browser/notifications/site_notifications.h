// The site's notifications: its origin may notify, others are refused; what its pages show goes
// to the desktop's notification service, and a click on it brings the page's window forward and
// reaches the page's own Notification, as in a browser.
#pragma once

#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <string>

#include "notification_bridge.h"
#include "owners.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

class SiteNotifications : public ViewUnit {
 public:
  // The site's web context is the first site view's (made once the site's address is known).
  explicit SiteNotifications(Views& views);

  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;
  // Looks at the main view's first answer, and decides nothing.
  bool DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) override;
  // The main view was sent to the site's first address: its origin may notify, until the main
  // view's first page shows where the site is after the server's redirects (127.0.0.1 to
  // localhost, http to https, a bare domain to www); that origin then stays the site's.
  void SiteKnown(WebKitWebView* mainView, const std::string& siteUri);
  // Nothing more shows, and clicks do nothing.
  void CloseAll() override { closed_ = true; }

 private:
  using Handle = DesktopNotifications::Handle;
  // A notification of a page on the desktop, and which page load of which view made it.
  struct PageNotification {
    WeakRef<WebKitWebView> view;
    std::string page;
    int id = 0;
    std::string tag;
    Handle replaced = 0;  // the former one of its tag, for when this one never shows
  };
  struct UserScriptUnref {
    void operator()(WebKitUserScript* script) const { webkit_user_script_unref(script); }
  };
  using UserScriptPtr = std::unique_ptr<WebKitUserScript, UserScriptUnref>;

  void SetSiteOrigin(const std::string& origin);
  void AllowSiteOrigin();
  void OfferShim(WebKitWebView* view);
  bool PermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request);
  void MainResponse(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
  void EngineNotification(WebKitWebView* view, WebKitNotification* notification);
  void PageMessage(WebKitUserContentManager* content, WebKitJavascriptResult* message);
  void ShowForPage(WebKitWebView* view, JSCValue* message, const std::string& page, int id);
  void CloseForPage(WebKitWebView* view, const std::string& page, int id);
  void DesktopEvent(Handle handle, DesktopNotifications::Event event);
  void ToPage(const PageNotification& notification, const char* type);
  void Clicked(const WeakRef<WebKitWebView>& view);

  Views& views_;
  WebKitWebContext* context_ = nullptr;
  WebKitWebView* mainView_ = nullptr;
  std::string siteOrigin_;       // as location.origin reads it
  bool originSettled_ = false;   // the main view's first page has answered
  const std::string key_;        // goes with each message of the site's pages' notifications
  std::map<WebKitWebView*, UserScriptPtr> shims_;  // the views attached, with the script each got
  UserScriptPtr relay_;                            // the same in every view
  std::map<Handle, PageNotification> pageNotifications_;
  std::map<std::string, Handle> byTag_;  // the newest of each tag
  // Connections on the engine's own notifications, with the view each came from.
  struct Shown {
    WeakRef<WebKitWebView> view;
    SignalConnection clicked, closed;
  };
  std::map<WebKitNotification*, Shown> engineShown_;
  DesktopNotifications desktop_;
  ConnectionsByInstance connections_;
  SignalConnection initialize_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
