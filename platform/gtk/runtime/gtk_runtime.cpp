// The forms runtime over GTK and the entry points of the GTK platform.
#include "gtk_runtime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>

#include "kept_off_disk.h"
#include "gl_driver.h"
#include "gtk_platform.h"
#include "message_box.h"
#include "page_text.h"
#include "picture.h"
#include "program_end.h"
#include "session_end.h"
#include "single_instance.h"
#include "startup_milestones.h"
#include "window_scale.h"
#include "platform/errors.h"

namespace tavro::platform::gtk {
namespace {

constexpr int kErrorExitCode = 1;
// The desktop session's name for Tavro, as its desktop entry and metainfo have it.
constexpr char kApplicationId[] = "cn.tavro.tavro";

double LocalSecondsSinceMidnight() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const double fraction =
      std::chrono::duration<double>(now - std::chrono::system_clock::from_time_t(t)).count();
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

float ScreenTwipsPerPixel() {
  double dpi = 96.0;
  if (auto screen = Gdk::Screen::get_default()) {
    const double resolution = screen->get_resolution();
    if (resolution > 0) dpi = resolution;
  }
  return static_cast<float>(1440.0 / dpi);
}

// Where the window opens, before it exists: the work area (the monitor less the desktop's panels)
// of the primary monitor, or of the first one when none is called primary; none without either.
std::optional<PixelRect> OpeningWorkArea() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return std::nullopt;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return std::nullopt;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  if (area.width <= 0 || area.height <= 0) return std::nullopt;
  return PixelRect{area.x, area.y, area.width, area.height};
}

}  // namespace

GtkRuntime::GtkRuntime()
    : desktopTwipsPerPixel_(ScreenTwipsPerPixel()),
      twipsPerPixel_(desktopTwipsPerPixel_),
      midnightOffsetAtStart_(LocalSecondsSinceMidnight()),
      steadyStart_(std::chrono::steady_clock::now()) {}

GtkRuntime::~GtkRuntime() {
  browser_.reset();
  form_.reset();
  sandboxLeftovers_.Clean();
}

void GtkRuntime::Dispatch(const std::function<void()>& handler) {
  if (!handler || reporting_ || ending_ || (form_ && form_->Unloaded())) return;
  ++depth_;
  try {
    handler();
  } catch (const RuntimeError& e) {
    ReportAndExit(e);
  } catch (const std::bad_alloc&) {
    ReportAndExit(RuntimeError(kOutOfMemory, "Out of memory"));
  } catch (const std::exception& e) {
    ReportAndExit(RuntimeError(kInvalidProcedureCall, e.what()));
  } catch (...) {
    ReportAndExit(RuntimeError(kInvalidProcedureCall, "Unexpected error"));
  }
  --depth_;
  QuitIfDone();
}

void GtkRuntime::QuitIfDone() {
  if (depth_ == 0 && form_ && form_->Unloaded() && loop_ && loop_->is_running()) loop_->quit();
}

void GtkRuntime::EndSession(int unloadMode, bool displayAlive) {
  if (ending_) return;
  ending_ = true;
  const auto deadline = std::chrono::steady_clock::now() + kLogoutWait;
  if (form_ && !form_->Unloaded()) {
    if (browser_) browser_->BeginEnding(deadline);
    if (form_->QueryUnload) {
      int cancel = 0;  // a session that ends cannot be cancelled
      try {
        form_->QueryUnload(cancel, unloadMode);
      } catch (...) {  // NOLINT(bugprone-empty-catch): the program ends anyway; nothing is left to report to
      }
    }
    // A logout the exit question already started through the engine: until it is answered.
    while (displayAlive && form_->LoadsPending() && std::chrono::steady_clock::now() < deadline) {
      if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
    }
  }
  sandboxLeftovers_.Clean();
}

void GtkRuntime::DescribeFile(const std::string& fileName, const std::string& chinese, const std::string& english) {
  fileNotes_[fileName] = FileNote{chinese, english};
}

void GtkRuntime::ReportAndExit(const RuntimeError& error) {
  // The report's own loop still dispatches timers and page signals: none of them may act now.
  reporting_ = true;
  const int number = error.Number();
  std::string chinese, english = error.Description();
  // A file of the working folder that is missing or no file: what belongs there, and where.
  const std::string name = std::filesystem::path(error.File()).filename().string();
  if (const auto note = fileNotes_.find(name);
      note != fileNotes_.end() && (number == kFileNotFound || number == kPathFileAccessError || number == kOutOfMemory)) {
    const std::string folder = FolderOf(error.File());
    chinese = (number == kFileNotFound        ? "在文件夹 '" + folder + "' 中找不到文件 '" + name + "'。"
               : number == kOutOfMemory         ? "文件夹 '" + folder + "' 中的 '" + name + "' 太大了。"
                                                : "文件夹 '" + folder + "' 中的 '" + name + "' 不是一个可读的文件。") +
              "\n" + note->second.chinese;
    english += ".\n" + note->second.english;
  }
  // On the terminal in the locale's character set; the message box below shows UTF-8 as it is.
  if (!chinese.empty())
    std::cerr << TerminalText("tavro: 运行时错误 '" + std::to_string(number) + "'：" + chinese) << "\n";
  std::cerr << TerminalText("tavro: Run-time error '" + std::to_string(number) + "': " + english) << std::endl;
  if (form_) {
    if (browser_) browser_->CloseAll();
    form_->Window().hide();
  }
  // The program ends with this report: the agent is logged out first.
  EndSession(vbAppTaskManager, true);
  const std::string text = "运行时错误 '" + std::to_string(number) + "'：\n\n" + (chinese.empty() ? "" : chinese + "\n\n") +
                           "Run-time error '" + std::to_string(number) + "': " + english;
  const auto report = MakeMessageBox(nullptr, text, BoxIcon::Error, BoxButtons::Ok);
  report->run();
  sandboxLeftovers_.Clean();
  std::fflush(nullptr);
  std::_Exit(kErrorExitCode);
}

