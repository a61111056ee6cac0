// Form1 as stored: a borderless 4770 x 10845 twip panel, its seven controls and its pictures.
#include "form1_design.h"

namespace tavro::app {

using platform::AccessibleRole;
using platform::ControlKind;
using platform::DesignColor;

const platform::FormDesign& Form1Design() {
  static const platform::FormDesign design = [] {
    constexpr DesignColor kButtonColor = DesignColor::Rgb(128, 255, 255);
    platform::FormDesign f;
    f.name = "Form1";
    f.width = 4770;
    f.height = 10845;
    f.borderless = true;
    f.caption = "";
    f.backColor = DesignColor::Window();
    f.picture = "/tavro/form/window.gif";
    f.icon = "/tavro/form/tavro.ico";
    // Stored order; within a container the first stands in front.
    f.controls = {
        {.name = "WebBrowser2",
         .kind = ControlKind::WebBrowser,
         .container = "",
         .left = 120,
         .top = 10200,
         .width = 3015,
         .height = 600,
         .visible = false,
         .tabIndex = 3,
         .backColor = DesignColor::Window(),
         .picture = "",
         .interval = 0,
         .accessibleRole = AccessibleRole::Default,
         .accessibleName = ""},
        {.name = "Picture1",
         .kind = ControlKind::PictureBox,
         .container = "",
         .left = 0,
         .top = 0,
         .width = 4820,
         .height = 3015,
         .visible = true,
         .tabIndex = 1,
         .backColor = DesignColor::Window(),
         .picture = "/tavro/form/header.gif",
         .interval = 0,
         .accessibleRole = AccessibleRole::TitleBar,
         .accessibleName = ""},
        {.name = "Picture3",
         .kind = ControlKind::PictureBox,
         .container = "Picture1",
         .left = 3800,
         .top = 0,
         .width = 390,
         .height = 260,
         .visible = false,
         .tabIndex = 4,
         .backColor = kButtonColor,
         .picture = "/tavro/form/minimize.gif",
         .interval = 0,
         .accessibleRole = AccessibleRole::PushButton,
         .accessibleName = "最小化"},
        {.name = "Picture2",
         .kind = ControlKind::PictureBox,
         .container = "Picture1",
         .left = 4200,
         .top = 60,
         .width = 320,
         .height = 420,
         .visible = true,
         .tabIndex = 2,
         .backColor = kButtonColor,
         .picture = "/tavro/form/close.gif",
         .interval = 0,
         .accessibleRole = AccessibleRole::PushButton,
         .accessibleName = "关闭"},
        {.name = "Timer1",
         .kind = ControlKind::Timer,
         .container = "",
         .left = 0,
         .top = 0,
         .width = 0,
         .height = 0,
         .visible = true,
         .tabIndex = std::nullopt,
         .backColor = DesignColor::Window(),
         .picture = "",
         .interval = 500,
         .accessibleRole = AccessibleRole::Default,
         .accessibleName = ""},
        {.name = "WebBrowser1",
         .kind = ControlKind::WebBrowser,
         .container = "",
         .left = -30,
         .top = -30,
         .width = 5100,
         .height = 10935,
         .visible = true,
         .tabIndex = 0,
         .backColor = DesignColor::Window(),
         .picture = "",
         .interval = 0,
         .accessibleRole = AccessibleRole::Default,
         .accessibleName = ""},
        {.name = "WebBrowser3",
         .kind = ControlKind::WebBrowser,
         .container = "",
         .left = 1080,
         .top = 10320,
         .width = 975,
         .height = 375,
         .visible = true,
         .tabIndex = 5,
         .backColor = DesignColor::Window(),
         .picture = "",
         .interval = 0,
         .accessibleRole = AccessibleRole::Default,
         .accessibleName = ""},
    };
    return f;
  }();
  return design;
}

}  // namespace tavro::app
