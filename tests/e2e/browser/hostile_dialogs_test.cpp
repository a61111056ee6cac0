// Pages that trap the agent in their dialogs: an alert loop of another origin's frame in the
// console and of a customer's window can be stopped from its second box on and the window closed;
// the close button and the window manager's close work while a page's box is up, and a page's
// "leave this page?" never holds up the logout.
#include "hostile_pages.h"

namespace tavro::browser {
namespace {

class DialogTrapTest : public HostilePageTest {
 protected:
  // The site under a path of the demo site's whose login page is the named lab page: the logout
  // goes to that path too.
  std::string StartSiteAt(const std::string& name) {
    StartX();
    StartSite();
    PrepareWorkingFolder(site_->BaseUrl() + "/kefu/lab/at/" + name);
    StartTavro();
    return "/kefu/lab/at/" + name + "/ajax.php?act=out";
  }

  // The close button's question answered OK: the program ends by itself.
  void CloseWithTheCloseButton(XWindow main) {
    const XWindow question = AskToExit(main);
    EXPECT_EQ(x_->TransientFor(question), main);
    AnswerOkAndExpectEnd(question, 0);
  }
};

TEST_F(DialogTrapTest, AnAlertLoopOfAnotherOriginsFrameInTheConsoleStopsFromItsSecondBox) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/other-origin-frame.html?src=/kefu/lab/alert-loop.html%3Fn%3D1000");
  StartTavro();
  const XWindow main = MainWindowMapped();
  const auto first = WaitBoxFor(main);
  ASSERT_TRUE(first) << "no box for the frame's alert" << Describe();
  const auto firstSize = x_->Geometry(*first);
  input_->Key(*first, "Return");
  ASSERT_TRUE(WaitGone(*first));

  // The next one comes at once: it offers to stop the page's dialogs (a line more than the first).
  const auto second = WaitBoxFor(main);
  ASSERT_TRUE(second) << "no second box";
  const auto secondSize = x_->Geometry(*second);
  ASSERT_TRUE(firstSize && secondSize);
  EXPECT_GT(secondSize->height, firstSize->height) << "the second box has nothing more than the first";
  StopDialogsWith(*second);
  ASSERT_TRUE(WaitGone(*second));
  // The other 998 are answered without a box, and the loop ends.
  ASSERT_TRUE(WaitForRequest(Marker("loop-over"))) << "the loop went on" << Describe();
  EXPECT_TRUE(PageWindowsAndBoxes().empty()) << "a box is still up";
  CloseWithTheCloseButton(main);
}

TEST_F(DialogTrapTest, AnEndlessAlertLoopInACustomersWindowStopsAndTheWindowCloses) {
  const XWindow main = StartConsoleOpening("/kefu/lab/alert-loop.html", "&tick=1");
  const auto customer = WaitOtherOriginWindow("alert loop");
  ASSERT_TRUE(customer) << Describe();
  const auto first = WaitBoxFor(*customer);
  ASSERT_TRUE(first) << "no box for the customer's window's alert";
  input_->Key(*first, "Return");
  ASSERT_TRUE(WaitGone(*first));
  const auto second = WaitBoxFor(*customer);
  ASSERT_TRUE(second) << "no second box";
  StopDialogsWith(*second);
  ASSERT_TRUE(WaitGone(*second));

  x_->RequestClose(*customer);
  ASSERT_TRUE(WaitGone(*customer)) << "the window did not close";
  // The console goes on: its page keeps ticking, and no box is up.
  const auto ticks = CountRequestsStartingWith(Marker("tick-"));
  EXPECT_TRUE(WaitUntil([&] { return CountRequestsStartingWith(Marker("tick-")) >= ticks + 3; }, 30s))
      << "the console's page stands still" << Describe();
  EXPECT_TRUE(PageWindowsAndBoxes().empty());
  EXPECT_EQ(app_->Caption(), "customer link");
  CloseWithTheCloseButton(main);
}

TEST_F(DialogTrapTest, TheCloseButtonAndTheWindowManagersCloseWorkWhileAFramesAlertIsUp) {
  const std::string logout = StartSiteAt("alert-frame");
  XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitBoxFor(main)) << "no box for the frame's alert" << Describe();
  CloseWithTheCloseButton(main);
  EXPECT_EQ(CountRequests(logout), 1u) << "no logout" << Describe();

  StopTavro();
  StartTavro();
  main = MainWindowMapped();
  const auto alert = WaitBoxFor(main);
  ASSERT_TRUE(alert) << "no box for the frame's alert" << Describe();
  // The window manager's close asks the exit question, as the close button does.
  AnswerOkAndExpectEnd(AskToExit(main, [&] { x_->RequestClose(main); }), 0);
}

TEST_F(DialogTrapTest, AnEndlessAlertLoopInTheConsoleDoesNotHoldUpTheLogout) {
  const std::string logout = StartSiteAt("alert-loop-frame");
  const XWindow main = MainWindowMapped();
  const auto first = WaitBoxFor(main);
  ASSERT_TRUE(first) << Describe();
  input_->Key(*first, "Return");
  ASSERT_TRUE(WaitGone(*first));
  const auto second = WaitBoxFor(main);
  ASSERT_TRUE(second);
  StopDialogsWith(*second);
  ASSERT_TRUE(WaitGone(*second));
  // The frame's script now does nothing but ask; the console's page cannot go anywhere by itself.
  CloseWithTheCloseButton(main);
  EXPECT_EQ(CountRequests(logout), 1u) << "the logout did not get through" << Describe();
}

TEST_F(DialogTrapTest, APagesLeaveThisPageQuestionNeverHoldsUpTheLogout) {
  const std::string logout = StartSiteAt("beforeunload");
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption("beforeunload ready", 30s)) << app_->Caption();
  // The page's own navigation asks the agent, who stays.
  ClickAt(main, 160, 400);
  const auto question = WaitBoxFor(main);
  ASSERT_TRUE(question) << "the page's own navigation did not ask" << Describe();
  input_->Key(*question, "Escape");
  ASSERT_TRUE(WaitGone(*question));
  EXPECT_EQ(app_->Caption(), "beforeunload ready");

  CloseWithTheCloseButton(main);
  EXPECT_EQ(CountRequests(logout), 1u) << "the logout was held up" << Describe();
  EXPECT_EQ(CountRequests(Marker("left")), 0u) << Describe();
}

}  // namespace
}  // namespace tavro::browser
