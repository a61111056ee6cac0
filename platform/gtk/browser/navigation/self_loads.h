// An outside page (the advertisement) that loads itself over and over (a reload on every load, a
// refresh of a second) is slowed to a few loads a minute: the first few within a minute go at
// once, so that a single reload is never delayed, and each one past them waits its turn, the page
// staying as it was meanwhile. The program's own loads are never held.
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <deque>
#include <map>
#include <string>

#include "owners.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

inline constexpr int kFreeSelfLoadsPerMinute = 4;
inline constexpr std::chrono::seconds kSelfLoadSpacing{15};

// When each of a page's own loads may go, given when the earlier ones went.
class LoadPacing {
 public:
  using Clock = std::chrono::steady_clock;
  // A load asked for now: how long it waits (zero: it goes now). It counts as gone at its time.
  Clock::duration Ask(Clock::time_point now);

 private:
  std::deque<Clock::time_point> granted_;  // within the last minute, and those still to come
};

struct SelfLoadState {
  LoadPacing pacing;
  bool programLoad = false;  // the next start is the program's (or the held load's own)
  bool ownLoad = false;      // the load under way is the page's own
  std::string heldUri;       // the page's latest load, held
  ScopedConnection held;
};

class SelfLoads : public PerViewUnit<SelfLoadState> {
 public:
  void Attach(const ShownView& shown) override;
  void ProgramLoading(WebKitWebView* view) override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;
  // The page's load past its pace is turned down at its answer: the page stays as it was, and its
  // scripts, which would ask again at once, with it.
  bool DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) override;
  void CloseAll() override;
};

}  // namespace tavro::platform::gtk
