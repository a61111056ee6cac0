// The window built from a stored design: a borderless GTK window holding picture boxes, WebKit
// views and timers in their stored places, order and visibility.
#pragma once

#include <gtkmm.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "attention.h"
#include "design_container.h"
#include "dispatcher.h"
#include "find_bar_host.h"
#include "load_order.h"
#include "page_host.h"
#include "picture_box.h"
#include "platform/design.h"
#include "platform/forms.h"
#include "timer_control.h"
#include "web_browser.h"

namespace tavro::platform::gtk {

// Owns its items and destroys them last first: controls inside a box go before the box.
template <typename T>
class OwnedInOrder {
 public:
  OwnedInOrder() = default;
  OwnedInOrder(const OwnedInOrder&) = delete;
  OwnedInOrder& operator=(const OwnedInOrder&) = delete;
  ~OwnedInOrder() { Clear(); }
  T& Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return *items_.back();
  }
  void Clear() {
    while (!items_.empty()) items_.pop_back();
  }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

// The main window: the form says where its find bar goes.
class FormWindow : public Gtk::Window, public FindBarHost {
 public:
  FormWindow() : Gtk::Window(Gtk::WINDOW_TOPLEVEL) {}
  std::function<void(Gtk::Widget& bar)> placeFindBar;
  void PlaceFindBar(Gtk::Widget& bar) override {
    if (placeFindBar) placeFindBar(bar);
  }
};

class GtkForm : public Form {
 public:
  GtkForm(Dispatcher& dispatcher, const FormDesign& design);
  ~GtkForm() override;
  GtkForm(const GtkForm&) = delete;
  GtkForm& operator=(const GtkForm&) = delete;

  std::string Caption() const override { return caption_; }
  void SetCaption(const std::string& caption) override;
  int WindowState() const override;
  void SetWindowState(int state) override;
  std::int32_t hWnd() const override;
  float Width() const override { return static_cast<float>(design_.width); }
  float Height() const override { return static_cast<float>(design_.height); }
  PictureBox& PictureBoxNamed(const std::string& name) override;
  WebBrowser& WebBrowserNamed(const std::string& name) override;
  TimerControl& TimerNamed(const std::string& name) override;

  // The runtime's side: the window's life from creation to unloading.
  void Realize();
  // The timers count their intervals from `since`, the toolkit's start.
  void StartTimers(std::chrono::steady_clock::time_point since);
  void RaiseLoad();
  // Shows the window centred on the area (a monitor's work area), or where the toolkit centres it.
  void ShowCentred(const std::optional<PixelRect>& area = std::nullopt);
  // Timers stop, `unloading` runs (the browser's windows and dialogs go), the window hides. A
  // second call does nothing.
  void Unload();
  std::function<void()> unloading;
  // The browser above the window: where the placed controls' loads go.
  void SetPageHost(PageHost& host);
  LoadOrder& Loads() { return loadOrder_; }
  bool LoadsPending() const { return loadOrder_.AnyPending(); }
  bool Unloaded() const { return unloaded_; }

  FormWindow& Window() { return window_; }
  GtkWebBrowser& PlacedBrowserNamed(const std::string& name);
  // What a browser control shows on the window: its view, or its placeholder until the first load.
  Gtk::Widget& ControlWidget(const std::string& name);

 private:
  DesignContainer& ContainerFor(const ControlDesign& control);
  void FocusFirstControl();
  void PlaceFindBar(Gtk::Widget& bar);

  Dispatcher& dispatcher_;
  FormDesign design_;
  // Declared in the order that makes the implicit destruction right: the controls go in reverse
  // order of creation, then the window.
  FormWindow window_;
  DesignContainer surface_;
  Attention attention_;
  std::string caption_;
  OwnedInOrder<GtkPictureBox> boxes_;
  OwnedInOrder<GtkWebBrowser> browsers_;
  OwnedInOrder<GtkTimer> timers_;
  std::map<std::string, GtkPictureBox*> boxesByName_;
  std::map<std::string, GtkWebBrowser*> browsersByName_;
  std::map<std::string, GtkTimer*> timersByName_;
  std::vector<std::pair<int, Gtk::Widget*>> tabOrder_;
  LoadOrder loadOrder_;
  GdkWindowState windowState_ = GdkWindowState(0);
  bool unloaded_ = false;
};

}  // namespace tavro::platform::gtk
