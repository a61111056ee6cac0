// Desktop notifications over D-Bus, and the page script that hands the site's notifications to Tavro.
#include "notification_bridge.h"

#include <cstdio>
#include <vector>

#include "platform/text.h"

namespace tavro::platform::gtk {
namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr int kCallTimeoutMs = 5000;
constexpr char kOpen[] = "打开";

}  // namespace

std::string JsStringLiteral(const std::string& text) {
  std::string out = "\"";
  const std::string valid = DesktopText(text, std::string::npos);
  for (const char* p = valid.c_str(); *p; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x2028 || c == 0x2029) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out.append(p, g_utf8_next_char(p) - p);
    }
  }
  return out + "\"";
}

std::string NotificationShimSource(const std::string& origin, const std::string& key) {
  return "(function () {\n"
         "  if (location.origin !== " + JsStringLiteral(origin) + ") return;\n"
         "  var handlers = window.webkit && window.webkit.messageHandlers;\n"
         "  var handler = handlers && handlers." + std::string(kNotifyHandlerName) + ";\n"
         "  if (!handler) return;\n"
         "  var post = handler.postMessage.bind(handler);\n"
         "  var key = " + JsStringLiteral(key) + ";\n"
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
         "      this.onclick = this.onshow = this.onclose = this.onerror = null;\n"
         "      post({key: key, title: this.title, body: this.body, tag: this.tag});\n"
         "    }\n"
         "    close() {}\n"
         "    static get permission() { return 'granted'; }\n"
         "    static requestPermission(callback) {\n"
         "      var answer = Promise.resolve('granted');\n"
         "      if (typeof callback === 'function') answer.then(callback);\n"
         "      return answer;\n"
         "    }\n"
         "  }\n"
         "  Object.defineProperty(window, 'Notification', {value: Notification, writable: true, configurable: true});\n"
         "})();\n";
}

std::string DesktopText(const std::string& text, std::size_t maxBytes) {
  const GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  return std::string(CutUtf8(valid.get(), maxBytes));
}

// ---------------------------------------------------------------- the desktop's service

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

void DesktopNotifications::Show(const std::string& summary, const std::string& body, std::function<void()> clicked) {
  if (noBus_) return;
  auto pending = std::make_unique<Pending>(
      Pending{this, DesktopText(summary, 1024), DesktopText(body, 4096), std::move(clicked)});
  if (bus_) {
    Send(std::move(pending));
    return;
  }
  waiting_.push_back(std::move(pending));
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
}

void DesktopNotifications::Connected(GDBusConnection* bus) {
  connecting_ = false;
  std::vector<std::unique_ptr<Pending>> waiting;
  waiting.swap(waiting_);
  if (!bus) {
    noBus_ = true;
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
  for (auto& pending : waiting) Send(std::move(pending));
}

void DesktopNotifications::Send(std::unique_ptr<Pending> pending) {
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  g_variant_builder_add(&actions, "s", "default");
  g_variant_builder_add(&actions, "s", kOpen);
  GVariant* params = g_variant_new("(susssasa{sv}i)", appName_.c_str(), 0U, "tavro", pending->summary.c_str(),
                                   pending->body.c_str(), &actions, nullptr, -1);
  // The call owns the pending notification until it answers, cancelled or not.
  g_dbus_connection_call(
      bus_.get(), kService, kPath, kService, "Notify", params, G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
      kCallTimeoutMs, cancellable_.get(),
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        const std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
        GError* raw = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw);
        const GErrorPtr error(raw);
        // No service, a service that failed or took too long, or an owner that is gone: nothing shows.
        if (!reply) return;
        guint32 id = 0;
        g_variant_get(reply, "(u)", &id);
        g_variant_unref(reply);
        if (id != 0 && pending->clicked) pending->owner->shown_[id] = std::move(pending->clicked);
      },
      pending.release());
}

void DesktopNotifications::Signal(const char* signal, GVariant* params) {
  guint32 id = 0;
  if (g_strcmp0(signal, "ActionInvoked") == 0 && g_variant_is_of_type(params, G_VARIANT_TYPE("(us)"))) {
    const char* action = nullptr;
    g_variant_get(params, "(u&s)", &id, &action);
    const auto it = shown_.find(id);
    if (it == shown_.end() || g_strcmp0(action, "default") != 0) return;
    const std::function<void()> clicked = it->second;  // the handler may show or forget notifications
    clicked();
  } else if (g_strcmp0(signal, "NotificationClosed") == 0 && g_variant_is_of_type(params, G_VARIANT_TYPE("(uu)"))) {
    guint32 reason = 0;
    g_variant_get(params, "(uu)", &id, &reason);
    shown_.erase(id);
  }
}

}  // namespace tavro::platform::gtk
