// The short notice over the bottom of a window that a page's window or download was refused: a
// small window that takes no focus and goes by itself after a few seconds.
#pragma once

#include <gtkmm.h>

#include <map>
#include <memory>

#include "owners.h"

namespace tavro::platform::gtk {

class BlockedNotices {
 public:
  enum class What { Window, Download };

  BlockedNotices();
  ~BlockedNotices();
  BlockedNotices(const BlockedNotices&) = delete;
  BlockedNotices& operator=(const BlockedNotices&) = delete;

  // Something a page in the window asked for was refused: the window's notice counts it.
  void Blocked(Gtk::Window& parent, What what);
  // The window goes: so does its notice.
  void Forget(Gtk::Window& window);
  void CloseAll();

 private:
  struct Notice;
  std::map<Gtk::Window*, std::unique_ptr<Notice>> notices_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
