// The rules that bound what pages get without the agent, checked without a display: one window or
// download per input, when a page's dialogs may be stopped, when a page is caught in a loop.
#include <gtest/gtest.h>

#include "platform/gtk/browser/limits/page_limits.h"
#include "platform/gtk/browser/navigation/self_loads.h"

namespace tavro::platform::gtk {
namespace {

using namespace std::chrono_literals;

const LimitsClock::time_point kStart{};
const int kConsole = 0, kPopup = 0;
const void* const console = &kConsole;
const void* const popup = &kPopup;

TEST(GestureLedgerTest, EachInputAllowsOneThingAndOnlyInItsOwnView) {
  GestureLedger ledger(kWindowGestureLifetime);
  EXPECT_FALSE(ledger.Take(console, kStart)) << "nothing before any input";
  ledger.Input(console, kStart);
  EXPECT_FALSE(ledger.Take(popup, kStart + 10ms)) << "another view's input";
  EXPECT_TRUE(ledger.Take(console, kStart + 10ms));
  // Ten window.open in one click: the other nine get nothing.
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(ledger.Take(console, kStart + 20ms));
  // Keys typed in a row count once each, up to a few: a page cannot save up an hour of typing.
  for (int i = 0; i < 10; ++i) ledger.Input(console, kStart + 30ms + i * 1ms);
  for (std::size_t i = 0; i < kSavedInputs; ++i) EXPECT_TRUE(ledger.Take(console, kStart + 50ms)) << i;
  EXPECT_FALSE(ledger.Take(console, kStart + 50ms));
}

TEST(GestureLedgerTest, AnOldInputCountsForNothingAndAForgottenViewHasNone) {
  GestureLedger windows(kWindowGestureLifetime);
  windows.Input(console, kStart);
  EXPECT_FALSE(windows.Take(console, kStart + kWindowGestureLifetime + 1ms));
  // Taking it too late used it up: a page cannot wait for the clock to turn back.
  EXPECT_FALSE(windows.Take(console, kStart));
  // Of an old and a new input, the old one is dropped and the new one counts.
  windows.Input(console, kStart);
  windows.Input(console, kStart + kWindowGestureLifetime);
  EXPECT_TRUE(windows.Take(console, kStart + kWindowGestureLifetime + 1ms));
  EXPECT_FALSE(windows.Take(console, kStart + kWindowGestureLifetime + 2ms));
  // A download may take longer to start than a window.
  GestureLedger downloads(kDownloadGestureLifetime);
  downloads.Input(console, kStart);
  EXPECT_TRUE(downloads.Take(console, kStart + kWindowGestureLifetime + 1s));
  downloads.Input(popup, kStart);
  downloads.Forget(popup);
  EXPECT_FALSE(downloads.Take(popup, kStart + 1ms));
}

TEST(DialogPacingTest, TheSecondDialogSoonAfterTheFirstOffersTheStop) {
  DialogPacing pacing;
  EXPECT_FALSE(pacing.OffersStop(console, kStart)) << "a page's first dialog";
  pacing.Answered(console, kStart, false);
  EXPECT_TRUE(pacing.OffersStop(console, kStart + kSuccessiveDialogTime));
  EXPECT_FALSE(pacing.OffersStop(console, kStart + kSuccessiveDialogTime + 1ms)) << "long after the last";
  EXPECT_FALSE(pacing.OffersStop(popup, kStart + 1ms)) << "another view's page";
  // Reading a box for a long time counts from its answer, not from when it came.
  pacing.Answered(console, kStart + 1min, false);
  EXPECT_TRUE(pacing.OffersStop(console, kStart + 1min + 100ms));
  EXPECT_FALSE(pacing.Stopped(console));
}

TEST(DialogPacingTest, StoppedDialogsStayStoppedUntilThePageNavigates) {
  DialogPacing pacing;
  pacing.Answered(console, kStart, true);
  EXPECT_TRUE(pacing.Stopped(console));
  EXPECT_FALSE(pacing.Stopped(popup));
  pacing.Answered(console, kStart + 1ms, false);
  EXPECT_TRUE(pacing.Stopped(console)) << "a later answer does not take the stop back";
  pacing.Navigated(console);
  EXPECT_FALSE(pacing.Stopped(console));
  // A page that reloads itself to show the next one is offered the stop at once.
  EXPECT_TRUE(pacing.OffersStop(console, kStart + 10ms));
  pacing.Answered(console, kStart, true);
  pacing.Forget(console);
  EXPECT_FALSE(pacing.Stopped(console));
  EXPECT_FALSE(pacing.OffersStop(console, kStart + 1ms));
}

TEST(DialogPacingTest, APageIsLoopingWhileItAsksFasterThanAFewDozenASecond) {
  DialogPacing pacing;
  auto at = kStart;
  for (std::size_t i = 1; i < kLoopingDialogs; ++i) pacing.AnsweredUnseen(console, at += 1ms);
  EXPECT_FALSE(pacing.Looping(console, at)) << "one short of the count";
  pacing.AnsweredUnseen(console, at += 1ms);
  EXPECT_TRUE(pacing.Looping(console, at));
  EXPECT_FALSE(pacing.Looping(popup, at));
  // It stopped asking: a second later it is no longer caught.
  EXPECT_FALSE(pacing.Looping(console, kStart + 1s + 2ms));
  // As many, spread over minutes, are no loop.
  for (std::size_t i = 0; i < 2 * kLoopingDialogs; ++i) pacing.AnsweredUnseen(popup, kStart + i * 100ms);
  EXPECT_FALSE(pacing.Looping(popup, kStart + 2 * kLoopingDialogs * 100ms));
}

// A page's own loads: a few a minute at once, the rest spaced out; a page that stops gets its
// free loads back a minute later.
TEST(LoadPacingTest, AFewLoadsGoAtOnceAndTheRestWaitTheirTurn) {
  using std::chrono::seconds;
  LoadPacing pacing;
  const auto t0 = LoadPacing::Clock::time_point{} + std::chrono::hours(1);
  for (int i = 0; i < kFreeSelfLoadsPerMinute; ++i)
    EXPECT_EQ(pacing.Ask(t0 + std::chrono::milliseconds(100 * i)), LoadPacing::Clock::duration::zero()) << i;
  const auto fourth = t0 + std::chrono::milliseconds(100 * (kFreeSelfLoadsPerMinute - 1));
  // Twenty a second from here: each waits for the one before it, whenever it was asked.
  const auto now = fourth + std::chrono::milliseconds(50);
  EXPECT_EQ(pacing.Ask(now), fourth + kSelfLoadSpacing - now);
  EXPECT_EQ(pacing.Ask(now), fourth + 2 * kSelfLoadSpacing - now);
  // Long after the last one was due, a single load goes at once again.
  const auto later = fourth + 2 * kSelfLoadSpacing + std::chrono::minutes(1);
  EXPECT_EQ(pacing.Ask(later), LoadPacing::Clock::duration::zero());
  EXPECT_EQ(pacing.Ask(later + seconds(1)), LoadPacing::Clock::duration::zero());
}

TEST(BlockedNoticeTextTest, SaysWhatWasRefused) {
  EXPECT_EQ(BlockedNoticeText(100, 0), "已阻止 100 个弹出窗口");
  EXPECT_EQ(BlockedNoticeText(0, 1), "已阻止 1 个下载");
  EXPECT_EQ(BlockedNoticeText(2, 3), "已阻止 2 个弹出窗口、3 个下载");
  EXPECT_EQ(BlockedNoticeText(0, 0), "");
}

}  // namespace
}  // namespace tavro::platform::gtk
