// Picture boxes: placement in twips, pictures at the window's scale, and the mouse events.
#include "picture_box.h"

#include <cmath>
#include <cstring>

#include "picture.h"
#include "window_scale.h"
#include "platform/errors.h"

namespace tavro::platform::gtk {
namespace {

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

GtkPictureBox::GtkPictureBox(Dispatcher& dispatcher, const ControlDesign& design, DesignContainer& container,
                             Gtk::Widget& themed)
    : dispatcher_(dispatcher),
      container_(container),
      left_(static_cast<float>(design.left)),
      top_(static_cast<float>(design.top)),
      width_(static_cast<float>(design.width)),
      height_(static_cast<float>(design.height)) {
  box_.set_name(design.name);
  box_.set_can_focus(false);
  box_.SetBackground(ToRgba(design.backColor, themed));
  box_.SetPictureScale(dispatcher_.DesignScale());
  if (!design.picture.empty()) {
    auto picture = LoadPictureResource(design.picture);
    box_.SetPixbuf(picture->Pixbuf(), picture->DoubleDensity());
    picture_ = std::move(picture);
  }
  const PixelRect rect = dispatcher_.ToPixels(design.left, design.top, design.width, design.height);
  box_.SetOwnSize(rect.width, rect.height);
  SetDesignSize();
  container_.Place(box_, rect, design.tabIndex);
  box_.set_visible(design.visible);
  box_.signal_button_press_event().connect(sigc::mem_fun(*this, &GtkPictureBox::OnPress), false);
  box_.signal_button_release_event().connect(sigc::mem_fun(*this, &GtkPictureBox::OnRelease), false);
  // A screen reader's press is a click.
  accessible_ = std::make_unique<AccessibleControl>(box_, design, [this] {
    if (Click) dispatcher_.Dispatch(Click);
  });
}

GtkPictureBox::~GtkPictureBox() { container_.remove(box_); }

void GtkPictureBox::Relayout() {
  const PixelRect rect = dispatcher_.ToPixels(Round(left_), Round(top_), Round(width_), Round(height_));
  box_.SetOwnSize(rect.width, rect.height);
  SetDesignSize();
  container_.MoveChild(box_, rect);
}

void GtkPictureBox::SetDesignSize() {
  const int left = Round(left_), top = Round(top_);
  const int x = DesignPixels(left, kTwipsPerDesignPixel), y = DesignPixels(top, kTwipsPerDesignPixel);
  box_.SetDesignSize(DesignPixels(left + Round(width_), kTwipsPerDesignPixel) - x,
                     DesignPixels(top + Round(height_), kTwipsPerDesignPixel) - y);
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
  if (!pixbufPicture || !shown || !SamePixels(shown->Pixbuf(), pixbufPicture->Pixbuf()) ||
      shown->DoubleDensity() != pixbufPicture->DoubleDensity()) {
    if (pixbufPicture)
      box_.SetPixbuf(pixbufPicture->Pixbuf(), pixbufPicture->DoubleDensity());
    else
      box_.SetPixbuf({});
  }
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
  if (button != 0 && MouseDown) {
    const float x = static_cast<float>(event->x) * dispatcher_.TwipsX();
    const float y = static_cast<float>(event->y) * dispatcher_.TwipsY();
    const int shift = ShiftOf(event->state);
    dispatcher_.Dispatch([this, button, shift, x, y] {
      if (MouseDown) MouseDown(button, shift, x, y);
    });
  }
  return true;  // a press on a box never reaches the box that contains it
}

bool GtkPictureBox::OnRelease(GdkEventButton* event) {
  if (event->button != 1 || !leftPressed_) return true;
  leftPressed_ = false;
  const bool inside = event->x >= 0 && event->y >= 0 && event->x < box_.get_allocated_width() &&
                      event->y < box_.get_allocated_height();
  if (inside && Click) dispatcher_.Dispatch(Click);
  return true;
}

}  // namespace tavro::platform::gtk
