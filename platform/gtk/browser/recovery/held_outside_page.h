// An outside page (the advertisement) whose web process stops answering is ended. A page held in
// one long task (a parse of an SVG of nested entities, a script that never returns) is out of
// reach of the engine's own memory limit, which is looked at between tasks: here the process is
// asked for an answer every second, and one not given within a few seconds ends it. The view stays
// empty until the program loads it again (the next sign-in).
#pragma once

#include <webkit2/webkit2.h>

#include <chrono>
#include <optional>

#include "owners.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

inline constexpr std::chrono::seconds kOutsideAnswerTime{4};

struct HeldPageState {
  bool live = false;  // a page is there, in a process that was not ended here
  GObjectPtr<GCancellable> question;
  std::chrono::steady_clock::time_point askedAt;
};

class HeldOutsidePage : public PerViewUnit<HeldPageState> {
 public:
  ~HeldOutsidePage() override;
  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;
  void CloseAll() override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;

 private:
  bool Tick();
  void Ask(WebKitWebView* view, HeldPageState& state);
  static void Forget(HeldPageState& state);

  ScopedConnection ticks_;
};

}  // namespace tavro::platform::gtk
