// Text Tavro puts before the agent: a page's title as a caption, an address that cannot be opened
// with what cannot be seen made visible, escaped HTML, and lines for the terminal.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "bad_address.h"
#include "page_text.h"
#include "platform/text.h"

namespace tavro::platform::gtk {
namespace {

using namespace std::string_literals;

TEST(CaptionTextTest, ControlAndReorderingCharactersNeverReachTheCaption) {
  struct Case {
    std::string title, caption;
  } const cases[] = {
      {"客服 QQ2865371", "客服 QQ2865371"},
      {"a\tb\nc\rd", "a b c d"},                                      // white space stays white space
      {"bel\aesc\x1B[31mred\x7F", "belesc[31mred"},                    // C0 and DEL go
      {"c1\xC2\x85\xC2\x9B" "end", "c1end"},                           // C1 (NEL, CSI) go
      {"\u202Eevil\u202C \u2066iso\u2069 \u202Aemb", "evil iso emb"},  // overrides, isolates, embeddings
      {"mark\u200Fed \u0645\u0631\u062D\u0628\u0627 👩‍💻", "mark\u200Fed \u0645\u0631\u062D\u0628\u0627 👩‍💻"},
      {"nul\0cut"s, "nulcut"},
      {"bad\xFF" "byte", "bad\uFFFDbyte"},
  };
  for (const auto& c : cases) EXPECT_EQ(CaptionText(c.title), c.caption) << c.title;
}

TEST(HtmlTextTest, EscapesMarkupAndMendsMalformedText) {
  EXPECT_EQ(HtmlText("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;");
  // A lone lead byte at the end: the escaper would read past the text's end.
  EXPECT_EQ(HtmlText("end\xC2"), "end\uFFFD");
}

TEST(TerminalTextTest, FollowsTheLocalesCharacterSet) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  ASSERT_TRUE(std::setlocale(LC_ALL, "C.UTF-8"));
  EXPECT_EQ(TerminalText("运行时错误"), "运行时错误");
  // The set-up script makes this locale, as a Chinese desktop of an older install has it.
  ASSERT_TRUE(std::setlocale(LC_ALL, "zh_CN.GB18030")) << "no zh_CN.GB18030 locale: run scripts/setup.sh";
  EXPECT_EQ(TerminalText("运行时错误 url.txt"), "\xD4\xCB\xD0\xD0\xCA\xB1\xB4\xED\xCE\xF3 url.txt");
  ASSERT_TRUE(std::setlocale(LC_ALL, "C"));
  EXPECT_EQ(TerminalText("错误 url.txt"), "?? url.txt") << "a terminal that shows ASCII only";
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(BadAddressTest, InvisibleCharactersShowInBoxesAndTheFindingsNameThem) {
  EXPECT_EQ(VisibleHtml("a b\r\n"),
            "a<span class=\"c\">SP</span>b<span class=\"c\">CR</span><span class=\"c\">LF</span><br>");
  EXPECT_EQ(VisibleHtml("\uFEFFx\t<\x01\xFF"),
            "<span class=\"c\">BOM</span>x<span class=\"c\">TAB</span>&lt;<span class=\"c\">SOH</span>"
            "<span class=\"c\">FF</span>");

  const std::string file = "http://127.0.0.1:8080 \r\n";
  const OwnPage spaced = BadAddressPage(file + "/kefu/login.php?", AddressFile{"/home/a/url.txt", file});
  EXPECT_EQ(spaced.title, "url.txt 中的网站地址无法打开");
  EXPECT_NE(spaced.message.find("空格"), std::string::npos) << spaced.message;
  EXPECT_NE(spaced.message.find("换行"), std::string::npos) << spaced.message;
  EXPECT_NE(spaced.message.find("/home/a/url.txt"), std::string::npos) << spaced.message;
  EXPECT_NE(spaced.english.find("spaces"), std::string::npos) << spaced.english;
  EXPECT_NE(spaced.shownHtml.find("8080<span class=\"c\">SP</span>"), std::string::npos) << spaced.shownHtml;

  // Saved as UTF-16: shown as the editor shows it, and said so.
  std::string wide = "\xFF\xFE";
  for (const char c : std::string("http://h")) wide += std::string{c, '\0'};
  const OwnPage utf16 =
      BadAddressPage(StrConv(wide, vbUnicode) + "/kefu/login.php?", AddressFile{"/w/url.txt", wide});
  EXPECT_NE(utf16.message.find("UTF-16"), std::string::npos) << utf16.message;
  EXPECT_NE(utf16.shownHtml.find("<span class=\"c\">BOM</span>http://h"), std::string::npos) << utf16.shownHtml;

  // An address that came from no file is shown whole, and the page names url.txt in general.
  const OwnPage hostless = BadAddressPage("http:///kefu/login.php?", std::nullopt);
  EXPECT_EQ(hostless.title, "网站地址无法打开");
  EXPECT_NE(hostless.message.find("主机名"), std::string::npos) << hostless.message;
}

}  // namespace
}  // namespace tavro::platform::gtk
