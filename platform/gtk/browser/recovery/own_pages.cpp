// The markup of Tavro's own pages.
#include "own_pages.h"

#include "page_text.h"

namespace tavro::platform::gtk {
std::string OwnPageHtml(const OwnPage& page) {
  // The main view lies under a header 201 pixels high before sign-in (27 after) and overhangs the
  // window by 2 pixels at the left and top and 20 at the right: the text starts below the header.
  std::string html =
      "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + HtmlText(page.title) +
      "</title><style>"
      "html,body{margin:0;background:#f4f6f9;color:#223;"
      "font:14px/1.6 \"Noto Sans CJK SC\",\"WenQuanYi Micro Hei\",sans-serif}"
      ".box{margin:215px 30px 12px 14px;padding:12px 14px;background:#fff;border:1px solid #d5dde7;border-radius:6px}"
      "h1{margin:0 0 6px;font-size:15px;color:#b3261e}p{margin:4px 0}.detail{color:#778;font-size:12px}"
      "button{margin-top:8px;padding:5px 16px;font-size:14px}"
      "pre{margin:6px 0;padding:6px 8px;background:#f4f6f9;border:1px solid #d5dde7;white-space:pre-wrap;"
      "word-break:break-all;font:13px/1.4 monospace}.en{color:#556}"
      ".c{display:inline-block;margin:0 1px;padding:0 2px;border:1px solid #b3261e;border-radius:3px;"
      "color:#b3261e;font:bold 9px/1.3 sans-serif;vertical-align:middle}"
      "</style></head><body><div class=\"box\"><h1>" +
      HtmlText(page.title) + "</h1><p>" + HtmlText(page.message) + "</p>";
  if (!page.shownHtml.empty()) html += "<pre>" + page.shownHtml + "</pre>";
  if (!page.english.empty()) html += "<p class=\"en\" lang=\"en\">" + HtmlText(page.english) + "</p>";
  if (!page.detail.empty()) html += "<p class=\"detail\">" + HtmlText(page.detail) + "</p>";
  if (!page.retryUri.empty())
    html += "<button id=\"retry\" autofocus onclick=\"location.replace(" + HtmlText(JsStringLiteral(page.retryUri)) +
            ")\">重试</button>";
  return html + "</div></body></html>";
}

}  // namespace tavro::platform::gtk
