// A request sent by Tavro itself, without the browser engine, for the moment the program ends and
// the engine cannot be waited for (the desktop session ends, the display is gone, an error ends
// the program): the site's logout must still reach the site.
#pragma once

#include <chrono>
#include <string>

namespace tavro::platform::gtk {

struct DirectRequest {
  std::string uri;  // http(s)
  std::string cookieHeader;
  std::string userAgent;
};

// The request line and the headers Tavro gives the GET for the request (the HTTP library adds
// its own, such as Accept-Encoding); empty when the request is refused: an address that is no
// http(s) address with a host, or a control character in the address, the cookie header or the
// user agent, which could end a line of the request early.
std::string RequestHead(const DirectRequest& request);

// Sends the GET and waits until the answer's status line and headers are back, or the deadline
// passes (then the request is left to finish while the program goes on ending). True when an
// answer came. A redirect is not followed.
bool SendDirect(const DirectRequest& request, std::chrono::steady_clock::time_point deadline);

}  // namespace tavro::platform::gtk
