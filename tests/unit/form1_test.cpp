// Form1's handlers over the recording fake: exact call sequences and the state they leave.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fake/fake_platform.h"
#include "fake/checks.h"
#include "app/form/form1_design.h"
#include "platform/address.h"
#include "platform/errors.h"
#include "tavro_config.h"

namespace {

using tavro::fake::CallLog;
using tavro::fake::ErrorOf;
using tavro::fake::FakeForm;
using tavro::fake::FakeRuntime;
using tavro::fake::FakeWindowSystem;
using tavro::fake::IsValidUtf8;
using tavro::fake::ScopedLocale;
using tavro::platform::RuntimeError;
using Calls = std::vector<std::string>;
using namespace std::string_literals;

const std::string kMarker = TAVRO_TITLE_MARKER;
const std::string kLogin = "/kefu/login.php?";
const std::string kBom = "\xEF\xBB\xBF";
const std::string kFFFD = "\xEF\xBF\xBD";
const std::string kExitBox = "MsgBox(你是否真的要退出吗？,65)";

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Calls kOutline = {"CreateRoundRectRgn(0,0,318,723,5,5)", "SetWindowRgn(4242,1,-1)"};
const Calls kLoggedInLayout = {
    "Picture1.Height=400", "LoadPicture(界面_03.gif)", "Picture1.Picture=界面_03.gif",
    "Picture2.Width=420",  "Picture2.Height=220",      "LoadPicture(界面_06.gif)",
    "Picture2.Picture=界面_06.gif", "Picture3.Visible=true", "WebBrowser2.Visible=true"};

// The first control character or space of an address, or npos.
std::size_t FirstUnsafe(const std::string& address) {
  for (std::size_t i = 0; i < address.size(); ++i) {
    const auto c = static_cast<unsigned char>(address[i]);
    if (c <= 0x20 || c == 0x7F) return i;
  }
  return std::string::npos;
}

Calls CaptionFrom(const std::string& title) {
  return {"WebBrowser1.LocationName()", "Form1.Caption=" + title, "Form1.Caption?"};
}

class Form1Test : public ::testing::Test {
 protected:
  CallLog log;
  FakeRuntime runtime{log};
  FakeWindowSystem user32{log};
  FakeForm form{log, tavro::app::Form1Design()};
  tavro::app::Form1 form1{runtime, user32, form};

  // The signed-out layout the monitor starts from, whatever the stored design says.
  void SetUp() override {
    form.Box("Picture3").SetVisible(false);
    form.Browser("WebBrowser2").SetVisible(false);
    log.clear();
  }

