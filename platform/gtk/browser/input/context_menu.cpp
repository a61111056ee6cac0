// Context menus pruned of the entries that break out of the frame.
#include "context_menu.h"

#include <vector>

namespace tavro::platform::gtk {
namespace {

std::vector<WebKitContextMenuItem*> ItemsOf(WebKitContextMenu* menu) {
  std::vector<WebKitContextMenuItem*> items;
  for (GList* l = webkit_context_menu_get_items(menu); l; l = l->next) items.push_back(WEBKIT_CONTEXT_MENU_ITEM(l->data));
  return items;
}

}  // namespace

bool IsFrameBreakingMenuAction(WebKitContextMenuAction action) {
  switch (action) {
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_LINK_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_IMAGE_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_FRAME_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT:
      return true;
    default:
      return false;
  }
}

// Submenus nest as deep as the engine builds them: one or two levels.
void PruneContextMenu(WebKitContextMenu* menu) {  // NOLINT(misc-no-recursion)
  for (WebKitContextMenuItem* item : ItemsOf(menu)) {
    if (IsFrameBreakingMenuAction(webkit_context_menu_item_get_stock_action(item))) {
      webkit_context_menu_remove(menu, item);
      continue;
    }
    if (WebKitContextMenu* submenu = webkit_context_menu_item_get_submenu(item)) PruneContextMenu(submenu);
  }
  // Separators left at an end or next to each other.
  bool previousWasSeparator = true;  // a separator at the top goes
  WebKitContextMenuItem* lastKept = nullptr;
  for (WebKitContextMenuItem* item : ItemsOf(menu)) {
    const bool separator = webkit_context_menu_item_is_separator(item);
    if (separator && previousWasSeparator) {
      webkit_context_menu_remove(menu, item);
      continue;
    }
    previousWasSeparator = separator;
    lastKept = item;
  }
  if (lastKept && webkit_context_menu_item_is_separator(lastKept)) webkit_context_menu_remove(menu, lastKept);
}

void ContextMenus::Attach(const ShownView& shown) {
  connections_.Add(shown.view, Connect(shown.view, "context-menu",
                                 +[](WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*,
                                     gpointer) -> gboolean {
                                   PruneContextMenu(menu);
                                   return FALSE;
                                 },
                                 this));
}

}  // namespace tavro::platform::gtk
