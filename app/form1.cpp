// The main window's behaviour: start-up, outline, dragging, minimising, title monitor, exit.
#include "form1.h"

#include "platform/numeric.h"
#include "platform/text.h"
#include "tavro_config.h"

namespace tavro::app {
namespace {

constexpr char kSiteAddressFile[] = "url.txt";
constexpr int kSiteAddressFileNumber = 1;
constexpr char kLoginPath[] = "/kefu/login.php?";
constexpr char kLogoutPath[] = "/ajax.php?act=out";
constexpr char kAdPageUrl[] = TAVRO_AD_PAGE_URL;
constexpr char kTitleMarker[] = TAVRO_TITLE_MARKER;
constexpr char kEmptyFilePrompt[] = "在url.txt填写您的网址地址即可运行";
constexpr char kExitQuestion[] = "你是否真的要退出吗？";
constexpr char kLoggedInHeader[] = "界面_03.gif";
constexpr char kLoggedInClose[] = "界面_06.gif";
// The signed-in layout's sizes, in twips: the header strip's height, the close button's width and height.
constexpr int kLoggedInHeaderHeight = 400;
constexpr int kLoggedInCloseWidth = 420;
constexpr int kLoggedInCloseHeight = 220;
constexpr int kCornerEllipse = 5;
constexpr int kLeftButton = 1;

}  // namespace

Form1::Form1(platform::Runtime& runtime, platform::WindowSystem& user32, platform::Form& window)
    : runtime_(runtime),
      user32_(user32),
      Me(window),
      Picture1(window.PictureBoxNamed("Picture1")),
      Picture2(window.PictureBoxNamed("Picture2")),
      Picture3(window.PictureBoxNamed("Picture3")),
      WebBrowser1(window.WebBrowserNamed("WebBrowser1")),
      WebBrowser2(window.WebBrowserNamed("WebBrowser2")),
      Timer1(window.TimerNamed("Timer1")) {}

void Form1::Bind() {
  Me.Load = [this] { Form_Load(); };
  Picture1.MouseDown = [this](int Button, int Shift, float x, float Y) { Picture1_MouseDown(Button, Shift, x, Y); };
  Picture3.Click = [this] { Picture3_Click(); };
  Picture2.Click = [this] { Picture2_Click(); };
  Timer1.Tick = [this] { Timer1_Timer(); };
  Me.QueryUnload = [this](int& Cancel, int UnloadMode) { Form_QueryUnload(Cancel, UnloadMode); };
}

void Form1::Form_Load() {
  DoTransparency(Me);

  runtime_.OpenForInput(kSiteAddressFile, kSiteAddressFileNumber);
  const std::int64_t length = runtime_.LOF(kSiteAddressFileNumber);
  const std::string bytes = runtime_.InputB(length, kSiteAddressFileNumber);
  urladd = platform::StrConv(bytes, platform::vbUnicode, 0);
  runtime_.Close(kSiteAddressFileNumber);

  if (urladd.empty()) {
    runtime_.MsgBox(kEmptyFilePrompt, platform::vbOKOnly);
    return;
  }
  WebBrowser1.Navigate(urladd + kLoginPath);
  WebBrowser2.Navigate(kAdPageUrl);
}

void Form1::DoTransparency(platform::Form& TheForm) {
  const std::int32_t w = platform::CLng(platform::Divide(TheForm.Width(), runtime_.TwipsPerPixelX()));
  const std::int32_t h = platform::CLng(platform::Divide(TheForm.Height(), runtime_.TwipsPerPixelY()));
  const std::int32_t region = user32_.CreateRoundRectRgn(0, 0, w, h, kCornerEllipse, kCornerEllipse);
  user32_.SetWindowRgn(TheForm.hWnd(), region, -1);
}

void Form1::Picture1_MouseDown(int Button, int /*Shift*/, float /*x*/, float /*Y*/) {
  if (Button != kLeftButton) return;
  std::int32_t zero = 0;
  user32_.ReleaseCapture();
  user32_.SendMessageA(Me.hWnd(), platform::WM_NCLBUTTONDOWN, platform::HTCAPTION, &zero);
}

void Form1::Picture3_Click() { Me.SetWindowState(platform::vbMinimized); }

void Form1::Picture2_Click() {
  if (runtime_.MsgBox(kExitQuestion, platform::vbOKCancel | platform::vbInformation) == platform::vbCancel)
    return;
  leaving_ = true;
  WebBrowser1.Navigate(urladd + kLogoutPath);

  // The seconds clock starts again at midnight: a negative difference means the day turned.
  const float start = runtime_.Timer();
  for (;;) {
    float elapsed = runtime_.Timer() - start;
    if (elapsed < 0) elapsed += platform::kSecondsPerDay;
    if (elapsed >= platform::kLogoutWaitSeconds) break;
    runtime_.DoEvents();
  }
  runtime_.Unload(Me);
}

// The window is asked to close by anything but Picture2_Click's own Unload. The window system's
// close button is the close button: the same question, logout and wait. When the desktop session
// or the program ends, nobody is asked: the agent is logged out, once, and the program ends.
void Form1::Form_QueryUnload(int& Cancel, int UnloadMode) {
  if (UnloadMode == platform::vbFormControlMenu) {
    Cancel = 1;  // Picture2_Click unloads the window itself, after its second of waiting
    Picture2_Click();
    return;
  }
  if (leaving_) return;
  leaving_ = true;
  WebBrowser1.Navigate(urladd + kLogoutPath);
}

void Form1::Timer1_Timer() {
  Me.SetCaption(WebBrowser1.LocationName());
  if (platform::InStr(1, Me.Caption(), kTitleMarker, platform::vbBinaryCompare) == 0) return;

  Picture1.SetHeight(kLoggedInHeaderHeight);
  Picture1.SetPicture(runtime_.LoadPicture(kLoggedInHeader));
  Picture2.SetWidth(kLoggedInCloseWidth);
  Picture2.SetHeight(kLoggedInCloseHeight);
  Picture2.SetPicture(runtime_.LoadPicture(kLoggedInClose));
  Picture3.SetVisible(true);
  WebBrowser2.SetVisible(true);
}

}  // namespace tavro::app