  std::string PictureOf(const std::string& box) {
    auto picture = form.Box(box).Picture();
    auto* fake = dynamic_cast<tavro::fake::FakePicture*>(picture.get());
    return fake ? fake->FileName() : "";
  }
};

// ---- wiring -----------------------------------------------------------------------------------

TEST_F(Form1Test, BindsExactlyItsHandlersAndTheyReachForm1) {
  form1.Bind();
  EXPECT_EQ(form.Bindings(), (Calls{"Click:Picture2", "Click:Picture3", "Load", "MouseDown:Picture1", "QueryUnload",
                                    "Timer:Timer1"}));

  form.RaiseClick("Picture3");
  form.RaiseMouseDown("Picture1", 1, 0, 10, 10);
  form.Browser("WebBrowser1").title = "x";
  form.RaiseTimer("Timer1");
  EXPECT_EQ(log, Join({{"Form1.WindowState=1", "ReleaseCapture()", "SendMessageA(4242,161,2,0)"},
                       CaptionFrom("x")}));
}

// ---- start-up ---------------------------------------------------------------------------------

// url.txt as people leave it. Form_Load reads it whole, decodes it under the locale and hands it on
// unchanged: to the login view followed by the login path (which the view's address fix-up turns
// into what `loads` says, nothing where no host is named), and later to the logout. An empty file
// brings the reminder instead of any navigation; a missing one raises after the outline.
struct LoadCase {
  const char* label;
  std::optional<std::string> file;   // nothing: no url.txt
  std::string urladd;                // the file decoded
  std::optional<std::string> loads;  // the login address as the view loads it
  const char* locale = "C.UTF-8";
};

class FormLoadTest : public Form1Test, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(FormLoadTest, ReadsTheWholeFileThenNavigatesOrReminds) {
  const LoadCase& c = GetParam();
  ScopedLocale locale(c.locale);
  ASSERT_TRUE(locale.ok()) << c.locale;
  if (!c.file) {
    try {
      form1.Form_Load();
      FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), 53);
      EXPECT_NE(e.Description().find("url.txt"), std::string::npos);
    }
    EXPECT_EQ(log, Join({kOutline, {"OpenForInput(url.txt,1)"}}));
    return;
  }
  runtime.files["url.txt"] = *c.file;
  form1.Form_Load();

  const Calls read = {"OpenForInput(url.txt,1)", "LOF(1)", "InputB(" + std::to_string(c.file->size()) + ",1)",
                      "Close(1)"};
  const Calls after = c.urladd.empty()
                          ? Calls{"MsgBox(在url.txt填写您的网址地址即可运行,0)"}
                          : Calls{"WebBrowser1.Navigate(" + c.urladd + kLogin + ")",
                                  "WebBrowser2.Navigate(" TAVRO_AD_PAGE_URL ")"};
  EXPECT_EQ(log, Join({kOutline, read, after}));
  EXPECT_EQ(form1.urladd, c.urladd);
  EXPECT_TRUE(IsValidUtf8(form1.urladd));
  EXPECT_EQ(runtime.OpenFileCount(), 0);
  if (!c.urladd.empty()) {
    const std::optional<std::string> loads = tavro::platform::FixUpAddress(c.urladd + kLogin);
    EXPECT_EQ(loads, c.loads);
    if (loads) {
      EXPECT_EQ(FirstUnsafe(*loads), std::string::npos) << *loads;
    }
  }

  runtime.SetClock({0.0F, 5.0F});
  form1.Picture2_Click();
  EXPECT_EQ(form.Browser("WebBrowser1").navigated.back(), c.urladd + "/ajax.php?act=out");
}

INSTANTIATE_TEST_SUITE_P(
    Files, FormLoadTest,
    ::testing::Values(
        LoadCase{"Missing", std::nullopt, "", std::nullopt},
        LoadCase{"Empty", "", "", std::nullopt},
        LoadCase{"OnlyCrLf", "\r\n", "\r\n", std::nullopt},
        LoadCase{"OnlySpaces", "   ", "   ", std::nullopt},
        LoadCase{"SchemeWithoutHost", "http://\r\n", "http://\r\n", std::nullopt},
        LoadCase{"TrailingNewline", "http://x\r\n", "http://x\r\n", "http://x/kefu/login.php?"},
        LoadCase{"LeadingSpace", " http://x", " http://x", "http://x/kefu/login.php?"},
        LoadCase{"FinalSlash", "http://x/", "http://x/", "http://x//kefu/login.php?"},
        LoadCase{"NoScheme", "kefu.example.com", "kefu.example.com", "http://kefu.example.com/kefu/login.php?"},
        LoadCase{"Normal", "http://kefu.example.com", "http://kefu.example.com", "http://kefu.example.com/kefu/login.php?"},
        LoadCase{"Utf8", "http://x/客服", "http://x/客服", "http://x/客服/kefu/login.php?"},
        LoadCase{"ByteOrderMark", kBom + "http://127.0.0.1:8080", kBom + "http://127.0.0.1:8080",
                 "http://127.0.0.1:8080/kefu/login.php?"},
        LoadCase{"ByteOrderMarkAndLineBreak", kBom + "http://x\r\n", kBom + "http://x\r\n", "http://x/kefu/login.php?"},
        LoadCase{"InvalidUtf8", "http://x/\xFF\xC3(", "http://x/" + kFFFD + kFFFD + "(",
                 "http://x/" + kFFFD + kFFFD + "(/kefu/login.php?"},
        LoadCase{"HighBytesUnderC", "http://x/\xC3\xA9", "http://x/" + kFFFD + kFFFD,
                 "http://x/" + kFFFD + kFFFD + "/kefu/login.php?", "C"},
        LoadCase{"NulBytes", "http://x/a\0b\0"s, "http://x/a\0b\0"s, "http://x/a%00b%00/kefu/login.php?"},
        LoadCase{"LeadingNuls", "\0\0http://x"s, "\0\0http://x"s, "http://x/kefu/login.php?"}),
    [](const auto& info) { return std::string(info.param.label); });

