// The busy-day chat: streams of visitor messages by long poll, and the pages' arrival reports.
#include "chat.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "kefu_site.h"
#include "pages.h"

namespace kefu {
namespace {

constexpr std::int64_t kDefaultIntervalMs = 1000;
constexpr std::int64_t kMinIntervalMs = 50;
constexpr std::int64_t kMaxIntervalMs = 60000;
// Each waiting poll holds one of the site's 32 server threads: the rest must stay for other pages.
constexpr std::size_t kMaxClients = 16;
constexpr std::size_t kMaxClientId = 32;
constexpr std::size_t kMaxPageLoads = 256;  // per client
constexpr std::size_t kMaxArrivals = 200000;
// A page away longer than this many messages loses the oldest, as a chat server's offline queue
// is bounded.
constexpr std::int64_t kMaxQueued = 20000;
constexpr std::int64_t kMaxBatch = 500;
// Below the 30 s after which proxies and browsers give up on an idle request.
constexpr auto kPollHold = std::chrono::seconds(25);

// Reported arrival times are the page's wall clock, the same machine's as ours: one far before
// its message was sent is no arrival time.
constexpr std::int64_t kClockSlackMs = 1000;

constexpr const char* kText = "text/plain; charset=utf-8";

// What visitors write, in turn.
constexpr std::string_view kLines[] = {
    "您好，请问订单什么时候发货？",
    "我的快递显示已签收，但是我没有收到。",
    "可以开发票吗？抬头写公司名称。",
    "这个颜色还有货吗？",
    "退货地址是哪里？",
    "好的，谢谢！",
};

std::int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool IsClientId(std::string_view id) {
  if (id.empty() || id.size() > kMaxClientId) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
}

// A whole number of at most 15 digits (far beyond any count or millisecond clock here).
std::optional<std::int64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 15) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A query value that may be left out.
std::optional<std::int64_t> Param(const httplib::Request& req, const char* name, std::int64_t fallback) {
  if (!req.has_param(name)) return fallback;
  return Number(req.get_param_value(name));
}

// An error's name from the page, kept to letters, digits and a few marks for the log's one line.
std::string Token(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 64))
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.')
      out += c;
  return out.empty() ? "-" : out;
}

void Plain(httplib::Response& res, int status, std::string body) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(std::move(body), kText);
}

