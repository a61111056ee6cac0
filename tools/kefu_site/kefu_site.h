// The demo customer-service web site: agent login, agent console, logout, an advertisement page
// and a handful of lab pages that exercise the embedding browser. Serves 127.0.0.1 only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace kefu {

class Chat;

inline constexpr std::string_view kSessionCookie = "KEFUSESSID";
// "Remember me": the agent's name for 30 days, filled in on the login page.
inline constexpr std::string_view kRememberCookie = "kefu_remember";
inline constexpr std::string_view kDemoUser = "demo";
inline constexpr std::string_view kDemoPassword = "demo123";

// True for "QQ" followed by exactly seven digits.
bool IsValidMarker(std::string_view marker);

// A JavaScript string literal (with its quotes) of the text that is also safe inside an HTML
// <script> element: quotes, backslashes, '<', '>', '&', control characters and the JS line
// separators are escaped; malformed UTF-8 becomes U+FFFD.
std::string JsString(std::string_view text);

// Text escaped for HTML element content and quoted attribute values; malformed UTF-8 (and NUL)
// becomes U+FFFD.
std::string HtmlEscape(std::string_view text);

// A copy fit for a one-line log record: control characters (and DEL) become '?'.
std::string LogSafe(std::string_view text);

// The value of the named cookie in a Cookie header, or empty when it is not there.
std::string CookieValue(std::string_view cookie_header, std::string_view name);

// Fields of an application/x-www-form-urlencoded body; the first of repeated names wins.
std::map<std::string, std::string> ParseForm(std::string_view body);

// Percent-decoding with '+' as space; malformed escapes are kept as they are.
std::string UrlDecode(std::string_view text);

// Signed-in agents, in memory only. Beyond the capacity the oldest session is forgotten.
class SessionStore {
 public:
  explicit SessionStore(std::size_t capacity);
  // A new session with a random 32-hex-digit id. Throws std::runtime_error when the system
  // cannot provide random bytes.
  std::string Create();
  bool Valid(const std::string& id) const;
  // Forgets the session; false when it did not exist.
  bool Remove(const std::string& id);
  std::size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::size_t capacity_;
  std::list<std::string> order_;  // oldest first
  std::unordered_map<std::string, std::list<std::string>::iterator> index_;
};

struct SiteOptions {
  std::string marker = "QQ0000000";  // must satisfy IsValidMarker
  std::string log_path;               // empty: no request log
  int auto_login_ms = -1;             // >= 0: the login page submits the demo account itself
  std::size_t max_sessions = 10000;
  int hang_seconds = 30;              // how long /kefu/lab/hang.php keeps its answer back
};

class Site {
 public:
  // Throws std::invalid_argument for a bad marker and std::runtime_error when the request log
  // cannot be opened.
  explicit Site(SiteOptions options);
  ~Site();  // stops the server
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  // Binds host:port (0 picks a free port) and serves on a thread of its own.
  // Returns the bound port, or -1 when binding failed or the site was already started.
  int Start(int port, const std::string& host = "127.0.0.1");
  // Stops serving and waits for the server thread; pending slow answers are cut short.
  void Stop();
  // True while the server thread runs.
  bool Serving() const;

  SessionStore& Sessions() { return sessions_; }

 private:
  void Register();
  void RegisterHostileLabPages();
  void LogRequest(const httplib::Request& req);
  std::string SessionOf(const httplib::Request& req) const;  // cookie value or empty
  bool HasValidSession(const httplib::Request& req) const;

  void LoginPage(const httplib::Request& req, httplib::Response& res);
  // The agent the "remember me" cookie names, when it names one.
  std::string Remembered(const httplib::Request& req) const;
  void LoginPost(const httplib::Request& req, httplib::Response& res);
  void Console(const httplib::Request& req, httplib::Response& res);
  void Ajax(const httplib::Request& req, httplib::Response& res);
  void Hang(const httplib::Request& req, httplib::Response& res);

  SiteOptions options_;
  SessionStore sessions_;
  std::unique_ptr<Chat> chat_;
  std::unique_ptr<httplib::Server> server_;

  std::mutex log_mutex_;
  std::FILE* log_ = nullptr;

  std::mutex stop_mutex_;  // serialises Start and Stop
  std::mutex wait_mutex_;
  std::condition_variable wait_cv_;
  bool stopping_ = false;
  std::atomic<bool> serving_{false};
  std::thread thread_;
};

}  // namespace kefu