class AddressFileTest : public Form1Test {};

TEST_F(AddressFileTest, TenMegabytesAreReadWholeAndStayOneAddress) {
  ScopedLocale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.ok());
  std::string text = "http://127.0.0.1:8080/?q=";
  const std::string line = "客服 kefu line\r\n";
  while (text.size() < 10u * 1024 * 1024) text += line;
  text.resize(10u * 1024 * 1024 - 1);
  text += "x";  // may cut a character before it: its bytes become U+FFFD
  runtime.files["url.txt"] = text;
  form1.Form_Load();
  const auto& navigated = form.Browser("WebBrowser1").navigated;
  ASSERT_EQ(navigated.size(), 1u);
  EXPECT_TRUE(IsValidUtf8(form1.urladd));
  EXPECT_GE(form1.urladd.size(), text.size());
  EXPECT_EQ(form1.urladd.compare(0, 25, text, 0, 25), 0);
  EXPECT_EQ(form1.urladd.back(), 'x');
  const std::string address = tavro::platform::FixUpAddress(navigated[0]).value_or("");
  EXPECT_EQ(FirstUnsafe(address), std::string::npos);
  EXPECT_EQ(address.rfind("x/kefu/login.php?"), address.size() - 17);
}

// ---- outline ----------------------------------------------------------------------------------

struct OutlineCase {
  float twipsX, twipsY, width, height;
  std::string region;
};

class OutlineTest : public Form1Test, public ::testing::WithParamInterface<OutlineCase> {};

TEST_P(OutlineTest, RoundsEachSideToEvenAndClipsTheWindow) {
  const OutlineCase& c = GetParam();
  runtime.twipsPerPixelX = c.twipsX;
  runtime.twipsPerPixelY = c.twipsY;
  form.width = c.width;
  form.height = c.height;
  form1.DoTransparency(form);
  EXPECT_EQ(log, (Calls{"CreateRoundRectRgn(0,0," + c.region + ",5,5)", "SetWindowRgn(4242,1,-1)"}));
}

INSTANTIATE_TEST_SUITE_P(
    Factors, OutlineTest,
    ::testing::Values(OutlineCase{15, 15, 4770, 10845, "318,723"},
                      OutlineCase{12, 12, 4770, 10845, "398,904"},    // 397.5 goes up to even
                      OutlineCase{20, 20, 4770, 10845, "238,542"},    // 238.5 goes down to even
                      OutlineCase{15, 12, 4770, 10845, "318,904"},    // each side its own factor
                      OutlineCase{15, 15, 7.5F, 22.5F, "0,2"}));      // 0.5 and 1.5

TEST_F(Form1Test, OutlineFollowsTheFormHandedIn) {
  tavro::platform::FormDesign other;
  other.name = "Other";
  other.width = 1500;
  other.height = 3000;
  FakeForm second(log, other, 777);
  form1.DoTransparency(second);
  EXPECT_EQ(log, (Calls{"CreateRoundRectRgn(0,0,100,200,5,5)", "SetWindowRgn(777,1,-1)"}));
}

TEST_F(Form1Test, OutlineErrorsComeBeforeAnyWindowCall) {
  runtime.twipsPerPixelX = 0;
  EXPECT_EQ(ErrorOf([&] { form1.DoTransparency(form); }), 11);
  runtime.twipsPerPixelX = 15;
  runtime.twipsPerPixelY = 0;
  EXPECT_EQ(ErrorOf([&] { form1.DoTransparency(form); }), 11);
  runtime.twipsPerPixelY = 1e-6F;  // 10845 / 1e-6 does not fit 32 bits
  EXPECT_EQ(ErrorOf([&] { form1.DoTransparency(form); }), 6);
  runtime.twipsPerPixelY = 15;
  form.width = 3.3e10F;
  EXPECT_EQ(ErrorOf([&] { form1.DoTransparency(form); }), 6);
  EXPECT_TRUE(log.empty());
}

// ---- dragging and minimising ------------------------------------------------------------------

