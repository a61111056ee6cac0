// The requests Tavro sends itself when the program ends: the logout's head, the Cookie header
// built from the copy of the site's cookies, and one real exchange with a site on 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cookie_jar.h"
#include "direct_request.h"

namespace tavro::platform::gtk {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A site on 127.0.0.1 that records the head of each request and gives each the same answer, or
// none at all (the connection is held open until the site goes).
class LocalSite {
 public:
  explicit LocalSite(std::string answer) : answer_(std::move(answer)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      ADD_FAILURE() << "cannot listen on 127.0.0.1";
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalSite() {
    stop_ = true;
    thread_.join();
    for (const int connection : held_) close(connection);
    close(listener_);
  }
  LocalSite(const LocalSite&) = delete;
  LocalSite& operator=(const LocalSite&) = delete;

  std::string Address(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
  }
  int Port() const { return port_; }
  int Connections() const { return connections_; }
  std::vector<std::string> Heads() const {
    const std::lock_guard lock(mutex_);
    return heads_;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (poll(&waiting, 1, 20) <= 0) continue;
      const int connection = accept(listener_, nullptr, nullptr);
      if (connection < 0) continue;
      ++connections_;
      std::string head;
      char buffer[1024];
      while (head.find("\r\n\r\n") == std::string::npos) {
        pollfd readable{connection, POLLIN, 0};
        if (poll(&readable, 1, 2000) <= 0) break;
        const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        head.append(buffer, static_cast<std::size_t>(got));
      }
      {
        const std::lock_guard lock(mutex_);
        heads_.push_back(head);
      }
      if (answer_.empty()) {
        held_.push_back(connection);
        continue;
      }
      send(connection, answer_.data(), answer_.size(), MSG_NOSIGNAL);
      close(connection);
    }
  }

  const std::string answer_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_ = false;
  std::atomic<int> connections_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> heads_;
  std::vector<int> held_;
};

constexpr const char* kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

// The request line, then the headers by their names in lower case.
struct Head {
  std::string requestLine;
  std::map<std::string, std::string> headers;

  std::string Header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? "(none)" : it->second;
  }
};

Head Parse(const std::string& text) {
  Head head;
  std::size_t at = text.find("\r\n");
  head.requestLine = text.substr(0, at);
  while (at != std::string::npos && at + 2 < text.size()) {
    const std::size_t end = text.find("\r\n", at + 2);
    const std::string line = text.substr(at + 2, end - at - 2);
    if (const std::size_t colon = line.find(": "); colon != std::string::npos) {
      std::string name = line.substr(0, colon);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      head.headers[name] = line.substr(colon + 2);
    }
    at = end;
  }
  return head;
}

// ---- the logout's head ------------------------------------------------------------------------

TEST(DirectRequestTest, HeadCarriesTheTargetHostCookieAndUserAgent) {
  const std::string text = RequestHead(
      {"http://127.0.0.1:8080/kefu/logout?next=%2F&a=1", "sid=abc123; lang=zh", "Mozilla/5.0 (X11) Tavro"});
  ASSERT_NE(text.size(), 0u);
  EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n") << text;
  const Head head = Parse(text);
  EXPECT_EQ(head.requestLine, "GET /kefu/logout?next=%2F&a=1 HTTP/1.1");
  EXPECT_EQ(head.Header("host"), "127.0.0.1:8080");
  EXPECT_EQ(head.Header("cookie"), "sid=abc123; lang=zh");
  EXPECT_EQ(head.Header("user-agent"), "Mozilla/5.0 (X11) Tavro");

  // A scheme's own port is not written; no path is "/"; an IPv6 host in brackets; no cookie, no
  // Cookie header.
  const Head bare = Parse(RequestHead({"https://kefu.example.com", "", "UA"}));
  EXPECT_EQ(bare.requestLine, "GET / HTTP/1.1");
  EXPECT_EQ(bare.Header("host"), "kefu.example.com");
  EXPECT_EQ(bare.headers.count("cookie"), 0u);
  EXPECT_EQ(Parse(RequestHead({"http://[::1]:9000/out", "", ""})).Header("host"), "[::1]:9000");
  EXPECT_EQ(Parse(RequestHead({"HTTP://127.0.0.1:80/out", "", ""})).Header("host"), "127.0.0.1");
}

