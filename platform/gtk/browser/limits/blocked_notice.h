// The short notice over the bottom of a window that a page's window or download was refused, or
// that no program opens a link the agent clicked: a small window that takes no focus and goes by
// itself after a few seconds.
#pragma once

#include <gtkmm.h>

#include <map>
#include <memory>
#include <string>

#include "owners.h"
#include "view_unit.h"

namespace tavro::platform::gtk {

class BlockedNotices : public ViewUnit {
 public:
  enum class What { Window, Download, NoProgram };

  BlockedNotices();
  ~BlockedNotices() override;

  // A pop-up window's view: its window's notice goes with it.
  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* view) override;
  void CloseAll() override;

  // Something a page in the window asked for was refused: the window's notice counts it. For
  // NoProgram, `scheme` names the links no program of the desktop opens (the latest shows).
  void Blocked(Gtk::Window& parent, What what, const std::string& scheme = {});

 private:
  struct Notice;
  std::map<Gtk::Window*, std::unique_ptr<Notice>> notices_;
  std::map<WebKitWebView*, Gtk::Window*> popups_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
