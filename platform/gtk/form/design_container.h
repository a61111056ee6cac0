// A windowed GTK container that places children at fixed pixel rectangles in stored stacking order.
#pragma once

#include <gtkmm.h>

#include <optional>
#include <vector>

#include "geometry.h"

namespace tavro::platform::gtk {

// Its own size is fixed and never follows its children: a child may overhang on every side and
// is clipped at the edges. It paints a background colour, then a picture at natural size from
// its upper-left corner, never scaled. Children added first stand in front.
class DesignContainer : public Gtk::Container {
 public:
  DesignContainer();
  ~DesignContainer() override;

  void SetOwnSize(int width, int height);
  int OwnWidth() const { return width_; }
  int OwnHeight() const { return height_; }
  void SetBackground(const Gdk::RGBA& color);
  void SetPixbuf(Glib::RefPtr<Gdk::Pixbuf> pixbuf);

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

  std::vector<Child> children_;  // front first
  int width_ = 0, height_ = 0;
  Gdk::RGBA background_;
  Glib::RefPtr<Gdk::Pixbuf> pixbuf_;
};

}  // namespace tavro::platform::gtk
