// HTML of the lab pages with other programs' links.
#include "lab_programs.h"

#include <httplib.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "kefu_site.h"

namespace kefu {
namespace {

std::string Page(const httplib::Request& req) {
  const std::string to = req.get_param_value("to");
  const std::string how = req.has_param("how") ? req.get_param_value("how") : "link";
  const bool inner = req.has_param("inner");
  const bool frame = req.has_param("frame") && !inner;
  std::string head = "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">\n";
  if (how == "meta") head += "<meta http-equiv=\"refresh\" content=\"0;url=" + HtmlEscape(to) + "\">\n";
  head += "<title>programs</title>\n<style>html,body{margin:0;height:100%} a{display:block;position:fixed;"
          "left:0;right:0;background:#eef} iframe{position:fixed;left:0;width:100%;top:440px;height:230px;"
          "border:0}</style>\n</head><body>\n";

  std::string body;
  if (how == "link" || how == "blank" || how == "open")
    body += std::string("<a id=\"l\"") + (how == "blank" ? " target=\"_blank\"" : "") + " style=\"" +
            (frame ? "top:210px;height:220px" : "top:0;bottom:0") + "\">QQ 咨询</a>\n";
  if (frame) body += "<iframe id=\"f\"></iframe>\n";

  std::string script = "<script>\nvar to = " + JsString(to) + ", then = " + JsString(req.get_param_value("then")) +
                       ";\nif (then) then += 'x'.repeat(" + std::to_string(std::clamp(std::atoi(req.get_param_value("pad").c_str()), 0, 1 << 20)) +
                       ");\nfunction ask(t) { fetch('/kefu/lab/title.php?t=' + encodeURIComponent(t)); }\n";
  if (how == "link" || how == "blank") {
    script += "var link = document.getElementById('l'), clicks = 0;\nlink.href = to;\n"
              "link.addEventListener('click', function () {\n"
              "  setTimeout(function () {\n    if (then) link.href = then;\n"
              "    ask('programs-clicked-' + (++clicks));\n  }, 0);\n});\n";
  } else if (how == "open") {
    script += "var opens = 0;\ndocument.getElementById('l').addEventListener('click', function (e) {\n"
              "  e.preventDefault();\n  var got = window.open(to) ? 1 : 0;\n  if (then && window.open(then)) got += 1;\n"
              "  ask('programs-opened-' + (++opens) + '-got-' + got);\n});\n";
  } else if (how == "timer") {
    script += "setTimeout(function () { location.href = to; }, 300);\n";
  }
  if (frame)
    script += "document.getElementById('f').src = 'http://localhost:' + location.port + "
              "'/kefu/lab/programs.html?inner=1&to=' + encodeURIComponent(" +
              JsString(req.has_param("frameto") ? req.get_param_value("frameto") : to) + ");\n";
  if (!inner)
    script += "var n = 0;\nsetInterval(function () {\n  n += 1;\n  document.title = 'programs ' + n;\n"
              "  ask('programs-tick-' + n);\n" +
              std::string(how == "timer" || how == "meta" ? "  if (n === 10) ask('programs-tried');\n" : "") +
              "}, 300);\n";
  return head + body + script + "</script>\n</body></html>\n";
}

}  // namespace

void RegisterProgramLinkPages(httplib::Server& svr) {
  svr.Get("/kefu/lab/programs\\.html", [](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_content(Page(req), "text/html; charset=utf-8");
  });
}

}  // namespace kefu