TEST(DirectRequestTest, AControlCharacterInTheAddressCookieOrUserAgentRefusesTheRequest) {
  const std::string logout = "http://127.0.0.1:8080/logout";
  for (const std::string& bad :
       std::vector<std::string>{"\r\n", "\n", "\r", std::string(1, '\0'), "\t", "\x7f", "\x1b"}) {
    const std::string shown = "(character " + std::to_string(static_cast<int>(bad[0])) + ")";
    EXPECT_EQ(RequestHead({logout + bad + "X-Injected: 1", "sid=1", "UA"}), "") << "address " << shown;
    EXPECT_EQ(RequestHead({"http://127.0.0.1" + bad + ":8080/logout", "sid=1", "UA"}), "")
        << "host " << shown;
    EXPECT_EQ(RequestHead({logout, "sid=1" + bad + "X-Injected: 1", "UA"}), "") << "cookie " << shown;
    EXPECT_EQ(RequestHead({logout, "sid=1", "UA" + bad + "X-Injected: 1"}), "") << "user agent " << shown;
  }

  // Refused, it is not sent either.
  const LocalSite site(kOk);
  const auto started = Clock::now();
  EXPECT_FALSE(SendDirect({site.Address("/logout"), "sid=1\r\nX-Injected: 1", "UA"}, Clock::now() + 5s));
  EXPECT_FALSE(SendDirect({site.Address("/logout\r\nX-Injected: 1"), "sid=1", "UA"}, Clock::now() + 5s));
  EXPECT_LT(Clock::now() - started, 1s) << "a refused request is not waited for";
  // A sound request after them is the site's first connection: the refused ones never came.
  EXPECT_TRUE(SendDirect({site.Address("/after"), "sid=1", "UA"}, Clock::now() + 10s));
  EXPECT_EQ(site.Connections(), 1);
}

TEST(DirectRequestTest, OnlyHttpAddressesWithAHostAreSent) {
  for (const std::string uri :
       {"", "logout", "/logout", "ftp://127.0.0.1/logout", "file:///etc/passwd", "javascript:alert(1)",
        "mailto:agent@example.com", "http:///logout", "http:/logout", "https://"})
    EXPECT_EQ(RequestHead({uri, "sid=1", "UA"}), "") << uri;
  EXPECT_NE(RequestHead({"https://kefu.example.com/logout", "", ""}), "");
}

// ---- the Cookie header from the copy ------------------------------------------------------------

CookiePtr Cookie(const char* name, const char* domain, const char* path = "/") {
  return CookiePtr(soup_cookie_new(name, "1", domain, path, -1));
}

std::string HeaderFrom(const std::vector<CookiePtr>& cookies, const std::string& uri) {
  CookieHeaders headers;
  headers.Keep(cookies);
  return headers.For(uri);
}

TEST(CookieHeadersTest, DomainCookiesReachSubdomainsAndHostCookiesOnlyTheirHost) {
  std::vector<CookiePtr> cookies;
  cookies.push_back(Cookie("host", "example.com"));
  cookies.push_back(Cookie("domain", ".example.com"));
  cookies.push_back(Cookie("other", "other.com"));
  cookies.push_back(Cookie("ip", "127.0.0.1"));
  // The session's cookie is HttpOnly: a request sent for the page still carries it.
  soup_cookie_set_http_only(cookies.back().get(), TRUE);
  EXPECT_EQ(HeaderFrom(cookies, "http://example.com/logout"), "host=1; domain=1");
  EXPECT_EQ(HeaderFrom(cookies, "http://kefu.example.com/logout"), "domain=1");
  EXPECT_EQ(HeaderFrom(cookies, "http://a.kefu.example.com/logout"), "domain=1");
  EXPECT_EQ(HeaderFrom(cookies, "http://notexample.com/logout"), "");
  EXPECT_EQ(HeaderFrom(cookies, "http://example.com.evil.net/logout"), "");
  EXPECT_EQ(HeaderFrom(cookies, "http://127.0.0.1:29517/logout"), "ip=1");
  EXPECT_EQ(HeaderFrom(cookies, "not an address"), "");
}

