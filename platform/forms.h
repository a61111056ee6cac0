// Toolkit-free interfaces of the forms runtime: the window, its controls and the runtime's services.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "design.h"

namespace tavro::platform {

// Style values and answers of the message box.
enum MsgBoxStyle : int { vbOKOnly = 0, vbOKCancel = 1, vbInformation = 64 };
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2 };

// Values of a window's WindowState.
enum WindowStateValue : int { vbNormal = 0, vbMinimized = 1, vbMaximized = 2 };

// Who asks the window to close, as QueryUnload's UnloadMode tells it: the window system's close
// (its close button, Alt+F4, the taskbar), the program itself, the desktop session ending (logout,
// shutdown, the display going away), or the program being ended from outside otherwise (an
// interrupt, or the report of an error that ends it).
enum UnloadModeValue : int { vbFormControlMenu = 0, vbFormCode = 1, vbAppWindows = 2, vbAppTaskManager = 3 };

// The one second the exit waits for its logout, which is also the longest the program waits for a
// logout at any other end.
inline constexpr float kLogoutWaitSeconds = 1.0F;
// The seconds clock's day: it starts again from 0 at midnight.
inline constexpr float kSecondsPerDay = 86400.0F;

// A decoded picture: owned by whoever holds it, released with the last reference.
class Picture {
 public:
  virtual ~Picture() = default;
  virtual int PixelWidth() const = 0;
  virtual int PixelHeight() const = 0;
};

using ClickHandler = std::function<void()>;
using MouseHandler = std::function<void(int button, int shift, float x, float y)>;
// Setting Cancel to non-zero keeps the window: only the window system's close can be cancelled.
using QueryUnloadHandler = std::function<void(int& Cancel, int UnloadMode)>;

// Each control carries its own events: whoever handles one sets it; unset events do nothing.
class PictureBox {
 public:
  virtual ~PictureBox() = default;
  virtual float Width() const = 0;  // twips
  virtual void SetWidth(float twips) = 0;
  virtual float Height() const = 0;  // twips
  virtual void SetHeight(float twips) = 0;
  virtual std::shared_ptr<platform::Picture> Picture() const = 0;
  virtual void SetPicture(std::shared_ptr<platform::Picture> picture) = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;

  ClickHandler Click;      // a left press and release over the box
  MouseHandler MouseDown;  // any button pressed over the box
};

// A timer of the design: it ticks at its stored interval from the window's creation on.
class TimerControl {
 public:
  virtual ~TimerControl() = default;
  virtual int Interval() const = 0;  // milliseconds

  ClickHandler Tick;
};

// A placed browser view: the browser's own members plus the host's visibility.
class WebBrowser {
 public:
  virtual ~WebBrowser() = default;
  // Starts loading the address and returns at once.
  virtual void Navigate(const std::string& url) = 0;
  // The shown page's name (its title); empty while nothing was ever navigated.
  virtual std::string LocationName() const = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
};

// The window built from a stored design, with its controls by name and its own events.
class Form {
 public:
  virtual ~Form() = default;

  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual int WindowState() const = 0;
  virtual void SetWindowState(int state) = 0;
  virtual std::int32_t hWnd() const = 0;
  virtual float Width() const = 0;   // twips, outer size
  virtual float Height() const = 0;  // twips, outer size

  // The controls by name; an unknown name raises "Object required".
  virtual PictureBox& PictureBoxNamed(const std::string& name) = 0;
  virtual WebBrowser& WebBrowserNamed(const std::string& name) = 0;
  virtual TimerControl& TimerNamed(const std::string& name) = 0;

  ClickHandler Load;  // raised once, after the controls exist and before the window shows
  // Raised when something other than the program's own Unload asks the window to close. Unset,
  // the window system's close unloads the window; a session that ends ends the program anyway.
  QueryUnloadHandler QueryUnload;
};

// The runtime's services, as handlers use them.
class Runtime {
 public:
  virtual ~Runtime() = default;

  // Builds the window from its design, lets `attach` set the handlers, raises the load event,
  // shows the window centred with the focus on its first control, and runs events until the
  // window is unloaded and no handler runs. Returns the process exit code.
  virtual int Run(const FormDesign& design, const std::function<void(Form&)>& attach) = 0;

  // Modal; the box carries the application title. Answers vbOK or vbCancel (also when closed).
  virtual int MsgBox(const std::string& prompt, int buttons) = 0;
  // Runs every pending window event, then returns.
  virtual void DoEvents() = 0;
  // Seconds since local midnight, with fraction; 0 again at midnight.
  virtual float Timer() = 0;

  // Sequential input from numbered files. A relative name is taken from the working directory.
  virtual void OpenForInput(const std::string& pathName, int fileNumber) = 0;
  virtual std::int64_t LOF(int fileNumber) = 0;
  virtual std::string InputB(std::int64_t count, int fileNumber) = 0;  // raw bytes
  virtual void Close(int fileNumber) = 0;

  // A relative name is taken from the working directory; a missing or undecodable file fails.
  virtual std::shared_ptr<Picture> LoadPicture(const std::string& fileName) = 0;
  // What the program expects to find in a file of the working folder: the report of an error
  // about that file (missing, or not a file) says it, in Chinese and then in English.
  virtual void DescribeFile(const std::string& fileName, const std::string& chinese, const std::string& english) = 0;
  // Destroys the window; the program ends once no handler runs. A second unload does nothing.
  virtual void Unload(Form& form) = 0;

  // Screen.TwipsPerPixelX / Screen.TwipsPerPixelY
  virtual float TwipsPerPixelX() const = 0;
  virtual float TwipsPerPixelY() const = 0;
};

}  // namespace tavro::platform
