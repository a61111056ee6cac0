#include "kefu_site.h"

#include <glib.h>
#include <httplib.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <stdexcept>

#include "chat.h"
#include "input_pages.h"
#include "lab_programs.h"
#include "lab_printing.h"
#include "lab_devices.h"
#include "pages.h"

namespace kefu {
namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr std::size_t kMaxLoggedSession = 128;

struct GFree {
  void operator()(gchar* memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

void NoStore(httplib::Response& res) { res.set_header("Cache-Control", "no-store"); }

void SendHtml(httplib::Response& res, int status, std::string body) {
  res.status = status;
  NoStore(res);
  res.set_content(std::move(body), kHtml);
}

void Redirect(httplib::Response& res, const std::string& to) {
  res.status = 302;
  NoStore(res);
  res.set_header("Location", to);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when it is malformed.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return 1;
  std::size_t len;
  unsigned lo = 0x80, hi = 0xBF;  // range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;  // overlong
    if (b0 == 0xED) hi = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;  // overlong
    if (b0 == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + len > text.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < len; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return len;
}

}  // namespace

bool IsValidMarker(std::string_view marker) {
  if (marker.size() != 9 || marker.substr(0, 2) != "QQ") return false;
  for (char c : marker.substr(2))
    if (c < '0' || c > '9') return false;
  return true;
}

std::string JsString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t len = Utf8Length(text, i);
      if (len == 0) {
        out += "\\ufffd";
        ++i;
        continue;
      }
      const std::string_view seq = text.substr(i, len);
      if (seq == "\xE2\x80\xA8") out += "\\u2028";
      else if (seq == "\xE2\x80\xA9") out += "\\u2029";
      else out.append(seq);
      i += len;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '<': case '>': case '&': case '\'': case 0x7F:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

std::string HtmlEscape(std::string_view text) {
  if (text.empty()) return {};
  // GLib's escaping takes valid UTF-8 only, and what a client sends (a cookie, a query) need not be.
  const GCharPtr valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
  const GCharPtr escaped(g_markup_escape_text(valid.get(), -1));
  return escaped.get();
}

std::string LogSafe(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

std::string CookieValue(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const std::size_t end = header.find(';');
    std::string_view pair = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 1);
    while (!pair.empty() && (pair.front() == ' ' || pair.front() == '\t')) pair.remove_prefix(1);
    const std::size_t eq = pair.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = pair.substr(0, eq);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    if (key != name) continue;
    std::string_view value = pair.substr(eq + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return {};
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::map<std::string, std::string> ParseForm(std::string_view body) {
  std::map<std::string, std::string> fields;
  while (!body.empty()) {
    const std::size_t end = body.find('&');
    const std::string_view pair = body.substr(0, end);
    body = end == std::string_view::npos ? std::string_view{} : body.substr(end + 1);
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    const std::string key = UrlDecode(pair.substr(0, eq));
    const std::string value = eq == std::string_view::npos ? std::string() : UrlDecode(pair.substr(eq + 1));
    fields.emplace(key, value);  // keeps the first
  }
  return fields;
}

// ---- sessions -----------------------------------------------------------------------------

SessionStore::SessionStore(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

std::string SessionStore::Create() {
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("no random bytes for a session id");
    }
    got += static_cast<std::size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (unsigned char b : bytes) {
    id += kHex[b >> 4];
    id += kHex[b & 0xF];
  }
  std::lock_guard lock(mutex_);
  if (index_.count(id)) throw std::runtime_error("session id collision");
  while (index_.size() >= capacity_) {
    index_.erase(order_.front());
    order_.pop_front();
  }
  order_.push_back(id);
  index_.emplace(id, std::prev(order_.end()));
  return id;
}

bool SessionStore::Valid(const std::string& id) const {
  if (id.empty()) return false;
  std::lock_guard lock(mutex_);
  return index_.count(id) != 0;
}

bool SessionStore::Remove(const std::string& id) {
  std::lock_guard lock(mutex_);
  const auto it = index_.find(id);
  if (it == index_.end()) return false;
  order_.erase(it->second);
  index_.erase(it);
  return true;
}

std::size_t SessionStore::Size() const {
  std::lock_guard lock(mutex_);
  return index_.size();
}

// ---- the site -----------------------------------------------------------------------------

Site::Site(SiteOptions options)
    : options_(std::move(options)),
      sessions_(options_.max_sessions),
      chat_(std::make_unique<Chat>(options_.marker)),
      server_(std::make_unique<httplib::Server>()) {
  if (!IsValidMarker(options_.marker))
    throw std::invalid_argument("the title marker must be \"QQ\" followed by exactly seven digits");
  if (!options_.log_path.empty()) {
    log_ = std::fopen(options_.log_path.c_str(), "ae");
    if (!log_) throw std::runtime_error("cannot open the request log " + options_.log_path);
  }
  Register();
}

Site::~Site() {
  Stop();
  if (log_) std::fclose(log_);
}

int Site::Start(int port, const std::string& host) {
  std::lock_guard lock(stop_mutex_);
  if (thread_.joinable() || stopping_ || port < 0 || port > 65535) return -1;
  int bound = -1;
  // Address reuse only: sharing the port with a second server would split its requests silently.
  server_->set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    // Answers leave at once (accepted sockets inherit it): a body written after its headers must
    // not wait up to 40 ms for the client's delayed acknowledgement.
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  });
  if (port == 0) bound = server_->bind_to_any_port(host);
  else if (server_->bind_to_port(host, port)) bound = port;
  if (bound <= 0) return -1;
  serving_ = true;
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    serving_ = false;
  });
  return bound;
}

void Site::Stop() {
  std::lock_guard lock(stop_mutex_);
  {
    std::lock_guard wait_lock(wait_mutex_);
    stopping_ = true;
  }
  wait_cv_.notify_all();
  chat_->Stop();
  if (!thread_.joinable()) return;
  // The server only honours stop() once its loop runs; the thread may not have got there yet.
  while (serving_ && !server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (server_->is_running()) server_->stop();
  thread_.join();
}

bool Site::Serving() const { return serving_; }

std::string Site::SessionOf(const httplib::Request& req) const {
  const std::size_t count = req.get_header_value_count("Cookie");
  for (std::size_t i = 0; i < count; ++i) {
    std::string id = CookieValue(req.get_header_value("Cookie", i), kSessionCookie);
    if (!id.empty()) return id;
  }
  return {};
}

bool Site::HasValidSession(const httplib::Request& req) const { return sessions_.Valid(SessionOf(req)); }

void Site::LogRequest(const httplib::Request& req) {
  if (!log_) return;
  std::string session = SessionOf(req);
  if (session.size() > kMaxLoggedSession) session.resize(kMaxLoggedSession);
  for (char& c : session)
    if (c == ' ') c = '?';
  const std::string& target = req.target.empty() ? req.path : req.target;
  const std::string line = LogSafe(req.method) + " " + LogSafe(target) + " " +
                           (session.empty() ? std::string("-") : LogSafe(session)) + "\n";
  std::lock_guard lock(log_mutex_);
  std::fputs(line.c_str(), log_);
  std::fflush(log_);
}

void Site::Register() {
  httplib::Server& svr = *server_;
  // Slow answers (hang.php) must not starve the rest; browsers keep several connections open.
  svr.new_task_queue = [] { return new httplib::ThreadPool(32); };
  svr.set_keep_alive_timeout(2);
  svr.set_read_timeout(10);
  svr.set_payload_max_length(64 * 1024);

  // Logged before routing so a line is on disk before its answer leaves.
  svr.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    LogRequest(req);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  svr.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    NoStore(res);
    res.set_content(pages::Error(res.status), kHtml);
    return httplib::Server::HandlerResponse::Handled;
  }));
  svr.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    SendHtml(res, 500, pages::Error(500));
  });

  svr.Get("/kefu/login\\.php", [this](const auto& req, auto& res) { LoginPage(req, res); });
  svr.Post("/kefu/login\\.php", [this](const auto& req, auto& res) { LoginPost(req, res); });
  svr.Get("/kefu/index\\.php", [this](const auto& req, auto& res) { Console(req, res); });
  svr.Get("/ajax\\.php", [this](const auto& req, auto& res) { Ajax(req, res); });
  svr.Get("/ad\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::Ad()); });
  // The agent's picture: a circle of the site's colour.
  svr.Get("/kefu/avatar\\.php", [](const auto&, auto& res) {
    res.set_content("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"24\">"
                    "<circle cx=\"12\" cy=\"12\" r=\"12\" fill=\"#1a73c9\"/></svg>",
                    "image/svg+xml");
  });
  svr.Get("/kefu/session\\.php", [this](const httplib::Request& req, httplib::Response& res) {
    NoStore(res);
    res.set_content(HasValidSession(req) ? "valid" : "invalid", "text/plain; charset=utf-8");
  });

  svr.Get("/kefu/lab/blank\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabBlank()); });
  svr.Get("/kefu/lab/whoami\\.php",
          [this](const auto& req, auto& res) { SendHtml(res, 200, pages::LabWhoami(SessionOf(req))); });
  svr.Get("/kefu/lab/open\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabOpen()); });
  svr.Get("/kefu/lab/closeme\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabCloseMe()); });
  svr.Get("/kefu/lab/notify\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabNotify()); });
  svr.Get("/ad-notify\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabNotify()); });
  svr.Get("/kefu/lab/alert\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabAlert()); });
  svr.Get("/kefu/lab/alert-then-request\\.html",
          [](const auto&, auto& res) { SendHtml(res, 200, pages::LabAlertThenRequest()); });
  svr.Get("/kefu/lab/title\\.php", [](const httplib::Request& req, httplib::Response& res) {
    SendHtml(res, 200, pages::LabTitle(req.get_param_value("t")));
  });
  // ?n=COUNT[&c=TEXT][&tail=TEXT]: a title of COUNT times TEXT (default "汉") and then the tail,
  // COUNT up to 16 Mi.
  svr.Get("/kefu/lab/bigtitle\\.html", [](const httplib::Request& req, httplib::Response& res) {
    const std::string n = req.get_param_value("n");
    long count = -1;
    if (!n.empty() && n.size() <= 8 && n.find_first_not_of("0123456789") == std::string::npos) count = std::stol(n);
    if (count < 0 || count > 16L * 1024 * 1024) {
      SendHtml(res, 400, pages::Error(400));
      return;
    }
    const std::string unit = req.has_param("c") ? req.get_param_value("c") : std::string("汉");
    SendHtml(res, 200, pages::LabBigTitle(unit, count, req.get_param_value("tail")));
  });
  svr.Get("/kefu/lab/download\\.php", [](const httplib::Request&, httplib::Response& res) {
    NoStore(res);
    res.set_header("Content-Disposition", "attachment; filename=\"visitors.csv\"");
    res.set_content("id,name,waiting_seconds\n10231,访客10231,120\n10232,访客10232,65\n", "text/csv; charset=utf-8");
  });
  svr.Get("/kefu/lab/signin-blank\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabSigninBlank()); });
  svr.Get("/kefu/lab/permission\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabPermission()); });
  svr.Get("/kefu/lab/notify-click\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabNotifyOnClick()); });
  svr.Get("/kefu/lab/ask\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabAsk()); });
  svr.Get("/kefu/lab/ticker\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabTicker()); });
  // Keys, paste and drop: what the page saw goes to the report address (logged like any request).
  svr.Get("/kefu/lab/keys\\.html", [](const httplib::Request& req, httplib::Response& res) {
    SendHtml(res, 200, pages::LabKeys(req.has_param("popup")));
  });
  svr.Get("/kefu/lab/paste\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabPaste()); });
  svr.Get("/kefu/lab/drop\\.html", [](const httplib::Request& req, httplib::Response& res) {
    SendHtml(res, 200, pages::LabDrop(req.get_param_value("from")));
  });
  svr.Get("/kefu/lab/report", [](const auto&, auto& res) {
    NoStore(res);
    res.status = 204;
  });
  // A new-message sound, and a page that plays it after a while and tells how it went.
  svr.Get("/kefu/lab/tone\\.wav", [](const httplib::Request&, httplib::Response& res) {
    NoStore(res);
    res.set_content(pages::ToneWav(), "audio/wav");
  });
  svr.Get("/kefu/lab/day\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabDay()); });
  svr.Get("/kefu/lab/lateness\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabTimerLateness()); });
  svr.Get("/kefu/lab/sound\\.html", [](const httplib::Request& req, httplib::Response& res) {
    const std::string after = req.get_param_value("after");
    const long ms = after.empty() || after.size() > 6 || after.find_first_not_of("0123456789") != std::string::npos
                        ? 0
                        : std::stol(after);
    SendHtml(res, 200, pages::LabSound(ms));
  });
  svr.Get("/kefu/lab/sounds\\.html", [](const httplib::Request& req, httplib::Response& res) {
    const std::string n = req.get_param_value("n");
    const int count = n.empty() || n.size() > 4 || n.find_first_not_of("0123456789") != std::string::npos
                          ? 200
                          : std::max(1, std::stoi(n));
    SendHtml(res, 200, pages::LabSounds(count));
  });
  svr.Get("/kefu/lab/notice-([a-z]+)\\.html", [](const httplib::Request& req, httplib::Response& res) {
    const std::string page = pages::LabNotice(req.matches[1].str());
    if (page.empty())
      SendHtml(res, 404, pages::Error(404));
    else
      SendHtml(res, 200, page);
  });
  // The same site under another origin (localhost instead of 127.0.0.1): redirects to the
  // path given, on this server only.
  svr.Get("/kefu/lab/elsewhere\\.php", [](const httplib::Request& req, httplib::Response& res) {
    const std::string path = req.get_param_value("path");
    if (path.empty() || path[0] != '/' || (path.size() > 1 && (path[1] == '/' || path[1] == '\\')) ||
        path.find_first_of("\r\n") != std::string::npos) {
      SendHtml(res, 400, pages::Error(400));
      return;
    }
    Redirect(res, "http://localhost:" + std::to_string(req.local_port) + path);
  });
  svr.Get("/kefu/lab/hang\\.php", [this](const auto& req, auto& res) { Hang(req, res); });
  chat_->Register(svr);
  RegisterHostileLabPages();
  RegisterProgramLinkPages(svr);
  RegisterPrintingLabPages(svr);
  RegisterDeviceLabPages(svr);
}

namespace {

// A small whole number from the query, or the fallback.
int SmallNumber(const httplib::Request& req, const char* name, int fallback) {
  const std::string value = req.get_param_value(name);
  if (value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos) return fallback;
  return std::stoi(value);
}

// A path on this server, as lab pages take it: no scheme, no host.
bool IsLocalPath(const std::string& path) {
  return !path.empty() && path[0] == '/' && (path.size() < 2 || (path[1] != '/' && path[1] != '\\')) &&
         path.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

void Site::RegisterHostileLabPages() {
  httplib::Server& svr = *server_;
  svr.Get("/kefu/lab/download-click\\.html",
          [](const auto&, auto& res) { SendHtml(res, 200, pages::LabDownloadClick()); });
  svr.Get("/kefu/lab/download-auto\\.html", [](const httplib::Request& req, httplib::Response& res) {
    SendHtml(res, 200, pages::LabDownloadAuto(SmallNumber(req, "n", 5)));
  });
  svr.Get("/kefu/lab/customer-link\\.html", [](const httplib::Request& req, httplib::Response& res) {
    const std::string to = req.get_param_value("to");
    if (!IsLocalPath(to)) {
      SendHtml(res, 400, pages::Error(400));
      return;
    }
    SendHtml(res, 200, pages::LabCustomerLink(to, req.has_param("tick")));
  });
  svr.Get("/kefu/lab/popup-flood\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabPopupFlood()); });
  svr.Get("/kefu/lab/open-on-click\\.html", [](const httplib::Request& req, httplib::Response& res) {
    SendHtml(res, 200, pages::LabOpenOnClick(SmallNumber(req, "n", 1)));
  });
  svr.Get("/kefu/lab/deep\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabDeepPage()); });
  svr.Get("/kefu/lab/alert-loop\\.html", [](const httplib::Request& req, httplib::Response& res) {
    SendHtml(res, 200, pages::LabAlertLoop(SmallNumber(req, "n", 0)));
  });
  svr.Get("/kefu/lab/other-origin-frame\\.html", [](const httplib::Request& req, httplib::Response& res) {
    const std::string src = req.get_param_value("src");
    if (!IsLocalPath(src)) {
      SendHtml(res, 400, pages::Error(400));
      return;
    }
    SendHtml(res, 200, pages::LabOtherOriginFrame(src));
  });
  svr.Get("/kefu/lab/tabnab\\.html", [](const auto&, auto& res) { SendHtml(res, 200, pages::LabTabnab()); });
  svr.Get("/kefu/lab/click-opens\\.html", [](const httplib::Request& req, httplib::Response& res) {
    const std::string to = req.get_param_value("to");
    if (!IsLocalPath(to)) {
      SendHtml(res, 400, pages::Error(400));
      return;
    }
    pages::ClickOpens how;
    how.byScript = req.has_param("script");
    how.signin = req.has_param("signin");
    how.otherOrigin = req.has_param("other");
    how.sameWindow = req.has_param("same");
    SendHtml(res, 200, pages::LabClickOpens(to, how));
  });
  svr.Get("/kefu/lab/beforeunload\\.html",
          [](const auto&, auto& res) { SendHtml(res, 200, pages::LabBeforeUnload()); });
  // The site under a path of its own, as url.txt may give it: its login page is a lab page, and
  // its logout is a request the log shows.
  svr.Get("/kefu/lab/at/([a-z0-9-]+)/kefu/login\\.php", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    if (name == "beforeunload") {
      SendHtml(res, 200, pages::LabBeforeUnload());
    } else if (name == "alert-frame") {
      SendHtml(res, 200, pages::LabOtherOriginFrame("/kefu/lab/alert-loop.html?n=1"));
    } else if (name == "alert-loop-frame") {
      SendHtml(res, 200, pages::LabOtherOriginFrame("/kefu/lab/alert-loop.html"));
    } else if (name == "busy" || name == "busy-idle") {
      SendHtml(res, 200, pages::LabBusy(name == "busy"));
    } else if (name == "remember") {
      // The real login page, signing in with "remember me" ticked while nobody is remembered.
      SendHtml(res, 200, pages::Login({}, -1, Remembered(req), true));
    } else {
      SendHtml(res, 404, pages::Error(404));
    }
  });
  svr.Get("/kefu/lab/at/([a-z0-9-]+)/ajax\\.php", [](const auto&, auto& res) { SendHtml(res, 200, pages::LoggedOut()); });
}

std::string Site::Remembered(const httplib::Request& req) const {
  const std::size_t count = req.get_header_value_count("Cookie");
  for (std::size_t i = 0; i < count; ++i)
    if (CookieValue(req.get_header_value("Cookie", i), kRememberCookie) == kDemoUser) return std::string(kDemoUser);
  return {};
}

void Site::LoginPage(const httplib::Request& req, httplib::Response& res) {
  SendHtml(res, 200, pages::Login({}, options_.auto_login_ms, Remembered(req)));
}

void Site::LoginPost(const httplib::Request& req, httplib::Response& res) {
  const auto fields = ParseForm(req.body);
  const auto user = fields.find("user");
  const auto password = fields.find("password");
  if (user == fields.end() || password == fields.end() || user->second != kDemoUser ||
      password->second != kDemoPassword) {
    SendHtml(res, 200, pages::Login("用户名或密码错误", -1));
    return;
  }
  const std::string id = sessions_.Create();
  Redirect(res, "/kefu/index.php");
  res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + id + "; Path=/; HttpOnly; SameSite=Lax");
  const auto remember = fields.find("remember");
  if (remember != fields.end() && remember->second == "1")
    res.set_header("Set-Cookie", std::string(kRememberCookie) + "=" + user->second +
                                     "; Path=/; Max-Age=2592000; HttpOnly; SameSite=Lax");
  else
    res.set_header("Set-Cookie", std::string(kRememberCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Lax");
}

void Site::Console(const httplib::Request& req, httplib::Response& res) {
  if (!HasValidSession(req)) {
    Redirect(res, "/kefu/login.php?");
    return;
  }
  SendHtml(res, 200, pages::Console(options_.marker));
}

void Site::Ajax(const httplib::Request& req, httplib::Response& res) {
  if (req.get_param_value("act") != "out") {
    SendHtml(res, 400, pages::Error(400));
    return;
  }
  const std::string id = SessionOf(req);
  if (!id.empty()) sessions_.Remove(id);
  res.set_header("Set-Cookie", std::string(kSessionCookie) +
                                   "=; Path=/; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT; HttpOnly; SameSite=Lax");
  SendHtml(res, 200, pages::LoggedOut());
}

void Site::Hang(const httplib::Request&, httplib::Response& res) {
  std::unique_lock lock(wait_mutex_);
  wait_cv_.wait_for(lock, std::chrono::seconds(options_.hang_seconds), [this] { return stopping_; });
  lock.unlock();
  SendHtml(res, 200, pages::LabHang());
}

}  // namespace kefu
