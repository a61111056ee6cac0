// Fixed placement, stored stacking and pictures at the window's scale for the skinned window.
#include "design_container.h"

#include <algorithm>

#include "scaled_picture.h"

namespace tavro::platform::gtk {

DesignContainer::DesignContainer() : Glib::ObjectBase("TavroDesignContainer") {
  set_has_window(true);
  set_redraw_on_allocate(false);
  background_.set_rgba(1, 1, 1, 1);
}

DesignContainer::~DesignContainer() = default;

void DesignContainer::SetOwnSize(int width, int height) {
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  queue_resize();
}

void DesignContainer::SetBackground(const Gdk::RGBA& color) {
  background_ = color;
  queue_draw();
}

void DesignContainer::SetPixbuf(Glib::RefPtr<Gdk::Pixbuf> pixbuf, Glib::RefPtr<Gdk::Pixbuf> doubleDensity) {
  pixbuf_ = std::move(pixbuf);
  doubleDensity_ = std::move(doubleDensity);
  scaled_.clear();
  scaledForDevice_ = 0;
  queue_draw();
}

void DesignContainer::SetPictureScale(double scale) {
  if (scale <= 0 || scale == pictureScale_) return;
  pictureScale_ = scale;
  scaled_.clear();
  scaledForDevice_ = 0;
  queue_draw();
}

void DesignContainer::SetDesignSize(int width, int height) {
  if (width == designWidth_ && height == designHeight_) return;
  designWidth_ = width;
  designHeight_ = height;
  scaledForDevice_ = 0;
  queue_draw();
}

const Cairo::RefPtr<Cairo::ImageSurface>& DesignContainer::ScaledPicture() {
  // Where the picture reaches the edge of the box as designed, it reaches its edge at any scale:
  // the box's size, rounded at another scale, may be a pixel larger than the picture's.
  const auto reach = [&](int picture, int designed, int own) {
    return designed > 0 && picture >= designed ? own : 0;
  };
  const int reachWidth = pixbuf_ ? reach(pixbuf_->get_width(), designWidth_, width_) : 0;
  const int reachHeight = pixbuf_ ? reach(pixbuf_->get_height(), designHeight_, height_) : 0;
  // The device scale may change while the window shows (it moves to a denser monitor).
  const int device = std::max(1, get_scale_factor());
  if (pixbuf_ && (device != scaledForDevice_ || reachWidth != scaledReach_.first || reachHeight != scaledReach_.second)) {
    scaled_ = ScalePicture(pixbuf_, doubleDensity_, pictureScale_, device, reachWidth, reachHeight);
    scaledForDevice_ = device;
    scaledReach_ = {reachWidth, reachHeight};
  }
  return scaled_;
}

void DesignContainer::Place(Gtk::Widget& child, const PixelRect& rect, std::optional<int> tabIndex) {
  children_.push_back({&child, rect, tabIndex});
  child.set_parent(*this);
}

void DesignContainer::PlaceInFront(Gtk::Widget& child, const PixelRect& rect) {
  children_.insert(children_.begin(), {&child, rect, std::nullopt});
  child.set_parent(*this);
}

void DesignContainer::Replace(Gtk::Widget& child, Gtk::Widget& replacement) {
  const auto it = std::find_if(children_.begin(), children_.end(), [&](const Child& c) { return c.widget == &child; });
  if (it == children_.end()) return;
  const bool focused = child.has_focus();
  const bool visible = child.get_visible();
  child.unparent();
  it->widget = &replacement;
  replacement.set_parent(*this);
  replacement.set_visible(visible);
  if (visible) AllocateChild(*it);
  Restack();
  if (focused) replacement.grab_focus();
}

bool DesignContainer::on_focus(Gtk::DirectionType direction) {
  // The focus chain: children with a tab position, by position (the stored order for equal ones).
  std::vector<Gtk::Widget*> chain;
  std::vector<std::pair<int, Gtk::Widget*>> byTab;
  for (const auto& c : children_)
    if (c.tabIndex) byTab.emplace_back(*c.tabIndex, c.widget);
  std::stable_sort(byTab.begin(), byTab.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  chain.reserve(byTab.size());
  for (const auto& [tab, widget] : byTab) chain.push_back(widget);
  if (direction == Gtk::DIR_TAB_BACKWARD || direction == Gtk::DIR_UP || direction == Gtk::DIR_LEFT)
    std::reverse(chain.begin(), chain.end());

  // From the child that holds the focus (it may move the focus on inside itself), or from the start.
  auto from = chain.begin();
  if (Gtk::Widget* current = get_focus_child()) {
    const auto at = std::find(chain.begin(), chain.end(), current);
    if (at != chain.end()) {
      if (current->child_focus(direction)) return true;
      from = std::next(at);
    }
  }
  for (auto it = from; it != chain.end(); ++it) {
    Gtk::Widget* candidate = *it;
    if (candidate->get_visible() && candidate->is_sensitive() && candidate->child_focus(direction)) return true;
  }
  return false;  // past the last: the window starts over from the first
}

void DesignContainer::MoveChild(Gtk::Widget& child, const PixelRect& rect) {
  for (auto& c : children_) {
    if (c.widget == &child) {
      c.rect = rect;
      if (c.widget->get_visible()) AllocateChild(c);
    }
  }
  child.queue_resize();
}

void DesignContainer::Restack() {
  // Back to front: each raise puts the window above those raised before it.
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    Gtk::Widget* w = it->widget;
    if (w->get_has_window() && w->get_realized() && w->get_mapped()) {
      if (auto window = w->get_window()) window->raise();
    }
  }
  queue_draw();
}

void DesignContainer::on_realize() {
  set_realized();
  const Gtk::Allocation allocation = get_allocation();
  GdkWindowAttr attributes{};
  attributes.x = allocation.get_x();
  attributes.y = allocation.get_y();
  attributes.width = allocation.get_width();
  attributes.height = allocation.get_height();
  attributes.window_type = GDK_WINDOW_CHILD;
  attributes.wclass = GDK_INPUT_OUTPUT;
  attributes.visual = gtk_widget_get_visual(GTK_WIDGET(gobj()));
  attributes.event_mask = get_events() | Gdk::EXPOSURE_MASK | Gdk::BUTTON_PRESS_MASK |
                          Gdk::BUTTON_RELEASE_MASK;
  auto window = Gdk::Window::create(get_parent_window(), &attributes,
                                    GDK_WA_X | GDK_WA_Y | GDK_WA_VISUAL);
  set_window(window);
  register_window(window);
}

void DesignContainer::on_map() {
  Gtk::Container::on_map();
  Restack();
}

void DesignContainer::AllocateChild(const Child& child) {
  int minimum = 0, natural = 0;
  // GTK wants a size request before every allocation; the stored rectangle wins regardless.
  child.widget->get_preferred_width(minimum, natural);
  child.widget->get_preferred_height(minimum, natural);
  Gtk::Allocation a(child.rect.x, child.rect.y, std::max(1, child.rect.width),
                    std::max(1, child.rect.height));
  child.widget->size_allocate(a);
}

void DesignContainer::on_size_allocate(Gtk::Allocation& allocation) {
  set_allocation(allocation);
  if (get_realized())
    get_window()->move_resize(allocation.get_x(), allocation.get_y(), allocation.get_width(),
                              allocation.get_height());
  for (const auto& c : children_)
    if (c.widget->get_visible()) AllocateChild(c);
}

bool DesignContainer::on_draw(const Cairo::RefPtr<Cairo::Context>& cr) {
  if (gtk_cairo_should_draw_window(cr->cobj(), get_window()->gobj())) {
    Gdk::Cairo::set_source_rgba(cr, background_);
    cr->paint();
    if (const auto& picture = ScaledPicture()) {
      cr->save();
      cr->rectangle(0, 0, get_allocated_width(), get_allocated_height());
      cr->clip();
      // Already at the device's pixels: copied one to one.
      cr->set_source(picture, 0, 0);
      cairo_pattern_set_filter(cairo_get_source(cr->cobj()), CAIRO_FILTER_NEAREST);
      cr->paint();
      cr->restore();
    }
  }
  // Children without windows of their own are drawn back to front.
  for (auto it = children_.rbegin(); it != children_.rend(); ++it)
    if (!it->widget->get_has_window()) propagate_draw(*it->widget, cr);
  // Windowed children draw through their own windows.
  for (auto it = children_.rbegin(); it != children_.rend(); ++it)
    if (it->widget->get_has_window()) propagate_draw(*it->widget, cr);
  return true;
}

void DesignContainer::on_add(Gtk::Widget* child) { Place(*child, {}); }

void DesignContainer::on_remove(Gtk::Widget* child) {
  const auto it = std::find_if(children_.begin(), children_.end(),
                               [child](const Child& c) { return c.widget == child; });
  if (it == children_.end()) return;
  const bool wasVisible = child->get_visible();
  child->unparent();
  children_.erase(it);
  if (wasVisible) queue_resize();
}

void DesignContainer::forall_vfunc(gboolean, GtkCallback callback, gpointer data) {
  // The callback may remove the child: iterate over a copy.
  const auto snapshot = children_;
  for (const auto& c : snapshot) callback(c.widget->gobj(), data);
}

GType DesignContainer::child_type_vfunc() const { return Gtk::Widget::get_type(); }

Gtk::SizeRequestMode DesignContainer::get_request_mode_vfunc() const {
  return Gtk::SIZE_REQUEST_CONSTANT_SIZE;
}

void DesignContainer::get_preferred_width_vfunc(int& minimum, int& natural) const {
  minimum = natural = width_;
}

void DesignContainer::get_preferred_height_vfunc(int& minimum, int& natural) const {
  minimum = natural = height_;
}

void DesignContainer::get_preferred_width_for_height_vfunc(int, int& minimum, int& natural) const {
  minimum = natural = width_;
}

void DesignContainer::get_preferred_height_for_width_vfunc(int, int& minimum, int& natural) const {
  minimum = natural = height_;
}

}  // namespace tavro::platform::gtk
