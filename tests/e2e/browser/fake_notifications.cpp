// The test's own session bus, and a notification service on it that records and answers as the
// desktop's would.
#include "fake_notifications.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace tavro::browser {
namespace {

constexpr char kName[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterfaceXml[] = R"XML(<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
  </interface>
</node>)XML";

}  // namespace

PrivateSessionBus::PrivateSessionBus() {
  const char* argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr};
  gint out = -1;
  GError* error = nullptr;
  if (!g_spawn_async_with_pipes(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                &pid_, nullptr, &out, nullptr, &error)) {
    const std::string message = error ? error->message : "cannot start dbus-daemon";
    g_clear_error(&error);
    throw std::runtime_error(message);
  }
  char c = 0;
  while (read(out, &c, 1) == 1 && c != '\n') address_ += c;
  close(out);
  if (address_.empty()) throw std::runtime_error("dbus-daemon printed no address");
}

PrivateSessionBus::~PrivateSessionBus() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  g_spawn_close_pid(pid_);
}

FakeNotificationService::FakeNotificationService(const std::string& busAddress) {
  thread_ = std::thread(&FakeNotificationService::Run, this, busAddress);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return ready_; });
  if (!error_.empty()) {
    lock.unlock();
    thread_.join();
    throw std::runtime_error(error_);
  }
}

FakeNotificationService::~FakeNotificationService() {
  g_main_context_invoke(context_, +[](gpointer loop) -> gboolean {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
  }, loop_);
  thread_.join();
}

void FakeNotificationService::Run(std::string address) {
  context_ = g_main_context_new();
  g_main_context_push_thread_default(context_);
  loop_ = g_main_loop_new(context_, FALSE);
  GError* error = nullptr;
  bus_ = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  GDBusNodeInfo* node = bus_ ? g_dbus_node_info_new_for_xml(kInterfaceXml, &error) : nullptr;
  static const GDBusInterfaceVTable vtable = {&FakeNotificationService::OnMethod, nullptr, nullptr, {}};
  guint object = node ? g_dbus_connection_register_object(bus_, kPath, node->interfaces[0], &vtable, this, nullptr,
                                                          &error)
                      : 0;
  GVariant* owned = object ? g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                         "org.freedesktop.DBus", "RequestName",
                                                         g_variant_new("(su)", kName, 4u /* do not queue */),
                                                         G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000,
                                                         nullptr, &error)
                           : nullptr;
  guint32 result = 0;
  if (owned) {
    g_variant_get(owned, "(u)", &result);
    g_variant_unref(owned);
  }
  {
    std::lock_guard lock(mutex_);
    if (error) error_ = error->message;
    else if (result != 1) error_ = "the notification service's name is taken";
    ready_ = true;
  }
  g_clear_error(&error);
  changed_.notify_all();
  if (error_.empty()) g_main_loop_run(loop_);
  if (object) g_dbus_connection_unregister_object(bus_, object);
  if (node) g_dbus_node_info_unref(node);
  if (bus_) {
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
  }
  g_main_loop_unref(loop_);
  g_main_context_pop_thread_default(context_);
  g_main_context_unref(context_);
}

void FakeNotificationService::OnMethod(GDBusConnection*, const char*, const char*, const char*, const char* method,
                                       GVariant* params, GDBusMethodInvocation* invocation, gpointer self) {
  auto* me = static_cast<FakeNotificationService*>(self);
  if (g_strcmp0(method, "GetCapabilities") == 0) {
    const char* caps[] = {"actions", "body", nullptr};
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", caps));
    return;
  }
  if (g_strcmp0(method, "CloseNotification") == 0) {
    CloseCall close;
    g_variant_get(params, "(u)", &close.id);
    close.at = std::chrono::steady_clock::now();
    bool wasShown = false;
    {
      std::lock_guard lock(me->mutex_);
      me->closes_.push_back(close);
      wasShown = me->shown_.erase(close.id) != 0;
    }
    me->changed_.notify_all();
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (wasShown)
      g_dbus_connection_emit_signal(me->bus_, nullptr, kPath, kName, "NotificationClosed",
                                    g_variant_new("(uu)", close.id, 3u), nullptr);
    return;
  }
  NotifyCall call;
  const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
  GVariantIter* actions = nullptr;
  GVariant* hints = nullptr;
  g_variant_get(params, "(&su&s&s&sas@a{sv}i)", &app, &call.replacesId, &icon, &summary, &body, &actions, &hints,
                &call.expireTimeout);
  call.appName = app;
  call.appIcon = icon;
  call.summary = summary;
  call.body = body;
  const char* action = nullptr;
  while (g_variant_iter_next(actions, "&s", &action)) call.actions.emplace_back(action);
  g_variant_iter_free(actions);
  g_variant_unref(hints);
  bool held = false;
  {
    std::lock_guard lock(me->mutex_);
    call.at = std::chrono::steady_clock::now();
    call.id = call.replacesId != 0 && me->shown_.count(call.replacesId) != 0 ? call.replacesId : me->nextId_++;
    me->shown_.insert(call.id);
    held = me->hold_;
    if (held) {
      me->held_.emplace_back(invocation, call.id);
      me->calls_.push_back(call);
    }
  }
  if (!held) {
    // Answered before a waiting test hears of it: what the test emits next comes after the id.
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", call.id));
    g_dbus_connection_flush_sync(me->bus_, nullptr, nullptr);
    std::lock_guard lock(me->mutex_);
    me->calls_.push_back(call);
  }
  me->changed_.notify_all();
}

void FakeNotificationService::HoldAnswers() {
  std::lock_guard lock(mutex_);
  hold_ = true;
}

void FakeNotificationService::ReleaseAnswers() {
  // Answered on the service's own thread, where the calls came in.
  g_main_context_invoke(context_, +[](gpointer self) -> gboolean {
    auto* me = static_cast<FakeNotificationService*>(self);
    std::vector<std::pair<GDBusMethodInvocation*, std::uint32_t>> held;
    {
      std::lock_guard lock(me->mutex_);
      me->hold_ = false;
      held.swap(me->held_);
    }
    for (const auto& [invocation, id] : held) g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", id));
    return G_SOURCE_REMOVE;
  }, this);
}

std::vector<NotifyCall> FakeNotificationService::Calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<CloseCall> FakeNotificationService::Closes() {
  std::lock_guard lock(mutex_);
  return closes_;
}

bool FakeNotificationService::WaitCalls(const std::function<bool(const std::vector<NotifyCall>&)>& done,
                                        std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return done(calls_); });
}

std::optional<CloseCall> FakeNotificationService::WaitClose(std::size_t n, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, timeout, [&] { return closes_.size() >= n; })) return std::nullopt;
  return closes_[n - 1];
}

std::optional<NotifyCall> FakeNotificationService::WaitCall(std::size_t n, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, timeout, [&] { return calls_.size() >= n; })) return std::nullopt;
  return calls_[n - 1];
}

void FakeNotificationService::EmitActionInvoked(std::uint32_t id, const std::string& action) {
  g_dbus_connection_emit_signal(bus_, nullptr, kPath, kName, "ActionInvoked", g_variant_new("(us)", id, action.c_str()),
                                nullptr);
  g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
}

void FakeNotificationService::EmitClosed(std::uint32_t id) {
  {
    std::lock_guard lock(mutex_);
    shown_.erase(id);
  }
  g_dbus_connection_emit_signal(bus_, nullptr, kPath, kName, "NotificationClosed", g_variant_new("(uu)", id, 2u),
                                nullptr);
  g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
}

}  // namespace tavro::browser