TEST_F(Form1Test, OnlyTheLeftButtonDragsWhateverKeysAreHeld) {
  for (int button : {1, 2, 4}) {
    for (int shift = 0; shift <= 7; ++shift) {
      log.clear();
      form1.Picture1_MouseDown(button, shift, 12.5F, 40);
      const Calls expected =
          button == 1 ? Calls{"ReleaseCapture()", "SendMessageA(4242,161,2,0)"} : Calls{};
      EXPECT_EQ(log, expected) << "button " << button << " shift " << shift;
    }
  }
}

TEST_F(Form1Test, MinimiseOnlySetsTheWindowState) {
  form1.Picture3_Click();
  EXPECT_EQ(log, Calls{"Form1.WindowState=1"});
  EXPECT_EQ(form.WindowState(), 1);
}

// ---- title monitor ----------------------------------------------------------------------------

class TitleTest : public Form1Test, public ::testing::WithParamInterface<std::pair<std::string, bool>> {};

TEST_P(TitleTest, SwitchesLayoutOnlyWhenTheMarkerIsInTheTitle) {
  const auto& [title, found] = GetParam();
  form.Browser("WebBrowser1").title = title;
  form1.Timer1_Timer();
  EXPECT_EQ(log, found ? Join({CaptionFrom(title), kLoggedInLayout}) : CaptionFrom(title));
  EXPECT_EQ(form.Caption(), title);
  EXPECT_EQ(form.Box("Picture3").Visible(), found);
  EXPECT_EQ(form.Browser("WebBrowser2").Visible(), found);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleTest,
    ::testing::Values(std::make_pair(kMarker, true),
                      std::make_pair(kMarker + " 客服工作台", true),
                      std::make_pair("在线客服工作台 - " + kMarker, true),
                      std::make_pair("客服中心" + kMarker + "欢迎", true),
                      std::make_pair("qq" + kMarker.substr(2), false),
                      std::make_pair(kMarker.substr(0, kMarker.size() - 1) + " 登录", false),
                      std::make_pair("客服登录", false),
                      std::make_pair(std::string(), false)));

TEST_F(Form1Test, LaterTitleWithoutMarkerKeepsTheLoggedInLayout) {
  auto& web1 = form.Browser("WebBrowser1");
  web1.title = "工作台 " + kMarker;
  form1.Timer1_Timer();
  log.clear();
  web1.title = "about:blank";
  form1.Timer1_Timer();
  EXPECT_EQ(log, CaptionFrom("about:blank"));
  EXPECT_EQ(form.Box("Picture1").Height(), 400);
  EXPECT_EQ(PictureOf("Picture1"), "界面_03.gif");
  EXPECT_EQ(PictureOf("Picture2"), "界面_06.gif");
  EXPECT_TRUE(form.Box("Picture3").Visible());
  EXPECT_TRUE(form.Browser("WebBrowser2").Visible());
}

TEST_F(Form1Test, EveryMarkerTickReloadsBothFilesAndReleasesTheFormerPictures) {
  std::weak_ptr<tavro::platform::Picture> storedHeader = form.Box("Picture1").Picture();
  ASSERT_FALSE(storedHeader.expired());
  form.Browser("WebBrowser1").title = kMarker;

  form1.Timer1_Timer();
  EXPECT_TRUE(storedHeader.expired());
  form1.Timer1_Timer();
  EXPECT_EQ(log, Join({CaptionFrom(kMarker), kLoggedInLayout, CaptionFrom(kMarker), kLoggedInLayout}));

  ASSERT_EQ(runtime.loadedPictures.size(), 4U);
  EXPECT_TRUE(runtime.loadedPictures[0].expired());
  EXPECT_TRUE(runtime.loadedPictures[1].expired());
  EXPECT_EQ(runtime.loadedPictures[2].lock(), form.Box("Picture1").Picture());
  EXPECT_EQ(runtime.loadedPictures[3].lock(), form.Box("Picture2").Picture());
  EXPECT_EQ(form.Box("Picture1").Picture().use_count(), 2);  // the box and the copy just made
}

struct FailedLoadCase {
  std::string file;
  int error;
  std::size_t rowsApplied;  // calls of kLoggedInLayout made before the failure, the load included
};

void PrintTo(const FailedLoadCase& c, std::ostream* out) { *out << c.file << " error " << c.error; }

