// A plain HTTP/1.1 GET over GIO's socket client (TLS for https, the desktop's proxy settings),
// run on a thread of its own so that the caller waits no longer than its deadline.
#include "direct_request.h"

#include <gio/gio.h>

#include <future>
#include <memory>
#include <thread>

#include "owners.h"

namespace tavro::platform::gtk {
namespace {

// A request target or header value that cannot end its line or field early.
bool Printable(const std::string& text) {
  for (const unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

bool Exchange(const DirectRequest& request, const std::string& head, int timeoutSeconds) {
  const auto client = Adopt(g_socket_client_new());
  g_socket_client_set_timeout(client.get(), static_cast<guint>(timeoutSeconds));
  GUri* parsed = g_uri_parse(request.uri.c_str(), G_URI_FLAGS_ENCODED, nullptr);
  if (!parsed) return false;
  const bool tls = g_ascii_strcasecmp(g_uri_get_scheme(parsed), "https") == 0;
  g_uri_unref(parsed);
  // A certificate that does not check out fails the request, as it fails the engine's loads.
  g_socket_client_set_tls(client.get(), tls);
  GError* raw = nullptr;
  const auto connection =
      Adopt(g_socket_client_connect_to_uri(client.get(), request.uri.c_str(), tls ? 443 : 80, nullptr, &raw));
  const GErrorPtr connectError(raw);
  if (!connection) return false;
  GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection.get()));
  gsize written = 0;
  if (!g_output_stream_write_all(out, head.data(), head.size(), &written, nullptr, nullptr)) return false;
  // The first bytes of the answer: the site has taken the request in.
  char answer[64];
  GInputStream* in = g_io_stream_get_input_stream(G_IO_STREAM(connection.get()));
  return g_input_stream_read(in, answer, sizeof answer, nullptr, nullptr) > 0;
}

}  // namespace

std::string RequestHead(const DirectRequest& request) {
  GUri* parsed = g_uri_parse(request.uri.c_str(), G_URI_FLAGS_ENCODED, nullptr);
  if (!parsed) return {};
  const char* scheme = g_uri_get_scheme(parsed);
  const char* host = g_uri_get_host(parsed);
  const bool web = scheme && (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0);
  std::string head;
  if (web && host && *host) {
    const std::string path = *g_uri_get_path(parsed) ? g_uri_get_path(parsed) : "/";
    const char* query = g_uri_get_query(parsed);
    const std::string target = path + (query ? "?" + std::string(query) : "");
    std::string authority = std::string(host).find(':') != std::string::npos ? "[" + std::string(host) + "]" : host;
    if (g_uri_get_port(parsed) > 0) authority += ":" + std::to_string(g_uri_get_port(parsed));
    if (Printable(target) && target.find(' ') == std::string::npos && Printable(authority)) {
      head = "GET " + target + " HTTP/1.1\r\nHost: " + authority + "\r\n";
      if (!request.userAgent.empty() && Printable(request.userAgent))
        head += "User-Agent: " + request.userAgent + "\r\n";
      if (!request.cookieHeader.empty() && Printable(request.cookieHeader))
        head += "Cookie: " + request.cookieHeader + "\r\n";
      head += "Accept: */*\r\nConnection: close\r\n\r\n";
    }
  }
  g_uri_unref(parsed);
  return head;
}

bool SendDirect(const DirectRequest& request, std::chrono::steady_clock::time_point deadline) {
  const std::string head = RequestHead(request);
  if (head.empty()) return false;
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::milliseconds(0)) return false;
  const int timeoutSeconds =
      static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(left).count()) + 1;
  // The thread owns what it uses: it may outlive this call when the deadline passes first.
  auto done = std::make_shared<std::promise<bool>>();
  std::future<bool> answered = done->get_future();
  std::thread([request, head, timeoutSeconds, done] { done->set_value(Exchange(request, head, timeoutSeconds)); })
      .detach();
  return answered.wait_until(deadline) == std::future_status::ready && answered.get();
}

}  // namespace tavro::platform::gtk
