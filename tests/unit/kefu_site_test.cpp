// The demo customer-service site, driven over a real 127.0.0.1 socket.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "harness/wait.h"
#include "kefu_site.h"

namespace {

namespace fs = std::filesystem;
using kefu::JsString;

class KefuSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = fs::temp_directory_path() / ("kefu_site_test_" + std::to_string(::getpid()) + ".log");
    fs::remove(log_);
    site_ = std::make_unique<kefu::Site>(kefu::SiteOptions{"QQ1234567", log_.string(), -1, 10000, 30});
    port_ = site_->Start(0);
    ASSERT_GT(port_, 0);
    cli_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
  }
  void TearDown() override {
    site_.reset();
    fs::remove(log_);
  }
  httplib::Headers Cookie(const std::string& id) { return {{"Cookie", "theme=dark; KEFUSESSID=" + id}}; }
  std::string Login() {
    auto r = cli_->Post("/kefu/login.php", "user=demo&password=demo12%33", "application/x-www-form-urlencoded");
    std::smatch m;
    const std::string cookie = r ? r->get_header_value("Set-Cookie") : "";
    return std::regex_match(cookie, m, std::regex("KEFUSESSID=([0-9a-f]{32}); Path=/; HttpOnly; SameSite=Lax")) ? m[1].str() : "";
  }
  std::vector<std::string> LogLines() {
    std::ifstream in(log_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path log_;
  std::unique_ptr<kefu::Site> site_;
  int port_ = 0;
  std::unique_ptr<httplib::Client> cli_;
};

TEST_F(KefuSiteTest, LoginPageIsAPlainPostFormWithOrWithoutEmptyQuery) {
  for (const char* path : {"/kefu/login.php", "/kefu/login.php?"}) {
    auto r = cli_->Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(r->get_header_value("Cache-Control"), "no-store");
    EXPECT_NE(r->body.find("<title>客服登录</title>"), std::string::npos);
    EXPECT_NE(r->body.find("<form id=\"login\" method=\"post\" action=\"/kefu/login.php\">"), std::string::npos);
    EXPECT_EQ(r->body.find("QQ1234567"), std::string::npos);
  }
}

TEST_F(KefuSiteTest, OnlyTheDemoAccountInTheBodySignsIn) {
  const char* form = "application/x-www-form-urlencoded";
  for (const char* body : {"user=demo&password=wrong", "user=demo", "", "user=Demo&password=demo123"}) {
    auto r = cli_->Post("/kefu/login.php", body, form);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << body;
    EXPECT_NE(r->body.find("用户名或密码错误"), std::string::npos) << body;
    EXPECT_FALSE(r->has_header("Set-Cookie")) << body;
  }
  // Credentials in the query string are not a form submission.
  auto q = cli_->Post("/kefu/login.php?user=demo&password=demo123", "", form);
  ASSERT_TRUE(q);
  EXPECT_FALSE(q->has_header("Set-Cookie"));

  auto ok = cli_->Post("/kefu/login.php", "user=demo&password=demo123", form);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 302);
  EXPECT_EQ(ok->get_header_value("Location"), "/kefu/index.php");
  const std::string a = Login(), b = Login();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);
  EXPECT_EQ(site_->Sessions().Size(), 3u);
}

TEST_F(KefuSiteTest, ConsoleNeedsALiveSessionAndLogoutEndsIt) {
  auto anon = cli_->Get("/kefu/index.php");
  ASSERT_TRUE(anon);
  EXPECT_EQ(anon->status, 302);
  EXPECT_EQ(anon->get_header_value("Location"), "/kefu/login.php?");
  EXPECT_EQ(cli_->Get("/kefu/index.php", Cookie("0123456789abcdef0123456789abcdef"))->status, 302);

  const std::string id = Login();
  ASSERT_FALSE(id.empty());
  auto console = cli_->Get("/kefu/index.php", Cookie(id));
  ASSERT_TRUE(console);
  EXPECT_EQ(console->status, 200);
  EXPECT_NE(console->body.find("<title>在线客服 - QQ1234567</title>"), std::string::npos);
  EXPECT_EQ(console->body.find(id), std::string::npos);
  EXPECT_EQ(cli_->Get("/kefu/session.php", Cookie(id))->body, "valid");

  auto out = cli_->Get("/ajax.php?act=out", Cookie(id));
  ASSERT_TRUE(out);
  EXPECT_EQ(out->status, 200);
  EXPECT_NE(out->body.find("<title>已退出</title>"), std::string::npos);
  EXPECT_NE(out->get_header_value("Set-Cookie").find("KEFUSESSID=; Path=/; Max-Age=0"), std::string::npos);
  EXPECT_EQ(cli_->Get("/kefu/session.php", Cookie(id))->body, "invalid");
  EXPECT_EQ(cli_->Get("/kefu/index.php", Cookie(id))->status, 302);
}

