// The views' registry and the list of units each view is attached to.
#include "views.h"

#include <algorithm>

namespace tavro::platform::gtk {

void Views::Add(WebKitWebView* view, Gtk::Window& window, bool site, bool ownProcess) {
  views_[view] = Entry{&window, site};
  // One handler per shared signal for the whole browser layer, before any unit's own handlers:
  // the placed control's load order (form/) hears load-changed and load-failed on its own.
  connections_.Add(view, Connect(view, "load-changed",
                                 +[](WebKitWebView* v, WebKitLoadEvent event, gpointer self) {
                                   static_cast<Views*>(self)->LoadChanged(v, event);
                                 },
                                 this));
  connections_.Add(view, Connect(view, "load-failed",
                                 +[](WebKitWebView* v, WebKitLoadEvent, gchar* uri, GError* error, gpointer self) {
                                   return static_cast<Views*>(self)->LoadFailed(v, uri, error);
                                 },
                                 this));
  connections_.Add(view, Connect(view, "decide-policy",
                                 +[](WebKitWebView* v, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                     gpointer self) { return static_cast<Views*>(self)->DecidePolicy(v, decision, type); },
                                 this));
  const ShownView shown{view, &window, site, &window == &mainWindow_, ownProcess};
  for (ViewUnit* unit : units_) unit->Attach(shown);
}

void Views::Remove(WebKitWebView* view) {
  if (!Known(view)) return;
  for (auto unit = units_.rbegin(); unit != units_.rend(); ++unit) (*unit)->Detach(view);
  connections_.Drop(view);
  views_.erase(view);
}

void Views::CloseAll() {
  closing_ = true;
  for (ViewUnit* unit : units_) unit->CloseAll();
}

void Views::ProgramLoading(WebKitWebView* view) {
  if (!Known(view)) return;
  for (ViewUnit* unit : units_) unit->ProgramLoading(view);
}

void Views::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  for (ViewUnit* unit : units_) unit->LoadChanged(view, event);
}

gboolean Views::LoadFailed(WebKitWebView* view, const char* uri, GError* error) {
  bool ownPage = false;
  for (ViewUnit* unit : units_) ownPage = unit->LoadFailed(view, uri, error) || ownPage;
  return ownPage ? TRUE : FALSE;
}

gboolean Views::DecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
  return std::any_of(units_.begin(), units_.end(),
                     [&](ViewUnit* unit) { return unit->DecidePolicy(view, decision, type); })
             ? TRUE
             : FALSE;
}

}  // namespace tavro::platform::gtk