int GtkRuntime::Run(const FormDesign& design, const std::function<void(Form&)>& attach) {
  loop_ = Glib::MainLoop::create();
  // A second start in the desktop session brings the first one forward, and that is all.
  SingleInstance instance(kApplicationId);
  if (instance.HandedOver()) return 0;
  instance.activated = [this] {
    if (!form_ || form_->Unloaded()) return;
    form_->Window().deiconify();
    form_->Window().present();
  };
  WatchSessionEnd([this](int unloadMode, bool displayAlive) { EndSession(unloadMode, displayAlive); });
  // A window too large for its monitor at the desktop's scale is drawn smaller as a whole: every
  // length in pixels, the outline and the pictures follow the twips per pixel.
  const std::optional<PixelRect> workArea = OpeningWorkArea();
  if (workArea)
    twipsPerPixel_ =
        FitTwipsPerPixel(desktopTwipsPerPixel_, design.width, design.height, workArea->width, workArea->height);
  Dispatch([&] {
    form_ = std::make_unique<GtkForm>(*this, design);
    browser_ = std::make_unique<Browser>(*form_, files_);
    form_->unloading = [this] { browser_->CloseAll(); };
    attach(*form_);
    form_->Realize();
  });
  // The first tick comes one interval after the toolkit started, not after the window was built:
  // the login page's title, which usually arrives by then, is on the caption at the first tick.
  // Form_Load still runs before it.
  form_->StartTimers(steadyStart_);
  form_->RaiseLoad();
  if (!form_->Unloaded()) {
    form_->ShowCentred(workArea);
    loop_->run();
  }
  return 0;
}

int GtkRuntime::MsgBox(const std::string& prompt, int buttons) {
  const bool okCancel = (buttons & 7) == vbOKCancel;
  const bool information = (buttons & 0x70) == vbInformation;
  Gtk::Window* parent = form_ && !form_->Unloaded() && form_->Window().get_visible() ? &form_->Window() : nullptr;
  // OK comes first and is the default, so Enter answers OK.
  const auto box = MakeMessageBox(parent, prompt, information ? BoxIcon::Information : BoxIcon::Plain,
                                  okCancel ? BoxButtons::OkCancel : BoxButtons::Ok);
  const int response = box->run();
  if (!okCancel) return vbOK;
  return response == Gtk::RESPONSE_OK ? vbOK : vbCancel;
}

void GtkRuntime::DoEvents() {
  GMainContext* context = g_main_context_default();
  int dispatched = 0;
  // Bounded, so a source that is always ready cannot hold the caller forever.
  while (dispatched < 1000 && g_main_context_pending(context)) {
    g_main_context_iteration(context, FALSE);
    ++dispatched;
  }
  if (dispatched == 0) {
    // Nothing pending: wait up to a millisecond for the next event instead of spinning a core.
    GSource* tick = g_timeout_source_new(1);
    g_source_set_callback(tick, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(tick, context);
    g_main_context_iteration(context, TRUE);
    g_source_destroy(tick);
    g_source_unref(tick);
  }
  QuitIfDone();
}

float GtkRuntime::Timer() {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - steadyStart_).count();
  return static_cast<float>(std::fmod(midnightOffsetAtStart_ + elapsed, kSecondsPerDay));
}

std::shared_ptr<Picture> GtkRuntime::LoadPicture(const std::string& fileName) {
  return pictures_.Load(fileName);
}

void GtkRuntime::Unload(Form& form) {
  // The one window this runtime built; anything else is no form of it.
  if (!form_ || &form != form_.get()) throw RuntimeError(kObjectRequired, "Object required");
  form_->Unload();
  QuitIfDone();
}

WebKitWebView* GtkRuntime::ViewNamed(const std::string& controlName) {
  if (!form_ || !browser_) throw RuntimeError(kObjectRequired, "Object required");
  return browser_->ViewFor(form_->PlacedBrowserNamed(controlName));
}

void ProgramStarted() { Reached(Milestone::Main); }

std::unique_ptr<Runtime> CreateRuntime(int& argc, char**& argv, const std::string& appTitle) {
  static bool started = false;
  if (!started) {
    // The program keeps nothing on disk. Mesa's shader cache would otherwise fill
    // $XDG_CACHE_HOME/mesa_shader_cache as WebKit draws; set before the toolkit starts, so the
    // web processes inherit it too. A value the user set is left alone.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    // The views draw in software (see web_views.cpp): GTK's own GL and the engine's DMA-BUF
    // renderer would only bring more of the GL driver into the processes, for nothing on screen.
    // Here too a value the user set wins, so that either can be turned back on.
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    setenv("GDK_GL", "disable", 0);
    KeepGlDriverOut();
    KeepOwnSettingsInMemory();
    gdk_set_allowed_backends("x11");
    g_set_prgname("tavro");
    SetApplicationTitle(appTitle);
    if (!gtk_init_check(&argc, &argv)) {
      std::cerr << "tavro: cannot open the X display (is DISPLAY set?)" << std::endl;
      std::exit(kErrorExitCode);
    }
    Gtk::Main::init_gtkmm_internals();
    Reached(Milestone::Toolkit);
    KeepNoRecentFiles();
    started = true;
  }
  return std::make_unique<GtkRuntime>();
}

}  // namespace tavro::platform::gtk
