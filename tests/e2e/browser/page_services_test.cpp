// What a page asks of the desktop: permission for notifications (the site's origin only), script
// dialogs (modal boxes with the product's title, answered back to the page) and downloads (saved
// only where the agent chose).
#include <algorithm>
#include <iostream>

#include "browser_fixture.h"
#include "fake_notifications.h"
#include "tavro_config.h"

namespace tavro::browser {
namespace {

namespace fs = std::filesystem;

class NotificationTest : public BrowserTest {
 protected:
  // Opens the lab page that asks for the permission on a click, clicks it, and returns the
  // page's answer as its title shows it.
  std::string AskOnClick(const std::string& labPath, std::map<std::string, std::string> env = {}) {
    AddressLabPage(labPath);
    StartTavro(std::move(env));
    const XWindow main = MainWindowMapped();
    if (!WaitForCaption([](const std::string& c) { return c.rfind("notify ready", 0) == 0; }, 30s))
      return "page not ready: " + app_->Caption();
    const auto [x, y] = ToRoot(main, 160, 400);
    input_->Click(x, y);
    WaitForCaption([](const std::string& c) { return c.rfind("notify ready", 0) != 0; }, 10s);
    return app_->Caption();
  }
};

// WebKitGTK (2.50) refuses notifications outright to pages of an ephemeral session, and Tavro's
// web context is ephemeral (it writes no files): the site's pages get Tavro's own Notification,
// which shows through the desktop's notification service.
TEST_F(NotificationTest, TheSitesOriginHoldsThePermissionWithoutAsking) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/permission.html");
  StartTavro();
  MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.rfind("permission ", 0) == 0; }, 30s))
      << app_->Caption();
  EXPECT_EQ(app_->Caption(), "permission granted");
}

TEST_F(NotificationTest, TheSitesRequestIsGranted) {
  StartX();
  StartSite();
  EXPECT_EQ(AskOnClick("/kefu/lab/notify-click.html"), "notify granted");
}

TEST_F(NotificationTest, TheSitesNotificationShowsOnTheDesktopAndAClickBringsTavroBack) {
  StartX(true);
  StartSite();
  PrivateSessionBus bus;
  FakeNotificationService service(bus.Address());
  ASSERT_EQ(AskOnClick("/kefu/lab/notify-click.html", {{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}}),
            "notify granted");
  const auto call = service.WaitCall(1, 10s);
  ASSERT_TRUE(call) << "no notification reached the desktop";
  EXPECT_EQ(call->summary, "新访客");
  EXPECT_EQ(call->body, "有访客等待接入");
  EXPECT_EQ(call->appName, TAVRO_DISPLAY_NAME);
  EXPECT_EQ(call->actions, (std::vector<std::string>{"default", "打开"}));

  const XWindow main = *app_->MainWindow();
  x_->Iconify(main);
  ASSERT_TRUE(WaitUntil([&] { return x_->Iconic(main); }, 5s)) << "the window manager did not minimise it";
  const auto activations = [&] {
    const auto messages = x_->RootMessagesAbout(main);
    return std::count(messages.begin(), messages.end(), "_NET_ACTIVE_WINDOW");
  };
  const auto before = activations();
  // Another program's notification and another action on ours, then the click on ours: the
  // service sends them in this order, and Tavro takes them in the order they come.
  service.EmitActionInvoked(call->id + 100, "default");
  service.EmitActionInvoked(call->id, "dismiss");
  service.EmitActionInvoked(call->id, "default");
  EXPECT_TRUE(WaitUntil([&] { return !x_->Iconic(main) && x_->State(main) == MapState::Viewable; }, 10s))
      << "the click did not bring the window back";
  // Brought to the front once, for the click: the two before it left Tavro where it was. The
  // page hears the click, the last of the three signals, after Tavro has asked for the window's
  // activation: by then any activation the other two caused has been asked for too.
  ASSERT_TRUE(WaitForCaption("notify clicked", 10s)) << app_->Caption();
  EXPECT_TRUE(WaitUntil([&] { return activations() - before >= 1; }, 10s)) << "the window was not activated";
  EXPECT_EQ(activations() - before, 1) << "another program's notification or another action brought Tavro back";
}

