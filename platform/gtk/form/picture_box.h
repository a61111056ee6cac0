// A picture box of the design: a flat box of fixed size that shows its background colour and
// its picture at the window's scale, clipped, and raises Click and MouseDown.
#pragma once

#include <gtkmm.h>

#include <memory>

#include "accessible.h"
#include "design_container.h"
#include "dispatcher.h"
#include "platform/design.h"
#include "platform/forms.h"

namespace tavro::platform::gtk {

// A colour of the design as the desktop shows it; `themed` gives the theme's window colour.
Gdk::RGBA ToRgba(const DesignColor& color, Gtk::Widget& themed);

class GtkPictureBox : public PictureBox {
 public:
  GtkPictureBox(Dispatcher& dispatcher, const ControlDesign& design, DesignContainer& container,
                Gtk::Widget& themed);
  ~GtkPictureBox() override;
  GtkPictureBox(const GtkPictureBox&) = delete;
  GtkPictureBox& operator=(const GtkPictureBox&) = delete;

  float Width() const override { return width_; }
  void SetWidth(float twips) override;
  float Height() const override { return height_; }
  void SetHeight(float twips) override;
  std::shared_ptr<platform::Picture> Picture() const override { return picture_; }
  void SetPicture(std::shared_ptr<platform::Picture> picture) override;
  bool Visible() const override { return box_.get_visible(); }
  void SetVisible(bool visible) override;

  // The box as a container, for the controls that lie inside it.
  DesignContainer& Box() { return box_; }

 private:
  void Relayout();
  // Tells the box its size at 96 dpi, which says whether its picture covers it to the edges.
  void SetDesignSize();
  bool OnPress(GdkEventButton* event);
  bool OnRelease(GdkEventButton* event);

  Dispatcher& dispatcher_;
  DesignContainer& container_;
  DesignContainer box_;
  float left_, top_, width_, height_;
  std::shared_ptr<platform::Picture> picture_;
  bool leftPressed_ = false;
  std::unique_ptr<AccessibleControl> accessible_;  // goes before the box
};

}  // namespace tavro::platform::gtk
