// Downloads the site's pages start in answer to the agent's input: saved only where the agent
// chooses in a save dialog that belongs to the page's window, one dialog at a time; cancelled,
// nothing is written. Outside pages start none.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <deque>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "blocked_notice.h"
#include "gestures.h"
#include "owners.h"
#include "view_unit.h"
#include "views.h"

namespace tavro::platform::gtk {

// A file name the chooser can offer: no folders, never empty.
std::string SafeFileName(const char* suggested);

// Downloads belong to the site's web context, not to a view: the unit takes part in the list for
// its end only.
class Downloads : public ViewUnit {
 public:
  // The site's downloads are the first site view's web context's.
  Downloads(Views& views, Gestures& gestures, BlockedNotices& notices);
  ~Downloads() override;

  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* /*view*/) override {}
  // Open choosers are cancelled with their downloads, and later downloads are cancelled at once.
  void CloseAll() override;
  // The context's pages (outside pages) start no downloads at all.
  void RefuseAllFrom(WebKitWebContext* context);

 private:
  struct Chooser;
  void Started(WebKitDownload* download);
  bool DecideDestination(WebKitDownload* download, const char* suggestedName);
  void ShowChooser(WebKitDownload* download, const std::string& suggestedName);
  void Answer(Chooser* chooser, bool save);
  void Ended(WebKitDownload* download);
  void Refuse(WebKitDownload* download);

  Views& views_;
  Gestures& gestures_;
  BlockedNotices& notices_;
  SignalConnection started_, refused_;
  // Each download with a reference and the connections of ours until it is over.
  struct Tracked {
    GObjectPtr<WebKitDownload> download;
    std::vector<SignalConnection> connections;
  };
  std::map<WebKitDownload*, Tracked> downloads_;
  std::list<std::unique_ptr<Chooser>> choosers_;  // the one open, and those going
  // Downloads waiting for the open chooser to be answered, with their suggested names.
  std::deque<std::pair<WebKitDownload*, std::string>> waiting_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
