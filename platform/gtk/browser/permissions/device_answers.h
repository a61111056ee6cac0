// The agent's answers to the site's requests for the microphone and the camera, kept in memory for
// this run only, by origin and by kind of device; and the question that asks for them.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace tavro::platform::gtk {

// The devices one request of a page's asks for together.
struct CaptureDevices {
  bool microphone = false;
  bool camera = false;
};

enum class DeviceVerdict { Allow, Deny, Ask };

class DeviceAnswers {
 public:
  // A request of the origin for these devices: refused once the agent refused one of them, allowed
  // once the agent allowed each of them, else a question for the agent. A request for none of
  // them is refused.
  DeviceVerdict For(const std::string& origin, CaptureDevices devices) const {
    if (!devices.microphone && !devices.camera) return DeviceVerdict::Deny;
    const auto it = byOrigin_.find(origin);
    if (it == byOrigin_.end()) return DeviceVerdict::Ask;
    const Kinds& kinds = it->second;
    if ((devices.microphone && kinds.microphone == false) || (devices.camera && kinds.camera == false))
      return DeviceVerdict::Deny;
    if ((!devices.microphone || kinds.microphone == true) && (!devices.camera || kinds.camera == true))
      return DeviceVerdict::Allow;
    return DeviceVerdict::Ask;
  }

  // The agent's answer to a question for these devices. Allowed, it holds for each of them;
  // refused, for those not allowed before: a call the agent turned down when it wanted the camera
  // too leaves the microphone the agent allowed earlier as it was.
  void Record(const std::string& origin, CaptureDevices devices, bool allowed) {
    Kinds& kinds = byOrigin_[origin];
    if (devices.microphone && (allowed || kinds.microphone != true)) kinds.microphone = allowed;
    if (devices.camera && (allowed || kinds.camera != true)) kinds.camera = allowed;
  }

  // Pages of the origin may list the devices with their names once the agent allowed one of them.
  bool MayListDevices(const std::string& origin) const {
    const auto it = byOrigin_.find(origin);
    return it != byOrigin_.end() && (it->second.microphone == true || it->second.camera == true);
  }

  // What the Permissions API tells pages of the origin about one kind of device.
  std::optional<bool> Answered(const std::string& origin, bool camera) const {
    const auto it = byOrigin_.find(origin);
    if (it == byOrigin_.end()) return std::nullopt;
    return camera ? it->second.camera : it->second.microphone;
  }

 private:
  struct Kinds {
    std::optional<bool> microphone, camera;  // unset: never answered
  };
  std::map<std::string, Kinds> byOrigin_;
};

// The question for the agent, naming the site by its origin and the devices its page asks for.
inline std::string DeviceQuestion(const std::string& origin, CaptureDevices devices) {
  const char* what = devices.microphone && devices.camera ? "麦克风和摄像头" : devices.camera ? "摄像头" : "麦克风";
  return "客服网站 " + origin + " 想使用您的" + what + "。允许吗？\n\n退出程序前不会再问。";
}

}  // namespace tavro::platform::gtk
