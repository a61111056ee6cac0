// HTML and routes of the lab pages for printing and full screen.
#include "lab_printing.h"

#include <httplib.h>

#include <string_view>

#include "kefu_site.h"

namespace kefu {
namespace pages {
namespace {

std::string Page(std::string_view title, std::string_view body) {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">\n<title>" + HtmlEscape(title) +
         "</title>\n<style>body{font:14px/1.5 sans-serif;margin:8px}</style>\n</head><body>\n" +
         std::string(body) + "\n</body></html>\n";
}

constexpr std::string_view kMarker =
    "function marker(name) { fetch('/kefu/lab/title.php?t=' + name, {cache: 'no-store'}); }\n";

}  // namespace

std::string LabPrint(int count, int everyMs, bool tick) {
  std::string script = "<script>\n" + std::string(kMarker) + "var count = " + std::to_string(count) +
                       ", every = " + std::to_string(everyMs) + ", done = 0;\n" + R"JS(
function once() {
  window.print();
  done += 1;
  marker('printed-' + done);
  return done < count;
}
setTimeout(function () {
  if (every > 0) {
    var timer = setInterval(function () {
      if (!once()) { clearInterval(timer); marker('prints-over'); }
    }, every);
  } else {
    while (once()) {}
    marker('prints-over');
  }
}, 300);
)JS";
  if (tick)
    script +=
        "var ticks = 0;\nsetInterval(function () { ticks += 1; document.title = 'print tick ' + ticks; }, "
        "250);\n";
  return Page("print ready", "<p>打印测试页</p>\n" + script + "</script>");
}

std::string LabFullScreen(const std::string& openPath) {
  return Page("fullscreen ready",
              "<div id=\"area\" style=\"position:fixed;inset:0;background:#eef\">click</div>\n<script>\n" +
                  std::string(kMarker) + "var openPath = " + JsString(openPath) + ", clicks = 0;\n" + R"JS(
document.getElementById('area').addEventListener('click', function () {
  clicks += 1;
  if (openPath && clicks > 1) {
    window.open(openPath);
    marker('fs-opened');
    return;
  }
  var root = document.documentElement;
  if (!root.requestFullscreen) {
    marker('fs-refused');
    return;
  }
  root.requestFullscreen().then(function () {
    marker('fs-entered');
  }, function () {
    marker(document.fullscreenElement ? 'fs-refused-but-full' : 'fs-refused');
  });
});
document.addEventListener('fullscreenchange', function () {
  document.title = document.fullscreenElement ? 'fullscreen in' : 'fullscreen out';
  marker(document.fullscreenElement ? 'fs-change-in' : 'fs-change-out');
});
</script>)JS");
}

}  // namespace pages

namespace {

// A small whole number from the query, or the fallback.
int Number(const httplib::Request& req, const char* name, int fallback) {
  const std::string value = req.get_param_value(name);
  if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos)
    return fallback;
  return std::stoi(value);
}

void SendPage(httplib::Response& res, const std::string& html) {
  res.set_header("Cache-Control", "no-store");
  res.set_content(html, "text/html; charset=utf-8");
}

}  // namespace

void RegisterPrintingLabPages(httplib::Server& server) {
  server.Get("/kefu/lab/print\\.html", [](const httplib::Request& req, httplib::Response& res) {
    SendPage(res, pages::LabPrint(Number(req, "n", 1), Number(req, "every", 0), req.has_param("tick")));
  });
  server.Get("/kefu/lab/fullscreen\\.html", [](const httplib::Request& req, httplib::Response& res) {
    std::string open = req.get_param_value("open");
    // A path of this origin only.
    if (open.size() < 2 || open[0] != '/' || open[1] == '/' || open[1] == '\\' ||
        open.find_first_of("\r\n") != std::string::npos)
      open.clear();
    SendPage(res, pages::LabFullScreen(open));
  });
}

}  // namespace kefu
