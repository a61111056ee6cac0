// A recording stand-in for the platform layer: every call the handlers make lands, in order, in
// one shared log of readable lines, and everything the handlers read back can be scripted.
//
// Plain reads of fixed values (sizes, the window handle, the screen factors, pictures) are not
// logged; the caption and title reads are, because the order of those reads is behaviour.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/design.h"
#include "platform/forms.h"
#include "platform/user32.h"

namespace tavro::fake {

using CallLog = std::vector<std::string>;

class FakePicture : public platform::Picture {
 public:
  explicit FakePicture(std::string fileName) : fileName_(std::move(fileName)) {}
  int PixelWidth() const override { return 1; }
  int PixelHeight() const override { return 1; }
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

class FakePictureBox : public platform::PictureBox {
 public:
  FakePictureBox(CallLog& log, const platform::ControlDesign& design);
  float Width() const override { return width_; }
  void SetWidth(float twips) override;
  float Height() const override { return height_; }
  void SetHeight(float twips) override;
  std::shared_ptr<platform::Picture> Picture() const override { return picture_; }
  void SetPicture(std::shared_ptr<platform::Picture> picture) override;
  bool Visible() const override { return visible_; }
  void SetVisible(bool visible) override;

 private:
  CallLog& log_;
  std::string name_;
  float width_, height_;
  bool visible_;
  std::shared_ptr<platform::Picture> picture_;
};

class FakeTimer : public platform::TimerControl {
 public:
  explicit FakeTimer(const platform::ControlDesign& design) : interval_(design.interval) {}
  int Interval() const override { return interval_; }

 private:
  int interval_;
};

class FakeWebBrowser : public platform::WebBrowser {
 public:
  FakeWebBrowser(CallLog& log, const platform::ControlDesign& design);
  void Navigate(const std::string& url) override;
  std::string LocationName() const override;
  bool Visible() const override { return visible_; }
  void SetVisible(bool visible) override;

  std::string title;                  // what LocationName reports
  std::vector<std::string> navigated;  // every address handed to Navigate

 private:
  CallLog& log_;
  std::string name_;
  bool visible_;
};

class FakeForm : public platform::Form {
 public:
  FakeForm(CallLog& log, const platform::FormDesign& design, std::int32_t hWnd = 4242);

  std::string Caption() const override;
  void SetCaption(const std::string& caption) override;
  int WindowState() const override { return windowState_; }
  void SetWindowState(int state) override;
  std::int32_t hWnd() const override { return hWnd_; }
  float Width() const override { return width; }
  float Height() const override { return height; }
  platform::PictureBox& PictureBoxNamed(const std::string& name) override { return Box(name); }
  platform::WebBrowser& WebBrowserNamed(const std::string& name) override { return Browser(name); }
  platform::TimerControl& TimerNamed(const std::string& name) override;

  // Raising events as the runtime would: only handlers that are set run.
  void RaiseLoad();
  void RaiseClick(const std::string& control);
  void RaiseMouseDown(const std::string& control, int button, int shift, float x, float y);
  void RaiseTimer(const std::string& control);
  // Answers the Cancel the handler left (0 without a handler).
  int RaiseQueryUnload(int unloadMode);
  // "Load", "Click:Picture2", "MouseDown:Picture1", "Timer:Timer1", sorted.
  std::vector<std::string> Bindings() const;

  FakePictureBox& Box(const std::string& name);
  FakeWebBrowser& Browser(const std::string& name);
  const std::string& Name() const { return name_; }

  float width, height;  // twips; scriptable
  bool unloaded = false;

 private:
  CallLog& log_;
  std::string name_;
  std::int32_t hWnd_;
  std::string caption_;
  int windowState_ = platform::vbNormal;
  std::map<std::string, std::unique_ptr<FakePictureBox>> boxes_;
  std::map<std::string, std::unique_ptr<FakeWebBrowser>> browsers_;
  std::map<std::string, std::unique_ptr<FakeTimer>> timers_;
};

class FakeWindowSystem : public platform::WindowSystem {
 public:
  explicit FakeWindowSystem(CallLog& log) : log_(log) {}
  std::int32_t CreateRoundRectRgn(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2,
                                  std::int32_t X3, std::int32_t Y3) override;
  std::int32_t SetWindowRgn(std::int32_t hWnd, std::int32_t hRgn, std::int32_t bRedraw) override;
  std::int32_t ReleaseCapture() override;
  std::int32_t SendMessageA(std::int32_t hWnd, std::int32_t wMsg, std::int32_t wParam, void* lParam) override;

 private:
  CallLog& log_;
  std::int32_t nextRegion_ = 1;
};

class FakeRuntime : public platform::Runtime {
 public:
  explicit FakeRuntime(CallLog& log) : log_(log) {}

  int Run(const platform::FormDesign& design, const std::function<void(platform::Form&)>& attach) override;
  int MsgBox(const std::string& prompt, int buttons) override;
  void DoEvents() override;
  float Timer() override;
  void OpenForInput(const std::string& pathName, int fileNumber) override;
  std::int64_t LOF(int fileNumber) override;
  std::string InputB(std::int64_t count, int fileNumber) override;
  void Close(int fileNumber) override;
  std::shared_ptr<platform::Picture> LoadPicture(const std::string& fileName) override;
  void DescribeFile(const std::string&, const std::string&, const std::string&) override {}
  void Unload(platform::Form& form) override;
  float TwipsPerPixelX() const override { return twipsPerPixelX; }
  float TwipsPerPixelY() const override { return twipsPerPixelY; }

  // Script: the disk (name -> bytes), pictures that fail (name -> 53 missing, 481 not a picture),
  // message box answers (an empty queue answers vbOK), the clock and hooks.
  std::map<std::string, std::string> files;
  std::map<std::string, int> pictureErrors;
  std::deque<int> answers;
  std::function<float()> clock;
  void SetClock(std::vector<float> readings);  // one reading per Timer() call
  std::function<void()> duringMsgBox, duringDoEvents;
  float twipsPerPixelX = 15.0F, twipsPerPixelY = 15.0F;

  // Observations.
  int effectiveUnloads = 0;
  int OpenFileCount() const { return static_cast<int>(open_.size()); }
  std::vector<std::weak_ptr<platform::Picture>> loadedPictures;

  // A runaway wait fails the test instead of hanging it.
  int doEventsLimit = 10000;

 private:
  struct OpenFile {
    std::string bytes;
    std::size_t position = 0;
  };
  OpenFile& Open(int fileNumber);
  CallLog& log_;
  std::map<int, OpenFile> open_;
  int doEventsCalls_ = 0;
  std::unique_ptr<FakeForm> runForm_;
};

// Switches the process locale for one test and puts the former one back.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name);
  ~ScopedLocale();
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string saved_;
  bool ok_;
};

}  // namespace tavro::fake
