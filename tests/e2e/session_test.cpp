// The agent's session: the logged-in layout that the title marker brings, and leaving through
// the close button (Cancel keeps the session; OK logs out and ends the program).
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <vector>

#include "e2e_fixture.h"
#include "tavro_config.h"

namespace tavro::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kLoginTitle = "客服登录";
const std::string kMarker = TAVRO_TITLE_MARKER;

bool HasMarker(const std::string& caption) { return caption.find(kMarker) != std::string::npos; }

// The advertisement banner is a saturated gradient; the console behind it is pale.
std::string CheckAdBanner(const RgbImage& shot) {
  const RgbImage ad = shot.Crop(8, 680, 201, 40);
  int saturated = 0, warm = 0, cool = 0;
  for (int y = 0; y < ad.Height(); ++y) {
    for (int x = 0; x < ad.Width(); ++x) {
      const Rgb c = ad.Pixel(x, y);
      const int hi = std::max({c.r, c.g, c.b}), lo = std::min({c.r, c.g, c.b});
      if (hi - lo >= 60) ++saturated;
      if (c.r > c.b + 60) ++warm;
      if (c.b > c.r + 60) ++cool;
    }
  }
  const int total = ad.Width() * ad.Height();
  if (saturated * 2 >= total && (warm > total / 20 || cool > total / 20)) return {};
  return "the ad view does not show the banner: " + std::to_string(saturated) + " of " + std::to_string(total) +
         " pixels saturated, " + std::to_string(warm) + " warm, " + std::to_string(cool) + " cool";
}

struct LoggedInPictures {
  DecodedPicture header = DecodeGif(SampleImagesDir() / "界面_03.gif");
  DecodedPicture close = DecodeGif(SampleImagesDir() / "界面_06.gif");
  DecodedPicture minimise = MinimisePicture();

  // Empty when the screenshot of the window shows the header, close and minimise pictures.
  std::string CheckButtons(const RgbImage& shot) const {
    std::string out;
    // Corners are cut by the outline; the buttons stand on the header.
    const Rect minimiseRect{253, 0, 26, 17}, closeRect{280, 4, 28, 15};
    if (auto e = ComparePicture(shot, header, 0, 0, 3, {minimiseRect, closeRect}, 3, 314); !e.empty())
      out += " header: " + e + ";";
    if (auto e = ComparePicture(shot, close, 280, 4, 1); !e.empty()) out += " close: " + e + ";";
    if (auto e = ComparePicture(shot, minimise, 253, 0, 1); !e.empty()) out += " minimise: " + e + ";";
    return out;
  }
};

class SessionTest : public TavroE2eTest {};


TEST_F(AdPageTest, LoggedInLayoutAppearsWithinOneTickOfTheMarkerInTheCaption) {
  const LoggedInPictures pictures;
  StartX();
  // The caption samples the title every 500 ms: the login page stays up for more than two
  // samples, so its title must show before the console's.
  StartSite(*port_, 1200);
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();

  // The captions seen in turn, until the console's title shows.
  std::vector<std::string> captions;
  ASSERT_TRUE(WaitForCaption(
      [&](const std::string& c) {
        if (captions.empty() || captions.back() != c) captions.push_back(c);
        return HasMarker(c);
      },
      60s));
  const auto markerSeen = Clock::now();
  std::string seen;
  for (const auto& c : captions) seen += " \"" + c + "\"";
  const auto login = std::find(captions.begin(), captions.end(), kLoginTitle);
  EXPECT_NE(login, captions.end()) << "the login title never showed; captions:" << seen;

  RgbImage shot;
  std::string buttons = "no screenshot", ad = "no screenshot";
  std::optional<long long> buttonsAt, adAt;
  WaitUntil(
      [&] {
        shot = WindowShot(main);
        if (shot.Width() != kMainWidth || shot.Height() != kMainHeight) return false;
        buttons = pictures.CheckButtons(shot);
        ad = CheckAdBanner(shot);
        if (buttons.empty() && !buttonsAt) buttonsAt = MillisBetween(markerSeen, Clock::now());
        if (ad.empty() && !adAt) adAt = MillisBetween(markerSeen, Clock::now());
        return buttons.empty() && ad.empty();
      },
      700ms, 20ms);
  if (!buttons.empty() || !ad.empty()) {
    SaveShot("layout", shot);
    // Late is wrong, but how late tells more than "not in time".
    WaitUntil(
        [&] {
          const RgbImage later = WindowShot(main);
          if (later.Width() != kMainWidth || later.Height() != kMainHeight) return false;
          if (!buttonsAt && pictures.CheckButtons(later).empty()) buttonsAt = MillisBetween(markerSeen, Clock::now());
          if (!adAt && CheckAdBanner(later).empty()) adAt = MillisBetween(markerSeen, Clock::now());
          return buttonsAt && adAt;
        },
        10s, 20ms);
  }
  std::cout << "[ e2e ] marker in caption to header and buttons: " << (buttonsAt ? std::to_string(*buttonsAt) : "-")
            << " ms, to the ad banner: " << (adAt ? std::to_string(*adAt) : "-") << " ms\n";
  EXPECT_EQ(buttons, "") << "within 700 ms of the marker in the caption";
  EXPECT_EQ(ad, "") << "within 700 ms of the marker in the caption";

  const auto requests = site_->Requests();
  EXPECT_NE(std::find_if(requests.begin(), requests.end(), [](const SiteRequest& r) { return r.target == "/ad.html"; }),
            requests.end());
}

