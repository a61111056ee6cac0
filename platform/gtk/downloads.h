// Downloads the site's pages start: saved only where the agent chooses in a save dialog that
// belongs to the page's window; cancelled, nothing is written. Outside pages start none.
#pragma once

#include <gtkmm.h>
#include <webkit2/webkit2.h>

#include <list>
#include <map>
#include <memory>
#include <string>

#include "owners.h"
#include "views.h"

namespace tavro::platform::gtk {

// A file name the chooser can offer: no folders, never empty.
std::string SafeFileName(const char* suggested);

class Downloads {
 public:
  Downloads(Views& views, WebKitWebContext* siteContext);
  ~Downloads();
  Downloads(const Downloads&) = delete;
  Downloads& operator=(const Downloads&) = delete;

  // Open choosers are cancelled with their downloads, and later downloads are cancelled at once.
  void CloseAll();
  // The context's pages (outside pages) start no downloads at all.
  void Refuse(WebKitWebContext* context);

 private:
  struct Chooser;
  void Started(WebKitDownload* download);
  bool DecideDestination(WebKitDownload* download, const char* suggestedName);
  void Answer(Chooser* chooser, bool save);
  void Ended(WebKitDownload* download);

  Views& views_;
  SignalConnection started_, refused_;
  // Each download with a reference and the connections of ours until it is over.
  struct Tracked {
    GObjectPtr<WebKitDownload> download;
    std::vector<SignalConnection> connections;
  };
  std::map<WebKitDownload*, Tracked> downloads_;
  std::list<std::unique_ptr<Chooser>> choosers_;
  bool closed_ = false;
};

}  // namespace tavro::platform::gtk
