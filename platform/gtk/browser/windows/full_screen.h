// Full screen as pages ask for it: the main window keeps its size and place whatever its pages
// (the console, the advertisement) ask, and they, like outside pages, are told no; a pop-up
// window of the site's own page goes full screen when its page asks (the engine asks only in
// answer to a click or key), and Escape leaves it.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

struct FullScreenState {
  bool popup = false;  // a view of the site's in a pop-up window
};

class FullScreen : public PerViewUnit<FullScreenState> {
 public:
  explicit FullScreen(Views& views) : views_(views) {}
  ~FullScreen() override { connections_.Clear(); }

  void Attach(const ShownView& shown) override;

 private:
  // True refuses: the window stays as it is and the page's request fails.
  bool Enter(WebKitWebView* view);

  Views& views_;
};

}  // namespace tavro::platform::gtk
