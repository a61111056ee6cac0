// Captions far beyond what a desktop title holds, and strange ones, set on the real window: the
// caption keeps the whole text while the desktop gets at most 4096 bytes, cut between characters.
#include "gui/gui_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

namespace {

using tavro::guitest::GtkForm;
using namespace std::string_literals;

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += unit;
  return out;
}

// _NET_WM_NAME of the window as the X server holds it.
std::string DesktopTitle(GtkForm& form) {
  tavro::guitest::Pump(50);
  Display* dpy = tavro::guitest::XDisplay();
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(dpy, tavro::guitest::Xid(form), XInternAtom(dpy, "_NET_WM_NAME", False), 0, 1 << 20, False,
                     XInternAtom(dpy, "UTF8_STRING", False), &actual, &format, &count, &after, &data);
  std::string title = data ? std::string(reinterpret_cast<char*>(data), count) : std::string();
  if (data) XFree(data);
  return title;
}

TEST(CaptionTest, HugeAndStrangeCaptionsReachTheDesktopCutBetweenCharacters) {
  auto runtime = tavro::guitest::NewRuntime();
  tavro::guitest::RunForm(*runtime, nullptr, [](GtkForm& form) {
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
