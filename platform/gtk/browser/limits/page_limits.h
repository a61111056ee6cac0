// The limits on what pages may ask of the desktop without the agent: how many windows and downloads
// an input allows, how many pop-up windows may be open, when a page's dialogs may be stopped.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>

namespace tavro::platform::gtk {

using LimitsClock = std::chrono::steady_clock;

// A page's click handler runs within moments of the press; a browser's transient activation lasts
// about this long, and the engine's own gesture flag is the finer check.
inline constexpr std::chrono::milliseconds kWindowGestureLifetime{5000};
// A download starts once the server answers, which for an export can take a while.
inline constexpr std::chrono::milliseconds kDownloadGestureLifetime{30000};
// A page takes the pointer in its click handler or soon after it, as a browser's transient
// activation allows.
inline constexpr std::chrono::milliseconds kPointerLockGestureLifetime{5000};
// Inputs of a view kept for what its page does in answer to them (a few keys typed in a row).
inline constexpr std::size_t kSavedInputs = 4;
// Pop-up windows of Tavro open at once; a page that wants more gets none.
inline constexpr std::size_t kMaxPopupWindows = 5;
// A page's next dialog within this time of the last one's answer may be its last (as in browsers).
inline constexpr std::chrono::milliseconds kSuccessiveDialogTime{3000};
// Downloads waiting behind the open save dialog; later ones are refused.
inline constexpr std::size_t kMaxWaitingDownloads = 2;
// A page that asks for this many dialogs within a second after they were stopped is caught in a
// loop: its web process does nothing else.
inline constexpr std::size_t kLoopingDialogs = 50;
// An outside page caught in such a loop waits this long for each answer: its own web process then
// sleeps instead of keeping Tavro busy answering.
inline constexpr std::chrono::milliseconds kLoopingAnswerDelay{1000};
// How long the notice of refused windows and downloads stays.
inline constexpr std::chrono::milliseconds kNoticeTime{4000};

// The agent's inputs (presses of a button or a key) in each view, each good for one thing the
// page asks for in answer to it: one window, one download.
class GestureLedger {
 public:
  explicit GestureLedger(std::chrono::milliseconds lifetime) : lifetime_(lifetime) {}

  void Input(const void* view, LimitsClock::time_point now);
  // Takes the view's oldest input that is recent and was not taken yet.
  bool Take(const void* view, LimitsClock::time_point now);
  void Forget(const void* view) { inputs_.erase(view); }

 private:
  std::chrono::milliseconds lifetime_;
  std::map<const void*, std::deque<LimitsClock::time_point>> inputs_;  // inputs not taken yet
};

// Script dialogs of each view's page: whether the next one offers to stop them, and whether the
// agent stopped them (until the page navigates).
class DialogPacing {
 public:
  bool OffersStop(const void* view, LimitsClock::time_point now) const;
  bool Stopped(const void* view) const;
  void Answered(const void* view, LimitsClock::time_point now, bool stopAsked);
  // A dialog of the view's page was answered without showing.
  void AnsweredUnseen(const void* view, LimitsClock::time_point now);
  // The page keeps asking for dialogs nobody sees, as fast as they are answered.
  bool Looping(const void* view, LimitsClock::time_point now) const;
  // Another page came: its dialogs show again, though a page that keeps reloading to show one is
  // offered the stop at once.
  void Navigated(const void* view);
  void Forget(const void* view) { pages_.erase(view); }

 private:
  struct Page {
    std::optional<LimitsClock::time_point> lastAnswer;
    bool stopped = false;
    std::deque<LimitsClock::time_point> unseen;  // the latest answers without a box
  };
  std::map<const void*, Page> pages_;
};

// The notice's text for what was refused in a window since the notice came up.
std::string BlockedNoticeText(int windows, int downloads);
// The notice's text when no program of the desktop opens addresses of the scheme.
std::string NoProgramNoticeText(const std::string& scheme);

}  // namespace tavro::platform::gtk
