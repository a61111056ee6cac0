// A windowed GTK container that places children at fixed pixel rectangles in stored stacking order.
#pragma once

#include <gtkmm.h>

#include <optional>
#include <utility>
#include <vector>

#include "geometry.h"

namespace tavro::platform::gtk {

// Its own size is fixed and never follows its children: a child may overhang on every side and
// is clipped at the edges. It paints a background colour, then a picture from its upper-left
// corner, cut at its edges and never stretched to them: at the window's scale, which is the only
// scale it follows. Children added first stand in front.
class DesignContainer : public Gtk::Container {
 public:
  DesignContainer();
  ~DesignContainer() override;

  void SetOwnSize(int width, int height);
  int OwnWidth() const { return width_; }
  int OwnHeight() const { return height_; }
  void SetBackground(const Gdk::RGBA& color);
  // The picture, and the same at twice the size when there is one (the sharper source where the
  // window is drawn large).
  void SetPixbuf(Glib::RefPtr<Gdk::Pixbuf> pixbuf, Glib::RefPtr<Gdk::Pixbuf> doubleDensity = {});
  // The window's pixels per picture pixel (1 at 96 dpi).
  void SetPictureScale(double scale);
  // Its size as designed, at 96 dpi: a picture at least that large covers the box to its edges
  // at every scale.
  void SetDesignSize(int width, int height);

  // Appends behind the children already placed. A tab position puts the child in the focus
  // chain: Tab and Shift+Tab go through the children by position, passing over hidden ones and
  // those that never take the focus.
  void Place(Gtk::Widget& child, const PixelRect& rect, std::optional<int> tabIndex = std::nullopt);
  // Puts the child in front of every other, outside the focus chain.
  void PlaceInFront(Gtk::Widget& child, const PixelRect& rect);
  void MoveChild(Gtk::Widget& child, const PixelRect& rect);
  // Puts `replacement` where `child` was: same place, stacking and tab position.
  void Replace(Gtk::Widget& child, Gtk::Widget& replacement);
  // Puts the children's windows back into stored order (mapping a window raises it).
  void Restack();

 protected:
  void on_realize() override;
  void on_map() override;
  void on_size_allocate(Gtk::Allocation& allocation) override;
  bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override;
  bool on_focus(Gtk::DirectionType direction) override;
  void on_add(Gtk::Widget* child) override;
  void on_remove(Gtk::Widget* child) override;
  void forall_vfunc(gboolean includeInternals, GtkCallback callback, gpointer data) override;
  GType child_type_vfunc() const override;
  Gtk::SizeRequestMode get_request_mode_vfunc() const override;
  void get_preferred_width_vfunc(int& minimum, int& natural) const override;
  void get_preferred_height_vfunc(int& minimum, int& natural) const override;
  void get_preferred_width_for_height_vfunc(int height, int& minimum, int& natural) const override;
  void get_preferred_height_for_width_vfunc(int width, int& minimum, int& natural) const override;

 private:
  struct Child {
    Gtk::Widget* widget = nullptr;
    PixelRect rect;
    std::optional<int> tabIndex;
  };
  void AllocateChild(const Child& child);
  // The picture at the scale and on the device it is drawn for now, made again when either changed.
  const Cairo::RefPtr<Cairo::ImageSurface>& ScaledPicture();

  std::vector<Child> children_;  // front first
  int width_ = 0, height_ = 0;
  Gdk::RGBA background_;
  Glib::RefPtr<Gdk::Pixbuf> pixbuf_, doubleDensity_;
  double pictureScale_ = 1.0;
  Cairo::RefPtr<Cairo::ImageSurface> scaled_;
  int scaledForDevice_ = 0;  // the device scale `scaled_` was made for; 0: none yet
  std::pair<int, int> scaledReach_;  // and the size it was stretched to reach (0: none)
  int designWidth_ = 0, designHeight_ = 0;
};

}  // namespace tavro::platform::gtk
