// One Tavro per desktop session: a second start (the menu clicked twice) brings the running
// window forward and ends. The session bus tells them apart; without one every start runs.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

#include "owners.h"

namespace tavro::platform::gtk {

class SingleInstance {
 public:
  explicit SingleInstance(const std::string& applicationId);
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when another instance already runs in this session: it has been asked to come forward.
  bool HandedOver() const { return handedOver_; }

  // Another start asked this instance to come forward.
  std::function<void()> activated;

 private:
  GObjectPtr<GApplication> application_;
  SignalConnection activate_;
  bool handedOver_ = false;
};

}  // namespace tavro::platform::gtk
