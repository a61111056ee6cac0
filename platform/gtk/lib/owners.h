// Owner types for the C handles of GLib, GObject and WebKit, and signal connections that end
// with their owner.
#pragma once

#include <glib-object.h>
#include <sigc++/connection.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace tavro::platform::gtk {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};

// One reference to a GObject, released with the owner.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Takes over a reference the caller already holds (a new object, or one returned "transfer full").
template <typename T>
GObjectPtr<T> Adopt(T* object) {
  return GObjectPtr<T>(object);
}

// Takes a reference of its own; a floating reference (a new widget) is sunk.
template <typename T>
GObjectPtr<T> Retain(T* object) {
  return GObjectPtr<T>(object ? static_cast<T*>(g_object_ref_sink(object)) : nullptr);
}

struct GFreeDeleter {
  void operator()(gpointer memory) const { g_free(memory); }
};
// A string GLib hands over with "free it with g_free".
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

struct GErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

// A parsed address (g_uri_parse), released through its boxed type.
struct GUriDeleter {
  void operator()(GUri* uri) const { g_boxed_free(G_TYPE_URI, uri); }
};
using GUriPtr = std::unique_ptr<GUri, GUriDeleter>;

// A weak reference: it does not keep the object, and answers nothing once the object is gone.
template <typename T>
class WeakRef {
 public:
  WeakRef() = default;
  explicit WeakRef(T* object) : ref_(std::make_unique<GWeakRef>()) { g_weak_ref_init(ref_.get(), object); }
  WeakRef(WeakRef&&) noexcept = default;
  WeakRef& operator=(WeakRef&& other) noexcept {
    if (this != &other) {
      Clear();
      ref_ = std::move(other.ref_);
    }
    return *this;
  }
  WeakRef(const WeakRef&) = delete;
  WeakRef& operator=(const WeakRef&) = delete;
  ~WeakRef() { Clear(); }

  // A strong reference while the object lives.
  GObjectPtr<T> Get() const { return GObjectPtr<T>(ref_ ? static_cast<T*>(g_weak_ref_get(ref_.get())) : nullptr); }

 private:
  void Clear() {
    if (ref_) g_weak_ref_clear(ref_.get());
    ref_.reset();
  }
  std::unique_ptr<GWeakRef> ref_;  // a GWeakRef must keep its address
};

// A handler connected to a signal of an instance, disconnected when this goes, unless the instance
// has gone first. Handlers are captureless lambdas or functions that get their receiver as the
// signal's user data.
class SignalConnection {
 public:
  SignalConnection() = default;
  SignalConnection(gpointer instance, gulong id) : instance_(static_cast<GObject*>(instance)), id_(id) {}
  SignalConnection(SignalConnection&& other) noexcept
      : instance_(std::move(other.instance_)), id_(std::exchange(other.id_, 0)) {}
  SignalConnection& operator=(SignalConnection&& other) noexcept {
    if (this != &other) {
      Disconnect();
      instance_ = std::move(other.instance_);
      id_ = std::exchange(other.id_, 0);
    }
    return *this;
  }
  SignalConnection(const SignalConnection&) = delete;
  SignalConnection& operator=(const SignalConnection&) = delete;
  ~SignalConnection() { Disconnect(); }

  bool Connected() const { return id_ != 0; }

  void Disconnect() {
    if (id_ == 0) return;
    if (const GObjectPtr<GObject> alive = instance_.Get()) g_signal_handler_disconnect(alive.get(), id_);
    id_ = 0;
    instance_ = WeakRef<GObject>();
  }

 private:
  WeakRef<GObject> instance_;
  gulong id_ = 0;
};

// Connects `handler` (a function pointer of the signal's C signature) with `receiver` as user data.
template <typename Handler>
SignalConnection Connect(gpointer instance, const char* signal, Handler* handler, gpointer receiver) {
  return SignalConnection(instance, g_signal_connect(instance, signal, G_CALLBACK(handler), receiver));
}

// The connections a unit holds on several instances (its views), dropped per instance or all.
class ConnectionsByInstance {
 public:
  void Add(gpointer instance, SignalConnection connection) { byInstance_[instance].push_back(std::move(connection)); }
  void Drop(gpointer instance) { byInstance_.erase(instance); }
  void Clear() { byInstance_.clear(); }

 private:
  std::map<gpointer, std::vector<SignalConnection>> byInstance_;
};

// A connection of a gtkmm (sigc++) signal, disconnected when this goes.
class ScopedConnection {
 public:
  ScopedConnection() = default;
  ScopedConnection(const sigc::connection& connection) : connection_(connection) {}  // NOLINT(google-explicit-constructor): taken from connect()
  // A sigc::connection is a handle that copies: the moved-from owner must forget it.
  ScopedConnection(ScopedConnection&& other) noexcept : connection_(other.connection_) {
    other.connection_ = sigc::connection();
  }
  ScopedConnection& operator=(ScopedConnection&& other) noexcept {
    if (this != &other) {
      connection_.disconnect();
      connection_ = other.connection_;
      other.connection_ = sigc::connection();
    }
    return *this;
  }
  ScopedConnection(const ScopedConnection&) = delete;
  ScopedConnection& operator=(const ScopedConnection&) = delete;
  ~ScopedConnection() { connection_.disconnect(); }

  bool Connected() const { return connection_.connected(); }
  void Disconnect() { connection_.disconnect(); }

 private:
  sigc::connection connection_;
};

}  // namespace tavro::platform::gtk
