// Start-up as the site and the desktop see it: what is requested, in which order, where the
// window appears, and the start timeline. (url.txt as it may be found: robust_test.cpp.)
#include <time.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>

#include "e2e_fixture.h"
#include "tavro_config.h"

namespace tavro::e2e {
namespace {

const std::string kLoginTitle = "客服登录";

TEST_F(AdPageTest, StartupRequestsLoginThenAdInACentredWindowCaptionedWithTheLoginTitle) {
  StartX();
  // The login page signs in by itself 2.5 s after it has loaded: its POST comes after whatever
  // tavro and the pages ask for at start-up, and marks the end of it.
  StartSite(*port_, 2500);
  PrepareWorkingFolder();
  StartTavro();

  // The caption follows the page title on the 500 ms timer: measured from the moment the
  // login page was requested.
  std::optional<Clock::time_point> loginRequested;
  const bool captioned = WaitUntil(
      [&] {
        if (!loginRequested) {
          for (const auto& r : site_->Requests())
            if (r.target == "/kefu/login.php?") loginRequested = Clock::now();
        }
        return app_->Caption() == kLoginTitle;
      },
      60s, 10ms);
  const auto captionedAt = Clock::now();
  ASSERT_TRUE(loginRequested) << "no login page request" << Describe();
  ASSERT_TRUE(captioned) << "caption: \"" << app_->Caption() << "\"";
  const auto lag = MillisBetween(*loginRequested, captionedAt);
  std::cout << "[ e2e ] login page request to caption: " << lag << " ms\n";
  EXPECT_LE(lag, 2000) << "the caption took too long to follow the page title";

  ASSERT_TRUE(WaitUntil([&] { return PageRequests().size() >= 2; }, 30s)) << Describe();
  std::vector<SiteRequest> beforeSignIn;
  ASSERT_TRUE(WaitUntil(
      [&] {
        beforeSignIn = PageRequests();
        const auto signIn = std::find_if(beforeSignIn.begin(), beforeSignIn.end(),
                                         [](const SiteRequest& r) { return r.method == "POST"; });
        if (signIn == beforeSignIn.end()) return false;
        beforeSignIn.erase(signIn, beforeSignIn.end());
        return true;
      },
      30s))
      << "the login page did not sign in" << Describe();
  // The pages load nothing of their own.
  const std::vector<SiteRequest> expected = {{"GET", "/kefu/login.php?", "-"}, {"GET", "/ad.html", "-"}};
  EXPECT_EQ(beforeSignIn, expected) << Describe();

  const auto main = app_->MainWindow();
  ASSERT_TRUE(main);
  EXPECT_EQ(x_->State(*main), MapState::Viewable);
  const auto g = x_->Geometry(*main);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->width, 318);
  EXPECT_EQ(g->height, 723);
  EXPECT_EQ(g->x, (1280 - 318) / 2);
  EXPECT_EQ(g->y, (1024 - 723) / 2);
  EXPECT_EQ(x_->WmClass(*main).rfind("tavro.", 0), 0u) << x_->WmClass(*main);
}

class StartupTest : public TavroE2eTest {};

double MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The start timeline the benchmark reads: every line of it, its names and their order.
TEST_F(StartupTest, TimelineOnStderrGivesEachMilestoneOnceOnTheMonotonicClockAndOnlyWhenAskedFor) {
  StartX();
  StartSite();
  PrepareWorkingFolder();
  const double started = MonotonicSeconds();
  StartTavro({{"TAVRO_TIMELINE", "1"}});
  const std::string prefix = "tavro-timeline ";
  ASSERT_TRUE(WaitUntil([&] { return app_->Proc().Stderr().find(prefix + "caption ") != std::string::npos; }, 60s))
      << "stderr: " << app_->Proc().Stderr();
  ASSERT_TRUE(WaitForCaption(kLoginTitle, 30s)) << app_->Caption();
  const double captioned = MonotonicSeconds();

  const std::regex format(R"(tavro-timeline ([a-z]+) ([0-9]+\.[0-9]{6}))");
  std::vector<std::string> names;
  std::map<std::string, double> at;
  double last = 0;
  std::istringstream err(app_->Proc().Stderr());
  for (std::string line; std::getline(err, line);) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, format)) << "\"" << line << "\"";
    const double seconds = std::stod(m[2]);
    EXPECT_GE(seconds, last) << line;
    EXPECT_GE(seconds, started) << line << ": not on the monotonic clock, or before the start";
    EXPECT_LE(seconds, captioned) << line;
    last = seconds;
    EXPECT_TRUE(at.emplace(m[1], seconds).second) << m[1] << " written twice";
    names.push_back(m[1]);
  }
  // The tick and the title may come either way round; everything else has one order.
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{"caption", "context", "load", "main", "tick", "title", "toolkit", "view"}))
      << app_->Proc().Stderr();
  const std::vector<std::string> chain = {"main", "toolkit", "context", "view", "load", "title", "caption"};
  for (std::size_t i = 1; i < chain.size(); ++i) {
    if (at.count(chain[i - 1]) && at.count(chain[i])) {
      EXPECT_LE(at[chain[i - 1]], at[chain[i]]) << chain[i];
    }
  }
  if (at.count("tick") && at.count("caption")) {
    EXPECT_LE(at["tick"], at["caption"]);
  }

  // Unset or empty, the switch is off: the same start writes none of it.
  StopTavro();
  StartTavro({{"TAVRO_TIMELINE", ""}});
  ASSERT_TRUE(WaitForCaption(kLoginTitle, 60s)) << app_->Caption();
  EXPECT_EQ(app_->Proc().Stderr().find("tavro-timeline"), std::string::npos) << app_->Proc().Stderr();
}

}  // namespace
}  // namespace tavro::e2e
