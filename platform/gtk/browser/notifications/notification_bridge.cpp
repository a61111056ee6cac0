// Desktop notifications over D-Bus, and the page script that hands the site's notifications to Tavro.
#include "notification_bridge.h"

#include <glibmm/main.h>

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace tavro::platform::gtk {
namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr int kCallTimeoutMs = 5000;
constexpr char kOpen[] = "打开";
constexpr std::size_t kPageKeepsNotifications = 64;

// The page's hook for the desktop's events: its name holds the key, so only the shim knows it.
std::string HookName(const std::string& key) { return "__tavroNotification_" + key; }

}  // namespace

std::string NotificationShimSource(const std::string& origin, const std::string& key) {
  // The page keeps each notification it made, by id, for the desktop's click and close to reach;
  // only the newest few, so that a page notifying in a loop cannot fill its memory with them.
  return "(function () {\n"
         "  if (location.origin !== " + JsStringLiteral(origin) + ") return;\n"
         "  var key = " + JsStringLiteral(key) + ";\n"
         "  var listen = EventTarget.prototype.addEventListener;\n"
         "  var dispatch = EventTarget.prototype.dispatchEvent;\n"
         "  var Custom = CustomEvent, doc = document, name = 'tavro-notify-' + key;\n"
         "  function post(message) { dispatch.call(doc, new Custom(name, {detail: message})); }\n"
         "  var words = new Uint32Array(4);\n"
         "  crypto.getRandomValues(words);\n"
         "  var page = Array.prototype.join.call(words, '.');\n"
         "  var kept = new Map();\n"
         "  var ids = new WeakMap();\n"
         "  var handlerSlots = new WeakMap();\n"
         "  var nextId = 1;\n"
         "  function text(v) { return v === undefined || v === null ? '' : String(v); }\n"
         "  class Notification extends EventTarget {\n"
         "    constructor(title, options) {\n"
         "      super();\n"
         "      options = options || {};\n"
         "      this.title = text(title);\n"
         "      this.body = text(options.body);\n"
         "      this.tag = text(options.tag);\n"
         "      this.icon = text(options.icon);\n"
         "      this.data = options.data === undefined ? null : options.data;\n"
         "      var id = nextId++;\n"
         "      ids.set(this, id);\n"
         "      if (this.tag) kept.forEach(function (n, i) { if (n.tag === this.tag) kept.delete(i); }, this);\n"
         "      kept.set(id, this);\n"
         "      if (kept.size > " + std::to_string(kPageKeepsNotifications) + ") kept.delete(kept.keys().next().value);\n"
         "      post({key: key, op: 'show', page: page, id: id, title: this.title, body: this.body, tag: this.tag});\n"
         "    }\n"
         "    close() {\n"
         "      var id = ids.get(this);\n"
         "      if (kept.get(id) === this) post({key: key, op: 'close', page: page, id: id});\n"
         "    }\n"
         "    static get permission() { return 'granted'; }\n"
         "    static requestPermission(callback) {\n"
         "      var answer = Promise.resolve('granted');\n"
         "      if (typeof callback === 'function') answer.then(callback);\n"
         "      return answer;\n"
         "    }\n"
         "  }\n"
         // onclick and the like run among the listeners where they were first set, as in a browser.
         "  ['click', 'show', 'close', 'error'].forEach(function (type) {\n"
         "    Object.defineProperty(Notification.prototype, 'on' + type, {\n"
         "      configurable: true, enumerable: true,\n"
         "      get: function () { var s = handlerSlots.get(this); return (s && s[type]) || null; },\n"
         "      set: function (handler) {\n"
         "        var s = handlerSlots.get(this);\n"
         "        if (!s) { s = {}; handlerSlots.set(this, s); }\n"
         "        if (!(type in s)) {\n"
         "          var target = this;\n"
         "          listen.call(this, type, function (event) {\n"
         "            var f = s[type];\n"
         "            if (typeof f === 'function' && f.call(target, event) === false) event.preventDefault();\n"
         "          });\n"
         "        }\n"
         "        s[type] = typeof handler === 'function' ? handler : null;\n"
         "      }\n"
         "    });\n"
         "  });\n"
         "  Object.defineProperty(window, " + JsStringLiteral(HookName(key)) + ", {value: function (p, id, type) {\n"
         "    var n = p === page && kept.get(id);\n"
         "    if (!n) return;\n"
         "    if (type === 'close') kept.delete(id);\n"
         "    dispatch.call(n, new Event(type, {cancelable: type === 'click'}));\n"
         "  }});\n"
         "  Object.defineProperty(window, 'Notification', {value: Notification, writable: true, configurable: true});\n"
         "})();\n";
}

