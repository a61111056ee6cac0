// The demo site's busy-day chat, driven over a real 127.0.0.1 socket.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "kefu_site.h"

namespace {

using namespace std::chrono_literals;

struct Message {
  std::int64_t seq, sent;
};

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class KefuChatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = std::make_unique<kefu::Site>(kefu::SiteOptions{"QQ1234567", "", -1, 10000, 30});
    port_ = site_->Start(0);
    ASSERT_GT(port_, 0);
    cli_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
    cli_->set_read_timeout(30, 0);
  }

  std::vector<Message> Poll(const std::string& client, std::int64_t after, int interval_ms) {
    auto r = cli_->Get("/kefu/lab/chat/poll?client=" + client + "&after=" + std::to_string(after) +
                       "&interval=" + std::to_string(interval_ms));
    std::vector<Message> out;
    if (!r || r->status != 200) {
      ADD_FAILURE() << "poll of " << client << " failed";
      return out;
    }
    const std::regex each("\\{\"seq\":([0-9]+),\"sent\":([0-9]+),\"from\":\"[^\"]+\",\"text\":\"[^\"]+\"\\}");
    for (std::sregex_iterator m(r->body.begin(), r->body.end(), each), end; m != end; ++m)
      out.push_back({std::stoll((*m)[1]), std::stoll((*m)[2])});
    return out;
  }
  int Status(const std::string& path) {
    auto r = cli_->Get(path);
    return r ? r->status : -1;
  }
  int Report(const std::string& query, const std::string& body) {
    auto r = cli_->Post("/kefu/lab/chat/report?" + query, body, "text/plain");
    return r ? r->status : -1;
  }
  std::string Log(const std::string& client) {
    auto r = cli_->Get("/kefu/lab/chat/log?client=" + client);
    return r && r->status == 200 ? r->body : "";
  }

  std::unique_ptr<kefu::Site> site_;
  int port_ = 0;
  std::unique_ptr<httplib::Client> cli_;
};

TEST_F(KefuChatTest, MessagesComeOnceEachAtTheirIntervalAndWaitForAPageThatIsAway) {
  const std::int64_t before = NowMs();
  const auto first = Poll("tavro", 0, 50);
  ASSERT_EQ(first.size(), 1u);  // a new stream starts with a message at once
  EXPECT_EQ(first[0].seq, 1);
  EXPECT_GE(first[0].sent, before);
  EXPECT_LE(first[0].sent, NowMs());

  const auto second = Poll("tavro", 1, 50);  // held until the next one is due
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].seq, 2);
  EXPECT_EQ(second[0].sent, first[0].sent + 50);
  EXPECT_GE(NowMs(), second[0].sent);

  // Away for a while: what was sent meanwhile waits, each with the time it was sent.
  std::this_thread::sleep_for(400ms);
  const auto queued = Poll("tavro", 2, 1000);  // the stream keeps the interval it started with
  ASSERT_GE(queued.size(), 6u);
  for (std::size_t i = 0; i < queued.size(); ++i) {
    EXPECT_EQ(queued[i].seq, 3 + static_cast<std::int64_t>(i));
    EXPECT_EQ(queued[i].sent, first[0].sent + (queued[i].seq - 1) * 50);
  }
  EXPECT_LT(queued.front().sent, NowMs() - 250);

  // A page loaded again asks from the start: it gets what it has not acknowledged, not again
  // what it has.
  const auto reloaded = Poll("tavro", 0, 50);
  ASSERT_FALSE(reloaded.empty());
  EXPECT_EQ(reloaded.front().seq, 3);
  EXPECT_GE(reloaded.back().seq, queued.back().seq);

  // Another client has a stream of its own.
  const auto other = Poll("chromium", 0, 50);
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].seq, 1);
}

TEST_F(KefuChatTest, AnAnswerLeavesWhenItsMessageIsDue) {
  // Lateness is the benchmark's figure: the site must not add the 40 ms a body written after its
  // headers waits for the client's delayed acknowledgement, as it would on a connection kept
  // open, as browsers keep theirs.
  cli_->set_keep_alive(true);
  std::int64_t after = Poll("prompt", 0, 100).back().seq;
  int slow = 0;
  for (int i = 0; i < 12; ++i) {
    const auto got = Poll("prompt", after, 100);
    ASSERT_FALSE(got.empty());
    if (NowMs() - got.back().sent >= 30) ++slow;
    after = got.back().seq;
  }
  EXPECT_LE(slow, 3);
}