class FailedLoadTest : public Form1Test, public ::testing::WithParamInterface<FailedLoadCase> {};

TEST_P(FailedLoadTest, RaisesAndLeavesExactlyTheEarlierRows) {
  const FailedLoadCase& c = GetParam();
  runtime.pictureErrors[c.file] = c.error;
  form.Browser("WebBrowser1").title = kMarker;
  EXPECT_EQ(ErrorOf([&] { form1.Timer1_Timer(); }), c.error);

  const Calls rows(kLoggedInLayout.begin(), kLoggedInLayout.begin() + static_cast<long>(c.rowsApplied));
  EXPECT_EQ(log, Join({CaptionFrom(kMarker), rows}));
  const bool headerFailed = c.file == "界面_03.gif";
  EXPECT_EQ(form.Box("Picture1").Height(), 400);
  EXPECT_EQ(PictureOf("Picture1"), headerFailed ? "/tavro/form/header.gif" : "界面_03.gif");
  EXPECT_EQ(form.Box("Picture2").Width(), headerFailed ? 320 : 420);
  EXPECT_EQ(form.Box("Picture2").Height(), headerFailed ? 420 : 220);
  EXPECT_EQ(PictureOf("Picture2"), "/tavro/form/close.gif");
  EXPECT_FALSE(form.Box("Picture3").Visible());
  EXPECT_FALSE(form.Browser("WebBrowser2").Visible());
}

INSTANTIATE_TEST_SUITE_P(Pictures, FailedLoadTest,
                         ::testing::Values(FailedLoadCase{"界面_03.gif", 53, 2},
                                           FailedLoadCase{"界面_03.gif", 481, 2},
                                           FailedLoadCase{"界面_06.gif", 53, 6},
                                           FailedLoadCase{"界面_06.gif", 481, 6}),
                         [](const ::testing::TestParamInfo<FailedLoadCase>& info) {
                           return std::string(info.param.file.find("03") != std::string::npos ? "Header" : "Close") +
                                  (info.param.error == 53 ? "Missing" : "NotAPicture");
                         });

// ---- exit -------------------------------------------------------------------------------------

TEST_F(Form1Test, CancelOrAClosedBoxEndsTheExitWithNothingElseDone) {
  form1.urladd = "http://x";
  runtime.answers = {tavro::platform::vbCancel};
  form1.Picture2_Click();
  EXPECT_EQ(log, Calls{kExitBox});
  EXPECT_EQ(runtime.effectiveUnloads, 0);
}

TEST_F(Form1Test, OkLogsOutWaitsASecondPumpingEventsThenUnloads) {
  form1.urladd = "http://x";
  runtime.SetClock({100.0F, 100.3F, 100.99F, 101.0F});
  form1.Picture2_Click();
  EXPECT_EQ(log, (Calls{kExitBox, "WebBrowser1.Navigate(http://x/ajax.php?act=out)", "Timer()", "Timer()",
                        "DoEvents()", "Timer()", "DoEvents()", "Timer()", "Unload(Form1)"}));
  EXPECT_EQ(runtime.effectiveUnloads, 1);
}

TEST_F(Form1Test, ElapsedTimeIsTestedBeforeTheFirstPump) {
  runtime.SetClock({100.0F, 102.0F});
  form1.Picture2_Click();
  EXPECT_EQ(log, (Calls{kExitBox, "WebBrowser1.Navigate(/ajax.php?act=out)", "Timer()", "Timer()",
                        "Unload(Form1)"}));
}

TEST_F(Form1Test, WaitRunsOnAcrossMidnight) {
  form1.urladd = "http://x";
  runtime.SetClock({86399.5F, 86399.9F, 0.2F, 0.49F, 0.51F});
  form1.Picture2_Click();
  EXPECT_EQ(log, (Calls{kExitBox, "WebBrowser1.Navigate(http://x/ajax.php?act=out)", "Timer()", "Timer()",
                        "DoEvents()", "Timer()", "DoEvents()", "Timer()", "DoEvents()", "Timer()",
                        "Unload(Form1)"}));
}