std::string NotificationRelaySource(const std::string& key) {
  // Cross-world access to the detail reads the page's object: each field is read once, inside a
  // try, and a getter that throws drops the message. Past the rate, the newest messages wait
  // (at most a burst of them) and go on as the rate allows: the newest notification is shown.
  // The desktop's own limit (DesktopNotifications) is the lower one: this one spares Tavro.
  const std::string burst = std::to_string(kNotifyBurst), perSecond = std::to_string(kNotifyPerSecond);
  return "(function () {\n"
         "  var handlers = window.webkit && window.webkit.messageHandlers;\n"
         "  var handler = handlers && handlers." + std::string(kNotifyHandlerName) + ";\n"
         "  if (!handler) return;\n"
         "  var key = " + JsStringLiteral(key) + ", tokens = " + burst + ", at = Date.now(), waiting = [], timer = 0;\n"
         "  function text(v, most) { return typeof v === 'string' ? v.slice(0, most) : null; }\n"
         "  function drain() {\n"
         "    timer = 0;\n"
         "    var now = Date.now();\n"
         "    tokens = Math.min(" + burst + ", tokens + (now - at) * " + perSecond + " / 1000);\n"
         "    at = now;\n"
         "    while (tokens >= 1 && waiting.length) { tokens -= 1; handler.postMessage(waiting.shift()); }\n"
         "    if (waiting.length) timer = setTimeout(drain, " + std::to_string(1000 / kNotifyPerSecond) + ");\n"
         "  }\n"
         "  document.addEventListener('tavro-notify-' + key, function (event) {\n"
         "    event.stopImmediatePropagation();\n"
         "    var m;\n"
         "    try {\n"
         "      var d = event.detail;\n"
         "      if (!d || typeof d !== 'object') return;\n"
         "      m = {key: text(d.key, 64), op: text(d.op, 8), page: text(d.page, 64), id: d.id};\n"
         "      if (m.key !== key || (m.op !== 'show' && m.op !== 'close') || !m.page) return;\n"
         "      if (typeof m.id !== 'number' || !(m.id > 0 && m.id < 2147483648) || m.id % 1 !== 0) return;\n"
         "      if (m.op === 'show') {\n"
         "        m.title = text(d.title, 1024); m.body = text(d.body, 4096); m.tag = text(d.tag, 256);\n"
         "        if (m.title === null || m.body === null || m.tag === null) return;\n"
         "      }\n"
         "    } catch (e) { return; }\n"
         "    waiting.push(m);\n"
         "    if (waiting.length > " + burst + ") waiting.shift();\n"
         // What a page asks for in one go goes on once it is done, as one burst.
         "    if (!timer) timer = setTimeout(drain, 0);\n"
         "  }, true);\n"
         "})();\n";
}

std::string NotificationEventScript(const std::string& origin, const std::string& key, const std::string& page,
                                    int id, const std::string& type) {
  // location.origin cannot be redefined by a page: the hook's name never reaches another origin.
  return "(function () {\n"
         "  if (location.origin !== " + JsStringLiteral(origin) + ") return;\n"
         "  var hook = window[" + JsStringLiteral(HookName(key)) + "];\n"
         "  if (typeof hook === 'function') hook(" + JsStringLiteral(page) + ", " + std::to_string(id) + ", " +
         JsStringLiteral(type) + ");\n"
         "})();\n";
}

// ---------------------------------------------------------------- the desktop's service

namespace {

// A Notify call on its way: which notification it shows, for the owner while it lives.
struct NotifyCall {
  DesktopNotifications* owner;
  DesktopNotifications::Handle handle;
};

}  // namespace

DesktopNotifications::DesktopNotifications(const std::string& appName)
    : appName_(DesktopText(appName, 256)), cancellable_(g_cancellable_new()) {}

DesktopNotifications::~DesktopNotifications() {
  // Calls still on their way end with "cancelled" and no longer look at this object.
  g_cancellable_cancel(cancellable_.get());
  if (bus_) {
    g_dbus_connection_signal_unsubscribe(bus_.get(), actionSubscription_);
    g_dbus_connection_signal_unsubscribe(bus_.get(), closedSubscription_);
  }
}

