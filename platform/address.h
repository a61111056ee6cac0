// How the browser views read an address handed to them, as a browser's address bar would.
#pragma once

#include <optional>
#include <string>

namespace tavro::platform {

// No surrounding white space (a leading byte-order mark counts as such), no line breaks or
// tabs, other control characters and spaces escaped, and "http://" in front of an address
// without a scheme (a bare host). Nothing when the text names no host: it is empty, it begins
// with "/" (a path alone), or the host part after the scheme is empty. A browser given such a
// text would either load nothing or make a host up out of the path ("http:///kefu" reads as
// host "kefu"); Tavro never asks for a host the agent did not name.
std::optional<std::string> FixUpAddress(const std::string& url);

}  // namespace tavro::platform