TEST_F(Form1Test, SecondClickDuringTheWaitRunsNestedAndUnloadsOnce) {
  form1.urladd = "http://x";
  runtime.SetClock({10.0F, 10.1F, 10.2F, 10.5F, 11.2F, 11.3F});
  bool clicked = false;
  runtime.duringDoEvents = [&] {
    if (clicked) return;
    clicked = true;
    form1.Picture2_Click();
  };
  form1.Picture2_Click();

  const Calls logout = {kExitBox, "WebBrowser1.Navigate(http://x/ajax.php?act=out)"};
  EXPECT_EQ(log, Join({logout, {"Timer()", "Timer()", "DoEvents()"},                      // outer wait
                       logout, {"Timer()", "Timer()", "DoEvents()", "Timer()", "Unload(Form1)"},  // inner
                       {"Timer()", "Unload(Form1)"}}));                                   // outer ends
  EXPECT_EQ(runtime.effectiveUnloads, 1);
  EXPECT_TRUE(form.unloaded);
}

TEST_F(Form1Test, SecondClickCancelledLetsTheFirstExitFinish) {
  runtime.answers = {tavro::platform::vbOK, tavro::platform::vbCancel};
  runtime.SetClock({10.0F, 10.5F, 11.0F});
  bool clicked = false;
  runtime.duringDoEvents = [&] {
    if (!clicked) {
      clicked = true;
      form1.Picture2_Click();
    }
  };
  form1.Picture2_Click();
  EXPECT_EQ(log, (Calls{kExitBox, "WebBrowser1.Navigate(/ajax.php?act=out)", "Timer()", "Timer()",
                        "DoEvents()", kExitBox, "Timer()", "Unload(Form1)"}));
  EXPECT_EQ(runtime.effectiveUnloads, 1);
}

// ---- every other way out ---------------------------------------------------------------------

TEST_F(Form1Test, TheWindowSystemsCloseIsTheCloseButton) {
  form1.Bind();
  form1.urladd = "http://x";
  runtime.answers = {tavro::platform::vbCancel};
  EXPECT_EQ(form.RaiseQueryUnload(tavro::platform::vbFormControlMenu), 1);
  EXPECT_EQ(log, Calls{kExitBox});
  EXPECT_EQ(runtime.effectiveUnloads, 0);

  log.clear();
  runtime.SetClock({10.0F, 11.0F});
  EXPECT_EQ(form.RaiseQueryUnload(tavro::platform::vbFormControlMenu), 1) << "Picture2_Click unloads by itself";
  EXPECT_EQ(log, (Calls{kExitBox, "WebBrowser1.Navigate(http://x/ajax.php?act=out)", "Timer()", "Timer()",
                        "Unload(Form1)"}));
  EXPECT_EQ(runtime.effectiveUnloads, 1);
}

TEST_F(Form1Test, AnEndingSessionLogsOutOnceWithoutAsking) {
  form1.Bind();
  form1.urladd = "http://x";
  for (int mode : {tavro::platform::vbAppWindows, tavro::platform::vbAppTaskManager}) form.RaiseQueryUnload(mode);
  EXPECT_EQ(log, Calls{"WebBrowser1.Navigate(http://x/ajax.php?act=out)"});
  EXPECT_EQ(runtime.effectiveUnloads, 0) << "the runtime ends the program, the handler does not unload";
}

TEST_F(Form1Test, ASessionEndingDuringTheExitWaitSendsNoSecondLogout) {
  form1.Bind();
  form1.urladd = "http://x";
  runtime.SetClock({10.0F, 10.2F, 11.2F});
  runtime.duringDoEvents = [&] { form.RaiseQueryUnload(tavro::platform::vbAppWindows); };
  form1.Picture2_Click();
  EXPECT_EQ(form.Browser("WebBrowser1").navigated, Calls{"http://x/ajax.php?act=out"});
  EXPECT_EQ(runtime.effectiveUnloads, 1);
}

TEST_F(Form1Test, ACancelledExitStillLetsAnEndingSessionLogOut) {
  form1.Bind();
  form1.urladd = "http://x";
  runtime.answers = {tavro::platform::vbCancel};
  form1.Picture2_Click();
  form.RaiseQueryUnload(tavro::platform::vbAppWindows);
  EXPECT_EQ(form.Browser("WebBrowser1").navigated, Calls{"http://x/ajax.php?act=out"});
}

}  // namespace
