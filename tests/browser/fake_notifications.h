// A session bus of the test's own with a desktop notification service on it that records what
// it is asked to show and clicks notifications on demand.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tavro::browser {

// A dbus-daemon with the session configuration, ended with the object.
class PrivateSessionBus {
 public:
  PrivateSessionBus();
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;
  const std::string& Address() const { return address_; }

 private:
  GPid pid_ = 0;
  std::string address_;
};

struct NotifyCall {
  std::string appName;
  std::uint32_t replacesId = 0;
  std::string appIcon;
  std::string summary;
  std::string body;
  std::vector<std::string> actions;
  int expireTimeout = 0;
  std::uint32_t id = 0;  // the id answered
};

// Owns org.freedesktop.Notifications on the bus, served from a thread of its own.
class FakeNotificationService {
 public:
  explicit FakeNotificationService(const std::string& busAddress);
  ~FakeNotificationService();
  FakeNotificationService(const FakeNotificationService&) = delete;
  FakeNotificationService& operator=(const FakeNotificationService&) = delete;

  std::vector<NotifyCall> Calls();
  // Waits for the n-th Notify call (from 1); it has been answered by then.
  std::optional<NotifyCall> WaitCall(std::size_t n, std::chrono::milliseconds timeout);
  // What the service emits when the user clicks a notification or it goes away.
  void EmitActionInvoked(std::uint32_t id, const std::string& action);
  void EmitClosed(std::uint32_t id);

 private:
  void Run(std::string address);
  static void OnMethod(GDBusConnection*, const char*, const char*, const char*, const char* method,
                       GVariant* params, GDBusMethodInvocation* invocation, gpointer self);

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  std::string error_;
  std::vector<NotifyCall> calls_;
  std::uint32_t nextId_ = 41;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* bus_ = nullptr;
};

}  // namespace tavro::browser
