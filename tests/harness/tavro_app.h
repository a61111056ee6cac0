// The tavro program started in a working folder on a private X server, and its windows.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "process.h"
#include "x_server.h"

namespace tavro::test {

inline constexpr int kMainWidth = 318;
inline constexpr int kMainHeight = 723;

struct TavroOptions {
  std::filesystem::path workingDir;            // where url.txt and the pictures are
  std::filesystem::path home;                  // HOME and the XDG folders go here
  std::filesystem::path logDir;                // tavro.out, tavro.err
  std::filesystem::path binary;                // empty: the tavro built with the tests
  std::vector<std::string> args;
  std::map<std::string, std::string> env;      // more environment
  // The main window's size on the X server: the stored design at 96 dpi unless told otherwise.
  std::pair<int, int> mainSize{kMainWidth, kMainHeight};
  // How many pixels either way each side of it may differ (a window scaled by a factor that is
  // not whole rounds its sizes).
  int mainSizeSlack = 0;
};

class TavroApp {
 public:
  TavroApp(XServer& x, TavroOptions options);
  // Kills the program's process group (the program and its web processes).
  ~TavroApp();
  TavroApp(const TavroApp&) = delete;
  TavroApp& operator=(const TavroApp&) = delete;

  Process& Proc() { return *process_; }
  pid_t Pid() const { return process_->Pid(); }
  // When the program was started under another (a tracer), the windows are its child's: waits for
  // that child, named `name`, and looks for windows of it from now on. False when it never came.
  bool FollowChild(const std::string& name, std::chrono::milliseconds timeout);

  // The program's top-level windows (WM_CLASS "tavro").
  std::vector<XWindow> Windows();
  // The main window: the program's window of the main window's size, mapped or not.
  std::optional<XWindow> MainWindow();
  // The program's viewable windows other than the main window: its message boxes.
  std::vector<XWindow> Dialogs();
  // Waits for the main window to be viewable.
  std::optional<XWindow> WaitMainWindowMapped(std::chrono::milliseconds timeout);
  // Waits for a viewable message box.
  std::optional<XWindow> WaitDialog(std::chrono::milliseconds timeout);
  // The main window's title (its caption); empty while there is no main window.
  std::string Caption();

 private:
  XServer& x_;
  std::unique_ptr<Process> process_;
  pid_t windowsOf_ = 0;  // the process whose windows are the program's
  std::pair<int, int> mainSize_;
  int mainSizeSlack_;
};

}  // namespace tavro::test
