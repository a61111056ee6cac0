// The devices lab page: one script, steered by its query.
#include "lab_devices.h"

#include <httplib.h>

#include <string_view>

namespace kefu {
namespace {

constexpr std::string_view kDevices = R"HTML(<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8">
<title>devices</title>
<style>body{font:14px/1.5 sans-serif;margin:0} #area{position:fixed;inset:0}</style>
</head><body>
<div id="area">click</div>
<script>
var params = new URLSearchParams(location.search);
var round = Number(params.get('round') || 1);
var rounds = Number(params.get('rounds') || 1);
var ask = params.get('ask') || '';
var click = params.get('click') || '';
var media = navigator.mediaDevices;
var attempt = 'load';
var clicks = 0;
function mark(text) {
  document.title = text;
  return fetch('/kefu/lab/title.php?t=' + encodeURIComponent(text), {cache: 'no-store'});
}
function named() {
  if (!media || !media.enumerateDevices) return Promise.resolve('none');
  return media.enumerateDevices().then(function (list) {
    return list.some(function (d) { return d.label; }) ? 'yes' : 'no';
  }, function (e) { return e.name; });
}
function state(name) {
  if (!navigator.permissions) return Promise.resolve('none');
  return navigator.permissions.query({name: name}).then(function (s) { return s.state; },
                                                        function (e) { return e.name; });
}
function kinds(stream) {
  var live = stream.getTracks().filter(function (t) { return t.readyState === 'live'; })
                               .map(function (t) { return t.kind; }).sort().join('.');
  stream.getTracks().forEach(function (t) { t.stop(); });
  return live || 'none';
}
function capture(constraints) {
  if (!media || !media.getUserMedia) return Promise.resolve('unsupported');
  return media.getUserMedia(constraints).then(kinds, function (e) { return e.name; });
}
function screen() {
  if (!media || !media.getDisplayMedia) return Promise.resolve('unsupported');
  return media.getDisplayMedia({video: true}).then(kinds, function (e) { return e.name; });
}
var area = document.getElementById('area');
document.addEventListener('pointerlockchange', function () {
  mark(attempt + '-lock-' + (document.pointerLockElement ? 'taken' : 'released'));
});
document.addEventListener('pointerlockerror', function () { mark(attempt + '-lock-refused'); });
function lock() {
  var asked = area.requestPointerLock();
  if (asked && asked.catch) asked.catch(function () {});
}
area.addEventListener('click', function () {
  clicks += 1;
  attempt = 'click' + clicks;
  if (click === 'lock') lock();
  if (click === 'screen') screen().then(function (got) { mark(attempt + '-screen-' + got); });
});
if (params.has('early')) lock();
mark('ready-' + round);
if (ask) {
  named().then(function (before) {
    return capture({audio: ask.indexOf('a') >= 0, video: ask.indexOf('v') >= 0}).then(function (got) {
      return Promise.all([state('camera'), state('microphone')]).then(function (states) {
        return mark('devices-' + round + '-' + got + '-before-' + before + '-camera-' + states[0] +
                    '-microphone-' + states[1]);
      });
    });
  }).then(function () {
    if (round >= rounds) return;
    params.set('round', round + 1);
    location.search = params.toString();
  });
}
</script>
</body></html>
)HTML";

}  // namespace

void RegisterDeviceLabPages(httplib::Server& svr) {
  svr.Get("/kefu/lab/devices\\.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_content(std::string(kDevices), "text/html; charset=utf-8");
  });
}

}  // namespace kefu