DesktopNotifications::Handle DesktopNotifications::Show(const std::string& summary, const std::string& body,
                                                        Handle replaces) {
  if (noBus_) return 0;
  const Handle handle = ++last_;
  Entry entry;
  entry.summary = DesktopText(summary, 1024);
  entry.body = DesktopText(body, 4096);
  entry.replaces = replaces;
  entries_.emplace(handle, std::move(entry));
  if (waiting_ == 0 && rate_.TryTake(g_get_monotonic_time())) {
    Send(handle);
  } else {
    // Over the rate only the newest waits: it is the one the agent must see.
    const Handle older = std::exchange(waiting_, handle);
    if (older != 0) {
      Entry& mine = entries_.at(handle);
      if (mine.replaces == older) mine.replaces = entries_.at(older).replaces;
      Forget(older, Event::Dropped);
    }
    WaitForTurn();
  }
  KeepWithinLimit();
  return handle;
}

void DesktopNotifications::WaitForTurn() {
  if (turn_.Connected()) return;
  const std::int64_t waitUs = rate_.WaitUs(g_get_monotonic_time());
  turn_ = Glib::signal_timeout().connect(
      [this] {
        TurnCame();
        return false;
      },
      static_cast<unsigned>((waitUs + 999) / 1000) + 1);
}

void DesktopNotifications::TurnCame() {
  turn_.Disconnect();
  if (waiting_ == 0) return;
  if (!rate_.TryTake(g_get_monotonic_time())) {
    WaitForTurn();
    return;
  }
  Send(std::exchange(waiting_, 0));
}

void DesktopNotifications::Close(Handle handle) {
  const auto it = entries_.find(handle);
  if (it == entries_.end()) return;
  Entry& entry = it->second;
  switch (entry.stage) {
    case Stage::Waiting:
      Forget(handle, Event::Closed);
      break;
    case Stage::Sending:
      entry.closeWanted = true;  // once the service has told its id
      break;
    case Stage::Shown:
      // The service answers with NotificationClosed, which ends it here.
      entry.closeWanted = true;
      SendClose(entry.id);
      break;
  }
}

void DesktopNotifications::Send(Handle handle) {
  if (!bus_) {
    forBus_.push_back(handle);
    if (connecting_) return;
    connecting_ = true;
    g_bus_get(
        G_BUS_TYPE_SESSION, cancellable_.get(),
        +[](GObject*, GAsyncResult* result, gpointer self) {
          GError* raw = nullptr;
          GDBusConnection* bus = g_bus_get_finish(result, &raw);
          const GErrorPtr error(raw);
          if (error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;  // the owner is gone
          static_cast<DesktopNotifications*>(self)->Connected(bus);
        },
        this);
    return;
  }
  // What it replaces decides its replaces_id: the service's id of one shown; one that has not
  // reached the desktop is simply left out in favour of this newer one.
  std::uint32_t replacesId = 0;
  for (;;) {
    const auto former = entries_.find(entries_.at(handle).replaces);
    if (former == entries_.end()) break;
    Entry& old = former->second;
    if (old.stage == Stage::Waiting) {
      entries_.at(handle).replaces = old.replaces;
      Forget(former->first, Event::Dropped);
      continue;
    }
    if (old.stage == Stage::Sending) {
      // Its id is on the way: this one goes when it comes.
      const Handle parked = std::exchange(old.next, handle);
      if (parked != 0 && parked != handle) Forget(parked, Event::Dropped);
      return;
    }
    replacesId = old.id;
    Forget(former->first, old.closeWanted ? Event::Closed : Event::Dropped);
    break;
  }
  Entry& entry = entries_.at(handle);
  entry.stage = Stage::Sending;
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  g_variant_builder_add(&actions, "s", "default");
  g_variant_builder_add(&actions, "s", kOpen);
  GVariant* params = g_variant_new("(susssasa{sv}i)", appName_.c_str(), replacesId, "tavro", entry.summary.c_str(),
                                   entry.body.c_str(), &actions, nullptr, -1);
  // The call owns its NotifyCall until it answers, cancelled or not.
  g_dbus_connection_call(
      bus_.get(), kService, kPath, kService, "Notify", params, G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
      kCallTimeoutMs, cancellable_.get(),
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        const std::unique_ptr<NotifyCall> call(static_cast<NotifyCall*>(data));
        GError* raw = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw);
        const GErrorPtr error(raw);
        if (error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;  // the owner is gone
        guint32 id = 0;
        if (reply) {
          g_variant_get(reply, "(u)", &id);
          g_variant_unref(reply);
        }
        // No service, a service that failed or took too long: id 0, nothing shows.
        call->owner->Sent(call->handle, id);
      },
      new NotifyCall{this, handle});
}

