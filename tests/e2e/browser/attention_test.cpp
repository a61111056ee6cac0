// The taskbar entry asks for attention when the caption changes while the agent looks elsewhere
// (another window focused, or Tavro minimised), and stops once Tavro has the focus again.
#include <thread>

#include "browser_fixture.h"

namespace tavro::browser {
namespace {

class AttentionTest : public BrowserTest {
 protected:
  // Waits for the caption to change from what it is now to another "tick N".
  bool WaitForNextTick() {
    const std::string now = app_->Caption();
    return WaitForCaption([&](const std::string& c) { return c != now && c.rfind("tick ", 0) == 0; }, 10s);
  }
};

TEST_F(AttentionTest, CaptionChangeAsksForAttentionOnlyWhileTheAgentLooksElsewhere) {
  StartX(true);
  StartSite();
  AddressLabPage("/kefu/lab/ticker.html");
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.rfind("tick ", 0) == 0; }, 30s))
      << app_->Caption();

  // Focused: the caption goes on changing and asks for nothing.
  x_->Focus(main);
  ASSERT_TRUE(WaitUntil([&] { return !x_->Urgent(main); }, 5s)) << "still urgent with the focus";
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(WaitForNextTick());
    EXPECT_FALSE(x_->Urgent(main)) << "asked for attention while focused, at \"" << app_->Caption() << "\"";
  }

  // Another program's window takes the focus: the next change asks for attention.
  const XWindow other = x_->CreateWindow(0, 0, 200, 200);
  ASSERT_TRUE(WaitUntil([&] { return x_->State(other) == MapState::Viewable; }, 5s));
  x_->Focus(other);
  ASSERT_TRUE(WaitForNextTick());
  EXPECT_TRUE(WaitUntil([&] { return x_->Urgent(main); }, 2s)) << "no attention asked while unfocused";

  // Focus back: the request ends, and stays ended while focused.
  x_->Focus(main);
  EXPECT_TRUE(WaitUntil([&] { return !x_->Urgent(main); }, 5s)) << "focus did not end the request";
  ASSERT_TRUE(WaitForNextTick());
  EXPECT_FALSE(x_->Urgent(main));

  // Minimised: the next change asks again; back on screen with the focus ends it.
  x_->Iconify(main);
  ASSERT_TRUE(WaitUntil([&] { return x_->Iconic(main); }, 5s)) << "the window manager did not minimise it";
  ASSERT_TRUE(WaitForNextTick());
  EXPECT_TRUE(WaitUntil([&] { return x_->Urgent(main); }, 2s)) << "no attention asked while minimised";
  ProcessOptions activate;
  activate.argv = {"xdotool", "windowactivate", std::to_string(main)};
  activate.env = {{"DISPLAY", x_->DisplayName()}};
  ASSERT_EQ(RunToEnd(activate, 20s), 0);
  EXPECT_TRUE(WaitUntil([&] { return !x_->Urgent(main); }, 5s)) << "bringing it back did not end the request";
}

}  // namespace
}  // namespace tavro::browser
