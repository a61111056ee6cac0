// The site's sounds cost nothing once they have played. The engine keeps the media player of
// every audio element that has played (a GStreamer pipeline: about six threads, four file
// descriptors and over a megabyte each) for as long as the element lives, and an element the page
// listens to, or keeps, lives all day: a console that makes a `new Audio()` for each message ends
// the day with thousands of threads. A script of Tavro's in the site's pages gives back the player
// of an audio element that has stood ended (or paused) for a few seconds, and brings it back
// when the page plays, seeks or loads it again; what the page reads of the element (its time,
// length, state, source, attributes) and the events it hears stay as they were.
#pragma once

#include <webkit2/webkit2.h>

#include <memory>

#include "view_unit.h"

namespace tavro::platform::gtk {

class FinishedMedia : public ViewUnit {
 public:
  FinishedMedia();

  // A view of the site's: its pages get the script, in every frame, before their own scripts.
  void Attach(const ShownView& shown) override;
  void Detach(WebKitWebView* /*view*/) override {}

 private:
  struct UserScriptUnref {
    void operator()(WebKitUserScript* script) const { webkit_user_script_unref(script); }
  };
  std::unique_ptr<WebKitUserScript, UserScriptUnref> script_;
};

}  // namespace tavro::platform::gtk
