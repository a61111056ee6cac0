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

// The request line and headers of a GET for the request; empty when the address is no http(s)
// address with a host.
std::string RequestHead(const DirectRequest& request);

// Sends the GET and waits until the answer's status line is back, or the deadline passes (then the
// request is left to finish while the program goes on ending). True when an answer came.
bool SendDirect(const DirectRequest& request, std::chrono::steady_clock::time_point deadline);

}  // namespace tavro::platform::gtk