constexpr std::string_view kPage = R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{title}</title>
<style>
html,body{margin:0;background:#f4f7fb;color:#223;font:13px/1.5 "Noto Sans CJK SC","WenQuanYi Micro Hei",sans-serif}
header{padding:6px 10px;background:#1a73c9;color:#fff}
#state{float:right;font-size:12px;opacity:.85}
#list{padding:4px 10px}
.m{margin:4px 0;padding:4px 8px;background:#fff;border:1px solid #d3deea;border-radius:4px}
.m b{color:#1a5fa8;font-weight:normal;margin-right:6px}
</style></head>
<body><header>访客消息 <span id="state">连接中</span></header><div id="list"></div>
<script>
(function () {
  var query = new URLSearchParams(location.search);
  var client = encodeURIComponent(query.get('client') || 'default');
  var interval = encodeURIComponent(query.get('interval') || '1000');
  // One id per page load: the sound counts of a reloaded page add to those before it.
  var page = Math.random().toString(36).slice(2, 12) || 'page';
  var after = 0, failures = 0, played = 0, refused = 0, why = '';
  var unreported = [], reporting = false, reportedSounds = 0;
  var list = document.getElementById('list'), state = document.getElementById('state');

  function show(m, now) {
    var row = document.createElement('div');
    row.className = 'm';
    var who = document.createElement('b');
    who.textContent = m.from;
    row.appendChild(who);
    row.appendChild(document.createTextNode(m.text));
    list.insertBefore(row, list.firstChild);
    while (list.childNodes.length > 50) list.removeChild(list.lastChild);
    state.textContent = '#' + m.seq + ' ' + (now - m.sent) + ' ms';
  }
  // A new element for each message, as chat consoles do.
  function sound() {
    new Audio('/kefu/lab/chat/tone.wav').play().then(function () { played++; },
      function (e) { refused++; why = (e && e.name) || 'Error'; });
  }
  // Arrival times wait here until the site has them: a report lost with the network is sent again.
  function report() {
    if (reporting || (!unreported.length && played + refused === reportedSounds)) return;
    reporting = true;
    var batch = unreported.slice(0, 1000), sounds = played + refused;
    fetch('/kefu/lab/chat/report?client=' + client + '&page=' + page + '&played=' + played +
          '&refused=' + refused + (why ? '&why=' + encodeURIComponent(why) : ''),
          {method: 'POST', body: batch.join('\n'), cache: 'no-store'})
      .then(function (r) {
        if (!r.ok) throw new Error('report ' + r.status);
        unreported.splice(0, batch.length);
        reportedSounds = sounds;
        reporting = false;
        if (unreported.length) report();
      }).catch(function () {
        reporting = false;
        setTimeout(report, 1000);
      });
  }
  function poll() {
    var abort = new AbortController();
    var limit = setTimeout(function () { abort.abort(); }, 40000);
    fetch('/kefu/lab/chat/poll?client=' + client + '&after=' + after + '&interval=' + interval,
          {cache: 'no-store', signal: abort.signal})
      .then(function (r) {
        if (!r.ok) throw new Error('poll ' + r.status);
        return r.json();
      })
      .then(function (answer) {
        clearTimeout(limit);
        var now = Date.now(), fresh = [];
        answer.messages.forEach(function (m) {
          if (m.seq <= after) return;
          after = m.seq;
          unreported.push(m.seq + ' ' + now);
          fresh.push(m);
        });
        failures = 0;
        fresh.forEach(function (m) { show(m, now); sound(); });
        report();
        poll();
      }).catch(function () {
        clearTimeout(limit);
        failures++;
        state.textContent = '重新连接中';
        setTimeout(poll, Math.min(500 * Math.pow(2, failures - 1), 4000));
      });
  }
  setInterval(report, 2000);  // a sound's outcome comes after its message's report
  poll();
})();
</script></body></html>
)HTML";

std::string Page(std::string_view marker) {
  std::string page(kPage);
  const std::string slot = "{title}";
  page.replace(page.find(slot), slot.size(), HtmlEscape("在线客服 - " + std::string(marker)));
  return page;
}

}  // namespace

std::int64_t Chat::Client::Generated(std::int64_t now_ms) const {
  return now_ms < start_ms ? 0 : (now_ms - start_ms) / interval_ms + 1;
}

Chat::Chat(std::string marker) : marker_(std::move(marker)) {}

Chat::~Chat() { Stop(); }

void Chat::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
}

void Chat::Register(httplib::Server& svr) {
  svr.Get("/kefu/lab/chat\\.html", [this](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_content(Page(marker_), "text/html; charset=utf-8");
  });
  svr.Get("/kefu/lab/chat/poll", [this](const auto& req, auto& res) { Poll(req, res); });
  svr.Post("/kefu/lab/chat/report", [this](const auto& req, auto& res) { Report(req, res); });
  svr.Get("/kefu/lab/chat/log", [this](const auto& req, auto& res) { Log(req, res); });
  svr.Get("/kefu/lab/chat/tone\\.wav", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "max-age=86400");
    res.set_content(pages::ToneWav(), "audio/wav");
  });
}

void Chat::Poll(const httplib::Request& req, httplib::Response& res) {
  const std::string id = req.get_param_value("client");
  const auto interval = Param(req, "interval", kDefaultIntervalMs);
  const auto after = Param(req, "after", 0);
  if (!IsClientId(id) || !interval || *interval < kMinIntervalMs || *interval > kMaxIntervalMs || !after) {
    Plain(res, 400, "bad client, interval or after\n");
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + kPollHold;
  std::unique_lock lock(mutex_);
  auto it = clients_.find(id);
  if (it == clients_.end()) {
    if (clients_.size() >= kMaxClients) {
      lock.unlock();
      Plain(res, 503, "too many clients\n");
      return;
    }
    Client fresh;
    fresh.start_ms = WallClockMs();
    fresh.interval_ms = *interval;  // a stream keeps the interval it started with
    it = clients_.emplace(id, std::move(fresh)).first;
  }
  Client& c = it->second;
  std::int64_t first = 0, last = -1;
  for (;;) {
    const std::int64_t now = WallClockMs();
    const std::int64_t generated = c.Generated(now);
    // What the page has is acknowledged; what waited beyond the queue's bound is gone.
    c.floor = std::max(c.floor, std::min(*after, generated));
    if (generated - kMaxQueued > c.floor) {
      c.dropped += generated - kMaxQueued - c.floor;
      c.floor = generated - kMaxQueued;
    }
    if (generated > c.floor) {
      first = c.floor + 1;
      last = std::min(generated, c.floor + kMaxBatch);
      break;
    }
    if (stopping_ || std::chrono::steady_clock::now() >= deadline) break;
    const auto next_due = std::chrono::milliseconds(std::max<std::int64_t>(1, c.SentAt(generated + 1) - now));
    wake_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + next_due));
  }
  std::string body = "{\"messages\":[";
  for (std::int64_t seq = first; seq <= last; ++seq) {
    if (seq != first) body += ',';
    const std::size_t line = static_cast<std::size_t>(seq - 1) % std::size(kLines);
    body += "{\"seq\":" + std::to_string(seq) + ",\"sent\":" + std::to_string(c.SentAt(seq)) +
            ",\"from\":" + JsString("访客 " + std::to_string(10230 + line)) +
            ",\"text\":" + JsString(kLines[line]) + "}";
  }
  lock.unlock();
  body += "]}\n";
  res.set_header("Cache-Control", "no-store");
  res.set_content(std::move(body), "application/json");
}

