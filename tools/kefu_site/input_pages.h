// Lab pages for what an agent does in the page with the keyboard, the clipboard and the mouse:
// the browser's keys (reload, find, zoom), pasting a picture or text, dropping files. They tell
// what they saw through their title and through requests to /kefu/lab/report.
#pragma once

#include <string>
#include <string_view>

namespace kefu::pages {

// Text to find, and a title that follows the page's size, scroll position, pixel ratio, focus,
// selection (with its offset in its text) and the keys typed into it. With a pop-up: it opens itself in a new window.
std::string LabKeys(bool popup);
// A text box that reports every paste event: the files it carries (type, size, a checksum of the
// bytes, name) or its text, and what the box holds after it.
std::string LabPaste();
// A drop zone over the whole page that reports the files dropped on it. With a file's address: an
// element of the page's own to drag, whose data names that file in a text/uri-list.
std::string LabDrop(std::string_view fileUri);

}  // namespace kefu::pages
