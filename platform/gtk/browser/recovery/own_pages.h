// Tavro's own pages, shown in a view in place of a page that could not be shown: their text sits
// in the part of the main view that the header never covers, and their titles never carry the
// site's title marker.
#pragma once

#include <string>

namespace tavro::platform::gtk {

struct OwnPage {
  std::string title;    // also what the window caption shows
  std::string message;  // what happened, and what Tavro does about it
  std::string shownHtml;  // HTML of Tavro's own making, shown in a box of its own
  std::string english;  // what the message says, in English, below it
  std::string detail;   // the engine's words, small
  std::string retryUri;  // when set, a button that loads this address again
};

// The page as HTML; every text is escaped.
std::string OwnPageHtml(const OwnPage& page);

}  // namespace tavro::platform::gtk
