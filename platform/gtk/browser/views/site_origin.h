// Web origins as the browser engine reads them, and the site's origin: that of the pages the
// agent works in, the one origin that may notify and open windows of Tavro.
#pragma once

#include <string>

namespace tavro::platform::gtk {

// True when both addresses are http(s) addresses of one origin (scheme, host and port, with a
// scheme's default port written or not).
bool SameWebOrigin(const std::string& a, const std::string& b);

// "scheme://host[:port]" of an http(s) address, as location.origin reads it; empty otherwise.
std::string WebOriginOf(const std::string& uri);

bool IsWebScheme(const char* scheme);

// The address is one a browser can open: http or https, a host that is a name or an address (no
// space or other escaped character in it), a port that is a number.
bool OpenableWebAddress(const std::string& uri);

}  // namespace tavro::platform::gtk
