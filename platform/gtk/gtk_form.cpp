// Builds the window generically from its stored design and carries events to the handlers.
#include "gtk_form.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/address.h"
#include "web_views.h"
#include "platform/errors.h"

namespace tavro::platform::gtk {
namespace {

// Longest title handed to the desktop; the caption itself keeps the whole text.
constexpr std::size_t kMaxDesktopTitleBytes = 4096;

int Round(double v) { return static_cast<int>(std::lround(v)); }

// Same size, layout and pixel bytes: drawing either gives the same picture.
bool SamePixels(const Glib::RefPtr<Gdk::Pixbuf>& a, const Glib::RefPtr<Gdk::Pixbuf>& b) {
  if (!a || !b) return false;
  if (a == b) return true;
  GdkPixbuf* pa = a->gobj();
  GdkPixbuf* pb = b->gobj();
  if (gdk_pixbuf_get_width(pa) != gdk_pixbuf_get_width(pb) ||
      gdk_pixbuf_get_height(pa) != gdk_pixbuf_get_height(pb) ||
      gdk_pixbuf_get_n_channels(pa) != gdk_pixbuf_get_n_channels(pb) ||
      gdk_pixbuf_get_has_alpha(pa) != gdk_pixbuf_get_has_alpha(pb) ||
      gdk_pixbuf_get_bits_per_sample(pa) != gdk_pixbuf_get_bits_per_sample(pb) ||
      gdk_pixbuf_get_rowstride(pa) != gdk_pixbuf_get_rowstride(pb) ||
      gdk_pixbuf_get_byte_length(pa) != gdk_pixbuf_get_byte_length(pb))
    return false;
  return std::memcmp(gdk_pixbuf_read_pixels(pa), gdk_pixbuf_read_pixels(pb), gdk_pixbuf_get_byte_length(pa)) == 0;
}

Gdk::RGBA ToRgba(const DesignColor& color, Gtk::Widget& themed) {
  Gdk::RGBA rgba;
  if (color.systemWindow) {
    // The background of the desktop's content areas, as the theme paints it.
    if (!themed.get_style_context()->lookup_color("theme_base_color", rgba)) rgba.set_rgba(1, 1, 1, 1);
    return rgba;
  }
  rgba.set_rgba_u(static_cast<gushort>(color.red * 257), static_cast<gushort>(color.green * 257),
                  static_cast<gushort>(color.blue * 257), 65535);
  return rgba;
}

std::string TruncateUtf8(const std::string& text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

int ButtonOf(guint gdkButton) {
  switch (gdkButton) {
    case 1: return 1;  // left
    case 3: return 2;  // right
    case 2: return 4;  // middle
    default: return 0;
  }
}

int ShiftOf(guint state) {
  return ((state & GDK_SHIFT_MASK) ? 1 : 0) | ((state & GDK_CONTROL_MASK) ? 2 : 0) |
         ((state & GDK_MOD1_MASK) ? 4 : 0);
}

}  // namespace

// ---------------------------------------------------------------- picture boxes

GtkPictureBox::GtkPictureBox(GtkForm& form, const ControlDesign& design, DesignContainer& container)
    : form_(form),
      container_(container),
      left_(static_cast<float>(design.left)),
      top_(static_cast<float>(design.top)),
      width_(static_cast<float>(design.width)),
      height_(static_cast<float>(design.height)) {
  box_.set_name(design.name);
  box_.set_can_focus(false);
  box_.SetBackground(ToRgba(design.backColor, form.Window()));
  if (!design.picture.empty()) {
    auto picture = LoadPictureResource(design.picture);
    box_.SetPixbuf(picture->Pixbuf());
    picture_ = std::move(picture);
  }
  const PixelRect rect = form.ToPixels(design.left, design.top, design.width, design.height);
  box_.SetOwnSize(rect.width, rect.height);
  container_.Place(box_, rect);
  box_.set_visible(design.visible);
  box_.signal_button_press_event().connect(sigc::mem_fun(*this, &GtkPictureBox::OnPress), false);
  box_.signal_button_release_event().connect(sigc::mem_fun(*this, &GtkPictureBox::OnRelease), false);
}

GtkPictureBox::~GtkPictureBox() { container_.remove(box_); }

void GtkPictureBox::Relayout() {
  const PixelRect rect = form_.ToPixels(Round(left_), Round(top_), Round(width_), Round(height_));
  box_.SetOwnSize(rect.width, rect.height);
  container_.MoveChild(box_, rect);
}

// The title monitor applies the signed-in layout again on every tick, with the same sizes,
// visibility and pictures (read afresh from disk). What is already so is left as it is: an idle
// window then costs no relayout, restacking or redrawing twice a second.

void GtkPictureBox::SetWidth(float twips) {
  if (twips == width_) return;
  width_ = twips;
  Relayout();
}

void GtkPictureBox::SetHeight(float twips) {
  if (twips == height_) return;
  height_ = twips;
  Relayout();
}

void GtkPictureBox::SetPicture(std::shared_ptr<platform::Picture> picture) {
  auto* pixbufPicture = dynamic_cast<PixbufPicture*>(picture.get());
  if (picture && !pixbufPicture) throw RuntimeError(kInvalidPicture, "Invalid picture");
  auto* shown = dynamic_cast<PixbufPicture*>(picture_.get());
  // The box keeps showing the former pixels when the new picture has the very same ones.
  if (!pixbufPicture || !shown || !SamePixels(shown->Pixbuf(), pixbufPicture->Pixbuf()))
    box_.SetPixbuf(pixbufPicture ? pixbufPicture->Pixbuf() : Glib::RefPtr<Gdk::Pixbuf>());
  picture_ = std::move(picture);  // the former picture goes with its last reference
}

void GtkPictureBox::SetVisible(bool visible) {
  if (visible == box_.get_visible()) return;
  box_.set_visible(visible);
  container_.Restack();
}

bool GtkPictureBox::OnPress(GdkEventButton* event) {
  if (event->type != GDK_BUTTON_PRESS) return true;  // double and triple clicks add nothing
  const int button = ButtonOf(event->button);
  if (button == 1) leftPressed_ = true;
  if (button != 0 && mouseDown) {
    const float x = static_cast<float>(event->x) * form_.Events().TwipsX();
    const float y = static_cast<float>(event->y) * form_.Events().TwipsY();
    const int shift = ShiftOf(event->state);
    form_.Events().Dispatch([this, button, shift, x, y] { mouseDown(button, shift, x, y); });
  }
  return true;  // a press on a box never reaches the box that contains it
}

bool GtkPictureBox::OnRelease(GdkEventButton* event) {
  if (event->button != 1 || !leftPressed_) return true;
  leftPressed_ = false;
  const bool inside = event->x >= 0 && event->y >= 0 && event->x < box_.get_allocated_width() &&
                      event->y < box_.get_allocated_height();
  if (inside && click) form_.Events().Dispatch(click);
  return true;
}

// ---------------------------------------------------------------- browser views

GtkWebBrowser::GtkWebBrowser(GtkForm& form, WebKitWebView* view, DesignContainer& container,
                             const PixelRect& rect, bool visible)
    : form_(form), container_(container), view_(view), widget_(Glib::wrap(GTK_WIDGET(view))) {
  container_.Place(*widget_, rect);
  widget_->set_visible(visible);
  g_signal_connect(view_, "load-changed", G_CALLBACK(&GtkWebBrowser::OnLoadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(&GtkWebBrowser::OnLoadFailed), this);
}

GtkWebBrowser::~GtkWebBrowser() {
  g_signal_handlers_disconnect_by_data(view_, this);
  container_.remove(*widget_);
  g_object_unref(view_);
}

void GtkWebBrowser::Navigate(const std::string& url) {
  const std::string uri = FixUpAddress(url);
  form_.Behaviour().Navigating(view_, uri);
  form_.StartLoad(*this, uri);
}

void GtkWebBrowser::Load(std::string uri) {
  queued = false;
  queuedUri.clear();
  awaitingAnswer_ = true;
  webkit_web_view_load_uri(view_, uri.c_str());
}

void GtkWebBrowser::Answered() {
  if (!awaitingAnswer_) return;
  awaitingAnswer_ = false;
  form_.ReleaseQueuedLoads(false);
}

void GtkWebBrowser::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  if (event == WEBKIT_LOAD_COMMITTED || event == WEBKIT_LOAD_FINISHED)
    static_cast<GtkWebBrowser*>(self)->Answered();
}

gboolean GtkWebBrowser::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer self) {
  static_cast<GtkWebBrowser*>(self)->Answered();
  return FALSE;  // WebKit shows its error page
}

std::string GtkWebBrowser::LocationName() const {
  const char* title = webkit_web_view_get_title(view_);
  return title ? title : "";
}

bool GtkWebBrowser::Visible() const { return widget_->get_visible(); }

void GtkWebBrowser::SetVisible(bool visible) {
  if (visible != widget_->get_visible()) {  // see GtkPictureBox::SetWidth
    widget_->set_visible(visible);
    container_.Restack();
  }
  if (visible && queued) Load(queuedUri);
}

// ---------------------------------------------------------------- the form

GtkForm::GtkForm(Dispatcher& dispatcher, const FormDesign& design)
    : dispatcher_(dispatcher), design_(design), window_(Gtk::WINDOW_TOPLEVEL) {
  const PixelRect size = ToPixels(0, 0, design.width, design.height);
  window_.set_name(design.name);
  window_.set_decorated(!design.borderless);
  window_.set_resizable(false);
  window_.set_default_size(size.width, size.height);
  window_.set_size_request(size.width, size.height);
  window_.set_position(Gtk::WIN_POS_CENTER);
  window_.set_type_hint(Gdk::WINDOW_TYPE_HINT_NORMAL);
  window_.set_skip_taskbar_hint(false);
  window_.set_title(design.caption);
  caption_ = design.caption;
  if (!design.icon.empty()) window_.set_icon(LoadPictureResource(design.icon)->Pixbuf());

  surface_.SetOwnSize(size.width, size.height);
  surface_.SetBackground(ToRgba(design.backColor, window_));
  if (!design.picture.empty()) surface_.SetPixbuf(LoadPictureResource(design.picture)->Pixbuf());
  window_.add(surface_);
  surface_.show();

  window_.signal_window_state_event().connect(
      [this](GdkEventWindowState* event) {
        windowState_ = event->new_window_state;
        return false;
      },
      false);
  // The window system's close request unloads the window, as closing a form always has.
  window_.signal_delete_event().connect(
      [this](GdkEventAny*) {
        dispatcher_.Dispatch([this] { Unload(); });
        return true;
      },
      false);

  ClearAttentionOnFocus(window_);

  context_ = CreateWebContext();
  behaviour_ = std::make_unique<BrowserBehaviour>(window_, context_);

  WebKitWebView* firstView = nullptr;
  for (const auto& control : design.controls) {
    const PixelRect rect = ToPixels(control.left, control.top, control.width, control.height);
    switch (control.kind) {
      case ControlKind::PictureBox: {
        auto box = std::make_unique<GtkPictureBox>(*this, control, ContainerFor(control));
        pictureBoxes_[control.name] = box.get();
        if (control.tabIndex) tabOrder_.emplace_back(*control.tabIndex, &box->Box());
        ownedBoxes_.push_back(std::move(box));
        break;
      }
      case ControlKind::WebBrowser: {
        // Views share one web process where they can; one never navigated starts none.
        auto* view = CreateWebView(context_, firstView);
        g_object_ref_sink(view);
        if (!firstView) firstView = view;
        gtk_widget_set_name(GTK_WIDGET(view), control.name.c_str());
        behaviour_->AttachView(view);
        auto browser = std::make_unique<GtkWebBrowser>(*this, view, ContainerFor(control), rect, control.visible);
        browsers_[control.name] = browser.get();
        if (control.tabIndex) tabOrder_.emplace_back(*control.tabIndex, &browser->Widget());
        ownedBrowsers_.push_back(std::move(browser));
        break;
      }
      case ControlKind::Timer:
        timers_[control.name].interval = control.interval;
        break;
    }
  }
  std::stable_sort(tabOrder_.begin(), tabOrder_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

GtkForm::~GtkForm() {
  queueTimeout_.disconnect();
  for (auto& [name, timer] : timers_) timer.connection.disconnect();
  behaviour_.reset();
  window_.hide();
  browsers_.clear();
  pictureBoxes_.clear();
  while (!ownedBrowsers_.empty()) ownedBrowsers_.pop_back();
  while (!ownedBoxes_.empty()) ownedBoxes_.pop_back();
  window_.remove();
  if (context_) g_object_unref(context_);
}

PixelRect GtkForm::ToPixels(int left, int top, int width, int height) const {
  const double tx = dispatcher_.TwipsX(), ty = dispatcher_.TwipsY();
  const int x = Round(left / tx), y = Round(top / ty);
  return PixelRect{x, y, Round((left + width) / tx) - x, Round((top + height) / ty) - y};
}

DesignContainer& GtkForm::ContainerFor(const ControlDesign& control) {
  if (control.container.empty() || control.container == design_.name) return surface_;
  const auto it = pictureBoxes_.find(control.container);
  if (it == pictureBoxes_.end())
    throw RuntimeError(kObjectRequired, "Object required: container " + control.container + " of " + control.name);
  return it->second->Box();
}

void GtkForm::StartLoad(GtkWebBrowser& browser, const std::string& uri) {
  const bool visibleViewWaits = std::any_of(ownedBrowsers_.begin(), ownedBrowsers_.end(), [](const auto& b) {
    return b->Visible() && b->AwaitingAnswer();
  });
  if (browser.Visible() || !visibleViewWaits) {
    browser.Load(uri);
    return;
  }
  browser.queued = true;
  browser.queuedUri = uri;
  // A site that never answers does not hold the hidden view back for long.
  if (!queueTimeout_.connected())
    queueTimeout_ = Glib::signal_timeout().connect(
        [this] {
          ReleaseQueuedLoads(true);
          return false;
        },
        3000);
}

void GtkForm::ReleaseQueuedLoads(bool all) {
  if (!all && std::any_of(ownedBrowsers_.begin(), ownedBrowsers_.end(),
                          [](const auto& b) { return b->Visible() && b->AwaitingAnswer(); }))
    return;
  queueTimeout_.disconnect();
  for (auto& b : ownedBrowsers_)
    if (b->queued) b->Load(b->queuedUri);
}

void GtkForm::SetCaption(const std::string& caption) {
  if (caption == caption_) return;  // the desktop already shows it
  caption_ = caption;
  window_.set_title(TruncateUtf8(caption.substr(0, caption.find('\0')), kMaxDesktopTitleBytes));
  RequestAttention(window_, (windowState_ & GDK_WINDOW_STATE_ICONIFIED) != 0);
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

PictureBox& GtkForm::PictureBoxNamed(const std::string& name) {
  const auto it = pictureBoxes_.find(name);
  if (it == pictureBoxes_.end()) throw RuntimeError(kObjectRequired, "Object required: " + name);
  return *it->second;
}

WebBrowser& GtkForm::WebBrowserNamed(const std::string& name) {
  const auto it = browsers_.find(name);
  if (it == browsers_.end()) throw RuntimeError(kObjectRequired, "Object required: " + name);
  return *it->second;
}

void GtkForm::OnClick(const std::string& control, ClickHandler handler) {
  static_cast<GtkPictureBox&>(PictureBoxNamed(control)).click = std::move(handler);
}

void GtkForm::OnMouseDown(const std::string& control, MouseHandler handler) {
  static_cast<GtkPictureBox&>(PictureBoxNamed(control)).mouseDown = std::move(handler);
}

void GtkForm::OnTimer(const std::string& control, ClickHandler handler) {
  const auto it = timers_.find(control);
  if (it == timers_.end()) throw RuntimeError(kObjectRequired, "Object required: " + control);
  it->second.tick = std::move(handler);
}

void GtkForm::Realize() {
  gtk_widget_realize(GTK_WIDGET(window_.gobj()));
}

void GtkForm::StartTimers() {
  for (auto& [name, timer] : timers_) {
    if (timer.interval <= 0 || !timer.tick) continue;
    timer.connection = Glib::signal_timeout().connect(
        [this, &timer] {
          if (!unloaded_) dispatcher_.Dispatch(timer.tick);
          return !unloaded_;
        },
        static_cast<unsigned>(timer.interval));
  }
}

void GtkForm::RaiseLoad() {
  if (load_) dispatcher_.Dispatch(load_);
}

void GtkForm::ShowCentred() {
  if (unloaded_) return;
  window_.set_position(Gtk::WIN_POS_CENTER);
  window_.show();
  for (auto& box : ownedBoxes_) box->Box().Restack();
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

void GtkForm::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  for (auto& [name, timer] : timers_) timer.connection.disconnect();
  if (behaviour_) behaviour_->CloseAll();
  window_.hide();
}

}  // namespace tavro::platform::gtk
