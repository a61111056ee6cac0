// Tavro's page for a site address that makes no web address (a space inside it, a byte-order
// mark or control characters in it, a file saved as UTF-16, no host): in the console's place,
// Chinese first and English below, it shows the address with its invisible characters made
// visible, says what is wrong with it and what to do, and names the file it was read from. It
// asks the site for nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "own_pages.h"

namespace tavro::platform::gtk {

// The text as HTML with what cannot be seen made visible, each in a small box: a space as SP, a
// line end as CR and LF, a tab as TAB, other control characters by their names (NUL, ESC, ...)
// or codes, a byte-order mark as BOM, a byte that is no character by its value. (Drawn by the
// page itself: the control pictures ␠␍␊ are missing from most fonts.)
std::string VisibleHtml(std::string_view text);

// The file an address was read from, as it was read.
struct AddressFile {
  std::string path;
  std::string bytes;
};

// The page for `address` (as the window asked for it); `file` when it was read from a file.
OwnPage BadAddressPage(const std::string& address, const std::optional<AddressFile>& file);

}  // namespace tavro::platform::gtk
