// What the toolkit itself would leave on the desktop: the recent-files list (a saved download's
// path in recently-used.xbel) and the file chooser's own settings (written through dconf). Tavro
// keeps neither; the web processes still read the desktop's settings (its proxies).
#pragma once

namespace tavro::platform::gtk {

// Before the toolkit starts: the program's own settings stay in memory.
void KeepOwnSettingsInMemory();
// Once the toolkit has started: no recent files.
void KeepNoRecentFiles();

}  // namespace tavro::platform::gtk