TEST_F(KefuChatTest, ReportedArrivalsMakeEachClientsLog) {
  const auto one = Poll("tavro", 0, 50);
  const auto two = Poll("tavro", 1, 50);
  Poll("chromium", 0, 50);
  ASSERT_EQ(one.size(), 1u);
  ASSERT_EQ(two.size(), 1u);
  const std::int64_t s1 = one[0].sent, s2 = two[0].sent;

  // A duplicate keeps the first arrival; a message not yet sent, an arrival before its message
  // left and malformed lines are refused and counted.
  const std::string body = "1 " + std::to_string(s1 + 7) + "\n2 " + std::to_string(s2 + 3) + "\r\n1 " +
                           std::to_string(s1 + 999) + "\n999999 " + std::to_string(NowMs()) +
                           "\nx y\n3\n\n2 5\n";
  EXPECT_EQ(Report("client=tavro&page=p1&played=3&refused=1&why=NotAllowedError", body), 204);
  // Sound counts: a page load's counts are its latest, however often they come; loads add up.
  EXPECT_EQ(Report("client=tavro&page=p1&played=2&refused=1", ""), 204);
  EXPECT_EQ(Report("client=tavro&page=p2&played=4&refused=0", ""), 204);

  const std::string log = Log("tavro");
  std::smatch header;
  ASSERT_TRUE(std::regex_search(log, header,
                                std::regex("^client tavro start ([0-9]+) interval 50 generated ([0-9]+) "
                                           "acknowledged 1 dropped 0 rejected 4 loads 2 played 7 refused 1 "
                                           "why NotAllowedError\n")))
      << log;
  EXPECT_EQ(std::stoll(header[1]), s1);
  EXPECT_EQ(log.substr(header[0].length()), "1 " + std::to_string(s1) + " " + std::to_string(s1 + 7) +
                                                "\n2 " + std::to_string(s2) + " " + std::to_string(s2 + 3) +
                                                "\n");

  const std::string other = Log("chromium");
  EXPECT_NE(other.find("client chromium "), std::string::npos);
  EXPECT_EQ(other.find('\n'), other.size() - 1) << other;  // nothing reported
  EXPECT_EQ(Status("/kefu/lab/chat/log?client=nobody"), 404);
  EXPECT_EQ(Report("client=nobody&page=p1&played=0&refused=0", "1 1"), 404);
}

TEST_F(KefuChatTest, BadInputIsRefused) {
  for (const std::string& client : std::vector<std::string>{"", "a%20b", "..%2Fx", std::string(33, 'a')})
    EXPECT_EQ(Status("/kefu/lab/chat/poll?client=" + client + "&after=0"), 400) << client;
  for (const char* query : {"interval=49", "interval=60001", "interval=1e3", "after=-1", "after=1.5"})
    EXPECT_EQ(Status(std::string("/kefu/lab/chat/poll?client=c&") + query), 400) << query;
  EXPECT_EQ(Status("/kefu/lab/chat/log?client=a%20b"), 400);

  Poll("c", 0, 50);
  EXPECT_EQ(Report("client=c&played=1&refused=0", ""), 400);  // no page
  EXPECT_EQ(Report("client=c&page=p&played=x&refused=0", ""), 400);
  // A reason from the page reaches the one-line log as a bare name.
  EXPECT_EQ(Report("client=c&page=p&played=0&refused=1&why=%3Cb%3E%20x%0Ay", ""), 204);
  EXPECT_NE(Log("c").find(" why bxy\n"), std::string::npos) << Log("c");

  // Streams are bounded in number, below the site's server threads, so that polls waiting for
  // their message cannot hold them all; those there are still served, and so is the rest of the site.
  int refused = 0;
  for (int i = 0; i < 20; ++i)
    if (Status("/kefu/lab/chat/poll?client=n" + std::to_string(i) + "&after=0&interval=60000") == 503)
      ++refused;
  EXPECT_EQ(refused, 5);  // 16 in all, "c" among them
  std::vector<std::thread> waiting;
  for (int i = 0; i < 15; ++i)
    waiting.emplace_back([this, i] {
      httplib::Client cli("127.0.0.1", port_);
      cli.set_read_timeout(60, 0);
      cli.Get("/kefu/lab/chat/poll?client=n" + std::to_string(i) + "&after=1&interval=60000");
    });
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Status("/kefu/login.php"), 200);
  EXPECT_EQ(Poll("c", 0, 50).front().seq, 1);
  site_->Stop();  // answers the waiting polls
  for (auto& t : waiting) t.join();
}

TEST_F(KefuChatTest, StoppingTheSiteAnswersAWaitingPoll) {
  Poll("slow", 0, 60000);
  std::thread waiting([this] {
    httplib::Client cli("127.0.0.1", port_);
    cli.set_read_timeout(60, 0);
    cli.Get("/kefu/lab/chat/poll?client=slow&after=1&interval=60000");
  });
  std::this_thread::sleep_for(200ms);
  const auto start = std::chrono::steady_clock::now();
  site_->Stop();
  waiting.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(KefuChatTest, PageCarriesTheMarkerAndTheToneIsCacheable) {
  auto page = cli_->Get("/kefu/lab/chat.html?client=tavro");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("<title>在线客服 - QQ1234567</title>"), std::string::npos);
  EXPECT_NE(page->body.find("new Audio('/kefu/lab/chat/tone.wav').play()"), std::string::npos);
  auto tone = cli_->Get("/kefu/lab/chat/tone.wav");
  ASSERT_TRUE(tone);
  EXPECT_EQ(tone->get_header_value("Content-Type"), "audio/wav");
  EXPECT_EQ(tone->get_header_value("Cache-Control"), "max-age=86400");
  EXPECT_EQ(tone->body.substr(0, 4), "RIFF");
}

}  // namespace
