// The pages' context menu, without what would leave Tavro's windows (a page in a new browser
// window) or open the web inspector.
#pragma once

#include <webkit2/webkit2.h>

#include "owners.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

// True for the menu entries that would open something outside Tavro's windows or the inspector.
bool IsFrameBreakingMenuAction(WebKitContextMenuAction action);
// Takes those entries out of a menu and its submenus, with the separators they leave doubled or
// at an end.
void PruneContextMenu(WebKitContextMenu* menu);

class ContextMenus : public ViewUnit {
 public:
  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override { connections_.Drop(view); }

 private:
  ConnectionsByInstance connections_;
};

}  // namespace tavro::platform::gtk
