// HTML of the lab pages for keys, paste and drop.
#include "input_pages.h"

#include "kefu_site.h"

#include <string_view>

namespace kefu::pages {
namespace {

// What the paste and drop pages share: a report to the site, and FNV-1a over a file's bytes
// (the test computes the same over the file it handed over).
constexpr std::string_view kReportScript = R"JS(
function report(text) {
  fetch('/kefu/lab/report?' + encodeURIComponent(text), {cache: 'no-store'});
}
function fnv1a(bytes) {
  var h = 0x811c9dc5;
  for (var i = 0; i < bytes.length; i++) { h ^= bytes[i]; h = Math.imul(h, 0x01000193) >>> 0; }
  return ('0000000' + h.toString(16)).slice(-8);
}
function describeFiles(kind, files) {
  return Promise.all(files.map(function (f) {
    return f.arrayBuffer().then(function (b) {
      return f.type + ' ' + f.size + ' ' + fnv1a(new Uint8Array(b)) + ' ' + f.name;
    }, function (e) { return 'unreadable ' + f.name + ' ' + e; });
  })).then(function (parts) { return kind + ' ' + files.length + (parts.length ? ' ' + parts.join(' | ') : ''); });
}
)JS";

constexpr std::string_view kKeys = R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>keys</title>
<style>body{font:14px/1.5 sans-serif;margin:8px;padding-top:210px}</style>
</head><body>
<p>访客 10231 咨询订单发货时间，订单号 20240518-0097。</p>
<p>The customer asked twice about the zebra blanket; the second zebra was grey.</p>
<p>客服回复：已为您查询，预计明天发出。</p>
<div style="height:3000px"></div>
<script>
var typed = '';
function show() {
  var selection = window.getSelection();
  var sel = String(selection) + (selection.rangeCount ? '@' + selection.anchorOffset : '');
  document.title = 'keys w=' + window.innerWidth + ' h=' + window.innerHeight + ' y=' + Math.round(window.scrollY) +
      ' dpr=' + window.devicePixelRatio +
      ' focus=' + (document.hasFocus() ? 1 : 0) + ' sel=' + sel + ' typed=' + typed;
}
document.addEventListener('keydown', function (e) {
  if (e.key.length === 1) typed = (typed + e.key).slice(-12);
  show();
});
['resize', 'focus', 'blur', 'scroll'].forEach(function (t) { window.addEventListener(t, show); });
document.addEventListener('selectionchange', show);
// The zoom may change the width without an event in some engines: look again now and then.
setInterval(show, 250);
show();
{popup}
</script>
</body></html>
)HTML";

constexpr std::string_view kPaste = R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<title>paste ready</title>
<style>body{font:14px/1.5 sans-serif;margin:8px;padding-top:210px} textarea{width:90%;height:120px}</style>
</head><body>
<textarea id="box" placeholder="粘贴截图"></textarea>
<script>
{report}
var box = document.getElementById('box');
var pastes = 0;
box.addEventListener('paste', function (e) {
  pastes += 1;
  var dt = e.clipboardData;
  var files = dt ? Array.prototype.slice.call(dt.files) : [];
  var text = dt ? dt.getData('text/plain') : '';
  var items = dt && dt.items ? dt.items.length : 0;
  describeFiles('paste' + pastes + ' items ' + items + ' text ' + JSON.stringify(text) + ' files', files).then(report);
});
box.addEventListener('input', function () { report('value ' + JSON.stringify(box.value)); });
box.focus();
document.title = 'paste ready';
</script>
</body></html>
)HTML";

constexpr std::string_view kDrop = R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<title>drop ready</title>
<style>html,body{margin:0;height:100%} #zone{position:fixed;inset:0;background:#eef3f8}</style>
</head><body>
<div id="zone">把文件拖到这里</div>
{source}
<script>
{report}
var zone = document.getElementById('zone');
var entered = false;
zone.addEventListener('dragenter', function (e) {
  e.preventDefault();
  if (!entered) report('dragenter ' + Array.prototype.join.call(e.dataTransfer.types, ','));
  entered = true;
});
zone.addEventListener('dragover', function (e) { e.preventDefault(); e.dataTransfer.dropEffect = 'copy'; });
zone.addEventListener('drop', function (e) {
  e.preventDefault();
  describeFiles('drop', Array.prototype.slice.call(e.dataTransfer.files)).then(report);
});
document.title = 'drop ready';
</script>
</body></html>
)HTML";

std::string Fill(std::string_view tmpl, std::string_view slot, std::string_view value) {
  std::string out(tmpl);
  const std::string key = "{" + std::string(slot) + "}";
  if (const auto at = out.find(key); at != std::string::npos) out.replace(at, key.size(), value);
  return out;
}

}  // namespace

std::string LabKeys(bool popup) {
  return Fill(kKeys, "popup",
              popup ? "document.addEventListener('click', function () { window.open('/kefu/lab/keys.html', '_blank'); },"
                      " {once: true});"
                    : "");
}

std::string LabPaste() { return Fill(kPaste, "report", kReportScript); }

std::string LabDrop(std::string_view fileUri) {
  std::string source;
  if (!fileUri.empty())
    source = "<div id=\"source\" draggable=\"true\" style=\"position:fixed;left:20px;top:260px;width:120px;"
             "height:60px;background:#1a73c9;color:#fff\">拖我</div>\n<script>\n"
             "document.getElementById('source').addEventListener('dragstart', function (e) {\n"
             "  e.dataTransfer.setData('text/uri-list', " + JsString(fileUri) + ");\n"
             "  e.dataTransfer.setData('text/plain', 'from the page');\n});\n</script>";
  return Fill(Fill(kDrop, "report", kReportScript), "source", source);
}

}  // namespace kefu::pages
