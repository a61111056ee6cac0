// The desktop's own browser, where pages that are not the site's go when the agent asks for them.
#pragma once

namespace tavro::platform::gtk {

// Hands a web address to the desktop's default browser; anything but http(s) is refused.
void OpenOnDesktop(const char* uri);

}  // namespace tavro::platform::gtk