// The main view starts on the site at 127.0.0.1 and is redirected to the same server under
// localhost: another origin, whatever server answers it.
// The first address redirects to the same server under another origin (127.0.0.1 to localhost):
// the site is where it lands, so that origin holds the permission and gets it when it asks.
// (Another origin the site's view goes to later does not: site_notifications_test.)
TEST_F(NotificationTest, TheOriginTheFirstAddressLandsOnHoldsAndGetsThePermission) {
  StartX();
  StartSite();
  EXPECT_EQ(AskOnClick("/kefu/lab/elsewhere.php?path=/kefu/lab/notify-click.html"), "notify granted");
  EXPECT_EQ(CountRequests("/kefu/lab/notify-click.html"), 1u) << Describe();

  StopTavro();
  AddressLabPage("/kefu/lab/elsewhere.php?path=/kefu/lab/permission.html");
  StartTavro();
  MainWindowMapped();
  ASSERT_TRUE(WaitForCaption([](const std::string& c) { return c.rfind("permission ", 0) == 0; }, 30s))
      << app_->Caption() << Describe();
  EXPECT_EQ(app_->Caption(), "permission granted");
}

class ScriptDialogTest : public BrowserTest {
 protected:
  // The next script dialog: a modal box for the main window titled with the display name.
  XWindow ExpectBox(XWindow main) {
    const auto box = app_->WaitDialog(30s);
    if (!box) throw std::runtime_error("no dialog; caption: " + app_->Caption());
    EXPECT_EQ(x_->Title(*box), TAVRO_DISPLAY_NAME);
    EXPECT_EQ(x_->TransientFor(*box), main) << "the box does not belong to the main window";
    EXPECT_TRUE(x_->HasState(*box, "_NET_WM_STATE_MODAL"));
    return *box;
  }
  void Answer(XWindow box, const std::string& key) {
    input_->Key(box, key);
    ASSERT_TRUE(WaitUntil([&] { return x_->State(box) != MapState::Viewable; }, 10s)) << key << " left the box up";
  }
};

TEST_F(ScriptDialogTest, AlertWaitsForTheAgentInABoxTitledWithTheProductName) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/alert-then-request.html");
  StartTavro();
  const XWindow main = MainWindowMapped();
  const XWindow box = ExpectBox(main);
  // The page's script stands still until the box is answered: the request it makes after the
  // alert comes after one the test makes while the box is up, and the caption keeps the title
  // the page had before it.
  EXPECT_TRUE(WaitForCaption("lab alert", 10s)) << app_->Caption();
  site_->Get("/kefu/lab/title.php?t=box-up");
  const std::string after = "/kefu/lab/title.php?t=answered";
  EXPECT_EQ(CountRequests(after), 0u) << "the script ran on past the alert" << Describe();
  Answer(box, "Return");
  EXPECT_TRUE(WaitForCaption("alert done", 10s)) << app_->Caption();
  ASSERT_TRUE(WaitUntil([&] { return CountRequests(after) == 1; }, 10s)) << Describe();
  const auto requests = site_->Requests();
  const auto at = [&](const std::string& target) {
    return std::find_if(requests.begin(), requests.end(), [&](const SiteRequest& r) { return r.target == target; });
  };
  EXPECT_LT(at("/kefu/lab/title.php?t=box-up"), at(after)) << "the script ran on before the box was answered" << Describe();
}

TEST_F(ScriptDialogTest, ConfirmAndPromptHandTheAgentsAnswersToThePage) {
  StartX();
  StartSite();
  AddressLabPage("/kefu/lab/ask.html");

  // Cancel on confirm, OK on the prompt with its default text.
  StartTavro();
  XWindow main = MainWindowMapped();
  Answer(ExpectBox(main), "Escape");
  Answer(ExpectBox(main), "Return");
  EXPECT_TRUE(WaitForCaption("ask false vip", 10s)) << app_->Caption();

  // OK on confirm, the prompt answered with the agent's text.
  StopTavro();
  StartTavro();
  main = MainWindowMapped();
  Answer(ExpectBox(main), "Return");
  const XWindow prompt = ExpectBox(main);
  input_->Key(prompt, "ctrl+a");
  input_->Key(prompt, "n");
  input_->Key(prompt, "o");
  Answer(prompt, "Return");
  EXPECT_TRUE(WaitForCaption("ask true no", 10s)) << app_->Caption();

  // OK on confirm, Cancel on the prompt: the page gets null.
  StopTavro();
  StartTavro();
  main = MainWindowMapped();
  Answer(ExpectBox(main), "Return");
  Answer(ExpectBox(main), "Escape");
  EXPECT_TRUE(WaitForCaption("ask true null", 10s)) << app_->Caption();
}

