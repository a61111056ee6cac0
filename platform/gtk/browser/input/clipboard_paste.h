// Ctrl+V (or Shift+Insert) with a picture on the clipboard, as a screenshot tool leaves it: the
// page gets a paste event carrying the picture as a PNG file, as in a browser. This engine hands
// a page's paste event the clipboard's text and nothing of a picture. With text on the clipboard
// the key goes to the page as before, and the engine pastes the text.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recent_keys.h"
#include "owners.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

// The site's views only.
class ClipboardPaste : public ViewUnit {
 public:
  ClipboardPaste() = default;
  ~ClipboardPaste() override;

  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;

 private:
  struct EventFree {
    void operator()(GdkEvent* event) const { gdk_event_free(event); }
  };
  using EventPtr = std::unique_ptr<GdkEvent, EventFree>;
  // A paste key waits for the clipboard to say what it holds; the view's keys after it wait too,
  // so that the page gets them in the order they were typed.
  struct Pending {
    unsigned serial;
    WeakRef<WebKitWebView> view;
    WebKitWebView* key;  // the same view, for comparing only
    std::vector<EventPtr> held;
    ScopedConnection giveUp;
  };
  struct Answer;

  bool KeyEvent(WebKitWebView* view, GdkEventKey* event);
  void Targets(unsigned serial, const GdkAtom* targets, int count);
  void Picture(const WeakRef<WebKitWebView>& view, std::string png);
  // Hands the held keys on (the paste key too, unless Tavro pastes the picture itself).
  void Release(bool withPasteKey);

  std::optional<Pending> pending_;
  unsigned serial_ = 0;
  bool replaying_ = false;
  RecentKeys passed_;  // the last keys that went on to the engine
  ConnectionsByInstance connections_;
  // Answers from the clipboard come back by this, and find nothing once the unit is gone.
  std::shared_ptr<ClipboardPaste*> self_ = std::make_shared<ClipboardPaste*>(this);
};

}  // namespace tavro::platform::gtk
