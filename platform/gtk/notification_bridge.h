// Desktop notifications for the site's pages. The engine refuses notifications to ephemeral
// sessions, so the site's pages get a small Notification class of ours instead: it hands each
// notification to Tavro, which shows it through the desktop's notification service.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "owners.h"

namespace tavro::platform::gtk {

// The name pages post their notifications to.
inline constexpr char kNotifyHandlerName[] = "tavroNotify";

// `text` as a JavaScript string literal, safe to place anywhere in a script or an HTML page.
std::string JsStringLiteral(const std::string& text);

// The script that gives pages of `origin` (as location.origin reads it) a Notification class
// that is granted and posts {key, title, body, tag} to kNotifyHandlerName. Other pages keep the
// engine's own. `key` goes with every message, so a frame without the script cannot post one.
std::string NotificationShimSource(const std::string& origin, const std::string& key);

// A page's text made fit for the desktop: valid UTF-8, at most `maxBytes` bytes.
std::string DesktopText(const std::string& text, std::size_t maxBytes);

// The desktop's notification service (org.freedesktop.Notifications on the session bus). Without
// a session bus or a service nothing shows, and nothing else happens. Clicks reach only while
// this object lives.
class DesktopNotifications {
 public:
  explicit DesktopNotifications(const std::string& appName);
  ~DesktopNotifications();
  DesktopNotifications(const DesktopNotifications&) = delete;
  DesktopNotifications& operator=(const DesktopNotifications&) = delete;

  // Shows a notification; `clicked` runs when the agent clicks it.
  void Show(const std::string& summary, const std::string& body, std::function<void()> clicked);

 private:
  struct Pending {
    DesktopNotifications* owner;
    std::string summary;
    std::string body;
    std::function<void()> clicked;
  };
  void Send(std::unique_ptr<Pending> pending);
  void Connected(GDBusConnection* bus);
  void Signal(const char* signal, GVariant* params);

  std::string appName_;
  GObjectPtr<GCancellable> cancellable_;
  GObjectPtr<GDBusConnection> bus_;
  bool connecting_ = false;
  bool noBus_ = false;
  std::map<std::uint32_t, std::function<void()>> shown_;  // by the service's id
  std::vector<std::unique_ptr<Pending>> waiting_;  // for the bus
  guint actionSubscription_ = 0;
  guint closedSubscription_ = 0;
};

}  // namespace tavro::platform::gtk
