// Lab pages for what pages ask of the window: printing (window.print(), once or over and over) and
// full screen (asked for on a click). They tell what happened through their title and through
// requests to /kefu/lab/title.php?t=NAME.
#pragma once

#include <string>

namespace httplib {
class Server;
}  // namespace httplib

namespace kefu {

// /kefu/lab/print.html?n=COUNT&every=MS[&tick]: COUNT calls of window.print() (1 by default),
// MS apart (0: all at once), from 300 ms after the page came; "printed-K" after the K-th and
// "prints-over" after the last. With tick, the title counts on every 250 ms ("print tick N").
// /kefu/lab/fullscreen.html[?open=PATH]: a click asks for full screen ("fs-entered", or
// "fs-refused" when the page has no full-screen interface or the promise fails and nothing is full screen,
// "fs-refused-but-full" when it fails while something is); each change is "fs-change-in" or "fs-change-out".
// With open, the second click opens PATH of this origin in a new window.
void RegisterPrintingLabPages(httplib::Server& server);

namespace pages {

std::string LabPrint(int count, int everyMs, bool tick);
std::string LabFullScreen(const std::string& openPath);

}  // namespace pages
}  // namespace kefu
