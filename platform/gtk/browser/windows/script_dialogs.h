// The pages' alert, confirm, prompt and "leave this page?" as Tavro's own message boxes, their
// answers handed back to the page. A box holds only its page: its window's own controls (the
// close button, the window manager's close) keep working. One box at a time per view; a page that
// keeps asking can be stopped; outside pages and pages the program is navigating away from get
// their answers at once.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <list>
#include <memory>
#include <set>

#include "owners.h"
#include "page_limits.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

// A page whose dialogs are not shown: alert returns, confirm and prompt are cancelled, and
// "leave this page?" leaves.
void AnswerUnseen(WebKitScriptDialog* dialog);

class ScriptDialogs : public ViewUnit {
 public:
  explicit ScriptDialogs(Views& views);
  ~ScriptDialogs() override;

  void Attach(const ShownView& shown) override;
  // The view goes: its open dialog is answered as cancelled.
  void Detach(WebKitWebView* view) override;
  // The program loads another page in the view: nothing the page asks may hold that up, until the
  // new page is there or the load failed.
  void ProgramLoading(WebKitWebView* view) override;
  // Every open dialog is answered as cancelled, and later ones get the default answer at once.
  void CloseAll() override;
  void LoadChanged(WebKitWebView* view, WebKitLoadEvent event) override;
  bool LoadFailed(WebKitWebView* view, const char* uri, GError* error) override;
  // The view's page does nothing but ask for dialogs that are not shown.
  bool Looping(WebKitWebView* view) const { return pacing_.Looping(view, LimitsClock::now()); }
  // The agent stopped the view's page's dialogs.
  bool Stopped(WebKitWebView* view) const { return pacing_.Stopped(view); }

 private:
  struct Box;
  struct Held;
  bool Show(WebKitWebView* view, WebKitScriptDialog* dialog);
  void AnswerLater(WebKitWebView* view, WebKitScriptDialog* dialog);
  void Release(WebKitWebView* view);
  void Answer(Box* box, bool ok);
  void DismissFor(WebKitWebView* view, bool leave);

  Views& views_;
  ConnectionsByInstance connections_;
  std::list<std::unique_ptr<Box>> boxes_;
  std::list<std::unique_ptr<Held>> held_;  // answers an outside page waits for
  DialogPacing pacing_;
  std::set<WebKitWebView*> leaving_;  // views the program is navigating
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
