// Which GL driver Tavro's processes load: none, while the views draw in software.
#pragma once

#include <string>

namespace tavro::platform::gtk {

// Points libglvnd at Tavro's EGL vendor of displays without GL (platform/no_gl), when it is
// installed with the program and the user chose no EGL vendors of their own. The GL driver (Mesa
// and its LLVM, some 40 MB over the UI and web processes) then stays out of every process; WebGL
// and GL video sinks are unavailable. Called before the toolkit starts.
void KeepGlDriverOut();

// The folder of Tavro's own EGL vendor when the processes use it, else empty: the web processes'
// sandbox must show it.
std::string OwnGlVendorFolder();

}  // namespace tavro::platform::gtk
