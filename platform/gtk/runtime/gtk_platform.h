// Entry points of the GTK/WebKitGTK implementation; callers see only toolkit-free interfaces.
#pragma once

#include <memory>
#include <string>

#include "command_line.h"
#include "platform/forms.h"
#include "platform/user32.h"
#include "window_system.h"

namespace tavro::platform::gtk {

// Starts the toolkit on X11 (XWayland under Wayland). `appTitle` is the title message boxes carry.
// Fails with a message on stderr and exit code 1 when no display can be opened.
std::unique_ptr<Runtime> CreateRuntime(int& argc, char**& argv, const std::string& appTitle);

// The program has started: the first milestone of the start timeline (see startup_milestones.h).
void ProgramStarted();

}  // namespace tavro::platform::gtk
