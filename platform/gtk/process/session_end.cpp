// Signal sources on GLib's main loop and the X connection's fatal-error handler.
#include "session_end.h"

#include <glib-unix.h>
#include <signal.h>
#include <unistd.h>

#include <utility>

#include "platform/forms.h"

// Xlib last: its macros clash with the C++ headers above.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace tavro::platform::gtk {
namespace {

// The one handler: Xlib's error handler and the signals carry no data of their own.
std::function<void(int, bool)>& EndHandler() {
  static std::function<void(int, bool)> end;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)
  return end;
}

gboolean OnSignal(gpointer number) {
  const int signal = GPOINTER_TO_INT(number);
  if (auto& end = EndHandler()) end(signal == SIGINT ? vbAppTaskManager : vbAppWindows, true);
  // Ended as the signal always ended the program: the parent sees the same status.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
  return G_SOURCE_REMOVE;
}

int OnDisplayLost(Display*) {
  if (auto& end = EndHandler()) end(vbAppWindows, false);
  // What the toolkit's own handler does: the X connection cannot be used again.
  ::_exit(1);
}

}  // namespace

void WatchSessionEnd(std::function<void(int unloadMode, bool displayAlive)> end) {
  EndHandler() = std::move(end);
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) g_unix_signal_add(signal, OnSignal, GINT_TO_POINTER(signal));
  if (GdkDisplay* display = gdk_display_get_default(); display && GDK_IS_X11_DISPLAY(display)) XSetIOErrorHandler(OnDisplayLost);
}

}  // namespace tavro::platform::gtk
