// An advertisement that takes all the memory it can: growing arrays, big canvases, thousands of
// frames, an SVG of nested entities. Its web process is ended at its limit and stays ended, the
// whole tree stays under 1 GB, and the console keeps answering throughout. And one that loads
// itself without end is slowed to a few loads a minute.
#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <ostream>
#include <string>

#include "hostile_pages.h"

namespace tavro::browser {
namespace {

struct Attack {
  const char* name;
  const char* html;     // the advertisement's page; it fetches "done" when it has no more to do
  bool endsTheProcess;  // past the limit for certain, or held in one long task
};

// The page reports each step by a request, so that the log shows how far it got.
const Attack kAttacks[] = {
    {"arrays",
     "<!DOCTYPE html><title>ad</title><script>var kept = []; fetch('growing');"
     "(function grow() { for (var i = 0; i < 2; i++) { var a = new Uint8Array(16 << 20);"
     "  for (var j = 0; j < a.length; j += 4096) a[j] = 1; kept.push(a); }"
     "  if (kept.length >= 200) { fetch('done'); return; }"
     "  fetch('grown-' + kept.length); setTimeout(grow, 10); })();</script>",
     true},
    {"canvases",
     "<!DOCTYPE html><title>ad</title><body><script>var kept = []; fetch('growing');"
     "(function grow() { var c = document.createElement('canvas'); c.width = c.height = 4096;"
     "  var g = c.getContext('2d'); g.fillStyle = '#' + (kept.length % 9) + '4a'; g.fillRect(0, 0, 4096, 4096);"
     "  kept.push(c); if (kept.length >= 50) { fetch('done'); return; }"
     "  fetch('grown-' + kept.length); setTimeout(grow, 10); })();</script>",
     true},
    {"frames",
     "<!DOCTYPE html><title>ad</title><body><script>fetch('growing'); var n = 0;"
     "(function grow() { for (var i = 0; i < 100; i++, n++) { var f = document.createElement('iframe');"
     "  f.srcdoc = '<p>' + 'frame '.repeat(2000) + n + '</p>'; document.body.appendChild(f); }"
     "  if (n >= 5000) { fetch('done'); return; } fetch('grown-' + n); setTimeout(grow, 10); })();</script>",
     false},
    {"entities",
     "<!DOCTYPE html><title>ad</title><body><script>fetch('growing');</script>"
     "<img src=\"bomb.svg\" onload=\"fetch('done')\" onerror=\"fetch('done')\">"
     "<iframe src=\"bomb.svg\" onload=\"fetch('done-frame')\"></iframe>",
     true},
};

void PrintTo(const Attack& attack, std::ostream* out) { *out << attack.name; }

std::string EntityBomb() {
  std::string svg = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY a0 \"laughing out loud \">\n";
  for (int i = 1; i <= 12; ++i) {
    svg += "<!ENTITY a" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) svg += "&a" + std::to_string(i - 1) + ";";
    svg += "\">\n";
  }
  return svg + "]>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"><text>&a12;</text></svg>\n";
}

std::size_t Count(const std::string& log, const std::string& what) {
  std::size_t n = 0;
  for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
  return n;
}

class AdvertisementMemoryTest : public AdvertisementTest, public ::testing::WithParamInterface<Attack> {};

TEST_P(AdvertisementMemoryTest, TheTreeStaysUnderOneGigabyteAndAnEndedAdvertisementStaysEnded) {
  const Attack& attack = GetParam();
  AdServer ad(dir_.Sub("ad"), adPort_, attack.html);
  ad.Serve("bomb.svg", EntityBomb());
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/lateness.html");
  StartTavro();
  MainWindowMapped();
  ASSERT_TRUE(ad.WaitRequest("/growing", 60s)) << ad.Requests();

  // Each web process's peak, until the advertisement has done all it can or its process is gone.
  std::map<pid_t, long> peaks;
  long treePeak = 0;
  std::optional<pid_t> ended;
  const auto sample = [&] {
    treePeak = std::max(treePeak, TreePssKb(app_->Pid()));
    const auto live = WebProcessesOf(app_->Pid());
    for (auto& [pid, peak] : peaks)
      if (std::find(live.begin(), live.end(), pid) == live.end()) ended = pid;
    for (pid_t pid : live) peaks[pid] = std::max(peaks[pid], PssKb(pid));
    return ended || ad.WaitRequest("/done", 0ms);
  };
  // An attack that cannot pass the limit is watched for half a minute at most.
  const bool over = WaitUntil(sample, attack.endsTheProcess ? 90s : 30s, 50ms);
  if (!over) std::cout << "[ memory ] " << attack.name << ": still going after 30 s\n";
  std::cout << "[ memory ] " << attack.name << ": the tree at most " << treePeak / 1024 << " MB";
  if (ended) std::cout << "; the advertisement's process ended at " << peaks[*ended] / 1024 << " MB";
  for (const auto& [pid, peak] : peaks) std::cout << "; web process " << pid << " at most " << peak / 1024 << " MB";
  std::cout << "; " << Count(ad.Requests(), "/grown-") << " steps\n";
  if (attack.endsTheProcess) {
    EXPECT_TRUE(ended) << "the advertisement's process was not ended" << ad.Requests();
  }
  EXPECT_LT(treePeak, 1024L * 1024) << "the tree passed 1 GB";

  // The console answers: its title changes twice more (every 500 ms at most); by then a reload of
  // the advertisement would have asked for its page again.
  ASSERT_TRUE(WaitForCaptionChange(10s)) << "the console stands still";
  ASSERT_TRUE(WaitForCaptionChange(10s)) << "the console stands still";
  sample();
  EXPECT_LT(TreePssKb(app_->Pid()), 1024L * 1024);
  if (ended) {
    EXPECT_EQ(Count(ad.Requests(), "GET /ad.html"), 1u) << "the ended advertisement came back" << ad.Requests();
  }
}

INSTANTIATE_TEST_SUITE_P(Attacks, AdvertisementMemoryTest, ::testing::ValuesIn(kAttacks),
                         [](const auto& info) { return std::string(info.param.name); });

class AdvertisementReloadTest : public AdvertisementTest {};

// A reload at every load: the first few go at once (a single reload is never held), then one each
// 15 s, where the engine alone would ask the site twenty times a second.
TEST_F(AdvertisementReloadTest, APageReloadingItselfWithoutEndIsSlowedToAFewLoadsAMinute) {
  AdServer ad(dir_.Sub("ad"), adPort_,
              "<!DOCTYPE html><title>ad</title><script>"
              "addEventListener('load', function () { setTimeout(function () { location.reload(); }, 20); });"
              "</script>");
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/lateness.html");
  StartTavro();
  MainWindowMapped();
  const auto loads = [&] { return Count(ad.Requests(), "GET /ad.html"); };
  // The program's load and the page's four free ones.
  ASSERT_TRUE(WaitUntil([&] { return loads() >= 5; }, 60s)) << ad.Requests();
  const auto fifth = std::chrono::steady_clock::now();
  // The sixth reaches the site and is turned down at its answer; the seventh waits its turn.
  ASSERT_TRUE(WaitUntil([&] { return loads() >= 7; }, 60s)) << ad.Requests();
  const auto waited = std::chrono::steady_clock::now() - fifth;
  std::cout << "[ browser ] the seventh load came "
            << std::chrono::duration_cast<std::chrono::milliseconds>(waited).count() << " ms after the fifth\n";
  EXPECT_GE(waited, 10s) << "the page's loads were not slowed" << ad.Requests();
  ASSERT_TRUE(WaitForCaptionChange(10s)) << "the console stands still";
}

}  // namespace
}  // namespace tavro::browser
