// Which addresses only another program of the desktop opens, and the question's words: a PDF or
// a blob the engine shows itself must never be taken for a program's, and a page's address or a
// program's name must not reach the box unbounded or with characters that reorder it.
#include <glib.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/gtk/browser/windows/program_links.h"

namespace tavro::platform::gtk {
namespace {

TEST(ProgramLinksTest, AddressesOfOtherProgramsAreToldFromTheEnginesOwn) {
  EXPECT_EQ(OtherProgramScheme("tencent://message/?uin=10001&Site=kefu&Menu=yes"), "tencent");
  EXPECT_EQ(OtherProgramScheme("TENCENT://message/?uin=10001"), "tencent") << "schemes know no case";
  EXPECT_EQ(OtherProgramScheme("weixin://dl/chat"), "weixin");
  EXPECT_EQ(OtherProgramScheme("mailto:kefu@example.com"), "mailto");
  EXPECT_EQ(OtherProgramScheme("tel:+86-10-1234-5678"), "tel");
  EXPECT_EQ(OtherProgramScheme("sms:10086"), "sms");
  EXPECT_EQ(OtherProgramScheme("ms-word:ofe|u|http://127.0.0.1/a.docx"), "ms-word");
  EXPECT_EQ(OtherProgramScheme("ftp://127.0.0.1/file"), "ftp") << "the engine loads no ftp:";

  for (const char* engines : {"http://127.0.0.1/kefu/", "HTTPS://127.0.0.1/", "file:///etc/hostname",
                              "data:text/html,x", "blob:http://127.0.0.1/1b2c", "about:blank",
                              "javascript:void(0)", "resource:///org/gtk/x", "webkit-pdfjs-viewer://pdfjs/web/viewer.html"})
    EXPECT_EQ(OtherProgramScheme(engines), std::nullopt) << engines;
  for (const char* none : {"", "//127.0.0.1/x", "1tencent://x", "tencent", "/kefu/login.php", ":x"})
    EXPECT_EQ(OtherProgramScheme(none), std::nullopt) << none;
}

TEST(ProgramLinksTest, TheQuestionNamesTheProgramAndShowsTheAddressOnOneBoundedLine) {
  EXPECT_EQ(OpenWithQuestion("QQ"), "用 QQ 打开这个链接吗？");
  EXPECT_EQ(RememberForSchemeText("tencent"), "退出前对 tencent: 链接都这样回答");

  // A right-to-left override would show the address backwards, a line break push it off the box.
  const std::string tricky = "tencent://message/?uin=1\n\xE2\x80\xAEgpj.exe\x07";
  const std::string shown = AddressForText(tricky);
  EXPECT_EQ(shown.find('\n'), std::string::npos);
  EXPECT_EQ(shown.find('\x07'), std::string::npos);
  EXPECT_EQ(shown.find("\xE2\x80\xAE"), std::string::npos);
  EXPECT_NE(shown.find("gpj.exe"), std::string::npos) << shown;
  EXPECT_EQ(OpenWithQuestion("Q\xE2\x80\xAEQ\n").find("\xE2\x80\xAE"), std::string::npos);

  // Long ones are cut before a character, never inside one.
  std::string chinese = "mailto:kefu@example.com?subject=";
  for (int i = 0; i < 500; ++i) chinese += "咨询";
  const std::string cut = AddressForText(chinese);
  EXPECT_LT(cut.size(), 320u);
  EXPECT_TRUE(g_utf8_validate(cut.c_str(), static_cast<gssize>(cut.size()), nullptr)) << cut;
  EXPECT_EQ(cut.substr(cut.size() - 3), "…");
  EXPECT_LT(OpenWithQuestion(std::string(5000, 'Q')).size(), 200u);
  EXPECT_LT(RememberForSchemeText(std::string(5000, 'x')).size(), 100u);
  EXPECT_EQ(AddressForText("tel:10086"), "tel:10086");
}

}  // namespace
}  // namespace tavro::platform::gtk
