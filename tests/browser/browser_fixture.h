// What the browser-view tests share: tavro on a private X server against the demo site, with the
// main view sent to a lab page through url.txt, and questions about windows, web processes and
// local servers that the harness does not ask.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "demo_site.h"
#include "input.h"
#include "process.h"
#include "tavro_app.h"
#include "temp_dir.h"
#include "wait.h"
#include "x_server.h"

namespace tavro::browser {

using namespace tavro::test;

// Window-manager facts the harness leaves out, read over a connection of our own.
class XProbe {
 public:
  explicit XProbe(const std::string& display);
  ~XProbe();
  XProbe(const XProbe&) = delete;
  XProbe& operator=(const XProbe&) = delete;

  // WM_TRANSIENT_FOR, or 0.
  XWindow TransientFor(XWindow w);
  // False when _MOTIF_WM_HINTS asks for no decorations.
  bool Decorated(XWindow w);
  // _NET_WM_ICON is set.
  bool HasIcon(XWindow w);
  // _NET_WM_STATE holds the atom (e.g. "_NET_WM_STATE_MODAL").
  bool HasState(XWindow w, const std::string& state);
  // Sends WM_DELETE_WINDOW, as a window manager does for the title bar's close button.
  void RequestClose(XWindow w);
  // A plain window of the test's own, mapped, for taking the focus away from tavro.
  XWindow CreateWindow(int x, int y, int width, int height);
  void Iconify(XWindow w);

 private:
  struct _XDisplay* dpy_ = nullptr;
};

// Process ids of the WebKit web processes started by the process (any depth below it).
std::vector<pid_t> WebProcessesOf(pid_t ancestor);

// A throwaway self-signed certificate for 127.0.0.1 and an HTTPS server with it; the server
// logs "GET <path>" for each request and "HANDSHAKE <error>" for each refused handshake.
class TlsServer {
 public:
  TlsServer(const std::filesystem::path& dir, const std::string& pageTitle);
  ~TlsServer();
  int Port() const { return port_; }
  std::string Log() const;

 private:
  std::filesystem::path log_;
  std::unique_ptr<Process> process_;
  int port_ = 0;
};

class BrowserTest : public ::testing::Test {
 protected:
  void TearDown() override;

  void StartX(bool windowManager = false);
  void StartSite(int port = 0, std::optional<int> autoLoginMs = std::nullopt);
  // url.txt so that the main view's first address is the lab page: the login path that tavro
  // appends lands in the fragment.
  void AddressLabPage(const std::string& pathAndQuery);
  void WriteAddressFile(const std::string& bytes);
  void StartTavro(std::map<std::string, std::string> env = {});
  // Ends tavro (its whole process group) so another can start in the same test.
  void StopTavro();

  XWindow MainWindowMapped();
  bool WaitForCaption(const std::function<bool(const std::string&)>& wanted, std::chrono::milliseconds timeout);
  bool WaitForCaption(const std::string& wanted, std::chrono::milliseconds timeout);
  // Viewable windows of tavro other than the main window whose title is the given one.
  std::vector<XWindow> WindowsTitled(const std::function<bool(const std::string&)>& wanted);
  std::optional<XWindow> WaitWindowTitled(const std::function<bool(const std::string&)>& wanted,
                                          std::chrono::milliseconds timeout);
  std::pair<int, int> ToRoot(XWindow window, int x, int y);
  // Requests for this target in the site's log.
  std::size_t CountRequests(const std::string& target) const;
  std::string Describe() const;

  TempDir dir_{"tavro-browser"};
  std::filesystem::path work_ = dir_.Sub("work");
  std::filesystem::path home_ = dir_.Sub("home");
  std::unique_ptr<XServer> x_;
  std::unique_ptr<XProbe> probe_;
  std::unique_ptr<DemoSite> site_;
  std::unique_ptr<TavroApp> app_;
  std::unique_ptr<Input> input_;
  int runs_ = 0;
};

}  // namespace tavro::browser
