// The pages' alert, confirm, prompt and "leave this page?" as Tavro's own message boxes, modal to
// the page's window, their answers handed back to the page.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <list>
#include <memory>

#include "owners.h"
#include "views.h"

namespace tavro::platform::gtk {

class ScriptDialogs {
 public:
  explicit ScriptDialogs(Views& views);
  ~ScriptDialogs();
  ScriptDialogs(const ScriptDialogs&) = delete;
  ScriptDialogs& operator=(const ScriptDialogs&) = delete;

  void Attach(WebKitWebView* view);
  // The view goes: its open dialogs are answered as cancelled.
  void Detach(WebKitWebView* view);
  // Every open dialog is answered as cancelled, and later ones get the default answer at once.
  void CloseAll();

 private:
  struct Box;
  bool Show(WebKitWebView* view, WebKitScriptDialog* dialog);
  void Answer(Box* box, bool ok);
  void DismissFor(WebKitWebView* view);

  Views& views_;
  ConnectionsByInstance connections_;
  std::list<std::unique_ptr<Box>> boxes_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
