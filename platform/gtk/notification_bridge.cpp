#include "notification_bridge.h"

#include <cstdio>
#include <vector>

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
  gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string out = valid;
  g_free(valid);
  if (out.size() > maxBytes) {
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

// ---------------------------------------------------------------- the desktop's service

struct DesktopNotifications::Pending {
  DesktopNotifications* owner;
  std::string summary;
  std::string body;
  std::function<void()> clicked;
};

DesktopNotifications::DesktopNotifications(std::string appName)
    : appName_(DesktopText(appName, 256)), cancellable_(g_cancellable_new()) {}

DesktopNotifications::~DesktopNotifications() {
  // Calls still on their way end with "cancelled" and no longer look at this object.
  g_cancellable_cancel(cancellable_);
  g_object_unref(cancellable_);
  if (bus_) {
    g_dbus_connection_signal_unsubscribe(bus_, actionSubscription_);
    g_dbus_connection_signal_unsubscribe(bus_, closedSubscription_);
    g_object_unref(bus_);
  }
  for (Pending* pending : waiting_) delete pending;
}

void DesktopNotifications::Show(const std::string& summary, const std::string& body, std::function<void()> clicked) {
  if (noBus_) return;
  auto* pending = new Pending{this, DesktopText(summary, 1024), DesktopText(body, 4096), std::move(clicked)};
  if (bus_) {
    Send(pending);
    return;
  }
  waiting_.push_back(pending);
  if (connecting_) return;
  connecting_ = true;
  g_bus_get(G_BUS_TYPE_SESSION, cancellable_, &DesktopNotifications::OnBus, this);
}

void DesktopNotifications::OnBus(GObject*, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_finish(result, &error);
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_error_free(error);
    return;  // the owner is gone
  }
  g_clear_error(&error);
  static_cast<DesktopNotifications*>(data)->Connected(bus);
}

void DesktopNotifications::Connected(GDBusConnection* bus) {
  connecting_ = false;
  std::vector<Pending*> waiting;
  waiting.swap(waiting_);
  if (!bus) {
    noBus_ = true;
    for (Pending* pending : waiting) delete pending;
    return;
  }
  bus_ = bus;
  actionSubscription_ = g_dbus_connection_signal_subscribe(bus_, kService, kService, "ActionInvoked", kPath, nullptr,
                                                           G_DBUS_SIGNAL_FLAGS_NONE, &DesktopNotifications::OnSignal,
                                                           this, nullptr);
  closedSubscription_ = g_dbus_connection_signal_subscribe(bus_, kService, kService, "NotificationClosed", kPath,
                                                           nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                           &DesktopNotifications::OnSignal, this, nullptr);
  for (Pending* pending : waiting) Send(pending);
}

void DesktopNotifications::Send(Pending* pending) {
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  g_variant_builder_add(&actions, "s", "default");
  g_variant_builder_add(&actions, "s", kOpen);
  GVariant* params = g_variant_new("(susssasa{sv}i)", appName_.c_str(), 0u, "tavro", pending->summary.c_str(),
                                   pending->body.c_str(), &actions, nullptr, -1);
  g_dbus_connection_call(bus_, kService, kPath, kService, "Notify", params, G_VARIANT_TYPE("(u)"),
                         G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, cancellable_,
                         &DesktopNotifications::OnNotified, pending);
}

void DesktopNotifications::OnNotified(GObject* source, GAsyncResult* result, gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  // No service, a service that failed or took too long, or an owner that is gone: nothing shows.
  if (reply) {
    guint32 id = 0;
    g_variant_get(reply, "(u)", &id);
    g_variant_unref(reply);
    if (id != 0 && pending->clicked) pending->owner->shown_[id] = std::move(pending->clicked);
  }
  g_clear_error(&error);
  delete pending;
}

void DesktopNotifications::OnSignal(GDBusConnection*, const char*, const char*, const char*, const char* signal,
                                    GVariant* params, gpointer self) {
  auto* me = static_cast<DesktopNotifications*>(self);
  guint32 id = 0;
  if (g_strcmp0(signal, "ActionInvoked") == 0 && g_variant_is_of_type(params, G_VARIANT_TYPE("(us)"))) {
    const char* action = nullptr;
    g_variant_get(params, "(u&s)", &id, &action);
    const auto it = me->shown_.find(id);
    if (it == me->shown_.end() || g_strcmp0(action, "default") != 0) return;
    const std::function<void()> clicked = it->second;
    clicked();
  } else if (g_strcmp0(signal, "NotificationClosed") == 0 && g_variant_is_of_type(params, G_VARIANT_TYPE("(uu)"))) {
    guint32 reason = 0;
    g_variant_get(params, "(uu)", &id, &reason);
    me->shown_.erase(id);
  }
}

}  // namespace tavro::platform::gtk
