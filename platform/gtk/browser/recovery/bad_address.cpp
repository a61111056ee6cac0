// What is wrong with an address that cannot be opened, told in the console's place.
#include "bad_address.h"

#include <glib.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "owners.h"
#include "page_text.h"
#include "platform/address.h"
#include "platform/forms.h"
#include "platform/text.h"

namespace tavro::platform::gtk {
namespace {

struct Finding {
  const char* chinese;
  const char* english;
};

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

}  // namespace

std::string VisibleHtml(std::string_view text) {
  static const char* const kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "TAB", "LF",
                                         "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
                                         "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
  const auto mark = [](const std::string& name) { return "<span class=\"c\">" + name + "</span>"; };
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const char* p = text.data() + i;
    const gunichar c = g_utf8_get_char_validated(p, static_cast<gssize>(text.size() - i));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(*p));
      out += mark(hex);
      ++i;
      continue;
    }
    const std::size_t length = static_cast<std::size_t>(g_utf8_next_char(p) - p);
    if (c == ' ')
      out += mark("SP");
    else if (c == 0x3000)
      out += mark("全角SP");
    else if (c == 0xFEFF)
      out += mark("BOM");
    else if (c < 0x20)
      out += mark(kNames[c]) + (c == '\n' ? "<br>" : "");
    else if (c == 0x7F)
      out += mark("DEL");
    else
      out += HtmlText(std::string(p, length));
    i += length;
  }
  return out;
}

OwnPage BadAddressPage(const std::string& address, const std::optional<AddressFile>& file) {
  // The text as the file holds it when the address was read from one, else the whole address.
  const std::string fileText = file ? StrConv(file->bytes, vbUnicode) : std::string();
  const bool fromFile = file && !fileText.empty() && StartsWith(address, fileText);
  const std::string text = fromFile ? fileText : address;
  const std::string_view bytes = fromFile ? std::string_view(file->bytes) : std::string_view(address);
  // A file saved as UTF-16 is shown as its editor shows it, the byte-order mark first.
  const bool utf16 = StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, "\xFE\xFF");
  std::string shown = text;
  if (utf16) {
    gsize written = 0;
    const GCharPtr decoded(g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                     StartsWith(bytes, "\xFF\xFE") ? "UTF-16LE" : "UTF-16BE", nullptr, &written, nullptr));
    if (decoded) shown.assign(decoded.get(), written);
  }

  std::vector<Finding> findings;
  if (utf16)
    findings.push_back({"文件是以 UTF-16（记事本的“Unicode”）保存的", "the file was saved as UTF-16 (Notepad's \"Unicode\")"});
  if (text.find("\xEF\xBB\xBF") != std::string::npos)
    findings.push_back({"里面有一个字节顺序标记（BOM）", "it holds a byte-order mark (BOM)"});
  if (text.find(' ') != std::string::npos || text.find("\xE3\x80\x80") != std::string::npos)
    findings.push_back({"里面有空格（SP）", "it holds spaces (SP)"});
  if (text.find_first_of("\r\n") != std::string::npos)
    findings.push_back({"里面有换行（CR LF）", "it holds line breaks (CR LF)"});
  bool control = false;
  for (const char c : text) control |= (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') || c == 0x7F;
  const bool broken = !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
  if (control && !utf16) findings.push_back({"里面有看不见的控制字符", "it holds invisible control characters"});
  if (broken && !utf16) findings.push_back({"里面有无法识别的字节（编码不对）", "it holds bytes that are no characters (a wrong encoding)"});
  if (!utf16 && !FixUpAddress(address)) findings.push_back({"里面没有网站的主机名", "it names no host"});

  std::string chinese = "这个网站地址打不开，Tavro 没有连接任何网站。";
  std::string english = "This site address cannot be opened; Tavro has not connected to any site.";
  if (!findings.empty()) {
    chinese += "问题：";
    english += " What is wrong: ";
    for (std::size_t i = 0; i < findings.size(); ++i) {
      chinese += std::string(i ? "；" : "") + findings[i].chinese;
      english += std::string(i ? "; " : "") + findings[i].english;
    }
    chinese += "。";
    english += ".";
  }
  const std::string name = fromFile ? std::filesystem::path(file->path).filename().string() : std::string();
  const std::string where = fromFile ? file->path : "url.txt";
  chinese += "请用文本编辑器打开 " + where +
             "，只写网站地址这一行，例如 http://kefu.example.com（末尾不加“/”，前后不留空格），"
             "以 UTF-8 或 ANSI 编码保存，然后重新启动 Tavro。";
  english += " Open " + where +
             " in a text editor, keep the site address alone on its line, for example http://kefu.example.com "
             "(no final \"/\", no spaces around it), save it as UTF-8 or ANSI, and start Tavro again.";

  OwnPage page;
  page.title = fromFile ? name + " 中的网站地址无法打开" : "网站地址无法打开";
  page.message = chinese;
  page.shownHtml = VisibleHtml(shown);
  page.english = english;
  return page;
}

}  // namespace tavro::platform::gtk
