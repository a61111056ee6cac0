// The GET over libsoup (TLS for https with the certificate checked, the desktop's proxy settings),
// sent on a thread and a main context of its own: it needs no toolkit, so it still goes when the
// display is gone, and the caller waits no longer than its deadline.
#include "direct_request.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <future>
#include <memory>
#include <string_view>
#include <thread>
#include <utility>

#include "owners.h"
#include "site_origin.h"

namespace tavro::platform::gtk {
namespace {

// Text that cannot end a request line or a header field early.
bool Printable(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

// The GET for the request; none when it is refused.
GObjectPtr<SoupMessage> MessageFor(const DirectRequest& request) {
  // A control character could end a line of the request early; in the address GLib would write it
  // as %XX where the engine drops a tab or a line end: no request the page would have sent.
  if (!Printable(request.uri) || !Printable(request.cookieHeader) || !Printable(request.userAgent)) return {};
  const GUriPtr uri(g_uri_parse(request.uri.c_str(), static_cast<GUriFlags>(SOUP_HTTP_URI_FLAGS), nullptr));
  if (!uri || !IsWebScheme(g_uri_get_scheme(uri.get()))) return {};
  const char* host = g_uri_get_host(uri.get());
  if (!host || !*host) return {};
  auto message = Adopt(soup_message_new_from_uri(SOUP_METHOD_GET, uri.get()));
  if (!message) return {};
  // The answer is what the caller waits for; and the cookie header, set here by hand, must not
  // go on to wherever a redirect points.
  soup_message_add_flags(message.get(), SOUP_MESSAGE_NO_REDIRECT);
  SoupMessageHeaders* headers = soup_message_get_request_headers(message.get());
  if (!request.userAgent.empty())
    soup_message_headers_replace(headers, "User-Agent", request.userAgent.c_str());
  if (!request.cookieHeader.empty())
    soup_message_headers_replace(headers, "Cookie", request.cookieHeader.c_str());
  // No "Connection: close": HTTP/2 forbids it, and the connection ends with the session anyway.
  soup_message_headers_replace(headers, "Accept", "*/*");
  return message;
}

// A main context of the calling thread's own while this lives: what the HTTP library has to run
// while it sends is run there, never on the main thread's loop.
class ThreadContext {
 public:
  ThreadContext() : context_(g_main_context_new()) { g_main_context_push_thread_default(context_); }
  ~ThreadContext() {
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }
  ThreadContext(const ThreadContext&) = delete;
  ThreadContext& operator=(const ThreadContext&) = delete;

 private:
  GMainContext* context_;
};

bool Exchange(SoupMessage* message, guint timeoutSeconds) {
  const ThreadContext context;
  // The session's proxy resolver and TLS database are the desktop's defaults; a certificate that
  // does not check out fails the request, as it fails the engine's loads.
  const auto session = Adopt(soup_session_new_with_options("timeout", timeoutSeconds, nullptr));
  GError* raw = nullptr;
  // The answer's head is back: the site has taken the request in. Its body is not waited for.
  const auto body = Adopt(soup_session_send(session.get(), message, nullptr, &raw));
  const GErrorPtr error(raw);
  return body != nullptr;
}

}  // namespace

std::string RequestHead(const DirectRequest& request) {
  const auto message = MessageFor(request);
  if (!message) return {};
  GUri* uri = soup_message_get_uri(message.get());
  const char* query = g_uri_get_query(uri);
  std::string head = std::string(soup_message_get_method(message.get())) + " " + g_uri_get_path(uri) +
                     (query ? "?" + std::string(query) : "") + " HTTP/1.1\r\n";
  const std::string host = g_uri_get_host(uri);
  std::string authority = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  const int defaultPort = g_ascii_strcasecmp(g_uri_get_scheme(uri), "https") == 0 ? 443 : 80;
  if (g_uri_get_port(uri) > 0 && g_uri_get_port(uri) != defaultPort)
    authority += ":" + std::to_string(g_uri_get_port(uri));
  head += "Host: " + authority + "\r\n";
  SoupMessageHeadersIter headers;
  soup_message_headers_iter_init(&headers, soup_message_get_request_headers(message.get()));
  const char* name = nullptr;
  const char* value = nullptr;
  while (soup_message_headers_iter_next(&headers, &name, &value))
    head += std::string(name) + ": " + value + "\r\n";
  return head + "\r\n";
}

bool SendDirect(const DirectRequest& request, std::chrono::steady_clock::time_point deadline) {
  auto message = MessageFor(request);
  if (!message) return false;
  const auto left = deadline - std::chrono::steady_clock::now();
  if (left <= std::chrono::milliseconds(0)) return false;
  const auto timeoutSeconds =
      static_cast<guint>(std::chrono::duration_cast<std::chrono::seconds>(left).count()) + 1;
  // The thread owns what it uses: it may outlive this call when the deadline passes first.
  auto done = std::make_shared<std::promise<bool>>();
  std::future<bool> answered = done->get_future();
  std::thread([message = std::move(message), timeoutSeconds, done] {
    done->set_value(Exchange(message.get(), timeoutSeconds));
  }).detach();
  return answered.wait_until(deadline) == std::future_status::ready && answered.get();
}

}  // namespace tavro::platform::gtk
