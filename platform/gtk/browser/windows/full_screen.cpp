// Which views' pages may take their window full screen.
#include "full_screen.h"

namespace tavro::platform::gtk {

void FullScreen::Attach(const ShownView& shown) {
  WebKitWebView* view = shown.view;
  const bool popup = shown.site && !shown.main;
  states_[view] = FullScreenState{popup};
  // The main window's pages (the console, the advertisement) and outside pages get no full-screen
  // interface at all: their requests fail at once and the page can tell, instead of an element
  // filling the view with nothing but the page itself to leave it by.
  if (!popup) webkit_settings_set_enable_fullscreen(webkit_web_view_get_settings(view), FALSE);
  connections_.Add(view, Connect(
                             view, "enter-fullscreen",
                             +[](WebKitWebView* v, gpointer self) -> gboolean {
                               return static_cast<FullScreen*>(self)->Enter(v);
                             },
                             this));
}

bool FullScreen::Enter(WebKitWebView* view) {
  const FullScreenState* state = StateOf(view);
  // The console's window is the agent's all day, at the place and size the agent keeps it; the
  // advertisement and other origins' pages get no window of their own to fill the screen with. A
  // pop-up window that went to another origin keeps its size: its page fills only the view.
  return closed_ || !state || !state->popup || !views_.OfTheSite(UriOf(view));
}

}  // namespace tavro::platform::gtk
