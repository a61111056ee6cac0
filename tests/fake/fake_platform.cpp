// The recording stand-in for the platform layer.
#include "fake/fake_platform.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <stdexcept>

#include "platform/errors.h"

namespace tavro::fake {
namespace {

std::string Bool(bool value) { return value ? "true" : "false"; }
std::string Arg(const std::string& text) { return text; }
std::string Arg(std::int64_t number) { return std::to_string(number); }

// "Name(a,b,c)"
template <typename... Args>
std::string Call(const std::string& name, const Args&... args) {
  std::string out = name + "(";
  ((out += Arg(args) + ","), ...);
  if (out.back() == ',') out.pop_back();
  return out + ")";
}

std::string Num(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.9g", value);
  return buffer;
}

}  // namespace

FakePictureBox::FakePictureBox(CallLog& log, const platform::ControlDesign& design)
    : log_(log),
      name_(design.name),
      width_(static_cast<float>(design.width)),
      height_(static_cast<float>(design.height)),
      visible_(design.visible) {
  if (!design.picture.empty()) picture_ = std::make_shared<FakePicture>(design.picture);
}

void FakePictureBox::SetWidth(float twips) {
  log_.push_back(name_ + ".Width=" + Num(twips));
  width_ = twips;
}

void FakePictureBox::SetHeight(float twips) {
  log_.push_back(name_ + ".Height=" + Num(twips));
  height_ = twips;
}

void FakePictureBox::SetPicture(std::shared_ptr<platform::Picture> picture) {
  const auto* fake = dynamic_cast<const FakePicture*>(picture.get());
  log_.push_back(name_ + ".Picture=" + (fake ? fake->FileName() : picture ? "?" : "Nothing"));
  picture_ = std::move(picture);
}

void FakePictureBox::SetVisible(bool visible) {
  log_.push_back(name_ + ".Visible=" + Bool(visible));
  visible_ = visible;
}

FakeWebBrowser::FakeWebBrowser(CallLog& log, const platform::ControlDesign& design)
    : log_(log), name_(design.name), visible_(design.visible) {}

void FakeWebBrowser::Navigate(const std::string& url) {
  log_.push_back(Call(name_ + ".Navigate", url));
  navigated.push_back(url);
}

std::string FakeWebBrowser::LocationName() const {
  log_.push_back(Call(name_ + ".LocationName"));
  return title;
}

void FakeWebBrowser::SetVisible(bool visible) {
  log_.push_back(name_ + ".Visible=" + Bool(visible));
  visible_ = visible;
}

FakeForm::FakeForm(CallLog& log, const platform::FormDesign& design, std::int32_t hWnd)
    : width(static_cast<float>(design.width)),
      height(static_cast<float>(design.height)),
      log_(log),
      name_(design.name),
      hWnd_(hWnd),
      caption_(design.caption) {
  for (const auto& control : design.controls) {
    if (control.kind == platform::ControlKind::PictureBox)
      boxes_[control.name] = std::make_unique<FakePictureBox>(log, control);
    else if (control.kind == platform::ControlKind::WebBrowser)
      browsers_[control.name] = std::make_unique<FakeWebBrowser>(log, control);
    else
      timers_[control.name] = std::make_unique<FakeTimer>(control);
  }
}

std::string FakeForm::Caption() const {
  log_.push_back(name_ + ".Caption?");
  return caption_;
}

void FakeForm::SetCaption(const std::string& caption) {
  log_.push_back(name_ + ".Caption=" + caption);
  caption_ = caption;
}

void FakeForm::SetWindowState(int state) {
  log_.push_back(name_ + ".WindowState=" + std::to_string(state));
  windowState_ = state;
}

FakePictureBox& FakeForm::Box(const std::string& name) {
  const auto it = boxes_.find(name);
  if (it == boxes_.end()) throw std::out_of_range("no picture box " + name);
  return *it->second;
}

FakeWebBrowser& FakeForm::Browser(const std::string& name) {
  const auto it = browsers_.find(name);
  if (it == browsers_.end()) throw std::out_of_range("no browser " + name);
  return *it->second;
}

platform::TimerControl& FakeForm::TimerNamed(const std::string& name) {
  const auto it = timers_.find(name);
  if (it == timers_.end()) throw std::out_of_range("no timer " + name);
  return *it->second;
}

void FakeForm::RaiseLoad() {
  if (Load) Load();
}
void FakeForm::RaiseClick(const std::string& control) {
  if (auto& click = Box(control).Click) click();
}
void FakeForm::RaiseMouseDown(const std::string& control, int button, int shift, float x, float y) {
  if (auto& mouseDown = Box(control).MouseDown) mouseDown(button, shift, x, y);
}
void FakeForm::RaiseTimer(const std::string& control) {
  if (auto& tick = TimerNamed(control).Tick) tick();
}

int FakeForm::RaiseQueryUnload(int unloadMode) {
  int cancel = 0;
  if (QueryUnload) QueryUnload(cancel, unloadMode);
  return cancel;
}

std::vector<std::string> FakeForm::Bindings() const {
  std::vector<std::string> out;
  if (Load) out.push_back("Load");
  if (QueryUnload) out.push_back("QueryUnload");
  for (const auto& [name, box] : boxes_) {
    if (box->Click) out.push_back("Click:" + name);
    if (box->MouseDown) out.push_back("MouseDown:" + name);
  }
  for (const auto& [name, timer] : timers_)
    if (timer->Tick) out.push_back("Timer:" + name);
  std::sort(out.begin(), out.end());
  return out;
}

std::int32_t FakeWindowSystem::CreateRoundRectRgn(std::int32_t X1, std::int32_t Y1, std::int32_t X2,
                                                  std::int32_t Y2, std::int32_t X3, std::int32_t Y3) {
  log_.push_back(Call("CreateRoundRectRgn", X1, Y1, X2, Y2, X3, Y3));
  return nextRegion_++;
}

std::int32_t FakeWindowSystem::SetWindowRgn(std::int32_t hWnd, std::int32_t hRgn, std::int32_t bRedraw) {
  log_.push_back(Call("SetWindowRgn", hWnd, hRgn, bRedraw));
  return 1;
}

std::int32_t FakeWindowSystem::ReleaseCapture() {
  log_.push_back(Call("ReleaseCapture"));
  return 1;
}

std::int32_t FakeWindowSystem::SendMessageA(std::int32_t hWnd, std::int32_t wMsg, std::int32_t wParam,
                                            void* lParam) {
  const std::string value = lParam ? std::to_string(*static_cast<const std::int32_t*>(lParam)) : "null";
  log_.push_back(Call("SendMessageA", hWnd, wMsg, wParam, value));
  return 0;
}

int FakeRuntime::Run(const platform::FormDesign& design, const std::function<void(platform::Form&)>& attach) {
  runForm_ = std::make_unique<FakeForm>(log_, design);
  attach(*runForm_);
  runForm_->RaiseLoad();
  return 0;
}

int FakeRuntime::MsgBox(const std::string& prompt, int buttons) {
  log_.push_back(Call("MsgBox", prompt, buttons));
  if (duringMsgBox) duringMsgBox();
  if (answers.empty()) return platform::vbOK;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

void FakeRuntime::DoEvents() {
  log_.push_back(Call("DoEvents"));
  if (++doEventsCalls_ > doEventsLimit) throw std::logic_error("DoEvents called without end");
  if (duringDoEvents) duringDoEvents();
}

void FakeRuntime::SetClock(std::vector<float> readings) {
  clock = [readings = std::move(readings), next = std::size_t{0}]() mutable {
    if (next >= readings.size()) throw std::logic_error("clock script ran out");
    return readings[next++];
  };
}

float FakeRuntime::Timer() {
  log_.push_back(Call("Timer"));
  if (!clock) throw std::logic_error("no clock scripted");
  return clock();
}

void FakeRuntime::OpenForInput(const std::string& pathName, int fileNumber) {
  log_.push_back(Call("OpenForInput", pathName, fileNumber));
  if (open_.count(fileNumber)) throw platform::RuntimeError(platform::kFileAlreadyOpen, "File already open");
  const auto it = files.find(pathName);
  if (it == files.end())
    throw platform::RuntimeError(platform::kFileNotFound, "File not found: '" + pathName + "' in folder '/fake'");
  open_[fileNumber] = OpenFile{it->second, 0};
}

FakeRuntime::OpenFile& FakeRuntime::Open(int fileNumber) {
  const auto it = open_.find(fileNumber);
  if (it == open_.end()) throw platform::RuntimeError(platform::kBadFileNameOrNumber, "Bad file name or number");
  return it->second;
}

std::int64_t FakeRuntime::LOF(int fileNumber) {
  log_.push_back(Call("LOF", fileNumber));
  return static_cast<std::int64_t>(Open(fileNumber).bytes.size());
}

std::string FakeRuntime::InputB(std::int64_t count, int fileNumber) {
  log_.push_back(Call("InputB", count, fileNumber));
  OpenFile& file = Open(fileNumber);
  if (count < 0 || file.position + static_cast<std::size_t>(count) > file.bytes.size())
    throw platform::RuntimeError(platform::kInputPastEndOfFile, "Input past end of file");
  std::string bytes = file.bytes.substr(file.position, static_cast<std::size_t>(count));
  file.position += bytes.size();
  return bytes;
}

void FakeRuntime::Close(int fileNumber) {
  log_.push_back(Call("Close", fileNumber));
  open_.erase(fileNumber);
}

std::shared_ptr<platform::Picture> FakeRuntime::LoadPicture(const std::string& fileName) {
  log_.push_back(Call("LoadPicture", fileName));
  if (const auto it = pictureErrors.find(fileName); it != pictureErrors.end())
    throw platform::RuntimeError(it->second, it->second == platform::kFileNotFound
                                                 ? "File not found: '" + fileName + "'"
                                                 : "Invalid picture: '" + fileName + "'");
  auto picture = std::make_shared<FakePicture>(fileName);
  loadedPictures.push_back(picture);
  return picture;
}

void FakeRuntime::Unload(platform::Form& form) {
  auto* fake = dynamic_cast<FakeForm*>(&form);
  log_.push_back(Call("Unload", fake ? fake->Name() : std::string("?")));
  if (fake && !fake->unloaded) {
    fake->unloaded = true;
    ++effectiveUnloads;
  }
}

ScopedLocale::ScopedLocale(const char* name) : saved_(std::setlocale(LC_ALL, nullptr)) {
  ok_ = std::setlocale(LC_ALL, name) != nullptr;
}

ScopedLocale::~ScopedLocale() { std::setlocale(LC_ALL, saved_.c_str()); }

}  // namespace tavro::fake
