#include "pages.h"

#include <map>

#include "kefu_site.h"

namespace kefu::pages {
namespace {

// Replaces every "{name}" slot of the template.
std::string Fill(std::string_view tmpl, std::string_view name, std::string_view value) {
  const std::string slot = "{" + std::string(name) + "}";
  std::string out;
  out.reserve(tmpl.size() + value.size());
  std::size_t from = 0;
  for (std::size_t at; (at = tmpl.find(slot, from)) != std::string_view::npos; from = at + slot.size()) {
    out.append(tmpl.substr(from, at - from));
    out.append(value);
  }
  out.append(tmpl.substr(from));
  return out;
}

// A bare page: the title goes in as text, head_extra and body as markup.
std::string Simple(std::string_view title, std::string_view body, std::string_view head_extra = {}) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">\n<title>";
  page += HtmlEscape(title);
  page += "</title>\n";
  page += head_extra;
  page += "<style>body{font:14px/1.5 sans-serif;margin:8px}</style>\n</head><body>\n";
  page += body;
  page += "\n</body></html>\n";
  return page;
}

constexpr std::string_view kLogin = R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>客服登录</title>
<style>
*{box-sizing:border-box}
html,body{margin:0;background:#eef3f8;color:#223;font:14px/1.5 "Noto Sans CJK SC","WenQuanYi Micro Hei",sans-serif}
.wrap{padding:210px 34px 14px 16px}
.card{background:#fff;border:1px solid #d3deea;border-radius:6px;padding:12px 14px 14px}
h1{margin:0 0 8px;font-size:16px;color:#1a5fa8}
label{display:block;margin:8px 0 3px;font-size:13px;color:#556}
input{width:100%;padding:6px 8px;border:1px solid #b8c6d6;border-radius:4px;font-size:14px}
button{width:100%;margin-top:12px;padding:7px 0;border:0;border-radius:4px;background:#1a73c9;color:#fff;font-size:15px;cursor:pointer}
button:hover{background:#1560a8}
.err{margin:0 0 6px;padding:4px 8px;border-radius:4px;background:#fdecea;color:#c62828}
.demo{margin:10px 0 0;font-size:12px;color:#667}
label.check{display:flex;align-items:center;gap:6px;margin:10px 0 0}
label.check input{width:auto;margin:0}
.welcome{display:flex;align-items:center;gap:8px;margin:0 0 6px;color:#1a5fa8}
.welcome img{width:24px;height:24px;border-radius:12px}
</style></head>
<body><div class="wrap"><div class="card">
<h1>客服人员登录</h1>
{welcome}{error}<form id="login" method="post" action="/kefu/login.php">
<label for="user">用户名</label>
<input type="text" id="user" name="user" autocomplete="username" value="{user}" required>
<label for="password">密码</label>
<input type="password" id="password" name="password" autocomplete="current-password" required>
<label class="check"><input type="checkbox" id="remember" name="remember" value="1"{checked}> 记住我</label>
<button type="submit" id="login-button">登 录</button>
</form>
<p class="demo">演示账号：demo　密码：demo123</p>
</div></div>
<script>
// The agent's name stays in the browser's storage while "remember me" is ticked; the page shows
// their picture from it before they sign in.
(function () {
  var form = document.getElementById('login');
  form.addEventListener('submit', function () {
    if (form.elements['remember'].checked) localStorage.setItem('kefu.agent', form.elements['user'].value);
    else localStorage.removeItem('kefu.agent');
  });
  var agent = localStorage.getItem('kefu.agent');
  if (agent) new Image().src = '/kefu/avatar.php?u=' + encodeURIComponent(agent) + '&from=storage';
})();
</script>
{auto}</body></html>
)HTML";

constexpr std::string_view kWelcome =
    R"HTML(<p class="welcome" id="welcome"><img src="/kefu/avatar.php?u={user}&amp;from=cookie" alt="">欢迎回来，{user}</p>
)HTML";

// Ticks "remember me" and signs the demo account in through the form, as an agent does.
constexpr std::string_view kAutoLoginRemembered = R"HTML(<script>
setTimeout(function () {
  var form = document.getElementById('login');
  form.elements['user'].value = 'demo';
  form.elements['password'].value = 'demo123';
  form.elements['remember'].checked = true;
  form.requestSubmit();
}, 0);
</script>
)HTML";

constexpr std::string_view kAutoLogin = R"HTML(<script>
setTimeout(function () {
  var form = document.getElementById('login');
  form.elements['user'].value = 'demo';
  form.elements['password'].value = 'demo123';
  form.submit();
}, {ms});
</script>
)HTML";

constexpr std::string_view kConsole = R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>在线客服 - {marker}</title>
<style>
*{box-sizing:border-box}
html,body{margin:0;height:100%;background:#eef3f8;color:#223;font:13px/1.45 "Noto Sans CJK SC","WenQuanYi Micro Hei",sans-serif}
.wrap{display:flex;flex-direction:column;height:100%;padding:32px 30px 52px 10px}
.bar{display:flex;justify-content:space-between;align-items:center;padding:4px 8px;background:#1a73c9;color:#fff;border-radius:5px 5px 0 0}
.bar a{color:#fff}
.dot{color:#7CFC00}
.queue{background:#fff;border:1px solid #d3deea;border-top:0;padding:4px 8px}
.queue h2{margin:0 0 2px;font-size:13px;color:#1a5fa8}
.queue ul{list-style:none;margin:0;padding:0;max-height:86px;overflow-y:auto}
.queue li{padding:2px 4px;border-radius:3px;cursor:pointer;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.queue li.on{background:#dcebfa}
.chat{flex:1;min-height:80px;overflow-y:auto;margin-top:6px;padding:6px;background:#fff;border:1px solid #d3deea;border-radius:4px}
.msg{margin:0 0 6px;max-width:88%;padding:4px 7px;border-radius:6px;background:#f1f3f6;word-wrap:break-word}
.msg.me{margin-left:auto;background:#d9f2d0}
.msg small{display:block;color:#889;font-size:11px}
.send{display:flex;gap:6px;margin-top:6px}
.send input{flex:1;min-width:0;padding:6px;border:1px solid #b8c6d6;border-radius:4px;font-size:13px}
.send button{padding:0 12px;border:0;border-radius:4px;background:#1a73c9;color:#fff;cursor:pointer}
</style></head>
<body><div class="wrap">
<div class="bar"><span><span class="dot">●</span> 客服 demo 在线</span><a id="logout" href="/ajax.php?act=out">退出</a></div>
<div class="queue"><h2>等待接入（<span id="waiting">3</span>）</h2>
<ul id="visitors">
<li class="on">访客 10231 · 北京 · 等待 2 分钟</li>
<li>访客 10232 · 上海 · 等待 1 分钟</li>
<li>访客 10240 · 广州 · 刚刚</li>
</ul></div>
<div class="chat" id="chat">
<p class="msg"><small>访客 10231 10:02</small>你好，我想咨询一下订单发货时间。</p>
<p class="msg me"><small>我 10:02</small>您好，请提供一下订单号，我帮您查询。</p>
<p class="msg"><small>访客 10231 10:03</small>订单号 20240518-0097</p>
</div>
<form class="send" id="send"><input id="text" placeholder="输入回复，回车发送" autocomplete="off"><button type="submit">发送</button></form>
</div>
<script>
(function () {
  var base = document.title;
  var unread = 0, tick = 0;
  function showTitle() { document.title = unread > 0 ? '(' + unread + ') ' + base : base; }
  // New visitor messages raise the unread count in the title; reading them clears it.
  setInterval(function () {
    tick += 1;
    unread = (tick % 3 === 0) ? 0 : unread + 1;
    showTitle();
  }, 3000);

  var list = document.getElementById('visitors');
  list.addEventListener('click', function (e) {
    if (e.target.tagName !== 'LI') return;
    for (var i = 0; i < list.children.length; i++) list.children[i].className = '';
    e.target.className = 'on';
  });

  var chat = document.getElementById('chat');
  document.getElementById('send').addEventListener('submit', function (e) {
    e.preventDefault();
    var input = document.getElementById('text');
    if (!input.value) return;
    var p = document.createElement('p');
    p.className = 'msg me';
    var small = document.createElement('small');
    var now = new Date();
    small.textContent = '我 ' + now.getHours() + ':' + ('0' + now.getMinutes()).slice(-2);
    p.appendChild(small);
    p.appendChild(document.createTextNode(input.value));
    chat.appendChild(p);
    chat.scrollTop = chat.scrollHeight;
    input.value = '';
  });
})();
</script>
</body></html>
)HTML";

constexpr std::string_view kAd = R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<title>Tavro 广告</title>
<style>
html,body{margin:0;overflow:hidden}
.banner{width:201px;height:40px;line-height:40px;text-align:center;white-space:nowrap;overflow:hidden;
  color:#fff;font:bold 14px sans-serif;text-shadow:0 1px 1px rgba(0,0,0,.35);
  background:linear-gradient(90deg,#ff5f6d,#ffb347,#47c6ff,#8e6cff)}
</style></head>
<body><div class="banner">★ 7×24 小时在线客服 ★</div></body></html>
)HTML";

constexpr std::string_view kNotifyScript = R"HTML(<script>
(function () {
  if (typeof Notification === 'undefined') { document.title = 'notify unsupported'; return; }
  var answered = false;
  function done(result) {
    if (answered) return;
    answered = true;
    document.title = 'notify ' + result;
    if (result === 'granted') new Notification('新访客', {body: '有访客等待接入'});
  }
  var pending = Notification.requestPermission(done);
  if (pending && pending.then) pending.then(done);
})();
</script>
)HTML";

}  // namespace

std::string Login(std::string_view error, int auto_login_ms, std::string_view remembered, bool remember_login) {
  std::string error_line;
  if (!error.empty()) error_line = "<p class=\"err\" id=\"error\">" + HtmlEscape(error) + "</p>\n";
  std::string autologin;
  if (remember_login && remembered.empty())
    autologin = kAutoLoginRemembered;
  else if (auto_login_ms >= 0)
    autologin = Fill(kAutoLogin, "ms", std::to_string(auto_login_ms));
  const std::string user = HtmlEscape(remembered);
  const std::string welcome = remembered.empty() ? std::string() : Fill(kWelcome, "user", user);
  std::string page = Fill(Fill(kLogin, "error", error_line), "auto", autologin);
  page = Fill(Fill(page, "welcome", welcome), "user", user);
  return Fill(page, "checked", remembered.empty() ? "" : " checked");
}

std::string Console(std::string_view marker) { return Fill(kConsole, "marker", HtmlEscape(marker)); }

std::string LoggedOut() {
  return Simple("已退出", "<p>已退出。<a href=\"/kefu/login.php\">重新登录</a></p>");
}

std::string Ad() { return std::string(kAd); }

std::string LabBlank() {
  return Simple("lab blank",
                "<a id=\"l\" target=\"_blank\" href=\"/kefu/lab/whoami.php\">whoami</a>\n"
                "<script>setTimeout(()=>document.getElementById('l').click(),500)</script>");
}

std::string LabWhoami(std::string_view session_id) {
  const std::string who = session_id.empty() ? std::string("-") : std::string(session_id);
  return Simple("whoami " + who, "<p>" + HtmlEscape(who) + "</p>");
}

std::string LabOpen() {
  return Simple("lab open",
                "<script>\nsetTimeout(function () {\n"
                "  var w = window.open('/kefu/lab/closeme.html', '_blank', 'width=400,height=300');\n"
                "  document.title = w ? 'opened' : 'open blocked';\n}, 500);\n</script>");
}

std::string LabCloseMe() {
  return Simple("closeme", "<p>closing soon</p>\n<script>setTimeout(function () { window.close(); }, 1500);</script>");
}

std::string LabNotify() { return Simple("notify", "<p>notification test</p>\n" + std::string(kNotifyScript)); }

std::string LabAlert() {
  return Simple("lab alert",
                "<script>\nsetTimeout(function () {\n  alert('hello from kefu');\n"
                "  document.title = 'alert done';\n}, 500);\n</script>");
}

std::string LabAlertThenRequest() {
  return Simple("lab alert",
                "<script>\nsetTimeout(function () {\n  alert('hello from kefu');\n"
                "  fetch('/kefu/lab/title.php?t=answered');\n  document.title = 'alert done';\n}, 500);\n</script>");
}

std::string LabTitle(std::string_view text) {
  return Simple("lab title", "<script>document.title = " + JsString(text) + ";</script>");
}

std::string LabBigTitle(std::string_view unit, long count, std::string_view tail) {
  return Simple("lab bigtitle", "<script>document.title = " + JsString(unit) + ".repeat(" + std::to_string(count) +
                                    ") + " + JsString(tail) + ";</script>");
}

std::string LabSigninBlank() {
  // Signs the demo account in as the login form would, then opens a page in a new window.
  return Simple("lab signin",
                "<a id=\"l\" target=\"_blank\" href=\"/kefu/lab/whoami.php\">whoami</a>\n"
                "<script>\n"
                "fetch('/kefu/login.php', {method: 'POST', credentials: 'same-origin',\n"
                "  headers: {'Content-Type': 'application/x-www-form-urlencoded'},\n"
                "  body: 'user=demo&password=demo123'})\n"
                "  .then(function (r) { document.title = r.ok ? 'signed in' : 'sign-in failed ' + r.status;\n"
                "    if (r.ok) document.getElementById('l').click(); })\n"
                "  .catch(function (e) { document.title = 'sign-in failed ' + e; });\n"
                "</script>");
}

std::string LabPermission() {
  return Simple("permission",
                "<script>document.title = 'permission ' + "
                "(typeof Notification === 'undefined' ? 'unsupported' : Notification.permission);</script>");
}

std::string LabNotifyOnClick() {
  // Asks for the permission when the agent clicks, as consoles do behind a "notify me" switch.
  return Simple("notify ready",
                "<div id=\"area\" style=\"position:fixed;inset:0\">click to be notified</div>\n<script>\n"
                "document.title = 'notify ready ' + Notification.permission;\n"
                "document.getElementById('area').addEventListener('click', function () {\n"
                "  Notification.requestPermission().then(function (result) {\n"
                "    document.title = 'notify ' + result;\n"
                "    if (result !== 'granted') return;\n"
                "    var n = new Notification('新访客', {body: '有访客等待接入'});\n"
                "    n.onclick = function () { document.title = 'notify clicked'; };\n"
                "  });\n"
                "});\n</script>");
}

std::string LabAsk() {
  return Simple("lab ask",
                "<script>\nsetTimeout(function () {\n"
                "  var sure = confirm('接入访客 10231？');\n"
                "  var note = prompt('备注', 'vip');\n"
                "  document.title = 'ask ' + sure + ' ' + note;\n}, 300);\n</script>");
}

std::string LabTicker() {
  return Simple("tick 0",
                "<script>\nvar n = 0;\n"
                "setInterval(function () { n += 1; document.title = 'tick ' + n; }, 700);\n</script>");
}

std::string LabHang() { return Simple("hang done", "<p>late answer</p>"); }

std::string LabNotice(std::string_view which) {
  // Each page shows in its title what its notifications heard; a click anywhere in the page
  // starts its next step, so a test goes on only when it has seen the former one.
  constexpr std::string_view kClick = R"JS(
var heard = [];
var n = new Notification('访客 10231', {body: '您好，在吗？'});
n.onclick = function (e) { heard.push(this === n && e.target === n ? 'onclick' : 'onclick-elsewhere'); say(); window.focus(); };
n.addEventListener('click', function (e) { heard.push(e.target === n ? 'listener' : 'listener-elsewhere'); say(); });
function say() { document.title = 'clicked ' + heard.join(' '); }
document.title = 'notice ready ' + Notification.permission;
)JS";
  // Notifies, then gives way at once to the click page, which notifies with an id of its own.
  constexpr std::string_view kLeave = R"JS(
var left = new Notification('left behind', {body: '上一页'});
left.onclick = function () { document.title = 'the page that left was clicked'; };
location.replace('/kefu/lab/notice-click.html');
)JS";
  constexpr std::string_view kClose = R"JS(
var gone = [];
function say() { document.title = 'closed ' + gone.join(' '); }
var a = new Notification('a', {body: '关掉我'});
a.onclose = function () { gone.push('a'); say(); };
var b = new Notification('b', {body: '桌面关掉'});
b.addEventListener('close', function () { gone.push('b'); say(); });
document.addEventListener('click', function () { a.close(); });
document.title = 'notice close ready';
)JS";
  constexpr std::string_view kTag = R"JS(
var x = new Notification('访客 10231', {body: '第一条', tag: 'visitor-10231'});
var y = new Notification('访客 10231', {body: '第二条', tag: 'visitor-10231'});
var z = new Notification('访客 10232', {body: '你好', tag: 'visitor-10232'});
x.onclick = function () { document.title = 'clicked x'; };
y.onclick = function () { document.title = 'clicked y'; };
z.onclick = function () { document.title = 'clicked z'; };
document.title = 'notice tag ready';
)JS";
  // 1000 in one loop; on a click, a steady flood for a few seconds ending with "flood last".
  constexpr std::string_view kBurst = R"JS(
for (var i = 1; i <= 1000; i++) new Notification('burst ' + i, {body: '第 ' + i + ' 条'});
document.title = 'burst sent';
document.addEventListener('click', function () {
  var k = 0;
  var timer = setInterval(function () {
    k += 1;
    if (k < 200) { new Notification('flood ' + k); return; }
    clearInterval(timer);
    new Notification('flood last');
    document.title = 'flood sent';
  }, 10);
}, {once: true});
)JS";
  // The site's page that, on a click, opens a window on a page of another origin on the same
  // server (the console itself never leaves the site).
  constexpr std::string_view kAway = R"JS(
document.title = 'notice away ready';
document.addEventListener('click', function () {
  window.open('/kefu/lab/elsewhere.php?path=/kefu/lab/notice-intruder.html');
});
)JS";
  // Another origin's page: asks, tries anyway, and on a click goes back to the site.
  constexpr std::string_view kIntruder = R"JS(
var before = typeof Notification === 'undefined' ? 'unsupported' : Notification.permission;
function tryAnyway(result) {
  try { new Notification('intruder', {body: '不该出现'}); } catch (e) {}
  document.title = 'intruder ' + before + ' ' + result;
}
if (before === 'unsupported') tryAnyway('-');
else Promise.resolve(Notification.requestPermission()).then(tryAnyway, function () { tryAnyway('refused'); });
document.addEventListener('click', function () {
  location.href = 'http://127.0.0.1:' + location.port + '/kefu/lab/notice-click.html';
});
)JS";
  const std::map<std::string_view, std::string_view> scripts = {
      {"click", kClick}, {"leave", kLeave}, {"close", kClose}, {"tag", kTag},
      {"burst", kBurst}, {"away", kAway},   {"intruder", kIntruder}};
  const auto it = scripts.find(which);
  if (it == scripts.end()) return {};
  return Simple("notice " + std::string(which),
                "<div style=\"position:fixed;inset:0\">notification lab</div>\n<script>" + std::string(it->second) +
                    "</script>");
}

namespace {

// A click anywhere on the page runs the script.
constexpr std::string_view kClickArea =
    "<div id=\"area\" style=\"position:fixed;inset:0\">click</div>\n";

std::string Marker(std::string_view name) { return "fetch('/kefu/lab/title.php?t=" + std::string(name) + "');"; }

}  // namespace

std::string LabDownloadClick() {
  return Simple("download ready",
                "<a id=\"l\" href=\"/kefu/lab/download.php\" style=\"position:fixed;inset:0\">download</a>");
}

std::string LabDownloadAuto(int count) {
  // Each download in a frame of its own, so that none cuts another short.
  return Simple("download auto",
                "<a id=\"l\" href=\"/kefu/lab/download.php\" style=\"position:fixed;inset:0\">download</a>\n<script>\n"
                "function download(tag) {\n  var f = document.createElement('iframe');\n"
                "  f.style.display = 'none'; f.src = '/kefu/lab/download.php?' + tag;\n"
                "  document.body.appendChild(f);\n}\n"
                "var keys = 0;\n"
                "document.addEventListener('keydown', function () { keys += 1; download('key=' + keys); });\n"
                "setTimeout(function () {\n"
                "  for (var i = 0; i < " + std::to_string(count) + "; i++) download('auto=' + i);\n"
                "  document.title = 'downloads tried'; " + Marker("downloads-tried") + "\n}, 300);\n</script>");
}

std::string LabCustomerLink(std::string_view to, bool tick) {
  std::string script = "<script>\nvar to = 'http://localhost:' + location.port + " + JsString(to) + ";\n"
                       "document.getElementById('area').addEventListener('click', function () {\n"
                       "  var w = window.open(to);\n"
                       "  " + Marker("link-opened") + "\n});\n";
  if (tick)
    script += "var n = 0;\nsetInterval(function () { n += 1; fetch('/kefu/lab/title.php?t=tick-' + n); }, 300);\n";
  return Simple("customer link", std::string(kClickArea) + script + "</script>");
}

std::string LabPopupFlood() {
  return Simple("flood",
                std::string(kClickArea) +
                    "<script>\nfunction openSome(count, name) {\n  var n = 0;\n"
                    "  for (var i = 0; i < count; i++)\n"
                    "    if (window.open('/kefu/lab/title.php?t=' + name + '-' + i)) n += 1;\n"
                    "  return n;\n}\n"
                    "setTimeout(function () {\n"
                    "  document.title = 'flood opened ' + openSome(100, 'flood');\n  " + Marker("flood-over") +
                    "\n}, 300);\n"
                    "document.getElementById('area').addEventListener('click', function () {\n"
                    "  document.title = 'click opened ' + openSome(10, 'click');\n  " + Marker("click-over") +
                    "\n});\n</script>");
}

std::string LabOpenOnClick(int n) {
  const std::string number = std::to_string(n);
  return Simple("open " + number,
                std::string(kClickArea) +
                    "<script>\ndocument.getElementById('area').addEventListener('click', function () {\n"
                    "  var w = window.open('/kefu/lab/open-on-click.html?n=" + std::to_string(n + 1) + "');\n"
                    "  fetch('/kefu/lab/title.php?t=open-clicked-" + number + "-' + (w ? 'opened' : 'refused'));\n"
                    "});\n</script>");
}

std::string LabAlertLoop(int count) {
  const std::string condition = count > 0 ? "i < " + std::to_string(count) : "true";
  return Simple("alert loop",
                "<script>\nsetTimeout(function () {\n"
                "  for (var i = 0; " + condition + "; i++) alert('loop ' + i);\n"
                "  document.title = 'loop over'; " + Marker("loop-over") + "\n}, 300);\n</script>");
}

std::string LabDeepPage() {
  // A customer's page that builds a 50,000-deep tree of elements, then keeps its process busy for
  // six seconds.
  return Simple("deep page",
                "<script>\nsetTimeout(function () {\n  " + Marker("busy-start") +
                    "\n  var node = document.body;\n"
                    "  for (var i = 0; i < 50000; i++) node = node.appendChild(document.createElement('div'));\n"
                    "  document.body.offsetHeight;\n"
                    "  var until = Date.now() + 6000; while (Date.now() < until) {}\n  " + Marker("busy-over") +
                    "\n}, 300);\n</script>");
}

std::string LabOtherOriginFrame(std::string_view src) {
  return Simple("frame",
                "<iframe id=\"f\" style=\"width:100%;height:300px\"></iframe>\n<script>\n"
                "document.getElementById('f').src = 'http://localhost:' + location.port + " + JsString(src) +
                    ";\n</script>");
}

std::string LabTabnab() {
  return Simple("tabnab",
                "<script>\nsetTimeout(function () {\n"
                "  if (window.opener) window.opener.location = location.origin + '/kefu/lab/title.php?t=nabbed';\n"
                "  document.title = window.opener ? 'tabnab tried' : 'tabnab without opener';\n  " +
                    Marker("nab-tried") + "\n}, 300);\n</script>");
}

std::string LabBeforeUnload() {
  return Simple("beforeunload ready",
                std::string(kClickArea) +
                    "<script>\nwindow.addEventListener('beforeunload', function (e) {\n"
                    "  e.preventDefault(); e.returnValue = 'stay';\n});\n"
                    "document.getElementById('area').addEventListener('click', function () {\n"
                    "  location.href = '/kefu/lab/title.php?t=left';\n});\n</script>");
}

std::string LabClickOpens(std::string_view to, const ClickOpens& how) {
  std::string body = std::string("<a id=\"l\"") + (how.sameWindow ? "" : " target=\"_blank\"") +
                     " style=\"position:fixed;inset:0\">open</a>\n<script>\n"
                     "var link = document.getElementById('l');\nlink.href = " +
                     (how.otherOrigin ? "'http://localhost:' + location.port + " : "") + JsString(to) + ";\n";
  if (how.byScript)
    body += "link.addEventListener('click', function (e) {\n  e.preventDefault();\n"
            "  document.title = window.open(link.href, '_blank', 'width=400,height=300') ? 'opened' : 'open blocked';\n"
            "});\n";
  if (how.signin)
    body += "fetch('/kefu/login.php', {method: 'POST', credentials: 'same-origin',\n"
            "  headers: {'Content-Type': 'application/x-www-form-urlencoded'},\n"
            "  body: 'user=demo&password=demo123'})\n"
            "  .then(function (r) { document.title = r.ok ? 'signed in' : 'sign-in failed ' + r.status; })\n"
            "  .catch(function (e) { document.title = 'sign-in failed ' + e; });\n";
  return Simple("click opens", body + "</script>");
}

std::string Error(int status) {
  std::string text;
  switch (status) {
    case 400: text = "错误的请求"; break;
    case 404: text = "页面不存在"; break;
    case 405: text = "不支持的请求方法"; break;
    case 413: text = "请求内容过大"; break;
    case 414: text = "请求地址过长"; break;
    default: text = status >= 500 ? "服务器内部错误" : "请求无法处理"; break;
  }
  const std::string code = std::to_string(status);
  return Simple(code + " " + text, "<p>" + code + " " + text + "</p>");
}

std::string ToneWav() {
  constexpr int kRate = 8000, kSamples = 4000;
  std::string wav;
  const auto u32 = [&](unsigned v) { for (int i = 0; i < 4; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF); };
  const auto u16 = [&](unsigned v) { for (int i = 0; i < 2; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF); };
  wav += "RIFF";
  u32(36 + kSamples * 2);
  wav += "WAVEfmt ";
  u32(16), u16(1), u16(1), u32(kRate), u32(kRate * 2), u16(2), u16(16);
  wav += "data";
  u32(kSamples * 2);
  for (int i = 0; i < kSamples; ++i) {
    // A square wave of 660 Hz: no floating point needed for a beep.
    const int level = ((i * 660 * 2 / kRate) % 2) ? 6000 : -6000;
    u16(static_cast<unsigned>(level) & 0xFFFF);
  }
  return wav;
}

std::string LabSound(long afterMs) {
  return Simple("sound waiting",
                "<video id=\"v\" preload=\"auto\" src=\"/kefu/lab/tone.wav?video\"></video>\n<script>\n"
                "var seen = {};\n"
                "function say(what, result) { seen[what] = result; document.title = Object.keys(seen).sort()"
                ".map(function (k) { return k + ' ' + seen[k]; }).join(', '); }\n"
                "setTimeout(function () {\n"
                "  new Audio('/kefu/lab/tone.wav').play().then(function () { say('sound', 'played'); },\n"
                "    function (e) { say('sound', 'refused ' + e.name); });\n"
                "  document.getElementById('v').play().then(function () { say('video', 'played'); },\n"
                "    function (e) { say('video', 'refused ' + e.name); });\n"
                "}, " + std::to_string(afterMs) + ");\n</script>");
}

std::string LabDay() {
  return Simple("day starting",
                "<div style=\"position:fixed;inset:0\">day</div>\n"
                "<video id=\"v\" preload=\"auto\" src=\"/kefu/lab/tone.wav?video\"></video>\n<script>\n"
                "var steps = [];\n"
                "function step(s) { steps.push(s); document.title = 'day ' + steps.join(' '); }\n"
                "fetch('/kefu/login.php', {method: 'POST', credentials: 'same-origin',\n"
                "  headers: {'Content-Type': 'application/x-www-form-urlencoded'}, body: 'user=demo&password=demo123'})\n"
                ".then(function (r) { step(r.ok ? 'signed-in' : 'not-signed-in');\n"
                "  try { new Notification('访客 10231', {body: '您好'}); step('notified'); } catch (e) { step('no-notice'); }\n"
                "  return new Audio('/kefu/lab/tone.wav').play(); })\n"
                ".then(function () { step('sound'); return document.getElementById('v').play(); })\n"
                ".then(function () { step('video'); }, function (e) { step('media-refused-' + e.name); });\n"
                "document.addEventListener('click', function () {\n"
                "  step(window.open('/kefu/lab/whoami.php') ? 'window' : 'no-window');\n"
                "}, {once: true});\n</script>");
}

std::string LabSounds(int count) {
  // Ended sounds are counted by their state: now and then the engine leaves out an element's
  // "ended" event.
  return Simple("sounds ready",
                "<div style=\"position:fixed;inset:0\">sounds</div>\n<script>\n"
                "var kept = [], replaying = false, count = " + std::to_string(count) + ";\n"
                "function one() {\n"
                "  var a = new Audio('/kefu/lab/tone.wav');\n"
                "  a.addEventListener('ended', show);\n"
                "  kept.push(a);\n"
                "  a.play().catch(function (e) { document.title = 'sound refused ' + e.name; });\n"
                "  if (kept.length < count) setTimeout(one, 150);\n"
                "  else setInterval(show, 500);\n"
                "}\n"
                "function show() {\n"
                "  if (replaying) return;\n"
                "  var waiting = kept.filter(function (a) { return !a.ended; }), ended = kept.length - waiting.length;\n"
                "  var first = waiting[0];\n"
                "  document.title = ended === count ? 'sounds done ' + ended\n"
                "      : 'sounds ' + kept.length + ' ended ' + ended + (first ? ' waiting ' + [first.paused,\n"
                "        first.readyState, first.networkState, first.currentTime.toFixed(2)].join('/') : '');\n"
                "}\n"
                "document.addEventListener('click', function () {\n"
                "  if (!kept.length) { one(); return; }\n"
                "  var first = kept[0];\n"
                "  replaying = true;\n"
                "  first.addEventListener('ended', function () {\n"
                "    document.title = 'replayed ' + first.ended + ' ' + first.currentTime.toFixed(2) + '/' +\n"
                "                     first.duration.toFixed(2);\n"
                "  }, {once: true});\n"
                "  first.play();\n"
                "});\n</script>");
}

std::string LabBusy(bool spin) {
  return Simple("busy starting",
                std::string("<script>\n"
                            "fetch('/kefu/login.php', {method: 'POST', credentials: 'same-origin',\n"
                            "  headers: {'Content-Type': 'application/x-www-form-urlencoded'},\n"
                            "  body: 'user=demo&password=demo123'})\n"
                            ".then(function (r) { document.title = r.ok ? 'busy signed-in' : 'busy not signed in';\n") +
                    (spin ? "  setTimeout(function () { fetch('/kefu/lab/title.php?t=spinning'); for (;;) {} }, 500);\n"
                          : "  fetch('/kefu/lab/title.php?t=idle');\n") +
                    "});\n</script>");
}

std::string LabTimerLateness() {
  // The worst of the last two seconds, so that the page's own start is soon forgotten; the count
  // of ticks makes every title a new one.
  return Simple("late 0 ms",
                "<script>\n"
                "var seen = [], last = performance.now(), ticks = 0;\n"
                "setInterval(function () {\n"
                "  var now = performance.now();\n"
                "  seen.push({at: now, late: now - last - 50});\n"
                "  last = now;\n"
                "  while (seen.length && seen[0].at < now - 2000) seen.shift();\n"
                "  var worst = 0;\n"
                "  seen.forEach(function (s) { if (s.late > worst) worst = s.late; });\n"
                "  document.title = 'late ' + Math.round(worst) + ' ms, tick ' + (++ticks);\n"
                "}, 50);\n</script>");
}

}  // namespace kefu::pages
