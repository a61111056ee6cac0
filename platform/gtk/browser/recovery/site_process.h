// The site's web process, ended and started again when a page holds it for good (a script that
// never ends, a loop of dialogs nobody sees): when a pop-up window of the site's closes with its
// page stuck (closing a window does not stop its script), and when the program loads a page in
// one of the site's views (the logout at exit must get through). The site's pages come back in a
// new process.
#pragma once

#include <webkit2/webkit2.h>

#include <set>

#include "owners.h"
#include "script_dialogs.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

// How long a process that may be held gets to answer.
inline constexpr unsigned kProbeSeconds = 3;

class SiteProcess : public ViewUnit {
 public:
  // Heard before `dialogs` when a view goes (placed after it in the list).
  SiteProcess(Views& views, ScriptDialogs& dialogs) : views_(views), dialogs_(dialogs) {}
  ~SiteProcess() override { CloseAll(); }

  void Attach(const ShownView& shown) override;
  // A pop-up window of the site's goes: a stuck page's process starts over once it has gone.
  void Detach(WebKitWebView* view) override;
  void CloseAll() override;
  void ProgramLoading(WebKitWebView* view) override;

 private:
  bool Stuck(WebKitWebView* view) const;
  // Asks the site's process for an answer; none within a few seconds means it is held for good.
  void Probe();
  void Restart();

  Views& views_;
  ScriptDialogs& dialogs_;
  std::set<WebKitWebView*> popups_;
  ScopedConnection restart_;
  ScopedConnection probeDue_;
  GObjectPtr<GCancellable> probe_;
};

}  // namespace tavro::platform::gtk