class DownloadTest : public BrowserTest {
 protected:
  const std::string kCsv = "id,name,waiting_seconds\n10231,访客10231,120\n10232,访客10232,65\n";

  // Every file under the test's folder whose name mentions the download.
  std::vector<fs::path> DownloadedFiles() {
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(dir_.Path(), fs::directory_options::skip_permission_denied))
      if (e.is_regular_file() && e.path().filename().string().find("visitors") != std::string::npos)
        out.push_back(e.path());
    return out;
  }

  // Once the program and its helper processes are gone, nothing more can be written.
  void EndTavroAndItsHelpers() {
    app_->Proc().Stop(2s);
    EXPECT_TRUE(WaitUntil([&] { return app_->Proc().LiveGroupMembers().empty(); }, 20s))
        << "tavro's helper processes are still running";
  }

  // The agent clicks the page's link to the download.
  XWindow StartDownload() {
    StartX();
    StartSite();
    AddressLabPage("/kefu/lab/download-click.html");
    StartTavro();
    const XWindow main = MainWindowMapped();
    if (!WaitForCaption("download ready", 30s)) throw std::runtime_error("page not ready: " + app_->Caption());
    const auto [x, y] = ToRoot(main, 160, 400);
    input_->Click(x, y);
    const auto chooser = app_->WaitDialog(30s);
    if (!chooser) throw std::runtime_error("no file chooser; caption: " + app_->Caption());
    EXPECT_EQ(x_->TransientFor(*chooser), main) << "the chooser does not belong to the main window";
    EXPECT_TRUE(x_->HasState(*chooser, "_NET_WM_STATE_MODAL"));
    EXPECT_EQ(CountRequests("/kefu/lab/download.php"), 1u) << Describe();
    return *chooser;
  }
};

TEST_F(DownloadTest, AcceptedDownloadIsSavedUnderTheSuggestedNameWhereTheChooserPoints) {
  const XWindow chooser = StartDownload();
  // Nothing is written before the agent decides. The chooser comes up once the engine holds the
  // answer: a download that did not wait for the agent would have been written by then.
  EXPECT_TRUE(DownloadedFiles().empty());

  input_->Key(chooser, "Return");
  const fs::path saved = home_ / "visitors.csv";
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(saved) == kCsv; }, 15s))
      << "saved: \"" << ReadFile(saved) << "\"; stderr: " << app_->Proc().Stderr();
  EXPECT_TRUE(app_->Proc().Running());
  EndTavroAndItsHelpers();
  const auto files = DownloadedFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.front(), saved);
  // The chooser kept no recent files: the download's path is nowhere but where it was saved.
  for (const fs::path& recent : {home_ / "data" / "recently-used.xbel", home_ / ".local/share/recently-used.xbel"})
    EXPECT_EQ(ReadFile(recent).find("visitors"), std::string::npos) << ReadFile(recent);
}

TEST_F(DownloadTest, ChoosingAnExistingFileReplacesItAfterConfirmation) {
  WriteFileBytes(home_ / "visitors.csv", "old contents");
  const XWindow chooser = StartDownload();
  input_->Key(chooser, "Return");
  // The chooser asks whether to replace the file; Return on "Replace".
  const auto question = WaitUntil([&] { return app_->Dialogs().size() >= 2; }, 10s);
  ASSERT_TRUE(question) << "no question about the existing file";
  XWindow ask = 0;
  for (XWindow w : app_->Dialogs())
    if (w != chooser) ask = w;
  ASSERT_NE(ask, 0u);
  input_->Key(ask, "Return");
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(home_ / "visitors.csv") == kCsv; }, 15s))
      << "contents: \"" << ReadFile(home_ / "visitors.csv") << "\"; stderr: " << app_->Proc().Stderr();
}

TEST_F(DownloadTest, CancelledDownloadWritesNothingAnywhere) {
  const XWindow chooser = StartDownload();
  input_->Key(chooser, "Escape");
  ASSERT_TRUE(WaitUntil([&] { return app_->Dialogs().empty(); }, 10s)) << "Escape left the chooser up";
  EXPECT_TRUE(app_->Proc().Running());
  EndTavroAndItsHelpers();
  const auto files = DownloadedFiles();
  EXPECT_TRUE(files.empty()) << "written: " << (files.empty() ? "" : files.front().string());
}

}  // namespace
}  // namespace tavro::browser
