// Files handed to a page as a browser hands them over: a paste event at the focused element, a
// drop event where they were dropped, each carrying the files in its DataTransfer. Tavro builds
// these events itself because this engine passes neither a picture on the clipboard nor the
// files of a drop to the page (see clipboard_paste.h and file_drop.h).
#pragma once

#include <webkit2/webkit2.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tavro::platform::gtk {

struct PageFile {
  std::string name;
  std::string type;  // a MIME type, or empty when unknown (as a browser gives it)
  std::string bytes;
};

// All the files of one paste or drop: the bytes go to the page's process in one message.
inline constexpr std::size_t kMaxPageFileBytes = std::size_t{20} * 1024 * 1024;

// A paste event at the page's focused element (inside frames of the page's own origin).
void DispatchPaste(WebKitWebView* view, const std::vector<PageFile>& files);
// A drop event at the element under the point (in the view's pixels); a file input there takes
// the files, as in a browser. The URI list is what the desktop sent, for pages that read it.
void DispatchDrop(WebKitWebView* view, const std::vector<PageFile>& files, const std::string& uriList, double x,
                  double y);

}  // namespace tavro::platform::gtk
