// Desktop notifications for the site's pages. The engine refuses notifications to ephemeral
// sessions, so the site's pages get a small Notification class of ours instead: it hands each
// notification to Tavro, which shows it through the desktop's notification service.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "notification_rate.h"
#include "owners.h"
#include "page_text.h"

namespace tavro::platform::gtk {

// The name the site's notifications are posted to, in a script world of Tavro's own: a page's
// own scripts (or a script a customer's message smuggled into it) cannot reach it.
inline constexpr char kNotifyHandlerName[] = "tavroNotify";
inline constexpr char kBridgeWorld[] = "tavro-bridge";
// Most notifications a page may hand on in a row, and how many a second after that.
inline constexpr int kNotifyBurst = 20;
inline constexpr int kNotifyPerSecond = 10;

// The script that gives pages of `origin` (as location.origin reads it) a Notification class
// that is granted and hands {key, op, page, id, ...} on (a "tavro-notify-<key>" event on the
// document): op "show" with the title, body and tag, op "close" when the page closes it. `page`
// names this load of the page, `id` the notification within it. Other pages keep the engine's
// own. `key` goes with every message, so a frame without the script cannot post one.
std::string NotificationShimSource(const std::string& origin, const std::string& key);

// The script of kBridgeWorld that takes what the shim of this `key` hands on and posts it to
// kNotifyHandlerName: checked before anything else (an object of the expected fields and types,
// texts cut to the desktop's lengths, anything else dropped at once), at most kNotifyBurst in a
// row and kNotifyPerSecond a second after that, the newest kNotifyBurst waiting meanwhile: a page
// posting in a loop costs Tavro nothing, and its newest notification still shows.
std::string NotificationRelaySource(const std::string& key);

// The script that hands an event ("click", "close") from the desktop to notification `id` of the
// page load `page`, through the hook only the shim of this `key` defines. It does nothing in a
// page of another origin or another load, or for a notification the page no longer keeps.
std::string NotificationEventScript(const std::string& origin, const std::string& key, const std::string& page,
                                    int id, const std::string& type);


// The desktop's notification service (org.freedesktop.Notifications on the session bus). Without
// a session bus or a service nothing shows, and nothing else happens. No more than a few a second
// reach the desktop: the rest wait in one place, where a newer one takes the place of an older.
// Events reach only while this object lives.
class DesktopNotifications {
 public:
  using Handle = std::uint64_t;  // ours, never 0; the service's ids come later, or never
  enum class Event {
    Clicked,  // the agent clicked it (its default action)
    Closed,   // it went from the desktop, or was closed before it got there
    Dropped,  // it never reaches the agent (a newer one took its place, or the service failed),
              // or it was replaced: nothing more comes for it
  };

  // At most this many reach the desktop at once, then one per interval.
  static constexpr int kBurst = 3;
  static constexpr std::int64_t kIntervalUs = 1000000 / 3;
  // Notifications remembered for their events; the oldest go beyond that.
  static constexpr std::size_t kMaxKept = 256;

  explicit DesktopNotifications(const std::string& appName);
  ~DesktopNotifications();
  DesktopNotifications(const DesktopNotifications&) = delete;
  DesktopNotifications& operator=(const DesktopNotifications&) = delete;

  // What happens to the notifications shown. It also runs inside Show, for those a new one takes
  // the place of (never for the new one), and inside Close.
  std::function<void(Handle, Event)> onEvent;

  // Shows a notification, in the place of `replaces` when that one is still there; 0 when nothing
  // can show (there is no bus).
  Handle Show(const std::string& summary, const std::string& body, Handle replaces = 0);
  // Takes it from the desktop.
  void Close(Handle handle);

 private:
  enum class Stage {
    Waiting,  // for its turn, for the bus, or for the id of the one it replaces
    Sending,  // the service has not answered yet
    Shown,
  };
  struct Entry {
    std::string summary;
    std::string body;
    Handle replaces = 0;
    Stage stage = Stage::Waiting;
    std::uint32_t id = 0;  // the service's
    bool closeWanted = false;
    Handle next = 0;  // to go in this one's place once the service has told its id
  };
  void Send(Handle handle);
  void Sent(Handle handle, std::uint32_t id);
  void Connected(GDBusConnection* bus);
  void Signal(const char* signal, GVariant* params);
  void SendClose(std::uint32_t id);
  void WaitForTurn();
  void TurnCame();
  // Forgets it and tells what became of it; one waiting for its id is the caller's to send.
  void Forget(Handle handle, Event event);
  void KeepWithinLimit();
  void Emit(Handle handle, Event event) {
    if (onEvent) onEvent(handle, event);
  }

  std::string appName_;
  GObjectPtr<GCancellable> cancellable_;
  GObjectPtr<GDBusConnection> bus_;
  bool connecting_ = false;
  bool noBus_ = false;
  Handle last_ = 0;
  std::map<Handle, Entry> entries_;
  std::map<std::uint32_t, Handle> byId_;  // the service's ids of those shown
  std::vector<Handle> forBus_;            // their turn came, the bus did not yet
  Handle waiting_ = 0;                    // the newest of those over the rate, waiting for its turn
  NotificationRateLimit rate_{kBurst, kIntervalUs};
  ScopedConnection turn_;
  guint actionSubscription_ = 0;
  guint closedSubscription_ = 0;
};

}  // namespace tavro::platform::gtk
