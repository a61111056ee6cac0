// The forms runtime over GTK: event dispatch with the error edge, message boxes, pump, clock.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "browser.h"
#include "dispatcher.h"
#include "gtk_form.h"
#include "picture.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/forms.h"
#include "sandbox_leftovers.h"

namespace tavro::platform::gtk {

class GtkRuntime : public Runtime, public Dispatcher {
 public:
  GtkRuntime();
  ~GtkRuntime() override;
  GtkRuntime(const GtkRuntime&) = delete;
  GtkRuntime& operator=(const GtkRuntime&) = delete;

  int Run(const FormDesign& design, const std::function<void(Form&)>& attach) override;
  int MsgBox(const std::string& prompt, int buttons) override;
  void DoEvents() override;
  float Timer() override;
  void OpenForInput(const std::string& pathName, int fileNumber) override { files_.OpenForInput(pathName, fileNumber); }
  std::int64_t LOF(int fileNumber) override { return files_.LOF(fileNumber); }
  std::string InputB(std::int64_t count, int fileNumber) override { return files_.InputB(count, fileNumber); }
  void Close(int fileNumber) override { files_.Close(fileNumber); }
  std::shared_ptr<Picture> LoadPicture(const std::string& fileName) override;
  void DescribeFile(const std::string& fileName, const std::string& chinese, const std::string& english) override;
  void Unload(Form& form) override;
  float TwipsPerPixelX() const override { return twipsPerPixel_; }
  float TwipsPerPixelY() const override { return twipsPerPixel_; }

  // Dispatcher. The error edge: a handler's error is reported and ends the program. From the
  // moment the report is up no handler runs again and the site's windows are gone.
  void Dispatch(const std::function<void()>& handler) override;
  float TwipsX() const override { return twipsPerPixel_; }
  float TwipsY() const override { return twipsPerPixel_; }
  float DesktopTwips() const override { return desktopTwipsPerPixel_; }

  GtkForm* CurrentForm() const { return form_.get(); }
  // The view of the placed control, made now if it has none: for those that look at the real view.
  WebKitWebView* ViewNamed(const std::string& controlName);

 private:
  // The report of an error nothing handled: a message box and a line on stderr; then the end.
  [[noreturn]] void ReportAndExit(const RuntimeError& error);
  // The program is being ended by `unloadMode` (see UnloadModeValue): the window's QueryUnload
  // runs once, its loads are sent at once, and those already on their way are waited for, at
  // most a second in all. With the display gone nothing of the toolkit is used.
  void EndSession(int unloadMode, bool displayAlive);
  void QuitIfDone();

  struct FileNote {
    std::string chinese, english;
  };
  SandboxLeftovers sandboxLeftovers_;
  float desktopTwipsPerPixel_ = 15.0F;  // at the desktop's resolution
  float twipsPerPixel_ = 15.0F;         // the window's: larger when it was made smaller to fit its monitor
  std::map<std::string, FileNote> fileNotes_;  // by file name, without folder
  SequentialFiles files_;
  PictureFileCache pictures_;
  Glib::RefPtr<Glib::MainLoop> loop_;
  std::unique_ptr<GtkForm> form_;
  std::unique_ptr<Browser> browser_;  // goes before the window it is over
  int depth_ = 0;
  bool reporting_ = false;
  bool ending_ = false;
  // The seconds clock runs from a monotonic base, so clock changes never shorten a wait.
  double midnightOffsetAtStart_ = 0;
  std::chrono::steady_clock::time_point steadyStart_;
};

}  // namespace tavro::platform::gtk