TEST(CookieHeadersTest, PathSecureAndExpiryAsABrowserHasThem) {
  std::vector<CookiePtr> cookies;
  cookies.push_back(Cookie("root", "example.com"));
  cookies.push_back(Cookie("kefu", "example.com", "/kefu"));
  cookies.push_back(Cookie("secure", "example.com"));
  soup_cookie_set_secure(cookies.back().get(), TRUE);
  cookies.push_back(Cookie("expired", "example.com"));
  GDateTime* past = g_date_time_new_from_unix_utc(g_get_real_time() / G_USEC_PER_SEC - 3600);
  soup_cookie_set_expires(cookies.back().get(), past);
  g_date_time_unref(past);
  cookies.push_back(Cookie("lasting", "example.com"));
  soup_cookie_set_max_age(cookies.back().get(), 3600);

  // Longer paths first, then in the order the cookies came; joined with "; ".
  EXPECT_EQ(HeaderFrom(cookies, "http://example.com/kefu/logout"), "kefu=1; root=1; lasting=1");
  EXPECT_EQ(HeaderFrom(cookies, "http://example.com/kefu"), "kefu=1; root=1; lasting=1");
  EXPECT_EQ(HeaderFrom(cookies, "http://example.com/kefuadmin"), "root=1; lasting=1");
  EXPECT_EQ(HeaderFrom(cookies, "http://example.com"), "root=1; lasting=1");
  EXPECT_EQ(HeaderFrom(cookies, "https://example.com/kefu/x"), "kefu=1; root=1; secure=1; lasting=1");
}

TEST(CookieHeadersTest, ANewCopyReplacesTheLast) {
  std::vector<CookiePtr> cookies;
  cookies.push_back(Cookie("signedin", "example.com"));
  CookieHeaders headers;
  EXPECT_EQ(headers.For("http://example.com/"), "");
  headers.Keep(cookies);
  EXPECT_EQ(headers.For("http://example.com/"), "signedin=1");
  cookies.clear();
  cookies.push_back(Cookie("guest", "example.com"));
  headers.Keep(cookies);
  EXPECT_EQ(headers.For("http://example.com/"), "guest=1");
}

// ---- one exchange -------------------------------------------------------------------------------

TEST(SendDirectTest, TheSiteGetsTheRequestAsItsHeadSays) {
  const LocalSite site(kOk);
  const DirectRequest request{site.Address("/logout?from=tavro"), "sid=abc123", "Mozilla/5.0 Tavro"};
  EXPECT_TRUE(SendDirect(request, Clock::now() + 10s));
  const auto heads = site.Heads();
  ASSERT_EQ(heads.size(), 1u);
  const Head arrived = Parse(heads[0]);
  EXPECT_EQ(arrived.requestLine, "GET /logout?from=tavro HTTP/1.1");
  EXPECT_EQ(arrived.Header("host"), "127.0.0.1:" + std::to_string(site.Port()));
  EXPECT_EQ(arrived.Header("cookie"), "sid=abc123");
  EXPECT_EQ(arrived.Header("user-agent"), "Mozilla/5.0 Tavro");
  // Every header the head tells arrived as it told it.
  for (const auto& [name, value] : Parse(RequestHead(request)).headers)
    EXPECT_EQ(arrived.Header(name), value);
}

TEST(SendDirectTest, ARedirectIsAnAnswerAndIsNotFollowed) {
  const LocalSite site(
      "HTTP/1.1 302 Found\r\nLocation: /login\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  EXPECT_TRUE(SendDirect({site.Address("/logout"), "sid=abc123", "UA"}, Clock::now() + 10s));
  // The next request is the site's second connection: none went to /login in between.
  EXPECT_TRUE(SendDirect({site.Address("/after"), "sid=abc123", "UA"}, Clock::now() + 10s));
  EXPECT_EQ(site.Connections(), 2);
}

TEST(SendDirectTest, ASiteThatNeverAnswersIsWaitedForUntilTheDeadlineOnly) {
  const LocalSite site("");
  const auto started = Clock::now();
  EXPECT_FALSE(SendDirect({site.Address("/logout"), "sid=1", "UA"}, started + 700ms));
  const auto waited = Clock::now() - started;
  EXPECT_GE(waited, 650ms);
  EXPECT_LT(waited, 4s) << "machines here are slow, but not this slow";
  EXPECT_EQ(site.Heads().size(), 1u) << "the request went before the deadline";

  // A deadline already past sends nothing.
  EXPECT_FALSE(SendDirect({site.Address("/logout"), "sid=1", "UA"}, Clock::now() - 1ms));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(site.Connections(), 1);
}

}  // namespace
}  // namespace tavro::platform::gtk
