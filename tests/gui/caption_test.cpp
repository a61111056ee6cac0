// Captions far beyond what a desktop title holds, and strange ones, set on the real window: the
// caption keeps the whole text while the desktop gets at most 4096 bytes, cut between characters.
#include <string>

#include "gui/gui_fixture.h"

namespace {

using tavro::guitest::GtkForm;
using namespace std::string_literals;

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

class CaptionTest : public tavro::guitest::GuiTest {
 protected:
  // The window's title as the X server holds it, once GTK's requests have reached it.
  std::string DesktopTitle(GtkForm& form) {
    gdk_display_sync(gdk_display_get_default());
    return x_->Title(tavro::guitest::Xid(form));
  }
};

TEST_F(CaptionTest, HugeAndStrangeCaptionsReachTheDesktopCutBetweenCharacters) {
  RunForm(nullptr, [&](GtkForm& form) {
    struct Case {
      const char* label;
      std::string caption, desktop;
    };
    const std::string han = "汉";  // three bytes: 4096 falls inside the 1366th
    const std::string emoji = "😀";  // four bytes: 4096 is a boundary
    const Case cases[] = {
        {"1 MB of 3-byte characters", Repeat(han, 349526), Repeat(han, 1365)},
        {"1 MB of 4-byte characters", Repeat(emoji, 262144), Repeat(emoji, 1024)},
        {"one byte over, then a wide character", Repeat("a", 4095) + han, Repeat("a", 4095)},
        {"exactly 4096 bytes", Repeat("a", 4093) + han, Repeat("a", 4093) + han},
        {"control characters", "前\x01\x07\t\n\x1B\x7F后", "前\x01\x07\t\n\x1B\x7F后"},
        {"a NUL ends the desktop title", "前\0后"s, "前"},
        {"right-to-left and emoji", "مرحبا שלום 👋👩‍💻🇨🇳 客服 \u202Eabc", "مرحبا שלום 👋👩‍💻🇨🇳 客服 \u202Eabc"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
      form.SetCaption(c.caption);
      EXPECT_EQ(form.Caption(), c.caption) << c.label;
      const std::string desktop = DesktopTitle(form);
      EXPECT_EQ(desktop.size(), c.desktop.size()) << c.label;
      EXPECT_TRUE(desktop == c.desktop) << c.label;
    }
  });
}

}  // namespace
