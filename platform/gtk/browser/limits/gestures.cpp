// Input events of the views, counted before the page sees them.
#include "gestures.h"

#include <gtk/gtk.h>

namespace tavro::platform::gtk {

void Gestures::Attach(const ShownView& shown) {
  WebKitWebView* view = shown.view;
  // Run before the view's own handlers and never stop them. A double click's extra event, key
  // releases and events another program sent to the window are no input of the agent's.
  connections_.Add(view, Connect(view, "button-press-event",
                                 +[](GtkWidget* v, GdkEventButton* event, gpointer self) -> gboolean {
                                   if (event->type == GDK_BUTTON_PRESS && !event->send_event)
                                     static_cast<Gestures*>(self)->Input(WEBKIT_WEB_VIEW(v), true);
                                   return FALSE;
                                 },
                                 this));
  connections_.Add(view, Connect(view, "key-press-event",
                                 +[](GtkWidget* v, GdkEventKey* event, gpointer self) -> gboolean {
                                   if (!event->send_event) static_cast<Gestures*>(self)->Input(WEBKIT_WEB_VIEW(v), false);
                                   return FALSE;
                                 },
                                 this));
}

void Gestures::Detach(WebKitWebView* view) {
  connections_.Drop(view);
  granted_.erase(view);
  windows_.Forget(view);
  downloads_.Forget(view);
  programs_.Forget(view);
  pointerLocks_.Forget(view);
}

void Gestures::Input(WebKitWebView* view, bool click) {
  const auto now = LimitsClock::now();
  windows_.Input(view, now);
  downloads_.Input(view, now);
  programs_.Input(view, now);
  if (click)
    pointerLocks_.Input(view, now);
  else
    pointerLocks_.Forget(view);
}

bool Gestures::TakeForPointerLock(WebKitWebView* view) { return pointerLocks_.Take(view, LimitsClock::now()); }

bool Gestures::TakeForWindow(WebKitWebView* view, bool engineSaysGesture) {
  // Without the engine's word the input stays for what the page does in answer to it.
  return engineSaysGesture && windows_.Take(view, LimitsClock::now());
}

bool Gestures::TakeForDownload(WebKitWebView* view) { return downloads_.Take(view, LimitsClock::now()); }

bool Gestures::TakeForProgram(WebKitWebView* view, bool engineSaysGesture) {
  return engineSaysGesture && programs_.Take(view, LimitsClock::now());
}

void Gestures::GrantDownload(WebKitWebView* view) {
  downloads_.Input(view, LimitsClock::now());
  granted_.insert(view);
}

void Gestures::LoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
  // Whatever the agent does in the page comes after this.
  if (event == WEBKIT_LOAD_COMMITTED && granted_.erase(view) != 0) downloads_.Forget(view);
}

}  // namespace tavro::platform::gtk
