// A session bus of the test's own with a desktop notification service on it that records what
// it is asked to show and to close, and clicks or closes notifications on demand.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
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
  std::chrono::steady_clock::time_point at;  // when the service got it
};

struct CloseCall {
  std::uint32_t id = 0;
  std::chrono::steady_clock::time_point at;
};

// Owns org.freedesktop.Notifications on the bus, served from a thread of its own. As the desktop
// notification protocol has it, a Notify that replaces one still shown answers with that one's
// id, and CloseNotification of one shown is answered with NotificationClosed (reason 3).
class FakeNotificationService {
 public:
  explicit FakeNotificationService(const std::string& busAddress);
  ~FakeNotificationService();
  FakeNotificationService(const FakeNotificationService&) = delete;
  FakeNotificationService& operator=(const FakeNotificationService&) = delete;

  std::vector<NotifyCall> Calls();
  std::vector<CloseCall> Closes();
  // Waits for the n-th Notify call (from 1).
  std::optional<NotifyCall> WaitCall(std::size_t n, std::chrono::milliseconds timeout);
  // Waits until the calls so far satisfy `done`.
  bool WaitCalls(const std::function<bool(const std::vector<NotifyCall>&)>& done, std::chrono::milliseconds timeout);
  // Waits for the n-th CloseNotification call (from 1).
  std::optional<CloseCall> WaitClose(std::size_t n, std::chrono::milliseconds timeout);
  // While held, Notify calls are recorded but answered only on release, as by a slow service.
  void HoldAnswers();
  void ReleaseAnswers();
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
  std::vector<CloseCall> closes_;
  std::set<std::uint32_t> shown_;
  bool hold_ = false;
  std::vector<std::pair<GDBusMethodInvocation*, std::uint32_t>> held_;
  std::uint32_t nextId_ = 41;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* bus_ = nullptr;
};

}  // namespace tavro::browser