void Chat::Report(const httplib::Request& req, httplib::Response& res) {
  const std::string id = req.get_param_value("client");
  const std::string page = req.get_param_value("page");
  const auto played = Param(req, "played", 0);
  const auto refused = Param(req, "refused", 0);
  if (!IsClientId(id) || !IsClientId(page) || !played || !refused) {
    Plain(res, 400, "bad client, page or counts\n");
    return;
  }
  std::lock_guard lock(mutex_);
  const auto it = clients_.find(id);
  if (it == clients_.end()) {
    Plain(res, 404, "no such client\n");
    return;
  }
  Client& c = it->second;
  const std::int64_t generated = c.Generated(WallClockMs());
  std::string_view body = req.body;
  while (!body.empty()) {
    const std::size_t end = body.find('\n');
    std::string_view line = body.substr(0, end);
    body = end == std::string_view::npos ? std::string_view{} : body.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const std::size_t space = line.find(' ');
    const auto seq = Number(line.substr(0, space));
    const auto received = space == std::string_view::npos ? std::nullopt : Number(line.substr(space + 1));
    // Only messages this stream has sent, once each (a report sent again keeps the first), and
    // no arrival before the message left.
    if (!seq || !received || *seq < 1 || *seq > generated || *received + kClockSlackMs < c.SentAt(*seq) ||
        (c.arrived.size() >= kMaxArrivals && !c.arrived.count(*seq))) {
      ++c.rejected;
      continue;
    }
    c.arrived.emplace(*seq, *received);
  }
  // Counts of one page load only grow; a report that came twice must not add twice.
  auto sounds = c.sounds.find(page);
  if (sounds == c.sounds.end() && c.sounds.size() < kMaxPageLoads)
    sounds = c.sounds.emplace(page, std::pair<std::int64_t, std::int64_t>{0, 0}).first;
  if (sounds != c.sounds.end()) {
    sounds->second.first = std::max(sounds->second.first, *played);
    sounds->second.second = std::max(sounds->second.second, *refused);
  }
  if (req.has_param("why")) c.refusal = Token(req.get_param_value("why"));
  res.status = 204;
  res.set_header("Cache-Control", "no-store");
}

void Chat::Log(const httplib::Request& req, httplib::Response& res) {
  const std::string id = req.get_param_value("client");
  if (!IsClientId(id)) {
    Plain(res, 400, "bad client\n");
    return;
  }
  std::unique_lock lock(mutex_);
  const auto it = clients_.find(id);
  if (it == clients_.end()) {
    lock.unlock();
    Plain(res, 404, "no such client\n");
    return;
  }
  const Client& c = it->second;
  std::int64_t played = 0, refused = 0;
  for (const auto& [page, counts] : c.sounds) {
    played += counts.first;
    refused += counts.second;
  }
  std::string text = "client " + id + " start " + std::to_string(c.start_ms) + " interval " +
                     std::to_string(c.interval_ms) + " generated " +
                     std::to_string(c.Generated(WallClockMs())) + " acknowledged " +
                     std::to_string(c.floor - c.dropped) + " dropped " + std::to_string(c.dropped) +
                     " rejected " + std::to_string(c.rejected) + " loads " + std::to_string(c.sounds.size()) +
                     " played " + std::to_string(played) + " refused " + std::to_string(refused) + " why " +
                     (c.refusal.empty() ? "-" : c.refusal) + "\n";
  for (const auto& [seq, received] : c.arrived)
    text += std::to_string(seq) + " " + std::to_string(c.SentAt(seq)) + " " + std::to_string(received) + "\n";
  lock.unlock();
  Plain(res, 200, std::move(text));
}

}  // namespace kefu
