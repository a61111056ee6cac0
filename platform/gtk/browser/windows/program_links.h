// Links to other programs of the desktop (a QQ chat, a WeChat contact, a mail, a call): which
// addresses only another program can open, and the words of the question before one goes to it.
#pragma once

#include <optional>
#include <string>

namespace tavro::platform::gtk {

// The scheme (in lower case) of an address that only another program of the desktop opens:
// anything but what the engine loads itself (web, local, data, blob, about and javascript
// addresses, and the engine's own pages such as its PDF viewer). None for text that is no address.
std::optional<std::string> OtherProgramScheme(const std::string& uri);

// A scheme as the agent reads it in a question or a notice: at most a few dozen characters.
std::string SchemeForText(const std::string& scheme);

// The question before an address goes to its program, and the address under it as the box shows
// it: one line without control or reordering characters, cut to a few lines' length.
std::string OpenWithQuestion(const std::string& program);
std::string AddressForText(const std::string& uri);
// The check box that keeps the answer for every address of the scheme until Tavro ends.
std::string RememberForSchemeText(const std::string& scheme);

}  // namespace tavro::platform::gtk