// "Remember me" on the site's login page: what the site means to keep (its 30-day cookie, the name
// in its local storage) is there at the next start, in the site's profile folder that only the
// agent can read; the session cookie is not, though this site's logout leaves it set.
TEST_F(SessionTest, TheSitesRememberedSignInOutlivesARestartAndItsSessionDoesNot) {
  StartX();
  StartSite();
  PrepareWorkingFolder(site_->BaseUrl() + "/kefu/lab/at/remember");
  StartTavro();
  XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption(HasMarker, 60s)) << "caption: " << app_->Caption() << Describe();
  const std::string session = ConsoleSession();
  ASSERT_FALSE(session.empty()) << Describe();
  AnswerOkAndExpectEnd(AskToExit(main), 0, true);
  const std::string logout = "/kefu/lab/at/remember/ajax.php?act=out";
  ASSERT_EQ(CountRequests(logout), 1u) << Describe();
  EXPECT_EQ(CountRequests("/kefu/avatar.php?u=demo&from=cookie"), 0u) << "remembered before the sign-in";

  const fs::path sites = home_ / "data" / "tavro" / "sites";
  ASSERT_TRUE(fs::is_directory(sites));
  std::vector<fs::path> profiles(fs::directory_iterator(sites), fs::directory_iterator{});
  ASSERT_EQ(profiles.size(), 1u);
  EXPECT_EQ(fs::status(profiles[0]).permissions() & fs::perms::all, fs::perms::owner_all) << profiles[0];

  StartTavro();
  main = MainWindowMapped();
  // The login page welcomes the agent from the cookie, and shows their picture from the storage.
  auto Remembered = [&](const std::string& from) {
    return WaitUntil([&] { return CountRequests("/kefu/avatar.php?u=demo&from=" + from) == 1; }, 30s);
  };
  EXPECT_TRUE(Remembered("cookie")) << "the 30-day cookie was not kept" << Describe();
  EXPECT_TRUE(Remembered("storage")) << "the page's local storage was not kept" << Describe();
  const auto requests = PageRequests();
  const auto login = std::find_if(requests.rbegin(), requests.rend(), [](const SiteRequest& r) {
    return r.target.rfind("/kefu/lab/at/remember/kefu/login.php", 0) == 0;
  });
  ASSERT_NE(login, requests.rend()) << Describe();
  EXPECT_EQ(login->session, "-") << "the session cookie outlived the program";
  EXPECT_EQ(CountRequests("/kefu/index.php"), 1u) << "signed in again by itself" << Describe();
  AnswerOkAndExpectEnd(AskToExit(main), 0, true);
}

TEST_F(SessionTest, CloseButtonCancelKeepsTheSessionAndOkLogsOutAndExitsAfterOneSecond) {
  StartX();
  StartSite(0, 300);
  PrepareWorkingFolder();
  StartTavro();
  const XWindow main = MainWindowMapped();
  ASSERT_TRUE(WaitForCaption(HasMarker, 60s)) << "caption: " << app_->Caption();
  const std::string session = ConsoleSession();
  ASSERT_FALSE(session.empty()) << "no signed-in console request";
  ASSERT_EQ(site_->Get("/kefu/session.php", session).body, "valid");
  const auto hasLogout = [&] {
    for (const auto& r : site_->Requests())
      if (r.target == "/ajax.php?act=out") return true;
    return false;
  };

  // Cancel: nothing happens.
  input_->Key(AskToExit(main), "Escape");
  ASSERT_TRUE(WaitUntil([&] { return app_->Dialogs().empty(); }, 10s)) << "Escape left the question up";
  // The console puts a new title up every 3 s: by the second one in the caption, an exit or a
  // logout that Cancel had set off would have come.
  for (int change = 0; change < 2 && app_->Proc().Running(); ++change) WaitForCaptionChange(10s);
  EXPECT_TRUE(app_->Proc().Running()) << "exited with " << app_->Proc().ExitCode().value_or(-1) << " after Cancel";
  EXPECT_FALSE(hasLogout()) << "Cancel logged out";
  EXPECT_EQ(site_->Get("/kefu/session.php", session).body, "valid");
  EXPECT_EQ(x_->State(main), MapState::Viewable);

  // OK: log out, keep going for a second, end with code 0.
  AnswerOkAndExpectEnd(AskToExit(main), 0, true);

  ASSERT_TRUE(WaitUntil(hasLogout, 2s)) << "no logout request";
  bool withSession = false;
  for (const auto& r : site_->Requests())
    if (r.method == "GET" && r.target == "/ajax.php?act=out" && r.session == session) withSession = true;
  EXPECT_TRUE(withSession) << "the logout request did not carry the session " << session;
  EXPECT_EQ(site_->Get("/kefu/session.php", session).body, "invalid");
}

}  // namespace
}  // namespace tavro::e2e
