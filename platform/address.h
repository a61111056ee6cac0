// How the browser views read an address handed to them, as a browser's address bar would.
#pragma once

#include <string>

namespace tavro::platform {

// No surrounding white space (a leading byte-order mark counts as such), no line breaks or
// tabs, other control characters and spaces escaped, and "http://" in front of an address
// without a scheme (a bare host).
std::string FixUpAddress(const std::string& url);

}  // namespace tavro::platform
