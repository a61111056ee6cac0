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
      "</style></head><body><div class=\"box\"><h1>" +
      HtmlText(page.title) + "</h1><p>" + HtmlText(page.message) + "</p>";
  if (!page.detail.empty()) html += "<p class=\"detail\">" + HtmlText(page.detail) + "</p>";
  if (!page.retryUri.empty())
    html += "<button id=\"retry\" autofocus onclick=\"location.replace(" + HtmlText(JsStringLiteral(page.retryUri)) +
            ")\">重试</button>";
  return html + "</div></body></html>";
}

}  // namespace tavro::platform::gtk
