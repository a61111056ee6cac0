// Reload, find and zoom keys of the site's views.
#include "browser_keys.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace tavro::platform::gtk {
namespace {

constexpr std::array kZoomLevels = {0.3, 0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
constexpr double kSameLevel = 0.005;  // levels this close are one (the engine may round them)

enum class Command { None, Reload, ReloadFromSite, Find, Print, ZoomIn, ZoomOut, ZoomReset };

// Shift matters only where it makes another key: Ctrl+plus is Ctrl+Shift+equal on many layouts.
Command CommandOf(const GdkEventKey* event) {
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask();
  const bool shift = (mods & GDK_SHIFT_MASK) != 0;
  const guint keyval = gdk_keyval_to_lower(event->keyval);
  if (keyval == GDK_KEY_F5) {
    if (mods == 0) return Command::Reload;
    if (mods == GDK_SHIFT_MASK || mods == GDK_CONTROL_MASK) return Command::ReloadFromSite;
    return Command::None;
  }
  if ((mods & ~GDK_SHIFT_MASK) != GDK_CONTROL_MASK) return Command::None;
  switch (keyval) {
    case GDK_KEY_r:
      return shift ? Command::ReloadFromSite : Command::Reload;
    case GDK_KEY_f:
      return shift ? Command::None : Command::Find;
    case GDK_KEY_p:
      return shift ? Command::None : Command::Print;
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_KP_Add:
      return Command::ZoomIn;
    case GDK_KEY_minus:
    case GDK_KEY_underscore:
    case GDK_KEY_KP_Subtract:
      return Command::ZoomOut;
    case GDK_KEY_0:
    case GDK_KEY_KP_0:
      return shift ? Command::None : Command::ZoomReset;
    default:
      return Command::None;
  }
}

// Reload and zoom: what the view does for them wherever the key was typed. The zoom steps are
// taken relative to `normal`, the level that is 100 %.
bool RunOnView(WebKitWebView* view, Command command, double normal) {
  switch (command) {
    case Command::Reload:
      webkit_web_view_reload(view);
      return true;
    case Command::ReloadFromSite:
      webkit_web_view_reload_bypass_cache(view);
      return true;
    case Command::ZoomIn:
    case Command::ZoomOut:
      webkit_web_view_set_zoom_level(
          view, normal * ZoomStep(webkit_web_view_get_zoom_level(view) / normal, command == Command::ZoomIn));
      return true;
    case Command::ZoomReset:
      webkit_web_view_set_zoom_level(view, normal);
      return true;
    default:
      return false;
  }
}

}  // namespace

double ZoomStep(double current, bool in) {
  if (in) {
    for (const double level : kZoomLevels)
      if (level > current + kSameLevel) return level;
    return kZoomLevels.back();
  }
  for (auto it = kZoomLevels.rbegin(); it != kZoomLevels.rend(); ++it)
    if (*it < current - kSameLevel) return *it;
  return kZoomLevels.front();
}

BrowserKeys::~BrowserKeys() { connections_.Clear(); }

void BrowserKeys::Attach(const ShownView& shown) {
  if (!shown.site) return;
  WebKitWebView* view = shown.view;
  // The view comes at its window's scale: that is its 100 %.
  const double shownAt = webkit_web_view_get_zoom_level(view);
  views_[view] = ViewState{shown.window, 0, shownAt > 0 ? shownAt : 1.0};
  // Connected before the engine's own handlers run (they run last), so the page never sees them.
  for (const char* signal : {"key-press-event", "key-release-event"})
    connections_.Add(view, Connect(view, signal,
                                   +[](WebKitWebView* v, GdkEventKey* event, gpointer self) -> gboolean {
                                     return static_cast<BrowserKeys*>(self)->KeyEvent(v, event);
                                   },
                                   this));
  connections_.Add(view, Connect(view, "scroll-event",
                                 +[](WebKitWebView* v, GdkEventScroll* event, gpointer self) -> gboolean {
                                   return static_cast<BrowserKeys*>(self)->Scrolled(v, event);
                                 },
                                 this));
}

void BrowserKeys::Detach(WebKitWebView* view) {
  connections_.Drop(view);
  const auto it = views_.find(view);
  if (it == views_.end()) return;
  Gtk::Window* window = it->second.window;
  views_.erase(it);
  const auto bar = bars_.find(window);
  if (bar == bars_.end()) return;
  bar->second->Forget(view);
  // The window's last page went: so does its bar, while the window still holds it.
  for (const auto& [other, state] : views_)
    if (state.window == window) return;
  bars_.erase(bar);
}

bool BrowserKeys::KeyEvent(WebKitWebView* view, GdkEventKey* event) {
  const Command command = event->type == GDK_KEY_PRESS ? CommandOf(event) : Command::None;
  if (command == Command::Find) {
    Find(view);
    return true;
  }
  if (command == Command::Print) {
    printing_.PrintByAgent(view);
    return true;
  }
  if (RunOnView(view, command, NormalZoom(view))) return true;
  toEngine_.Add(event);
  return false;
}

bool BrowserKeys::BarKey(WebKitWebView* view, GdkEventKey* event) {
  // Ctrl of Ctrl+F, say: the page answers about it after the bar took the focus.
  if (toEngine_.Contains(event)) {
    gtk_widget_event(GTK_WIDGET(view), reinterpret_cast<GdkEvent*>(event));
    return true;
  }
  if (event->type != GDK_KEY_PRESS) return false;
  const Command command = CommandOf(event);
  if (command == Command::Print) {
    printing_.PrintByAgent(view);
    return true;
  }
  return RunOnView(view, command, NormalZoom(view));
}

bool BrowserKeys::Scrolled(WebKitWebView* view, GdkEventScroll* event) {
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask();
  if (mods != GDK_CONTROL_MASK) return false;
  const auto it = views_.find(view);
  if (it == views_.end()) return false;
  double& scrolled = it->second.scrolled;
  switch (event->direction) {
    case GDK_SCROLL_UP:
      Zoom(view, true);
      break;
    case GDK_SCROLL_DOWN:
      Zoom(view, false);
      break;
    case GDK_SCROLL_SMOOTH:
      // A wheel's notch is 1; a touchpad sends fractions of it.
      if ((scrolled < 0) != (event->delta_y < 0)) scrolled = 0;
      scrolled += event->delta_y;
      if (const int steps = static_cast<int>(std::trunc(scrolled)); steps != 0) {
        scrolled -= steps;
        for (int i = 0; i < std::abs(steps); ++i) Zoom(view, steps < 0);
      }
      break;
    default:
      break;
  }
  return true;  // Ctrl+wheel zooms Tavro's view; the page does not scroll or zoom by itself
}

void BrowserKeys::Zoom(WebKitWebView* view, bool in) {
  RunOnView(view, in ? Command::ZoomIn : Command::ZoomOut, NormalZoom(view));
}

double BrowserKeys::NormalZoom(WebKitWebView* view) const {
  const auto it = views_.find(view);
  return it == views_.end() ? 1.0 : it->second.normal;
}

void BrowserKeys::Find(WebKitWebView* view) {
  const auto it = views_.find(view);
  if (it == views_.end()) return;
  Gtk::Window* window = it->second.window;
  auto& bar = bars_[window];
  if (!bar) {
    auto* host = dynamic_cast<FindBarHost*>(window);
    if (!host) {
      bars_.erase(window);
      return;
    }
    bar = std::make_unique<FindBar>(*host);
    bar->otherKey = [this](WebKitWebView* v, GdkEventKey* event) { return BarKey(v, event); };
  }
  bar->Open(view);
}

}  // namespace tavro::platform::gtk
