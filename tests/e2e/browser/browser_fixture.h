// What the browser-view tests share: the end-to-end fixture with the main view sent to a lab page
// through url.txt, the windows of tavro's pages, and questions about web processes and local
// servers that the harness does not ask.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "process.h"

namespace tavro::browser {

using namespace tavro::test;

// Process ids of the WebKit web processes started by the process (any depth below it).
std::vector<pid_t> WebProcessesOf(pid_t ancestor);
// The proportional set size of the process and everything below it (shared pages divided among
// those that map them), and of one process, in KiB; 0 for one that is gone.
long TreePssKb(pid_t ancestor);
long PssKb(pid_t pid);

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

class BrowserTest : public e2e::TavroE2eTest {
 protected:
  BrowserTest() : TavroE2eTest("tavro-browser") {}
  void TearDown() override;

  // url.txt so that the main view's first address is the lab page (the login path that tavro
  // appends lands in the fragment), and the pictures of the logged-in layout.
  void AddressLabPage(const std::string& pathAndQuery);
  // Viewable windows of tavro other than the main window whose title is the given one.
  std::vector<XWindow> WindowsTitled(const std::function<bool(const std::string&)>& wanted);
  std::optional<XWindow> WaitWindowTitled(const std::function<bool(const std::string&)>& wanted,
                                          std::chrono::milliseconds timeout);
};

}  // namespace tavro::browser
