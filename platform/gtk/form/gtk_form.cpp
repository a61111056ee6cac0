// Builds the window generically from its stored design and carries its state to the desktop.
#include "gtk_form.h"

#include <gdk/gdkx.h>

#include <algorithm>

#include "picture.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "startup_milestones.h"

namespace tavro::platform::gtk {
namespace {

// Longest title handed to the desktop; the caption itself keeps the whole text.
constexpr std::size_t kMaxDesktopTitleBytes = 4096;

template <typename T>
T& Named(const std::map<std::string, T*>& controls, const std::string& name) {
  const auto it = controls.find(name);
  if (it == controls.end()) throw RuntimeError(kObjectRequired, "Object required: " + name);
  return *it->second;
}

}  // namespace

GtkForm::GtkForm(Dispatcher& dispatcher, const FormDesign& design)
    : dispatcher_(dispatcher),
      design_(design),
      attention_(window_),
      caption_(design.caption) {
  const PixelRect size = dispatcher_.ToPixels(0, 0, design.width, design.height);
  window_.set_name(design.name);
  window_.set_decorated(!design.borderless);
  window_.set_resizable(false);
  window_.set_default_size(size.width, size.height);
  window_.set_size_request(size.width, size.height);
  window_.set_position(Gtk::WIN_POS_CENTER);
  window_.set_type_hint(Gdk::WINDOW_TYPE_HINT_NORMAL);
  window_.set_skip_taskbar_hint(false);
  window_.set_title(design.caption);
  if (!design.icon.empty()) window_.set_icon(LoadPictureResource(design.icon)->Pixbuf());

  surface_.SetOwnSize(size.width, size.height);
  surface_.SetBackground(ToRgba(design.backColor, window_));
  surface_.SetPictureScale(dispatcher_.DesignScale());
  if (!design.picture.empty()) {
    const auto picture = LoadPictureResource(design.picture);
    surface_.SetPixbuf(picture->Pixbuf(), picture->DoubleDensity());
  }
  window_.add(surface_);
  surface_.show();
  window_.placeFindBar = [this](Gtk::Widget& bar) { PlaceFindBar(bar); };

  window_.signal_window_state_event().connect(
      [this](GdkEventWindowState* event) {
        windowState_ = event->new_window_state;
        return false;
      },
      false);
  // The window system's close (its button, Alt+F4, the taskbar) asks the window's QueryUnload
  // first; without a handler, or when it does not cancel, the window is unloaded.
  window_.signal_delete_event().connect(
      [this](GdkEventAny*) {
        dispatcher_.Dispatch([this] {
          int cancel = 0;
          if (QueryUnload) QueryUnload(cancel, vbFormControlMenu);
          if (cancel == 0) Unload();
        });
        return true;
      },
      false);

  for (const auto& control : design.controls) {
    const PixelRect rect = dispatcher_.ToPixels(control.left, control.top, control.width, control.height);
    switch (control.kind) {
      case ControlKind::PictureBox: {
        auto& box = boxes_.Add(std::make_unique<GtkPictureBox>(dispatcher_, control, ContainerFor(control), window_));
        boxesByName_[control.name] = &box;
        if (control.tabIndex) tabOrder_.emplace_back(*control.tabIndex, &box.Box());
        break;
      }
      case ControlKind::WebBrowser: {
        auto& view = browsers_.Add(std::make_unique<GtkWebBrowser>(loadOrder_, control, ContainerFor(control), rect,
                                                                   dispatcher_.PageZoom()));
        browsersByName_[control.name] = &view;
        if (control.tabIndex) tabOrder_.emplace_back(*control.tabIndex, &view.Widget());
        break;
      }
      case ControlKind::Timer:
        timersByName_[control.name] = &timers_.Add(std::make_unique<GtkTimer>(dispatcher_, control));
        break;
    }
  }
  std::stable_sort(tabOrder_.begin(), tabOrder_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

// The members go in the reverse order of their declaration; the window is hidden first.
GtkForm::~GtkForm() { window_.hide(); }

DesignContainer& GtkForm::ContainerFor(const ControlDesign& control) {
  if (control.container.empty() || control.container == design_.name) return surface_;
  const auto it = boxesByName_.find(control.container);
  if (it == boxesByName_.end())
    throw RuntimeError(kObjectRequired, "Object required: container " + control.container + " of " + control.name);
  return it->second->Box();
}

void GtkForm::SetCaption(const std::string& caption) {
  if (caption == caption_) return;  // the desktop already shows it
  caption_ = caption;
  const std::string_view upToNul = std::string_view(caption).substr(0, caption.find('\0'));
  window_.set_title(std::string(CutUtf8(upToNul, kMaxDesktopTitleBytes)));
  if (!caption_.empty()) Reached(Milestone::Caption);
  attention_.CaptionChanged((windowState_ & GDK_WINDOW_STATE_ICONIFIED) != 0);
}

int GtkForm::WindowState() const {
  if (windowState_ & GDK_WINDOW_STATE_ICONIFIED) return vbMinimized;
  if (windowState_ & GDK_WINDOW_STATE_MAXIMIZED) return vbMaximized;
  return vbNormal;
}

void GtkForm::SetWindowState(int state) {
  switch (state) {
    case vbNormal:
      window_.deiconify();
      window_.unmaximize();
      break;
    case vbMinimized:
      window_.iconify();
      break;
    case vbMaximized:
      window_.maximize();
      break;
    default:
      throw RuntimeError(kInvalidProcedureCall, "Invalid property value");
  }
}

std::int32_t GtkForm::hWnd() const {
  GdkWindow* window = gtk_widget_get_window(const_cast<GtkWidget*>(GTK_WIDGET(window_.gobj())));
  if (!window) return 0;
  return static_cast<std::int32_t>(GDK_WINDOW_XID(window));
}

PictureBox& GtkForm::PictureBoxNamed(const std::string& name) { return Named(boxesByName_, name); }
WebBrowser& GtkForm::WebBrowserNamed(const std::string& name) { return Named(browsersByName_, name); }
TimerControl& GtkForm::TimerNamed(const std::string& name) { return Named(timersByName_, name); }
GtkWebBrowser& GtkForm::PlacedBrowserNamed(const std::string& name) { return Named(browsersByName_, name); }

void GtkForm::SetPageHost(PageHost& host) {
  for (const auto& control : browsers_) control->SetHost(host);
}
Gtk::Widget& GtkForm::ControlWidget(const std::string& name) { return Named(browsersByName_, name).Widget(); }

void GtkForm::Realize() { gtk_widget_realize(GTK_WIDGET(window_.gobj())); }

void GtkForm::StartTimers(std::chrono::steady_clock::time_point since) {
  for (const auto& timer : timers_) timer->Start(since);
}

void GtkForm::RaiseLoad() {
  if (Load) dispatcher_.Dispatch(Load);
}

void GtkForm::ShowCentred(const std::optional<PixelRect>& area) {
  if (unloaded_) return;
  if (area) {
    // Centred on the area the window's scale was fitted to, whichever monitor the toolkit would
    // have picked.
    const PixelRect size = dispatcher_.ToPixels(0, 0, design_.width, design_.height);
    window_.set_position(Gtk::WIN_POS_NONE);
    window_.move(area->x + (area->width - size.width) / 2, area->y + (area->height - size.height) / 2);
  } else {
    window_.set_position(Gtk::WIN_POS_CENTER);
  }
  window_.show();
  for (const auto& box : boxes_) box->Box().Restack();
  surface_.Restack();
  FocusFirstControl();
}

void GtkForm::FocusFirstControl() {
  for (const auto& [tab, widget] : tabOrder_) {
    if (widget->get_visible() && widget->get_can_focus()) {
      widget->grab_focus();
      return;
    }
  }
}

// Along the bottom edge, in front of everything: the header covers the top, 201 pixels of it
// before the sign-in and 27 after, while the bottom stays in view in both layouts.
void GtkForm::PlaceFindBar(Gtk::Widget& bar) {
  constexpr int kMargin = 4;
  int minimum = 0, natural = 0;
  bar.get_preferred_height(minimum, natural);
  const int width = surface_.OwnWidth(), height = std::max(natural, 24);
  surface_.PlaceInFront(bar, {kMargin, surface_.OwnHeight() - height - kMargin, width - 2 * kMargin, height});
}

void GtkForm::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  for (const auto& timer : timers_) timer->Stop();
  if (unloading) unloading();
  window_.hide();
}

}  // namespace tavro::platform::gtk
