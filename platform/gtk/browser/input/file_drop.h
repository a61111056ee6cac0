// Files dragged onto a page from the desktop (a file manager's text/uri-list) reach the page's
// drop handler with their files, as in a browser. This engine hands the page the text of a
// dropped list but none of its files, in the sandbox or not: it no longer takes a list's file://
// lines for files (a page's script can write such a list) and leaves that to the drop target,
// which in this version does not do it. Tavro reads the files the agent dropped from another
// program and hands them to the page itself; drops of anything else stay the engine's. A drag
// that starts in one of Tavro's own pages never has its list read as files.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <map>
#include <string>

#include "owners.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

// The site's views only.
class FileDrop : public ViewUnit {
 public:
  FileDrop() = default;
  ~FileDrop() override;

  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;

 private:
  // The URI list of the drag over the view, as the engine fetched it while the drag moved over.
  struct Seen {
    WeakRef<GdkDragContext> drag;
    std::string uriList;
  };
  void DataReceived(WebKitWebView* view, GdkDragContext* drag, GtkSelectionData* data);
  bool Dropped(WebKitWebView* view, GdkDragContext* drag, int x, int y, guint time);

  std::map<WebKitWebView*, Seen> seen_;
  ConnectionsByInstance connections_;
};

}  // namespace tavro::platform::gtk
