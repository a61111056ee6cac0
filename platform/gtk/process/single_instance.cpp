// Uniqueness through GApplication's name on the session bus; nothing is written to disk.
#include "single_instance.h"

#include <iostream>

namespace tavro::platform::gtk {

SingleInstance::SingleInstance(const std::string& applicationId)
    : application_(g_application_new(applicationId.c_str(), G_APPLICATION_DEFAULT_FLAGS)) {
  activate_ = Connect(application_.get(), "activate",
                      +[](GApplication*, gpointer self) {
                        auto* me = static_cast<SingleInstance*>(self);
                        if (me->activated) me->activated();
                      },
                      this);
  GError* raw = nullptr;
  if (!g_application_register(application_.get(), nullptr, &raw)) {
    // No session bus (or no name on it): this start runs on its own, as without uniqueness.
    const GErrorPtr error(raw);
    return;
  }
  if (!g_application_get_is_remote(application_.get())) return;
  g_application_activate(application_.get());
  // The request must have left before this start ends.
  if (GDBusConnection* bus = g_application_get_dbus_connection(application_.get()))
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
  handedOver_ = true;
}

}  // namespace tavro::platform::gtk
