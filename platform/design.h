// A window's stored design as data: places and sizes in twips, stacking, visibility, pictures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavro::platform {

enum class ControlKind { PictureBox, Timer, WebBrowser };

// What a control is to assistive technologies (screen readers): left to the toolkit, a push button
// that the reader can press as a click would, or the window's title bar, named after its caption.
enum class AccessibleRole { Default, PushButton, TitleBar };

// A colour of the design: either the desktop's window background or a fixed RGB value.
struct DesignColor {
  bool systemWindow = false;
  std::uint8_t red = 0, green = 0, blue = 0;

  static constexpr DesignColor Window() { return DesignColor{true, 0, 0, 0}; }
  static constexpr DesignColor Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return DesignColor{false, r, g, b};
  }
  bool operator==(const DesignColor&) const = default;
};

struct ControlDesign {
  std::string name;
  ControlKind kind = ControlKind::PictureBox;
  std::string container;  // empty: directly on the form
  int left = 0, top = 0, width = 0, height = 0;  // twips
  bool visible = true;
  std::optional<int> tabIndex;        // none for controls without a window
  DesignColor backColor = DesignColor::Window();
  std::string picture;                // embedded resource path, empty for none
  int interval = 0;                   // timers: milliseconds; 0 disabled
  AccessibleRole accessibleRole = AccessibleRole::Default;
  std::string accessibleName;         // what a screen reader calls it; empty: the toolkit's own
};

struct FormDesign {
  std::string name;
  int width = 0, height = 0;  // twips, outer size; the window has no frame
  bool borderless = true;
  std::string caption;
  DesignColor backColor = DesignColor::Window();
  std::string picture;  // embedded resource path of the background picture
  std::string icon;     // embedded resource path of the application icon
  std::vector<ControlDesign> controls;  // stored order: the first is in front within its container

  const ControlDesign* Find(const std::string& controlName) const {
    for (const auto& c : controls)
      if (c.name == controlName) return &c;
    return nullptr;
  }
};

}  // namespace tavro::platform
