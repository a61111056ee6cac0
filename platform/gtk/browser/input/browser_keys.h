// The keys an agent expects of a browser in the site's pages: F5 and Ctrl+R reload, Ctrl+F finds,
// Ctrl+P prints, Ctrl+plus, Ctrl+minus, Ctrl+0 and Ctrl+wheel zoom. Tavro takes them before the
// page does; every other key goes to the page as before. The zoom is the view's own: each view
// starts at 100 %, which is the zoom the view was shown at (its window's scale), and the steps are
// taken from there.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <map>
#include <memory>

#include "find_bar.h"
#include "recent_keys.h"
#include "owners.h"
#include "printing.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

// The zoom level after one step in (or out) from the current one, along a browser's steps from
// 30 % to 300 %; a level between two steps goes to the next one in that direction.
double ZoomStep(double current, bool in);

// The site's views only.
class BrowserKeys : public ViewUnit {
 public:
  // Ctrl+P goes to the printing unit.
  explicit BrowserKeys(Printing& printing) : printing_(printing) {}
  ~BrowserKeys() override;

  // The view in its window; the window shows its find bar when it is a FindBarHost.
  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;

 private:
  struct ViewState {
    Gtk::Window* window = nullptr;
    double scrolled = 0;  // Ctrl+wheel turned by less than a step so far (touchpads scroll finely)
    double normal = 1.0;  // the zoom level that is 100 %
  };
  bool KeyEvent(WebKitWebView* view, GdkEventKey* event);
  // A key typed in the find bar: Tavro's keys act on the bar's page, and a copy the engine hands
  // back of a key the page had goes back to the page's view.
  bool BarKey(WebKitWebView* view, GdkEventKey* event);
  bool Scrolled(WebKitWebView* view, GdkEventScroll* event);
  void Find(WebKitWebView* view);
  void Zoom(WebKitWebView* view, bool in);
  double NormalZoom(WebKitWebView* view) const;

  Printing& printing_;

  // The connections go before the bars and the states their handlers use.
  std::map<WebKitWebView*, ViewState> views_;
  std::map<Gtk::Window*, std::unique_ptr<FindBar>> bars_;
  RecentKeys toEngine_;  // keys that went on to the engine
  ConnectionsByInstance connections_;
};

}  // namespace tavro::platform::gtk
