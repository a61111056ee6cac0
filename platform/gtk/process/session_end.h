// The ways the program is ended from outside: the desktop session ending (SIGTERM, SIGHUP), an
// interrupt (SIGINT), the display going away. Each is handed to the runtime once, which logs the
// agent out, and then the program ends as it always did for that cause.
#pragma once

#include <functional>

namespace tavro::platform::gtk {

// `end(unloadMode, displayAlive)` runs on the main loop for a signal and inside the display's
// error handler when the display is gone (then nothing of the toolkit may be used). Afterwards a
// signal ends the program with its default action, the lost display with exit code 1.
void WatchSessionEnd(std::function<void(int unloadMode, bool displayAlive)> end);

}  // namespace tavro::platform::gtk
