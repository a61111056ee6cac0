// What a placed browser control asks of the browser above the window: the one way in.
#pragma once

#include <optional>
#include <string>

namespace tavro::platform::gtk {

class GtkWebBrowser;

class PageHost {
 public:
  // The control was asked to load `text`, which an address bar would read as `uri` (nothing when
  // the text names no host). The host makes the control's view when it has none (see
  // GtkWebBrowser::ShowView) and starts the load in the control's turn (see LoadOrder).
  virtual void Load(GtkWebBrowser& control, const std::string& text, const std::optional<std::string>& uri) = 0;

 protected:
  PageHost() = default;
  ~PageHost() = default;
  PageHost(const PageHost&) = default;
  PageHost& operator=(const PageHost&) = default;
};

}  // namespace tavro::platform::gtk