TEST_F(KefuSiteTest, ErrorAnswers) {
  EXPECT_EQ(cli_->Get("/ajax.php")->status, 400);
  EXPECT_EQ(cli_->Get("/ajax.php?act=in")->status, 400);
  auto missing = cli_->Get("/kefu/nothing.php");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_EQ(missing->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_FALSE(missing->body.empty());
  EXPECT_EQ(cli_->Put("/kefu/login.php", "x", "text/plain")->status / 100, 4);
}

TEST_F(KefuSiteTest, LogHasOneLinePerRequestWithRawTargetAndSession) {
  cli_->Get("/kefu/login.php?");
  const std::string id = Login();
  cli_->Get("/kefu/session.php?x=%20", Cookie(id));
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "GET /kefu/login.php? -");
  EXPECT_EQ(lines[1], "POST /kefu/login.php -");
  EXPECT_EQ(lines[2], "GET /kefu/session.php?x=%20 " + id);
  EXPECT_EQ(kefu::LogSafe("/a\r\nb\x7f\t"), "/a??b??");
}

TEST_F(KefuSiteTest, TitlePageCannotBeBrokenOutOf) {
  const std::string hostile = "</script><script>document.title='x'</script>\"\\";
  auto r = cli_->Get("/kefu/lab/title.php?t=" + httplib::detail::encode_query_param(hostile));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->body.find("<script>document.title='x'"), std::string::npos);
  EXPECT_EQ(r->body.find("</script>"), r->body.rfind("</script>"));  // only the page's own
  EXPECT_EQ(JsString("a\"b\\c</script>"), "\"a\\\"b\\\\c\\u003c/script\\u003e\"");
  EXPECT_EQ(JsString("\n\x01\xE2\x80\xA8"), "\"\\n\\u0001\\u2028\"");
  EXPECT_EQ(JsString("中\xff"), "\"中\\ufffd\"");
  EXPECT_EQ(JsString("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");  // a lone surrogate
}

TEST_F(KefuSiteTest, HangingPageNeitherBlocksOthersNorStop) {
  std::thread slow([port = port_] { httplib::Client("127.0.0.1", port).Get("/kefu/lab/hang.php"); });
  // Logged before it is handled: from then on its answer is held back.
  EXPECT_TRUE(tavro::test::WaitUntil(
      [&] {
        const auto lines = LogLines();
        return std::find(lines.begin(), lines.end(), "GET /kefu/lab/hang.php -") != lines.end();
      },
      std::chrono::seconds(10)))
      << "the slow request never reached the site";
  auto ad = cli_->Get("/ad.html");
  ASSERT_TRUE(ad);
  EXPECT_NE(ad->body.find("<title>Tavro 广告</title>"), std::string::npos);
  const auto start = std::chrono::steady_clock::now();
  site_->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  slow.join();
}

TEST(KefuHtmlEscape, MarkupCannotBreakOutAndMalformedTextComesOutValid) {
  EXPECT_EQ(kefu::HtmlEscape("<a title=\"x\">'&'</a> 中"),
            "&lt;a title=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt; 中");
  EXPECT_EQ(kefu::HtmlEscape(""), "");
  // A session cookie or a query is whatever the client sent: bad bytes and NUL become U+FFFD, and
  // a sequence cut at the end of the text is not read past it.
  EXPECT_EQ(kefu::HtmlEscape(std::string_view("a\xff\0<", 4)), "a\uFFFD\uFFFD&lt;");
  EXPECT_EQ(kefu::HtmlEscape(std::string_view("b\xC2\x85", 2)), "b\uFFFD");
}

TEST(KefuSessionStore, ForgetsTheOldestBeyondCapacity) {
  kefu::SessionStore store(2);
  const std::string a = store.Create(), b = store.Create(), c = store.Create();
  EXPECT_FALSE(store.Valid(a));
  EXPECT_TRUE(store.Valid(b) && store.Valid(c));
  EXPECT_TRUE(store.Remove(b));
  EXPECT_FALSE(store.Remove(b));
  EXPECT_FALSE(store.Valid(""));
  EXPECT_EQ(store.Size(), 1u);
}

}  // namespace
