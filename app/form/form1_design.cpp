// Form1 as stored: a borderless 4770 x 10845 twip panel, its seven controls and its pictures.
#include "form1_design.h"

namespace tavro::app {

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
        {"WebBrowser2", ControlKind::WebBrowser, "", 120, 10200, 3015, 600, false, 3, DesignColor::Window(), "", 0},
        {"Picture1", ControlKind::PictureBox, "", 0, 0, 4820, 3015, true, 1, DesignColor::Window(), "/tavro/form/header.gif", 0},
        {"Picture3", ControlKind::PictureBox, "Picture1", 3800, 0, 390, 260, false, 4, kButtonColor, "/tavro/form/minimize.gif", 0},
        {"Picture2", ControlKind::PictureBox, "Picture1", 4200, 60, 320, 420, true, 2, kButtonColor, "/tavro/form/close.gif", 0},
        {"Timer1", ControlKind::Timer, "", 0, 0, 0, 0, true, std::nullopt, DesignColor::Window(), "", 500},
        {"WebBrowser1", ControlKind::WebBrowser, "", -30, -30, 5100, 10935, true, 0, DesignColor::Window(), "", 0},
        {"WebBrowser3", ControlKind::WebBrowser, "", 1080, 10320, 975, 375, true, 5, DesignColor::Window(), "", 0},
    };
    return f;
  }();
  return design;
}

}  // namespace tavro::app