void DesktopNotifications::Sent(Handle handle, std::uint32_t id) {
  const auto it = entries_.find(handle);
  if (it == entries_.end()) return;  // forgotten meanwhile
  const Handle next = std::exchange(it->second.next, 0);
  if (id == 0) {
    Forget(handle, Event::Dropped);
    if (next != 0 && entries_.count(next) != 0) Send(next);
    return;
  }
  if (const auto taken = byId_.find(id); taken != byId_.end() && taken->second != handle)
    Forget(taken->second, Event::Dropped);  // the service gave the id anew: the former one is gone
  Entry& entry = it->second;
  entry.stage = Stage::Shown;
  entry.id = id;
  byId_[id] = handle;
  if (next != 0 && entries_.count(next) != 0) {
    Send(next);  // in this one's place
  } else if (entry.closeWanted) {
    SendClose(id);
  }
}

void DesktopNotifications::SendClose(std::uint32_t id) {
  g_dbus_connection_call(bus_.get(), kService, kPath, kService, "CloseNotification", g_variant_new("(u)", id),
                         nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, cancellable_.get(), nullptr, nullptr);
}

void DesktopNotifications::Connected(GDBusConnection* bus) {
  connecting_ = false;
  std::vector<Handle> waiting;
  waiting.swap(forBus_);
  if (!bus) {
    noBus_ = true;
    turn_.Disconnect();
    while (!entries_.empty()) Forget(entries_.begin()->first, Event::Dropped);
    return;
  }
  bus_.reset(bus);
  const auto onSignal = +[](GDBusConnection*, const char*, const char*, const char*, const char* signal,
                            GVariant* params, gpointer self) {
    static_cast<DesktopNotifications*>(self)->Signal(signal, params);
  };
  actionSubscription_ = g_dbus_connection_signal_subscribe(bus, kService, kService, "ActionInvoked", kPath, nullptr,
                                                           G_DBUS_SIGNAL_FLAGS_NONE, onSignal, this, nullptr);
  closedSubscription_ = g_dbus_connection_signal_subscribe(bus, kService, kService, "NotificationClosed", kPath,
                                                           nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onSignal, this, nullptr);
  for (const Handle handle : waiting)
    if (const auto it = entries_.find(handle); it != entries_.end() && it->second.stage == Stage::Waiting) Send(handle);
}

void DesktopNotifications::Signal(const char* signal, GVariant* params) {
  guint32 id = 0;
  if (g_strcmp0(signal, "ActionInvoked") == 0 && g_variant_is_of_type(params, G_VARIANT_TYPE("(us)"))) {
    const char* action = nullptr;
    g_variant_get(params, "(u&s)", &id, &action);
    const auto it = byId_.find(id);
    if (it == byId_.end() || g_strcmp0(action, "default") != 0) return;
    Emit(it->second, Event::Clicked);
  } else if (g_strcmp0(signal, "NotificationClosed") == 0 && g_variant_is_of_type(params, G_VARIANT_TYPE("(uu)"))) {
    guint32 reason = 0;
    g_variant_get(params, "(uu)", &id, &reason);
    if (const auto it = byId_.find(id); it != byId_.end()) Forget(it->second, Event::Closed);
  }
}

void DesktopNotifications::Forget(Handle handle, Event event) {
  const auto it = entries_.find(handle);
  if (it == entries_.end()) return;
  const Entry entry = std::move(it->second);
  entries_.erase(it);
  if (entry.id != 0) {
    const auto byId = byId_.find(entry.id);
    if (byId != byId_.end() && byId->second == handle) byId_.erase(byId);
  }
  if (waiting_ == handle) waiting_ = 0;
  std::erase(forBus_, handle);
  for (auto& [other, e] : entries_)
    if (e.next == handle) e.next = 0;
  Emit(handle, event);
}

void DesktopNotifications::KeepWithinLimit() {
  while (entries_.size() > kMaxKept) {
    // One that waits for the oldest's id goes on its own.
    const Handle next = std::exchange(entries_.begin()->second.next, 0);
    Forget(entries_.begin()->first, Event::Dropped);
    if (next != 0 && entries_.count(next) != 0) Send(next);
  }
}

}  // namespace tavro::platform::gtk
