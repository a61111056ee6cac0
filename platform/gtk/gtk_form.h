// The window built from a stored design: a borderless GTK window, picture boxes, WebKit views.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "browser_behaviour.h"
#include "design_container.h"
#include "picture.h"
#include "platform/design.h"
#include "platform/forms.h"

namespace tavro::platform::gtk {

// What the controls need of the runtime: every handler runs through Dispatch.
class Dispatcher {
 public:
  virtual ~Dispatcher() = default;
  virtual void Dispatch(const std::function<void()>& handler) = 0;
  virtual float TwipsX() const = 0;
  virtual float TwipsY() const = 0;
};

class GtkForm;

class GtkPictureBox : public PictureBox {
 public:
  GtkPictureBox(GtkForm& form, const ControlDesign& design, DesignContainer& container);
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

  DesignContainer& Box() { return box_; }
  ClickHandler click;
  MouseHandler mouseDown;

 private:
  void Relayout();
  bool OnPress(GdkEventButton* event);
  bool OnRelease(GdkEventButton* event);

  GtkForm& form_;
  DesignContainer& container_;
  DesignContainer box_;
  float left_, top_, width_, height_;
  std::shared_ptr<platform::Picture> picture_;
  bool leftPressed_ = false;
};

class GtkWebBrowser : public WebBrowser {
 public:
  GtkWebBrowser(GtkForm& form, WebKitWebView* view, DesignContainer& container, const PixelRect& rect,
                bool visible);
  ~GtkWebBrowser() override;
  GtkWebBrowser(const GtkWebBrowser&) = delete;
  GtkWebBrowser& operator=(const GtkWebBrowser&) = delete;

  void Navigate(const std::string& url) override;
  std::string LocationName() const override;
  bool Visible() const override;
  void SetVisible(bool visible) override;

  WebKitWebView* View() const { return view_; }
  Gtk::Widget& Widget() { return *widget_; }

  // Loading order: see GtkForm::StartLoad.
  void Load(std::string uri);
  bool AwaitingAnswer() const { return awaitingAnswer_; }
  std::string queuedUri;
  bool queued = false;

 private:
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error,
                               gpointer self);
  void Answered();

  bool awaitingAnswer_ = false;
  GtkForm& form_;
  DesignContainer& container_;
  WebKitWebView* view_;  // a reference of ours, released in the destructor
  Gtk::Widget* widget_;  // the same view, wrapped
};

class GtkForm : public Form {
 public:
  GtkForm(Dispatcher& dispatcher, const FormDesign& design);
  ~GtkForm() override;

  std::string Caption() const override { return caption_; }
  void SetCaption(const std::string& caption) override;
  int WindowState() const override;
  void SetWindowState(int state) override;
  std::int32_t hWnd() const override;
  float Width() const override { return static_cast<float>(design_.width); }
  float Height() const override { return static_cast<float>(design_.height); }
  PictureBox& PictureBoxNamed(const std::string& name) override;
  WebBrowser& WebBrowserNamed(const std::string& name) override;
  void OnLoad(ClickHandler handler) override { load_ = std::move(handler); }
  void OnClick(const std::string& control, ClickHandler handler) override;
  void OnMouseDown(const std::string& control, MouseHandler handler) override;
  void OnTimer(const std::string& control, ClickHandler handler) override;

  // Runtime side.
  void Realize();
  void StartTimers();
  void RaiseLoad();
  void ShowCentred();
  void Unload();
  bool Unloaded() const { return unloaded_; }
  Gtk::Window& Window() { return window_; }
  Dispatcher& Events() { return dispatcher_; }
  PixelRect ToPixels(int left, int top, int width, int height) const;
  WebKitWebContext* WebContext() const { return context_; }
  BrowserBehaviour& Behaviour() { return *behaviour_; }

  // A hidden view's load waits until the loads of the visible views have an answer, so what the
  // agent sees is asked for first; it starts at the latest when the view is shown.
  void StartLoad(GtkWebBrowser& browser, const std::string& uri);
  void ReleaseQueuedLoads(bool all);

 private:
  struct TimerControl {
    int interval = 0;
    ClickHandler tick;
    sigc::connection connection;
  };
  DesignContainer& ContainerFor(const ControlDesign& control);
  void FocusFirstControl();

  Dispatcher& dispatcher_;
  FormDesign design_;
  Gtk::Window window_;
  DesignContainer surface_;
  std::string caption_;
  WebKitWebContext* context_ = nullptr;
  std::unique_ptr<BrowserBehaviour> behaviour_;  // goes before the views it watches
  // Owned in creation order, so that children go before the boxes that contain them.
  std::vector<std::unique_ptr<GtkPictureBox>> ownedBoxes_;
  std::vector<std::unique_ptr<GtkWebBrowser>> ownedBrowsers_;
  std::map<std::string, GtkPictureBox*> pictureBoxes_;
  std::map<std::string, GtkWebBrowser*> browsers_;
  std::map<std::string, TimerControl> timers_;
  std::vector<std::pair<int, Gtk::Widget*>> tabOrder_;
  ClickHandler load_;
  GdkWindowState windowState_ = GdkWindowState(0);
  sigc::connection queueTimeout_;
  bool unloaded_ = false;
};

}  // namespace tavro::platform::gtk
